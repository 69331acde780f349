#include "port_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "automatic_level.h"
#include "chain/chain.h"
#include "level/dolby_level.h"
#include "parameter_ports.h"
#include "processors/tape_processor.h"
#include "settings/parameter_table.h"

namespace varnolt::lv2 {
namespace {

const std::vector<ScalePoint> k_qualities = {
    {k_quality_high, "high"}, {k_quality_normal, "normal"}, {k_quality_low, "low"}};
const std::vector<ScalePoint> k_modes = {{k_mode_bypass, "bypass"},
                                         {k_mode_full, "full"},
                                         {k_mode_without_dolby, "without the Dolby B remover"}};
const std::vector<ScalePoint> k_decoders = {{k_decoder_table_remover, "table remover"},
                                            {k_decoder_standard, "standard decoder"}};

// A C identifier from a name: letters and digits lower-cased, every other run as one '_'.
std::string symbol_for(const std::string& name) {
    std::string symbol;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u)) {
            symbol += static_cast<char>(std::tolower(u));
        } else if (!symbol.empty() && symbol.back() != '_') {
            symbol += '_';
        }
    }
    while (!symbol.empty() && symbol.back() == '_') symbol.pop_back();
    return symbol;
}

// A port of `kind` for the parameter `name`, shown as `label`.
ControlPort port_for(const std::string& name, const std::string& label, ControlKind kind,
                     const char* comment) {
    ControlPort port;
    port.symbol = symbol_for(name);
    port.name = name;
    port.label = label;
    port.kind = kind;
    port.comment = comment;
    return port;
}

ControlPort choice(const std::string& name, const std::string& label, relaxed<int>& value,
                   const std::vector<ScalePoint>& points, const char* comment) {
    ControlPort port = port_for(name, label, ControlKind::choice, comment);
    port.minimum = port.maximum = points.front().value;
    for (const ScalePoint& p : points) {
        if (p.value < port.minimum) port.minimum = p.value;
        if (p.value > port.maximum) port.maximum = p.value;
    }
    port.default_value = value;
    port.points = points;
    port.integer = &value;
    return port;
}

ControlPort toggle(const std::string& name, const std::string& label, relaxed<flag>& value,
                   const char* comment) {
    ControlPort port = port_for(name, label, ControlKind::toggle, comment);
    port.default_value = value != 0 ? 1.0 : 0.0;
    port.switch_byte = &value;
    return port;
}

ControlPort real_port(const std::string& name, const std::string& label, relaxed<double>& value,
                      double minimum, double maximum, Unit unit, const char* comment) {
    ControlPort port = port_for(name, label, ControlKind::real, comment);
    port.minimum = minimum;
    port.maximum = maximum;
    port.default_value = value;
    port.unit = unit;
    port.real = &value;
    return port;
}

// A frequency as a person reads it, to two significant figures: "470 Hz", "2.2 kHz", "10 kHz".
std::string frequency_text(double hz) {
    const double rounded = std::pow(10.0, std::floor(std::log10(hz)) - 1.0);
    const double value = std::round(hz / rounded) * rounded;
    char text[32];
    if (value < 1000.0)
        std::snprintf(text, sizeof text, "%.0f Hz", value);
    else
        std::snprintf(text, sizeof text, "%g kHz", value / 1000.0);
    return text;
}

// "Band 3 (470 Hz) left" for the key "Amplification - Band 3 Left": the centre at 44.1 kHz.
std::string band_label(const char* key) {
    int band = 0;
    char side[8] = {};
    if (std::sscanf(key, "Amplification - Band %d %7s", &band, side) != 2) return key;
    side[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(side[0])));
    return "Band " + std::to_string(band) + " (" + frequency_text(band_centre_hz(band, 44100.0)) +
           ") " + side;
}

}  // namespace

const char* plugin_uri(Variant variant) {
    return variant == Variant::stereo ? k_stereo_uri : k_mono_uri;
}

const char* plugin_name(Variant variant) {
    return variant == Variant::stereo ? "Varnolt tape restoration (stereo)"
                                      : "Varnolt tape restoration (mono)";
}

