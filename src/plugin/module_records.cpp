#include "plugin/module_records.h"

#include "plugin/lifecycle.h"
#include "plugin/modify_samples.h"

namespace varnolt {
namespace {

// The records hold non-const text pointers, as the host's layout declares them.
char k_library_description[] = "Varnolt 1.0 by Tolvane";
char k_windowed_description[] = "Window visible";
char k_hidden_description[] = "Hide window";

DspModule module_records[] = {
    {k_windowed_description, nullptr, nullptr, config_entry, init_windowed, modify_samples,
     quit_windowed, nullptr},
    {k_hidden_description, nullptr, nullptr, config_entry, init_hidden, modify_samples, quit_hidden,
     nullptr},
};

DspHeader header_record = {k_dsp_header_version, k_library_description, get_module};

}  // namespace

DspModule* VARNOLT_CDECL get_module(int index) {
    if (index == k_module_windowed || index == k_module_hidden) return &module_records[index];
    return nullptr;
}

DspHeader* dsp_header() {
    return &header_record;
}

}  // namespace varnolt
