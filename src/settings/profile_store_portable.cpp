// Our own private-profile reader/writer for platforms without the Windows profile functions.
// It matches what the settings code relies on: sections and keys compared without regard to
// case, white space around keys and values ignored, empty text for anything missing, values cut
// at 31 characters, keys replaced in place, new keys at the end of their section and new
// sections at the end of the file, every other line kept as it was. A UTF-8 byte-order mark
// before the first line is kept but is no part of it.
//
// Like the system's functions it keeps the parsed file: a load asks for every key, and reading
// the file for each of them made a large file take minutes. The copy is used while the file on
// disk keeps its size and time stamp, and dropped by profile_flush.

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "settings/profile_store.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr const char k_byte_order_mark[] = "\xEF\xBB\xBF";
constexpr std::size_t k_byte_order_mark_length = 3;

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// Names compare without regard to case: the index keys them lower-cased.
std::string folded(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool is_blank(const std::string& line) {
    return trim(line).empty();
}

// The section name of a header line "[name]", or false for any other line.
bool section_header(const std::string& line, std::string& name) {
    std::string t = trim(line);
    if (t.empty() || t.front() != '[') return false;
    std::size_t close = t.find(']');
    name = trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// Splits "key = value" into its trimmed parts; false for a line without '='.
bool key_line(const std::string& line, std::string& key, std::string& value) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return true;
}

std::string strip_quotes(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// What tells a file on disk from the copy kept of it.
struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    fs::file_time_type time{};

    bool operator==(const FileStamp& o) const {
        return exists == o.exists && size == o.size && time == o.time;
    }
};

// Anything but a regular file (a folder, a device) reads as a missing file.
FileStamp stamp_of(const std::string& path) {
    std::error_code error;
    FileStamp stamp;
    if (!fs::is_regular_file(path, error) || error) return stamp;
    stamp.size = fs::file_size(path, error);
    if (error) return FileStamp{};
    stamp.time = fs::last_write_time(path, error);
    if (error) return FileStamp{};
    stamp.exists = true;
    return stamp;
}

// Where a section's body lies ([first, last), up to the next header) and the line of each of
// its keys. Only the first section of a name and the first line of a key count.
struct SectionIndex {
    std::size_t first = 0;
    std::size_t last = 0;
    std::unordered_map<std::string, std::size_t> keys;
};

// The parsed copy of the file last read or written.
struct ProfileFile {
    bool valid = false;
    std::string path;
    FileStamp stamp;
    bool byte_order_mark = false;
    Lines lines;
    std::unordered_map<std::string, SectionIndex> sections;
};

ProfileFile kept;

void index_sections(ProfileFile& file) {
    file.sections.clear();
    SectionIndex* current = nullptr;
    std::string name, key, value;
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        if (section_header(file.lines[i], name)) {
            auto entry = file.sections.try_emplace(folded(name));
            current = entry.second ? &entry.first->second : nullptr;
            if (current) current->first = current->last = i + 1;
            continue;
        }
        if (current == nullptr) continue;
        current->last = i + 1;
        if (key_line(file.lines[i], key, value)) current->keys.try_emplace(folded(key), i);
    }
}

void read_file(ProfileFile& file) {
    file.lines.clear();
    file.byte_order_mark = false;
    if (file.stamp.exists) {
        std::ifstream in(file.path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            file.lines.push_back(line);
        }
    }
    if (!file.lines.empty() &&
        file.lines[0].compare(0, k_byte_order_mark_length, k_byte_order_mark) == 0) {
        file.lines[0].erase(0, k_byte_order_mark_length);
        file.byte_order_mark = true;
    }
    index_sections(file);
}

// The file as it is on disk: the kept copy while the file is unchanged, else read anew. The
// stamp is taken before reading, so a change made while reading is noticed next time.
ProfileFile& file_at(const char* path) {
    const FileStamp stamp = stamp_of(path);
    if (!kept.valid || kept.path != path || !(kept.stamp == stamp)) {
        kept.path = path;
        kept.stamp = stamp;
        read_file(kept);
        kept.valid = true;
    }
    return kept;
}

// Removes the temporary file of a failed write, keeping errno as the failure set it.
bool give_up(const std::string& temporary) {
    const int why = errno;
    std::remove(temporary.c_str());
    errno = why;
    return false;
}

// Writes the whole file to a temporary neighbour and renames it over the original, so that a
// failed write never leaves a truncated settings file behind. A full disk may show only when
// the file is closed.
bool write_file(const ProfileFile& file) {
    const std::string temporary = file.path + ".tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    if (file.byte_order_mark) out << k_byte_order_mark;
    for (const std::string& line : file.lines) out << line << "\r\n";
    out.close();
    if (!out) return give_up(temporary);
    if (std::rename(temporary.c_str(), file.path.c_str()) != 0) return give_up(temporary);
    return true;
}

// After a change to the lines: on disk, or else forgotten so the next read goes to the disk.
bool commit(ProfileFile& file, bool reindex) {
    if (!write_file(file)) {
        file.valid = false;
        return false;
    }
    if (reindex) index_sections(file);
    file.stamp = stamp_of(file.path);
    return true;
}

}  // namespace

bool profile_path_usable(const char* path) {
    return path != nullptr && path[0] != '\0';
}

std::string profile_read(const char* path, const char* section, const char* key) {
    if (!profile_path_usable(path)) return std::string();
    const ProfileFile& file = file_at(path);
    const auto s = file.sections.find(folded(section));
    if (s == file.sections.end()) return std::string();
    const auto k = s->second.keys.find(folded(key));
    if (k == s->second.keys.end()) return std::string();
    std::string name, value;
    key_line(file.lines[k->second], name, value);
    return strip_quotes(value).substr(0, k_profile_value_chars);
}

bool profile_write(const char* path, const char* section, const char* key, const char* value) {
    if (!profile_path_usable(path)) {
        errno = EINVAL;
        return false;
    }
    ProfileFile& file = file_at(path);
    const std::string entry = std::string(key) + "=" + value;
    const auto s = file.sections.find(folded(section));
    if (s == file.sections.end()) {
        file.lines.push_back("[" + std::string(section) + "]");
        file.lines.push_back(entry);
        return commit(file, true);
    }
    const auto k = s->second.keys.find(folded(key));
    if (k != s->second.keys.end()) {
        file.lines[k->second] = entry;
        return commit(file, false);
    }
    // After the section's last non-blank line, so blank separators stay between sections.
    std::size_t insert_at = s->second.last;
    while (insert_at > s->second.first && is_blank(file.lines[insert_at - 1])) --insert_at;
    file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
    return commit(file, true);
}

void profile_flush(const char*) {
    // Every write is already on disk; the next read takes the file from there.
    kept.valid = false;
}

void select_us_numeric_locale() {
    // Our number conversions never consult the locale, so the process's locale is left alone.
}

}  // namespace varnolt
