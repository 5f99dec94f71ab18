#include "region_support.h"

#include <algorithm>
#include <cstring>

namespace brunvald::ui::test {

Dib CreateWorkBitmap(const png::Image& picture) {
    Dib dib = CreateDib32(static_cast<std::int32_t>(picture.width), static_cast<std::int32_t>(picture.height));
    if (!dib) return dib;
    const std::vector<std::uint32_t> pixels = Composite(picture, kDibWhite);
    std::copy(pixels.begin(), pixels.end(), dib.bits);
    ::GdiFlush();  // the bits were written behind GDI's back
    return dib;
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

}  // namespace brunvald::ui::test
