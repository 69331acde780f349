#pragma once
// The stereo processor with the plain transform and synthesis: the block goes to its one-sided
// spectrum channel by channel, where the processor packs both channels into one complex signal.
// The azimuth correction and the hiss filter in between are the processor's own.

#include "processors/stereo.h"

namespace varnolt::reference {

class Stereo : public varnolt::Stereo {
  public:
    using varnolt::Stereo::Stereo;
    void process_block() override;
};

}  // namespace varnolt::reference
