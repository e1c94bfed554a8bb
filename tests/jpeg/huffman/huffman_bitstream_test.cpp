// The byte-wise bit writer and the bit reader, and flushing the state record.
#include <cstring>

#include "huffman_test_util.h"
#include "jpeg/huffman/bitstream.h"

namespace {

using namespace hufftest;
using zeb::huff::BitReader;
using zeb::huff::ByteWriter;

// A state holding `bits` (a string of 0/1, at most 7) as pending bits, in the
// byte-wise layout: left-aligned below bit 24.
EncState pendingState(const std::string& bits) {
    EncState st;
    std::uint32_t v = 0;
    for (char c : bits) v = (v << 1) | static_cast<std::uint32_t>(c - '0');
    st.s.accumulator.set(bits.empty() ? 0 : std::uint64_t{v} << (24 - bits.size()));
    st.s.bitCount = static_cast<int>(bits.size());
    st.s.eobRun = 3;  // a flush clears every field
    st.s.correctionBits[1000] = 1;
    return st;
}

bool allZero(const EncState& st) {
    const auto* p = reinterpret_cast<const Zeb8u*>(&st.s);
    for (std::size_t i = 0; i < sizeof st.s; ++i)
        if (p[i] != 0) return false;
    return true;
}

TEST(HuffmanBitWriter, FlushPadsWithOnesAndResets) {
    struct Case {
        std::string pending;
        std::vector<Zeb8u> out;
    } cases[] = {{"101", {0xBF}}, {"1", {0xFF, 0x00}}, {"", {}}, {"0000000", {0x01}}, {"1111111", {0xFF, 0x00}}};
    for (const Case& c : cases) {
        EncState st = pendingState(c.pending);
        std::vector<Zeb8u> dst(8, 0xCC);
        int pos = 2;
        ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, dst.data(), 8, &pos, nullptr, nullptr, nullptr,
                                                            st.get(), 1));
        EXPECT_EQ(2 + static_cast<int>(c.out.size()), pos) << c.pending;
        EXPECT_EQ(c.out, std::vector<Zeb8u>(dst.begin() + 2, dst.begin() + pos)) << c.pending;
        EXPECT_TRUE(allZero(st)) << c.pending;
    }
    // The stuffed zero does not fit: 0xFF stays written, the state is reset anyway.
    EncState st = pendingState("1");
    std::vector<Zeb8u> dst(3, 0xCC);
    int pos = 2;
    EXPECT_EQ(zebErrBufferEnd,
              zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, dst.data(), 3, &pos, nullptr, nullptr, nullptr, st.get(), 1));
    EXPECT_EQ(3, pos);
    EXPECT_EQ(0xFF, dst[2]);
    EXPECT_TRUE(allZero(st));
}

