#pragma once

namespace varnolt {

// Clears pending floating-point exceptions and sets the calling thread's control word: every
// exception masked, 53-bit (double) precision, rounding to nearest. The host may have left
// anything there, and the processors rely on quiet infinities and double rounding.
void set_up_floating_point();

}  // namespace varnolt
