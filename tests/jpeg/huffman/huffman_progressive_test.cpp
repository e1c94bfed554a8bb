// Progressive (spectral selection, successive approximation) block coding:
// exact bit strings of the T.81 Annex G rules, whole multi-scan round trips
// through a typical script (with restart intervals and optimal tables), and
// hostile input for the decoders.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "jpeg/huffman/huffman_test_util.h"
#include "jpeg/huffman/scan_coder.h"

namespace {

using hufftest::codeOf;
using hufftest::stuffedBits;
using hufftest::Block;

// An AC table listing the symbols 0 to 254, all 8 bits long, so that every
// EOBn, ZRL and run/size symbol has a code.
hufftest::TableSpec allSymbols() {
    hufftest::TableSpec t{};
    t.bits[7] = 255;
    for (int v = 0; v < 255; ++v) t.vals.push_back(static_cast<Zeb8u>(v));
    return t;
}

// Encodes a sequence of blocks in one AC scan (first or refinement) and
// flushes; returns the bytes.
std::vector<Zeb8u> encodeAcScan(bool refine, const std::vector<Block>& blocks, int ss, int se, int al,
                                hufftest::EncTable& table) {
    std::vector<Zeb8u> out(64 + blocks.size() * 160);
    int pos = 0;
    hufftest::EncState st;
    auto fn = refine ? zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1 : zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1;
    for (const Block& b : blocks)
        EXPECT_EQ(zebOk, fn(b.data(), out.data(), static_cast<int>(out.size()), &pos, ss, se, al, table.get(), st.get(), 0));
    EXPECT_EQ(zebOk, fn(nullptr, out.data(), static_cast<int>(out.size()), &pos, ss, se, al, table.get(), st.get(), 1));
    out.resize(pos);
    return out;
}

TEST(ProgressiveEncode, AcFirstRunsAndSymbols) {
    const hufftest::TableSpec spec = allSymbols();
    hufftest::EncTable t = hufftest::makeEnc(spec);
    // Three empty bands, then 3 at position 1: EOB1 with run bit 1, then
    // symbol 0x02 with bits 11; that block's empty rest is a run of one,
    // written by the flush as EOB0.
    std::vector<Block> blocks(3);
    blocks.push_back(hufftest::blockOf({{1, 3}}));
    EXPECT_EQ(encodeAcScan(false, blocks, 1, 5, 0, t),
              stuffedBits(codeOf(spec, 0x10) + "1" + codeOf(spec, 0x02) + "11" + codeOf(spec, 0x00)));
    // Al = 1: +-1 vanish, -3 becomes size 1 with the one's-complement bit 0;
    // a run of 17 zeros needs a ZRL; the band ends in an EOB run of one.
    blocks = {hufftest::blockOf({{1, 1}, {2, -1}, {3, -3}, {21, 4}})};
    EXPECT_EQ(encodeAcScan(false, blocks, 1, 63, 1, t),
              stuffedBits(codeOf(spec, 0x21) + "0" + codeOf(spec, 0xF0) + codeOf(spec, 0x12) + "10" +
                          codeOf(spec, 0x00)));
    // A pending run of 2 at the flush: EOB1 with bit 0, padded with 1-bits.
    blocks = {Block{}, Block{}};
    EXPECT_EQ(encodeAcScan(false, blocks, 1, 5, 0, t), stuffedBits(codeOf(spec, 0x10) + "0"));
}

TEST(ProgressiveEncode, LongestRunIsEmittedAtOnce) {
    const hufftest::TableSpec spec = allSymbols();
    hufftest::EncTable t = hufftest::makeEnc(spec);
    std::vector<Zeb8u> out(64);
    int pos = 0;
    hufftest::EncState st;
    const Block zero{};
    for (int i = 0; i < 32766; ++i)
        ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(zero.data(), out.data(), 64, &pos, 1, 5, 0, t.get(),
                                                                    st.get(), 0));
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(st.s.eobRun, 32766);
    EXPECT_EQ(st.s.bitCount, 0);
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(zero.data(), out.data(), 64, &pos, 1, 5, 0, t.get(),
                                                                st.get(), 0));
    EXPECT_EQ(st.s.eobRun, 0);
    EXPECT_EQ(st.s.bitCount, 8 + 14);  // EOB14 and its 14 one-bits stay pending
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(nullptr, out.data(), 64, &pos, 1, 5, 0, t.get(),
                                                                st.get(), 1));
    out.resize(pos);
    EXPECT_EQ(out, stuffedBits(codeOf(spec, 0xE0) + std::string(14, '1')));
}

