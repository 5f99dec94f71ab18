// A small PNG decoder for the window's picture, over our own inflate
// (inflate.h).
//
// It reads exactly what the window needs and nothing more: 8-bit RGBA
// (colour type 6), not interlaced or Adam7, the five row filters, and the gAMA
// chunk's table rule. Anything else, and every malformed file, ends in an
// error value, never in a read or write outside the buffers. The input is the
// program's own resource, but the decoder is written as if it came from
// anywhere: it is fuzzed.
//
// Portable: no Windows header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace brunvald::png {

// The largest picture accepted, in each direction. Far above what the window
// needs, and small enough that width × height × 4 fits in 32 bits.
inline constexpr std::uint32_t kMaxSide = 16384;

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Row-major from the top row, 4 bytes per pixel: red, green, blue, alpha.
    std::vector<std::uint8_t> rgba;
};

enum class Error {
    None,
    BadSignature,       // not a PNG file
    Truncated,          // the file ends inside a chunk, or before IEND
    BadChunkLength,     // a length above 2^31 − 1 or wrong for its chunk type
    CrcMismatch,        // a chunk's CRC does not match its type and data
    MissingHeader,      // IHDR is not the first chunk
    DuplicateHeader,    // a second IHDR
    BadSize,            // width or height 0 or above kMaxSide
    Unsupported,        // another colour type, bit depth, compression, filter method or interlace
    UnknownCritical,    // a critical chunk this decoder does not know
    BadGamma,           // gAMA of 0, twice, or after the image data
    MissingData,        // no IDAT before IEND
    SplitData,          // IDAT chunks with another chunk between them
    BadCompression,     // the zlib stream is damaged
    TruncatedData,      // the image data ends before the last row
    ExcessData,         // more image data than the rows need, or data after the zlib stream
    BadFilter,          // a row's filter type above 4
    DataAfterEnd,       // bytes after IEND
    OutOfMemory,
};

struct DecodeResult {
    Error error = Error::None;
    Image image;  // empty unless error is None

    bool ok() const noexcept { return error == Error::None; }
};

// Decodes a whole PNG file held in memory.
DecodeResult Decode(std::span<const std::uint8_t> file);

// Where DecodeInto puts the pixels. Asked once, when the picture's size is
// known and its data can fill it: returns width × height × 4 bytes for the
// rows (red, green, blue, alpha from the top row), or an empty span when it
// has no room, which ends the decode with OutOfMemory.
class PixelTarget {
public:
    virtual std::span<std::uint8_t> Place(std::uint32_t width, std::uint32_t height) = 0;

protected:
    ~PixelTarget() = default;
};

// Decodes straight into the caller's memory, without an image of its own.
// After an error the target's bytes mean nothing.
Error DecodeInto(std::span<const std::uint8_t> file, PixelTarget& target);

// A short English description of the error, for test output and logs of tools.
const char* Describe(Error error) noexcept;

// The gAMA rule: each stored colour value v becomes
// 255 × (v / 255)^(1 / (2.2 × g)), to the nearest whole number, where g is the
// chunk's value / 100,000. Alpha is never corrected.
std::array<std::uint8_t, 256> GammaTable(std::uint32_t gammaTimes100000);

}  // namespace brunvald::png
