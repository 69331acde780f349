#pragma once
// The numbers the window shows, for the control output ports: the azimuth correction, the Dolby
// B sidechain levels and the compressor's gain. Audio thread (run()), after the block.

#include "chain/instance.h"
#include "port_layout.h"

namespace varnolt::lv2 {

// Updates `values` (indexed by MonitorPort) from the instance at `sample_rate`. The sidechain
// levels average the tape processor's blocks since the last call, whose meters this takes as
// the window's displays do; with no block since, the last level stays.
void update_monitors(Instance& instance, double sample_rate, double (&values)[k_monitor_ports]);

}  // namespace varnolt::lv2
