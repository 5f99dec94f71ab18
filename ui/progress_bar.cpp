#include "ui/progress_bar.h"

#include "ui/bar_geometry.h"
#include "ui/gdi_util.h"

namespace brunvald::ui {

namespace {

// A horizontal gradient over `r`: `from` on its left edge, `to` on its right
// edge (one past its last column). gdi32's own export, so that no DLL outside
// the system's known ones is loaded for it.
void GradientH(HDC dc, const Rect& r, COLORREF from, COLORREF to) {
    if (r.width() <= 0 || r.height() <= 0) return;
    TRIVERTEX vertices[2] = {
        {r.left, r.top, static_cast<COLOR16>(GetRValue(from) << 8), static_cast<COLOR16>(GetGValue(from) << 8),
         static_cast<COLOR16>(GetBValue(from) << 8), 0},
        {r.right, r.bottom, static_cast<COLOR16>(GetRValue(to) << 8), static_cast<COLOR16>(GetGValue(to) << 8),
         static_cast<COLOR16>(GetBValue(to) << 8), 0},
    };
    GRADIENT_RECT rect{0, 1};
    ::GdiGradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
}

}  // namespace

void GradientBar::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (parent_) {
        const RECT r = ToRECT(bounds_);
        ::InvalidateRect(parent_, &r, FALSE);
    }
}

void GradientBar::SetPercent(std::uint16_t percent) {
    if (percent == percent_) return;
    percent_ = percent;
    RepaintNow();
}

void GradientBar::RepaintNow() const {
    if (!visible_ || !parent_) return;
    if (redirect_) {
        const int saved = ::SaveDC(redirect_);
        ::IntersectClipRect(redirect_, bounds_.left, bounds_.top, bounds_.right, bounds_.bottom);
        PaintAt(redirect_, bounds_.left, bounds_.top);
        ::RestoreDC(redirect_, saved);
        return;
    }
    const unique_window_dc dc = unique_window_dc::get(parent_);
    if (!dc) return;
    ::IntersectClipRect(dc.get(), bounds_.left, bounds_.top, bounds_.right, bounds_.bottom);
    PaintAt(dc.get(), bounds_.left, bounds_.top);
}

void GradientBar::PaintAt(HDC dc, std::int32_t x, std::int32_t y) const {
    const std::int32_t width = bounds_.width(), height = bounds_.height();
    const Dib image = CreateDib32(width, height);
    unique_hdc memory(::CreateCompatibleDC(dc));
    if (!image || !memory) return;
    unique_select_object selectedBitmap(memory.get(), image.bitmap.get());

    const BarLayout layout = LayoutBar(width, height, percent_);

    // The ground: nothing of it stays visible with a one-pixel frame and no
    // rings, but it keeps the picture defined whatever the layout.
    {
        const unique_hbrush ground(::CreateSolidBrush(kBorderColor));
        const RECT all{0, 0, width, height};
        ::FillRect(memory.get(), &all, ground.get());
    }

    // The system colours are read at every paint, so a change of scheme shows.
    const unique_hpen shadow(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW)));
    const unique_hpen highlight(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT)));
    for (const FrameLine& line : layout.frame) {
        const unique_select_object pen(memory.get(),
                                       line.colour == FrameColour::Shadow ? shadow.get() : highlight.get());
        ::MoveToEx(memory.get(), line.from.x, line.from.y, nullptr);
        ::LineTo(memory.get(), line.to.x, line.to.y);
    }

    GradientH(memory.get(), layout.filled, kBarColor, kBarColorStop);
    GradientH(memory.get(), layout.unfilled, kBackColor, kBackColor);

    ::BitBlt(dc, x, y, width, height, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace brunvald::ui
