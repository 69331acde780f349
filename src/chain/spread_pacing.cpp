#include "chain/spread_pacing.h"

namespace varnolt {
namespace {

// The credit comes a little faster than the steps' weight over their span: the steps then run
// ahead of each processor's own schedule, which would otherwise run a step that fell behind in
// the same call as the one the credit allows.
constexpr double k_pacing_lead = 1.15;

}  // namespace

void pace_pending_steps(SpreadPacing& pacing, Processor* const* processors, int count, int pushes) {
    double rate = 0.0;
    for (int i = 0; i < count; ++i)
        if (processors[i] != nullptr) rate += processors[i]->weight_per_push();
    if (!(rate > 0.0)) {
        pacing.credit = 0.0;
        return;
    }
    pacing.credit += k_pacing_lead * rate * pushes;
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
