#include "ui/png/inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace brunvald::png {

namespace {

constexpr unsigned kMaxCodeLength = 15;
// Codes up to this length are decoded by one table lookup (a table of 2 KB);
// longer ones, for the rarest symbols, bit by bit. At 9 bits one symbol in 13
// of the window's picture took the slow path.
constexpr unsigned kFastBits = 10;

constexpr std::uint64_t ByteSwapped(std::uint64_t v) noexcept {
    std::uint64_t r = 0;
    for (int i = 0; i < 8; ++i, v >>= 8) r = r << 8 | (v & 0xFF);
    return r;
}

// Reads the stream's bits from the lowest bit of each byte up, as DEFLATE
// packs them, from pieces that follow one another (a PNG's IDAT chunks)
// without joining them.
class BitReader {
public:
    explicit BitReader(Pieces pieces) : rest_(pieces) {}

    // Tops the buffer up to at least 56 bits, or to what the input has left.
    [[gnu::always_inline]] void Refill() noexcept {
        if (end_ - next_ >= 8) {
            // Eight bytes of this piece at once; the bits above the count are
            // those of the bytes that follow in it, at the places the next
            // refill puts them.
            std::uint64_t word;
            std::memcpy(&word, next_, sizeof word);
            if constexpr (std::endian::native == std::endian::big) word = ByteSwapped(word);
            bits_ |= word << count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56 && NextByteAvailable()) {
            bits_ |= std::uint64_t{*next_++} << count_;
            count_ += 8;
        }
    }

    // The next `n` bits (n <= 32) as a number; false when the input ends first.
    bool Take(unsigned n, std::uint32_t& value) noexcept {
        if (count_ < n) Refill();
        if (count_ < n) return false;
        value = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1));
        Drop(n);
        return true;
    }

    std::uint64_t Peek() const noexcept { return bits_; }
    unsigned Available() const noexcept { return count_; }
    void Drop(unsigned n) noexcept {
        bits_ >>= n;
        count_ -= n;
    }

    // Skips to the next byte boundary.
    void AlignToByte() noexcept { Drop(count_ % 8); }

    // After AlignToByte: the whole bytes left, in the buffer and the input.
    std::uint64_t BytesLeft() const noexcept {
        std::uint64_t n = count_ / 8 + static_cast<std::size_t>(end_ - next_);
        for (const auto& piece : rest_) n += piece.size();
        return n;
    }

    // After AlignToByte: the next `n` bytes (at most BytesLeft()) into `to`,
    // those in the buffer first.
    void ReadBytes(std::uint8_t* to, std::size_t n) noexcept {
        for (; n != 0 && count_ != 0; --n) {
            *to++ = static_cast<std::uint8_t>(bits_);
            Drop(8);
        }
        if (n == 0) return;
        // Read past the emptied buffer, the bytes that Refill left above its
        // count are no longer the next ones.
        bits_ = 0;
        while (n != 0 && NextByteAvailable()) {
            const std::size_t part = std::min(n, static_cast<std::size_t>(end_ - next_));
            std::memcpy(to, next_, part);
            to += part;
            next_ += part;
            n -= part;
        }
    }

private:
    // Whether a byte is left at next_, moving to the next piece that has one.
    bool NextByteAvailable() noexcept {
        while (next_ == end_) {
            if (rest_.empty()) return false;
            next_ = rest_.front().data();
            end_ = next_ + rest_.front().size();
            rest_ = rest_.subspan(1);
        }
        return true;
    }

    const std::uint8_t* next_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    Pieces rest_;
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;
};

// A canonical Huffman code: the number of codes of each length and the
// symbols in code order (for the bit-by-bit path), and a table indexed by the
// next kFastBits bits that holds (symbol << 4 | length) for codes up to that
// length, 0 otherwise.
struct Huffman {
    std::array<std::uint16_t, kMaxCodeLength + 1> count{};
    std::array<std::uint16_t, 320> symbols{};
    std::array<std::uint16_t, 1u << kFastBits> fast{};
};

enum class Build { Ok, Invalid };

