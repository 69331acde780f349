#pragma once
// The configuration window's controls through their Win32 messages.

#include <windows.h>

#include "ui/control_port.h"

namespace varnolt {

class Win32ControlPort : public ControlPort {
  public:
    explicit Win32ControlPort(HWND window) : window_(window) {}
    int slider_position(int id) override;
    void set_slider(int id, int maximum, int tick_frequency, int position) override;
    void set_label(int id, const char* text) override;
    bool is_checked(int id) override;
    void post_check(int id, bool checked) override;
    void settle() override;

  private:
    HWND window_;
};

}  // namespace varnolt
