// Code-block encoder object: argument checks, pass structure, storing in
// portions, rates and segment lengths, and the distortion figures against a
// double-precision reconstruction model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "jpeg2000/tier1/cb_encoder.h"
#include "jpeg2000/tier1/t1_enc_helpers.h"

namespace {

using t1enc::Block;

constexpr int kScale = zebtest::kSlowRun ? 1 : 4;

TEST(T1EncCodeBlock, ArgumentChecksInOrderWriteNothing) {
    ZebEncodeState* st = nullptr;
    EXPECT_EQ(zebiEncodeInitAlloc_JPEG2K(nullptr, ZebSize{0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiEncodeInitAlloc_JPEG2K(&st, ZebSize{4, 0}), zebErrSize);
    EXPECT_EQ(zebiEncodeFree_JPEG2K(nullptr), zebErrNullPtr);

    t1enc::Encoder enc(ZebSize{8, 8});
    ZebEncodeState fake;  // a record without the identifier
    std::memset(&fake, 0, sizeof fake);
    std::vector<Zeb32s> src(64, 5);
    int a = -7, b = -7, c = -7;
    auto load = [&](const Zeb32s* p, int step, ZebSize sz, ZebEncodeState* s, int* pb) {
        return zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(p, step, sz, s, 0, 31, 0, 0, 0, &a, pb, &c);
    };
    EXPECT_EQ(load(nullptr, 0, ZebSize{0, 0}, nullptr, nullptr), zebErrNullPtr);
    EXPECT_EQ(load(nullptr, 0, ZebSize{0, 0}, &fake, nullptr), zebErrContextMismatch);
    EXPECT_EQ(load(nullptr, 0, ZebSize{0, 0}, enc.st, nullptr), zebErrNullPtr);
    EXPECT_EQ(load(nullptr, 0, ZebSize{8, 0}, enc.st, &b), zebErrSize);
    EXPECT_EQ(load(nullptr, 0, ZebSize{8, 8}, enc.st, &b), zebErrNullPtr);
    EXPECT_EQ(load(src.data(), 0, ZebSize{8, 8}, enc.st, &b), zebErrStep);
    EXPECT_TRUE(a == -7 && b == -7 && c == -7);
    ASSERT_EQ(load(src.data(), 32, ZebSize{8, 8}, enc.st, &b), zebOk);
    EXPECT_TRUE(a == 3 && b == 7 && c == 1);

    zebtest::GuardedBuffer<Zeb8u> out(16);
    out.snapshot();
    int len = 0, v = -7, x = -7;
    double d = -7;
    EXPECT_EQ(zebiEncodeStoreBits_JPEG2K_1u(nullptr, nullptr, &fake, nullptr), zebErrContextMismatch);
    EXPECT_EQ(zebiEncodeStoreBits_JPEG2K_1u(nullptr, &len, enc.st, &v), zebErrNullPtr);
    EXPECT_EQ(zebiEncodeStoreBits_JPEG2K_1u(out.data(), &len, enc.st, &v), zebErrSize);
    EXPECT_TRUE(out.unchanged());
    EXPECT_EQ(zebiEncodeGetRate_JPEG2K(&fake, 0, &v), zebErrContextMismatch);
    EXPECT_EQ(zebiEncodeGetRate_JPEG2K(enc.st, -1, nullptr), zebErrNullPtr);
    EXPECT_EQ(zebiEncodeGetRate_JPEG2K(enc.st, -1, &v), zebErrPassIndex);
    EXPECT_EQ(zebiEncodeGetRate_JPEG2K(enc.st, 7, &v), zebErrPassIndex);
    EXPECT_EQ(zebiEncodeGetDistReduction_JPEG2K(enc.st, 99, &v, nullptr), zebErrNullPtr);
    EXPECT_EQ(zebiEncodeGetDistReduction_JPEG2K(enc.st, 7, &v, &x), zebErrPassIndex);
    EXPECT_EQ(zebiEncodeGetDist_JPEG2K(nullptr, 0, &d), zebErrNullPtr);
    EXPECT_EQ(zebiEncodeGetDist_JPEG2K(enc.st, -1, &d), zebErrPassIndex);
    EXPECT_EQ(zebiEncodeGetTermPassLen_JPEG2K(enc.st, 5, nullptr), zebErrNullPtr);
    EXPECT_EQ(zebiEncodeGetTermPassLen_JPEG2K(enc.st, 1, &v), zebErrPassIndex);  // one segment
    EXPECT_TRUE(v == -7 && x == -7 && d == -7);
}

// Pass counts and kinds, and the recorded symbols where they are known.
TEST(T1EncCodeBlock, PassStructure) {
    t1enc::Encoder enc(ZebSize{16, 16});
    const ZebEncodeBuffer& buf = *enc.st->buffer;
    int sf, np, nt;
    auto load = [&](const std::vector<std::uint32_t>& v, int w, int magnBits, int flags) {
        ASSERT_EQ(zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(reinterpret_cast<const Zeb32s*>(v.data()), 4 * w,
                                                         ZebSize{w, static_cast<int>(v.size()) / w}, enc.st, 0,
                                                         magnBits, 0, 0, flags, &sf, &np, &nt),
                  zebOk);
    };
    // Ten planes with bypass: planes 5..0 have two raw passes each.
    std::vector<std::uint32_t> v(16 * 16, 0);
    v[17] = 0x3FF;
    v[200] = 0x80000155u;
    load(v, 16, 31, ZEB_CB_BYPASS);
    EXPECT_TRUE(sf == 10 && np == 28 && nt == 13);
    for (int k = 0; k < np; ++k) EXPECT_EQ(buf.passIsRaw[k], k >= 10 && k % 3 != 0) << k;
    load(v, 16, 31, ZEB_CB_BYPASS | ZEB_CB_TERM_ALL);
    EXPECT_EQ(nt, 28);
    for (int magnBits = -1; magnBits <= 33; ++magnBits) {  // planes 9 down to 31 - magnBits (at least 0)
        load(v, 16, magnBits, 0);
        EXPECT_EQ(np, magnBits >= 22 ? 1 + 3 * (std::min(magnBits, 31) - 22) : 0) << magnBits;
        EXPECT_EQ(nt, 1);
    }
    v[3] = 0x40000000u;  // magnBits 1 codes plane 30 only
    load(v, 16, 1, 0);
    EXPECT_TRUE(sf == 31 && np == 1);

    // All zero, negative zeros included: no passes, one segment (none with
    // a segment per pass), nothing to store.
    load(std::vector<std::uint32_t>(16, 0x80000000u), 4, 31, ZEB_CB_TERM_ALL);
    EXPECT_TRUE(sf == 0 && np == 0 && nt == 0);
    Zeb8u byte = 0x5A;
    int len = 1, more = -1;
    EXPECT_EQ(zebiEncodeStoreBits_JPEG2K_1u(&byte, &len, enc.st, &more), zebOk);
    EXPECT_TRUE(len == 0 && more == 0 && byte == 0x5A);

    // -1 in row 2 of a 4x4 block: run bit 1, position 1 0 and the sign
    // (context 11, no flip); then row 3 (LL label 3), column 1 outside run
    // mode (labels 0 1 5 1), columns 2 and 3 in run mode, and 1 0 1 0.
    std::vector<std::uint32_t> one(16, 0);
    one[8] = 0x80000001u;
    load(one, 4, 31, ZEB_CB_SEGMARK);
    EXPECT_TRUE(sf == 1 && np == 1);
    const std::vector<int> wantBit = {1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0};
    const std::vector<int> wantCtx = {1, 0, 0, 11, 5, 2, 3, 7, 3, 1, 1, 0, 0, 0, 0};
    ASSERT_EQ(buf.symbolsPerPass[0], 15);
    EXPECT_EQ(std::vector<int>(buf.decisions, buf.decisions + 15), wantBit);
    EXPECT_EQ(std::vector<int>(buf.contexts, buf.contexts + 15), wantCtx);
}

// Storing in 1-byte and random portions gives the bytes, rates and segment
// lengths of a single call; segment lengths add up to the codeword; no
// truncation length ends on 0xFF; exact rates never decrease; with a segment
// per pass the rates are the running sums of the segment lengths.
TEST(T1EncCodeBlock, PortionsRatesAndSegments) {
    zebtest::Rng rng(31);
    t1enc::Encoder enc(ZebSize{64, 64});
    for (int i = 0; i < 40 * kScale; ++i) {
        const int w = static_cast<int>(rng.range(1, 64)), h = static_cast<int>(rng.range(1, 64));
        const Block b = t1enc::randomBlock(rng, w, h, rng.uniform(), static_cast<int>(rng.range(1, 16)));
        const int style = static_cast<int>(rng.range(0, 63));
        const int termMode = static_cast<int>(rng.range(0, 3));
        const int band = static_cast<int>(rng.range(0, 5));
        SCOPED_TRACE(testing::Message() << "block " << i << " " << w << "x" << h << " style " << style << " term "
                                        << termMode);
        const t1enc::Encoded one = t1enc::encode(enc.st, b, band, 31, termMode, style);
        const t1enc::Encoded bytewise = t1enc::encode(enc.st, b, band, 31, termMode, style, 1);
        const t1enc::Encoded random = t1enc::encode(enc.st, b, band, 31, termMode, style, -9, &rng);
        EXPECT_TRUE(bytewise.data == one.data && random.data == one.data);
        EXPECT_TRUE(bytewise.rates == one.rates && random.rates == one.rates);
        EXPECT_TRUE(bytewise.segLens == one.segLens && random.segLens == one.segLens);
        EXPECT_EQ(one.calls, 1);
        EXPECT_GE(bytewise.calls, static_cast<int>(one.data.size()));

        const int total = static_cast<int>(one.data.size());
        int sum = 0;
        for (int len : one.segLens) sum += len;
        EXPECT_EQ(sum, total);
        EXPECT_TRUE((style & (ZEB_CB_BYPASS | ZEB_CB_TERM_ALL)) || one.segLens.size() == 1u);
        for (int k = 0, end = 0; k < one.nPasses; ++k) {
            const int r = one.rates[k];
            EXPECT_TRUE(r >= 0 && r <= total && (r == 0 || one.data[r - 1] != 0xFF)) << "rate " << r << " pass " << k;
            if (style & ZEB_CB_TERM_ALL) {  // all rates exact
                end += one.segLens[k];
                EXPECT_TRUE(r == end || (r == end - 1 && one.data[r] == 0xFF)) << k;
                EXPECT_TRUE(k == 0 || r >= one.rates[k - 1]) << k;
            }
        }
        // The last pass ends the codeword: its rate is the whole length.
        EXPECT_TRUE(one.nPasses == 0 || one.rates.back() + (total && one.data.back() == 0xFF ? 1 : 0) == total);
    }
}

// Distortion reductions against a model that reconstructs every coefficient
// at the middle of the interval its coded bits leave open (at the exact
// value in the lowest plane of a lossless block), in double precision.
// With magnitudes below 2^7 the tables' six bits below the plane see the
// whole magnitude, so the figures must agree exactly.
TEST(T1EncCodeBlock, DistortionMatchesMidPointModel) {
    zebtest::Rng rng(57);
    t1enc::Encoder enc(ZebSize{64, 64});
    for (int i = 0; i < 30 * kScale; ++i) {
        const int w = static_cast<int>(rng.range(1, 64)), h = static_cast<int>(rng.range(1, 64));
        const Block b = t1enc::randomBlock(rng, w, h, rng.uniform(), 7);
        const bool lossless = i % 2 == 0;
        const int magnBits = lossless ? 31 : static_cast<int>(rng.range(26, 31));
        const int lowPlane = 31 - magnBits;
        const int style = static_cast<int>(rng.range(0, 31)) | (lossless ? ZEB_CB_LOSSLESS : 0);
        SCOPED_TRACE(testing::Message() << "block " << i << " style " << style << " magnBits " << magnBits);
        const t1enc::Encoded e = t1enc::encode(enc.st, b, static_cast<int>(rng.range(0, 3)), magnBits, 0, style);
        if (e.nPasses == 0) continue;

        const double unit = std::ldexp(1.0, 2 * lowPlane);
        auto passDist = [&](int k) { return std::ldexp(static_cast<double>(e.distRed[k]), e.distExp[k]); };
        double allPasses = 0;
        for (int k = 0; k < e.nPasses; ++k) allPasses += passDist(k);
        for (int k = 0; k < e.nPasses; k += 3) {
            const int p = e.sfBits - 1 - k / 3;
            const bool exactHere = lossless && p == lowPlane;
            double sig = 0, ref = 0;
            for (std::uint32_t c : b.v) {
                const double m = static_cast<double>(c & 0x7FFFFFFFu);
                const double step = std::ldexp(1.0, p);
                const int msb = c & 0x7FFFFFFFu ? 31 - __builtin_clz(c & 0x7FFFFFFFu) : -1;
                if (msb == p) {
                    const double rec = exactHere ? m : 1.5 * step;
                    sig += m * m - (m - rec) * (m - rec);
                } else if (msb > p) {
                    const double before = std::floor(m / (2 * step)) * 2 * step + step;
                    const double after = exactHere ? m : std::floor(m / step) * step + step / 2;
                    ref += (m - before) * (m - before) - (m - after) * (m - after);
                }
            }
            // Plane p: cleanup alone (top plane), else propagation + refinement + cleanup.
            const double gotSig = k == 0 ? passDist(0) : passDist(k - 2) + passDist(k);
            const double gotRef = k == 0 ? 0.0 : passDist(k - 1);
            EXPECT_EQ(gotSig, sig / unit) << "plane " << p;
            EXPECT_EQ(gotRef, ref / unit) << "plane " << p;
        }
        double dist = -1;
        ASSERT_EQ(zebiEncodeGetDist_JPEG2K(enc.st, e.nPasses - 1, &dist), zebOk);
        EXPECT_EQ(dist, allPasses);
        if (lossless) {
            // Everything coded exactly: the reductions add up to the energy.
            double energy = 0;
            for (std::uint32_t c : b.v) energy += std::pow(static_cast<double>(c & 0x7FFFFFFFu), 2);
            EXPECT_EQ(dist, energy);
        }
    }
}

}  // namespace
