#pragma once
// The instance a test of the core works on: its own, with its members under short names so that
// a check reads the same as on any other instance. A test of the DLL module itself works on the
// DLL's one instance instead, through the plugin layer's accessor (plugin/dll_instance.h).

#include <memory>

#include "chain/instance.h"
#include "ui/displays.h"

namespace varnolt::testing {

// The members of one instance by their short names.
struct InstanceNames {
    explicit InstanceNames(Instance& of)
        : instance(of),
          live(of.live),
          chain(of.chain),
          processors(of.processors),
          sample_path(of.sample_path),
          tape_control(of.tape_control),
          tape_state(of.tape_state),
          stereo_state(of.stereo_state),
          singleband_state(of.singleband_state),
          tone_state(of.tone_state) {}

    Instance& instance;
    LiveParameters& live;
    ChainState& chain;
    ProcessorSet& processors;
    SamplePathState& sample_path;
    TapeControl& tape_control;
    TapeState& tape_state;
    StereoState& stereo_state;
    SinglebandState& singleband_state;
    ToneState& tone_state;
};

// Built before the names that refer to it.
struct InstanceOwner {
    // On the heap: an instance is too large for a stack.
    std::unique_ptr<Instance> owned = std::make_unique<Instance>();
};

// A fresh instance of the test's own: every state zero, the first-start parameters, no
// processors. Its processors go with it.
class OwnInstance : private InstanceOwner, public InstanceNames {
  public:
    OwnInstance() : InstanceNames(*owned) {}

    // Puts the process-wide state back as at load (reset_plugin_state) and this instance back
    // as it was built.
    void reset_all();
};

// An instance of the test's own with a set of displays over it, bound to the configuration
// window's logic, its displays and its refreshes while the test runs (ui/window_binding.h); the
// window is bound back to the displays it showed before when the test ends.
class OwnWindow : public OwnInstance {
  public:
    OwnWindow();
    ~OwnWindow();
    OwnWindow(const OwnWindow&) = delete;
    OwnWindow& operator=(const OwnWindow&) = delete;

  private:
    std::unique_ptr<Displays> displays_;  // about 5 MB
    Displays& shown_before_;
};

// Puts one instance back as it was built: its processors destroyed, every state zero and the
// first-start parameters.
void reset_instance(Instance& instance);

}  // namespace varnolt::testing
