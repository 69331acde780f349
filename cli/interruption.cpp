#include "interruption.h"

#include <csignal>

#include "platform.h"

namespace varnolt::cli {
namespace {

// Windows has no SIGPIPE; its number elsewhere gives a closed output the shell's status 141.
#ifdef SIGPIPE
constexpr int k_closed_output_signal = SIGPIPE;
#else
constexpr int k_closed_output_signal = 13;
#endif

// Written by the handler, read by the loops: the only kind of value a handler may touch.
volatile std::sig_atomic_t signal_number = 0;

extern "C" void note_signal(int number) {
    signal_number = number;
}

void watch(int number) {
    // nohup (and a shell running a command in the background without job control) leaves the
    // signal ignored for the tool: the user asked for the run to go on without them.
    if (!signal_is_ignored(number)) std::signal(number, note_signal);
}

}  // namespace

void watch_for_interruption() {
    watch(SIGINT);
    watch(SIGTERM);
#ifdef SIGHUP
    watch(SIGHUP);
#endif
#ifdef SIGPIPE
    watch(SIGPIPE);
#endif
}

void interrupt_for_closed_output() {
    if (signal_number == 0) signal_number = k_closed_output_signal;
}

bool interrupted() {
    return signal_number != 0;
}

int interruption_exit_code() {
    return signal_number != 0 ? 128 + signal_number : 0;
}

}  // namespace varnolt::cli
