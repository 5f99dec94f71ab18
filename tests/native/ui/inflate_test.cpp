// Our inflate against zlib, the reference implementation: streams zlib makes
// at every level and strategy must decode to the bytes that went in; damaged
// streams must be refused wherever zlib refuses them and decode to zlib's
// bytes wherever zlib accepts them; and a table of hand-made streams pins down
// each refusal. Every stream is also read cut in pieces, which must change
// nothing.
#include "ui/png/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace brunvald::png {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Deflate(const Bytes& raw, int level, int strategy) {
    z_stream s{};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, 15, 9, strategy), Z_OK);
    Bytes out(deflateBound(&s, static_cast<uLong>(raw.size())) + 16);
    s.next_in = const_cast<Bytef*>(raw.data());
    s.avail_in = static_cast<uInt>(raw.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// zlib's verdict on a stream: its bytes, or nothing when it refuses it or
// wants more input. Trailing bytes are refused, as our inflate does.
bool ZlibInflate(const Bytes& in, std::size_t limit, Bytes& out) {
    z_stream s{};
    if (inflateInit(&s) != Z_OK) return false;
    out.assign(limit + 1, 0);
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&s, Z_FINISH);
    const bool whole = status == Z_STREAM_END && s.avail_in == 0 && s.total_out <= limit;
    out.resize(s.total_out);
    inflateEnd(&s);
    return whole;
}

// Data with long and short repeats and runs of noise, so that every block
// type and code length turns up, and back references at every short distance
// (a pattern of 1 to 9 bytes repeated) as well as long ones.
Bytes Sample(std::mt19937& random, std::size_t size) {
    Bytes data;
    while (data.size() < size) {
        const unsigned kind = random() % 5;
        const std::size_t run = 1 + random() % 300;
        if (kind == 0 || data.empty()) {
            for (std::size_t i = 0; i < run; ++i) data.push_back(static_cast<std::uint8_t>(random()));
        } else if (kind == 1) {
            const std::size_t from = random() % data.size();
            for (std::size_t i = 0; i < run; ++i) data.push_back(data[from + i % (data.size() - from)]);
        } else if (kind == 2) {
            data.insert(data.end(), run, static_cast<std::uint8_t>(random() % 4));
        } else if (kind == 3) {
            for (std::size_t i = 0; i < run; ++i) data.push_back(static_cast<std::uint8_t>('a' + random() % 3));
        } else {
            const std::size_t period = 1 + random() % 9;
            for (std::size_t i = 0; i < period; ++i) data.push_back(static_cast<std::uint8_t>(random()));
            for (std::size_t i = period; i < run; ++i) data.push_back(data[data.size() - period]);
        }
    }
    data.resize(size);
    return data;
}

// The stream cut at random places into pieces, as a PNG's chunks hold it:
// a few cuts, or one every 1 to 9 bytes; some pieces may be empty.
InflateStatus InflateInPieces(const Bytes& stream, std::uint64_t limit, Bytes& out, std::mt19937& random) {
    std::vector<std::size_t> cuts = {0, stream.size()};
    if (random() % 4 == 0) {
        const std::size_t every = 1 + random() % 9;
        for (std::size_t at = every; at < stream.size(); at += every) cuts.push_back(at);
    } else {
        for (unsigned n = random() % 8; n > 0; --n) cuts.push_back(random() % (stream.size() + 1));
    }
    std::sort(cuts.begin(), cuts.end());
    std::vector<std::span<const std::uint8_t>> pieces;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) pieces.emplace_back(stream.data() + cuts[i], cuts[i + 1] - cuts[i]);
    struct Collect final : InflateSink {
        Bytes& bytes;
        explicit Collect(Bytes& into) : bytes(into) {}
        void Take(std::span<const std::uint8_t> piece) override { bytes.insert(bytes.end(), piece.begin(), piece.end()); }
    } collect(out);
    out.clear();
    return Inflate(Pieces(pieces), limit, collect);
}

TEST(Inflate, DecodesWhatZlibCompressesAtEveryLevelAndStrategy) {
    std::mt19937 random(1), cutting(4);
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (std::size_t size : {0u, 1u, 2u, 100u, 5000u, 70000u, 300000u}) {
        const Bytes raw = Sample(random, size);
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                const Bytes stream = Deflate(raw, level, strategy);
                Bytes out;
                ASSERT_EQ(Inflate(stream, raw.size(), out), InflateStatus::Done)
                    << "size " << size << ", level " << level << ", strategy " << strategy;
                ASSERT_TRUE(out == raw) << "size " << size << ", level " << level << ", strategy " << strategy;
                Bytes fromPieces;
                ASSERT_EQ(InflateInPieces(stream, raw.size(), fromPieces, cutting), InflateStatus::Done);
                ASSERT_TRUE(fromPieces == raw) << "in pieces: size " << size << ", level " << level;
            }
        }
    }
}