int audio_channels(Variant variant) {
    return variant == Variant::stereo ? 2 : 1;
}

std::vector<ControlPort> control_ports(LiveParameters& live, std::string& problem) {
    std::vector<ControlPort> ports;
    problem.clear();
    const auto visit = [&](const ParameterField& field) {
        const std::string name = std::string(field.section) + "/" + field.key;
        const ParameterPort* port = parameter_port(field.section, field.key);
        if (port == nullptr) {
            if (problem.empty()) problem = "no LV2 port for \"" + name + "\"";
            return;
        }
        if (!port->shown) return;
        const std::string label = port->label != nullptr ? port->label : band_label(field.key);
        switch (field.kind) {
            case FieldKind::real:
                if (field.range == nullptr) {
                    problem = "\"" + name + "\" has no window slider to take a range from";
                    return;
                }
                ports.push_back(real_port(name, label, *field.real, field.range->lowest,
                                          field.range->highest, port->unit, port->comment));
                break;
            case FieldKind::flag:
                ports.push_back(toggle(name, label, *field.switch_byte, port->comment));
                break;
            case FieldKind::quality:
                ports.push_back(choice(name, label, *field.integer, k_qualities, port->comment));
                break;
            case FieldKind::stamp:
                problem = "\"" + name + "\" is a time stamp, not a control";
                break;
        }
    };
    for_each_plugin_configuration_field(live.values, visit);
    for_each_processing_field(live.values, visit);

    // The live-only switches, whose symbols come from the command-line tool's options.
    ports.push_back(toggle("--azimuth", "Azimuth correction", live.azimuth_enabled,
                           "Live only: not in the settings file"));
    ports.push_back(real_port("--azimuth-limit", "Azimuth correction: limit", live.azimuth_limit,
                              control_range::azimuth_limit.lowest,
                              control_range::azimuth_limit.highest, Unit::micrometres,
                              "Largest azimuth correction"));
    ports.push_back(real_port("--azimuth-speed", "Azimuth correction: speed", live.azimuth_speed,
                              control_range::azimuth_speed.lowest,
                              control_range::azimuth_speed.highest, Unit::micrometres_per_second,
                              "How fast the azimuth correction may follow"));
    ports.push_back(toggle("--mono", "Mono", live.mono, "Both channels carry their mean"));
    ports.push_back(choice("--mode", "Processing", live.processing_mode, k_modes,
                           "Processing as the tray icon switches it"));
    if (!problem.empty()) ports.clear();
    return ports;
}

const MonitorDescription monitor_descriptions[k_monitor_ports] = {
    {"azimuth_correction", "Azimuth correction applied", -50.0, 50.0, Unit::micrometres},
    {"dolby_sidechain_left", "Dolby B sidechain level left", -90.0, 60.0, Unit::db},
    {"dolby_sidechain_right", "Dolby B sidechain level right", -90.0, 60.0, Unit::db},
    {"compressor_gain", "Constant volume gain", -90.0, 60.0, Unit::db},
};

static_assert(k_lv2_level_measure_seconds == 10.0 && k_lv2_level_sound_dbfs == -60.0,
              "the switch's comment gives the time and the level");
const LevelPortDescription k_automatic_level_switch = {
    "automatic_level", "Automatic level",
    "Chooses the Dolby B remover's \"PC Recording Volume\" from the first 10 s of sound after "
    "activation or after switching on (from the first sample at -60 dBFS or above: the silence "
    "a host plays before the programme does not count), and holds it with the remover running: "
    "from a line-up tone, each channel its own where their tones differ, else from the "
    "programme's treble. While it waits and measures, when the 10 s held only silence, and when "
    "off, the \"PC Recording Volume\" (or \"Dolby level\") and \"Enabled\" ports are in "
    "force."};
const LevelPortDescription k_automatic_level_value = {
    "automatic_level_value", "Automatic level: PC recording volume",
    "The \"PC Recording Volume\" the automatic level holds (the channels' geometric mean where "
    "each has its own); 0 while it measures, when it found only silence, and when it is off."};
