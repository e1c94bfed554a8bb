// Huffman table records and optimal tables from frequencies.
#include <algorithm>
#include <cstring>
#include <queue>

#include "huffman_test_util.h"

namespace {

using namespace hufftest;
using zeb::huff::DecodeSpec;
using zeb::huff::EncodeSpec;

TEST(HuffmanTables, LuminanceDcTableRecords) {
    const TableSpec t = kDcLuma();
    EncTable e = makeEnc(t);
    EXPECT_EQ((2u << 16) | 0u, e.rec().entry[0]);
    EXPECT_EQ((3u << 16) | 2u, e.rec().entry[1]);
    EXPECT_EQ((9u << 16) | 510u, e.rec().entry[11]);
    for (int s = 12; s < 256; ++s) ASSERT_EQ(0u, e.rec().entry[s]) << s;

    DecTable d = makeDec(t);
    const DecodeSpec& r = d.rec();
    for (int i = 0; i < 64; ++i) ASSERT_EQ((2u << 16) | 0u, r.lookahead[i]) << i;
    for (int i = 64; i < 96; ++i) ASSERT_EQ((3u << 16) | 1u, r.lookahead[i]) << i;
    EXPECT_EQ(0u, r.lookahead[255]);
    EXPECT_EQ(0xFFFF, r.maxCode[1]);
    EXPECT_EQ(510, r.minCode[9]);
    EXPECT_EQ(510, r.maxCode[9]);
    EXPECT_EQ(11, r.valPtr[9]);
    EXPECT_EQ(0xFFFF, r.maxCode[17]);
    EXPECT_EQ(0, r.minCode[0]);
    EXPECT_EQ(0, r.maxCode[0]);
    EXPECT_EQ(0, r.valPtr[0]);
    for (int k = 0; k < 12; ++k) EXPECT_EQ(k, r.huffVal[k]);
}

// Every symbol of the Annex K tables gets the canonical code derived by the
// test independently, and the look-ahead table resolves every short code.
TEST(HuffmanTables, AnnexKTablesMatchCanonicalCodes) {
    for (const TableSpec& t : {kDcLuma(), kDcChroma(), kAcLuma(), kAcChroma()}) {
        int total = 0;
        for (int c : t.bits) total += c;
        ASSERT_EQ(static_cast<std::size_t>(total), t.vals.size());
        EncTable e = makeEnc(t);
        DecTable d = makeDec(t);
        for (Zeb8u sym : t.vals) {
            const std::string code = codeOf(t, sym);
            const std::uint32_t entry = e.rec().entry[sym];
            ASSERT_EQ(code.size(), entry >> 16) << int(sym);
            ASSERT_EQ(std::stoul(code, nullptr, 2), entry & 0xFFFF) << int(sym);
            if (code.size() <= 8) {
                const unsigned idx = static_cast<unsigned>(std::stoul(code, nullptr, 2)) << (8 - code.size());
                ASSERT_EQ((static_cast<std::uint32_t>(code.size()) << 16) | sym, d.rec().lookahead[idx]);
            }
        }
    }
    // The AC tables list every run/size pair of sizes 1 to 10, EOB and ZRL.
    for (const TableSpec& t : {kAcLuma(), kAcChroma()}) {
        std::vector<bool> seen(256, false);
        for (Zeb8u v : t.vals) seen[v] = true;
        for (int rs = 0; rs < 256; ++rs)
            EXPECT_EQ(((rs & 15) >= 1 && (rs & 15) <= 10) || rs == 0 || rs == 0xF0, bool(seen[rs])) << rs;
    }
}

TEST(HuffmanTables, BuildsRejectInvalidCounts) {
    std::vector<Zeb8u> vals(300);
    for (int i = 0; i < 300; ++i) vals[i] = static_cast<Zeb8u>(i);
    EncTable e;
    DecTable d;
    // Two codes of length 1: the second is all ones.
    Zeb8u two[16] = {2};
    EXPECT_EQ(zebErrHuffTable, zebiEncodeHuffmanSpecInit_JPEG_8u(two, vals.data(), e.get()));
    ASSERT_EQ(zebOk, zebiDecodeHuffmanSpecInit_JPEG_8u(two, vals.data(), d.get()));
    for (int i = 0; i < 256; ++i) ASSERT_EQ((1u << 16) | (i < 128 ? 0u : 1u), d.rec().lookahead[i]) << i;
    // 257 codes.
    Zeb8u many[16] = {0, 0, 0, 0, 0, 0, 0, 200, 57};
    EXPECT_EQ(zebErrHuffTable, zebiEncodeHuffmanSpecInit_JPEG_8u(many, vals.data(), e.get()));
    EXPECT_EQ(zebErrHuffTable, zebiDecodeHuffmanSpecInit_JPEG_8u(many, vals.data(), d.get()));
    // Over-subscribed short codes overflow the look-ahead table.
    Zeb8u over[16] = {1, 3};
    EXPECT_EQ(zebErrHuffTable, zebiEncodeHuffmanSpecInit_JPEG_8u(over, vals.data(), e.get()));
    EXPECT_EQ(zebErrHuffTable, zebiDecodeHuffmanSpecInit_JPEG_8u(over, vals.data(), d.get()));
    // 255 codes of length 8 end with 11111110: accepted; 128 codes of length
    // 7 end with 1111111: rejected by the encoder build only.
    Zeb8u full8[16] = {0, 0, 0, 0, 0, 0, 0, 255};
    EXPECT_EQ(zebOk, zebiEncodeHuffmanSpecInit_JPEG_8u(full8, vals.data(), e.get()));
    Zeb8u full7[16] = {0, 0, 0, 0, 0, 0, 128};
    EXPECT_EQ(zebErrHuffTable, zebiEncodeHuffmanSpecInit_JPEG_8u(full7, vals.data(), e.get()));
    EXPECT_EQ(zebOk, zebiDecodeHuffmanSpecInit_JPEG_8u(full7, vals.data(), d.get()));
    // All counts 0: empty tables.
    Zeb8u none[16] = {};
    ASSERT_EQ(zebOk, zebiEncodeHuffmanSpecInit_JPEG_8u(none, vals.data(), e.get()));
    ASSERT_EQ(zebOk, zebiDecodeHuffmanSpecInit_JPEG_8u(none, vals.data(), d.get()));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(0u, e.rec().entry[i] | d.rec().lookahead[i]);
    for (int l = 1; l <= 17; ++l) ASSERT_EQ(0xFFFF, d.rec().maxCode[l]) << l;
    // A symbol listed twice keeps its later code.
    Zeb8u dup[16] = {0, 3};
    const Zeb8u dupVals[3] = {7, 9, 7};
    ASSERT_EQ(zebOk, zebiEncodeHuffmanSpecInit_JPEG_8u(dup, dupVals, e.get()));
    EXPECT_EQ((2u << 16) | 2u, e.rec().entry[7]);
}

// The four records: sizes, Init clearing exactly the state records,
// InitAlloc equal to Init, a failed table build still handing the record
// over, and an allocation failure storing nothing.
void* failingMalloc(std::size_t) { return nullptr; }

TEST(HuffmanRecords, SizesInitAndAllocation) {
    int size = 0;
    const std::pair<ZebResult (*)(int*), int> sizes[] = {
        {zebiEncodeHuffmanSpecGetBufSize_JPEG_8u, 1024}, {zebiDecodeHuffmanSpecGetBufSize_JPEG_8u, 1644},
        {zebiEncodeHuffmanStateGetBufSize_JPEG_8u, 1044}, {zebiDecodeHuffmanStateGetBufSize_JPEG_8u, 20}};
    for (auto [fn, want] : sizes) {
        ASSERT_EQ(zebOk, fn(&size));
        EXPECT_EQ(want, size);
    }
    zebtest::GuardedBuffer<Zeb8u> es(1044), ds(20);
    es.fill(0x5A), ds.fill(0x5A);
    ASSERT_EQ(zebOk, zebiEncodeHuffmanStateInit_JPEG_8u(reinterpret_cast<ZebEncodeHuffmanState*>(es.data())));
    ASSERT_EQ(zebOk, zebiDecodeHuffmanStateInit_JPEG_8u(reinterpret_cast<ZebDecodeHuffmanState*>(ds.data())));
    EXPECT_TRUE(es.intact() && ds.intact());
    EXPECT_TRUE(std::all_of(es.data(), es.data() + 1044, [](Zeb8u b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(ds.data(), ds.data() + 20, [](Zeb8u b) { return b == 0; }));

    const TableSpec t = kAcLuma();
    EncTable e = makeEnc(t);
    DecTable d = makeDec(t);
    ZebEncodeHuffmanSpec* pe = nullptr;
    ZebDecodeHuffmanSpec* pd = nullptr;
    ZebEncodeHuffmanState* pse = nullptr;
    ZebDecodeHuffmanState* psd = nullptr;
    ASSERT_EQ(zebOk, zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(t.bits.data(), t.vals.data(), &pe));
    ASSERT_EQ(zebOk, zebiDecodeHuffmanSpecInitAlloc_JPEG_8u(t.bits.data(), t.vals.data(), &pd));
    ASSERT_EQ(zebOk, zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&pse));
    ASSERT_EQ(zebOk, zebiDecodeHuffmanStateInitAlloc_JPEG_8u(&psd));
    EXPECT_EQ(0, std::memcmp(pe, e.mem.data(), 1024));
    EXPECT_EQ(0, std::memcmp(pd, d.mem.data(), 1644));
    EXPECT_EQ(0, std::memcmp(pse, es.data(), 1044));
    EXPECT_EQ(0, std::memcmp(psd, ds.data(), 20));
    EXPECT_EQ(zebOk, zebiEncodeHuffmanSpecFree_JPEG_8u(pe) | zebiDecodeHuffmanSpecFree_JPEG_8u(pd) |
                         zebiEncodeHuffmanStateFree_JPEG_8u(pse) | zebiDecodeHuffmanStateFree_JPEG_8u(psd));

    const Zeb8u two[16] = {2};
    pe = nullptr;
    EXPECT_EQ(zebErrHuffTable, zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(two, t.vals.data(), &pe));
    ASSERT_NE(nullptr, pe);
    EXPECT_EQ(zebOk, zebiEncodeHuffmanSpecFree_JPEG_8u(pe));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeHuffmanSpecInit_JPEG_8u(t.bits.data(), nullptr, d.get()));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeHuffmanSpecInitAlloc_JPEG_8u(t.bits.data(), t.vals.data(), nullptr));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeHuffmanStateInit_JPEG_8u(nullptr));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffmanStateInitAlloc_JPEG_8u(nullptr));

    void* (*saved)(std::size_t) = tov_malloc;
    tov_malloc = failingMalloc;
    void* sentinel = &size;
    pe = static_cast<ZebEncodeHuffmanSpec*>(sentinel), pd = static_cast<ZebDecodeHuffmanSpec*>(sentinel);
    pse = static_cast<ZebEncodeHuffmanState*>(sentinel), psd = static_cast<ZebDecodeHuffmanState*>(sentinel);
    const ZebResult r[4] = {zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(t.bits.data(), t.vals.data(), &pe),
                            zebiDecodeHuffmanSpecInitAlloc_JPEG_8u(t.bits.data(), t.vals.data(), &pd),
                            zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&pse), zebiDecodeHuffmanStateInitAlloc_JPEG_8u(&psd)};
    tov_malloc = saved;
    for (ZebResult x : r) EXPECT_EQ(zebErrNullPtr, x);
    EXPECT_TRUE(pe == sentinel && pd == sentinel && pse == sentinel && psd == sentinel);
}

