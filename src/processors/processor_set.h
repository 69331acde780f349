#pragma once
// The four processor objects of an instance (chain/instance.h), which creates and destroys them;
// in the DLL owned by the plug-in from Init to Quit and used by the chain.
// Owner: the window thread, which creates them in Init and destroys them in Quit, while the
// player plays nothing through the plug-in (it calls Init before the first block and Quit after
// the last); the playback thread uses them in between. The player's own start and stop of its
// playback hand them over, so the pointers are plain.

namespace varnolt {

class Processor;
class Singleband;

// The chain uses the tape, stereo and tone objects only through the block framework
// (processor.h); the compressor works sample by sample on its own.
struct ProcessorSet {
    Processor* tape = nullptr;         // bias equaliser and Dolby B remover
    Singleband* singleband = nullptr;  // "Constant volume" compressor
    Processor* stereo = nullptr;       // azimuth correction and FM stereo hiss removal
    Processor* tone = nullptr;         // 2 kHz tone level for the display
    int applied_quality = -1;          // quality last handed to the objects; -1 forces the first
};

}  // namespace varnolt
