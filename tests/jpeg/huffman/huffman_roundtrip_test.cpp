// Round trips of many seeded random blocks through the encoder and decoder,
// with the Annex K tables and with optimal tables from the statistics; the
// fast and byte-wise paths run in lockstep and must agree on every byte,
// position and state.  Also: streaming with small buffers, the stateless
// variants, and corrupted streams read from page-guarded memory.
#include <cstring>

#include "huffman_test_util.h"
#include "jpeg/huffman/huffman_baseline.h"

namespace {

using namespace hufftest;
using zeb::Path;

constexpr int kScale = zebtest::kSlowRun ? 10 : 1;  // qemu and ASan runs are slower

struct TableSet {
    EncTable dcE, acE;
    DecTable dcD, acD;
};

TableSet tablesFrom(const TableSpec& dc, const TableSpec& ac) {
    return {makeEnc(dc), makeEnc(ac), makeDec(dc), makeDec(ac)};
}

// Optimal tables from the statistics of the blocks.
TableSet optimalTables(const std::vector<Block>& blocks) {
    std::vector<Zeb32s> dcStat(256, 0), acStat(256, 0);
    Zeb16s last = 0;
    for (const Block& b : blocks)
        EXPECT_EQ(zebOk, zebiGetHuffmanStatistics8x8_JPEG_16s_C1(b.data(), dcStat.data(), acStat.data(), &last));
    TableSpec dc, ac;
    dc.vals.resize(256);
    ac.vals.resize(256);
    EXPECT_EQ(zebOk, zebiEncodeHuffmanRawTableInit_JPEG_8u(dcStat.data(), dc.bits.data(), dc.vals.data()));
    EXPECT_EQ(zebOk, zebiEncodeHuffmanRawTableInit_JPEG_8u(acStat.data(), ac.bits.data(), ac.vals.data()));
    return tablesFrom(dc, ac);
}

// Number of data bytes before each source position (0xFF 0x00 is one data
// byte, 0xFF fill bytes none; counting stops at a marker), so that readers
// holding different amounts of read-ahead can be compared by the bit they
// have reached.
std::vector<long long> dataBytesBefore(const Zeb8u* s, int len) {
    std::vector<long long> before(len + 1, 0);
    long long data = 0;
    int i = 0;
    while (i < len) {
        int next;
        bool marker = false;
        if (s[i] != 0xFF) {
            next = i + 1;
        } else {
            int j = i + 1;
            while (j < len && s[j] == 0xFF) ++j;
            marker = j < len && s[j] != 0;
            next = j + 1;
        }
        for (int p = i + 1; p <= next && p <= len; ++p) before[p] = data + (marker ? 0 : (p == next));
        if (!marker) ++data;
        i = next;
        if (marker) {
            for (int p = next; p <= len; ++p) before[p] = data;
            break;
        }
    }
    return before;
}

// Encodes a scan with both paths in lockstep; returns the stream (flushed)
// and counts the blocks the fast path finished.
std::vector<Zeb8u> encodeLockstep(const std::vector<Block>& blocks, TableSet& t, int& fastBlocks) {
    const int cap = static_cast<int>(blocks.size()) * 300 + 64;
    std::vector<Zeb8u> a(cap, 0xCC), b(cap, 0xCC);
    EncState sa, sb;
    int pa = 0, pb = 0;
    Zeb16s la = 0, lb = 0;
    fastBlocks = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const ZebResult ra = zeb::huff::encodeBlock<Path::Scalar>(blocks[i].data(), a.data(), cap, &pa, &la,
                                                                  t.dcE.rec(), t.acE.rec(), sa.s);
        ZebResult rb = zebOk;
        if (zeb::huff::encodeBlockFast(blocks[i].data(), b.data(), cap, &pb, &lb, t.dcE.rec(), t.acE.rec(), sb.s))
            ++fastBlocks;
        else
            rb = zeb::huff::encodeBlock<Path::Scalar>(blocks[i].data(), b.data(), cap, &pb, &lb, t.dcE.rec(),
                                                      t.acE.rec(), sb.s);
        EXPECT_EQ(zebOk, ra);
        EXPECT_EQ(ra, rb);
        EXPECT_EQ(pa, pb);
        EXPECT_EQ(la, lb);
        if (std::memcmp(&sa.s, &sb.s, sizeof sa.s) != 0 || pa != pb) {
            ADD_FAILURE() << "paths differ at block " << i;
            break;
        }
    }
    EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, a.data(), cap, &pa, nullptr, nullptr, nullptr, sa.get(), 1));
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), pb));
    a.resize(pa);
    return a;
}

