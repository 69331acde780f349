// Our own private-profile reader/writer for platforms without the Windows profile functions.
// It matches what the settings code relies on: sections and keys compared without regard to
// case, white space around keys and values ignored, empty text for anything missing, values cut
// at 31 characters, keys replaced in place, new keys at the end of their section and new
// sections at the end of the file, every other line kept as it was.

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/profile_store.h"

namespace varnolt {
namespace {

using Lines = std::vector<std::string>;

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

bool same_name(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
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

Lines read_lines(const char* path) {
    Lines lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Writes the whole file to a temporary neighbour and renames it over the original, so that a
// failed write never leaves a truncated settings file behind.
void write_lines(const char* path, const Lines& lines) {
    std::string temporary = std::string(path) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return;
        for (const std::string& line : lines) out << line << "\r\n";
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            return;
        }
    }
    if (std::rename(temporary.c_str(), path) != 0) std::remove(temporary.c_str());
}

// Index range [first, last) of the section's body lines; false when the section is missing.
bool find_section(const Lines& lines, const char* section, std::size_t& first, std::size_t& last) {
    std::string name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!section_header(lines[i], name) || !same_name(name, section)) continue;
        first = i + 1;
        last = first;
        while (last < lines.size() && !section_header(lines[last], name)) ++last;
        return true;
    }
    return false;
}

std::string strip_quotes(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

std::string profile_read(const char* path, const char* section, const char* key) {
    Lines lines = read_lines(path);
    std::size_t first = 0;
    std::size_t last = 0;
    if (!find_section(lines, section, first, last)) return std::string();
    std::string name;
    std::string value;
    for (std::size_t i = first; i < last; ++i) {
        if (key_line(lines[i], name, value) && same_name(name, key))
            return strip_quotes(value).substr(0, k_profile_value_chars);
    }
    return std::string();
}

void profile_write(const char* path, const char* section, const char* key, const char* value) {
    Lines lines = read_lines(path);
    const std::string entry = std::string(key) + "=" + value;
    std::size_t first = 0;
    std::size_t last = 0;
    if (!find_section(lines, section, first, last)) {
        lines.push_back("[" + std::string(section) + "]");
        lines.push_back(entry);
        write_lines(path, lines);
        return;
    }
    std::string name;
    std::string old_value;
    for (std::size_t i = first; i < last; ++i) {
        if (key_line(lines[i], name, old_value) && same_name(name, key)) {
            lines[i] = entry;
            write_lines(path, lines);
            return;
        }
    }
    // After the section's last non-blank line, so blank separators stay between sections.
    std::size_t insert_at = last;
    while (insert_at > first && is_blank(lines[insert_at - 1])) --insert_at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
    write_lines(path, lines);
}

void profile_flush(const char*) {
    // Every read goes to the file; there is no cached copy to drop.
}

void select_us_numeric_locale() {
    // Our number conversions never consult the locale, so the process's locale is left alone.
}

}  // namespace varnolt
