#include "ui/shaped_picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace brunvald::ui {

namespace {

// The system's move command started from the caption: SC_MOVE | HTCAPTION.
constexpr WPARAM kMoveFromCaption = 0xF012;

Dib PictureOver(const png::Image& picture, std::uint32_t background) {
    Dib dib = CreateDib32(static_cast<std::int32_t>(picture.width), static_cast<std::int32_t>(picture.height));
    if (!dib) return dib;
    std::span<std::uint32_t> pixels(dib.bits, std::size_t(dib.width) * std::size_t(dib.height));
    std::fill(pixels.begin(), pixels.end(), background);
    CompositeOnto(pixels, picture);
    ::GdiFlush();  // the bits were written behind GDI's back
    return dib;
}

}  // namespace

unique_hrgn RegionFromRuns(std::span<const RowRun> runs) {
    if (runs.empty()) return {};
    // RGNDATA: a header followed by the rectangles, in one buffer.
    const std::size_t rectBytes = runs.size() * sizeof(RECT);
    std::vector<std::uint8_t> buffer(sizeof(RGNDATAHEADER) + rectBytes);
    RGNDATAHEADER header{};
    header.dwSize = sizeof(RGNDATAHEADER);
    header.iType = RDH_RECTANGLES;
    header.nCount = static_cast<DWORD>(runs.size());
    header.nRgnSize = static_cast<DWORD>(rectBytes);
    header.rcBound = RECT{runs.front().left, runs.front().y, runs.front().right, runs.front().y + 1};
    std::vector<RECT> rects;
    rects.reserve(runs.size());
    for (const RowRun& run : runs) {
        rects.push_back(RECT{run.left, run.y, run.right, run.y + 1});
        header.rcBound.left = std::min<LONG>(header.rcBound.left, run.left);
        header.rcBound.right = std::max<LONG>(header.rcBound.right, run.right);
        header.rcBound.top = std::min<LONG>(header.rcBound.top, run.y);
        header.rcBound.bottom = std::max<LONG>(header.rcBound.bottom, run.y + 1);
    }
    std::memcpy(buffer.data(), &header, sizeof header);
    std::memcpy(buffer.data() + sizeof header, rects.data(), rectBytes);
    return unique_hrgn(::ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()),
                                         reinterpret_cast<const RGNDATA*>(buffer.data())));
}

ShapedPicture::ShapedPicture(const png::Image& picture)
    : screenPicture_(PictureOver(picture, DibPixel(::GetSysColor(COLOR_BTNFACE)))),
      region_(RegionFromRuns(ShapeRuns(picture))) {}

void ShapedPicture::WindowShown(HWND window) {
    ApplyShapeRegion(window);
    if (onShown) onShown(*this);
}

void ShapedPicture::ApplyShapeRegion(HWND window) {
    if (regionMade_) return;
    regionMade_ = true;
    // No region leaves the whole rectangle visible. Once the window accepts
    // the region it owns it; a refused one is ours to release.
    if (::SetWindowRgn(window, region_.get(), TRUE) != 0) (void)region_.release();
    region_.reset();
}

void ShapedPicture::MousePress(HWND window) {
    if (!dragsWindow) return;
    ::ReleaseCapture();
    ::SendMessageW(window, WM_SYSCOMMAND, kMoveFromCaption, 0);
}

void ShapedPicture::Paint(HDC dc) const {
    if (!screenPicture_) return;
    unique_hdc source(::CreateCompatibleDC(dc));
    if (!source) return;
    unique_select_object selected(source.get(), screenPicture_.bitmap.get());
    ::BitBlt(dc, 0, 0, screenPicture_.width, screenPicture_.height, source.get(), 0, 0, SRCCOPY);
}

}  // namespace brunvald::ui