// Decodes a scan with both paths in lockstep, requiring the original blocks.
void decodeLockstep(const std::vector<Zeb8u>& stream, const std::vector<Block>& blocks, TableSet& t,
                    int& fastBlocks) {
    const int len = static_cast<int>(stream.size());
    const std::vector<long long> before = dataBytesBefore(stream.data(), len);
    DecState sa, sb;
    int pa = 0, pb = 0, ma = 0, mb = 0;
    Zeb16s la = 0, lb = 0;
    Block oa, ob;
    fastBlocks = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const ZebResult ra = zeb::huff::decodeBlock<Path::Scalar>(stream.data(), len, &pa, oa.data(), &la, &ma,
                                                                  t.dcD.rec(), t.acD.rec(), sa.s);
        ZebResult rb = zebOk;
        if (zeb::huff::decodeBlockFast(stream.data(), len, &pb, ob.data(), &lb, mb, t.dcD.rec(), t.acD.rec(), sb.s))
            ++fastBlocks;
        else
            rb = zeb::huff::decodeBlock<Path::Scalar>(stream.data(), len, &pb, ob.data(), &lb, &mb, t.dcD.rec(),
                                                      t.acD.rec(), sb.s);
        ASSERT_EQ(zebOk, ra) << "block " << i;
        ASSERT_EQ(zebOk, rb) << "block " << i;
        ASSERT_EQ(blocks[i], oa) << "block " << i;
        ASSERT_EQ(blocks[i], ob) << "block " << i;
        ASSERT_EQ(la, lb);
        ASSERT_EQ(8 * before[pa] - sa.s.bitCount, 8 * before[pb] - sb.s.bitCount) << "block " << i;
        ASSERT_LE(sb.s.bitCount, 32);
    }
    // Only padding is left: the reader met the end marker or stands before it.
    EXPECT_TRUE(ma == 0xD9 || (stream[pa] == 0xFF && stream[pa + 1] == 0xD9));
    EXPECT_LT(sa.s.bitCount, 8);
}

// Encodes through the exported function into a small buffer that the caller
// empties whenever it fills, re-encoding the block from saved state.
std::vector<Zeb8u> encodeStreaming(const std::vector<Block>& blocks, TableSet& t, int cap) {
    std::vector<Zeb8u> out, chunk(cap);
    EncState st;
    int pos = 0;
    Zeb16s last = 0;
    auto call = [&](const Block* b) {
        for (;;) {
            const EncState savedState = st;
            const Zeb16s savedLast = last;
            const int savedPos = pos;
            const ZebResult r = zebiEncodeHuffman8x8_JPEG_16s1u_C1(b ? b->data() : nullptr, chunk.data(), cap, &pos,
                                                                  &last, t.dcE.get(), t.acE.get(), st.get(), b == nullptr);
            if (r != zebErrBufferEnd) return r;
            st = savedState;
            last = savedLast;
            out.insert(out.end(), chunk.begin(), chunk.begin() + savedPos);
            pos = 0;
            if (savedPos == 0) {
                cap *= 2;
                chunk.resize(cap);
            }
        }
    };
    for (const Block& b : blocks) EXPECT_EQ(zebOk, call(&b));
    EXPECT_EQ(zebOk, call(nullptr));
    out.insert(out.end(), chunk.begin(), chunk.begin() + pos);
    return out;
}

