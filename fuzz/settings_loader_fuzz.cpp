// The settings loader on any bytes as a settings file: load it, save what was loaded, load that
// again. The second load must give the same parameters, as far as the file's number format
// keeps them, and no parameter may be left non-finite.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "settings/number_format.h"
#include "settings/parameter_table.h"
#include "settings/parameters.h"
#include "settings/presets.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace varnolt {
namespace {

constexpr long long k_stamp = 1165512345;  // what the save stamps a missing "Ikke" with

long long fixed_clock() {
    return k_stamp;
}

// A field of the table with its key kept (the table hands out band keys from its own buffers).
struct Field {
    ParameterField field;
    std::string key;
};

[[noreturn]] void fail(const Field& f, double first, double second) {
    std::fprintf(stderr, "[%s] %s: %.17g after the first load, %.17g after the second\n",
                 f.field.section, f.key.c_str(), first, second);
    std::abort();
}

// What the file keeps of a value: the nine-decimal text read back.
double as_written(double v) {
    return parse_real(format_number(v).c_str());
}

// Walks the fields of two records side by side.
template <class Check>
void compare(Settings& first, Settings& second, Check check) {
    std::vector<Field> a, b;
    auto into = [](std::vector<Field>& list) {
        return [&list](const ParameterField& f) { list.push_back({f, f.key}); };
    };
    for_each_plugin_configuration_field(first, into(a));
    for_each_processing_field(first, into(a));
    for_each_plugin_configuration_field(second, into(b));
    for_each_processing_field(second, into(b));
    for (std::size_t i = 0; i < a.size(); ++i) check(a[i], b[i]);
}

void check_field(const Field& f, const Field& g) {
    const ParameterField& first = f.field;
    const ParameterField& second = g.field;
    switch (first.kind) {
        case FieldKind::real:
            if (!std::isfinite(*first.real)) fail(f, *first.real, *second.real);
            if (as_written(*first.real) != *second.real) fail(f, *first.real, *second.real);
            break;
        case FieldKind::flag:
            if (*first.switch_byte != *second.switch_byte)
                fail(f, *first.switch_byte, *second.switch_byte);
            break;
        case FieldKind::quality:
            if (*first.integer < 0 || *first.integer > 2 || *first.integer != *second.integer)
                fail(f, *first.integer, *second.integer);
            break;
        case FieldKind::stamp: {
            const int expected =
                *first.integer == -1 ? static_cast<int>(k_stamp) : first.integer->load();
            if (*second.integer != expected) fail(f, *first.integer, *second.integer);
            break;
        }
    }
}

}  // namespace
}  // namespace varnolt

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace varnolt;
    static testing::ScratchDir dir;
    static const std::string loaded = dir.file("loaded.ini");
    static const std::string saved = dir.file("saved.ini");
    testing::reset_plugin_state();
    set_stamp_clock(fixed_clock);
    std::ofstream(loaded, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    std::remove(saved.c_str());

    LiveParameters live;
    load_preset(live, loaded.c_str());
    Settings first = live.values;
    save_all_settings(live, saved.c_str(), true);
    load_preset(live, saved.c_str());
    Settings second = live.values;
    compare(first, second, check_field);
    return 0;
}
