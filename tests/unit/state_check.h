#pragma once
// Whether every value the DLL's instance carries from block to block is finite: the processors'
// module-level state, their objects' intake and output rings, the chain's meters and dry line,
// the refresh credit and the displays' own state.

#include <string>

namespace varnolt::testing {

// The name of the first state holding a value that is not finite, or empty text.
std::string first_non_finite_state();

}  // namespace varnolt::testing
