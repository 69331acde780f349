#include "settings_request.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#include "chain/instance.h"
#include "console.h"
#include "platform.h"
#include "plugin/dll_instance.h"
#include "plugin/module_records.h"
#include "safe_output.h"
#include "setting_names.h"
#include "setting_ranges.h"
#include "settings/ini_path.h"
#include "settings/number_format.h"
#include "settings/parameters.h"
#include "settings/presets.h"
#include "settings_file_kind.h"
#include "strict_number.h"

namespace varnolt::cli {
namespace {

constexpr int k_suggestions = 3;
constexpr const char* k_profile_variable = "USERPROFILE";

struct Assignment {
    std::string name;
    std::string value;
};

bool split_assignment(const std::string& text, Assignment& out, std::string& error) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) {
        error = "--set \"" + text + "\": expected \"Section/Key=value\"";
        return false;
    }
    out.name = text.substr(0, equals);
    out.value = text.substr(equals + 1);
    return true;
}

// A whole number in the C locale: "1.5" and "2" are numbers, "1,5", "on" and "3x" are not.
std::string unknown_setting(const std::vector<NamedSetting>& all, const std::string& name) {
    std::string message = "--set: unknown setting \"" + name + "\"; the closest are ";
    const std::vector<std::string> near = closest_settings(all, name, k_suggestions);
    for (std::size_t i = 0; i < near.size(); ++i) message += (i ? ", \"" : "\"") + near[i] + "\"";
    return message;
}

// Stores the value as the loader would read it from a file, after checking that it is a
// value the field can hold at all.
bool assign(const NamedSetting& s, const std::string& text, std::string& error) {
    double v = 0.0;
    const std::string where = "--set \"" + s.name + "=" + text + "\": ";
    if (!strict_number(text, v)) {
        error = where + "not a number";
        return false;
    }
    switch (s.field.kind) {
        case FieldKind::real:
            *s.field.real = v;
            return true;
        case FieldKind::flag:
            // A hand-edited file's 7 counts as on; on the command line a switch says what it means.
            if (v != 0.0 && v != 1.0) {
                error = where + "a switch is 0 (off) or 1 (on)";
                return false;
            }
            *s.field.switch_byte = static_cast<flag>(v);
            return true;
        case FieldKind::quality:
            if (v != 0 && v != 1 && v != 2) {
                error = where + "the quality is 0 (high), 1 (normal) or 2 (low)";
                return false;
            }
            *s.field.integer = static_cast<int>(v);
            return true;
        case FieldKind::stamp:
            if (v != std::trunc(v) || std::fabs(v) > 2147483647.0) {
                error = where + "a whole number of seconds";
                return false;
            }
            *s.field.integer = static_cast<int>(v);
            return true;
    }
    return false;
}

// `say_ranges`: warn of values outside the window's range (once, on the run that uses them).
bool apply_sets(const std::vector<std::string>& sets, bool say_ranges, std::string& error) {
    const std::vector<NamedSetting> all = live_settings();
    for (const std::string& text : sets) {
        Assignment a;
        if (!split_assignment(text, a, error)) return false;
        const NamedSetting* s = find_setting(all, a.name);
        if (s == nullptr) {
            error = unknown_setting(all, a.name);
            return false;
        }
        if (!assign(*s, a.value, error)) return false;
        if (!say_ranges || s->field.kind != FieldKind::real) continue;
        const std::string note = outside_window_range(*s, *s->field.real);
        if (!note.empty()) tell("--set \"" + text + "\": " + note);
    }
    return true;
}

bool readable_file(const std::string& path) {
    std::ifstream in(path);
    return static_cast<bool>(in);
}

int mode_value(const std::string& mode) {
    if (mode == "bypass") return k_mode_bypass;
    if (mode == "no-dolby") return k_mode_without_dolby;
    return k_mode_full;
}

const char* mode_name(int mode) {
    if (mode == k_mode_bypass) return "bypass";
    if (mode == k_mode_without_dolby) return "no-dolby";
    return "full";
}

int quality_value(const std::string& quality) {
    if (quality == "high") return 0;
    if (quality == "low") return 2;
    return 1;
}

// Writes the preset into `temporary`: what `existing` holds (its other sections and comments
// stay), then the keys of the effective settings. False with the reason, naming `path`.
bool write_preset(const std::string& existing, const std::string& temporary,
                  const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(existing, ec))
        fs::copy_file(existing, temporary, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        error = path + ": cannot write: " + ec.message();
        return false;
    }
    errno = 0;
    if (save_preset(dll_instance().live, temporary.c_str())) return true;
    // The profile functions of Windows say no reason.
    error = path + ": cannot write: " +
            (errno != 0 ? std::strerror(errno) : "the settings did not reach the file");
    return false;
}

}  // namespace

bool validate_settings_request(const SettingsRequest& request, std::string& error) {
    // Checked on a copy of the live values, which the real run applies later.
    const LiveParameters saved = dll_instance().live;
    const bool ok = apply_sets(request.sets, false, error);
    dll_instance().live = saved;
    return ok;
}

