// The window's placement rules.
#include "ui/window_layout.h"

#include <gtest/gtest.h>

namespace brunvald::ui {
namespace {

TEST(WindowLayout, OpensCentredOnTheWholeDesktopButNotOffItsTopLeft) {
    struct Case {
        const char* name;
        Rect desktop;
        Point expected;
    };
    const Case cases[] = {
        {"one screen", Box(0, 0, 1280, 1024), {390, 300}},
        {"odd sizes truncate", Box(0, 0, 1365, 767), {432, 171}},
        {"a monitor left of the primary", Box(-1280, 0, 2560, 1024), {-250, 300}},
        {"a monitor above", Box(0, -1080, 1920, 2104), {710, -240}},
        {"smaller than the window", Box(0, 0, 400, 300), {0, 0}},
        {"smaller, away from the origin", Box(-100, -50, 300, 200), {-100, -50}},
    };
    for (const Case& c : cases) EXPECT_EQ(CenteredOrigin(c.desktop), c.expected) << c.name;
}

TEST(WindowLayout, LabelTextShiftTruncatesTowardZero) {
    struct Case {
        std::int32_t block, shift;
    };
    const Case cases[] = {{36, 7}, {50, 0}, {15, 17}, {0, 25}, {51, 0}, {53, -1}, {70, -10}};
    for (const Case& c : cases) EXPECT_EQ(LabelTextShift(c.block), c.shift) << "block " << c.block;
}

// The 146 × 34 image in a 145 × 33 button: any content area inset equally on
// opposite sides puts it at the button's top-left corner.
TEST(WindowLayout, ButtonImageLandsAtTheTopLeftOfAnEvenlyInsetFace) {
    struct Case {
        const char* name;
        Rect content;
        bool pressed;
        Point expected;
    };
    const Case cases[] = {
        {"classic frame", {2, 2, 143, 31}, false, {0, 0}},
        {"classic with focus", {1, 1, 144, 32}, false, {0, 0}},
        {"classic pressed", {2, 2, 143, 31}, true, {1, 1}},
        {"styled margins of 3", {3, 3, 142, 30}, false, {0, 0}},
        {"uneven margins", {4, 2, 143, 31}, false, {1, 0}},
        {"a larger face centres", {0, 0, 200, 50}, false, {27, 8}},
    };
    for (const Case& c : cases) EXPECT_EQ(ButtonImageOrigin(c.content, c.pressed), c.expected) << c.name;
}

TEST(WindowLayout, EveryPartLiesOnThePanel) {
    // The visible panel spans columns 13 to 481 and rows 211 to 417.
    const Rect panel{13, 211, 482, 418};
    for (const Rect& r : {placed::kPrgNameBlack, placed::kPrgNameYellow, placed::kActionButton, placed::kBeenden,
                          kProgressBar, stored::kPrgNameBlack, stored::kPrgNameYellow, stored::kInstallieren,
                          stored::kDeinstallieren, stored::kBeenden}) {
        EXPECT_GE(r.left, panel.left);
        EXPECT_GE(r.top, panel.top);
        EXPECT_LE(r.right, panel.right);
        EXPECT_LE(r.bottom, panel.bottom);
    }
}

}  // namespace
}  // namespace brunvald::ui