TEST(ProgressiveEncode, AcRefinementCorrectionBits) {
    const hufftest::TableSpec spec = allSymbols();
    hufftest::EncTable t = hufftest::makeEnc(spec);
    // 3 is known (correction bit 1), a new 1 at position 2: symbol 0x01, sign
    // 1, then the buffered correction bit.
    std::vector<Block> blocks = {hufftest::blockOf({{1, 3}, {2, 1}})};
    EXPECT_EQ(encodeAcScan(true, blocks, 1, 2, 0, t), stuffedBits(codeOf(spec, 0x01) + "1" + "1"));
    // Correction bits of blocks inside an EOB run wait for the run's symbol:
    // block 1 has only a known 2 (bit 0), block 2 a known 5 (bit 1), block 3
    // a new -1 at position 1 (symbol 0x01, sign 0).
    blocks = {hufftest::blockOf({{3, 2}}), hufftest::blockOf({{2, 5}}), hufftest::blockOf({{1, -1}})};
    EXPECT_EQ(encodeAcScan(true, blocks, 1, 5, 0, t),
              stuffedBits(codeOf(spec, 0x10) + "0" + "0" + "1" + codeOf(spec, 0x01) + "0" + codeOf(spec, 0x00)));
}

TEST(ProgressiveEncode, DcScansAndChecks) {
    const hufftest::TableSpec dcSpec = hufftest::kDcLuma();
    hufftest::EncTable dc = hufftest::makeEnc(dcSpec);
    std::vector<Zeb8u> out(16);
    int pos = 0;
    Zeb16s last = 0;
    hufftest::EncState st;
    const Block b = hufftest::blockOf({{0, -5}});
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(b.data(), out.data(), 16, &pos, &last, 1, dc.get(),
                                                                st.get(), 0));
    EXPECT_EQ(last, -3);  // -5 >> 1
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(nullptr, out.data(), 16, &pos, nullptr, 1, nullptr,
                                                                st.get(), 1));
    out.resize(pos);
    EXPECT_EQ(out, stuffedBits(codeOf(dcSpec, 2) + "00"));

    std::vector<Zeb8u> ref(4);
    pos = 0;
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(b.data(), ref.data(), 4, &pos, 0, st.get(), 0));
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(b.data(), ref.data(), 4, &pos, 1, st.get(), 0));
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(nullptr, ref.data(), 4, &pos, 0, st.get(), 1));
    ref.resize(pos);
    EXPECT_EQ(ref, stuffedBits("1" "1"));  // -5 = ...11111011: bits 0 and 1 are 1

    // Check order: pDst, dstLenBytes, state pointers, the flush, then the
    // block, the point transform and the band.
    hufftest::EncTable ac = hufftest::makeEnc(allSymbols());
    Zeb8u buf[8];
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(b.data(), nullptr, 0, &pos, 0, 0, 99, ac.get(), st.get(), 0));
    EXPECT_EQ(zebErrSize, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(b.data(), buf, 0, nullptr, 0, 0, 99, ac.get(), st.get(), 0));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(b.data(), buf, 8, &pos, 0, 0, 99, nullptr, st.get(), 1));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(nullptr, buf, 8, &pos, 0, 0, 99, ac.get(), st.get(), 0));
    for (auto [ss, se, al] : {std::array{0, 5, 0}, std::array{6, 5, 0}, std::array{1, 64, 0}, std::array{1, 5, 14},
                              std::array{1, 5, -1}}) {
        EXPECT_EQ(zebErrBadArg, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(b.data(), buf, 8, &pos, ss, se, al, ac.get(), st.get(), 0));
        EXPECT_EQ(zebErrBadArg, zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(b.data(), buf, 8, &pos, ss, se, al, ac.get(), st.get(), 0));
        Zeb32s stats[256] = {};
        EXPECT_EQ(zebErrBadArg, zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(b.data(), stats, ss, se, al, st.get(), 0));
    }
    EXPECT_EQ(zebErrBadArg, zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(b.data(), buf, 8, &pos, &last, 14, nullptr, st.get(), 0));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(b.data(), buf, 8, &pos, &last, 13, nullptr, st.get(), 0));
    EXPECT_EQ(zebErrBadArg, zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(b.data(), buf, 8, &pos, 14, st.get(), 0));
    // A category above 11 in a DC first scan.
    const Block big = hufftest::blockOf({{0, 4096}});
    last = 0;
    EXPECT_EQ(zebErrCodeRange, zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(big.data(), buf, 8, &pos, &last, 0, dc.get(), st.get(), 0));
}

