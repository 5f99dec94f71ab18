// GradientBar PB1: a windowless gradient bar painted on its parent's
// surface. A change of Percent is on the screen before the setter returns,
// because the runs that drive it process no window messages. Win32 only.
#pragma once

#include <cstdint>

#include "host/unique_handle.h"
#include "ui/window_layout.h"

namespace brunvald::ui {

class GradientBar {
public:
    // The values the window gives its bar.
    static constexpr COLORREF kBarColor = RGB(128, 0, 0);        // maroon, the fill's left edge
    static constexpr COLORREF kBarColorStop = RGB(248, 207, 44);  // gold, the fill's right edge
    static constexpr COLORREF kBackColor = RGB(82, 40, 8);        // the unfilled part
    static constexpr COLORREF kBorderColor = RGB(82, 40, 8);      // ground under the frame

    GradientBar() = default;
    GradientBar(const GradientBar&) = delete;
    GradientBar& operator=(const GradientBar&) = delete;

    // The window the bar paints on; null until it has one.
    void SetParent(HWND parent) noexcept { parent_ = parent; }
    const Rect& bounds() const noexcept { return bounds_; }

    bool Visible() const noexcept { return visible_; }
    // Showing marks the bar's rectangle for the window's next paint.
    void SetVisible(bool visible);

    std::uint16_t Percent() const noexcept { return percent_; }
    // Stores a new value and, while the bar is visible, paints it at once.
    // The same value again does nothing.
    void SetPercent(std::uint16_t percent);

    // Draws the whole bar from its state with its top-left corner at (x, y):
    // composed in an off-screen bitmap and copied in one BitBlt.
    void PaintAt(HDC dc, std::int32_t x, std::int32_t y) const;

    // For tests: immediate repaints go to this DC (at the bar's place in the
    // window) instead of the parent window's. Null restores the window.
    void RedirectImmediatePaint(HDC dc) noexcept { redirect_ = dc; }

private:
    void RepaintNow() const;

    HWND parent_ = nullptr;  // not owned: the bar lives inside its window
    Rect bounds_ = kProgressBar;
    bool visible_ = false;
    std::uint16_t percent_ = 0;
    HDC redirect_ = nullptr;  // not owned
};

}  // namespace brunvald::ui