// Decodes through the exported function with a source that grows by a few
// bytes whenever the decoder runs out, retrying the block from saved state.
void decodeStreaming(const std::vector<Zeb8u>& stream, const std::vector<Block>& blocks, TableSet& t,
                     zebtest::Rng& rng) {
    DecState st;
    int pos = 0, marker = 0, avail = 0;
    Zeb16s last = 0;
    Block out;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        for (;;) {
            const DecState savedState = st;
            const int savedPos = pos, savedMarker = marker;
            const Zeb16s savedLast = last;
            const ZebResult r = zebiDecodeHuffman8x8_JPEG_1u16s_C1(stream.data(), avail, &pos, out.data(), &last,
                                                                  &marker, t.dcD.get(), t.acD.get(), st.get());
            if (r == zebOk) break;
            ASSERT_EQ(zebErrBufferEnd, r);
            ASSERT_LT(avail, static_cast<int>(stream.size()));
            st = savedState;
            pos = savedPos;
            marker = savedMarker;
            last = savedLast;
            avail = std::min(static_cast<int>(stream.size()), avail + static_cast<int>(rng.range(1, 40)));
        }
        ASSERT_EQ(blocks[i], out) << "block " << i;
    }
}

void roundTrip(const std::vector<Block>& blocks, TableSet& t, zebtest::Rng& rng) {
    int fastEnc = 0, fastDec = 0;
    std::vector<Zeb8u> stream = encodeLockstep(blocks, t, fastEnc);
    EXPECT_GT(fastEnc, static_cast<int>(blocks.size()) * 9 / 10);
    // Small destination buffers give the same bytes.
    for (int cap : {1, 7, 40, 700}) EXPECT_EQ(stream, encodeStreaming(blocks, t, cap)) << cap;
    stream.push_back(0xFF);
    stream.push_back(0xD9);
    decodeLockstep(stream, blocks, t, fastDec);
    EXPECT_GT(fastDec, static_cast<int>(blocks.size()) * 9 / 10);
    decodeStreaming(stream, blocks, t, rng);
}

TEST(HuffmanRoundTrip, AnnexKTables) {
    zebtest::Rng rng(2024);
    TableSet luma = tablesFrom(kDcLuma(), kAcLuma());
    TableSet chroma = tablesFrom(kDcChroma(), kAcChroma());
    for (int rep = 0; rep < 5; ++rep) {
        const std::vector<Block> blocks = randomBlocks(rng, 10000 / kScale, 2047, 1023);
        roundTrip(blocks, rep % 2 ? chroma : luma, rng);
    }
}

TEST(HuffmanRoundTrip, OptimalTablesWithExtremes) {
    zebtest::Rng rng(99);
    for (int rep = 0; rep < 5; ++rep) {
        // Categories up to 15 (DC) and 14 (AC), the statistics' limits.
        const std::vector<Block> blocks = randomBlocks(rng, 10000 / kScale, 32767, 16383);
        TableSet t = optimalTables(blocks);
        roundTrip(blocks, t, rng);
    }
}

