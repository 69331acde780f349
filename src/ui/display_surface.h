#pragma once
// Where the displays end up: the configuration window (through GDI) or, in tests, a canvas.

#include "ui/pixel_canvas.h"

namespace varnolt {

struct Rect {
    int x;
    int y;
    int width;
    int height;
};

class DisplaySurface {
  public:
    virtual ~DisplaySurface() = default;
    // Bits per pixel of the screen; 0 when it cannot be read.
    virtual int colour_depth() = 0;
    // Converts a rectangle given in dialog units to window pixels, in place (left, top, right,
    // bottom).
    virtual void map_dialog_rect(int& left, int& top, int& right, int& bottom) = 0;
    // Shows the canvas at (x, y) of the window, converted to the colour depth.
    virtual void blit(const PixelCanvas& canvas, int x, int y) = 0;
};

// Converts a design rectangle (pixels at dialog base units of 6 x 13) to window pixels: at
// those base units it is unchanged, with a larger font every display grows with the dialog.
Rect scale_rect(DisplaySurface& surface, Rect design);

}  // namespace varnolt
