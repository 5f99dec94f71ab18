// GradientBar PB1: its picture at several percents, rendered into memory
// DIBs, and when it paints at once and when not at all.
#include <gtest/gtest.h>

#include <memory>

#include "ui/main_window.h"
#include "ui/progress_bar.h"
#include "ui_test_support.h"

namespace brunvald::ui::test {
namespace {

constexpr COLORREF kBack = RGB(82, 40, 8);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

// A bar at the given percent, painted alone at the origin of a 416 × 8 canvas.
std::unique_ptr<Canvas> PaintBar(unsigned percent) {
    GradientBar bar;  // no window: the setter stores without painting
    bar.SetPercent(static_cast<std::uint16_t>(percent));
    auto canvas = std::make_unique<Canvas>(416, 8, kMagenta);
    bar.PaintAt(canvas->dc(), 0, 0);
    return canvas;
}

TEST(ProgressBar, StatusFrameFromTheSystemColours) {
    const COLORREF shadow = ::GetSysColor(COLOR_BTNSHADOW), highlight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    ASSERT_NE(shadow, highlight);
    for (const unsigned percent : {0u, 25u, 100u}) {
        SCOPED_TRACE(percent);
        const auto c = PaintBar(percent);
        EXPECT_EQ(c->At(0, 0), shadow);
        EXPECT_EQ(c->At(415, 0), highlight);
        EXPECT_EQ(c->At(0, 7), highlight);
        EXPECT_EQ(c->At(415, 7), highlight);
        for (int x = 0; x <= 414; ++x) ASSERT_EQ(c->At(x, 0), shadow) << "top row, x " << x;
        for (int y = 0; y <= 6; ++y) ASSERT_EQ(c->At(0, y), shadow) << "left column, y " << y;
        for (int y = 0; y <= 7; ++y) ASSERT_EQ(c->At(415, y), highlight) << "right column, y " << y;
        for (int x = 1; x <= 415; ++x) ASSERT_EQ(c->At(x, 7), highlight) << "bottom row, x " << x;
    }
}

// The interior, column by column: a gradient from maroon over the filled
// width, then the flat back colour; every row of a column alike.
TEST(ProgressBar, FilledWidthAndGradientPerPercent) {
    struct Case {
        unsigned percent;
        int filled;
    };
    const Case cases[] = {{0, 0}, {1, 4}, {25, 104}, {75, 310}, {100, 414}, {150, 414}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        const auto canvas = PaintBar(c.percent);
        int filledColumns = 0;
        int previousRed = 0;
        for (int x = 1; x <= 414; ++x) {
            const COLORREF top = canvas->At(x, 1);
            for (int y = 2; y <= 6; ++y) ASSERT_EQ(canvas->At(x, y), top) << "column " << x << " is one colour";
            if (top == kBack) continue;
            ++filledColumns;
            ASSERT_LE(x, c.filled) << "filled columns come first";
            EXPECT_GE(GetRValue(top), previousRed) << "red rises toward gold, column " << x;
            previousRed = GetRValue(top);
        }
        EXPECT_EQ(filledColumns, c.filled);
        if (c.filled > 0) {
            EXPECT_EQ(canvas->At(1, 3), RGB(128, 0, 0)) << "maroon in column 1";
        }
        if (c.filled == 414) {
            const COLORREF last = canvas->At(414, 3);
            EXPECT_GE(GetRValue(last), 246);
            EXPECT_GE(GetGValue(last), 200);
            EXPECT_GE(GetBValue(last), 40);
            EXPECT_LE(GetRValue(last), 248);
        }
    }
    // Anything from 100 up paints as 100.
    const auto full = PaintBar(100), over = PaintBar(150), most = PaintBar(65535);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 416; ++x) {
            ASSERT_EQ(over->At(x, y), full->At(x, y));
            ASSERT_EQ(most->At(x, y), full->At(x, y));
        }
}

class BarInWindowTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        Make().progressBar().RedirectImmediatePaint(canvas.dc());
    }
    bool CanvasUntouched() const {
        for (int y = 0; y < kClientHeight; ++y)
            for (int x = 0; x < kClientWidth; ++x)
                if (canvas.At(x, y) != kMagenta) return false;
        return true;
    }
    Canvas canvas{kClientWidth, kClientHeight, kMagenta};
};

// The setter paints at once, only while shown, only on a change, and only
// inside the bar's rectangle.
TEST_F(BarInWindowTest, PaintsAtOnceOnlyWhenShownAndChanged) {
    window->SetProgressPercent(40);
    EXPECT_EQ(window->ProgressPercent(), 40u) << "stored while hidden";
    EXPECT_TRUE(CanvasUntouched()) << "a hidden bar draws nothing";

    window->ShowProgressBar();
    EXPECT_TRUE(CanvasUntouched()) << "showing only marks the bar for the next paint";
    window->SetProgressPercent(40);
    EXPECT_TRUE(CanvasUntouched()) << "the same percent paints nothing";

    window->SetProgressPercent(41);
    const Rect bar = kProgressBar;
    bool outside = false;
    for (int y = 0; y < kClientHeight; ++y)
        for (int x = 0; x < kClientWidth; ++x)
            if (!bar.contains(x, y) && canvas.At(x, y) != kMagenta) outside = true;
    EXPECT_FALSE(outside);
    const auto alone = PaintBar(41);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 416; ++x) ASSERT_EQ(canvas.At(bar.left + x, bar.top + y), alone->At(x, y));

    canvas.Fill(kMagenta);
    window->SetProgressPercent(41);
    EXPECT_TRUE(CanvasUntouched());
}

// The window's paint draws the bar from its state: the hidden bar's stored
// value shows once it is shown, the same picture every time.
TEST_F(BarInWindowTest, RepaintDrawsTheStoredState) {
    window->SetProgressPercent(75);
    Canvas hidden(kClientWidth, kClientHeight), first(kClientWidth, kClientHeight),
        second(kClientWidth, kClientHeight);
    window->PaintClient(hidden.dc());
    EXPECT_NE(hidden.At(kProgressBar.left + 2, kProgressBar.top + 3), RGB(128, 0, 0)) << "hidden: not drawn";
    window->ShowProgressBar();
    window->PaintClient(first.dc());
    window->PaintClient(second.dc());
    const auto alone = PaintBar(75);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 416; ++x) {
            ASSERT_EQ(first.At(kProgressBar.left + x, kProgressBar.top + y), alone->At(x, y));
            ASSERT_EQ(second.At(kProgressBar.left + x, kProgressBar.top + y), alone->At(x, y));
        }
}

}  // namespace
}  // namespace brunvald::ui::test