// ---- optimal tables ----------------------------------------------------------------

struct RawTable {
    ZebResult status;
    std::array<Zeb8u, 16> bits;
    std::vector<Zeb8u> vals;
};

RawTable rawTable(const std::vector<Zeb32s>& freq) {
    RawTable t{};
    std::vector<Zeb8u> vals(256, 0xEE);
    t.bits.fill(0xEE);
    t.status = zebiEncodeHuffmanRawTableInit_JPEG_8u(freq.data(), t.bits.data(), vals.data());
    int total = 0;
    for (int c : t.bits) total += t.status == zebOk ? c : 0;
    t.vals.assign(vals.begin(), vals.begin() + total);
    return t;
}

// Cost of an optimal (unlimited) Huffman code over the frequencies plus a
// reserved symbol of frequency 1, by the textbook priority-queue method.
long long optimalCost(const std::vector<Zeb32s>& freq) {
    std::priority_queue<long long, std::vector<long long>, std::greater<>> q;
    for (Zeb32s f : freq)
        if (f > 0) q.push(f);
    q.push(1);
    long long cost = 0;
    while (q.size() > 1) {
        const long long a = q.top();
        q.pop();
        const long long b = q.top();
        q.pop();
        cost += a + b;
        q.push(a + b);
    }
    return cost;
}

