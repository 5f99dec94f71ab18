#include "ui/png/png_decoder.h"

#include "ui/png/inflate.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace brunvald::png {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr std::uint32_t kBytesPerPixel = 4;  // RGBA, 8 bits each
constexpr std::uint32_t kNeutralGamma = 45455;

std::uint32_t ReadBE32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

bool IsType(const std::uint8_t* type, const char (&name)[5]) noexcept {
    return std::memcmp(type, name, 4) == 0;
}

// Adam7: where each pass starts and how far it steps, in columns and rows.
struct Pass {
    std::uint32_t x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole = {0, 0, 1, 1};

std::uint32_t PassExtent(std::uint32_t size, std::uint32_t start, std::uint32_t step) noexcept {
    return size > start ? (size - start + step - 1) / step : 0;
}

// Bytes of filtered data a pass needs: one filter byte and the pixels per row.
// An empty pass has no rows and so no filter bytes.
std::uint64_t PassBytes(std::uint32_t width, std::uint32_t height, const Pass& pass) noexcept {
    const std::uint64_t w = PassExtent(width, pass.x0, pass.dx);
    const std::uint64_t h = PassExtent(height, pass.y0, pass.dy);
    if (w == 0 || h == 0) return 0;
    return h * (1 + w * kBytesPerPixel);
}

std::uint8_t Paeth(std::uint8_t a, std::uint8_t b, std::uint8_t c) noexcept {
    const int p = int{a} + int{b} - int{c};
    const int pa = std::abs(p - int{a});
    const int pb = std::abs(p - int{b});
    const int pc = std::abs(p - int{c});
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

// Undoes one row's filter in place. `previous` is the pass's row above (already
// unfiltered) or null for its first row, where "above" reads as zero.
bool Unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* previous,
              std::size_t length) noexcept {
    constexpr std::size_t bpp = kBytesPerPixel;
    switch (filter) {
    case 0:  // None
        return true;
    case 1:  // Sub
        for (std::size_t i = bpp; i < length; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        return true;
    case 2:  // Up
        if (previous)
            for (std::size_t i = 0; i < length; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
        return true;
    case 3:  // Average
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned left = i >= bpp ? row[i - bpp] : 0;
            const unsigned up = previous ? previous[i] : 0;
            row[i] = static_cast<std::uint8_t>(row[i] + ((left + up) >> 1));
        }
        return true;
    case 4:  // Paeth
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t left = i >= bpp ? row[i - bpp] : 0;
            const std::uint8_t up = previous ? previous[i] : 0;
            const std::uint8_t upLeft = (previous && i >= bpp) ? previous[i - bpp] : 0;
            row[i] = static_cast<std::uint8_t>(row[i] + Paeth(left, up, upLeft));
        }
        return true;
    default:
        return false;
    }
}

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool interlaced = false;
};

// The filtered bytes the whole image needs, over all its passes.
std::uint64_t ExpectedBytes(const Header& header) noexcept {
    if (!header.interlaced) return PassBytes(header.width, header.height, kWhole);
    std::uint64_t total = 0;
    for (const Pass& pass : kAdam7) total += PassBytes(header.width, header.height, pass);
    return total;
}

Error ParseHeader(const std::uint8_t* data, Header& header) noexcept {
    header.width = ReadBE32(data);
    header.height = ReadBE32(data + 4);
    const std::uint8_t bitDepth = data[8], colourType = data[9], compression = data[10],
                       filterMethod = data[11], interlace = data[12];
    if (header.width == 0 || header.height == 0 || header.width > kMaxSide || header.height > kMaxSide)
        return Error::BadSize;
    if (bitDepth != 8 || colourType != 6 || compression != 0 || filterMethod != 0 || interlace > 1)
        return Error::Unsupported;
    header.interlaced = interlace == 1;
    return Error::None;
}

