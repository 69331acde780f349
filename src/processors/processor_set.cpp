#include "processors/processor_set.h"

#include <new>

#include "processors/processor.h"
#include "processors/singleband.h"
#include "processors/stereo.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"

namespace varnolt {

ProcessorSet processors;
TapeControl tape_control;

namespace {

// Builds one object, or nothing once an earlier one could not be built.
template <class Object>
Object* build(bool& failed) {
    if (failed) return nullptr;
    Object* object = new (std::nothrow) Object();
    if (object == nullptr) failed = true;
    return object;
}

}  // namespace

void create_processors() {
    if (processors.tape != nullptr) return;
    bool failed = false;
    processors.tape = build<TapeProcessor>(failed);
    processors.singleband = build<Singleband>(failed);
    processors.stereo = build<Stereo>(failed);
    processors.tone = build<ToneAnalyzer>(failed);
    if (failed) destroy_processors();
    // New objects start with their constructors' quality; make the chain apply the setting.
    processors.applied_quality = -1;
}

void destroy_processors() {
    delete processors.tape;
    delete processors.singleband;
    delete processors.stereo;
    delete processors.tone;
    processors = ProcessorSet{};
}

}  // namespace varnolt
