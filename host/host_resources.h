#pragma once
// What the process holds of the system's resources, for the long runs: GDI and USER objects,
// kernel handles and private memory.

#include <string>

struct ResourceCounts {
    unsigned long gdi_objects = 0;
    unsigned long user_objects = 0;
    unsigned long handles = 0;
    unsigned long long private_bytes = 0;
};

ResourceCounts count_resources();

// "resources: gdi N user N handles N private N", the line the long-run tests read.
std::string resource_line(const ResourceCounts& counts);