const LevelPortDescription k_automatic_level_basis = {
    "automatic_level_basis", "Automatic level: basis",
    "What the held value went by: a line-up tone in every channel, else the programme; silence "
    "holds no value."};
const LevelPortDescription k_replaced_samples = {
    "input_samples_replaced", "Input samples replaced",
    "Input samples since activation that were no audio and were replaced before processing: "
    "a NaN by silence, an infinity or a value beyond 16 (+24 dBFS) by full scale."};
const std::vector<ScalePoint> k_level_basis_points = {
    {k_level_basis_none, "off, waiting or measuring"},
    {k_level_basis_programme, "programme"},
    {k_level_basis_tone, "tone"},
    {k_level_basis_silence, "silence"}};

ControlPort decoder_choice(LiveParameters& live) {
    relaxed<flag>& standard = live.values.standard_decoder;
    ControlPort port = port_for(
        std::string(section::dolby) + "/Standard decoder", "Dolby B decoder", ControlKind::choice,
        "Which decoder the \"Dolby B remover\" switch runs: the table remover the window's "
        "controls describe, or the standard decoder, the exact inverse of a Dolby B encoder at "
        "the \"Dolby level\"");
    // Named as the port is shown, not after the key: it chooses between two decoders.
    port.symbol = "dolby_b_decoder";
    port.minimum = k_decoder_table_remover;
    port.maximum = k_decoder_standard;
    port.default_value = standard != 0 ? k_decoder_standard : k_decoder_table_remover;
    port.points = k_decoders;
    port.switch_byte = &standard;
    return port;
}

const LevelPortDescription k_dolby_level = {
    "dolby_level", "Dolby level",
    "The peak level, in the stream, of a sine at the tape's Dolby level, such as its 400 Hz "
    "line-up tone: the level both Dolby B decoders work at. At -60 dBFS, the default, it is "
    "taken from the \"PC Recording Volume\" port, as before this port existed; above it, it "
    "sets that volume to the level's exactly, overriding the port. The automatic level, while it "
    "holds a value, overrides both."};
const std::vector<ScalePoint> k_dolby_level_points = {
    {k_dolby_level_from_volume_dbfs, "from PC Recording Volume"}};
static_assert(k_dolby_level_from_volume_dbfs == -60, "the Dolby level's comment gives its floor");
const LevelPortDescription k_dolby_level_in_use = {
    "dolby_level_in_use", "Dolby level in use",
    "The Dolby level the decoders work at: the automatic level's while it holds one (the "
    "channels' geometric mean where each has its own), else the \"Dolby level\" port's, else "
    "the one the \"PC Recording Volume\" port stands for."};

// Whole decibels, outward: the bounds a host shows.
double lowest_dolby_level_in_use() {
    return std::floor(
        std::min<double>(k_dolby_level_from_volume_dbfs, dolby_level_for_volume(k_lowest_volume)));
}

double highest_dolby_level_in_use() {
    return std::ceil(
        std::max<double>(k_highest_dolby_level_dbfs, dolby_level_for_volume(k_highest_volume)));
}

PortIndices port_indices(Variant variant, int controls) {
    PortIndices p;
    const int channels = audio_channels(variant);
    p.audio_in = 0;
    p.audio_out = channels;
    p.first_control = 2 * channels;
    p.first_monitor = p.first_control + controls;
    p.latency = p.first_monitor + k_monitor_ports;
    p.automatic_level = p.latency + 1;
    p.level_value = p.automatic_level + 1;
    p.level_basis = p.level_value + 1;
    p.replaced = p.level_basis + 1;
    p.decoder = p.replaced + 1;
    p.dolby_level = p.decoder + 1;
    p.dolby_level_in_use = p.dolby_level + 1;
    p.count = p.dolby_level_in_use + 1;
    return p;
}

double latency_frames_reported() {
    return k_steady_delay_calls / 2;
}

double replaced_maximum() {
    return 16777216.0;  // 2^24
}

}  // namespace varnolt::lv2