// Builds the code from each symbol's code length (0: not used). Refuses an
// over-subscribed set, and an incomplete one unless it is a single code of
// one bit (a block with one distance) or `complete` is not required; a set
// without any code is accepted here and fails when a symbol is decoded.
Build BuildCode(Huffman& code, const std::uint8_t* lengths, unsigned n, bool mustBeComplete) {
    code.count.fill(0);
    code.fast.fill(0);
    for (unsigned s = 0; s < n; ++s) ++code.count[lengths[s]];
    code.count[0] = 0;
    unsigned longest = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        if (code.count[len]) longest = len;
    if (longest == 0) return Build::Ok;
    int left = 1;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        left = left * 2 - code.count[len];
        if (left < 0) return Build::Invalid;
    }
    if (left > 0 && (mustBeComplete || longest != 1)) return Build::Invalid;

    std::array<std::uint16_t, kMaxCodeLength + 2> offset{};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) offset[len + 1] = offset[len] + code.count[len];
    std::array<std::uint32_t, kMaxCodeLength + 1> nextCode{};
    std::uint32_t c = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        c = (c + code.count[len - 1]) << 1;
        nextCode[len] = c;
    }
    for (unsigned s = 0; s < n; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        code.symbols[offset[len]++] = static_cast<std::uint16_t>(s);
        if (len > kFastBits) continue;
        // The stream holds a code's bits from its first (highest) bit on.
        std::uint32_t reversed = 0;
        for (std::uint32_t v = nextCode[len]++, i = 0; i < len; ++i, v >>= 1) reversed = (reversed << 1) | (v & 1);
        for (std::uint32_t at = reversed; at < code.fast.size(); at += 1u << len)
            code.fast[at] = static_cast<std::uint16_t>(s << 4 | len);
    }
    return Build::Ok;
}