// ---- decoding examples ---------------------------------------------------------------------------

struct Stream {
    std::vector<Zeb8u> bytes;
    int pos = 0, marker = 0;
    hufftest::DecState st;
};

Stream streamOf(const std::string& bits) {
    Stream s;
    s.bytes = stuffedBits(bits);
    s.bytes.push_back(0xFF);
    s.bytes.push_back(0xD9);
    return s;
}

TEST(ProgressiveDecode, StatedExamples) {
    const hufftest::TableSpec spec = allSymbols();
    hufftest::DecTable t = hufftest::makeDec(spec);
    // EOB2 with bits 01 starts a run of 5 blocks.
    Stream s = streamOf(codeOf(spec, 0x20) + "01");
    Block b{};
    b[1] = 9;
    for (int expectRun : {4, 3, 2, 1, 0}) {
        ASSERT_EQ(zebOk, zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(s.bytes.data(), (int)s.bytes.size(), &s.pos, b.data(),
                                                                    &s.marker, 1, 63, 0, t.get(), s.st.get()));
        EXPECT_EQ(s.st.s.eobRun, expectRun);
        EXPECT_EQ(b[1], 9);
    }
    // Al = 2: symbol 0x01 with bit 1 stores 4, with bit 0 stores -4.
    for (auto [bit, expect] : {std::pair{"1", 4}, std::pair{"0", -4}}) {
        s = streamOf(codeOf(spec, 0x01) + bit + codeOf(spec, 0x00));
        b = Block{};
        ASSERT_EQ(zebOk, zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(s.bytes.data(), (int)s.bytes.size(), &s.pos, b.data(),
                                                                    &s.marker, 1, 63, 2, t.get(), s.st.get()));
        EXPECT_EQ(b[1], expect);
    }
    // Refinement, Al = 1, band Se-1..Se holding x and 0: symbol 0x01, sign 0,
    // correction 1.
    for (auto [x, xAfter] : {std::pair{6, 6}, std::pair{4, 6}, std::pair{-4, -6}}) {
        s = streamOf(codeOf(spec, 0x01) + "0" + "1");
        b = Block{};
        b[zeb::kZigzagToNatural[9]] = static_cast<Zeb16s>(x);
        ASSERT_EQ(zebOk, zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(s.bytes.data(), (int)s.bytes.size(), &s.pos, b.data(),
                                                                     &s.marker, 9, 10, 1, t.get(), s.st.get()));
        EXPECT_EQ(b[zeb::kZigzagToNatural[9]], xAfter);
        EXPECT_EQ(b[zeb::kZigzagToNatural[10]], -2);
    }
    // DC first, Al = 3: difference 2 from 1 gives 3 and pDst[0] = 24; DC
    // refinement with Al = 2 and bit 1 gives 28.
    const hufftest::TableSpec dcSpec = hufftest::kDcLuma();
    hufftest::DecTable dc = hufftest::makeDec(dcSpec);
    s = streamOf(codeOf(dcSpec, 2) + "10" + "1");
    Zeb16s last = 1;
    b = Block{};
    ASSERT_EQ(zebOk, zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(s.bytes.data(), (int)s.bytes.size(), &s.pos, b.data(),
                                                                &last, &s.marker, 3, dc.get(), s.st.get()));
    EXPECT_EQ(last, 3);
    EXPECT_EQ(b[0], 24);
    ASSERT_EQ(zebOk, zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(s.bytes.data(), (int)s.bytes.size(), &s.pos, b.data(),
                                                                 &s.marker, 2, s.st.get()));
    EXPECT_EQ(b[0], 28);
    // srcLenBytes 0 and out-of-range arguments.
    EXPECT_EQ(zebErrSize, zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(s.bytes.data(), 0, &s.pos, b.data(), &s.marker, 2, s.st.get()));
    EXPECT_EQ(zebErrBadArg, zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(s.bytes.data(), 4, &s.pos, b.data(), &s.marker, 2, 1, 0,
                                                                       nullptr, nullptr));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(s.bytes.data(), 4, &s.pos, b.data(), &s.marker, 1, 1, 0,
                                                                         t.get(), nullptr));
}

