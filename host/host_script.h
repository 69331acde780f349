#pragma once
// Scripted actions on the plug-in's configuration window, for the end-to-end tests. A script
// is a list of steps separated by ';' or new lines; a step "@N command" runs while the playback
// thread waits before block N, a step without "@" before playing starts, "@end" after the last
// block and before Quit.
//
//   click ID              press a button, check box or radio button (BM_CLICK)
//   slider ID POSITION    move a track bar and send the scroll message, as a drag does
//   command ID            send the dialog a WM_COMMAND from control ID
//   tray MOUSE            send the tray callback: ldown, lup, rdown, rup, ldouble
//   close                 the caption's close box
//   config                the host's configuration request
//   quit-init             Quit, then Init again, as a player does between two sessions
//   tray-picture          print what the tray icon last handed to the shell shows
//   file-dialog PATH      answer the next open/save dialog with PATH (from a helper thread)
//   label ID / checked ID / visible / slider-pos ID   print what the window shows
//   resources             print the process's GDI and USER objects, handles and private bytes
//   screenshot FILE.bmp   save the window's client area
//   wait MS               keep the message loop running for MS milliseconds

#include <windows.h>

#include <string>
#include <vector>

#include "plugin/winamp_dsp.h"

constexpr long long k_step_before_playing = -1;
constexpr long long k_step_at_end = -2;

struct ScriptStep {
    long long block = k_step_before_playing;
    std::vector<std::string> words;
};

// Parses the script text; false with a reason for a malformed step.
bool parse_script(const std::string& text, std::vector<ScriptStep>& steps, std::string& error);

// Runs one step on the main thread; false with a reason when it cannot be carried out.
bool run_step(const ScriptStep& step, varnolt::DspModule* module, std::string& error);

// Keeps the message loop running for `milliseconds`.
void pump_messages_for(DWORD milliseconds);
