#include "ui/win32/win32_control_port.h"

#include <commctrl.h>

namespace varnolt {
namespace {

// A check-box query gives up when the window thread does not answer in time, so shut-down on
// another thread cannot hang on a blocked window.
constexpr UINT k_check_timeout_ms = 5000;
constexpr DWORD k_settle_ms = 10;

}  // namespace

int Win32ControlPort::slider_position(int id) {
    return static_cast<int>(SendDlgItemMessageA(window_, id, TBM_GETPOS, 0, 0));
}

void Win32ControlPort::set_slider(int id, int maximum, int tick_frequency, int position) {
    SendDlgItemMessageA(window_, id, TBM_SETRANGEMIN, FALSE, 0);
    SendDlgItemMessageA(window_, id, TBM_SETRANGEMAX, FALSE, maximum);
    SendDlgItemMessageA(window_, id, TBM_SETTICFREQ, tick_frequency, 0);
    SendDlgItemMessageA(window_, id, TBM_SETPOS, TRUE, position);
}

void Win32ControlPort::set_label(int id, const char* text) {
    SetDlgItemTextA(window_, id, text);
}

bool Win32ControlPort::is_checked(int id) {
    DWORD_PTR state = 0;
    const LRESULT answered = SendMessageTimeoutA(GetDlgItem(window_, id), BM_GETCHECK, 0, 0,
                                                 SMTO_ABORTIFHUNG, k_check_timeout_ms, &state);
    return answered != 0 && state == BST_CHECKED;
}

void Win32ControlPort::post_check(int id, bool checked) {
    PostMessageA(GetDlgItem(window_, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32ControlPort::settle() {
    Sleep(k_settle_ms);
}

}  // namespace varnolt
