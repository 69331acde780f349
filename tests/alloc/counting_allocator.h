#pragma once
// The test program's own malloc family and operator new and delete, which count the calls made
// while counting is on (glibc: they hand on to its __libc_ functions). Defined in the
// executable, they take the place of the C library's for every library it uses or loads, the
// OpenMP runtime and the LV2 plug-in included (ELF interposition).

namespace varnolt::testing {

struct AllocationCounts {
    long allocations = 0;  // malloc, calloc, realloc, the aligned ones, operator new
    long frees = 0;        // free of a pointer, operator delete, realloc of a pointer
};

void start_counting_allocations();
// Stops counting; the calls since the start.
AllocationCounts stop_counting_allocations();

}  // namespace varnolt::testing
