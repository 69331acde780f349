#include "ui/display_surface.h"

#include <cmath>

namespace varnolt {
namespace {

// Dialog units per design pixel at base units of 6 x 13: 4/6 across, 8/13 down.
constexpr double k_design_x = 1.5;
constexpr double k_design_y = 1.625;

int truncate(double v) {
    return static_cast<int>(std::trunc(v));
}

}  // namespace

Rect scale_rect(DisplaySurface& surface, Rect design) {
    int left = design.x, top = design.y;
    int right = design.x + design.width, bottom = design.y + design.height;
    surface.map_dialog_rect(left, top, right, bottom);
    return {truncate(left / k_design_x), truncate(top / k_design_y),
            truncate((right - left) / k_design_x), truncate((bottom - top) / k_design_y)};
}

}  // namespace varnolt
