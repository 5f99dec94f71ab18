#include "ui/shaped_picture.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace brunvald::ui {

namespace {

// The system's move command started from the caption: SC_MOVE | HTCAPTION.
constexpr WPARAM kMoveFromCaption = 0xF012;

// The decoder's pixels go straight into the window's bitmap.
class IntoDib final : public png::PixelTarget {
public:
    std::span<std::uint8_t> Place(std::uint32_t width, std::uint32_t height) override {
        dib = CreateDib32(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
        if (!dib) return {};
        return {reinterpret_cast<std::uint8_t*>(dib.bits), std::size_t(dib.width) * std::size_t(dib.height) * 4};
    }
    Dib dib;
};

// One region of the runs, in one ExtCreateRegion call. Empty for no runs.
unique_hrgn RegionOfRuns(std::span<const RowRun> runs) {
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

}  // namespace

unique_hrgn RegionFromRuns(std::span<const RowRun> runs) {
    // Wine adds the rectangles of one ExtCreateRegion one at a time, each as a
    // union with all before it, so its cost grows with the square of their
    // number: 1.6 ms for the picture's thousand runs. Parts of a few dozen
    // runs joined in turn cost a tenth of that and give the same region.
    constexpr std::size_t kRunsPerPart = 64;
    const auto part = [&](std::size_t offset) {
        return RegionOfRuns(runs.subspan(offset, std::min(kRunsPerPart, runs.size() - offset)));
    };
    unique_hrgn region = part(0);
    for (std::size_t offset = kRunsPerPart; region && offset < runs.size(); offset += kRunsPerPart) {
        const unique_hrgn next = part(offset);
        if (!next || ::CombineRgn(region.get(), region.get(), next.get(), RGN_OR) == ERROR) region.reset();
    }
    return region;
}

ShapedPicture::ShapedPicture(std::span<const std::uint8_t> png) {
    IntoDib into;
    if (png::DecodeInto(png, into) != png::Error::None) return;
    const std::vector<RowRun> outline =
        CompositeInPlace({into.dib.bits, std::size_t(into.dib.width) * std::size_t(into.dib.height)},
                         into.dib.width, into.dib.height, DibPixel(::GetSysColor(COLOR_BTNFACE)));
    ::GdiFlush();  // the bits were written behind GDI's back
    screenPicture_ = std::move(into.dib);
    region_ = RegionFromRuns(outline);
}

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