// Checks a BITS/HUFFVAL pair: the encoder accepts it, it lists exactly the
// symbols with nonzero frequency, and its code lengths leave exactly one
// code (the reserved all-ones one) free.  Returns the cost including that
// reserved code.
long long checkRawTable(const std::vector<Zeb32s>& freq, const RawTable& t) {
    EncTable e;
    EXPECT_EQ(zebOk, zebiEncodeHuffmanSpecInit_JPEG_8u(t.bits.data(), t.vals.data(), e.get()));
    std::vector<bool> listed(256, false);
    for (Zeb8u v : t.vals) listed[v] = true;
    for (int s = 0; s < 256; ++s) EXPECT_EQ(freq[s] != 0, bool(listed[s])) << s;
    long long used = 0, cost = 0;
    for (Zeb8u v : t.vals) {
        const int len = static_cast<int>(e.rec().entry[v] >> 16);
        used += 1LL << (16 - len);
        cost += static_cast<long long>(freq[v]) * len;
    }
    const long long left = 65536 - used;  // 2^(16 - reserved length)
    EXPECT_TRUE(left > 0 && (left & (left - 1)) == 0) << left;
    int reservedLen = 16;
    while ((1LL << (16 - reservedLen)) < left) --reservedLen;
    return cost + reservedLen;
}