// ---- multi-scan round trips -----------------------------------------------------------------------

// libjpeg-style simple progression for colour images: component (-1: all,
// interleaved), Ss, Se, Ah, Al.
const int kScript[][5] = {{-1, 0, 0, 0, 1}, {0, 1, 5, 0, 2}, {2, 1, 63, 0, 1}, {1, 1, 63, 0, 1}, {0, 6, 63, 0, 2},
                          {0, 1, 63, 2, 1}, {-1, 0, 0, 1, 0}, {2, 1, 63, 1, 0}, {1, 1, 63, 1, 0}, {0, 1, 63, 1, 0}};

// `comps` components of one row of blocks each; random blocks (maxAc > 0)
// with DC values within +-2000, so that restart intervals (which code the
// DC itself as the difference) stay within the DC categories.
scancoder::File randomImage(zebtest::Rng& rng, int comps, int blocks, int maxAc) {
    scancoder::File p;
    p.progressive = true;
    p.width = 8 * blocks, p.height = 8;
    p.comps.assign(comps, scancoder::Component{});
    for (auto& c : p.comps) c.h = c.v = 1;
    scancoder::layOut(p);
    for (auto& c : p.comps) {
        if (maxAc == 0) break;
        const auto bl = hufftest::randomBlocks(rng, blocks, 2000, maxAc);
        for (int i = 0; i < blocks; ++i) {
            c.coef[i] = bl[i];
            c.coef[i][0] = static_cast<Zeb16s>(std::clamp<int>(bl[i][0], -2000, 2000));
        }
    }
    return p;
}

// Every scan of the script coded with the all-symbol tables or with optimal
// tables from the scan's statistics, through a destination that ends
// `chunk` bytes after each call's position, and decoded into a second image.
void roundTrip(const scancoder::File& img, int restart, bool optimal, int chunk) {
    scancoder::File src = img, dec = img;
    for (auto& c : dec.comps) std::fill(c.coef.begin(), c.coef.end(), Block{});
    for (const auto& s : kScript) {
        if (s[0] >= static_cast<int>(img.comps.size())) continue;  // a greyscale image uses the luma scans
        scancoder::Scan sc{};
        for (int c = 0; c < static_cast<int>(img.comps.size()); ++c)
            if (s[0] < 0 || s[0] == c) sc.comps.push_back(c);
        sc.dcTable.assign(sc.comps.size(), 0);
        sc.acTable.assign(sc.comps.size(), 0);
        sc.ss = s[1], sc.se = s[2], sc.ah = s[3], sc.al = s[4], sc.restart = restart;
        sc.tables = {{0, allSymbols()}, {16, allSymbols()}};
        std::map<int, std::vector<Zeb32s>> stats;
        if (optimal) {
            scancoder::encodeScan(src, sc, stats);
            for (auto& [key, spec] : sc.tables) {
                spec.vals.assign(256, 0);
                ASSERT_EQ(zebOk, zebiEncodeHuffmanRawTableInit_JPEG_8u(stats[key].data(), spec.bits.data(), spec.vals.data()));
            }
        }
        std::vector<Zeb8u> data = scancoder::encodeScan(src, sc, stats, chunk);
        data.push_back(0xFF), data.push_back(0xD9);
        sc.start = 0;
        scancoder::decodeScan(data, dec, sc);
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "scan Ss " << sc.ss << " Se " << sc.se;
    }
    for (std::size_t c = 0; c < img.comps.size(); ++c)
        for (std::size_t i = 0; i < img.comps[c].coef.size(); ++i)
            ASSERT_EQ(img.comps[c].coef[i], dec.comps[c].coef[i]) << "component " << c << " block " << i;
}

TEST(ProgressiveRoundTrip, ScriptRebuildsEveryCoefficient) {
    zebtest::Rng rng(2024);
    const int blocks = zebtest::kSlowRun ? 300 : 1500;
    const scancoder::File img = randomImage(rng, 3, blocks, 2047);
    roundTrip(img, 0, false, 1 << 20);
    roundTrip(img, 0, true, 1 << 20);
}

TEST(ProgressiveRoundTrip, RestartIntervalsAndSmallDestinationSteps) {
    zebtest::Rng rng(77);
    const scancoder::File img = randomImage(rng, 3, 200, 1000);
    for (int restart : {1, 7, 64}) roundTrip(img, restart, true, 1 << 20);
    roundTrip(img, 5, false, 200);  // each call sees a destination ending soon after its position
}

