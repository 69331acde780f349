#pragma once
// The values an LV2 instance starts with: those the player's plug-in starts with when it finds
// no settings file (the command-line tool's first-start values too).

#include "chain/instance.h"

namespace varnolt::lv2 {

// Builds the instance's processors and puts the first-start values in force; false when a
// processor could not be built.
bool start_instance(Instance& instance);

}  // namespace varnolt::lv2
