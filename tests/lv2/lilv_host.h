#pragma once
// A minimal LV2 host for the tests: loads the bundle folder through lilv, instantiates one of
// the plug-ins at a rate, connects every port to a buffer of its own and runs blocks. Controls
// are set by symbol; the rest keep the defaults the Turtle gives.

#include <lilv/lilv.h>

#include <string>
#include <vector>

namespace varnolt::lv2_test {

class PluginWorld {
  public:
    // Loads every bundle in `folder` (as a host's LV2_PATH would).
    explicit PluginWorld(const std::string& folder);
    ~PluginWorld();
    PluginWorld(const PluginWorld&) = delete;
    PluginWorld& operator=(const PluginWorld&) = delete;

    // nullptr when the plug-in is not in the folder.
    const LilvPlugin* plugin(const std::string& uri) const;
    ::LilvWorld* world() const { return world_; }

  private:
    ::LilvWorld* world_;
};

class PluginHost {
  public:
    // Instantiates `uri` at `rate` for blocks of up to `max_block` frames, activated.
    PluginHost(const PluginWorld& world, const std::string& uri, double rate, int max_block);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    bool ok() const { return instance_ != nullptr; }
    int audio_inputs() const { return static_cast<int>(audio_in_.size()); }
    int audio_outputs() const { return static_cast<int>(audio_out_.size()); }

    // False when the plug-in has no control input of that symbol.
    bool set_control(const std::string& symbol, float value);
    // Leaves the control port of that symbol unconnected, as a host that does not know the port
    // would; false when there is none.
    bool disconnect(const std::string& symbol);
    // The value of a control output (or input) port by symbol; NaN when there is none.
    float control(const std::string& symbol) const;
    // The latency the plug-in reports, in frames.
    float latency() const { return control("latency"); }

    // The input and output buffers of audio channel `ch`.
    float* input(int ch) { return buffers_[audio_in_[ch]].data(); }
    float* output(int ch) { return buffers_[audio_out_[ch]].data(); }

    void run(int frames);
    void activate();
    void deactivate();

  private:
    const LilvPlugin* plugin_ = nullptr;
    LilvInstance* instance_ = nullptr;
    bool active_ = false;
    std::vector<std::vector<float>> buffers_;  // one per port: audio blocks, controls of 1
    std::vector<std::string> symbols_;
    std::vector<int> audio_in_;
    std::vector<int> audio_out_;
};

}  // namespace varnolt::lv2_test
