// Baseline block coding: exact bit strings of single blocks (expected bits
// built from the T.81 Annex K tables by the test's own canonical-code
// derivation), argument checks, error statuses and the statistics counters.
#include <cstring>

#include "huffman_test_util.h"
#include "jpeg/huffman/huffman_baseline.h"

namespace {

using namespace hufftest;
using zeb::Path;

struct Tables {
    TableSpec dcSpec = kDcLuma(), acSpec = kAcLuma();
    EncTable dcE = makeEnc(dcSpec), acE = makeEnc(acSpec);
    DecTable dcD = makeDec(dcSpec), acD = makeDec(acSpec);
    std::string dc(int s) const { return codeOf(dcSpec, s); }
    std::string ac(int rs) const { return codeOf(acSpec, rs); }
};

// Encodes one block and flushes, through the given path.
template <Path P>
std::vector<Zeb8u> encodeOne(Tables& t, const Block& b, Zeb16s& lastDc) {
    std::vector<Zeb8u> dst(1024);
    EncState st;
    int pos = 0;
    EXPECT_EQ(zebOk, zeb::huff::encodeBlock<P>(b.data(), dst.data(), 1024, &pos, &lastDc, t.dcE.rec(), t.acE.rec(), st.s));
    EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, dst.data(), 1024, &pos, nullptr, nullptr, nullptr,
                                                        st.get(), 1));
    dst.resize(pos);
    return dst;
}

// Decodes one block from `bytes` followed by an EOI marker.
template <Path P>
Block decodeOne(Tables& t, std::vector<Zeb8u> bytes, Zeb16s& lastDc, ZebResult want = zebOk) {
    bytes.push_back(0xFF);
    bytes.push_back(0xD9);
    Block b{};
    DecState st;
    int pos = 0, marker = 0;
    EXPECT_EQ(want, zeb::huff::decodeBlock<P>(bytes.data(), static_cast<int>(bytes.size()), &pos, b.data(), &lastDc,
                                              &marker, t.dcD.rec(), t.acD.rec(), st.s));
    return b;
}

TEST(HuffmanBaseline, BlocksCodeToExactBits) {
    Tables t;
    struct Case {
        const char* what;
        Block block;
        int lastDc;
        std::string bits;
    } cases[] = {
        {"DC 10 after 4, AC -2, 1, EOB", blockOf({{0, 10}, {1, -2}, {3, 1}}), 4,
         t.dc(3) + "110" + t.ac(0x02) + "01" + t.ac(0x11) + "1" + t.ac(0x00)},
        {"AC 5 at position 40", blockOf({{40, 5}}), 0, t.dc(0) + t.ac(0xF0) + t.ac(0xF0) + t.ac(0x73) + "101" + t.ac(0)},
        {"last position only", blockOf({{63, -1}}), 0, t.dc(0) + t.ac(0xF0) + t.ac(0xF0) + t.ac(0xF0) + t.ac(0xE1) + "0"},
        {"all zero", Block{}, 0, t.dc(0) + t.ac(0)},
        {"DC difference 300", blockOf({{0, 300}}), 0, t.dc(9) + "100101100" + t.ac(0)},
        {"DC difference -300", blockOf({{0, -290}}), 10, t.dc(9) + "011010011" + t.ac(0)},
        {"run of exactly 16 then a value", blockOf({{17, 3}, {18, -1}}), 0,
         t.dc(0) + t.ac(0xF0) + t.ac(0x02) + "11" + t.ac(0x01) + "0" + t.ac(0)},
        {"largest AC magnitude of the table", blockOf({{1, 1023}, {2, -1023}}), 0,
         t.dc(0) + t.ac(0x0A) + "1111111111" + t.ac(0x0A) + "0000000000" + t.ac(0)},
    };
    for (const Case& c : cases) {
        const std::vector<Zeb8u> want = stuffedBits(c.bits);
        Zeb16s lastS = static_cast<Zeb16s>(c.lastDc), lastV = lastS;
        EXPECT_EQ(want, encodeOne<Path::Scalar>(t, c.block, lastS)) << c.what;
        EXPECT_EQ(want, encodeOne<Path::Vector>(t, c.block, lastV)) << c.what;
        EXPECT_EQ(c.block[0], lastS);
        EXPECT_EQ(c.block[0], lastV);
        // And back.
        Zeb16s dS = static_cast<Zeb16s>(c.lastDc), dV = dS;
        EXPECT_EQ(c.block, decodeOne<Path::Scalar>(t, want, dS)) << c.what;
        EXPECT_EQ(c.block, decodeOne<Path::Vector>(t, want, dV)) << c.what;
        EXPECT_EQ(c.block[0], dS);
        EXPECT_EQ(c.block[0], dV);
    }
}

