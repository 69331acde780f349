#include "start_values.h"

namespace varnolt::lv2 {

bool start_instance(Instance& instance) {
    create_processors(instance);
    // The processors write their own defaults into the live values as they are built; the
    // player then loads its settings file, whose missing keys take the first-start values.
    instance.live.values = Settings{};
    instance.live.processing_mode = k_mode_full;
    const ProcessorSet& p = instance.processors;
    return p.tape != nullptr && p.singleband != nullptr && p.stereo != nullptr && p.tone != nullptr;
}

}  // namespace varnolt::lv2
