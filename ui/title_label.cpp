#include "ui/title_label.h"

#include "host/win32/win32_text.h"

namespace brunvald::ui {

void PaintTitleText(HDC dc, const Text& text, const Rect& box, HFONT font, COLORREF colour) {
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, box.left, box.top, box.right, box.bottom);
    if (font) ::SelectObject(dc, font);  // undone by RestoreDC below
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, colour);

    // No word wrapping: DrawText breaks only at the text's own line breaks.
    constexpr UINT kFlags = DT_CENTER | DT_EXPANDTABS | DT_NOCLIP;
    const int length = static_cast<int>(text.size());
    RECT measure{box.left, box.top, box.right, box.top};
    ::DrawTextW(dc, win32::W(text), length, &measure, kFlags | DT_CALCRECT);
    const std::int32_t blockHeight = measure.bottom - measure.top;

    const std::int32_t top = box.top + LabelTextShift(blockHeight);
    RECT area{box.left, top, box.right, top + blockHeight};
    // Drawn without DrawText's own clipping and clipped to the box instead,
    // so a too-wide line is cut at both sides and a too-tall block at the top
    // and the bottom alike.
    ::DrawTextW(dc, win32::W(text), length, &area, kFlags);
    ::RestoreDC(dc, saved);
}

}  // namespace brunvald::ui
