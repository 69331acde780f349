#pragma once
// Ctrl-C, SIGTERM, SIGHUP and a closed output (SIGPIPE): the run stops at its next block, a
// batch stops its workers, what is unfinished is removed, and the tool exits with 128 + the
// signal's number (130, 143, 129, 141), as the shell expects of a program that a signal ended.
// A signal the tool was started with ignored (nohup ignores SIGHUP) stays ignored.

namespace varnolt::cli {

// Installs the handlers; from then on a signal only sets the flag below.
void watch_for_interruption();

// A write to standard output or standard error failed because its reader has gone: the same
// interruption as the SIGPIPE that a process which ignores that signal never gets.
void interrupt_for_closed_output();

// Whether one of the signals has come.
bool interrupted();

// 128 + the number of the signal that came (0 while none has).
int interruption_exit_code();

// One line naming what was cut short, for the error the interrupted file reports.
constexpr const char* k_interrupted_text = "interrupted; nothing was written";

}  // namespace varnolt::cli
