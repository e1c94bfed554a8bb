// Test helpers for the Tier-1 code-block encoder: random code-blocks, an
// encode-everything wrapper and a one-shot decode.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/harness.h"
#include "zeb.h"

namespace t1enc {

struct Block {
    int width = 0, height = 0;
    std::vector<std::uint32_t> v;  // sign-magnitude, row-major
};

// `density` of the coefficients non-zero with bit lengths 1..maxBits spread
// evenly; zeros sometimes carry the sign bit.
inline Block randomBlock(zebtest::Rng& rng, int width, int height, double density, int maxBits) {
    Block b{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, 0)};
    for (std::uint32_t& c : b.v) {
        const int bits = static_cast<int>(rng.range(1, maxBits));
        const std::uint32_t mag = rng.chance(density) ? (1u << (bits - 1)) | (rng.next() & ((1u << (bits - 1)) - 1u)) : 0;
        c = mag | (rng.chance(0.5) ? 0x80000000u : 0u);
    }
    return b;
}

struct Encoded {
    int sfBits = -1, nPasses = -1, nSegments = -1, calls = 0;
    std::vector<std::uint8_t> data;
    std::vector<int> rates, segLens, distRed, distExp;
};

// Load, then store in portions of `portion` bytes (0: one ample call;
// negative: random portions of 1..-portion bytes), then every query.
inline Encoded encode(ZebEncodeState* enc, const Block& b, int band, int magnBits, int termMode, int flags,
                      int portion = 0, zebtest::Rng* rng = nullptr) {
    Encoded e;
    EXPECT_EQ(zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(reinterpret_cast<const Zeb32s*>(b.v.data()), 4 * b.width,
                                                     ZebSize{b.width, b.height}, enc, band, magnBits, termMode, 0,
                                                     flags, &e.sfBits, &e.nPasses, &e.nSegments),
              zebOk);
    for (int more = 1; more && e.calls < 1000000; ++e.calls) {
        const int room = portion == 0 ? 33 * 8 * b.width * b.height : portion > 0 ? portion
                                                                       : static_cast<int>(rng->range(1, -portion));
        zebtest::GuardedBuffer<Zeb8u> out(static_cast<std::size_t>(room), static_cast<std::size_t>(e.calls % 4));
        int len = room;
        EXPECT_EQ(zebiEncodeStoreBits_JPEG2K_1u(out.data(), &len, enc, &more), zebOk);
        EXPECT_TRUE(out.intact() && len >= 0 && len <= room);
        e.data.insert(e.data.end(), out.data(), out.data() + len);
    }
    for (int k = 0; k < e.nPasses; ++k) {
        int r = -1, d = 0, x = 0;
        EXPECT_EQ(zebiEncodeGetRate_JPEG2K(enc, k, &r) | zebiEncodeGetDistReduction_JPEG2K(enc, k, &d, &x), zebOk);
        e.rates.push_back(r), e.distRed.push_back(d), e.distExp.push_back(x);
    }
    for (int s = 0, len = -1; s < e.nSegments; ++s) {
        EXPECT_EQ(zebiEncodeGetTermPassLen_JPEG2K(enc, s, &len), zebOk);
        e.segLens.push_back(len);
    }
    return e;
}

struct Encoder {
    ZebEncodeState* st = nullptr;
    explicit Encoder(ZebSize maxSize) { EXPECT_EQ(zebiEncodeInitAlloc_JPEG2K(&st, maxSize), zebOk); }
    ~Encoder() { zebiEncodeFree_JPEG2K(st); }
};

// The first nPasses passes from segments with the given lengths.
inline std::vector<std::uint32_t> decode(const std::vector<std::uint8_t>& data, const std::vector<int>& segLens,
                                         int width, int height, int band, int sfBits, int nPasses, int flags) {
    int bufSize = 0;
    EXPECT_EQ(zebiDecodeGetBufSize_JPEG2K(ZebSize{width, height}, &bufSize), zebOk);
    std::vector<std::uint64_t> work(static_cast<std::size_t>(bufSize) / 8 + 1);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height, 0xDEADBEEFu);
    const std::uint8_t none = 0;
    EXPECT_EQ(zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(data.empty() ? &none : data.data(),
                                                   reinterpret_cast<Zeb32s*>(out.data()), 4 * width,
                                                   ZebSize{width, height}, band, sfBits, nPasses,
                                                   segLens.empty() ? &bufSize : segLens.data(),
                                                   static_cast<int>(segLens.size()), flags, nullptr,
                                                   reinterpret_cast<Zeb8u*>(work.data())),
              zebOk);
    return out;
}

}  // namespace t1enc
