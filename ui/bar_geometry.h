// The progress bar's picture as plain geometry: the status frame's four lines
// in their drawing order, the filled width, and the two parts of the
// interior. progress_bar.cpp draws exactly this. Portable: no Windows header.
#pragma once

#include <array>
#include <cstdint>

#include "ui/window_layout.h"

namespace brunvald::ui {

enum class FrameColour { Shadow, Highlight };  // the system's button shadow / highlight

// A one-pixel line from `from` up to `to`, excluding `to` (as LineTo draws).
struct FrameLine {
    Point from;
    Point to;
    FrameColour colour;
    friend constexpr bool operator==(const FrameLine&, const FrameLine&) = default;
};

// The sunken status frame on `r` (right and bottom exclusive): left and top in
// shadow, then right and bottom in highlight. The later lines overwrite the
// shared corners, so only the top-left pixel stays in shadow.
std::array<FrameLine, 4> StatusFrameLines(const Rect& r);

// Filled columns of an interior `interiorWidth` wide: 100 percent and above is
// full; below that interiorWidth × percent / 100, a half going to the even
// neighbour (25 % of 414 gives 104, 75 % gives 310).
std::int32_t FilledWidth(std::int32_t interiorWidth, unsigned percent);

struct BarLayout {
    std::array<FrameLine, 4> frame;
    Rect interior;  // inside the frame
    Rect filled;    // gradient from the bar colour to its stop colour; may be empty
    Rect unfilled;  // the back colour; may be empty
};

// The bar of the given size at the origin (0, 0), with a one-pixel frame.
BarLayout LayoutBar(std::int32_t width, std::int32_t height, unsigned percent);

}  // namespace brunvald::ui
