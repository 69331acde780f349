#include "lv2_module.h"

#include <dlfcn.h>

#include <memory>

#include "chain/instance.h"
#include "port_layout.h"
#include "start_values.h"

namespace varnolt::bench {

Lv2Stereo::Lv2Stereo(const char* path, double rate, int max_frames) {
    library_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        problem_ = dlerror();
        return;
    }
    using DescriptorFunction = const LV2_Descriptor* (*)(uint32_t);
    const auto lv2_descriptor =
        reinterpret_cast<DescriptorFunction>(dlsym(library_, "lv2_descriptor"));
    if (lv2_descriptor == nullptr) {
        problem_ = "no lv2_descriptor in the module";
        return;
    }
    for (uint32_t i = 0; const LV2_Descriptor* d = lv2_descriptor(i); ++i)
        if (std::string(d->URI) == lv2::k_stereo_uri) descriptor_ = d;
    if (descriptor_ == nullptr) {
        problem_ = "no stereo plug-in in the module";
        return;
    }

    // The port list and its defaults from the same table the module builds its ports from, on an
    // instance at the first-start values, as the module's own.
    auto defaults = std::make_unique<Instance>();
    if (!lv2::start_instance(*defaults)) {
        problem_ = "the first-start instance could not be built";
        return;
    }
    std::string problem;
    const std::vector<lv2::ControlPort> controls = lv2::control_ports(defaults->live, problem);
    if (controls.empty()) {
        problem_ = problem;
        return;
    }
    const lv2::PortIndices ports =
        lv2::port_indices(lv2::Variant::stereo, static_cast<int>(controls.size()));
    port_values_.assign(ports.count, 0.0f);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const int port = ports.first_control + static_cast<int>(i);
        port_values_[port] = static_cast<float>(controls[i].default_value);
        control_symbols_.emplace_back(controls[i].symbol, port);
    }
    port_values_[ports.decoder] =
        static_cast<float>(lv2::decoder_choice(defaults->live).default_value);
    port_values_[ports.dolby_level] = static_cast<float>(lv2::k_dolby_level_from_volume_dbfs);
    port_values_[ports.automatic_level] = 0.0f;

    handle_ = descriptor_->instantiate(descriptor_, rate, path, nullptr);
    if (handle_ == nullptr) {
        problem_ = "instantiate failed";
        return;
    }
    for (int ch = 0; ch < 2; ++ch) {
        in_[ch].assign(max_frames, 0.0f);
        out_[ch].assign(max_frames, 0.0f);
    }
    for (int port = 0; port < ports.count; ++port) {
        float* data = &port_values_[port];
        if (port == ports.audio_in || port == ports.audio_in + 1)
            data = in_[port - ports.audio_in].data();
        else if (port == ports.audio_out || port == ports.audio_out + 1)
            data = out_[port - ports.audio_out].data();
        descriptor_->connect_port(handle_, static_cast<uint32_t>(port), data);
    }
    descriptor_->activate(handle_);
}

Lv2Stereo::~Lv2Stereo() {
    if (handle_ != nullptr) {
        descriptor_->deactivate(handle_);
        descriptor_->cleanup(handle_);
    }
    if (library_ != nullptr) dlclose(library_);
}

bool Lv2Stereo::set_control(const std::string& symbol, float value) {
    for (const auto& [name, port] : control_symbols_) {
        if (name != symbol) continue;
        port_values_[port] = value;
        return true;
    }
    return false;
}

}  // namespace varnolt::bench