// The stateless variants continue a bit-addressed buffer: their bits equal
// the stateful stream (the caller pads), and they decode it back.
TEST(HuffmanRoundTrip, DirectVariants) {
    zebtest::Rng rng(7);
    const std::vector<Block> blocks = randomBlocks(rng, 5000 / kScale, 2047, 1023);
    TableSet t = tablesFrom(kDcLuma(), kAcLuma());

    // Stateful reference starting with the pending bits 101.
    std::vector<Zeb8u> ref(blocks.size() * 300);
    EncState st;
    st.s.accumulator.set(std::uint64_t{5} << 21);
    st.s.bitCount = 3;
    int pos = 0;
    Zeb16s last = 0;
    for (const Block& b : blocks)
        ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(b.data(), ref.data(), static_cast<int>(ref.size()), &pos,
                                                            &last, t.dcE.get(), t.acE.get(), st.get(), 0));
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, ref.data(), static_cast<int>(ref.size()), &pos,
                                                        nullptr, nullptr, nullptr, st.get(), 1));
    ref.resize(pos);

    std::vector<Zeb8u> direct(blocks.size() * 300 + 16, 0x00);
    direct[0] = 0xA7;  // 101 then bits that must be cleared
    int bits = 3;
    last = 0;
    for (const Block& b : blocks) {
        ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_Direct_JPEG_16s1u_C1(b.data(), direct.data(), &bits, &last,
                                                                   t.dcE.get(), t.acE.get()));
        ASSERT_EQ(0, direct[bits >> 3] & (0xFF >> (bits & 7)));  // the bits after the position are zero
    }
    EXPECT_EQ(blocks.back()[0], last);
    // Pad the last partial byte with ones as the caller would.
    int end = bits >> 3;
    if (bits & 7) {
        direct[end] |= static_cast<Zeb8u>(0xFF >> (bits & 7));
        if (direct[end] == 0xFF) direct[++end] = 0;
        ++end;
    }
    direct.resize(end);
    ASSERT_EQ(ref, direct);

    // Decode with the first three bits already taken: the rest of the first
    // byte is prefetched.
    std::vector<Zeb8u> src = ref;
    src.push_back(0xFF);
    src.push_back(0xD9);
    int srcBits = 8, marker = 0, valid = 5;
    Zeb32u pre = src[0];
    last = 0;
    Block out;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_EQ(zebOk, zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(src.data(), &srcBits, out.data(), &last, &marker,
                                                                   &pre, &valid, t.dcD.get(), t.acD.get()));
        ASSERT_EQ(blocks[i], out) << i;
        ASSERT_EQ(0, srcBits & 7);
        ASSERT_LE(valid, 32);
    }
    // Past the end: only padding (dropped by the caller) and the marker are left.
    EXPECT_LT(valid, 8);
    const int endBits = srcBits;
    out.fill(5);
    valid = 0;
    EXPECT_EQ(zebOk, zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(src.data(), &srcBits, out.data(), &last, &marker, &pre,
                                                               &valid, t.dcD.get(), t.acD.get()));
    EXPECT_EQ(Block{}, out);
    EXPECT_EQ(endBits, srcBits);
    EXPECT_EQ(0xD9, marker);
}

// Stateless decoder at the end of its data (Annex K codes: DC 2 = 011,
// DC 3 = 100, DC 5 = 110, DC 9 = 1111110; AC 0x01 = 00).
TEST(HuffmanRoundTrip, DirectDecoderStopsAtMarkers) {
    TableSet t = tablesFrom(kDcLuma(), kAcLuma());
    Block out;
    struct Case {
        std::vector<Zeb8u> bytes;
        ZebResult want;
        Block block;
        int srcBits;  // -1: not checked
    } cases[] = {
        // 011 11 | 00 1: DC 3, AC 1, then the marker ends the block.
        {{0x79, 0xFF, 0xD0}, zebOk, {3, 1}, 24},
        // 100 000 | 00: DC -7, AC symbol 0x01 without its extra bit.
        {{0x80, 0xFF, 0xD1}, zebErrBufferEnd, {-7}, -1},
        // Sixteen 1-bits: no DC code.
        {{0xFF, 0x00, 0xFF, 0x00, 0xFF, 0xD9}, zebErrCodeRange, {}, -1},
        // 110 11111: DC 31, then nothing: the block ends.
        {{0xDF, 0xFF, 0xD9}, zebOk, {31}, 24},
        // 1111110 1: DC category 9 with one extra bit.
        {{0xFE, 0xFF, 0xD9}, zebErrBufferEnd, {}, -1},
    };
    for (const Case& c : cases) {
        int srcBits = 0, marker = 0, valid = 0;
        Zeb32u pre = 0;
        Zeb16s last = 0;
        out.fill(77);
        EXPECT_EQ(c.want, zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(c.bytes.data(), &srcBits, out.data(), &last, &marker,
                                                                    &pre, &valid, t.dcD.get(), t.acD.get()));
        EXPECT_EQ(c.block, out) << int(c.bytes[0]);
        EXPECT_EQ(c.bytes.back(), marker);
        if (c.srcBits >= 0) {
            EXPECT_EQ(c.srcBits, srcBits);
        }
    }
}

