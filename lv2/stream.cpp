#include "stream.h"

#include <cmath>
#include <new>
#include <string>

#include "chain/chain.h"
#include "control_input.h"
#include "monitor_output.h"
#include "sample_scale.h"
#include "start_values.h"

namespace varnolt::lv2 {
namespace {

// A new instance at the first-start values with the control list bound to it.
std::unique_ptr<Instance> build_instance(std::vector<ControlPort>& controls) {
    // Value-initialised, as the player's instance in static storage is: the processors' states
    // keep filter histories and levels that start at zero and have no initialisers of their own.
    std::unique_ptr<Instance> instance(new (std::nothrow) Instance());
    if (instance == nullptr || !start_instance(*instance)) return nullptr;
    std::string problem;
    controls = control_ports(instance->live, problem);
    if (controls.empty()) return nullptr;
    return instance;
}

// Frames of delay between a frame entering and leaving with the live switches.
int latency_frames(Instance& instance) {
    return output_delay_calls(instance) / 2;
}

void pass_through(const float* in, float* out, unsigned frames) {
    for (unsigned i = 0; i < frames; ++i) out[i] = host_sample(working_sample(in[i]));
}

}  // namespace

std::unique_ptr<Stream> make_stream(Variant variant, double sample_rate) {
    if (!(sample_rate > 0.0) || !std::isfinite(sample_rate)) return nullptr;
    std::unique_ptr<Stream> stream(new (std::nothrow) Stream);
    if (stream == nullptr) return nullptr;
    stream->variant = variant;
    stream->sample_rate = sample_rate;
    stream->instance = build_instance(stream->controls);
    if (stream->instance == nullptr) return nullptr;
    stream->ports = port_indices(variant, static_cast<int>(stream->controls.size()));
    stream->connections.assign(stream->ports.count, nullptr);
    for (const ControlPort& control : stream->controls)
        stream->in_force.push_back(control.default_value);
    return stream;
}

void restart_stream(Stream& stream) {
    if (stream.fresh) return;
    std::vector<ControlPort> controls;
    std::unique_ptr<Instance> instance = build_instance(controls);
    if (instance == nullptr || controls.size() != stream.controls.size()) return;
    for (std::size_t i = 0; i < controls.size(); ++i)
        store_control(controls[i], stream.in_force[i]);
    stream.controls.swap(controls);
    stream.instance.swap(instance);
    for (double& value : stream.monitors) value = 0.0;
    stream.fresh = true;
}

void run_stream(Stream& stream, unsigned frames) {
    stream.fresh = false;
    Instance& instance = *stream.instance;
    const PortIndices& ports = stream.ports;
    for (std::size_t i = 0; i < stream.controls.size(); ++i) {
        if (const float* port = stream.connections[ports.first_control + i])
            read_control(stream.controls[i], *port, stream.in_force[i]);
    }

    const double rate = stream.sample_rate;
    float* const* c = stream.connections.data();
    if (stream.variant == Variant::stereo) {
        const float* in_left = c[ports.audio_in];
        const float* in_right = c[ports.audio_in + 1];
        float* out_left = c[ports.audio_out];
        float* out_right = c[ports.audio_out + 1];
        if (in_left && in_right && out_left && out_right) {
            if (instance.live.processing_mode == k_mode_bypass) {
                pass_through(in_left, out_left, frames);
                pass_through(in_right, out_right, frames);
            } else {
                for (unsigned i = 0; i < frames; ++i) {
                    // Both inputs are read before either output is written: a host may hand
                    // the same buffer for an input and an output.
                    const double left = working_sample(in_left[i]);
                    const double right = working_sample(in_right[i]);
                    out_left[i] = host_sample(chain_sample(instance, left, rate));
                    out_right[i] = host_sample(chain_sample(instance, right, rate));
                }
            }
        }
    } else {
        const float* in = c[ports.audio_in];
        float* out = c[ports.audio_out];
        if (in && out) {
            if (instance.live.processing_mode == k_mode_bypass) {
                pass_through(in, out, frames);
            } else {
                for (unsigned i = 0; i < frames; ++i)
                    out[i] =
                        host_sample(chain_stream_sample(instance, working_sample(in[i]), 1, rate));
            }
        }
    }

    update_monitors(instance, rate, stream.monitors);
    for (int m = 0; m < k_monitor_ports; ++m)
        if (float* port = c[ports.first_monitor + m])
            *port = static_cast<float>(stream.monitors[m]);
    if (float* port = c[ports.latency]) *port = static_cast<float>(latency_frames(instance));
}

}  // namespace varnolt::lv2