TEST(HuffmanBaseline, DecodesValueRulesAndPredictorWrap) {
    Tables t;
    const std::string eob = t.ac(0);
    struct Case {
        std::string bits;
        int lastDc;
        Block want;
    } cases[] = {
        {t.dc(1) + "0" + eob, 0, blockOf({{0, -1}})},
        {t.dc(3) + "111" + eob, 0, blockOf({{0, 7}})},
        {t.dc(3) + "011" + eob, 0, blockOf({{0, -4}})},
        {t.dc(0) + eob, 1234, blockOf({{0, 1234}})},  // DC symbol 0 copies the predictor
        {t.dc(1) + "1" + eob, 32767, blockOf({{0, -32768}})},
        {t.dc(0) + t.ac(0xF0) + eob, 5, blockOf({{0, 5}})},
        {t.dc(0) + t.ac(0x13) + "000" + eob, 0, blockOf({{2, -7}})},
    };
    for (const Case& c : cases) {
        for (int path = 0; path < 2; ++path) {
            Zeb16s last = static_cast<Zeb16s>(c.lastDc);
            const std::vector<Zeb8u> bytes = stuffedBits(c.bits);
            const Block got = path ? decodeOne<Path::Vector>(t, bytes, last) : decodeOne<Path::Scalar>(t, bytes, last);
            EXPECT_EQ(c.want, got) << c.bits;
            EXPECT_EQ(c.want[0], last) << c.bits;
        }
    }
}

TEST(HuffmanBaseline, StreamEndsAtMarker) {
    Tables t;
    // Two blocks, padding, EOI; the padded stream is followed by the marker.
    std::vector<Zeb8u> bytes = stuffedBits(t.dc(2) + "10" + t.ac(0x01) + "1" + t.ac(0) + t.dc(0) + t.ac(0));
    bytes.push_back(0xFF);
    bytes.push_back(0xD9);
    bytes.push_back(0x77);  // never read
    for (int path = 0; path < 2; ++path) {
        DecState st;
        int pos = 0, marker = 0;
        Zeb16s last = 0;
        Block b;
        auto call = [&] {
            return zebiDecodeHuffman8x8_JPEG_1u16s_C1(bytes.data(), static_cast<int>(bytes.size()), &pos, b.data(),
                                                      &last, &marker, t.dcD.get(), t.acD.get(), st.get());
        };
        auto callScalar = [&] {
            return zeb::huff::decodeBlock<Path::Scalar>(bytes.data(), static_cast<int>(bytes.size()), &pos, b.data(),
                                                       &last, &marker, t.dcD.rec(), t.acD.rec(), st.s);
        };
        ASSERT_EQ(zebOk, path ? call() : callScalar());
        EXPECT_EQ(blockOf({{0, 2}, {1, 1}}), b);
        ASSERT_EQ(zebOk, path ? call() : callScalar());
        EXPECT_EQ(blockOf({{0, 2}}), b);
        EXPECT_EQ(0xD9, marker);
        EXPECT_EQ(static_cast<int>(bytes.size()) - 1, pos);
        EXPECT_EQ(zebErrCodeRange, path ? call() : callScalar());
        EXPECT_EQ(static_cast<int>(bytes.size()) - 1, pos);
    }
}

