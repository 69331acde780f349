#pragma once
// The configuration window's controls as the window logic sees them. The Win32 window
// implements it with track bar and button messages; tests implement it with plain values.

namespace varnolt {

class ControlPort {
  public:
    virtual ~ControlPort() = default;
    // The track bar's position.
    virtual int slider_position(int id) = 0;
    // Sets the range 0 .. maximum and the tick frequency without redrawing, then the position
    // with redrawing.
    virtual void set_slider(int id, int maximum, int tick_frequency, int position) = 0;
    virtual void set_label(int id, const char* text) = 0;
    // Whether the button reports the checked state; a query that fails or times out is false.
    virtual bool is_checked(int id) = 0;
    // Posts the check state without waiting for the window.
    virtual void post_check(int id, bool checked) = 0;
    // Waits before the track bars are read, so a drag's last position has arrived.
    virtual void settle() = 0;
};

}  // namespace varnolt