// Corrupted streams: both decoder paths agree call by call, report the
// expected statuses, and never read past the end of the source.
TEST(HuffmanRoundTrip, CorruptStreamsAgreeAndStayInBounds) {
    zebtest::Rng rng(31337);
    TableSet t = tablesFrom(kDcLuma(), kAcLuma());
    const std::vector<Block> blocks = randomBlocks(rng, 400, 2047, 1023);
    int fast = 0;
    std::vector<Zeb8u> stream = encodeLockstep(blocks, t, fast);
    int seen[3] = {0, 0, 0};
    for (int iter = 0; iter < 600 / kScale; ++iter) {
        std::vector<Zeb8u> bad = stream;
        const int edits = static_cast<int>(rng.range(1, 6));
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = static_cast<std::size_t>(rng.range(0, static_cast<long long>(bad.size()) - 1));
            switch (rng.range(0, 3)) {
                case 0: bad[at] = static_cast<Zeb8u>(rng.next()); break;
                case 1: bad[at] = 0xFF; break;
                case 2: bad.insert(bad.begin() + at, {0xFF, static_cast<Zeb8u>(0xD0 + rng.range(0, 7))}); break;
                default: bad.resize(at + 1); break;
            }
        }
        const bool terminated = rng.chance(0.5);
        if (terminated) {
            bad.push_back(0xFF);
            bad.push_back(0xD9);
        }
        const int len = static_cast<int>(bad.size());
        zebtest::PageGuardedBuffer src(bad.size());
        std::memcpy(src.data(), bad.data(), bad.size());
        const std::vector<long long> before = dataBytesBefore(src.data(), len);
        DecState sa, sb;
        int pa = 0, pb = 0, ma = 0, mb = 0;
        Zeb16s la = 0, lb = 0;
        Block oa, ob;
        for (int call = 0; call < 450; ++call) {
            const ZebResult ra = zeb::huff::decodeBlock<Path::Scalar>(src.data(), len, &pa, oa.data(), &la, &ma,
                                                                      t.dcD.rec(), t.acD.rec(), sa.s);
            const ZebResult rb = zeb::huff::decodeBlock<Path::Vector>(src.data(), len, &pb, ob.data(), &lb, &mb,
                                                                      t.dcD.rec(), t.acD.rec(), sb.s);
            ASSERT_TRUE(ra == zebOk || ra == zebErrCodeRange || ra == zebErrBlockOverrun || ra == zebErrBufferEnd) << ra;
            // A source that ends without a marker can end on a lone 0xFF,
            // which fails as soon as read-ahead reaches it; read-ahead is
            // allowed to differ, so compare only while neither hit the end.
            if (ra == zebErrBufferEnd || rb == zebErrBufferEnd) {
                ASSERT_FALSE(terminated);
                break;
            }
            ++seen[ra == zebOk ? 0 : ra == zebErrCodeRange ? 1 : 2];
            ASSERT_EQ(ra, rb) << "iter " << iter << " call " << call;
            ASSERT_EQ(oa, ob) << "iter " << iter << " call " << call;
            ASSERT_EQ(la, lb);
            ASSERT_EQ(8 * before[pa] - sa.s.bitCount, 8 * before[pb] - sb.s.bitCount) << "iter " << iter;
            ASSERT_LE(pa, len);
            ASSERT_LE(pb, len);
            if (ra == zebErrCodeRange && ma != 0 && mb != 0 && sa.s.bitCount == 0) break;
        }
    }
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
}

}  // namespace
