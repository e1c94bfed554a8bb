// The 16-bit fixed-point DCT pair and the fused 8-bit functions built on it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/harness.h"
#include "jpeg/dct/dct16_kernels.h"
#include "jpeg/dct/dct_reference.h"
#include "jpeg/dct/quant_kernels.h"

namespace {

using dcttest::kSlowdown;
using zebtest::GuardedBuffer;
using zebtest::Path;
using zebtest::Rng;

// Blocks that reach the saturating corners: full-range noise, extremes only,
// one hot value, and the range of 12-bit differences.
void randomBlock(Zeb16s* b, Rng& rng, int kind) {
    switch (kind % 4) {
        case 0: zebtest::fillRandom(b, 64, rng, 0.2); break;
        case 1: std::generate(b, b + 64, [&] { return rng.chance(0.5) ? Zeb16s{32767} : Zeb16s{-32768}; }); break;
        case 2:
            std::fill(b, b + 64, Zeb16s{0});
            b[rng.range(0, 63)] = zebtest::randomValue<Zeb16s>(rng, 0.5);
            break;
        default: zebtest::fillRandomIn(b, 64, rng, -2048, 2047); break;
    }
}

template <class F>
void expectSame(F run, const char* what, int it) {
    Zeb16s s[64], v[64];
    run(Path::Scalar, s);
    run(Path::Vector, v);
    ASSERT_EQ(0, std::memcmp(s, v, sizeof s)) << what << ", block " << it;
}

TEST(Dct16, PathsAgreeOnMillionsOfBlocks) {
    Rng rng(2024);
    for (int it = 0; it < 1000000 / kSlowdown; ++it) {
        Zeb16s in[64];
        Zeb16u t[64];
        randomBlock(in, rng, it);
        expectSame([&](Path p, Zeb16s* o) { p == Path::Scalar ? zeb::dct::fdct8x8<Path::Scalar>(in, o)
                                                               : zeb::dct::fdct8x8<Path::Vector>(in, o); },
                   "forward", it);
        expectSame([&](Path p, Zeb16s* o) { p == Path::Scalar ? zeb::dct::idct8x8<Path::Scalar>(in, o)
                                                               : zeb::dct::idct8x8<Path::Vector>(in, o); },
                   "inverse", it);
        if (it % 5) continue;
        zebtest::fillRandom(t, 64, rng, 0.3);
        expectSame([&](Path p, Zeb16s* o) {
            std::memcpy(o, in, 128);
            p == Path::Scalar ? zeb::dct::quantRound<Path::Scalar>(o, t) : zeb::dct::quantRound<Path::Vector>(o, t);
        }, "quantiser", it);
        // Level shift, saturation and a clip range (lo > hi included), odd step.
        const Zeb16s shift = zebtest::randomValue<Zeb16s>(rng, 0.3);
        const Zeb8u lo = zebtest::randomValue<Zeb8u>(rng), hi = zebtest::randomValue<Zeb8u>(rng);
        Zeb8u os[8 * 11], ov[8 * 11];
        std::memset(os, 0xEE, sizeof os);
        std::memset(ov, 0xEE, sizeof ov);
        zeb::dct::storeShiftClip<Path::Scalar>(in, os + 1, 11, shift, lo, hi);
        zeb::dct::storeShiftClip<Path::Vector>(in, ov + 1, 11, shift, lo, hi);
        ASSERT_EQ(0, std::memcmp(os, ov, sizeof os)) << it;
    }
}

// Sparse blocks, the common case of decoding: the vector inverse skips the
// products of the last four rows when they are all zero (and then of rows 2
// and 3 when they are zero too), and drops those rows from its vertical
// pass.  Coefficients in the first row only (DC-only included), with the
// saturating corners, with one more coefficient elsewhere; in the first two
// or four rows only, also with the saturating corners; and in the first four
// plus a single one in the last four rows.
TEST(Dct16, InverseOfSparseBlocks) {
    Rng rng(616);
    for (int it = 0; it < 160000 / kSlowdown; ++it) {
        Zeb16s in[64] = {};
        switch (it % 8) {
            case 4: zebtest::fillRandomIn(in, 32, rng, -1024, 1023); break;
            case 6: zebtest::fillRandom(in, 16, rng, 0.3); break;
            case 7: zebtest::fillRandom(in, 32, rng, 0.3); break;
            case 5:
                zebtest::fillRandomIn(in, 32, rng, -1024, 1023);
                in[rng.range(32, 63)] = static_cast<Zeb16s>(rng.range(-1024, 1023) | 1);
                break;
            case 0: in[0] = zebtest::randomValue<Zeb16s>(rng, 0.5); break;
            case 1: zebtest::fillRandom(in, 8, rng, 0.3); break;
            case 2: zebtest::fillRandomIn(in, 8, rng, -2048, 2047); break;
            default:
                zebtest::fillRandomIn(in, 8, rng, -2048, 2047);
                in[rng.range(8, 63)] = static_cast<Zeb16s>(rng.chance(0.5) ? 1 : -1);
                break;
        }
        expectSame([&](Path p, Zeb16s* o) { p == Path::Scalar ? zeb::dct::idct8x8<Path::Scalar>(in, o)
                                                               : zeb::dct::idct8x8<Path::Vector>(in, o); },
                   "inverse", it);
    }
    for (int dc = -32768; dc <= 32767; dc += kSlowdown) {  // every DC value (a sample under emulation)
        Zeb16s in[64] = {};
        in[0] = static_cast<Zeb16s>(dc);
        expectSame([&](Path p, Zeb16s* o) { p == Path::Scalar ? zeb::dct::idct8x8<Path::Scalar>(in, o)
                                                               : zeb::dct::idct8x8<Path::Vector>(in, o); },
                   "inverse DC", dc);
    }
}

TEST(Dct16, FusedQuantiserRoundsTiesToEvenAndSaturates) {
    Zeb16u t[64];
    std::fill(t, t + 64, Zeb16u{16384});  // q = 2: exact halves
    Zeb16s b[64] = {1, 3, 5, -1, -3, -5, 7, 2};
    zeb::dct::quantRound<Path::Vector>(b, t);
    const Zeb16s want[8] = {0, 2, 2, 0, -2, -2, 4, 1};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(b[k], want[k]) << k;
    // t * c / 32768 is exact in double; nearbyint rounds ties to even.
    Rng rng(5);
    for (int it = 0; it < 20000 / kSlowdown; ++it) {
        Zeb16s c[64], s[64];
        zebtest::fillRandom(c, 64, rng, 0.3);
        zebtest::fillRandom(t, 64, rng, 0.3);
        if (it & 1)
            for (int k = 0; k < 64; ++k) t[k] = static_cast<Zeb16u>(16384 >> (k & 7));  // many ties
        std::memcpy(s, c, sizeof s);
        zeb::dct::quantRound<Path::Scalar>(s, t);
        for (int k = 0; k < 64; ++k) {
            const double q = std::nearbyint(static_cast<double>(c[k]) * t[k] / 32768.0);
            ASSERT_EQ(s[k], std::clamp(q, -32768.0, 32767.0)) << c[k] << " * " << t[k];
        }
    }
}

struct ErrorStats {
    int worst = 0;
    long long off = 0, total = 0;
    void add(int got, double exact) {
        const int e = std::abs(got - static_cast<int>(std::lround(exact)));
        worst = std::max(worst, e);
        off += e != 0;
        ++total;
    }
    void report(const char* what) const {
        std::printf("[ accuracy ] %s: worst error %d, %.3f%% of %lld values off by 1\n", what, worst,
                    100.0 * off / total, total);
        EXPECT_LE(worst, 1) << what;
    }
};

// Level-shifted 8-bit blocks as images produce them: noise, smooth ramps with
// texture, hard edges between the extremes.
void sampleBlock(Zeb16s* b, Rng& rng, int kind) {
    const double a = rng.range(-128, 127), gx = rng.range(-40, 40), gy = rng.range(-40, 40), tex = rng.range(0, 30);
    for (int i = 0; i < 64; ++i) {
        const int x = i % 8, y = i / 8;
        const double smooth = a + gx * x / 8 + gy * y / 8 + tex * std::sin(0.9 * x * y + rng.uniform());
        const long v = kind % 3 == 0 ? rng.range(-128, 127) : kind % 3 == 1 ? std::lround(smooth)
                                                                               : (rng.chance(0.5) ? 127 : -128);
        b[i] = static_cast<Zeb16s>(std::clamp(v, -128L, 127L));
    }
}

TEST(Dct16, WithinOneOfTheExactTransform) {
    Rng rng(31);
    ErrorStats fwd, inv, invQ;
    Zeb16u q[64];
    for (int k = 0; k < 64; ++k) q[k] = static_cast<Zeb16u>(1 + (k * 37) % 24);
    for (int it = 0; it < 100000 / kSlowdown; ++it) {
        Zeb16s in[64], out[64], co[64], rec[64];
        double f[64], F[64], Fr[64], fr[64];
        sampleBlock(in, rng, it);
        std::copy(in, in + 64, f);
        dcttest::referenceFdct(f, F);
        zeb::dct::fdct8x8<Path::Vector>(in, out);
        for (int i = 0; i < 64; ++i) fwd.add(out[i], F[i]);
        // Inverse of the rounded exact coefficients, and of quantised ones
        // (whose outputs may leave the sample range a little).
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < 64; ++i)
                Fr[i] = co[i] = static_cast<Zeb16s>(pass ? std::lround(F[i] / q[i]) * q[i] : std::lround(F[i]));
            dcttest::referenceIdct(Fr, fr);
            zeb::dct::idct8x8<Path::Vector>(co, rec);
            for (int i = 0; i < 64; ++i) (pass ? invQ : inv).add(rec[i], fr[i]);
        }
    }
    fwd.report("forward 8-bit");
    inv.report("inverse 8-bit");
    invQ.report("inverse, de-quantised");
}

