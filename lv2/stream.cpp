#include "stream.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <utility>

#include "chain/chain.h"
#include "control_input.h"
#include "dolby_level_port.h"
#include "monitor_output.h"
#include "sample_scale.h"
#include "start_values.h"

namespace varnolt::lv2 {
namespace {

// A new instance at the first-start values with the control list and the decoder's choice bound
// to it.
std::unique_ptr<Instance> build_instance(std::vector<ControlPort>& controls, ControlPort& decoder) {
    // Value-initialised, as the player's instance in static storage is: the processors' states
    // keep filter histories and levels that start at zero and have no initialisers of their own.
    std::unique_ptr<Instance> instance(new (std::nothrow) Instance());
    if (instance == nullptr || !start_instance(*instance)) return nullptr;
    // What the plug-in puts out goes straight to a listener: one fixed latency for the stream,
    // and switches that cross-fade rather than leave a gap.
    instance->chain.steady.on = true;
    std::string problem;
    controls = control_ports(instance->live, problem);
    if (controls.empty()) return nullptr;
    decoder = decoder_choice(instance->live);
    return instance;
}

// Frames of delay between a frame entering and leaving: the steady path's, whatever is switched.
int latency_frames(Instance& instance) {
    return output_delay_calls(instance) / 2;
}

// The count the "Input samples replaced" port shows, within the port's range.
float replaced_count(const EntryFaults& faults) {
    const double count = static_cast<double>(faults.not_numbers) + faults.out_of_range;
    return static_cast<float>(std::min(count, replaced_maximum()));
}

bool audio_connected(const Stream& stream) {
    const int channels = audio_channels(stream.variant);
    for (int ch = 0; ch < channels; ++ch)
        if (!stream.connections[stream.ports.audio_in + ch] ||
            !stream.connections[stream.ports.audio_out + ch])
            return false;
    return true;
}

// Frames offset .. offset + frames of the connected audio buffers through the chain, bypass
// included: the chain's steady path delays it as much as the processing.
void process(Stream& stream, unsigned offset, unsigned frames) {
    Instance& instance = *stream.instance;
    const double rate = stream.sample_rate;
    EntryFaults& faults = stream.faults;
    float* const* c = stream.connections.data() + stream.ports.audio_in;
    float* const* o = stream.connections.data() + stream.ports.audio_out;
    if (stream.variant == Variant::stereo) {
        const float* in_left = c[0] + offset;
        const float* in_right = c[1] + offset;
        float* out_left = o[0] + offset;
        float* out_right = o[1] + offset;
        for (unsigned i = 0; i < frames; ++i) {
            // Both inputs are read before either output is written: a host may hand the same
            // buffer for an input and an output.
            const double left = working_sample(in_left[i], faults);
            const double right = working_sample(in_right[i], faults);
            out_left[i] = host_sample(chain_sample(instance, left, rate));
            out_right[i] = host_sample(chain_sample(instance, right, rate));
        }
    } else {
        const float* in = c[0] + offset;
        float* out = o[0] + offset;
        for (unsigned i = 0; i < frames; ++i)
            out[i] =
                host_sample(chain_stream_sample(instance, working_sample(in[i], faults), 1, rate));
    }
}

bool dolby_port_on(const Stream& stream) {
    return stream.dolby_switch >= 0 && stream.in_force[stream.dolby_switch] != 0.0;
}

// The automatic level's switch; a value that is not a number, or infinite, changes nothing.
void read_level_switch(Stream& stream) {
    if (const float* port = stream.connections[stream.ports.automatic_level])
        if (std::isfinite(*port)) stream.level.set_switch(*port > 0.0f);
}

// The control inputs appended after the others: the decoder's choice and the Dolby level.
void read_appended_controls(Stream& stream) {
    if (const float* port = stream.connections[stream.ports.decoder])
        read_control(stream.decoder, *port, stream.decoder_in_force);
    if (const float* port = stream.connections[stream.ports.dolby_level])
        stream.dolby_level_volume = volume_for_dolby_level_port(*port);
}

// The volume the chain works at, as one value: the held one, else the ports'.
double volume_in_use(const Stream& stream) {
    const double held = stream.level.value(stream.instance->live.values.standard_decoder != 0);
    if (held > 0.0) return held;
    if (stream.dolby_level_volume > 0.0) return stream.dolby_level_volume;
    return stream.instance->live.values.pc_recording_volume;
}

}  // namespace

std::unique_ptr<Stream> make_stream(Variant variant, double sample_rate) {
    if (!(sample_rate > 0.0) || !std::isfinite(sample_rate)) return nullptr;
    std::unique_ptr<Stream> stream(new (std::nothrow) Stream(variant, sample_rate));
    if (stream == nullptr) return nullptr;
    stream->instance = build_instance(stream->controls, stream->decoder);
    if (stream->instance == nullptr) return nullptr;
    stream->decoder_in_force = stream->decoder.default_value;
    stream->ports = port_indices(variant, static_cast<int>(stream->controls.size()));
    stream->connections.assign(stream->ports.count, nullptr);
    for (const ControlPort& control : stream->controls) {
        if (control.switch_byte == &stream->instance->live.values.dolby_enabled)
            stream->dolby_switch = static_cast<int>(stream->in_force.size());
        stream->in_force.push_back(control.default_value);
    }
    return stream;
}

void restart_stream(Stream& stream) {
    stream.level.restart();
    if (stream.fresh) return;
    std::vector<ControlPort> controls;
    ControlPort decoder;
    std::unique_ptr<Instance> instance = build_instance(controls, decoder);
    if (instance == nullptr || controls.size() != stream.controls.size()) return;
    for (std::size_t i = 0; i < controls.size(); ++i)
        store_control(controls[i], stream.in_force[i]);
    store_control(decoder, stream.decoder_in_force);
    stream.controls.swap(controls);
    std::swap(stream.decoder, decoder);
    stream.instance.swap(instance);
    for (double& value : stream.monitors) value = 0.0;
    stream.faults = EntryFaults{};
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
    read_appended_controls(stream);
    read_level_switch(stream);
    AutomaticLevel& level = stream.level;
    level.apply(instance, dolby_port_on(stream), stream.dolby_level_volume);

    float* const* c = stream.connections.data();
    if (audio_connected(stream)) {
        // In stretches that end where the measurement does, so the held value applies from the
        // first frame after it. Each stretch's input is measured before the chain writes its
        // output, which may be the same buffer.
        for (unsigned done = 0; done < frames;) {
            const unsigned stretch = level.frames_before_choice(frames - done);
            level.measure(c + ports.audio_in, done, stretch);
            process(stream, done, stretch);
            level.apply(instance, dolby_port_on(stream), stream.dolby_level_volume);
            done += stretch;
        }
    }

    update_monitors(instance, stream.sample_rate, stream.monitors);
    for (int m = 0; m < k_monitor_ports; ++m)
        if (float* port = c[ports.first_monitor + m])
            *port = static_cast<float>(stream.monitors[m]);
    if (float* port = c[ports.latency]) *port = static_cast<float>(latency_frames(instance));
    if (float* port = c[ports.level_value])
        *port = static_cast<float>(level.value(instance.live.values.standard_decoder != 0));
    if (float* port = c[ports.level_basis]) *port = static_cast<float>(level.basis());
    if (float* port = c[ports.replaced]) *port = replaced_count(stream.faults);
    if (float* port = c[ports.dolby_level_in_use])
        *port = static_cast<float>(dolby_level_in_use(volume_in_use(stream)));
}

}  // namespace varnolt::lv2
