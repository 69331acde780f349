#include "chain/sample_path.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace varnolt {
namespace {

// A block refreshes the displays at most once, so credit beyond what one more block could
// spend is never used; banked, it would keep a speed beyond the slider's 0..1 in force long
// after the speed is put right.
constexpr double k_most_refresh_credit = 2.0;

}  // namespace

void count_refresh_frames(SamplePathState& path, int frames) {
    if (frames <= 0) return;
    path.frames_since_refresh =
        frames > INT_MAX - path.frames_since_refresh ? INT_MAX : path.frames_since_refresh + frames;
}

bool refresh_due(SamplePathState& path, double speed) {
    if (path.frames_since_refresh < k_refresh_frames) return false;
    path.frames_since_refresh = 0;
    // A negative speed refreshes nothing, like 0; it must not drive the credit to -inf.
    const double credit = path.refresh_credit.update([speed](double c) {
        const double next = c + speed;
        return std::isnan(next) ? c : std::clamp(next, 0.0, k_most_refresh_credit);
    });
    return credit >= 1.0;
}

void take_refresh_credit(SamplePathState& path) {
    path.refresh_credit.update([](double c) { return std::max(c - 1.0, 0.0); });
}

}  // namespace varnolt