TEST(HuffmanBaseline, ArgumentChecksComeFirst) {
    Tables t;
    Block src{};
    Zeb16s last = 0;
    EncState st;
    zebtest::GuardedBuffer<Zeb8u> dst(64);
    dst.fill(0x33);
    dst.snapshot();
    int pos = 0;
    auto enc = [&](const Zeb16s* s, Zeb8u* d, int len, int* p, Zeb16s* l, ZebEncodeHuffmanState* state, int flush) {
        return zebiEncodeHuffman8x8_JPEG_16s1u_C1(s, d, len, p, l, t.dcE.get(), t.acE.get(), state, flush);
    };
    EXPECT_EQ(zebErrNullPtr, enc(src.data(), nullptr, 0, &pos, &last, st.get(), 0));
    EXPECT_EQ(zebErrSize, enc(nullptr, dst.data(), 0, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(zebErrNullPtr, enc(src.data(), dst.data(), 64, nullptr, &last, st.get(), 0));
    EXPECT_EQ(zebErrNullPtr, enc(src.data(), dst.data(), 64, &pos, &last, nullptr, 1));
    EXPECT_EQ(zebErrNullPtr, enc(nullptr, dst.data(), 64, &pos, &last, st.get(), 0));
    EXPECT_EQ(zebErrNullPtr, enc(src.data(), dst.data(), 64, &pos, nullptr, st.get(), 0));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffman8x8_JPEG_16s1u_C1(src.data(), dst.data(), 64, &pos, &last, nullptr,
                                                                t.acE.get(), st.get(), 0));
    EXPECT_TRUE(dst.unchanged());
    EXPECT_EQ(0, pos);


    // Decoder: pointer, then length (0 is accepted), then the other pointers.
    DecState ds;
    Block out;
    int marker = 0;
    const Zeb8u bytes[2] = {0xFF, 0xD9};
    auto dec = [&](const Zeb8u* s, int len, int* p, Zeb16s* d, int* m, ZebDecodeHuffmanState* state) {
        return zebiDecodeHuffman8x8_JPEG_1u16s_C1(s, len, p, d, &last, m, t.dcD.get(), t.acD.get(), state);
    };
    EXPECT_EQ(zebErrNullPtr, dec(nullptr, -1, &pos, out.data(), &marker, ds.get()));
    EXPECT_EQ(zebErrBadArg, dec(bytes, -1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(zebErrNullPtr, dec(bytes, 2, nullptr, out.data(), &marker, ds.get()));
    EXPECT_EQ(zebErrNullPtr, dec(bytes, 2, &pos, out.data(), nullptr, ds.get()));
    EXPECT_EQ(zebErrNullPtr, dec(bytes, 2, &pos, out.data(), &marker, nullptr));
    out.fill(9);
    pos = 0;
    EXPECT_EQ(zebErrBufferEnd, dec(bytes, 0, &pos, out.data(), &marker, ds.get()));
    EXPECT_EQ(Block{}, out);
    EXPECT_EQ(0, pos);

    // Direct decoder: the values behind the pointers are checked in place.
    int srcBits = -8, valid = 0;
    Zeb32u pre = 0;
    auto direct = [&](Zeb16s* d) {
        return zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(bytes, &srcBits, d, &last, &marker, &pre, &valid,
                                                         t.dcD.get(), t.acD.get());
    };
    EXPECT_EQ(zebErrNullPtr, zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(bytes, nullptr, out.data(), &last, &marker,
                                                                       &pre, &valid, t.dcD.get(), t.acD.get()));
    EXPECT_EQ(zebErrBadArg, direct(nullptr));
    srcBits = 0;
    EXPECT_EQ(zebErrNullPtr, direct(nullptr));
    valid = -1;
    EXPECT_EQ(zebErrBadArg, direct(out.data()));
    valid = 0;
    EXPECT_EQ(zebErrNullPtr, zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(bytes, &srcBits, out.data(), &last, &marker,
                                                                       &pre, &valid, nullptr, t.acD.get()));
}

// Both encoder paths fail the same way and leave the same bytes, position
// and state: missing codes, category 16, and a destination that fills up.
EncState pendingStateOnes() {
    EncState st;
    st.s.accumulator.set(std::uint64_t{0x1D} << 19);  // 11101 pending
    st.s.bitCount = 5;
    return st;
}

TEST(HuffmanBaseline, EncoderErrorsAgreeAcrossPaths) {
    Tables t;
    // A block with many 0xFF bytes in its code; `need` bytes hold it.
    const Block big = blockOf({{1, 1023}, {2, 1023}, {3, 1023}, {4, -1023}, {5, 1023}, {60, 1}});
    int need = 0;
    {
        std::vector<Zeb8u> d(500);
        EncState st = pendingStateOnes();
        Zeb16s l = 0;
        ASSERT_EQ(zebOk, zeb::huff::encodeBlock<Path::Scalar>(big.data(), d.data(), 500, &need, &l, t.dcE.rec(),
                                                              t.acE.rec(), st.s));
        ASSERT_GT(need, 24);
    }
    struct Case {
        Block block;
        int room;
        ZebResult want;
    } cases[] = {
        {blockOf({{0, 2048}}), 400, zebErrHuffTable},                 // DC category 12 not in K.3
        {blockOf({{5, 1}, {9, 1024}}), 400, zebErrHuffTable},         // AC size 11 not in K.5
        {blockOf({{5, 7}, {20, -32768}}), 400, zebErrCodeRange},      // AC category 16
        {big, 5, zebErrBufferEnd},
        {big, 24, zebErrBufferEnd},
        {big, need - 1, zebErrBufferEnd},
        {big, need - 2, zebErrBufferEnd},
        {big, need, zebOk},
    };
    for (const Case& c : cases) {
        std::vector<Zeb8u> dS(500, 0xCC), dV(500, 0xCC);
        EncState sS = pendingStateOnes(), sV = pendingStateOnes();
        int pS = 0, pV = 0;
        Zeb16s lS = 0, lV = 0;
        EXPECT_EQ(c.want, zeb::huff::encodeBlock<Path::Scalar>(c.block.data(), dS.data(), c.room, &pS, &lS,
                                                               t.dcE.rec(), t.acE.rec(), sS.s));
        EXPECT_EQ(c.want, zeb::huff::encodeBlock<Path::Vector>(c.block.data(), dV.data(), c.room, &pV, &lV,
                                                               t.dcE.rec(), t.acE.rec(), sV.s));
        EXPECT_EQ(pS, pV) << c.room;
        EXPECT_EQ(dS, dV) << c.room;
        EXPECT_EQ(0, std::memcmp(&sS.s, &sV.s, sizeof sS.s)) << c.room;
        EXPECT_EQ(c.block[0], lS);
        EXPECT_EQ(c.block[0], lV);
        EXPECT_LE(pS, c.room);
    }
}

TEST(HuffmanBaseline, StatisticsCountSymbols) {
    Zeb32s dc[256] = {}, ac[256] = {};
    Zeb16s last = 4;
    Block b = blockOf({{0, 10}, {1, -2}, {3, 1}});
    ASSERT_EQ(zebOk, zebiGetHuffmanStatistics8x8_JPEG_16s_C1(b.data(), dc, ac, &last));
    b = blockOf({{0, 10}, {40, 5}});
    ASSERT_EQ(zebOk, zebiGetHuffmanStatistics8x8_JPEG_16s_C1(b.data(), dc, ac, &last));
    b = blockOf({{0, 10}, {63, 16383}});
    ASSERT_EQ(zebOk, zebiGetHuffmanStatistics8x8_JPEG_16s_C1(b.data(), dc, ac, &last));
    EXPECT_EQ(10, last);
    Zeb32s wantDc[256] = {}, wantAc[256] = {};
    wantDc[3] = 1;
    wantDc[0] = 2;
    wantAc[0x02] = wantAc[0x11] = 1;
    wantAc[0xF0] = 2 + 3;
    wantAc[0x73] = 1;
    wantAc[0xEE] = 1;
    wantAc[0x00] = 2;
    EXPECT_EQ(0, std::memcmp(dc, wantDc, sizeof dc));
    EXPECT_EQ(0, std::memcmp(ac, wantAc, sizeof ac));

    // AC category 15 is beyond the statistics' range: the counts of earlier
    // coefficients stay; a DC difference of category 16 fails after the
    // predictor update.
    b = blockOf({{0, 10}, {1, 1}, {2, 16384}});
    EXPECT_EQ(zebErrCodeRange, zebiGetHuffmanStatistics8x8_JPEG_16s_C1(b.data(), dc, ac, &last));
    EXPECT_EQ(3, dc[0]);
    EXPECT_EQ(1, ac[0x01]);
    last = -32768;
    b = blockOf({{0, 32767}});
    EXPECT_EQ(zebErrCodeRange, zebiGetHuffmanStatistics8x8_JPEG_16s_C1(b.data(), dc, ac, &last));
    EXPECT_EQ(32767, last);
    EXPECT_EQ(3, dc[0]);
}

}  // namespace
