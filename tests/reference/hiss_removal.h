// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#pragma once
// Pieces of the hiss removal that have rules of their own.

#include <complex>

namespace varnolt::reference {

// Limits the removed parts so neither channel loses more than lambda times what the other
// loses: the larger one is scaled down to lambda times the smaller's magnitude.
void balance_removal(std::complex<double>& removed_left, std::complex<double>& removed_right,
                     double lambda);

}  // namespace varnolt
