#include "reference/stereo.h"

#include "reference/synthesis.h"
#include "reference/transform.h"

namespace varnolt::reference {
namespace {

stereo_frame hop_frames[k_block_frames];

}  // namespace

// The processor's own spectrum array holds the block between the transforms.
void Stereo::process_block() {
    assemble_analysis_block(stereo_state.previous_frames, spectrum);
    reference::transform(spectrum, geometry().log2_frames, false);
    perform_actions(spectrum);
    reference::synthesize(*this, spectrum, stereo_state.tail, hop_frames);
    for (int m = 0; m < geometry().frames - geometry().overlap; ++m) {
        write_output(hop_frames[m].left);
        write_output(hop_frames[m].right);
    }
}

}  // namespace varnolt::reference
