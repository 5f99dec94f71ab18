// The title labels PrgNameBlack and PrgNameYellow: windowless text painted on
// the window's surface after the picture. Win32 only.
#pragma once

#include "host/host_ops.h"
#include "host/unique_handle.h"
#include "ui/window_layout.h"

namespace brunvald::ui {

struct TitleLabel {
    Text text;
    Rect box;
    // Until the window is set up a label follows the window's font and its
    // text colour; afterwards it has a font and a colour of its own.
    bool ownLook = false;
    COLORREF colour = 0;
    unique_hfont font;
};

// Paints `text` inside `box` and nowhere else: lines split at line breaks,
// each centred across the box, the block shifted down by
// (box height − block height) / 2, tabs expanded, "&" marking the next
// character as underlined ("&&" draws one "&"), no background, no wrapping.
void PaintTitleText(HDC dc, const Text& text, const Rect& box, HFONT font, COLORREF colour);

}  // namespace brunvald::ui
