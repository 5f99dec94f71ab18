// The decoder against Pillow's pixels, and its refusal of malformed files.
#include "ui/png/png_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "png_test_support.h"

namespace brunvald::png {
namespace {

using namespace testing;  // the PNG helpers

const std::string kFixtures = BRUNVALD_PNG_FIXTURES;

struct Expected {
    std::uint32_t width = 0, height = 0;
    ByteVector rgba;
};

Expected ReadPillowPixels(const std::string& path) {
    const ByteVector file = ReadFile(path);
    Expected e;
    if (file.size() < 8) return e;
    e.width = GetBE32(file, 0);
    e.height = GetBE32(file, 4);
    e.rgba.assign(file.begin() + 8, file.end());
    return e;
}

void ExpectSamePixels(const Image& image, const Expected& expected) {
    ASSERT_EQ(image.width, expected.width);
    ASSERT_EQ(image.height, expected.height);
    ASSERT_EQ(image.rgba.size(), expected.rgba.size());
    for (std::size_t i = 0; i < image.rgba.size(); ++i) {
        if (image.rgba[i] != expected.rgba[i]) {
            const std::size_t pixel = i / 4;
            FAIL() << "first difference at x=" << pixel % image.width << " y=" << pixel / image.width
                   << " channel " << i % 4 << ": " << int(image.rgba[i]) << " instead of " << int(expected.rgba[i]);
        }
    }
}

// Every filter type, plain and Adam7, the committed picture and a 1 × 1
// Adam7 image (six of its seven passes are empty): Pillow's pixels exactly.
TEST(PngDecoder, DecodesLikePillow) {
    struct Case {
        const char* png;
        const char* rgba;
    };
    const std::string picture = BRUNVALD_PICTURE;
    for (const auto& [png, rgba] : {Case{"plain.png", "plain.rgba"}, Case{"adam7.png", "adam7.rgba"},
                                    Case{"tiny_adam7.png", "tiny_adam7.rgba"}, Case{nullptr, "picture.rgba"}}) {
        SCOPED_TRACE(png ? png : "picture.png");
        const ByteVector file = ReadFile(png ? kFixtures + "/" + png : picture);
        ASSERT_FALSE(file.empty());
        const DecodeResult result = Decode(file);
        ASSERT_TRUE(result.ok()) << Describe(result.error);
        ExpectSamePixels(result.image, ReadPillowPixels(kFixtures + "/" + rgba));
    }
}

// The same image data in one-byte IDAT chunks and with empty IDATs between.
TEST(PngDecoder, JoinsImageDataAcrossManyChunks) {
    const ByteVector original = ReadFile(kFixtures + "/adam7.png");
    ByteVector stream;
    std::vector<Chunk> rebuilt;
    for (const Chunk& c : SplitChunks(original)) {
        if (c.type == "IDAT") stream.insert(stream.end(), c.data.begin(), c.data.end());
        else if (c.type != "IEND") rebuilt.push_back(c);
    }
    for (std::uint8_t byte : stream) {
        rebuilt.push_back({"IDAT", {byte}});
        rebuilt.push_back({"IDAT", {}});
    }
    rebuilt.push_back({"IEND", {}});
    const DecodeResult result = Decode(Build(rebuilt));
    ASSERT_TRUE(result.ok()) << Describe(result.error);
    ExpectSamePixels(result.image, ReadPillowPixels(kFixtures + "/adam7.rgba"));
}

// gAMA 100000 (g = 1): v becomes 255 × (v/255)^(1/2.2), rounded. The values
// below were worked out independently; alpha is never corrected. Pillow
// ignores gAMA, so its pixels are the stored values.
TEST(PngDecoder, AppliesTheGammaTableToColourButNotAlpha) {
    const DecodeResult result = Decode(ReadFile(kFixtures + "/gamma_one.png"));
    ASSERT_TRUE(result.ok()) << Describe(result.error);
    const Expected stored = ReadPillowPixels(kFixtures + "/gamma_one.rgba");
    ASSERT_EQ(result.image.rgba.size(), stored.rgba.size());
    const std::pair<int, int> table[] = {{0, 0},     {1, 21},    {2, 28},    {16, 72},  {64, 136},
                                         {128, 186}, {200, 228}, {254, 255}, {255, 255}};
    int checked = 0;
    for (std::size_t i = 0; i < stored.rgba.size(); i += 4) {
        for (const auto& [v, corrected] : table) {
            if (stored.rgba[i] == v) {  // red holds v, alpha too
                EXPECT_EQ(result.image.rgba[i], corrected) << "red " << v;
                EXPECT_EQ(result.image.rgba[i + 3], v) << "alpha must stay";
                ++checked;
            }
            if (stored.rgba[i + 2] == v) {
                EXPECT_EQ(result.image.rgba[i + 2], corrected) << "blue " << v;
            }
        }
    }
    EXPECT_EQ(checked, 9);  // each listed value occurs once in the fixture
}

TEST(PngDecoder, GammaOf45455IsTheIdentity) {
    const auto table = GammaTable(45455);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(table[v], v);
}

// --- Malformed files -------------------------------------------------------

// One 2 × 2 image, rows filtered with None.
ByteVector TwoByTwoRows(std::uint8_t filter = 0, std::size_t extra = 0) {
    ByteVector raw;
    for (int row = 0; row < 2; ++row) {
        raw.push_back(filter);
        for (int i = 0; i < 8; ++i) raw.push_back(static_cast<std::uint8_t>(row * 8 + i));
    }
    raw.insert(raw.end(), extra, 0);
    return raw;
}

ByteVector ValidIdat() { return Compress(TwoByTwoRows()); }

std::vector<Chunk> Valid() { return {{"IHDR", Header(2, 2)}, {"IDAT", ValidIdat()}, {"IEND", {}}}; }

ByteVector WithFlippedCrc() {
    ByteVector file = Build(Valid());
    file[8 + 8 + 13] ^= 0x01;  // the IHDR's CRC
    return file;
}

ByteVector WithLength(std::uint32_t length) {
    ByteVector file = Signature();
    PutBE32(file, length);
    file.insert(file.end(), {'I', 'H', 'D', 'R'});
    file.resize(file.size() + 20, 0);
    return file;
}

ByteVector Truncated(std::size_t drop) {
    ByteVector file = Build(Valid());
    file.resize(file.size() - drop);
    return file;
}

ByteVector Appended(ByteVector tail) {
    ByteVector file = Build(Valid());
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

ByteVector StreamWithTrailingBytes() {
    ByteVector z = ValidIdat();
    z.push_back(0x00);
    return Build({{"IHDR", Header(2, 2)}, {"IDAT", z}, {"IEND", {}}});
}

ByteVector CutStream() {
    ByteVector z = ValidIdat();
    z.resize(z.size() / 2);
    return Build({{"IHDR", Header(2, 2)}, {"IDAT", z}, {"IEND", {}}});
}

ByteVector WithoutAdler() {
    ByteVector z = ValidIdat();
    z.resize(z.size() - 4);  // every row is there, the stream's end is not
    return Build({{"IHDR", Header(2, 2)}, {"IDAT", z}, {"IEND", {}}});
}

TEST(PngDecoder, RejectsMalformedFiles) {
    struct Case {
        const char* name;
        ByteVector file;
        Error expected;
    };
    const ByteVector z = ValidIdat();
    const ByteVector splitA(z.begin(), z.begin() + z.size() / 2), splitB(z.begin() + z.size() / 2, z.end());
    ByteVector badZlib = z;
    badZlib[0] = 0x00;  // not a deflate header
    const Case cases[] = {
        {"empty file", {}, Error::BadSignature},
        {"signature only", Signature(), Error::Truncated},
        {"wrong signature", [] { ByteVector f = Build(Valid()); f[1] = 'Q'; return f; }(), Error::BadSignature},
        {"CRC mismatch", WithFlippedCrc(), Error::CrcMismatch},
        {"chunk length above 2^31-1", WithLength(0x80000000u), Error::BadChunkLength},
        {"chunk longer than the file", WithLength(1000), Error::Truncated},
        {"IHDR of 12 bytes", Build({{"IHDR", ByteVector(12)}, {"IEND", {}}}), Error::BadChunkLength},
        {"first chunk not IHDR", Build({{"gAMA", Be32(45455)}, {"IHDR", Header(2, 2)}, {"IDAT", z}, {"IEND", {}}}),
         Error::MissingHeader},
        {"second IHDR", Build({{"IHDR", Header(2, 2)}, {"IHDR", Header(2, 2)}, {"IDAT", z}, {"IEND", {}}}),
         Error::DuplicateHeader},
        {"width 0", Build({{"IHDR", Header(0, 2)}, {"IDAT", z}, {"IEND", {}}}), Error::BadSize},
        {"height 0", Build({{"IHDR", Header(2, 0)}, {"IDAT", z}, {"IEND", {}}}), Error::BadSize},
        {"width above the limit", Build({{"IHDR", Header(kMaxSide + 1, 1)}, {"IDAT", z}, {"IEND", {}}}),
         Error::BadSize},
        {"width 2^32-1", Build({{"IHDR", Header(0xFFFFFFFFu, 0xFFFFFFFFu)}, {"IDAT", z}, {"IEND", {}}}),
         Error::BadSize},
        {"RGB colour type", Build({{"IHDR", Header(2, 2, 8, 2)}, {"IDAT", z}, {"IEND", {}}}), Error::Unsupported},
        {"palette colour type", Build({{"IHDR", Header(2, 2, 8, 3)}, {"IDAT", z}, {"IEND", {}}}),
         Error::Unsupported},
        {"16-bit depth", Build({{"IHDR", Header(2, 2, 16)}, {"IDAT", z}, {"IEND", {}}}), Error::Unsupported},
        {"compression method 1", Build({{"IHDR", Header(2, 2, 8, 6, 1)}, {"IDAT", z}, {"IEND", {}}}),
         Error::Unsupported},
        {"filter method 1", Build({{"IHDR", Header(2, 2, 8, 6, 0, 1)}, {"IDAT", z}, {"IEND", {}}}),
         Error::Unsupported},
        {"interlace method 2", Build({{"IHDR", Header(2, 2, 8, 6, 0, 0, 2)}, {"IDAT", z}, {"IEND", {}}}),
         Error::Unsupported},
        {"unknown critical chunk", Build({{"IHDR", Header(2, 2)}, {"ABCD", {}}, {"IDAT", z}, {"IEND", {}}}),
         Error::UnknownCritical},
        {"gAMA of 0", Build({{"IHDR", Header(2, 2)}, {"gAMA", Be32(0)}, {"IDAT", z}, {"IEND", {}}}),
         Error::BadGamma},
        {"two gAMA", Build({{"IHDR", Header(2, 2)}, {"gAMA", Be32(45455)}, {"gAMA", Be32(45455)}, {"IDAT", z},
                            {"IEND", {}}}),
         Error::BadGamma},
        {"gAMA after IDAT", Build({{"IHDR", Header(2, 2)}, {"IDAT", z}, {"gAMA", Be32(45455)}, {"IEND", {}}}),
         Error::BadGamma},
        {"gAMA of 3 bytes", Build({{"IHDR", Header(2, 2)}, {"gAMA", ByteVector(3)}, {"IDAT", z}, {"IEND", {}}}),
         Error::BadChunkLength},
        {"no IDAT", Build({{"IHDR", Header(2, 2)}, {"IEND", {}}}), Error::MissingData},
        {"IDAT split by another chunk",
         Build({{"IHDR", Header(2, 2)}, {"IDAT", splitA}, {"tEXt", {'a', 0, 'b'}}, {"IDAT", splitB}, {"IEND", {}}}),
         Error::SplitData},
        {"damaged zlib header", Build({{"IHDR", Header(2, 2)}, {"IDAT", badZlib}, {"IEND", {}}}),
         Error::BadCompression},
        {"zlib stream cut in half", CutStream(), Error::TruncatedData},
        {"zlib stream without its checksum", WithoutAdler(), Error::TruncatedData},
        {"one row missing", Build({{"IHDR", Header(2, 3)}, {"IDAT", z}, {"IEND", {}}}), Error::TruncatedData},
        {"one byte more than the rows",
         Build({{"IHDR", Header(2, 2)}, {"IDAT", Compress(TwoByTwoRows(0, 1))}, {"IEND", {}}}), Error::ExcessData},
        {"bytes after the zlib stream", StreamWithTrailingBytes(), Error::ExcessData},
        {"IDAT after the stream ended",
         Build({{"IHDR", Header(2, 2)}, {"IDAT", z}, {"IDAT", {0x00}}, {"IEND", {}}}), Error::ExcessData},
        {"filter type 5", Build({{"IHDR", Header(2, 2)}, {"IDAT", Compress(TwoByTwoRows(5))}, {"IEND", {}}}),
         Error::BadFilter},
        {"filter type 255", Build({{"IHDR", Header(2, 2)}, {"IDAT", Compress(TwoByTwoRows(255))}, {"IEND", {}}}),
         Error::BadFilter},
        {"filter type 5 and a row missing",
         Build({{"IHDR", Header(2, 3)}, {"IDAT", Compress(TwoByTwoRows(5))}, {"IEND", {}}}), Error::TruncatedData},
        {"IEND missing", Truncated(12), Error::Truncated},
        {"IEND cut short", Truncated(3), Error::Truncated},
        {"IEND with data", Build({{"IHDR", Header(2, 2)}, {"IDAT", z}, {"IEND", {1}}}), Error::BadChunkLength},
        {"bytes after IEND", Appended({0x00}), Error::DataAfterEnd},
        {"a chunk after IEND", Appended([] { ByteVector c; AppendChunk(c, {"tEXt", {'a', 0}}); return c; }()),
         Error::DataAfterEnd},
        // The largest accepted size with a few bytes of data: refused for the
        // missing rows, without reserving a gigabyte first.
        {"16384 x 16384 with 2 rows of data",
         Build({{"IHDR", Header(kMaxSide, kMaxSide)}, {"IDAT", z}, {"IEND", {}}}), Error::TruncatedData},
        {"16384 x 16384 Adam7 with 2 rows of data",
         Build({{"IHDR", Header(kMaxSide, kMaxSide, 8, 6, 0, 0, 1)}, {"IDAT", z}, {"IEND", {}}}),
         Error::TruncatedData},
    };
    // Decoding into the caller's memory refuses alike, and never asks for
    // more pixels than the file's data could fill (DEFLATE: 1032 to 1).
    struct Recorder final : PixelTarget {
        std::uint64_t asked = 0;
        std::vector<std::uint8_t> pixels;
        std::span<std::uint8_t> Place(std::uint32_t width, std::uint32_t height) override {
            asked = std::uint64_t{width} * height * 4;
            pixels.resize(static_cast<std::size_t>(std::min<std::uint64_t>(asked, 1u << 20)));
            return pixels.size() == asked ? std::span<std::uint8_t>(pixels) : std::span<std::uint8_t>();
        }
    };
    for (const Case& c : cases) {
        const DecodeResult result = Decode(c.file);
        EXPECT_EQ(result.error, c.expected)
            << c.name << ": got \"" << Describe(result.error) << "\", expected \"" << Describe(c.expected) << "\"";
        EXPECT_TRUE(result.image.rgba.empty()) << c.name;
        Recorder into;
        EXPECT_EQ(DecodeInto(c.file, into), c.expected) << c.name;
        EXPECT_LE(into.asked, 1032u * c.file.size()) << c.name;
    }
}

// The well-formed counterpart of the table, so a refusal above is for the
// one thing each case breaks.
TEST(PngDecoder, AcceptsTheTablesBaseFileAndUnknownAncillaryChunks) {
    std::vector<Chunk> chunks = Valid();
    chunks.insert(chunks.begin() + 1, {"zzZz", {1, 2, 3}});
    chunks.insert(chunks.begin() + 1, {"PLTE", {0, 0, 0}});
    for (const auto& file : {Build(Valid()), Build(chunks)}) {
        const DecodeResult result = Decode(file);
        ASSERT_TRUE(result.ok()) << Describe(result.error);
        EXPECT_EQ(result.image.width, 2u);
        EXPECT_EQ(result.image.height, 2u);
        const ByteVector expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        EXPECT_EQ(result.image.rgba, expected);
    }
}

// Every prefix of a valid file is refused, never read past.
TEST(PngDecoder, RejectsEveryTruncationOfAValidFile) {
    const ByteVector file = ReadFile(kFixtures + "/adam7.png");
    ASSERT_FALSE(file.empty());
    for (std::size_t size = 0; size < file.size(); ++size) {
        const ByteVector prefix(file.begin(), file.begin() + size);
        EXPECT_FALSE(Decode(prefix).ok()) << "prefix of " << size << " bytes";
    }
}

}  // namespace
}  // namespace brunvald::png
