// Helpers for the decoder tests: reading fixtures and building PNG files
// chunk by chunk with correct CRCs, so a test can break exactly one thing.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace brunvald::png::testing {

using ByteVector = std::vector<std::uint8_t>;

inline ByteVector ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void PutBE32(ByteVector& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

inline std::uint32_t GetBE32(const ByteVector& in, std::size_t at) {
    return (std::uint32_t{in[at]} << 24) | (std::uint32_t{in[at + 1]} << 16) | (std::uint32_t{in[at + 2]} << 8) |
           in[at + 3];
}

struct Chunk {
    std::string type;
    ByteVector data;
};

inline ByteVector Signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

inline void AppendChunk(ByteVector& out, const Chunk& c) {
    PutBE32(out, static_cast<std::uint32_t>(c.data.size()));
    ByteVector typed(c.type.begin(), c.type.end());
    typed.insert(typed.end(), c.data.begin(), c.data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBE32(out, static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

inline ByteVector Build(const std::vector<Chunk>& chunks) {
    ByteVector out = Signature();
    for (const Chunk& c : chunks) AppendChunk(out, c);
    return out;
}

inline ByteVector Header(std::uint32_t w, std::uint32_t h, std::uint8_t depth = 8, std::uint8_t colour = 6,
                         std::uint8_t compression = 0, std::uint8_t filter = 0, std::uint8_t interlace = 0) {
    ByteVector d;
    PutBE32(d, w);
    PutBE32(d, h);
    d.insert(d.end(), {depth, colour, compression, filter, interlace});
    return d;
}

inline ByteVector Compress(const ByteVector& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    ByteVector out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    out.resize(size);
    return out;
}

inline ByteVector Be32(std::uint32_t v) {
    ByteVector d;
    PutBE32(d, v);
    return d;
}

// The chunks of a well-formed file, in order.
inline std::vector<Chunk> SplitChunks(const ByteVector& file) {
    std::vector<Chunk> chunks;
    std::size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const std::uint32_t length = GetBE32(file, pos);
        Chunk c;
        c.type.assign(file.begin() + pos + 4, file.begin() + pos + 8);
        c.data.assign(file.begin() + pos + 8, file.begin() + pos + 8 + length);
        chunks.push_back(std::move(c));
        pos += 12 + length;
    }
    return chunks;
}

}  // namespace brunvald::png::testing
