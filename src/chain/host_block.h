#pragma once
// One block in the host's packed PCM layout through an instance's chain: the player's DLL hands
// it every block it is given, the command-line tool every block of an integer file, so a file
// comes out as the player would play it. Playback thread (the tool's file thread).

namespace varnolt {

struct Instance;

// The block to the working scale, through the instance's chain, and back with the instance's
// dither; untouched in bypass, with a width the plug-in does not convert, or a rate of 0 or
// less.
void restore_host_block(Instance& instance, short* samples, int frames, int bits, int channels,
                        int sample_rate);

}  // namespace varnolt
