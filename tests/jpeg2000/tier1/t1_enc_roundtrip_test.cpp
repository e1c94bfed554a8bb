// Code-block encoder round trips through the library's code-block decoder,
// and comparison with the independent test-side reference encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "jpeg2000/tier1/t1_dec_reference.h"
#include "jpeg2000/tier1/t1_enc_helpers.h"

namespace {

constexpr int kScale = zebtest::kSlowRun ? 1 : 4;

t1enc::Block randomShapedBlock(zebtest::Rng& rng, int i, int maxBits) {
    const int shapes[3][2] = {{1, 1}, {64, 64}, {32, 128}};
    const int w = i % 6 < 3 ? shapes[i % 6][0] : static_cast<int>(rng.range(1, 64));
    const int h = i % 6 < 3 ? shapes[i % 6][1] : static_cast<int>(rng.range(1, i % 6 == 3 ? 7 : 64));
    return t1enc::randomBlock(rng, w, h, rng.chance(0.3) ? 0.05 : rng.uniform(), maxBits);
}

// Every combination of causal, bypass, terminate-all, reset and segmentation
// symbol with each termination mode, on every sub-band: all passes decode to
// the coded planes (with the predictable-termination check where it
// applies), and on a third of the blocks the prefix that every truncation
// point allows decodes to the reference encoder's mid-point reconstruction.
TEST(T1EncRoundTrip, EveryStyleAndTerminationDecodes) {
    zebtest::Rng rng(2024);
    t1enc::Encoder enc(ZebSize{64, 128});
    for (int style = 0; style < 32; ++style) {
        for (int termMode = 0; termMode < 3; ++termMode) {
            for (int i = 0; i < 6 * kScale; ++i) {
                const t1enc::Block b =
                    randomShapedBlock(rng, i + style, static_cast<int>(rng.range(1, rng.chance(0.2) ? 31 : 14)));
                const int band = static_cast<int>(rng.range(0, 3));
                const int magnBits = rng.chance(0.5) ? 31 : static_cast<int>(rng.range(18, 31));
                const int lowPlane = 31 - magnBits;
                SCOPED_TRACE(testing::Message() << "style " << style << " term " << termMode << " block " << i << " "
                                                << b.width << "x" << b.height << " magnBits " << magnBits);
                const t1enc::Encoded e = t1enc::encode(enc.st, b, band, magnBits, termMode,
                                                       style | (rng.chance(0.3) ? ZEB_CB_LOSSLESS : 0));
                if (e.nPasses == 0) continue;

                // All passes, half steps kept and then cut below the lowest plane;
                // coefficients without a coded magnitude bit come back as +0.
                auto full = t1enc::decode(e.data, e.segLens, b.width, b.height, band, e.sfBits, e.nPasses,
                                          style | ZEB_CB_KEEP_LOW_BITS | (termMode == 2 ? ZEB_CB_CHECK_PTERM : 0));
                std::vector<std::uint32_t> want(b.v.size());
                for (std::size_t j = 0; j < want.size(); ++j) {
                    full[j] &= ~0u << lowPlane;
                    const std::uint32_t mag = b.v[j] & 0x7FFFFFFFu & (~0u << lowPlane);
                    want[j] = mag ? mag | (b.v[j] & 0x80000000u) : 0u;
                }
                ASSERT_EQ(full, want);
                if (i % 3 != 0) continue;

                const t1ref::Encoded ref = t1ref::encode(b.v, b.width, b.height, band, lowPlane, style, termMode == 2);
                ASSERT_EQ(ref.nPasses, e.nPasses);
                for (int k = 0; k < e.nPasses; ++k) {
                    // Segments up to the one pass k ends in, cut at the rate.
                    std::vector<int> lens;
                    for (int s = 0, start = 0; s <= ref.passSegment[k]; start += e.segLens[s++])
                        lens.push_back(std::clamp(e.rates[k] - start, 0, e.segLens[s]));
                    const auto part = t1enc::decode(e.data, lens, b.width, b.height, band, e.sfBits, k + 1,
                                                    style | ZEB_CB_KEEP_LOW_BITS);
                    ASSERT_EQ(part, ref.expected[k]) << "prefix of pass " << k << " (" << e.rates[k] << " bytes)";
                }
            }
        }
    }
}

// With predictable termination the bytes must equal the reference
// encoder's, which forms its contexts from plain neighbour flags.
TEST(T1EncRoundTrip, PredictableTerminationMatchesReferenceEncoder) {
    zebtest::Rng rng(77);
    t1enc::Encoder enc(ZebSize{64, 128});
    for (int i = 0; i < 60 * kScale; ++i) {
        const t1enc::Block b = randomShapedBlock(rng, i, static_cast<int>(rng.range(1, 20)));
        const int style = static_cast<int>(rng.range(0, 31)), magnBits = static_cast<int>(rng.range(20, 31));
        SCOPED_TRACE(testing::Message() << "block " << i << " style " << style);
        const t1enc::Encoded e = t1enc::encode(enc.st, b, i % 4, magnBits, 2, style);
        const t1ref::Encoded ref = t1ref::encode(b.v, b.width, b.height, i % 4, 31 - magnBits, style, true);
        EXPECT_EQ(e.sfBits, ref.sfBits);
        ASSERT_EQ(e.nPasses, ref.nPasses);
        if (e.nPasses == 0) continue;
        EXPECT_EQ(e.segLens, ref.segLens);
        EXPECT_EQ(e.data, ref.data);
    }
}

}  // namespace
