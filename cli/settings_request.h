#pragma once
// Which settings a run restores with: the first-start values unless the command line asks for
// the player's INI file, a settings file, single values or the live-only switches.

#include <optional>
#include <string>
#include <vector>

namespace varnolt {
struct LiveParameters;
}

namespace varnolt::cli {

struct SettingsRequest {
    bool player_settings = false;         // the profile's dsp_varnolt.ini, read only
    std::string settings_file;            // INI or preset
    std::vector<std::string> sets;        // "Section/Key=value", applied in order
    std::string azimuth;                  // "on", "off" or empty for the start value
    std::optional<double> azimuth_limit;  // micrometres
    std::optional<double> azimuth_speed;  // micrometres per second
    bool mono = false;
    std::string mode;           // "full", "no-dolby", "bypass" or empty
    std::string quality;        // "high", "normal", "low" or empty
    std::string dolby_decoder;  // "standard", "table" or empty to keep the setting
};

// Checks what can be checked before any file is touched (the names and values of --set); false
// with a one-line reason.
bool validate_settings_request(const SettingsRequest& request, std::string& error);

// The parameters a run starts from: the first-start values, whatever lies in the profile folder
// or the current directory; with the player's settings asked for, the player's INI file loaded
// into them as the player's Init loads it. False with a one-line reason.
bool starting_parameters(const SettingsRequest& request, LiveParameters& parameters,
                         std::string& error);

// Applies the settings file, the single values and the switches to `parameters`, in that order;
// false with a one-line reason.
bool apply_settings_request(const SettingsRequest& request, LiveParameters& parameters,
                            std::string& error);

// Every parameter with its value, one "Section/Key=value" line each, then the live-only
// switches as the options that set them.
std::string settings_listing(const LiveParameters& parameters);

// Writes the settings of `parameters` as a preset, as the window's SAVE does.
bool save_settings_preset(const LiveParameters& parameters, const std::string& path,
                          std::string& error);

}  // namespace varnolt::cli
