#include "interruption.h"

#include <csignal>

namespace varnolt::cli {
namespace {

// Written by the handler, read by the loops: the only kind of value a handler may touch.
volatile std::sig_atomic_t signal_number = 0;

extern "C" void note_signal(int number) {
    signal_number = number;
}

}  // namespace

void watch_for_interruption() {
    std::signal(SIGINT, note_signal);
    std::signal(SIGTERM, note_signal);
#ifdef SIGHUP
    std::signal(SIGHUP, note_signal);
#endif
}

bool interrupted() {
    return signal_number != 0;
}

int interruption_exit_code() {
    return signal_number != 0 ? 128 + signal_number : 0;
}

}  // namespace varnolt::cli