TEST(HuffmanRawTable, StatedExamples) {
    std::vector<Zeb32s> freq(256, 0);
    freq[0] = 5;
    freq[1] = 3;
    freq[2] = 1;
    RawTable t = rawTable(freq);
    ASSERT_EQ(zebOk, t.status);
    EXPECT_EQ((std::array<Zeb8u, 16>{1, 1, 1}), t.bits);
    EXPECT_EQ((std::vector<Zeb8u>{0, 1, 2}), t.vals);
    EncTable e;
    ASSERT_EQ(zebOk, zebiEncodeHuffmanSpecInit_JPEG_8u(t.bits.data(), t.vals.data(), e.get()));
    EXPECT_EQ((1u << 16) | 0u, e.rec().entry[0]);
    EXPECT_EQ((2u << 16) | 2u, e.rec().entry[1]);
    EXPECT_EQ((3u << 16) | 6u, e.rec().entry[2]);

    // All 256 equal: 255 codes of 8 bits and one of 9; ties go to the higher
    // symbol, so symbol 255 joins the reserved code at 9 bits.
    freq.assign(256, 1);
    t = rawTable(freq);
    ASSERT_EQ(zebOk, t.status);
    EXPECT_EQ((std::array<Zeb8u, 16>{0, 0, 0, 0, 0, 0, 0, 255, 1}), t.bits);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(i, t.vals[i]);

    // No frequency at all: an empty table.
    freq.assign(256, 0);
    t = rawTable(freq);
    ASSERT_EQ(zebOk, t.status);
    EXPECT_EQ((std::array<Zeb8u, 16>{}), t.bits);

    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffmanRawTableInit_JPEG_8u(freq.data(), t.bits.data(), nullptr));
}

// Without length limiting the table is optimal: its cost equals that of a
// textbook Huffman code over the same frequencies.
TEST(HuffmanRawTable, OptimalOnRandomFrequencies) {
    zebtest::Rng rng(77);
    for (int iter = 0; iter < 200; ++iter) {
        std::vector<Zeb32s> freq(256, 0);
        const int used = static_cast<int>(rng.range(1, 256));
        for (int i = 0; i < used; ++i) freq[rng.range(0, 255)] = static_cast<Zeb32s>(rng.range(1, iter % 2 ? 50 : 100000));
        const RawTable t = rawTable(freq);
        ASSERT_EQ(zebOk, t.status);
        int maxLen = 0;
        for (int l = 0; l < 16; ++l)
            if (t.bits[l]) maxLen = l + 1;
        const long long cost = checkRawTable(freq, t);
        if (maxLen < 16) {
            EXPECT_EQ(optimalCost(freq), cost) << iter;
        }
    }
}

// Fibonacci frequencies over 40 symbols: 1, 1, 2, 3, ... (the reserved code
// pairs up with the first 1) give lengths beyond 16 that the limiter folds
// back; 1, 2, 3, 5, ... make a chain-shaped tree deeper than 32 bits.
std::vector<Zeb32s> fibonacci(int count, long long a, long long b) {
    std::vector<Zeb32s> freq(256, 0);
    for (int i = 0; i < count; ++i) {
        freq[i] = static_cast<Zeb32s>(a);
        const long long c = a + b;
        a = b;
        b = c;
    }
    return freq;
}

TEST(HuffmanRawTable, LengthLimitAndOverflow) {
    std::vector<Zeb32s> freq = fibonacci(40, 1, 1);
    RawTable t = rawTable(freq);
    ASSERT_EQ(zebOk, t.status);
    EXPECT_GT(t.bits[15], 0);
    EXPECT_GT(checkRawTable(freq, t), optimalCost(freq));  // limited, so above the unlimited optimum

    freq = fibonacci(40, 1, 2);
    t = rawTable(freq);
    EXPECT_EQ(zebErrHuffTable, t.status);
    for (Zeb8u v : t.bits) EXPECT_EQ(0xEE, v);  // nothing written
    // Shorter chains stay within 32 bits.
    EXPECT_EQ(zebOk, rawTable(fibonacci(32, 1, 2)).status);
}

}  // namespace
