#pragma once
// The standard Dolby B decoder's place in the chain: on the tape processor's output, in place of
// the table remover's band gains, while the samples are still divided by "PC Recording Volume".
// So the one setting is the Dolby level for both decoders: a sample divided by it has its Dolby
// level at k_dolby_level_at_unity_dbfs, whatever the transfer's level. Playback thread only (the
// thread that runs the stream).

#include "processors/dolby_b_network.h"

namespace varnolt {

struct StandardDecoderState {
    DolbyBChannel channel[2];  // left, right
    // The volume each channel's last sample was divided by; 0 before the first.
    double volume[2] = {};
    DolbyBCoefficients coefficients;
    double rate = 0.0;  // the rate the coefficients were worked out for; 0 before the first
};

// The Dolby level of a sample divided by "PC Recording Volume", in working units (16-bit full
// scale): the amplitude of a sine at k_dolby_level_at_unity_dbfs.
double standard_decoder_dolby_level();

// One sample of `channel` (0 or 1), divided by `volume`, decoded at `sample_rate`. A volume other
// than the channel's last sample's (a moved slider, a new Dolby level, a held automatic level)
// scales the channel's state with the samples: the decoder goes on from the passage as it was,
// now at the new level, rather than from a state the size of the old one, which is heard as a
// step once the output is multiplied back.
double standard_decode(StandardDecoderState& state, int channel, double x, double volume,
                       double sample_rate);

// Both channels at rest, as at the stream's start: for a decoder that starts on a new passage.
void rest_standard_decoder(StandardDecoderState& state);

}  // namespace varnolt
