#include "ui/display_surface.h"

#include <cmath>

namespace varnolt {
namespace {

// Dialog units per design pixel at base units of 6 x 13: 4/6 across, 8/13 down.
constexpr double k_design_x = 1.5;
constexpr double k_design_y = 1.625;
// The dialog-unit conversion rounds to whole pixels; converting eight times the rectangle keeps
// the fractions (at base units exactly), so a design rectangle stays where it was designed.
constexpr int k_precision = 8;

int truncate(double v) {
    return static_cast<int>(std::trunc(v));
}

}  // namespace

Rect scale_rect(DisplaySurface& surface, Rect design) {
    int left = design.x * k_precision, top = design.y * k_precision;
    int right = (design.x + design.width) * k_precision,
        bottom = (design.y + design.height) * k_precision;
    surface.map_dialog_rect(left, top, right, bottom);
    const double x = k_design_x * k_precision, y = k_design_y * k_precision;
    return {truncate(left / x), truncate(top / y), truncate((right - left) / x),
            truncate((bottom - top) / y)};
}

}  // namespace varnolt
