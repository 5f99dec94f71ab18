#include "ui/bar_geometry.h"

namespace brunvald::ui {

std::array<FrameLine, 4> StatusFrameLines(const Rect& r) {
    return {{
        {{r.left, r.top}, {r.left, r.bottom}, FrameColour::Shadow},              // left edge
        {{r.left, r.top}, {r.right, r.top}, FrameColour::Shadow},                // top edge
        {{r.right - 1, r.top}, {r.right - 1, r.bottom}, FrameColour::Highlight},  // right edge
        {{r.left, r.bottom - 1}, {r.right, r.bottom - 1}, FrameColour::Highlight},  // bottom edge
    }};
}

std::int32_t FilledWidth(std::int32_t interiorWidth, unsigned percent) {
    if (interiorWidth <= 0) return 0;
    if (percent >= 100) return interiorWidth;
    // Exact in integers: the quotient, rounded half to even.
    const std::int64_t product = std::int64_t{interiorWidth} * percent;
    std::int64_t quotient = product / 100;
    const std::int64_t remainder = product % 100;
    if (remainder > 50 || (remainder == 50 && (quotient & 1) != 0)) ++quotient;
    return static_cast<std::int32_t>(quotient);
}

BarLayout LayoutBar(std::int32_t width, std::int32_t height, unsigned percent) {
    BarLayout layout;
    const Rect outer{0, 0, width, height};
    layout.frame = StatusFrameLines(outer);
    layout.interior = {1, 1, width - 1, height - 1};
    if (layout.interior.right < layout.interior.left) layout.interior.right = layout.interior.left;
    if (layout.interior.bottom < layout.interior.top) layout.interior.bottom = layout.interior.top;
    const std::int32_t filled = FilledWidth(layout.interior.width(), percent);
    layout.filled = {layout.interior.left, layout.interior.top, layout.interior.left + filled,
                     layout.interior.bottom};
    layout.unfilled = {layout.filled.right, layout.interior.top, layout.interior.right, layout.interior.bottom};
    return layout;
}

}  // namespace brunvald::ui