// The bit-by-bit path of DecodeSymbol, for the codes longer than kFastBits.
[[gnu::noinline]] int DecodeLongSymbol(BitReader& in, const Huffman& code) noexcept {
    const std::uint64_t bits = in.Peek();
    int first = 0, index = 0, value = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        if (len > in.Available()) return -2;
        value |= static_cast<int>((bits >> (len - 1)) & 1);
        const int count = code.count[len];
        if (value - first < count) {
            in.Drop(len);
            return code.symbols[index + value - first];
        }
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

// The next symbol: its number, -1 for a bit pattern that is no code, -2 when
// the input ends inside the code.
[[gnu::always_inline]] inline int DecodeSymbol(BitReader& in, const Huffman& code) noexcept {
    if (in.Available() < kMaxCodeLength) in.Refill();
    if (const std::uint16_t entry = code.fast[in.Peek() & ((1u << kFastBits) - 1)]) {
        const unsigned len = entry & 15;
        if (len > in.Available()) return -2;
        in.Drop(len);
        return entry >> 4;
    }
    return DecodeLongSymbol(in, code);
}

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                             33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// DEFLATE refers back at most this far.
constexpr std::size_t kHistory = 32768;
// Bytes produced between two hand-overs.
constexpr std::size_t kPiece = 65536;
// The room a single code needs: a back reference of at most 258 bytes, copied
// up to eight at a time and so writing up to 7 bytes past its end (bytes that
// later writes replace before anything reads them).
constexpr std::size_t kLongestMatch = 258;
constexpr std::size_t kRoom = kLongestMatch + 7;

class Inflater {
public:
    Inflater(Pieces in, std::uint64_t maxOutput, InflateSink& out)
        : in_(in), max_(maxOutput), out_(out), window_(kHistory + kPiece) {}

    // Whatever ends the stream, the bytes made so far reach the sink.
    InflateStatus Run() {
        const InflateStatus status = Stream();
        HandOver();
        return status;
    }

private:
    InflateStatus Stream() {
        std::uint32_t cmf = 0, flags = 0;
        if (!in_.Take(8, cmf) || !in_.Take(8, flags)) return InflateStatus::Truncated;
        // Method 8 (DEFLATE) with a window of at most 32 KiB, a header whose
        // check bits hold, and no preset dictionary (PNG has none).
        if ((cmf & 15) != 8 || (cmf >> 4) > 7 || (cmf * 256 + flags) % 31 != 0 || (flags & 0x20))
            return InflateStatus::Damaged;
        for (std::uint32_t last = 0; !last;) {
            std::uint32_t type = 0;
            if (!in_.Take(1, last) || !in_.Take(2, type)) return InflateStatus::Truncated;
            InflateStatus status = InflateStatus::Damaged;
            if (type == 0) status = Stored();
            else if (type == 1) status = Fixed();
            else if (type == 2) status = Dynamic();
            if (status != InflateStatus::Done) return status;
        }
        in_.AlignToByte();
        if (in_.BytesLeft() < 4) return InflateStatus::Truncated;
        HandOver();
        std::uint8_t sum[4];
        in_.ReadBytes(sum, 4);
        const std::uint32_t stored = std::uint32_t{sum[0]} << 24 | std::uint32_t{sum[1]} << 16 |
                                     std::uint32_t{sum[2]} << 8 | sum[3];
        if (stored != (adlerB_ << 16 | adlerA_)) return InflateStatus::Damaged;
        return in_.BytesLeft() == 0 ? InflateStatus::Done : InflateStatus::TrailingData;
    }

    // Room for the longest code at the write position: hands the new bytes
    // over and keeps the last 32 KiB, which back references may still read.
    void MakeRoom() {
        if (window_.size() - at_ >= kRoom) return;
        HandOver();
        const auto end = window_.begin() + static_cast<std::ptrdiff_t>(at_);
        std::copy(end - kHistory, end, window_.begin());
        at_ = handedOver_ = kHistory;
    }

    void HandOver() {
        if (at_ == handedOver_) return;
        const std::span<const std::uint8_t> piece(window_.data() + handedOver_, at_ - handedOver_);
        AddToAdler32(piece);
        out_.Take(piece);
        handedOver_ = at_;
    }

    void AddToAdler32(std::span<const std::uint8_t> bytes) noexcept {
        std::uint32_t a = adlerA_, b = adlerB_;
        const std::uint8_t* p = bytes.data();
        for (std::size_t left = bytes.size(); left != 0;) {
            std::size_t n = std::min<std::size_t>(left, 5552);  // the sums cannot overflow within this
            left -= n;
            // Eight bytes at a time: b gains a eight times and each byte as
            // often as it is added to a before the step ends.
            for (; n >= 8; n -= 8, p += 8) {
                b += 8 * a + 8u * p[0] + 7u * p[1] + 6u * p[2] + 5u * p[3] + 4u * p[4] + 3u * p[5] + 2u * p[6] + p[7];
                a += 0u + p[0] + p[1] + p[2] + p[3] + p[4] + p[5] + p[6] + p[7];
            }
            for (; n != 0; --n) {
                a += *p++;
                b += a;
            }
            a %= 65521;
            b %= 65521;
        }
        adlerA_ = a;
        adlerB_ = b;
    }

    InflateStatus Stored() {
        in_.AlignToByte();
        if (in_.BytesLeft() < 4) return InflateStatus::Truncated;
        std::uint8_t header[4];
        in_.ReadBytes(header, 4);
        const std::uint32_t length = header[0] | header[1] << 8, check = header[2] | header[3] << 8;
        if (length != (~check & 0xFFFF)) return InflateStatus::Damaged;
        const std::size_t present = static_cast<std::size_t>(std::min<std::uint64_t>(length, in_.BytesLeft()));
        if (present > max_ - total_) return InflateStatus::TooLong;
        // Through the window too: later back references may reach into it.
        for (std::size_t left = present; left != 0;) {
            MakeRoom();
            const std::size_t n = std::min(left, window_.size() - at_);
            in_.ReadBytes(window_.data() + at_, n);
            at_ += n;
            total_ += n;
            left -= n;
        }
        return present == length ? InflateStatus::Done : InflateStatus::Truncated;
    }

    InflateStatus Fixed() {
        std::uint8_t lengths[288 + 32];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + 288, 8);
        std::fill(lengths + 288, lengths + 320, 5);
        BuildCode(literals_, lengths, 288, true);
        BuildCode(distances_, lengths + 288, 32, true);
        return Codes();
    }

    InflateStatus Dynamic() {
        static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        std::uint32_t literalCount = 0, distanceCount = 0, lengthCodeCount = 0;
        if (!in_.Take(5, literalCount) || !in_.Take(5, distanceCount) || !in_.Take(4, lengthCodeCount))
            return InflateStatus::Truncated;
        literalCount += 257;
        distanceCount += 1;
        lengthCodeCount += 4;
        if (literalCount > 286 || distanceCount > 30) return InflateStatus::Damaged;

        std::uint8_t lengths[320] = {};
        for (std::uint32_t i = 0; i < lengthCodeCount; ++i) {
            std::uint32_t len = 0;
            if (!in_.Take(3, len)) return InflateStatus::Truncated;
            lengths[kOrder[i]] = static_cast<std::uint8_t>(len);
        }
        Huffman& lengthCode = literals_;  // only needed until the literal code is built
        if (BuildCode(lengthCode, lengths, 19, true) != Build::Ok) return InflateStatus::Damaged;

        const std::uint32_t total = literalCount + distanceCount;
        std::fill(lengths, lengths + 19, 0);
        for (std::uint32_t i = 0; i < total;) {
            const int symbol = DecodeSymbol(in_, lengthCode);
            if (symbol == -2) return InflateStatus::Truncated;
            if (symbol < 0) return InflateStatus::Damaged;
            if (symbol < 16) {
                lengths[i++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint32_t repeat = 0;
            std::uint8_t value = 0;
            if (symbol == 16) {
                if (i == 0) return InflateStatus::Damaged;  // nothing to repeat
                value = lengths[i - 1];
                if (!in_.Take(2, repeat)) return InflateStatus::Truncated;
                repeat += 3;
            } else if (symbol == 17) {
                if (!in_.Take(3, repeat)) return InflateStatus::Truncated;
                repeat += 3;
            } else {
                if (!in_.Take(7, repeat)) return InflateStatus::Truncated;
                repeat += 11;
            }
            if (repeat > total - i) return InflateStatus::Damaged;
            std::fill(lengths + i, lengths + i + repeat, value);
            i += repeat;
        }
        if (lengths[256] == 0) return InflateStatus::Damaged;  // a block must be able to end
        if (BuildCode(literals_, lengths, literalCount, false) != Build::Ok ||
            BuildCode(distances_, lengths + literalCount, distanceCount, false) != Build::Ok)
            return InflateStatus::Damaged;
        return Codes();
    }

    // The literals and back references of one block, up to its end code.
    InflateStatus Codes() {
        for (;;) {
            const int symbol = DecodeSymbol(in_, literals_);
            if (symbol == -2) return InflateStatus::Truncated;
            if (symbol < 0) return InflateStatus::Damaged;
            if (symbol < 256) {
                if (total_ >= max_) return InflateStatus::TooLong;
                MakeRoom();
                window_[at_++] = static_cast<std::uint8_t>(symbol);
                ++total_;
                continue;
            }
            if (symbol == 256) return InflateStatus::Done;
            const int lengthIndex = symbol - 257;
            if (lengthIndex >= 29) return InflateStatus::Damaged;
            std::uint32_t extra = 0;
            if (!in_.Take(kLengthExtra[lengthIndex], extra)) return InflateStatus::Truncated;
            const std::uint32_t length = kLengthBase[lengthIndex] + extra;
            const int distanceIndex = DecodeSymbol(in_, distances_);
            if (distanceIndex == -2) return InflateStatus::Truncated;
            if (distanceIndex < 0 || distanceIndex >= 30) return InflateStatus::Damaged;
            if (!in_.Take(kDistanceExtra[distanceIndex], extra)) return InflateStatus::Truncated;
            const std::uint32_t distance = kDistanceBase[distanceIndex] + extra;
            if (distance > total_) return InflateStatus::Damaged;
            if (length > max_ - total_) return InflateStatus::TooLong;
            MakeRoom();
            std::uint8_t* to = window_.data() + at_;
            const std::uint8_t* from = to - distance;
            // In steps no longer than the distance, so that each step reads
            // only bytes written before it (a picture's pixels repeat at 4).
            if (distance >= 8) {
                for (std::uint32_t k = 0; k < length; k += 8) std::memcpy(to + k, from + k, 8);
            } else if (distance >= 4) {
                for (std::uint32_t k = 0; k < length; k += 4) std::memcpy(to + k, from + k, 4);
            } else if (distance == 1) {
                std::memset(to, *from, length);
            } else {
                for (std::uint32_t k = 0; k < length; ++k) to[k] = from[k];
            }
            at_ += length;
            total_ += length;
        }
    }

    BitReader in_;
    std::uint64_t max_;
    InflateSink& out_;
    Huffman literals_, distances_;
    // The bytes made, the last of them in the window: [0, at_) holds the
    // latest, of which [handedOver_, at_) have not reached the sink yet.
    std::vector<std::uint8_t> window_;
    std::size_t at_ = 0;
    std::size_t handedOver_ = 0;
    std::uint64_t total_ = 0;
    std::uint32_t adlerA_ = 1, adlerB_ = 0;
};

// Four tables, for four bytes at a time: table k gives a byte's share in the
// CRC after k more zero bytes have followed it.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 4>;

constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 4; ++k) tables[k][n] = tables[0][tables[k - 1][n] & 0xFF] ^ (tables[k - 1][n] >> 8);
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

}  // namespace