TEST(DctQuant8x8, FlatZeroAndExtremeBlocks) {
    Zeb16u one[64], invOne[64];
    std::fill(one, one + 64, Zeb16u{32768});
    std::fill(invOne, invOne + 64, Zeb16u{1});
    Zeb16s c[64];
    Zeb8u px[64];
    for (int v : {0, 1, 127, 128, 200, 255}) {  // DC 8 (v - 128), no AC, and back
        std::memset(px, v, sizeof px);
        ASSERT_EQ(zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(px, 8, c, one), zebOk);
        EXPECT_EQ(c[0], 8 * (v - 128));
        EXPECT_TRUE(std::all_of(c + 1, c + 64, [](Zeb16s x) { return x == 0; })) << v;
        std::memset(px, 0xEE, sizeof px);
        ASSERT_EQ(zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(c, px, 8, invOne), zebOk);
        EXPECT_TRUE(std::all_of(px, px + 64, [&](Zeb8u x) { return x == v; })) << v;
    }
    // DC only: 0 -> 128, 1016 -> 255, -1024 -> 0; far outside saturates.
    const std::pair<Zeb16s, Zeb8u> dcs[] = {{0, 128}, {1016, 255}, {-1024, 0}, {32767, 255}, {-32768, 0}};
    for (auto [dc, want] : dcs) {
        std::fill(c, c + 64, Zeb16s{0});
        c[0] = dc;
        ASSERT_EQ(zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(c, px, 8, invOne), zebOk);
        EXPECT_TRUE(std::all_of(px, px + 64, [&](Zeb8u x) { return x == want; })) << dc;
    }
}