TEST(ProgressiveRoundTrip, StatisticsMatchTheEncodersSymbols) {
    // The optimal table built from the statistics codes every symbol the
    // encoder writes (no zebErrHuffTable), and sparse images produce long
    // end-of-band runs that cross the 32767 limit.
    zebtest::Rng rng(5);
    scancoder::File img = randomImage(rng, 1, 40000, 0);
    for (int i = 0; i < 40000; i += 997)
        img.comps[0].coef[i][zeb::kZigzagToNatural[3]] = static_cast<Zeb16s>(rng.range(-40, 40) | 1);
    roundTrip(img, 0, true, 1 << 20);
}

// ---- hostile input ---------------------------------------------------------------------------------

TEST(ProgressiveDecode, RandomStreamsStayInsideTheirBytes) {
    zebtest::Rng rng(99);
    hufftest::DecTable ac = hufftest::makeDec(allSymbols());
    hufftest::DecTable dc = hufftest::makeDec(hufftest::kDcLuma());
    for (int trial = 0; trial < 3000; ++trial) {
        const int len = static_cast<int>(rng.range(1, 64));
        zebtest::PageGuardedBuffer buf(len);
        for (int i = 0; i < len; ++i) buf.data()[i] = static_cast<Zeb8u>(rng.chance(0.1) ? 0xFF : rng.next());
        int pos = 0, marker = 0;
        hufftest::DecState st;
        Block b{};
        const int ss = static_cast<int>(rng.range(1, 63));
        const int se = static_cast<int>(rng.range(ss, 63));
        const int al = static_cast<int>(rng.range(0, 13));
        for (int call = 0; call < 40; ++call) {
            ZebResult r;
            switch (call % 4) {
                case 0: r = zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(buf.data(), len, &pos, b.data(), &marker, ss, se, al, ac.get(), st.get()); break;
                case 1: r = zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(buf.data(), len, &pos, b.data(), &marker, ss, se, al, ac.get(), st.get()); break;
                case 2: {
                    Zeb16s last = 0;
                    r = zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(buf.data(), len, &pos, b.data(), &last, &marker, al, dc.get(), st.get());
                    break;
                }
                default: r = zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(buf.data(), len, &pos, b.data(), &marker, al, st.get());
            }
            ASSERT_TRUE(r == zebOk || r == zebErrBufferEnd || r == zebErrCodeRange || r == zebErrBlockOverrun) << r;
            ASSERT_LE(pos, len);
            if (r != zebOk) break;
        }
    }
}

TEST(ProgressiveDecode, TruncatedAndInterruptedStreams) {
    const hufftest::TableSpec spec = allSymbols();
    hufftest::DecTable t = hufftest::makeDec(spec);
    // A symbol whose extra bits run past the end of the bytes: buffer end.
    std::vector<Zeb8u> cut = {0x05};  // symbol 0x05 (size 5), no extra bits left
    int pos = 0, marker = 0;
    hufftest::DecState st;
    Block b{};
    EXPECT_EQ(zebErrBufferEnd, zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(cut.data(), 1, &pos, b.data(), &marker, 1, 63, 0, t.get(), st.get()));
    EXPECT_EQ(pos, 1);
    // The same with a marker after it: code range, marker recorded.
    std::vector<Zeb8u> marked = {0x05, 0xFF, 0xD3};
    pos = 0;
    st = hufftest::DecState{};
    EXPECT_EQ(zebErrCodeRange, zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(marked.data(), 3, &pos, b.data(), &marker, 1, 63, 0, t.get(), st.get()));
    EXPECT_EQ(marker, 0xD3);
    EXPECT_EQ(pos, 3);
    // A run that carries the position past the table: block overrun.
    // Runs of 14 reach position 61; a run of 15 then lands at 76.
    std::string bits;
    for (int i = 0; i < 4; ++i) bits += codeOf(spec, 0xE1) + "1";
    std::vector<Zeb8u> overrun = stuffedBits(bits + codeOf(spec, 0xF1) + "1");
    overrun.push_back(0xFF);
    overrun.push_back(0xD9);
    marker = 0;
    pos = 0;
    st = hufftest::DecState{};
    EXPECT_EQ(zebErrBlockOverrun, zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(overrun.data(), (int)overrun.size(), &pos, b.data(), &marker, 1, 63, 0, t.get(), st.get()));
}

}  // namespace
