#include "setting_names.h"

#include <algorithm>
#include <cctype>
#include <numeric>

#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "settings/parameters.h"

namespace varnolt::cli {
namespace {

std::string folded(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    std::string out = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Levenshtein distance: insertions, deletions and substitutions of one character each cost 1.
int edit_distance(const std::string& a, const std::string& b) {
    std::vector<int> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<NamedSetting> live_settings() {
    std::vector<NamedSetting> all;
    // The band keys are built in a buffer that lives only during the visit, so the name is
    // copied and the field keeps no key of its own.
    auto keep = [&all](ParameterField f) {
        std::string name = std::string(f.section) + "/" + f.key;
        f.key = nullptr;
        all.push_back({std::move(name), f});
    };
    for_each_plugin_configuration_field(dll_instance().live.values, keep);
    for_each_processing_field(dll_instance().live.values, keep);
    return all;
}

const NamedSetting* find_setting(const std::vector<NamedSetting>& settings,
                                 const std::string& name) {
    const std::string wanted = folded(name);
    for (const NamedSetting& s : settings)
        if (folded(s.name) == wanted) return &s;
    return nullptr;
}

std::vector<std::string> closest_settings(const std::vector<NamedSetting>& settings,
                                          const std::string& name, int count) {
    const std::string wanted = folded(name);
    // A name without a section is measured against the keys alone.
    const bool key_only = wanted.find('/') == std::string::npos;
    std::vector<std::pair<int, std::string>> ranked;
    for (const NamedSetting& s : settings) {
        const std::string full = folded(s.name);
        const std::string candidate = key_only ? full.substr(full.find('/') + 1) : full;
        ranked.emplace_back(edit_distance(wanted, candidate), s.name);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (int i = 0; i < count && i < static_cast<int>(ranked.size()); ++i)
        names.push_back(ranked[i].second);
    return names;
}

}  // namespace varnolt::cli
