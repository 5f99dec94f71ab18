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

// Collects the runs of "in" pixels of one row, told each pixel in turn.
class RowRunner {
public:
    RowRunner(std::int32_t y, std::vector<RowRun>& runs) : y_(y), runs_(runs) {}

    [[gnu::always_inline]] void Pixel(std::int32_t x, bool in) {
        if (in == (start_ >= 0)) return;
        if (in) {
            start_ = x;
        } else {
            runs_.push_back({start_, x, y_});
            start_ = -1;
        }
    }
    // After the row's last pixel: a run still open reaches its end.
    void End(std::int32_t width) {
        if (start_ >= 0) runs_.push_back({start_, width, y_});
    }

private:
    std::int32_t y_;
    std::vector<RowRun>& runs_;
    std::int32_t start_ = -1;
};

// An RGBA pixel drawn over white, as the outline compares it: its key is the
// bottom-left pixel's, and the pixels that differ from it are in.
[[gnu::always_inline]] inline std::uint32_t OverWhite(const std::uint8_t* rgba) noexcept {
    return Over(kDibWhite, rgba) & 0x00FFFFFF;
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
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels.data() + std::size_t(y) * std::size_t(width);
        RowRunner runner(y, runs);
        for (std::int32_t x = 0; x < width; ++x) runner.Pixel(x, (row[x] & 0x00FFFFFF) != key);
        runner.End(width);
    }
    return runs;
}

std::vector<RowRun> ShapeRuns(const png::Image& picture) {
    std::vector<RowRun> runs;
    const auto width = static_cast<std::int32_t>(picture.width);
    const auto height = static_cast<std::int32_t>(picture.height);
    const std::size_t rowBytes = std::size_t{picture.width} * 4;
    if (width <= 0 || height <= 0 || picture.rgba.size() < rowBytes * picture.height) return runs;
    const auto rgba = [&](std::int32_t y) { return picture.rgba.data() + std::size_t(y) * rowBytes; };
    const std::uint32_t key = OverWhite(rgba(height - 1));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* src = rgba(y);
        RowRunner runner(y, runs);
        for (std::int32_t x = 0; x < width; ++x, src += 4) runner.Pixel(x, OverWhite(src) != key);
        runner.End(width);
    }
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
    const std::uint32_t key = OverWhite(rgba(height - 1));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* src = rgba(y);
        std::uint32_t* row = pixels.data() + std::size_t(y) * std::size_t(width);
        RowRunner runner(y, runs);
        for (std::int32_t x = 0; x < width; ++x, src += 4) {
            // Each pixel is read whole before its place is written.
            std::uint8_t pixel[4];
            std::memcpy(pixel, src, 4);
            runner.Pixel(x, OverWhite(pixel) != key);
            row[x] = Over(background, pixel);
        }
        runner.End(width);
    }
    return runs;
}

}  // namespace brunvald::ui