InflateStatus Inflate(Pieces in, std::uint64_t maxOutput, InflateSink& out) {
    return Inflater(in, maxOutput, out).Run();
}

InflateStatus Inflate(std::span<const std::uint8_t> in, std::uint64_t maxOutput, InflateSink& out) {
    const std::span<const std::uint8_t> whole[] = {in};
    return Inflate(Pieces(whole), maxOutput, out);
}

InflateStatus Inflate(std::span<const std::uint8_t> in, std::uint64_t maxOutput, std::vector<std::uint8_t>& out) {
    struct Collect final : InflateSink {
        std::vector<std::uint8_t>& bytes;
        explicit Collect(std::vector<std::uint8_t>& into) : bytes(into) {}
        void Take(std::span<const std::uint8_t> piece) override { bytes.insert(bytes.end(), piece.begin(), piece.end()); }
    } collect(out);
    out.clear();
    return Inflate(in, maxOutput, collect);
}

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length) noexcept {
    const auto& t = kCrcTables;
    crc = ~crc;
    for (; length >= 4; length -= 4, data += 4) {
        crc ^= std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 | std::uint32_t{data[2]} << 16 |
               std::uint32_t{data[3]} << 24;
        crc = t[3][crc & 0xFF] ^ t[2][(crc >> 8) & 0xFF] ^ t[1][(crc >> 16) & 0xFF] ^ t[0][crc >> 24];
    }
    for (; length != 0; --length) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace brunvald::png