bool start_plugin(const SettingsRequest& request, const char* program_path, std::string& error) {
    DspModule* module = get_module(k_module_hidden);
    if (request.player_settings) {
        build_ini_path();
        if (ini_path[0] == '\0') {
            error =
                "--player-settings: the folder USERPROFILE names is too long for the player's "
                "settings file";
            return false;
        }
        if (!readable_file(ini_path)) {
            error = std::string("--player-settings: cannot read ") + ini_path +
                    " (the player keeps it in the folder USERPROFILE names)";
            return false;
        }
        module->Init(module);
        return true;
    }
    // Init looks for the INI file in the profile folder, or the current directory without one.
    // A path below a regular file can name no file, so pointing the profile at the program file
    // itself makes Init find nothing and keep the first-start values.
    const char* profile = std::getenv(k_profile_variable);
    const std::string kept = profile ? profile : "";
    set_environment(k_profile_variable, program_path);
    module->Init(module);
    set_environment(k_profile_variable, profile ? kept.c_str() : nullptr);
    return true;
}

bool apply_settings_request(const SettingsRequest& request, std::string& error) {
    if (!request.settings_file.empty()) {
        std::vector<std::string> unknown;
        std::string why;
        if (!settings_file_keys(request.settings_file, unknown, why)) {
            error = "--settings " + request.settings_file + ": " + why;
            return false;
        }
        // The loader passes over a key it does not know, as the player does; a misspelling
        // would go unnoticed.
        const std::vector<NamedSetting> all = live_settings();
        for (const std::string& name : unknown) {
            std::string warning = request.settings_file + ": unknown key \"" + name + "\" ignored";
            const std::vector<std::string> near = closest_settings(all, name, 1);
            if (!near.empty()) warning += "; the closest is \"" + near[0] + "\"";
            tell(warning);
        }
        load_preset(dll_instance().live, request.settings_file.c_str());
    }
    if (!apply_sets(request.sets, true, error)) return false;
    if (!request.azimuth.empty())
        dll_instance().live.azimuth_enabled = request.azimuth == "on" ? 1 : 0;
    if (request.azimuth_limit) dll_instance().live.azimuth_limit = *request.azimuth_limit;
    if (request.azimuth_speed) dll_instance().live.azimuth_speed = *request.azimuth_speed;
    if (request.mono) dll_instance().live.mono = 1;
    if (!request.mode.empty()) dll_instance().live.processing_mode = mode_value(request.mode);
    if (!request.quality.empty())
        dll_instance().live.values.quality = quality_value(request.quality);
    if (!request.dolby_decoder.empty())
        dll_instance().live.values.standard_decoder = request.dolby_decoder == "standard" ? 1 : 0;
    return true;
}

// As the INI file writes it, but for a value its nine-decimal format cannot hold (the whole part
// beyond 32 bits, or a fraction finer than a nanounit): that one as it really is.
std::string listed_number(double v) {
    const std::string text = format_number(v);
    double back = 0.0;
    if (strict_number(text, back) && std::fabs(back - v) <= 1e-9 * std::max(1.0, std::fabs(v)))
        return text;
    char exact[40];
    std::snprintf(exact, sizeof exact, "%.17g", v);
    return exact;
}

std::string settings_listing() {
    std::string out;
    for (const NamedSetting& s : live_settings()) {
        double v = 0.0;
        switch (s.field.kind) {
            case FieldKind::real:
                v = *s.field.real;
                break;
            case FieldKind::flag:
                v = *s.field.switch_byte;
                break;
            default:
                v = *s.field.integer;
                break;
        }
        out += s.name + "=" + listed_number(v) + "\n";
    }
    out += std::string("--azimuth=") + (dll_instance().live.azimuth_enabled ? "on" : "off") + "\n";
    out += "--azimuth-limit=" + format_number(dll_instance().live.azimuth_limit) + "\n";
    out += "--azimuth-speed=" + format_number(dll_instance().live.azimuth_speed) + "\n";
    out += std::string("--mono=") + (dll_instance().live.mono ? "on" : "off") + "\n";
    out += std::string("--mode=") + mode_name(dll_instance().live.processing_mode) + "\n";
    return out;
}

bool save_settings_preset(const std::string& path, std::string& error) {
    // A folder, a read-only file or a folder the user may not write to is said as for any
    // output.
    if (!can_create(path, error)) return false;
    PendingOutput output(path);
    // The preset's keys go into the file in place, everything else in it stays: never into a
    // sound file or anything else that happens to have the name.
    std::string why;
    if (!may_hold_a_preset(output.target(), why)) {
        error = "--save-settings " + path + ": " + why;
        return false;
    }
    // Written beside it and renamed into place: a full disk or a failing write leaves the old
    // preset as it was, or no file at all where there was none.
    return output.write(
               [&](const std::string& temporary, std::string& e) {
                   return write_preset(output.target(), temporary, path, e);
               },
               error) &&
           output.commit(error);
}

void stop_plugin() {
    DspModule* module = get_module(k_module_hidden);
    module->Quit(module);
}

}  // namespace varnolt::cli