TEST(Inflate, AgreesWithZlibOnDamagedStreams) {
    std::mt19937 random(2), cutting(6);
    int accepted = 0, refused = 0;
    for (int round = 0; round < 4000; ++round) {
        const Bytes raw = Sample(random, 1 + random() % 3000);
        Bytes stream = Deflate(raw, random() % 10, random() % 2 ? Z_DEFAULT_STRATEGY : Z_FIXED);
        // One to three bytes changed, or the stream cut short.
        if (random() % 5 == 0) {
            stream.resize(random() % stream.size());
        } else {
            for (unsigned n = 1 + random() % 3; n > 0; --n)
                stream[random() % stream.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        }
        const std::size_t limit = raw.size() + random() % 2 * 100;
        Bytes expected, out;
        const bool zlibAccepts = ZlibInflate(stream, limit, expected);
        const InflateStatus status = Inflate(stream, limit, out);
        ASSERT_EQ(status == InflateStatus::Done, zlibAccepts) << "round " << round;
        Bytes fromPieces;
        ASSERT_EQ(InflateInPieces(stream, limit, fromPieces, cutting), status) << "round " << round;
        ASSERT_TRUE(fromPieces == out) << "in pieces: round " << round;
        if (zlibAccepts) {
            ASSERT_TRUE(out == expected) << "round " << round;
            ++accepted;
        } else {
            ++refused;
        }
    }
    // Both verdicts must have been put to the test.
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}

// Bits written from the lowest bit up, as DEFLATE packs them.
struct BitWriter {
    Bytes bytes;
    unsigned used = 8;
    void Put(std::uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= static_cast<std::uint8_t>(((value >> i) & 1) << used++);
        }
    }
    // A Huffman code, highest bit first.
    void PutCode(std::uint32_t code, unsigned length) {
        for (unsigned i = length; i > 0; --i) Put((code >> (i - 1)) & 1, 1);
    }
};

Bytes Zlib(const Bytes& deflate, std::uint32_t adler) {
    Bytes out;
    out.reserve(2 + deflate.size() + 4);
    out.push_back(0x78);
    out.push_back(0x9C);
    out.insert(out.end(), deflate.begin(), deflate.end());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(adler >> shift));
    return out;
}

std::uint32_t AdlerOf(const Bytes& data) {
    return static_cast<std::uint32_t>(adler32(1, data.data(), static_cast<uInt>(data.size())));
}

// A fixed-code block with the given literal bytes, then a back reference of
// `length` bytes at `distance` (none when length is 0), then the end code.
Bytes FixedBlock(const Bytes& literals, unsigned length = 0, unsigned distance = 0) {
    BitWriter w;
    w.Put(1, 1);  // last block
    w.Put(1, 2);  // fixed codes
    for (std::uint8_t b : literals) {
        if (b < 144) w.PutCode(0x30 + b, 8);
        else w.PutCode(0x190 + b - 144, 9);
    }
    if (length) {
        // Lengths 3..10 are symbols 257..264 without extra bits; distances 1..4 are codes 0..3.
        w.PutCode(length - 3 + 1, 7);
        w.PutCode(distance - 1, 5);
    }
    w.PutCode(0, 7);  // end of block
    return w.bytes;
}

struct Case {
    const char* what;
    Bytes stream;
    std::uint64_t limit;
    InflateStatus expected;
};

