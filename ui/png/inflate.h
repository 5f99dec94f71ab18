// Decompression of a zlib stream (the two-byte header, DEFLATE blocks, the
// Adler-32 checksum) held in memory, whole or in pieces: what a PNG's image
// data is.
//
// Small on purpose: the installer carries one picture, and a general zlib
// library is several times the size of this code. Every malformed stream ends
// in a status, never in a read outside the input or a write beyond
// `maxOutput` bytes. The output is handed on in pieces as it is produced,
// through a window of 96 KB, so that a stream that claims much and holds
// little costs little, and a caller that uses the bytes as they come (the PNG
// rows) never holds the whole output. Portable: no Windows header.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace brunvald::png {

enum class InflateStatus {
    Done,          // the stream ended, its checksum matched, no byte follows it
    Damaged,       // a header, block, code or distance that is not valid, or a wrong checksum
    Truncated,     // the input ends inside the stream
    TooLong,       // the stream decodes to more than maxOutput bytes
    TrailingData,  // bytes follow the end of the stream
};

// Receives the decoded bytes in order, in pieces of up to 64 KiB.
class InflateSink {
public:
    virtual void Take(std::span<const std::uint8_t> bytes) = 0;

protected:
    ~InflateSink() = default;
};

// Hands the decoded bytes to `out`. On any status but Done, `out` has
// received what was decoded up to the fault.
InflateStatus Inflate(std::span<const std::uint8_t> in, std::uint64_t maxOutput, InflateSink& out);

// The same for a stream held in pieces, one after the other (empty pieces
// allowed), read where they lie: a PNG's image data, split in chunks.
using Pieces = std::span<const std::span<const std::uint8_t>>;
InflateStatus Inflate(Pieces in, std::uint64_t maxOutput, InflateSink& out);

// The same, collected: replaces the content of `out` with the decoded bytes.
InflateStatus Inflate(std::span<const std::uint8_t> in, std::uint64_t maxOutput, std::vector<std::uint8_t>& out);

// The CRC-32 of PNG chunks and zlib's gzip format (polynomial 0xEDB88320),
// continued from `crc` (0 for a new one).
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length) noexcept;

}  // namespace brunvald::png
