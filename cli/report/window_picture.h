#pragma once
// The configuration window's client area as the displays would leave it: an offscreen surface
// that keeps every display where the window shows it.

#include "report_image.h"
#include "ui/display_surface.h"

namespace varnolt::cli {

class WindowPicture : public DisplaySurface {
  public:
    WindowPicture();
    int colour_depth() override { return 32; }
    // Dialog base units of 6 x 13 pixels, the size the displays are designed for.
    void map_dialog_rect(int& left, int& top, int& right, int& bottom) override;
    void blit(const PixelCanvas& canvas, int x, int y) override;

    const Image& image() const { return image_; }

  private:
    Image image_;
};

}  // namespace varnolt::cli
