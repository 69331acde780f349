#include "settings_file_kind.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "settings/parameter_table.h"

namespace varnolt::cli {
namespace {

// A settings file is a few kilobytes; anything much larger is something else.
constexpr std::uintmax_t k_largest_settings_file = 1 << 20;

constexpr const char k_byte_order_mark[] = "\xEF\xBB\xBF";

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
    return text.substr(first, last - first);
}

// Section and key names as the loader compares them: the profile functions match them without
// regard to case and ignore the blanks around them.
bool ours(const std::string& name) {
    for (const char* s : {section::plugin_configuration, section::common, section::singleband,
                          section::dolby, section::bias, section::fm_filter})
        if (lower(name) == lower(s)) return true;
    return false;
}

// The name of a section header line ("[ Common ]" names "Common"), as the loader reads it: up to
// the first closing bracket, blanks around it ignored. False for any other line.
bool section_header(const std::string& line, std::string& name) {
    if (line.empty() || line.front() != '[') return false;
    const std::size_t close = line.find(']');
    name = trimmed(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// Calls visit(line) for every line of `text` that is neither blank nor a comment, trimmed;
// stops early, returning false, when visit does. A UTF-8 byte-order mark before the first line
// (as Windows editors save) is no part of it.
template <class Visit>
bool for_each_setting_line(const std::string& text, Visit visit) {
    std::size_t start = text.compare(0, sizeof k_byte_order_mark - 1, k_byte_order_mark) == 0
                            ? sizeof k_byte_order_mark - 1
                            : 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (!visit(line)) return false;
    }
    return true;
}

// Whether `text` is a settings file of ours: text whose first line that says anything is a
// section header, every section one of ours. What lies inside a section is the loader's to
// read or pass over. A file of nothing but blank lines is empty.
bool settings_text(const std::string& text) {
    if (text.find('\0') != std::string::npos) return false;
    bool in_section = false;
    return for_each_setting_line(text, [&in_section](const std::string& line) {
        std::string name;
        if (section_header(line, name)) return in_section = ours(name);
        return in_section;
    });
}

// Reads a file of at most k_largest_settings_file bytes; false with the reason.
bool read_small_file(const std::string& path, std::string& text, std::string& why) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        why = fs::exists(path, ec) ? "not a file" : "no such file";
        return false;
    }
    if (fs::file_size(path, ec) > k_largest_settings_file) {
        why = "not a settings file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        why = "cannot read it";
        return false;
    }
    return true;
}

}  // namespace

bool settings_file_keys(const std::string& path, std::vector<std::string>& unknown,
                        std::string& why) {
    std::string text;
    if (!read_small_file(path, text, why)) return false;
    if (!settings_text(text)) {
        why = "not a settings file";
        return false;
    }
    // The keys the loader reads, matched without regard to case as the profile functions do.
    std::vector<std::string> known;
    Settings names;
    auto note = [&known](const ParameterField& f) {
        known.push_back(lower(std::string(f.section) + "/" + f.key));
    };
    for_each_plugin_configuration_field(names, note);
    for_each_processing_field(names, note);
    std::string section;
    for_each_setting_line(text, [&](const std::string& line) {
        if (section_header(line, section)) return true;
        // A line without "=" names no key the loader reads.
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) return true;
        const std::string name = section + "/" + trimmed(line.substr(0, equals));
        if (std::find(known.begin(), known.end(), lower(name)) == known.end())
            unknown.push_back(name);
        return true;
    });
    return true;
}

bool may_hold_a_preset(const std::string& path, std::string& why) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) return true;
    if (!fs::is_regular_file(status)) {
        why = "not a file";
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        why = "cannot read it";
        return false;
    }
    if (size == 0) return true;
    if (size > k_largest_settings_file) {
        why = "not a settings file; it is left as it is";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        why = "cannot read it";
        return false;
    }
    if (!settings_text(text)) {
        why = "not a settings file; it is left as it is";
        return false;
    }
    return true;
}

}  // namespace varnolt::cli
