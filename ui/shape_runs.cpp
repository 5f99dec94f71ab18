#include "ui/shape_runs.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace brunvald::ui {

namespace {

std::uint32_t Blend(std::uint32_t old, std::uint32_t fresh, std::uint32_t alpha) noexcept {
    return (old * (255 - alpha) + fresh * alpha + 127) / 255;
}

// One RGBA pixel drawn over `old` by the alpha rule. Called per pixel from
// three loops: inlined into each, as a size-optimised build would not.
[[gnu::always_inline]] inline std::uint32_t Over(std::uint32_t old, const std::uint8_t* src) noexcept {
    const std::uint32_t a = src[3];
    if (a == 0) return old;
    const std::uint32_t r = src[0], g = src[1], b = src[2];
    if (a == 255) return (r << 16) | (g << 8) | b;
    return (Blend((old >> 16) & 0xFF, r, a) << 16) | (Blend((old >> 8) & 0xFF, g, a) << 8) | Blend(old & 0xFF, b, a);
}

// Draws `count` RGBA pixels from src over the pixels, by the alpha rule.
void CompositeSpan(std::uint32_t* pixels, const std::uint8_t* src, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i, src += 4) pixels[i] = Over(pixels[i], src);
}

// Appends the runs of one row's pixels that differ from the key.
void AppendRowRuns(const std::uint32_t* row, std::int32_t width, std::int32_t y, std::uint32_t key,
                   std::vector<RowRun>& runs) {
    std::int32_t start = -1;
    for (std::int32_t x = 0; x < width; ++x) {
        const bool in = (row[x] & 0x00FFFFFF) != key;
        if (in && start < 0) {
            start = x;
        } else if (!in && start >= 0) {
            runs.push_back({start, x, y});
            start = -1;
        }
    }
    if (start >= 0) runs.push_back({start, width, y});
}

// The key of the outline: the bottom-left pixel drawn over white.
std::uint32_t OutlineKey(const std::uint8_t* bottomRow) noexcept { return Over(kDibWhite, bottomRow) & 0x00FFFFFF; }

// Appends the outline's runs of one RGBA row: the row drawn over white in
// `overWhite` (one row long), then its pixels that differ from the key.
void AppendOutlineRow(const std::uint8_t* rgba, std::vector<std::uint32_t>& overWhite, std::int32_t y,
                      std::uint32_t key, std::vector<RowRun>& runs) {
    std::fill(overWhite.begin(), overWhite.end(), kDibWhite);
    CompositeSpan(overWhite.data(), rgba, overWhite.size());
    AppendRowRuns(overWhite.data(), static_cast<std::int32_t>(overWhite.size()), y, key, runs);
}

}  // namespace

void CompositeOnto(std::span<std::uint32_t> pixels, const png::Image& picture) {
    const std::size_t count = std::size_t{picture.width} * picture.height;
    if (pixels.size() < count || picture.rgba.size() < count * 4) return;
    CompositeSpan(pixels.data(), picture.rgba.data(), count);
}

std::vector<std::uint32_t> Composite(const png::Image& picture, std::uint32_t background) {
    std::vector<std::uint32_t> pixels(std::size_t{picture.width} * picture.height, background);
    CompositeOnto(pixels, picture);
    return pixels;
}

std::uint32_t KeyColour(std::span<const std::uint32_t> pixels, std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const std::size_t index = std::size_t(height - 1) * std::size_t(width);
    return index < pixels.size() ? (pixels[index] & 0x00FFFFFF) : 0;
}

std::vector<RowRun> ComputeRowRuns(std::span<const std::uint32_t> pixels, std::int32_t width,
                                   std::int32_t height) {
    std::vector<RowRun> runs;
    if (width <= 0 || height <= 0 || pixels.size() < std::size_t(width) * std::size_t(height)) return runs;
    const std::uint32_t key = KeyColour(pixels, width, height);
    for (std::int32_t y = 0; y < height; ++y)
        AppendRowRuns(pixels.data() + std::size_t(y) * std::size_t(width), width, y, key, runs);
    return runs;
}

std::vector<RowRun> ShapeRuns(const png::Image& picture) {
    std::vector<RowRun> runs;
    const auto width = static_cast<std::int32_t>(picture.width);
    const auto height = static_cast<std::int32_t>(picture.height);
    const std::size_t rowBytes = std::size_t{picture.width} * 4;
    if (width <= 0 || height <= 0 || picture.rgba.size() < rowBytes * picture.height) return runs;
    const auto rgba = [&](std::int32_t y) { return picture.rgba.data() + std::size_t(y) * rowBytes; };
    const std::uint32_t key = OutlineKey(rgba(height - 1));
    std::vector<std::uint32_t> overWhite(picture.width);
    for (std::int32_t y = 0; y < height; ++y) AppendOutlineRow(rgba(y), overWhite, y, key, runs);
    return runs;
}

std::vector<RowRun> CompositeInPlace(std::span<std::uint32_t> pixels, std::int32_t width, std::int32_t height,
                                     std::uint32_t background) {
    std::vector<RowRun> runs;
    if (width <= 0 || height <= 0 || pixels.size() < std::size_t(width) * std::size_t(height)) return runs;
    const auto rgba = [&](std::int32_t y) {
        return reinterpret_cast<const std::uint8_t*>(pixels.data() + std::size_t(y) * std::size_t(width));
    };
    // The key is read before any pixel changes.
    const std::uint32_t key = OutlineKey(rgba(height - 1));
    std::vector<std::uint32_t> overWhite(static_cast<std::size_t>(width));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* src = rgba(y);
        AppendOutlineRow(src, overWhite, y, key, runs);
        // Each pixel is read whole before its place is written.
        std::uint32_t* row = pixels.data() + std::size_t(y) * std::size_t(width);
        for (std::int32_t x = 0; x < width; ++x, src += 4) {
            std::uint8_t pixel[4];
            std::memcpy(pixel, src, 4);
            row[x] = Over(background, pixel);
        }
    }
    return runs;
}

}  // namespace brunvald::ui
