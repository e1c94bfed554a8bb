// The stateless block encoder against the byte-wise definition of the
// stateful one: the same bits from any starting bit offset, for the Annex K
// tables, a flat table of 8-bit codes (which, with all-ones extra bits,
// makes many 0xFF bytes to stuff) and extreme coefficients; and its scratch
// stores stay within eight bytes past the final offset.
#include <cstring>

#include "huffman_test_util.h"
#include "jpeg/huffman/bitstream.h"
#include "jpeg/huffman/huffman_baseline.h"

namespace {

using namespace hufftest;
using zeb::Path;

constexpr int kScale = zebtest::kSlowRun ? 10 : 1;

// 255 codes of 8 bits for every symbol but 0x10 (which no coder writes).
TableSpec flatTable() {
    TableSpec t{};
    t.bits[7] = 255;
    for (int s = 0; s < 256; ++s)
        if (s != 0x10) t.vals.push_back(static_cast<Zeb8u>(s));
    return t;
}

// Blocks whose extra bits are all ones (values 2^s - 1) or all zeros
// (values -(2^s - 1)), dense or after long runs, besides the shapes of
// randomBlocks.  DC values stay below 2^(maxCat - 1), so that differences
// keep categories up to maxCat.
std::vector<Block> stuffingBlocks(zebtest::Rng& rng, int count, int maxCat) {
    const int half = (1 << (maxCat - 1)) - 1;
    std::vector<Block> blocks = randomBlocks(rng, count, half, (1 << maxCat) - 1);
    for (Block& b : blocks) {
        b[0] = static_cast<Zeb16s>(std::clamp<int>(b[0], -half, half));
        if (rng.chance(0.5)) continue;
        const double density = rng.chance(0.5) ? 0.9 : 0.1;
        for (int k = 1; k < 64; ++k) {
            if (!rng.chance(density)) {
                b[zeb::kZigzagToNatural[k]] = 0;
                continue;
            }
            const int v = (1 << rng.range(1, maxCat)) - 1;
            b[zeb::kZigzagToNatural[k]] = static_cast<Zeb16s>(rng.chance(0.8) ? v : -v);
        }
    }
    return blocks;
}

// Encodes the blocks both ways from a start offset of `lead` bits (random
// bits before, garbage after them in the Direct buffer) and compares the
// padded streams.
void expectSameStream(const std::vector<Block>& blocks, const TableSpec& dcSpec, const TableSpec& acSpec, int lead,
                      zebtest::Rng& rng) {
    EncTable dc = makeEnc(dcSpec), ac = makeEnc(acSpec);
    const std::uint32_t leadBits = rng.next() & ((1u << lead) - 1);

    std::vector<Zeb8u> ref(blocks.size() * 520 + 16);
    zeb::huff::EncodeState st{};
    st.accumulator.set(lead ? std::uint64_t{leadBits} << (24 - lead) : 0);
    st.bitCount = lead;
    int pos = 0;
    Zeb16s last = 0;
    for (const Block& b : blocks)
        ASSERT_EQ(zebOk, zeb::huff::encodeBlock<Path::Scalar>(b.data(), ref.data(), static_cast<int>(ref.size()),
                                                              &pos, &last, dc.rec(), ac.rec(), st));
    ASSERT_EQ(zebOk, zeb::huff::flushByteWise(ref.data(), static_cast<int>(ref.size()), &pos, st));
    ref.resize(pos);

    std::vector<Zeb8u> direct(blocks.size() * 520 + 16);
    for (Zeb8u& x : direct) x = static_cast<Zeb8u>(rng.next());
    direct[0] = static_cast<Zeb8u>((leadBits << (8 - lead)) | (lead ? direct[0] & (0xFF >> lead) : direct[0]));
    int bits = lead;
    last = 0;
    for (const Block& b : blocks) {
        ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_Direct_JPEG_16s1u_C1(b.data(), direct.data(), &bits, &last, dc.get(),
                                                                   ac.get()));
        ASSERT_EQ(0, direct[bits >> 3] & (0xFF >> (bits & 7)));
    }
    EXPECT_EQ(blocks.back()[0], last);
    int end = bits >> 3;
    if (bits & 7) {
        direct[end] = static_cast<Zeb8u>(direct[end] | (0xFF >> (bits & 7)));
        if (direct[end++] == 0xFF) direct[end++] = 0;
    }
    direct.resize(end);
    ASSERT_EQ(ref, direct) << "lead " << lead;
}

TEST(HuffmanDirectEncode, MatchesByteWiseDefinitionFromEveryBitOffset) {
    zebtest::Rng rng(31);
    for (int lead = 0; lead < 8; ++lead) {
        expectSameStream(randomBlocks(rng, 2000 / kScale, 2047, 1023), kDcLuma(), kAcLuma(), lead, rng);
        expectSameStream(stuffingBlocks(rng, 2000 / kScale, 10), kDcChroma(), kAcChroma(), lead, rng);
        // Categories up to 15: the flat table codes every run/size symbol but 0xFF.
        expectSameStream(stuffingBlocks(rng, 2000 / kScale, 15), flatTable(), flatTable(), lead, rng);
    }
}

TEST(HuffmanDirectEncode, StuffedStreamsHaveManyFFBytes) {
    // Guards the previous test's coverage: the flat table with all-ones extra
    // bits really produces stuffing, also in runs.
    zebtest::Rng rng(5);
    const std::vector<Block> blocks = stuffingBlocks(rng, 500, 15);
    EncTable t = makeEnc(flatTable());
    std::vector<Zeb8u> buf(blocks.size() * 520 + 16);
    int bits = 0;
    Zeb16s last = 0;
    for (const Block& b : blocks)
        ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_Direct_JPEG_16s1u_C1(b.data(), buf.data(), &bits, &last, t.get(), t.get()));
    int stuffed = 0, pairs = 0;
    for (int i = 0; i + 3 < (bits >> 3); ++i) {
        stuffed += buf[i] == 0xFF && buf[i + 1] == 0;
        pairs += buf[i] == 0xFF && buf[i + 1] == 0 && buf[i + 2] == 0xFF && buf[i + 3] == 0;
    }
    EXPECT_GT(stuffed, 1000);
    EXPECT_GT(pairs, 50);
}

TEST(HuffmanDirectEncode, ScratchStaysWithinEightBytesPastTheEnd) {
    zebtest::Rng rng(77);
    const std::vector<Block> blocks = stuffingBlocks(rng, 3000 / kScale, 15);
    EncTable t = makeEnc(flatTable());
    std::vector<Zeb8u> buf(blocks.size() * 520 + 64, 0xA5);
    int bits = 0;
    Zeb16s last = 0;
    for (const Block& b : blocks) {
        ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_Direct_JPEG_16s1u_C1(b.data(), buf.data(), &bits, &last, t.get(), t.get()));
        const std::size_t limit = static_cast<std::size_t>(bits >> 3) + 9;
        for (std::size_t i = limit; i < limit + 32 && i < buf.size(); ++i) ASSERT_EQ(0xA5, buf[i]) << i;
    }
}

}  // namespace
