#pragma once
// The LV2 plug-in's ports, in index order: the audio ports of the variant, one control input per
// window parameter, the displays' numbers as control outputs, the latency, the automatic
// level's switch and its two outputs, the count of input samples replaced, and the Dolby B
// decoder's choice, the Dolby level and the Dolby level in use. The plug-in binds
// its instance's live parameters through this list and the Turtle generator writes the same list,
// so the description a host reads and the code that runs can never disagree.

#include <string>
#include <vector>

#include "settings/parameters.h"

namespace varnolt::lv2 {

enum class Variant { stereo, mono };

constexpr const char* k_stereo_uri = "https://tolvane.example/varnolt/lv2/stereo";
constexpr const char* k_mono_uri = "https://tolvane.example/varnolt/lv2/mono";

// The two plug-ins of the bundle.
const char* plugin_uri(Variant variant);
const char* plugin_name(Variant variant);
// Inputs and outputs of the variant: 2 and 2 for stereo, 1 and 1 for mono.
int audio_channels(Variant variant);

enum class ControlKind {
    real,    // a slider's value, clamped to its range
    toggle,  // a check box: above 0 is on
    choice,  // an integer with named values (lv2:enumeration)
};

enum class Unit { none, coefficient, percent, seconds, micrometres, micrometres_per_second, db };

struct ScalePoint {
    int value;
    const char* label;
};

// One control input and the live parameter it drives; exactly one of the three targets is set.
struct ControlPort {
    std::string symbol;  // lv2:symbol, a C identifier made from the name
    std::string name;    // "Section/Key" as the INI file and --print-settings name it
    std::string label;   // lv2:name, as the window names the control
    ControlKind kind = ControlKind::real;
    double minimum = 0.0;
    double maximum = 1.0;
    double default_value = 0.0;  // the live value when the list is built
    Unit unit = Unit::none;
    std::vector<ScalePoint> points;  // choice only
    const char* comment = nullptr;
    relaxed<double>* real = nullptr;
    relaxed<flag>* switch_byte = nullptr;
    relaxed<int>* integer = nullptr;
};

// The control inputs bound to `live`, whose current values become the defaults. Empty, with
// `problem` saying why, when the parameter table has a key this list does not know how to show:
// a new parameter must be given a range (or be left out on purpose) before the plug-in builds.
std::vector<ControlPort> control_ports(LiveParameters& live, std::string& problem);

// The control outputs, after the control inputs.
enum MonitorPort : int {
    k_monitor_azimuth,         // applied azimuth correction, micrometres of tape
    k_monitor_sidechain_left,  // Dolby B sidechain level, dB as the window's column reads it
    k_monitor_sidechain_right,
    k_monitor_compressor_gain,  // the "Constant volume" stage's gain, dB
    k_monitor_ports
};

struct MonitorDescription {
    const char* symbol;
    const char* name;
    double minimum;
    double maximum;
    Unit unit;
};
extern const MonitorDescription monitor_descriptions[k_monitor_ports];

// The automatic level's ports, after the latency: appended, so that every port before keeps the
// index a host may have saved with a project.
struct LevelPortDescription {
    const char* symbol;
    const char* name;
    const char* comment;
};
// The switch, a toggle input, off by default.
extern const LevelPortDescription k_automatic_level_switch;
// The held "PC Recording Volume" (the channels' geometric mean), 0 when none is held.
extern const LevelPortDescription k_automatic_level_value;
// What the held value went by, an integer output with these named values.
extern const LevelPortDescription k_automatic_level_basis;
enum LevelBasisValue : int {
    k_level_basis_none,  // the switch is off, or it waits for sound, or it measures
    k_level_basis_programme,
    k_level_basis_tone,
    k_level_basis_silence,  // nothing to go by: the ports' values stay in force
};
extern const std::vector<ScalePoint> k_level_basis_points;

// The count of input samples the entry replaced since activation, a control output after the
// automatic level's ports, so every port before keeps its index.
extern const LevelPortDescription k_replaced_samples;

// The ports that came with the standard Dolby B decoder, after the count of samples replaced
// (the decoder's key sits among the remover's in the parameter table, but a port there would
// move every later port a host may have saved with a project):
// - the "Dolby B decoder" choice, a control input bound to the settings file's
//   "Dolby B Remover/Standard decoder" like the ports of the table;
ControlPort decoder_choice(LiveParameters& live);
enum DecoderChoiceValue : int { k_decoder_table_remover, k_decoder_standard };
// - the "Dolby level" control input, in dBFS. Its lowest value, the default, takes the level from
//   the "PC Recording Volume" port, so that a project saved before the port existed sounds as
//   it did; any higher value sets that volume to the level's exactly, overriding the port.
extern const LevelPortDescription k_dolby_level;
constexpr int k_dolby_level_from_volume_dbfs = -60;
constexpr int k_highest_dolby_level_dbfs = 0;
extern const std::vector<ScalePoint> k_dolby_level_points;
// - the "Dolby level in use" control output, dBFS: the level the volume the chain works at
//   stands for, within these bounds.
extern const LevelPortDescription k_dolby_level_in_use;
double lowest_dolby_level_in_use();
double highest_dolby_level_in_use();

// Port indices of a variant with `controls` control inputs.
struct PortIndices {
    int audio_in = 0;   // first audio input; the outputs follow the inputs
    int audio_out = 0;  // first audio output
    int first_control = 0;
    int first_monitor = 0;
    int latency = 0;
    int automatic_level = 0;  // the switch
    int level_value = 0;
    int level_basis = 0;
    int replaced = 0;  // input samples replaced
    int decoder = 0;   // the Dolby B decoder's choice
    int dolby_level = 0;
    int dolby_level_in_use = 0;
    int count = 0;
};
PortIndices port_indices(Variant variant, int controls);

// The latency the plug-in reports, in frames, from instantiation on: the steady path's.
double latency_frames_reported();

// The "Input samples replaced" port's upper bound: the largest count a float holds exactly.
double replaced_maximum();

}  // namespace varnolt::lv2
