#include "ui/png/png_decoder.h"

#include "ui/png/inflate.h"

#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

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

// Without branches: which of the three wins depends on the picture's content
// and would be guessed wrong a good part of the time.
[[gnu::always_inline]] inline std::uint8_t Paeth(int a, int b, int c) noexcept {
    // The distances of p = a + b - c from a, b and c, without p itself.
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    const int bOrC = pb <= pc ? b : c;
    return static_cast<std::uint8_t>((pa <= pb) & (pa <= pc) ? a : bOrC);
}

// Undoes one row's filter in place. `previous` is the pass's row above,
// already unfiltered, or zeros for its first row; `length` is a whole number
// of pixels. The pixel to the left, and the one above it, are carried along
// channel by channel rather than read back from the row: each read would wait
// for the store just made.
bool Unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* previous, std::size_t length) noexcept {
    constexpr std::size_t bpp = kBytesPerPixel;
    // Left of the first pixel, and above that, everything reads as zero.
    std::uint8_t left[bpp] = {}, upLeft[bpp] = {};
    switch (filter) {
    case 0:  // None
        return true;
    case 1:  // Sub
        for (std::size_t i = 0; i < length; i += bpp)
#pragma GCC unroll 4
            for (std::size_t k = 0; k < bpp; ++k) row[i + k] = left[k] = static_cast<std::uint8_t>(row[i + k] + left[k]);
        return true;
    case 2:  // Up
        for (std::size_t i = 0; i < length; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
        return true;
    case 3:  // Average
        for (std::size_t i = 0; i < length; i += bpp)
#pragma GCC unroll 4
            for (std::size_t k = 0; k < bpp; ++k)
                row[i + k] = left[k] =
                    static_cast<std::uint8_t>(row[i + k] + ((unsigned{left[k]} + previous[i + k]) >> 1));
        return true;
    case 4:  // Paeth
        for (std::size_t i = 0; i < length; i += bpp)
#pragma GCC unroll 4
            for (std::size_t k = 0; k < bpp; ++k) {
                const std::uint8_t up = previous[i + k];
                row[i + k] = left[k] = static_cast<std::uint8_t>(row[i + k] + Paeth(left[k], up, upLeft[k]));
                upLeft[k] = up;
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

// Puts the inflated rows in place as they arrive: each row's filter undone
// against the row above it in the same pass, its pixels written where its
// pass puts them. Only two rows are held, never the whole filtered image. A
// bad filter is remembered and the rest ignored, so that the caller can rank
// it below the stream's own faults, as when the rows were read after it.
class RowAssembler final : public InflateSink {
public:
    RowAssembler(const Header& header, std::span<std::uint8_t> rgba)
        : header_(header), rgba_(rgba), passes_(header.interlaced ? kAdam7 : &kWhole),
          passCount_(header.interlaced ? 7 : 1) {
        StartPass(0);
    }

    void Take(std::span<const std::uint8_t> bytes) override {
        received_ += bytes.size();
        while (!bytes.empty() && pass_ < passCount_ && error_ == Error::None) {
            const std::size_t n = std::min(bytes.size(), current_.size() - filled_);
            std::memcpy(current_.data() + filled_, bytes.data(), n);
            filled_ += n;
            bytes = bytes.subspan(n);
            if (filled_ == current_.size()) FinishRow();
        }
    }

    // Every byte the rows need arrived (the inflation refuses more).
    bool complete() const noexcept { return received_ == ExpectedBytes(header_); }
    Error error() const noexcept { return error_; }

private:
    // The pass `p` or the next one that has pixels.
    void StartPass(int p) {
        for (pass_ = p; pass_ < passCount_; ++pass_) {
            width_ = PassExtent(header_.width, passes_[pass_].x0, passes_[pass_].dx);
            height_ = PassExtent(header_.height, passes_[pass_].y0, passes_[pass_].dy);
            if (width_ != 0 && height_ != 0) break;
        }
        row_ = 0;
        filled_ = 0;
        // Above a pass's first row lies a row of zeros.
        const std::size_t rowBytes = 1 + std::size_t{width_} * kBytesPerPixel;
        current_.resize(rowBytes);
        previous_.assign(rowBytes, 0);
    }

    void FinishRow() {
        const Pass& pass = passes_[pass_];
        const std::size_t rowBytes = std::size_t{width_} * kBytesPerPixel;
        std::uint8_t* row = current_.data() + 1;
        if (!Unfilter(current_[0], row, previous_.data() + 1, rowBytes)) {
            error_ = Error::BadFilter;
            return;
        }
        const std::size_t y = pass.y0 + std::size_t{row_} * pass.dy;
        std::uint8_t* target = rgba_.data() + (y * header_.width + pass.x0) * kBytesPerPixel;
        const std::size_t step = std::size_t{pass.dx} * kBytesPerPixel;
        for (std::uint32_t i = 0; i < width_; ++i, target += step)
            std::memcpy(target, row + std::size_t{i} * kBytesPerPixel, kBytesPerPixel);
        current_.swap(previous_);
        filled_ = 0;
        if (++row_ == height_) StartPass(pass_ + 1);
    }

    const Header& header_;
    std::span<std::uint8_t> rgba_;
    const Pass* passes_;
    int passCount_;
    int pass_ = 0;
    std::uint32_t width_ = 0, height_ = 0, row_ = 0;
    std::vector<std::uint8_t> current_, previous_;  // the filter byte, then the row
    std::size_t filled_ = 0;
    std::uint64_t received_ = 0;
    Error error_ = Error::None;
};

// Counts the bytes and drops them: the stream's verdict alone.
class Discard final : public InflateSink {
public:
    void Take(std::span<const std::uint8_t>) override {}
};

Error FromInflate(InflateStatus status) noexcept {
    switch (status) {
    case InflateStatus::Done: return Error::None;
    case InflateStatus::Damaged: return Error::BadCompression;
    case InflateStatus::Truncated: return Error::TruncatedData;
    case InflateStatus::TooLong:
    case InflateStatus::TrailingData: return Error::ExcessData;
    }
    return Error::BadCompression;
}

Error DecodeUnchecked(std::span<const std::uint8_t> file, PixelTarget& target) {
    if (file.size() < sizeof kSignature || std::memcmp(file.data(), kSignature, sizeof kSignature) != 0)
        return Error::BadSignature;

    Header header;
    bool haveHeader = false;
    bool haveGamma = false;
    std::uint32_t gamma = kNeutralGamma;
    enum { BeforeData, InData, AfterData } dataState = BeforeData;
    // The IDAT chunks' data, one zlib stream in pieces, decompressed where
    // it lies once all of it is known.
    std::vector<std::span<const std::uint8_t>> compressed;
    std::uint64_t compressedSize = 0;

    std::size_t pos = sizeof kSignature;
    for (;;) {
        const std::size_t remaining = file.size() - pos;
        if (remaining < 12) return Error::Truncated;  // no room for IEND
        const std::uint8_t* chunk = file.data() + pos;
        const std::uint32_t length = ReadBE32(chunk);
        if (length > kMaxChunkLength) return Error::BadChunkLength;
        if (length > remaining - 12) return Error::Truncated;
        const std::uint8_t* type = chunk + 4;
        const std::uint8_t* data = chunk + 8;
        const std::uint32_t storedCrc = ReadBE32(data + length);
        if (Crc32(0, type, std::size_t{4} + length) != storedCrc) return Error::CrcMismatch;
        pos += std::size_t{12} + length;

        const bool isHeader = IsType(type, "IHDR");
        if (!haveHeader && !isHeader) return Error::MissingHeader;
        const bool isData = IsType(type, "IDAT");
        if (dataState == InData && !isData) dataState = AfterData;

        if (isHeader) {
            if (haveHeader) return Error::DuplicateHeader;
            if (length != 13) return Error::BadChunkLength;
            if (const Error e = ParseHeader(data, header); e != Error::None) return e;
            haveHeader = true;
        } else if (isData) {
            if (dataState == AfterData) return Error::SplitData;
            dataState = InData;
            compressed.emplace_back(data, length);
            compressedSize += length;
        } else if (IsType(type, "IEND")) {
            if (length != 0) return Error::BadChunkLength;
            if (pos != file.size()) return Error::DataAfterEnd;
            break;
        } else if (IsType(type, "gAMA")) {
            if (length != 4) return Error::BadChunkLength;
            if (haveGamma || dataState != BeforeData) return Error::BadGamma;
            gamma = ReadBE32(data);
            if (gamma == 0) return Error::BadGamma;
            haveGamma = true;
        } else if (IsType(type, "PLTE")) {
            // A suggested palette is allowed for true colour and means nothing here.
        } else if ((type[0] & 0x20) == 0) {
            // A critical chunk we do not understand: the image cannot be trusted.
            return Error::UnknownCritical;
        }
        // Other ancillary chunks (pHYs, tIME, text, ...) do not change the pixels.
    }

    if (dataState == BeforeData) return Error::MissingData;
    const std::uint64_t expected = ExpectedBytes(header);
    // DEFLATE expands by at most 1032 to 1: data that cannot fill the rows
    // gets no pixels made for it, only the stream's verdict.
    if (expected > std::uint64_t{1032} * compressedSize) {
        Discard discard;
        const Error e = FromInflate(Inflate(compressed, expected, discard));
        return e != Error::None ? e : Error::TruncatedData;
    }
    const std::span<std::uint8_t> rgba = target.Place(header.width, header.height);
    if (rgba.size() != std::size_t{header.width} * header.height * kBytesPerPixel) return Error::OutOfMemory;
    RowAssembler rows(header, rgba);
    if (const Error e = FromInflate(Inflate(compressed, expected, rows)); e != Error::None) return e;
    // Excess output was refused as it arrived; anything short is truncated,
    // whatever its rows held.
    if (!rows.complete()) return Error::TruncatedData;
    if (rows.error() != Error::None) return rows.error();
    if (gamma != kNeutralGamma) {
        const auto table = GammaTable(gamma);
        std::uint8_t* p = rgba.data();
        for (std::size_t i = 0, n = rgba.size(); i < n; i += kBytesPerPixel) {
            p[i] = table[p[i]];
            p[i + 1] = table[p[i + 1]];
            p[i + 2] = table[p[i + 2]];
        }
    }
    return Error::None;
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

Error DecodeInto(std::span<const std::uint8_t> file, PixelTarget& target) {
    try {
        return DecodeUnchecked(file, target);
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
}

DecodeResult Decode(std::span<const std::uint8_t> file) {
    struct IntoImage final : PixelTarget {
        Image image;
        std::span<std::uint8_t> Place(std::uint32_t width, std::uint32_t height) override {
            image.width = width;
            image.height = height;
            image.rgba.resize(std::size_t{width} * height * kBytesPerPixel);
            return image.rgba;
        }
    } into;
    DecodeResult result;
    result.error = DecodeInto(file, into);
    if (result.ok()) result.image = std::move(into.image);
    return result;
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
