#pragma once
// The built LV2 plug-in, loaded as a host loads it (dlopen, lv2_descriptor), with one stereo
// instance whose every port is connected to a value of the benchmark's: run() is then the very
// code a host calls, the module's own single-thread team included.

#include <lv2/core/lv2.h>

#include <string>
#include <utility>
#include <vector>

namespace varnolt::bench {

class Lv2Stereo {
  public:
    // Instantiates and activates the stereo plug-in of the module at `path` for calls of up to
    // `max_frames`; ok() is false, with why(), when it cannot.
    Lv2Stereo(const char* path, double rate, int max_frames);
    ~Lv2Stereo();
    Lv2Stereo(const Lv2Stereo&) = delete;
    Lv2Stereo& operator=(const Lv2Stereo&) = delete;

    bool ok() const { return handle_ != nullptr; }
    const std::string& why() const { return problem_; }

    // False when the plug-in has no control input of that symbol.
    bool set_control(const std::string& symbol, float value);

    float* input(int ch) { return in_[ch].data(); }
    float* output(int ch) { return out_[ch].data(); }
    void run(int frames) { descriptor_->run(handle_, static_cast<uint32_t>(frames)); }

  private:
    void* library_ = nullptr;
    const LV2_Descriptor* descriptor_ = nullptr;
    LV2_Handle handle_ = nullptr;
    std::string problem_;
    std::vector<std::pair<std::string, int>> control_symbols_;  // symbol, port
    std::vector<float> port_values_;                            // one per port
    std::vector<float> in_[2];
    std::vector<float> out_[2];
};

}  // namespace varnolt::bench