TEST(Inflate, RefusesEachKindOfFault) {
    const Bytes abc = {'a', 'b', 'c'};
    const Bytes abcabc = {'a', 'b', 'c', 'a', 'b', 'c'};
    const Bytes good = Zlib(FixedBlock(abc, 3, 3), AdlerOf(abcabc));
    Bytes withTrailing = good;
    withTrailing.push_back(0);
    Bytes badCheck = good;
    badCheck.back() ^= 1;
    Bytes storedBadLength = {0x78, 0x9C, 0x01, 0x03, 0x00, 0xFC, 0xFE, 'a', 'b', 'c'};  // NLEN is not ~LEN
    Bytes storedShort = {0x78, 0x9C, 0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b'};
    BitWriter reserved;
    reserved.Put(1, 1);
    reserved.Put(3, 2);  // block type 3 does not exist
    BitWriter tooManyLengths;  // 287 literal/length codes
    tooManyLengths.Put(1, 1);
    tooManyLengths.Put(2, 2);
    tooManyLengths.Put(30, 5);
    tooManyLengths.Put(0, 5);
    tooManyLengths.Put(0, 4);
    BitWriter oversubscribed;  // code-length code with three codes of one bit
    oversubscribed.Put(1, 1);
    oversubscribed.Put(2, 2);
    oversubscribed.Put(0, 5);
    oversubscribed.Put(0, 5);
    oversubscribed.Put(0, 4);                             // four code-length code lengths: symbols 16, 17, 18, 0
    for (int i = 0; i < 3; ++i) oversubscribed.Put(1, 3);
    oversubscribed.Put(0, 3);
    BitWriter repeatFirst;  // code-length code: 16 and 0 of one bit each; the first symbol repeats nothing
    repeatFirst.Put(1, 1);
    repeatFirst.Put(2, 2);
    repeatFirst.Put(0, 5);
    repeatFirst.Put(0, 5);
    repeatFirst.Put(0, 4);
    repeatFirst.Put(1, 3);  // 16: one bit
    repeatFirst.Put(0, 3);  // 17
    repeatFirst.Put(0, 3);  // 18
    repeatFirst.Put(1, 3);  // 0: one bit
    repeatFirst.PutCode(1, 1);  // symbol 16 (codes: 0 -> symbol 0, 1 -> symbol 16)
    repeatFirst.Put(0, 2);

    const std::vector<Case> cases = {
        {"a whole stream", good, 6, InflateStatus::Done},
        {"a stored block", Zlib({0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'}, AdlerOf(abc)), 3, InflateStatus::Done},
        {"empty input", {}, 6, InflateStatus::Truncated},
        {"header only", {0x78, 0x9C}, 6, InflateStatus::Truncated},
        {"method 7", {0x77, 0x9C}, 6, InflateStatus::Damaged},
        {"window above 32 KiB", {0x88, 0x98}, 6, InflateStatus::Damaged},
        {"header check bits wrong", {0x78, 0x9D}, 6, InflateStatus::Damaged},
        {"preset dictionary", {0x78, 0xBB, 0, 0, 0, 1}, 6, InflateStatus::Damaged},
        {"reserved block type", Zlib(reserved.bytes, 0), 6, InflateStatus::Damaged},
        {"stored length and its complement disagree", storedBadLength, 6, InflateStatus::Damaged},
        {"stored block cut short", storedShort, 6, InflateStatus::Truncated},
        {"checksum wrong", badCheck, 6, InflateStatus::Damaged},
        {"checksum missing", Bytes(good.begin(), good.end() - 4), 6, InflateStatus::Truncated},
        {"byte after the stream", withTrailing, 6, InflateStatus::TrailingData},
        {"more output than allowed", good, 5, InflateStatus::TooLong},
        {"distance before the first byte", Zlib(FixedBlock(abc, 3, 4), 0), 6, InflateStatus::Damaged},
        {"287 literal/length codes", Zlib(tooManyLengths.bytes, 0), 6, InflateStatus::Damaged},
        {"over-subscribed code-length code", Zlib(oversubscribed.bytes, 0), 6, InflateStatus::Damaged},
        {"repeat of a length before any length", Zlib(repeatFirst.bytes, 0), 6, InflateStatus::Damaged},
    };
    std::mt19937 random(5);
    for (const Case& c : cases) {
        Bytes out;
        EXPECT_EQ(Inflate(c.stream, c.limit, out), c.expected) << c.what;
        for (int cutting = 0; cutting < 8; ++cutting)
            EXPECT_EQ(InflateInPieces(c.stream, c.limit, out, random), c.expected) << c.what << ", in pieces";
        Bytes reference;
        EXPECT_EQ(ZlibInflate(c.stream, c.limit, reference), c.expected == InflateStatus::Done)
            << c.what << ": zlib's verdict differs";
    }
}

TEST(Crc32, MatchesZlibAndTheCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32(0, reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xCBF43926u);
    std::mt19937 random(3);
    const Bytes data = Sample(random, 10000);
    const std::uint32_t whole = Crc32(0, data.data(), data.size());
    EXPECT_EQ(whole, static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size()))));
    EXPECT_EQ(Crc32(Crc32(0, data.data(), 4001), data.data() + 4001, 5999), whole);
}

}  // namespace
}  // namespace brunvald::png