// Unfilters the collected data pass by pass and puts each pixel in its place.
Error Reconstruct(const Header& header, std::vector<std::uint8_t>& raw, Image& image) {
    image.width = header.width;
    image.height = header.height;
    image.rgba.assign(std::size_t{header.width} * header.height * kBytesPerPixel, 0);

    const Pass* passes = header.interlaced ? kAdam7 : &kWhole;
    const int passCount = header.interlaced ? 7 : 1;
    std::size_t offset = 0;
    for (int p = 0; p < passCount; ++p) {
        const Pass& pass = passes[p];
        const std::uint32_t w = PassExtent(header.width, pass.x0, pass.dx);
        const std::uint32_t h = PassExtent(header.height, pass.y0, pass.dy);
        if (w == 0 || h == 0) continue;
        const std::size_t rowBytes = std::size_t{w} * kBytesPerPixel;
        const std::uint8_t* previous = nullptr;
        for (std::uint32_t r = 0; r < h; ++r) {
            const std::uint8_t filter = raw[offset];
            std::uint8_t* row = raw.data() + offset + 1;
            if (!Unfilter(filter, row, previous, rowBytes)) return Error::BadFilter;
            const std::size_t y = pass.y0 + std::size_t{r} * pass.dy;
            for (std::uint32_t i = 0; i < w; ++i) {
                const std::size_t x = pass.x0 + std::size_t{i} * pass.dx;
                std::memcpy(&image.rgba[(y * header.width + x) * kBytesPerPixel], row + std::size_t{i} * kBytesPerPixel,
                            kBytesPerPixel);
            }
            previous = row;
            offset += 1 + rowBytes;
        }
    }
    return Error::None;
}

DecodeResult Fail(Error error) {
    DecodeResult result;
    result.error = error;
    return result;
}

DecodeResult DecodeUnchecked(std::span<const std::uint8_t> file) {
    if (file.size() < sizeof kSignature || std::memcmp(file.data(), kSignature, sizeof kSignature) != 0)
        return Fail(Error::BadSignature);

    Header header;
    bool haveHeader = false;
    bool haveGamma = false;
    std::uint32_t gamma = kNeutralGamma;
    enum { BeforeData, InData, AfterData } dataState = BeforeData;
    // The IDAT chunks' data, one zlib stream, decompressed once it is whole.
    std::vector<std::uint8_t> compressed;

    std::size_t pos = sizeof kSignature;
    for (;;) {
        const std::size_t remaining = file.size() - pos;
        if (remaining < 12) return Fail(Error::Truncated);  // no room for IEND
        const std::uint8_t* chunk = file.data() + pos;
        const std::uint32_t length = ReadBE32(chunk);
        if (length > kMaxChunkLength) return Fail(Error::BadChunkLength);
        if (length > remaining - 12) return Fail(Error::Truncated);
        const std::uint8_t* type = chunk + 4;
        const std::uint8_t* data = chunk + 8;
        const std::uint32_t storedCrc = ReadBE32(data + length);
        if (Crc32(0, type, std::size_t{4} + length) != storedCrc) return Fail(Error::CrcMismatch);
        pos += std::size_t{12} + length;

        const bool isHeader = IsType(type, "IHDR");
        if (!haveHeader && !isHeader) return Fail(Error::MissingHeader);
        const bool isData = IsType(type, "IDAT");
        if (dataState == InData && !isData) dataState = AfterData;

        if (isHeader) {
            if (haveHeader) return Fail(Error::DuplicateHeader);
            if (length != 13) return Fail(Error::BadChunkLength);
            if (const Error e = ParseHeader(data, header); e != Error::None) return Fail(e);
            haveHeader = true;
        } else if (isData) {
            if (dataState == AfterData) return Fail(Error::SplitData);
            dataState = InData;
            compressed.insert(compressed.end(), data, data + length);
        } else if (IsType(type, "IEND")) {
            if (length != 0) return Fail(Error::BadChunkLength);
            if (pos != file.size()) return Fail(Error::DataAfterEnd);
            break;
        } else if (IsType(type, "gAMA")) {
            if (length != 4) return Fail(Error::BadChunkLength);
            if (haveGamma || dataState != BeforeData) return Fail(Error::BadGamma);
            gamma = ReadBE32(data);
            if (gamma == 0) return Fail(Error::BadGamma);
            haveGamma = true;
        } else if (IsType(type, "PLTE")) {
            // A suggested palette is allowed for true colour and means nothing here.
        } else if ((type[0] & 0x20) == 0) {
            // A critical chunk we do not understand: the image cannot be trusted.
            return Fail(Error::UnknownCritical);
        }
        // Other ancillary chunks (pHYs, tIME, text, ...) do not change the pixels.
    }

    if (dataState == BeforeData) return Fail(Error::MissingData);
    std::vector<std::uint8_t> raw;
    switch (Inflate(compressed, ExpectedBytes(header), raw)) {
    case InflateStatus::Done: break;
    case InflateStatus::Damaged: return Fail(Error::BadCompression);
    case InflateStatus::Truncated: return Fail(Error::TruncatedData);
    case InflateStatus::TooLong:
    case InflateStatus::TrailingData: return Fail(Error::ExcessData);
    }
    compressed = {};
    // Excess output was refused as it arrived; anything short is truncated.
    if (raw.size() != ExpectedBytes(header)) return Fail(Error::TruncatedData);

    DecodeResult result;
    if (const Error e = Reconstruct(header, raw, result.image); e != Error::None) return Fail(e);
    if (gamma != kNeutralGamma) {
        const auto table = GammaTable(gamma);
        std::uint8_t* p = result.image.rgba.data();
        for (std::size_t i = 0, n = result.image.rgba.size(); i < n; i += kBytesPerPixel) {
            p[i] = table[p[i]];
            p[i + 1] = table[p[i + 1]];
            p[i + 2] = table[p[i + 2]];
        }
    }
    return result;
}

}  // namespace

