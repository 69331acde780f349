#pragma once
// The range of each window slider: the values its control can set. The parameter table carries
// them with each key; the window draws its sliders by them, the LV2 plug-in gives them to hosts
// as its ports' bounds, and the command-line tool warns of a value outside them.

namespace varnolt {

struct ControlRange {
    double lowest;   // the slider's lowest reading; above 0 where the processing needs a floor
    double highest;  // its top
};

namespace control_range {
// The chain divides by this volume: the slider reads no less than 0.1.
constexpr ControlRange pc_recording_volume{0.1, 5.0};
constexpr ControlRange band_gain{0.0, 5.0};
constexpr ControlRange pre_amplifier{0.0, 2.5};
constexpr ControlRange post_amplifier{0.0, 10.0};
// The automatic factors are limited to 1 / M .. M: the slider reads no less than 1.
constexpr ControlRange maximum_auto_adjustment{1.0, 5.0};
constexpr ControlRange fm_ignore_lowest{0.0, 100.0};  // percent
constexpr ControlRange fm_multiply_by{0.0, 5.0};
constexpr ControlRange fm_reduce{0.0, 300.0};    // percent
constexpr ControlRange fm_delay_time{0.0, 4.0};  // seconds
constexpr ControlRange fm_signal_roughness{0.0, 100.0};
constexpr ControlRange screen_refresh_speed{0.0, 1.0};
// The live-only azimuth controls, which no file holds.
constexpr ControlRange azimuth_limit{0.0, 50.0};  // micrometres
constexpr ControlRange azimuth_speed{0.0, 5.0};   // micrometres per second
}  // namespace control_range

}  // namespace varnolt
