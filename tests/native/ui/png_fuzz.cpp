// libFuzzer entry for the PNG decoder: any bytes must give a result or an
// error, never a read or write out of bounds, a leak or undefined behaviour.
// Seeds: the fixtures of make_png_fixtures.py and ui/assets/picture.png.
//
// Odd inputs are decoded as they are; even ones get their chunks' CRCs
// repaired first, so that mutations reach past the CRC check into the chunk
// logic, inflate and the filters.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/png/png_decoder.h"

namespace {

std::vector<std::uint8_t> WithRepairedCrcs(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    std::size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const std::uint32_t length = (std::uint32_t{file[pos]} << 24) | (std::uint32_t{file[pos + 1]} << 16) |
                                     (std::uint32_t{file[pos + 2]} << 8) | file[pos + 3];
        if (length > file.size() - pos - 12) break;
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &file[pos + 4], 4 + length));
        const std::size_t at = pos + 8 + length;
        file[at] = static_cast<std::uint8_t>(crc >> 24);
        file[at + 1] = static_cast<std::uint8_t>(crc >> 16);
        file[at + 2] = static_cast<std::uint8_t>(crc >> 8);
        file[at + 3] = static_cast<std::uint8_t>(crc);
        pos = at + 4;
    }
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> repaired;
    std::span<const std::uint8_t> input(data, size);
    if (size % 2 == 0) {
        repaired = WithRepairedCrcs(data, size);
        input = repaired;
    }
    const brunvald::png::DecodeResult result = brunvald::png::Decode(input);
    if (result.ok()) {
        // A decoded image always holds exactly its pixels.
        const auto& image = result.image;
        if (image.rgba.size() != std::size_t{image.width} * image.height * 4) __builtin_trap();
    }
    return 0;
}
