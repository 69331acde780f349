#include "settings/settings_file.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <ctime>
#include <string>

#include "settings/modes.h"
#include "settings/number_format.h"
#include "settings/parameter_table.h"
#include "settings/parameters.h"
#include "settings/profile_store.h"

namespace varnolt {
namespace {

long long system_clock_seconds() {
    return static_cast<long long>(std::time(nullptr));
}

clock_function stamp_clock = system_clock_seconds;

// Truncates toward zero after clamping into the int range, so no value reaching the conversion
// is out of range.
int truncate_to_int(double value) {
    double clamped =
        std::fmin(std::fmax(value, static_cast<double>(INT_MIN)), static_cast<double>(INT_MAX));
    return static_cast<int>(std::trunc(clamped));
}

// The decimal value of a key, or `fallback` when the text is empty or converts to a non-finite
// number (a hand-edited "nan" or "1e999" must not reach the processors).
double read_real(const char* path, const ParameterField& field, double fallback) {
    std::string text = profile_read(path, field.section, field.key);
    if (text.empty()) return fallback;
    double value = parse_real(text.c_str());
    return std::isfinite(value) ? value : fallback;
}

bool write_value(const char* path, const ParameterField& field, double value) {
    return profile_write(path, field.section, field.key, format_number(value).c_str());
}

bool save_field(const char* path, const ParameterField& field) {
    switch (field.kind) {
        case FieldKind::real:
            return write_value(path, field, *field.real);
        case FieldKind::flag:
            return write_value(path, field, *field.switch_byte);
        case FieldKind::quality:
            return write_value(path, field, *field.integer);
        case FieldKind::stamp: {
            if (*field.integer == -1) {
                long long now = stamp_clock();
                *field.integer = static_cast<int>(now > INT_MAX ? INT_MAX : now < 0 ? 0 : now);
            }
            const bool written = write_value(path, field, *field.integer);
            *field.integer = truncate_to_int(read_real(path, field, -1.0));
            return written;
        }
    }
    return false;
}

// Whether every key so far reached the file, and why the first one that did not failed.
struct SaveOutcome {
    bool written = true;
    int first_errno = 0;

    void note(bool field_written) {
        if (field_written || !written) return;
        written = false;
        first_errno = errno;
    }
};

void load_field(const char* path, const ParameterField& field) {
    switch (field.kind) {
        case FieldKind::real:
            *field.real = read_real(path, field, *field.real);
            break;
        case FieldKind::flag: {
            std::string text = profile_read(path, field.section, field.key);
            if (!text.empty())
                *field.switch_byte = static_cast<flag>(parse_int(text.c_str()) & 0xFF);
            break;
        }
        case FieldKind::quality: {
            // The block geometry only exists for shifts 0..2: a larger one would overrun the
            // processors' fixed buffers.
            double value = read_real(path, field, *field.integer);
            double limited = std::fmin(std::fmax(value, k_quality_high), k_quality_low);
            *field.integer = truncate_to_int(limited);
            break;
        }
        case FieldKind::stamp:
            *field.integer = truncate_to_int(read_real(path, field, -1.0));
            break;
    }
}

}  // namespace

void set_stamp_clock(clock_function clock) {
    stamp_clock = clock != nullptr ? clock : system_clock_seconds;
}

bool save_settings_file(const char* path, Settings& values, bool with_plugin_configuration) {
    // Every key is written even after one failed, as the player's profile functions go on.
    SaveOutcome outcome;
    auto save = [path, &outcome](const ParameterField& field) {
        outcome.note(save_field(path, field));
    };
    if (with_plugin_configuration) for_each_plugin_configuration_field(values, save);
    profile_flush(path);
    for_each_processing_field(values, save);
    if (!outcome.written) errno = outcome.first_errno;
    return outcome.written;
}

void load_settings_file(const char* path, Settings& values) {
    auto load = [path](const ParameterField& field) { load_field(path, field); };
    for_each_plugin_configuration_field(values, load);
    for_each_processing_field(values, load);
}

bool save_all_settings(LiveParameters& live, const char* path, bool with_plugin_configuration) {
    select_us_numeric_locale();
    Settings values = live.values;
    const bool written = save_settings_file(path, values, with_plugin_configuration);
    live.values.ikke = values.ikke;
    return written;
}

}  // namespace varnolt
