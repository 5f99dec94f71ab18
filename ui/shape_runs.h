// The shaped window's outline as plain data: the picture composited onto a
// background, and the row runs of the pixels that differ from the key colour.
// Kept free of Windows so that it is unit-tested and benchmarked natively;
// shaped_picture.cpp turns the runs into one region.
//
// Pixels are 32-bit values as a 32-bit top-down DIB holds them: 0x00RRGGBB
// (blue in the low byte, the byte order B, G, R, X in memory). Only the low
// 24 bits take part in any comparison.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ui/png/png_decoder.h"

namespace brunvald::ui {

inline constexpr std::uint32_t kDibWhite = 0x00FFFFFF;

// One horizontal run of "in" pixels: columns [left, right) of row y.
struct RowRun {
    std::int32_t left;
    std::int32_t right;
    std::int32_t y;
    friend bool operator==(const RowRun&, const RowRun&) = default;
};

// Draws the picture over `pixels` (width × height of the picture, row-major
// from the top) by the alpha rule: alpha 0 keeps the pixel, 255 replaces it by
// the picture's colour, any other alpha a gives
// (old × (255 − a) + new × a + 127) / 255 per channel, truncated.
void CompositeOnto(std::span<std::uint32_t> pixels, const png::Image& picture);

// The picture over a plain background: what the window shows (background the
// button face) and what its region is cut from (background white).
std::vector<std::uint32_t> Composite(const png::Image& picture, std::uint32_t background);

// The key colour: the low 24 bits of the bottom-left pixel.
std::uint32_t KeyColour(std::span<const std::uint32_t> pixels, std::int32_t width, std::int32_t height);

// The runs of pixels whose low 24 bits differ from the key colour, row by row
// from the top and left to right within a row. A run that reaches the last
// column ends at `width`. Empty for an empty picture.
std::vector<RowRun> ComputeRowRuns(std::span<const std::uint32_t> pixels, std::int32_t width,
                                   std::int32_t height);

// The picture's pixels as the decoder left them in `pixels` (4 bytes each:
// red, green, blue, alpha, in memory order), turned in place into the picture
// over `background`, as Composite makes it; returns the outline, the runs
// ShapeRuns gives. One pass over memory the picture already fills, so that no
// second copy of the picture is made.
std::vector<RowRun> CompositeInPlace(std::span<std::uint32_t> pixels, std::int32_t width, std::int32_t height,
                                     std::uint32_t background);

// The window's outline: ComputeRowRuns of the picture composited over white,
// worked out one row at a time, so that no copy of the whole picture is made
// for it.
std::vector<RowRun> ShapeRuns(const png::Image& picture);

}  // namespace brunvald::ui
