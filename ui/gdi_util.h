// Small drawing helpers shared by the window's parts. Win32 only.
#pragma once

#include <cstdint>

#include "host/unique_handle.h"
#include "ui/window_layout.h"

namespace brunvald::ui {

// A 32-bit top-down DIB section: row 0 is the top row, each pixel 0x00RRGGBB.
struct Dib {
    unique_hbitmap bitmap;
    std::uint32_t* bits = nullptr;  // width × height pixels, owned by the bitmap
    std::int32_t width = 0;
    std::int32_t height = 0;

    explicit operator bool() const noexcept { return bitmap && bits; }
};

// Empty on failure or for a size of 0. The pixels start black.
Dib CreateDib32(std::int32_t width, std::int32_t height);

inline RECT ToRECT(const Rect& r) noexcept { return RECT{r.left, r.top, r.right, r.bottom}; }

// A COLORREF (0x00BBGGRR) as a DIB pixel (0x00RRGGBB), and back.
constexpr std::uint32_t DibPixel(COLORREF colour) noexcept {
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}
constexpr COLORREF FromDibPixel(std::uint32_t pixel) noexcept {
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

}  // namespace brunvald::ui
