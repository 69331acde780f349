#pragma once
// The tape processor with the plain transform, band synthesis and per-frame Dolby B loop: each
// band's spectrum on its own, through a transform of both channels, and the Dolby stage frame
// by frame with a fresh search of the gain table, where the processor packs channels and band
// pairs into shared transforms, follows the levels side by side and splits the Dolby loop into
// passes. Tables, settings and state are the processor's own (tape_state).

#include "processors/tape_processor.h"

namespace varnolt::reference {

class TapeProcessor : public varnolt::TapeProcessor {
  public:
    using varnolt::TapeProcessor::TapeProcessor;
    void process_block() override;

  private:
    // `spectrum`: the transform of the analysis block, both channels side by side.
    void split_into_bands(const complex_lr* spectrum, BandFrame* record);
    // The Dolby B decoding and the band sum into the output ring (dolby_decoder.cpp).
    void decode_and_sum(BandFrame* record);
};

}  // namespace varnolt::reference
