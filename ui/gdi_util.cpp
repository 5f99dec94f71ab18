#include "ui/gdi_util.h"

namespace brunvald::ui {

Dib CreateDib32(std::int32_t width, std::int32_t height) {
    Dib dib;
    if (width <= 0 || height <= 0) return dib;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dib.bitmap.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib.bitmap || !bits) return Dib{};
    dib.bits = static_cast<std::uint32_t*>(bits);
    dib.width = width;
    dib.height = height;
    return dib;
}

}  // namespace brunvald::ui
