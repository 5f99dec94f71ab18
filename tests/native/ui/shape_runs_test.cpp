// The region's data: compositing by the alpha rule and the row runs.
#include "ui/shape_runs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "png_test_support.h"

namespace brunvald::ui {
namespace {

png::Image OnePixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    png::Image image;
    image.width = 1;
    image.height = 1;
    image.rgba = {r, g, b, a};
    return image;
}

// Worked out by hand from (old × (255 − a) + new × a + 127) / 255.
TEST(Composite, FollowsTheAlphaRule) {
    struct Case {
        std::uint8_t r, g, b, a;
        std::uint32_t background;
        std::uint32_t expected;  // 0x00RRGGBB
    };
    const Case cases[] = {
        {0, 0, 0, 0, kDibWhite, 0xFFFFFF},        // transparent keeps the ground
        {12, 34, 56, 0, 0x123456, 0x123456},      // whatever the ground is
        {12, 34, 56, 255, kDibWhite, 0x0C2238},   // opaque replaces exactly
        {255, 255, 255, 255, 0x000000, 0xFFFFFF},
        {0, 0, 0, 128, kDibWhite, 0x7F7F7F},      // (32385 + 127) / 255 = 127
        {0, 0, 0, 1, kDibWhite, 0xFEFEFE},        // 64897 / 255 = 254
        {0, 0, 0, 254, kDibWhite, 0x010101},      // 382 / 255 = 1
        {200, 0, 255, 128, kDibWhite, 0xE37FFF},  // red 58112 / 255 = 227
    };
    for (const Case& c : cases) {
        const auto pixels = Composite(OnePixel(c.r, c.g, c.b, c.a), c.background);
        ASSERT_EQ(pixels.size(), 1u);
        EXPECT_EQ(pixels[0], c.expected) << std::hex << "rgba " << int(c.r) << "," << int(c.g) << "," << int(c.b)
                                         << "," << int(c.a) << " over " << c.background;
    }
}

TEST(RowRuns, CutsTheKeyColourAndCloseRunsAtTheRowEnd) {
    constexpr std::uint32_t K = 0xFFFFFF, A = 0x102030, B = 0x405060;
    struct Case {
        const char* name;
        std::int32_t width, height;
        std::vector<std::uint32_t> pixels;
        std::vector<RowRun> expected;
    };
    const Case cases[] = {
        {"runs in the middle", 5, 2, {K, A, A, K, B, /**/ K, K, K, K, K}, {{1, 3, 0}, {4, 5, 0}}},
        {"a single pixel in the last column", 4, 2, {K, K, K, A, /**/ K, K, K, K}, {{3, 4, 0}}},
        {"a full row is one run", 3, 2, {A, B, A, /**/ K, K, K}, {{0, 3, 0}}},
        // The bottom-left pixel sets the key: here it is A, so A is cut
        // everywhere (the corner too) and white counts as "in".
        {"an opaque bottom-left pixel", 3, 2, {A, K, A, /**/ A, A, B}, {{1, 2, 0}, {2, 3, 1}}},
        {"only the low 24 bits count", 2, 2, {0xFF000000 | K, A, /**/ K, 0x7F000000 | K}, {{1, 2, 0}}},
        {"everything is key", 2, 2, {K, K, K, K}, {}},
        {"empty picture", 0, 0, {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComputeRowRuns(c.pixels, c.width, c.height), c.expected) << c.name;
    }
}

// The committed picture, decoded by our decoder and composited over white,
// gives exactly the runs the fixture script computed from Pillow's pixels,
// also when decoded and composited in place as the window does it.
TEST(RowRuns, OfTheCommittedPictureMatchPillow) {
    const auto file = png::testing::ReadFile(BRUNVALD_PICTURE);
    const png::DecodeResult decoded = png::Decode(file);
    ASSERT_TRUE(decoded.ok()) << png::Describe(decoded.error);
    const auto pixels = Composite(decoded.image, kDibWhite);
    const auto runs = ComputeRowRuns(pixels, static_cast<std::int32_t>(decoded.image.width),
                                     static_cast<std::int32_t>(decoded.image.height));

    std::ifstream in(std::string(BRUNVALD_PNG_FIXTURES) + "/picture.runs");
    std::vector<RowRun> expected;
    for (RowRun r{}; in >> r.y >> r.left >> r.right;) expected.push_back(r);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(runs, expected);

    std::int64_t pixelsIn = 0;
    for (const RowRun& r : runs) pixelsIn += r.right - r.left;
    std::cout << "picture region: " << runs.size() << " runs, " << pixelsIn << " pixels\n";
    EXPECT_EQ(ShapeRuns(decoded.image), expected) << "row by row";

    // As the window makes them: decoded straight into 32-bit pixels, then
    // turned into the picture over the button face where it lies.
    struct IntoPixels final : png::PixelTarget {
        std::vector<std::uint32_t> pixels;
        std::span<std::uint8_t> Place(std::uint32_t width, std::uint32_t height) override {
            pixels.resize(std::size_t{width} * height);
            return {reinterpret_cast<std::uint8_t*>(pixels.data()), pixels.size() * 4};
        }
    } into;
    ASSERT_EQ(png::DecodeInto(file, into), png::Error::None);
    constexpr std::uint32_t kFace = 0x00F0F0F0;
    EXPECT_EQ(CompositeInPlace(into.pixels, static_cast<std::int32_t>(decoded.image.width),
                               static_cast<std::int32_t>(decoded.image.height), kFace),
              expected);
    EXPECT_TRUE(into.pixels == Composite(decoded.image, kFace));
}

// The window's outline, worked out one row at a time (and in the picture's own
// memory, which then holds the picture over the button face), is the runs of
// the whole picture composited over white: the key taken from the bottom-left
// pixel (half-transparent or opaque), runs reaching the last column, rows of
// nothing but key, one row, no picture, and pixel data shorter than the size.
TEST(RowRuns, RowByRowEqualTheRunsOfTheWholeComposite) {
    const auto picture = [](std::uint32_t width, std::uint32_t height, std::uint8_t cornerAlpha) {
        png::Image image;
        image.width = width;
        image.height = height;
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                const auto a = static_cast<std::uint8_t>((x * 37 + y * 91) % 4 == 0 ? 0 : (x + y) % 3 == 0 ? 255 : 97);
                image.rgba.insert(image.rgba.end(), {std::uint8_t(x * 20), std::uint8_t(y * 40), 7, a});
            }
        if (width && height) image.rgba[(std::size_t(height - 1) * width) * 4 + 3] = cornerAlpha;
        return image;
    };
    png::Image cut = picture(4, 3, 0);
    cut.rgba.resize(cut.rgba.size() - 4);
    struct Case {
        const char* name;
        png::Image image;
    };
    const Case cases[] = {
        {"transparent corner", picture(9, 5, 0)},
        {"opaque corner", picture(9, 5, 255)},
        {"half-transparent corner", picture(7, 6, 97)},
        {"one row", picture(11, 1, 0)},
        {"one column", picture(1, 8, 255)},
        {"no picture", picture(0, 0, 0)},
    };
    for (const Case& c : cases) {
        const auto width = static_cast<std::int32_t>(c.image.width);
        const auto height = static_cast<std::int32_t>(c.image.height);
        const auto whole = Composite(c.image, kDibWhite);
        const auto runs = ComputeRowRuns(whole, width, height);
        EXPECT_EQ(ShapeRuns(c.image), runs) << c.name;

        // The same made in the memory of the pixels, as the window does.
        std::vector<std::uint32_t> inPlace(c.image.rgba.size() / 4);
        std::memcpy(inPlace.data(), c.image.rgba.data(), inPlace.size() * 4);
        constexpr std::uint32_t kFace = 0x00F0E0D0;
        EXPECT_EQ(CompositeInPlace(inPlace, width, height, kFace), runs) << c.name;
        EXPECT_EQ(inPlace, Composite(c.image, kFace)) << c.name;
    }
    EXPECT_TRUE(ShapeRuns(cut).empty()) << "pixel data shorter than the size";
}

}  // namespace
}  // namespace brunvald::ui