TEST(HuffmanBitWriter, PutBitsStuffingAndBufferEnd) {
    // Bits of every length pack most significant bit first with stuffing,
    // checked against the independent bit-string builder.
    zebtest::Rng rng(5);
    std::string all;
    std::vector<Zeb8u> dst(4096);
    ByteWriter w(dst.data(), 4096, 0);
    for (int i = 0; i < 600; ++i) {
        const int len = static_cast<int>(rng.range(1, 16));
        const std::uint32_t code = rng.chance(0.3) ? 0xFFFF : rng.next();
        for (int b = len - 1; b >= 0; --b) all += ((code >> b) & 1) ? '1' : '0';
        ASSERT_EQ(zebOk, w.putBits(code, len));
    }
    // The writer holds back the partial last byte.
    const std::vector<Zeb8u> want = stuffedBits(all.substr(0, all.size() / 8 * 8));
    ASSERT_EQ(static_cast<int>(want.size()), w.position());
    EXPECT_EQ(0, std::memcmp(want.data(), dst.data(), want.size()));
    EXPECT_EQ(zebErrHuffTable, w.putBits(1, 0));

    // A code word completing 0xFF with one byte of room: 0xFF stored, no
    // stuffed zero, position advanced, pending bits as before the call.
    EncState st = pendingState("1111");
    Zeb8u small[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    ByteWriter w2(small, 2, 1);
    w2.load(st.s);
    EXPECT_EQ(zebErrBufferEnd, w2.putBits(0xF, 4));
    EXPECT_EQ(2, w2.position());
    EXPECT_EQ(0xFF, small[1]);
    EXPECT_EQ(0xCC, small[2]);
    EncState after;
    w2.store(after.s);
    EXPECT_EQ(4, after.s.bitCount);
    EXPECT_EQ(st.s.accumulator.get(), after.s.accumulator.get());
    // No room at all.
    ByteWriter w3(small, 1, 1);
    w3.load(st.s);
    EXPECT_EQ(zebErrBufferEnd, w3.putBits(0, 4));
    EXPECT_EQ(1, w3.position());
}

// Reads everything a reader gives, 1 bit at a time, as a bit string.
std::string drainBits(BitReader& rd, ZebResult& last) {
    std::string s;
    std::uint32_t bit;
    while ((last = rd.takeBits(1, bit)) == zebOk) s += bit ? '1' : '0';
    return s;
}

TEST(HuffmanBitReader, UnstuffingFillBytesAndMarkers) {
    {
        const Zeb8u src[] = {0x12, 0xFF, 0x00, 0x34};
        BitReader rd(src, 4, 0, 0);
        ZebResult last;
        EXPECT_EQ("000100101111111100110100", drainBits(rd, last));
        EXPECT_EQ(zebErrBufferEnd, last);
        EXPECT_EQ(4, rd.position());
        EXPECT_EQ(0, rd.marker());
    }
    {
        const Zeb8u src[] = {0xFF, 0xFF, 0xD0, 0x55};
        BitReader rd(src, 4, 0, 0);
        EXPECT_EQ(zebOk, rd.fill(0));
        EXPECT_EQ(0xD0, rd.marker());
        EXPECT_EQ(3, rd.position());
        EXPECT_EQ(0, rd.count());
        std::uint32_t v;
        EXPECT_EQ(zebErrCodeRange, rd.takeBits(1, v));
        EXPECT_EQ(3, rd.position());
    }
    {
        // Read-ahead stops at 25 bits or more: four bytes from an empty reader.
        const Zeb8u src[] = {1, 2, 3, 4, 5, 6};
        BitReader rd(src, 6, 0, 0);
        EXPECT_EQ(zebOk, rd.fill(1));
        EXPECT_EQ(32, rd.count());
        EXPECT_EQ(4, rd.position());
        EXPECT_EQ(0x01020304u, rd.peek(32));
    }
    {
        // 5 bits needed, 2 valid, source exhausted: buffer end; with a marker
        // already recorded: code range.
        const Zeb8u src[] = {0xC0};
        BitReader rd(src, 1, 0, 0);
        std::uint32_t v;
        ASSERT_EQ(zebOk, rd.takeBits(6, v));
        EXPECT_EQ(2, rd.count());
        EXPECT_EQ(zebErrBufferEnd, rd.takeBits(5, v));
        EXPECT_EQ(2, rd.count());
        BitReader rm(src, 1, 0, 0xD9);
        EXPECT_EQ(zebErrCodeRange, rm.takeBits(5, v));
        EXPECT_EQ(0, rm.position());
    }
    {
        // The source ends right after a 0xFF: buffer end even when bits remain,
        // and the 0xFF counts as consumed.
        const Zeb8u src[] = {0xAB, 0xFF};
        BitReader rd(src, 2, 0, 0);
        EXPECT_EQ(zebErrBufferEnd, rd.fill(0));
        EXPECT_EQ(2, rd.position());
        EXPECT_EQ(8, rd.count());
    }
}

}  // namespace
