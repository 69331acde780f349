#pragma once
// Calls into the plug-in with the stack as the 32-bit player leaves it. The player is built by a
// compiler that keeps the stack only 4-byte aligned, while GCC's code for i686 expects 16 bytes
// at every call; our DLL must realign wherever it keeps SSE2 values on the stack. On i386 these
// calls therefore run with ESP at a chosen offset from a 16-byte boundary at the call
// instruction (4 unless set otherwise); elsewhere, and with the offset switched off, they are
// plain calls.
//
// Any thread may call them; the offset is set once, before the first call.

#include <windows.h>

#include "plugin/winamp_dsp.h"

// Sets ESP mod 16 at the call instruction for every later call: 0, 4, 8 or 12, or -1 for plain
// calls. Has an effect on i386 only.
void set_player_stack_offset(int offset);
// The offset in force, or -1 where calls are plain (always -1 off i386).
int player_stack_offset();

// Calls a probe through the same path and checks that it saw the offset and its arguments;
// false with the reason in `error` when it did not. Always true where calls are plain.
bool player_stack_works(char* error, int error_size);

varnolt::DspHeader* player_get_header(void* get_header, HWND player);
varnolt::DspModule* player_get_module(varnolt::DspHeader* header, int index);
int player_init(varnolt::DspModule* module);
void player_config(varnolt::DspModule* module);
void player_quit(varnolt::DspModule* module);
int player_modify_samples(varnolt::DspModule* module, short* samples, int frames, int bits,
                          int channels, int rate);

// The window procedures the player's message loop and its own messages reach.
LRESULT player_dispatch_message(const MSG* message);
LRESULT player_send_message(HWND window, UINT message, WPARAM w_param, LPARAM l_param);
BOOL player_redraw_window(HWND window, UINT flags);
