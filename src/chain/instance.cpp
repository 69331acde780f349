#include "chain/instance.h"

#include <new>

namespace varnolt {
namespace {

// Builds one object, or nothing once an earlier one could not be built.
template <class Object, class... States>
Object* build(bool& failed, States&... states) {
    if (failed) return nullptr;
    Object* object = new (std::nothrow) Object(states...);
    if (object == nullptr) failed = true;
    return object;
}

}  // namespace

Instance::~Instance() {
    destroy_processors(*this);
}

void create_processors(Instance& instance) {
    ProcessorSet& processors = instance.processors;
    if (processors.tape != nullptr) return;
    bool failed = false;
    processors.tape =
        build<TapeProcessor>(failed, instance.tape_state, instance.tape_control, instance.live);
    processors.singleband = build<Singleband>(failed, instance.singleband_state);
    processors.stereo = build<Stereo>(failed, instance.stereo_state, instance.live);
    processors.tone = build<ToneAnalyzer>(failed, instance.tone_state);
    if (failed) destroy_processors(instance);
    // New objects start with their constructors' quality; make the chain apply the setting.
    processors.applied_quality = -1;
}

void destroy_processors(Instance& instance) {
    ProcessorSet& processors = instance.processors;
    delete processors.tape;
    delete processors.singleband;
    delete processors.stereo;
    delete processors.tone;
    processors = ProcessorSet{};
}

}  // namespace varnolt
