// The progress bar's geometry: filled width, frame order, the two parts.
#include "ui/bar_geometry.h"

#include <gtest/gtest.h>

#include <map>

namespace brunvald::ui {
namespace {

TEST(BarGeometry, FilledWidthRoundsHalfToEven) {
    struct Case {
        std::int32_t interior;
        unsigned percent;
        std::int32_t expected;
    };
    const Case cases[] = {
        {414, 0, 0},     {414, 1, 4},     {414, 25, 104},    {414, 50, 207},  {414, 75, 310},
        {414, 99, 410},  {414, 100, 414}, {414, 150, 414},   {414, 65535, 414},
        {10, 5, 0},      {10, 15, 2},     {10, 25, 2},       {10, 35, 4},     {10, 45, 4},
        {10, 44, 4},     {10, 46, 5},     {0, 50, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FilledWidth(c.interior, c.percent), c.expected) << c.interior << " × " << c.percent << " %";
}

// Draws the lines as LineTo would, later ones over earlier ones.
std::map<std::pair<int, int>, FrameColour> Rasterise(const std::array<FrameLine, 4>& lines) {
    std::map<std::pair<int, int>, FrameColour> pixels;
    for (const FrameLine& line : lines) {
        const int dx = (line.to.x > line.from.x) - (line.to.x < line.from.x);
        const int dy = (line.to.y > line.from.y) - (line.to.y < line.from.y);
        EXPECT_TRUE(dx == 0 || dy == 0) << "frame lines are straight";
        for (Point p = line.from; p != line.to; p = {p.x + dx, p.y + dy}) pixels[{p.x, p.y}] = line.colour;
    }
    return pixels;
}

TEST(BarGeometry, StatusFrameLeavesOnlyTheTopLeftCornerInShadow) {
    const auto pixels = Rasterise(StatusFrameLines({0, 0, 416, 8}));
    using enum FrameColour;
    EXPECT_EQ(pixels.size(), 2u * 416 + 2u * 6);  // the ring of the rectangle, once each
    EXPECT_EQ(pixels.at({0, 0}), Shadow);
    EXPECT_EQ(pixels.at({415, 0}), Highlight);
    EXPECT_EQ(pixels.at({0, 7}), Highlight);
    EXPECT_EQ(pixels.at({415, 7}), Highlight);
    for (int x = 0; x <= 414; ++x) EXPECT_EQ(pixels.at({x, 0}), Shadow) << "top row, column " << x;
    for (int y = 0; y <= 6; ++y) EXPECT_EQ(pixels.at({0, y}), Shadow) << "left column, row " << y;
    for (int y = 0; y <= 7; ++y) EXPECT_EQ(pixels.at({415, y}), Highlight) << "right column, row " << y;
    for (int x = 0; x <= 415; ++x) EXPECT_EQ(pixels.at({x, 7}), Highlight) << "bottom row, column " << x;
}

TEST(BarGeometry, SplitsTheInteriorAtTheFilledWidth) {
    struct Case {
        unsigned percent;
        Rect filled, unfilled;
    };
    const Case cases[] = {
        {0, {1, 1, 1, 7}, {1, 1, 415, 7}},
        {25, {1, 1, 105, 7}, {105, 1, 415, 7}},
        {75, {1, 1, 311, 7}, {311, 1, 415, 7}},
        {100, {1, 1, 415, 7}, {415, 1, 415, 7}},
        {150, {1, 1, 415, 7}, {415, 1, 415, 7}},
    };
    for (const Case& c : cases) {
        const BarLayout layout = LayoutBar(416, 8, c.percent);
        EXPECT_EQ(layout.interior, (Rect{1, 1, 415, 7}));
        EXPECT_EQ(layout.filled, c.filled) << c.percent << " %";
        EXPECT_EQ(layout.unfilled, c.unfilled) << c.percent << " %";
    }
}

}  // namespace
}  // namespace brunvald::ui
