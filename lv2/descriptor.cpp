// The LV2 entry points of both plug-ins of the bundle. Instantiation, activation and clean-up
// may allocate; run() goes to run_stream, which does not.

#include <lv2/core/lv2.h>

#include <iterator>
#include <memory>

#include "stream.h"

namespace varnolt::lv2 {
namespace {

template <Variant V>
LV2_Handle instantiate(const LV2_Descriptor*, double sample_rate, const char*,
                       const LV2_Feature* const*) {
    try {
        return make_stream(V, sample_rate).release();
    } catch (...) {
        return nullptr;  // nothing may leave through the host's C interface
    }
}

Stream& stream_of(LV2_Handle handle) {
    return *static_cast<Stream*>(handle);
}

void connect_port(LV2_Handle handle, uint32_t port, void* data) {
    Stream& stream = stream_of(handle);
    if (port < stream.connections.size()) stream.connections[port] = static_cast<float*>(data);
}

void activate(LV2_Handle handle) {
    try {
        restart_stream(stream_of(handle));
    } catch (...) {
        // Out of memory for the new instance: the old one plays on.
    }
}

void run(LV2_Handle handle, uint32_t frames) {
    run_stream(stream_of(handle), frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) {
    delete static_cast<Stream*>(handle);
}

const void* extension_data(const char*) {
    return nullptr;
}

const LV2_Descriptor descriptors[] = {
    {k_stereo_uri, instantiate<Variant::stereo>, connect_port, activate, run, deactivate, cleanup,
     extension_data},
    {k_mono_uri, instantiate<Variant::mono>, connect_port, activate, run, deactivate, cleanup,
     extension_data},
};

}  // namespace
}  // namespace varnolt::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    using varnolt::lv2::descriptors;
    return index < std::size(descriptors) ? &descriptors[index] : nullptr;
}
