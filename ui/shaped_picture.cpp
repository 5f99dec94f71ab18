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

Dib CreateWorkBitmap(const png::Image& picture) { return PictureOver(picture, kDibWhite); }

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

unique_hrgn BuildShapeRegion(const Dib& work) {
    if (!work) return {};
    const std::span<const std::uint32_t> pixels(work.bits, std::size_t(work.width) * std::size_t(work.height));
    const std::vector<RowRun> runs = ComputeRowRuns(pixels, work.width, work.height);
    return RegionFromRuns(runs);
}

unique_hrgn BuildShapeRegionSlow(HBITMAP work, std::int32_t width, std::int32_t height) {
    unique_hdc dc(::CreateCompatibleDC(nullptr));
    if (!dc || width <= 0 || height <= 0) return {};
    unique_select_object selected(dc.get(), work);
    const COLORREF key = ::GetPixel(dc.get(), 0, height - 1) & 0x00FFFFFF;
    unique_hrgn region;
    auto add = [&](std::int32_t left, std::int32_t right, std::int32_t y) {
        unique_hrgn rect(::CreateRectRgn(left, y, right, y + 1));
        if (!region) {
            region = std::move(rect);
        } else {
            ::CombineRgn(region.get(), region.get(), rect.get(), RGN_OR);
        }
    };
    for (std::int32_t y = 0; y < height; ++y) {
        std::int32_t start = -1;
        for (std::int32_t x = 0; x < width; ++x) {
            const bool in = (::GetPixel(dc.get(), x, y) & 0x00FFFFFF) != key;
            if (in && start < 0) {
                start = x;
            } else if (!in && start >= 0) {
                add(start, x, y);
                start = -1;
            }
        }
        if (start >= 0) add(start, width, y);
    }
    return region;
}

std::vector<RowRun> RegionRows(HRGN region) {
    std::vector<RowRun> rows;
    const DWORD size = ::GetRegionData(region, 0, nullptr);
    if (size < sizeof(RGNDATAHEADER)) return rows;
    std::vector<std::uint8_t> buffer(size);
    if (::GetRegionData(region, size, reinterpret_cast<RGNDATA*>(buffer.data())) != size) return rows;
    RGNDATAHEADER header;
    std::memcpy(&header, buffer.data(), sizeof header);
    const std::size_t count = std::min<std::size_t>(header.nCount, (size - header.dwSize) / sizeof(RECT));
    for (std::size_t i = 0; i < count; ++i) {
        RECT r;
        std::memcpy(&r, buffer.data() + header.dwSize + i * sizeof(RECT), sizeof r);
        // The system may merge equal neighbouring rows into one taller
        // rectangle; spread them back into rows.
        for (LONG y = r.top; y < r.bottom; ++y) rows.push_back({r.left, r.right, y});
    }
    std::sort(rows.begin(), rows.end(), [](const RowRun& a, const RowRun& b) {
        return a.y != b.y ? a.y < b.y : a.left < b.left;
    });
    return rows;
}

ShapedPicture::ShapedPicture(png::Image picture)
    : picture_(std::move(picture)),
      screenPicture_(PictureOver(picture_, DibPixel(::GetSysColor(COLOR_BTNFACE)))) {}

void ShapedPicture::WindowShown(HWND window) {
    ApplyShapeRegion(window);
    if (onShown) onShown(*this);
}

void ShapedPicture::RecreateRegion(HWND window) {
    regionMade_ = false;
    ApplyShapeRegion(window);
}

void ShapedPicture::ApplyShapeRegion(HWND window) {
    if (regionMade_) return;
    regionMade_ = true;
    const Dib work = CreateWorkBitmap(picture_);
    unique_hrgn region = BuildShapeRegion(work);
    // No region leaves the whole rectangle visible. Once the window accepts
    // the region it owns it; a refused one is ours to release.
    if (::SetWindowRgn(window, region.get(), TRUE) != 0) (void)region.release();
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
