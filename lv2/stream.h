#pragma once
// One LV2 plug-in instance: its variant and rate, the core's Instance with the control inputs
// bound to it, and the ports the host connected. Built and rebuilt outside run() (instantiate,
// activate); run() only reads and writes what is here.

#include <memory>
#include <vector>

#include "automatic_level.h"
#include "chain/entry_sample.h"
#include "chain/instance.h"
#include "port_layout.h"

namespace varnolt::lv2 {

struct Stream {
    Stream(Variant kind, double rate)
        : variant(kind), sample_rate(rate), level(rate, audio_channels(kind)) {}

    Variant variant = Variant::stereo;
    double sample_rate = 44100.0;
    PortIndices ports;
    std::vector<float*> connections;  // indexed by port; nullptr until connected

    std::unique_ptr<Instance> instance;
    std::vector<ControlPort> controls;  // bound to instance->live
    // Per control, the last value read from a good port value (the default before the first):
    // what stays in force while the host sends NaN, and what a rebuilt instance starts with.
    std::vector<double> in_force;
    // The Dolby B decoder's choice, bound to instance->live like `controls`, and its value in
    // force.
    ControlPort decoder;
    double decoder_in_force = 0.0;
    // The "PC Recording Volume" the Dolby level port sets; 0 leaves the volume port's in force.
    double dolby_level_volume = 0.0;
    double monitors[k_monitor_ports] = {};
    // The automatic level, and the index in `controls` of the one it combines with, the Dolby B
    // remover's "Enabled" (-1 if the list had none).
    AutomaticLevel level;
    int dolby_switch = -1;
    // The input samples replaced on entry since activation (NaN, infinities, beyond +24 dBFS).
    EntryFaults faults;
    // Nothing has run since the instance was built: activate need not build another.
    bool fresh = true;
};

// A stream at `sample_rate`, its instance at the plug-in's first-start values; nullptr when it
// cannot be built (out of memory, or a parameter without a port).
std::unique_ptr<Stream> make_stream(Variant variant, double sample_rate);

// The start of a new stream (activate): a new instance, so every filter, ring and gain starts
// as at instantiate, with the control values in force. On failure the old one is kept.
void restart_stream(Stream& stream);

// One run() of `frames` frames. Allocates nothing, takes no lock.
void run_stream(Stream& stream, unsigned frames);

}  // namespace varnolt::lv2
