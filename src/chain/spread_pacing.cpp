#include "chain/spread_pacing.h"

namespace varnolt {

void pace_pending_steps(SpreadPacing& pacing, Processor* const* processors, int count, int pushes) {
    double rate = 0.0;
    for (int i = 0; i < count; ++i)
        if (processors[i] != nullptr) rate += processors[i]->weight_per_push();
    if (!(rate > 0.0)) {
        pacing.credit = 0.0;
        return;
    }
    pacing.credit += rate * pushes;
    while (pacing.credit > 0.0) {
        Processor* next = nullptr;
        for (int i = 0; i < count; ++i) {
            Processor* p = processors[i];
            if (p == nullptr || p->steps_pending() == 0) continue;
            if (next == nullptr || p->pushes_before_next_step() < next->pushes_before_next_step())
                next = p;
        }
        if (next == nullptr) break;
        pacing.credit -= next->next_step_weight();
        next->run_next_step();
    }
}

}  // namespace varnolt