// The variants are one computation: plain, in place and level-shifted forms
// equal the composition of the scalar kernels on misaligned blocks and odd
// steps, and write nothing outside their rows.
TEST(DctQuant8x8, VariantsEqualTheirComposition) {
    Rng rng(77);
    const int step = 13;
    for (int it = 0; it < 3000; ++it) {
        GuardedBuffer<Zeb8u> px(8 * step, 1 + it % 7);
        zebtest::fillRandom(px.data(), px.size(), rng, 0.2);
        Zeb16u fwdT[64], invT[64];
        for (int k = 0; k < 64; ++k) {
            invT[k] = static_cast<Zeb16u>(rng.range(1, 255));
            fwdT[k] = static_cast<Zeb16u>(std::lround(32768.0 / invT[k]));
        }
        if (it % 5 == 0) zebtest::fillRandom(fwdT, 64, rng, 0.5);  // saturating tables
        Zeb16s shifted[64], expect[64], coef[64], ref[64];
        for (int k = 0; k < 64; ++k) shifted[k] = static_cast<Zeb16s>(px[k / 8 * step + k % 8] - 128);
        zeb::dct::fdct8x8<Path::Scalar>(shifted, expect);
        zeb::dct::quantRound<Path::Scalar>(expect, fwdT);
        GuardedBuffer<Zeb16s> a(64, 2), b(64, 6), c(64, 4);
        ASSERT_EQ(zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(px.data(), step, a.data(), fwdT), zebOk);
        ASSERT_EQ(zebiDCTQuantFwd8x8_JPEG_16s_C1(shifted, b.data(), fwdT), zebOk);
        std::memcpy(c.data(), shifted, sizeof shifted);
        ASSERT_EQ(zebiDCTQuantFwd8x8_JPEG_16s_C1I(c.data(), fwdT), zebOk);
        for (auto* r : {&a, &b, &c}) ASSERT_TRUE(r->intact() && !std::memcmp(r->data(), expect, 128)) << it;

        randomBlock(coef, rng, it);
        zeb::dct::dequant<Path::Scalar>(coef, invT, ref);
        zeb::dct::idct8x8<Path::Scalar>(ref, ref);
        ASSERT_EQ(zebiDCTQuantInv8x8_JPEG_16s_C1(coef, a.data(), invT), zebOk);
        std::memcpy(b.data(), coef, sizeof coef);
        ASSERT_EQ(zebiDCTQuantInv8x8_JPEG_16s_C1I(b.data(), invT), zebOk);
        for (auto* r : {&a, &b}) ASSERT_TRUE(r->intact() && !std::memcmp(r->data(), ref, 128)) << it;

        // LS: + 128 in 16 bits, saturated to 0..255; clip ranges.
        GuardedBuffer<Zeb8u> out(8 * step - 5, 3);
        out.fill(0xC3);
        ASSERT_EQ(zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef, out.data(), step, invT), zebOk);
        const Zeb16s shift = static_cast<Zeb16s>(it % 2 ? 128 : zebtest::randomValue<Zeb16s>(rng, 0.3));
        Zeb8u clip[64];
        zeb::dct::idct8x8<Path::Scalar>(coef, expect);
        ASSERT_EQ(zebiDCT8x8InvLSClip_16s8u_C1R(coef, clip, 8, shift, 16, 235), zebOk);
        for (int k = 0; k < 64; ++k) {
            const int r = k / 8, col = k % 8;
            ASSERT_EQ(out[r * step + col], std::clamp<int>(static_cast<Zeb16s>(ref[k] + 128), 0, 255)) << it;
            for (int g = 8; col == 7 && r < 7 && g < step; ++g) ASSERT_EQ(out[r * step + g], 0xC3);
            ASSERT_EQ(clip[k], std::clamp<int>(static_cast<Zeb16s>(expect[k] + shift), 16, 235)) << it;
        }
        ASSERT_TRUE(out.intact());
        ASSERT_EQ(zebiDCT8x8InvLSClip_16s8u_C1R(coef, clip, 8, shift, 200, 100), zebOk);
        ASSERT_TRUE(std::all_of(clip, clip + 64, [](Zeb8u x) { return x == 100; }));  // upper bound wins
    }
}