std::array<std::uint8_t, 256> GammaTable(std::uint32_t gammaTimes100000) {
    std::array<std::uint8_t, 256> table{};
    const double g = gammaTimes100000 / 100000.0;
    const double exponent = 1.0 / (2.2 * g);
    for (int v = 0; v < 256; ++v) {
        const double value = std::round(255.0 * std::pow(v / 255.0, exponent));
        table[v] = static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
    return table;
}

DecodeResult Decode(std::span<const std::uint8_t> file) {
    try {
        return DecodeUnchecked(file);
    } catch (const std::bad_alloc&) {
        return Fail(Error::OutOfMemory);
    }
}

const char* Describe(Error error) noexcept {
    switch (error) {
    case Error::None: return "no error";
    case Error::BadSignature: return "not a PNG file (bad signature)";
    case Error::Truncated: return "file truncated inside a chunk or before IEND";
    case Error::BadChunkLength: return "chunk length out of range or wrong for its type";
    case Error::CrcMismatch: return "chunk CRC mismatch";
    case Error::MissingHeader: return "IHDR is not the first chunk";
    case Error::DuplicateHeader: return "more than one IHDR";
    case Error::BadSize: return "width or height is 0 or too large";
    case Error::Unsupported: return "only 8-bit RGBA, interlace 0 or Adam7, is supported";
    case Error::UnknownCritical: return "unknown critical chunk";
    case Error::BadGamma: return "invalid, repeated or misplaced gAMA";
    case Error::MissingData: return "no IDAT chunk";
    case Error::SplitData: return "IDAT chunks are not contiguous";
    case Error::BadCompression: return "damaged zlib stream";
    case Error::TruncatedData: return "image data ends before the last row";
    case Error::ExcessData: return "more image data than the rows need";
    case Error::BadFilter: return "row filter type above 4";
    case Error::DataAfterEnd: return "bytes after IEND";
    case Error::OutOfMemory: return "out of memory";
    }
    return "unknown error";
}

}  // namespace brunvald::png
