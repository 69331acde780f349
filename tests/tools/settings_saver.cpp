// Saves the settings file over and over, for the long run that kills it in the middle of a save
// (scripts/long_run_kill_saves.sh), and checks what such a kill left behind.
//   settings_saver save-once PATH   one save of the first parameter set
//   settings_saver save-loop PATH   saves the two parameter sets in turn until killed
//   settings_saver check PATH       exit 0 when every key holds the value of one of the sets

#include <cstdio>
#include <cstring>
#include <string>

#include "settings/number_format.h"
#include "settings/parameter_table.h"
#include "settings/parameters.h"
#include "settings/profile_store.h"
#include "settings/settings_file.h"

namespace {

using namespace varnolt;

long long fixed_stamp() {
    return 1165512345;
}

// Two sets that differ in every real and every switch.
Settings parameter_set(int which) {
    Settings s;
    s.ikke = static_cast<int>(fixed_stamp());
    auto vary = [which](const ParameterField& f) {
        if (f.real) *f.real = which == 0 ? *f.real * 0.5 + 0.25 : *f.real * 1.5 + 0.125;
        if (f.switch_byte) *f.switch_byte = static_cast<flag>(which);
        if (f.kind == FieldKind::quality) *f.integer = which == 0 ? 0 : 2;
    };
    for_each_plugin_configuration_field(s, vary);
    for_each_processing_field(s, vary);
    return s;
}

void save(const char* path, int which) {
    static LiveParameters live;
    live.values = parameter_set(which);
    save_all_settings(live, path, true);
}

// The text each set writes for each key, compared with the file's.
int check(const char* path) {
    Settings sets[2] = {parameter_set(0), parameter_set(1)};
    std::string texts[2][64];
    for (int which = 0; which < 2; ++which) {
        int i = 0;
        auto text_of = [&](const ParameterField& f) {
            const double v = f.real          ? f.real->load()
                             : f.switch_byte ? f.switch_byte->load()
                                             : f.integer->load();
            texts[which][i++] = format_number(v);
        };
        for_each_plugin_configuration_field(sets[which], text_of);
        for_each_processing_field(sets[which], text_of);
    }
    int i = 0, bad = 0;
    Settings scratch;
    auto compare = [&](const ParameterField& f) {
        const std::string text = profile_read(path, f.section, f.key);
        if (text != texts[0][i] && text != texts[1][i] && bad++ == 0)
            std::printf("[%s] %s = '%s'\n", f.section, f.key, text.c_str());
        ++i;
    };
    for_each_plugin_configuration_field(scratch, compare);
    for_each_processing_field(scratch, compare);
    return bad == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: settings_saver save-once|save-loop|check PATH\n");
        return 2;
    }
    set_stamp_clock(fixed_stamp);
    const char* path = argv[2];
    if (std::strcmp(argv[1], "save-once") == 0) {
        save(path, 0);
        return 0;
    }
    if (std::strcmp(argv[1], "save-loop") == 0) {
        for (int n = 1;; ++n) save(path, n % 2);
    }
    if (std::strcmp(argv[1], "check") == 0) return check(path);
    std::fprintf(stderr, "settings_saver: unknown mode %s\n", argv[1]);
    return 2;
}