// Every function of the family: the documented check order, nothing written.
TEST(DctFamily, ChecksInOrderWriteNothing) {
    Zeb16s blk[64] = {};
    Zeb16u t[64] = {};
    Zeb8u px[64] = {};
    Zeb16u px16[64] = {};
    float ft[64] = {};
    GuardedBuffer<Zeb16s> d(64);
    GuardedBuffer<Zeb8u> d8(64);
    GuardedBuffer<Zeb16u> du(64);
    d.fill(0x77), d8.fill(0x77), du.fill(0x77);
    d.snapshot(), d8.snapshot(), du.snapshot();
    const struct {
        ZebResult got, want;
    } cases[] = {
        {zebiQuantFwdRawTableInit_JPEG_8u(nullptr, 0), zebErrNullPtr},
        {zebiQuantFwdTableInit_JPEG_8u16u(nullptr, du.data()), zebErrNullPtr},
        {zebiQuantFwdTableInit_JPEG_8u16u(px, nullptr), zebErrNullPtr},
        {zebiQuantInvTableInit_JPEG_8u16u(nullptr, du.data()), zebErrNullPtr},
        {zebiQuantInvTableInit_JPEG_8u16u(px, nullptr), zebErrNullPtr},
        {zebiQuantFwd8x8_JPEG_16s_C1I(d.data(), nullptr), zebErrNullPtr},
        {zebiQuantInv8x8_JPEG_16s_C1I(nullptr, t), zebErrNullPtr},
        {zebiDCTQuantFwd8x8_JPEG_16s_C1(nullptr, d.data(), t), zebErrNullPtr},
        {zebiDCTQuantFwd8x8_JPEG_16s_C1(blk, d.data(), nullptr), zebErrNullPtr},
        {zebiDCTQuantFwd8x8_JPEG_16s_C1I(d.data(), nullptr), zebErrNullPtr},
        {zebiDCTQuantInv8x8_JPEG_16s_C1(blk, nullptr, t), zebErrNullPtr},
        {zebiDCTQuantInv8x8_JPEG_16s_C1I(nullptr, t), zebErrNullPtr},
        // LS forms: pointers, then the step, then the table.
        {zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(px, 0, nullptr, nullptr), zebErrNullPtr},
        {zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(px, 0, d.data(), nullptr), zebErrStep},
        {zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(px, 8, d.data(), nullptr), zebErrNullPtr},
        {zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(nullptr, d8.data(), 0, nullptr), zebErrNullPtr},
        {zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(blk, d8.data(), -8, nullptr), zebErrStep},
        {zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(blk, d8.data(), 8, nullptr), zebErrNullPtr},
        {zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(nullptr, 0, d.data(), nullptr), zebErrNullPtr},
        {zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(px16, 0, d.data(), nullptr), zebErrStep},
        {zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(px16, 16, d.data(), nullptr), zebErrNullPtr},
        {zebiDCTQuantInv8x8LS_JPEG_16s16u_C1R(blk, nullptr, 0, ft), zebErrNullPtr},
        {zebiDCTQuantInv8x8LS_JPEG_16s16u_C1R(blk, du.data(), 0, nullptr), zebErrStep},
        {zebiDCTQuantInv8x8LS_JPEG_16s16u_C1R(blk, du.data(), 16, nullptr), zebErrNullPtr},
        {zebiDCT8x8InvLSClip_16s8u_C1R(blk, nullptr, 0, 128, 0, 255), zebErrNullPtr},
        {zebiDCT8x8InvLSClip_16s8u_C1R(blk, d8.data(), 0, 128, 0, 255), zebErrStep},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
    EXPECT_TRUE(d.unchanged() && d8.unchanged() && du.unchanged());
}

}  // namespace
