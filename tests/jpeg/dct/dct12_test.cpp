// The single-precision 12-bit DCT functions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/harness.h"
#include "jpeg/dct/dct32f_kernels.h"
#include "jpeg/dct/dct_reference.h"

namespace {

using dcttest::kSlowdown;
using zebtest::Path;
using zebtest::Rng;

// 12-bit sample blocks: noise over the whole range, smooth waves, and edges
// between 0 and 4095.
void samples12(Zeb16u* b, int stride, Rng& rng, int kind) {
    for (int i = 0; i < 64; ++i) {
        const int x = i % 8, y = i / 8;
        const long v = kind % 3 == 0   ? rng.range(0, 4095)
                       : kind % 3 == 1 ? std::lround(2048 + 900 * std::sin(0.3 * x + 0.2 * y + kind)) + rng.range(-60, 60)
                                       : (rng.chance(0.5) ? 4095 : 0);
        b[y * stride + x] = static_cast<Zeb16u>(std::clamp(v, 0L, 4095L));
    }
}

TEST(Dct12, WithinOneOfTheExactTransform) {
    Rng rng(12);
    float ones[64];
    std::fill(ones, ones + 64, 1.0f);
    int worst[2] = {0, 0};
    long long off[2] = {0, 0}, total = 0;
    for (int it = 0; it < 50000 / kSlowdown; ++it) {
        Zeb16u px[64], back[64];
        Zeb16s c[64];
        double f[64], F[64], Fr[64], fr[64];
        samples12(px, 8, rng, it);
        for (int i = 0; i < 64; ++i) f[i] = px[i] - 2048.0;
        dcttest::referenceFdct(f, F);
        ASSERT_EQ(zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(px, 16, c, ones), zebOk);
        std::copy(c, c + 64, Fr);
        dcttest::referenceIdct(Fr, fr);
        ASSERT_EQ(zebiDCTQuantInv8x8LS_JPEG_16s16u_C1R(c, back, 16, ones), zebOk);
        for (int i = 0; i < 64; ++i) {
            const long exact[2] = {std::lround(F[i]), std::clamp(std::lround(fr[i] + 2048.0), 0L, 4095L)};
            const int got[2] = {c[i], back[i]};
            for (int d = 0; d < 2; ++d) {
                const int e = std::abs(got[d] - static_cast<int>(exact[d]));
                worst[d] = std::max(worst[d], e);
                off[d] += e != 0;
            }
        }
        total += 64;
    }
    std::printf("[ accuracy ] 12-bit forward: worst error %d, %.3f%% off by 1; inverse (truncating): worst %d, "
                "%.3f%% off by 1\n", worst[0], 100.0 * off[0] / total, worst[1], 100.0 * off[1] / total);
    EXPECT_LE(worst[0], 1);
    EXPECT_LE(worst[1], 1);
}

TEST(Dct12, FlatBlocksTablesAndSaturation) {
    // A flat block of v: DC 8 (v - 2048), no AC; a table of 1/4 divides, 4 multiplies back.
    float ones[64], quarter[64], four[64], big[64];
    std::fill(ones, ones + 64, 1.0f);
    std::fill(quarter, quarter + 64, 0.25f);
    std::fill(four, four + 64, 4.0f);
    std::fill(big, big + 64, 1e6f);
    Zeb16u px[64], out[64];
    Zeb16s c[64];
    for (int v : {0, 1, 2047, 2048, 3000, 4095}) {
        std::fill(px, px + 64, static_cast<Zeb16u>(v));
        ASSERT_EQ(zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(px, 16, c, ones), zebOk);
        EXPECT_EQ(c[0], 8 * (v - 2048));
        EXPECT_TRUE(std::all_of(c + 1, c + 64, [](Zeb16s x) { return x == 0; })) << v;
        ASSERT_EQ(zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(px, 16, c, quarter), zebOk);
        EXPECT_EQ(c[0], 2 * (v - 2048));
        ASSERT_EQ(zebiDCTQuantInv8x8LS_JPEG_16s16u_C1R(c, out, 16, four), zebOk);
        EXPECT_TRUE(std::all_of(out, out + 64, [&](Zeb16u x) { return x == v; })) << v;
        // Huge multipliers saturate the coefficients and clamp the samples.
        ASSERT_EQ(zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(px, 16, c, big), zebOk);
        EXPECT_EQ(c[0], v > 2048 ? 32767 : (v < 2048 ? -32768 : 0));
        ASSERT_EQ(zebiDCTQuantInv8x8LS_JPEG_16s16u_C1R(c, out, 16, big), zebOk);
        EXPECT_TRUE(std::all_of(out, out + 64, [&](Zeb16u x) { return x == (v > 2048 ? 4095 : v < 2048 ? 0 : 2048); }));
    }
}

// Scalar and vector paths give the same bits, including for tables with
// huge values, infinities and NaN; the inverse never leaves 0..4095.
TEST(Dct12, PathsAgreeAndOutputsStayInRange) {
    Rng rng(8);
    for (int it = 0; it < 100000 / kSlowdown; ++it) {
        Zeb16u px[8 * 10];
        zebtest::fillRandom(px, 80, rng, 0.2);
        if (it & 1) samples12(px, 10, rng, it);
        float t[64];
        for (int k = 0; k < 64; ++k) t[k] = static_cast<float>(rng.uniform() * 4 - 2);
        if (it % 7 == 0) {
            zebtest::fillRandom(t, 64, rng, 0.3);
            t[rng.range(0, 63)] = std::numeric_limits<float>::quiet_NaN();
            t[rng.range(0, 63)] = std::numeric_limits<float>::infinity();
        }
        Zeb16s s[64], v[64];
        zeb::dct::fdctQuant12<Path::Scalar>(px + 1, 20, s, t);
        zeb::dct::fdctQuant12<Path::Vector>(px + 1, 20, v, t);
        ASSERT_EQ(0, std::memcmp(s, v, sizeof s)) << "forward " << it;
        Zeb16u os[8 * 9], ov[8 * 9];
        std::fill(os, os + 72, Zeb16u{0xABCD});
        std::fill(ov, ov + 72, Zeb16u{0xABCD});
        zeb::dct::idctQuant12<Path::Scalar>(s, os, 18, t);
        zeb::dct::idctQuant12<Path::Vector>(s, ov, 18, t);
        ASSERT_EQ(0, std::memcmp(os, ov, sizeof os)) << "inverse " << it;
        for (int k = 0; k < 64; ++k) ASSERT_LE(os[k / 8 * 9 + k % 8], 4095);
        for (int g = 8; g < 63; g += 9) ASSERT_EQ(os[g], 0xABCD);  // the gap after each row
    }
}

}  // namespace
