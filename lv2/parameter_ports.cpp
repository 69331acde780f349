#include "parameter_ports.h"

#include <cstring>

#include "settings/parameter_table.h"

namespace varnolt::lv2 {
namespace {

struct Entry {
    const char* section;
    const char* key;
    ParameterPort range;
};

constexpr ParameterPort left_out(const char* reason) {
    return {false, nullptr, Unit::none, reason};
}
constexpr ParameterPort slider(const char* label, Unit unit, const char* comment = nullptr) {
    return {true, label, unit, comment};
}
constexpr ParameterPort check_box(const char* label, const char* comment = nullptr) {
    return {true, label, Unit::none, comment};
}
// Radio buttons: a choice port, whose values come with its named points.
constexpr ParameterPort radio_buttons(const char* label, const char* comment) {
    return {true, label, Unit::none, comment};
}

// The equaliser's sixteen band keys share one entry; they are matched by this prefix.
constexpr const char* k_band_prefix = "Amplification - Band ";
constexpr ParameterPort k_band_port =
    slider(nullptr, Unit::coefficient,
           "Bias equaliser band gain, as the window's vertical slider. The centre frequency "
           "named is the one at 44.1 kHz; the bands move with the sample rate.");

const Entry entries[] = {
    // The window's own settings: nothing a host without the window would use.
    {section::plugin_configuration, "Iconify at startup", left_out("the window's start")},
    {section::plugin_configuration, "CPU usage - Screen refresh speed",
     left_out("the displays' refresh")},
    {section::plugin_configuration, "CPU usage - Quality",
     radio_buttons("Quality", "Block processors' quality (the window's \"CPU usage\")")},
    {section::plugin_configuration, "Ikke", left_out("the settings file's time stamp")},

    {section::common, "Post amplifier", slider("Post amplifier", Unit::coefficient)},
    {section::singleband, "Enabled",
     check_box("Constant volume", "The \"Constant volume\" compressor")},

    {section::dolby, "PC Recording Volume",
     slider("Dolby B remover: PC recording volume", Unit::coefficient)},
    {section::dolby, "Enabled", check_box("Dolby B remover")},
    {section::dolby, "Difference",
     check_box("Dolby B remover: difference", "Hear what the Dolby B remover takes away")},
    // The envelope coefficients and the strength have no control in the window: they keep the
    // values the decoder was made for.
    {section::dolby, "Attack speed", left_out("no window control")},
    {section::dolby, "Decay speed", left_out("no window control")},
    {section::dolby, "Dolby strength", left_out("no window control")},
    // Came after the ports a host may have saved with a project: a port here would move every
    // later one. Its port, the "Dolby B decoder" choice (port_layout's decoder_choice), comes
    // after the count of input samples replaced, with the Dolby level's.
    {section::dolby, "Standard decoder",
     left_out("its port is the \"Dolby B decoder\" choice, appended after the earlier ports")},

    {section::bias, "Enabled", check_box("Bias equaliser")},
    {section::bias, "Main Pre Amplifier Left",
     slider("Bias: pre-amplifier left", Unit::coefficient)},
    {section::bias, "Main Pre Amplifier Right",
     slider("Bias: pre-amplifier right", Unit::coefficient)},
    {section::bias, "Maximum automatic volume adjustment",
     slider("Bias: largest automatic adjustment", Unit::coefficient)},
    {section::bias, "Right channel amplification relative to left channel",
     check_box("Bias: right relative to left")},
    {section::bias, "Left channel amplification relative to right channel",
     check_box("Bias: left relative to right")},
    {section::bias, "Auto-adjust left channel amplification", check_box("Bias: auto-adjust left")},
    {section::bias, "Auto-adjust right channel amplification",
     check_box("Bias: auto-adjust right")},
    {section::bias, "Auto-adjust clustered", check_box("Bias: auto-adjust clustered")},
    {section::bias, "Auto-adjust bias only", check_box("Bias: auto-adjust bias only")},

    {section::fm_filter, "Enabled", check_box("FM stereo hiss filter")},
    {section::fm_filter, "Difference",
     check_box("FM hiss filter: difference", "Hear what the hiss filter takes away")},
    {section::fm_filter, "Ignore lowest percentage",
     slider("FM hiss filter: ignore lowest", Unit::percent)},
    {section::fm_filter, "Multiply by", slider("FM hiss filter: multiply by", Unit::coefficient)},
    {section::fm_filter, "Reduce stereo noise by percentage",
     slider("FM hiss filter: reduce stereo noise", Unit::percent)},
    {section::fm_filter, "Delay time", slider("FM hiss filter: delay time", Unit::seconds)},
    {section::fm_filter, "Signal roughness",
     slider("FM hiss filter: signal roughness", Unit::none)},
};

}  // namespace

const ParameterPort* parameter_port(const char* section, const char* key) {
    if (std::strcmp(section, section::bias) == 0 &&
        std::strncmp(key, k_band_prefix, std::strlen(k_band_prefix)) == 0)
        return &k_band_port;
    for (const Entry& entry : entries)
        if (std::strcmp(entry.section, section) == 0 && std::strcmp(entry.key, key) == 0)
            return &entry.range;
    return nullptr;
}

}  // namespace varnolt::lv2
