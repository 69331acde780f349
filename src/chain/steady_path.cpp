#include "chain/steady_path.h"

#include <cmath>

namespace varnolt {
namespace {

constexpr double k_pi = 3.14159265358979323846;

void set_weight(StageFade& fade) {
    fade.weight = 0.5 - 0.5 * std::cos(k_pi * fade.position / k_switch_fade_frames);
}

}  // namespace

void step_fade(StageFade& fade, bool on, int warmup_calls) {
    const int was = fade.position;
    if (on) {
        if (!fade.fed) {
            fade.fed = true;
            fade.fresh_calls = 0;
        }
        if (fade.fresh_calls >= warmup_calls && fade.position < k_switch_fade_frames)
            ++fade.position;
    } else {
        if (fade.position > 0) --fade.position;
        if (fade.position == 0) fade.fed = false;
    }
    // Once a frame for every part: the cosine only while a fade moves.
    if (fade.position != was) set_weight(fade);
}

void start_fade(StageFade& fade, bool on) {
    fade.fed = on;
    fade.fresh_calls = 0;
    fade.position = on ? k_switch_fade_frames : 0;
    set_weight(fade);
}

int processor_warmup_calls(const Processor& processor) {
    return processor.latency() + 2 * k_block_frames + processor.hop();
}

}  // namespace varnolt
