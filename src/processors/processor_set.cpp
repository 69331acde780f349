#include "processors/processor_set.h"

#include <new>

#include "chain/chain.h"
#include "processors/processor.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"

namespace varnolt {

ProcessorSet processors;
TapeControl tape_control;

namespace {

// Each factory builds one object in the set's order; a factory that is null has no class yet,
// and its stage passes samples through.
using Factory = Processor* (*)();

template <class Object>
Processor* make() {
    return new (std::nothrow) Object();
}

constexpr Factory k_tape_factory = make<TapeProcessor>;
constexpr Factory k_singleband_factory = nullptr;
constexpr Factory k_stereo_factory = nullptr;
constexpr Factory k_tone_factory = make<ToneAnalyzer>;

Processor* build(Factory factory, bool& failed) {
    if (factory == nullptr || failed) return nullptr;
    Processor* object = factory();
    if (object == nullptr) failed = true;
    return object;
}

}  // namespace

void create_processors() {
    if (processors.tape != nullptr) return;
    bool failed = false;
    processors.tape = build(k_tape_factory, failed);
    processors.singleband = build(k_singleband_factory, failed);
    processors.stereo = build(k_stereo_factory, failed);
    processors.tone = build(k_tone_factory, failed);
    if (failed) destroy_processors();
    // New objects start with their constructors' quality; make the chain apply the setting.
    chain.applied_quality = -1;
}

void destroy_processors() {
    delete processors.tape;
    delete processors.singleband;
    delete processors.stereo;
    delete processors.tone;
    processors = ProcessorSet{};
}

}  // namespace varnolt
