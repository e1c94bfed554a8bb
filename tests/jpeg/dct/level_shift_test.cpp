// Whole-region level shifts: values, saturation, paths, threading, checks.
#include <cstring>

#include "common/harness.h"
#include "jpeg/dct/level_shift_kernels.h"

namespace {

using zebtest::GuardedBuffer;
using zebtest::Path;

TEST(LevelShift, ValuesSaturationAndPaths) {
    const Zeb8u s8[4] = {0, 255, 128, 1};
    const Zeb16s want16[4] = {-128, 127, 0, -127};
    Zeb16s d16[4];
    ASSERT_EQ(zebiSub128_JPEG_8u16s_C1R(s8, 4, d16, 8, {4, 1}), zebOk);
    EXPECT_EQ(0, std::memcmp(d16, want16, sizeof d16));
    const Zeb16s s16[8] = {-129, 127, 200, 32767, -32768, -128, 0, 32640};
    const Zeb8u want8[8] = {0, 255, 255, 255, 0, 0, 128, 255};
    Zeb8u d8[8];
    ASSERT_EQ(zebiAdd128_JPEG_16s8u_C1R(s16, 16, d8, 8, {8, 1}), zebOk);
    EXPECT_EQ(0, std::memcmp(d8, want8, sizeof d8));

    zebtest::expectPathsAgree<Zeb8u, Zeb16s>(16, [](Path p, const Zeb8u* in, Zeb16s* out, int n) {
        p == Path::Scalar ? zeb::dct::sub128Row<Path::Scalar>(in, out, n) : zeb::dct::sub128Row<Path::Vector>(in, out, n);
    });
    zebtest::expectPathsAgree<Zeb16s, Zeb8u>(16, [](Path p, const Zeb16s* in, Zeb8u* out, int n) {
        p == Path::Scalar ? zeb::dct::add128Row<Path::Scalar>(in, out, n) : zeb::dct::add128Row<Path::Vector>(in, out, n);
    });
}

// Both functions over a w x h region with padded steps: every sample against
// the definition, padding and surroundings untouched.
void checkRegion(int w, int h, zebtest::Rng& rng) {
    const std::size_t step8 = w + 3, step16 = 2 * w + 6;
    GuardedBuffer<Zeb8u> p8(step8 * h, 1), q8(step8 * h, 3), p16(step16 * h, 2), q16(step16 * h, 4);
    zebtest::fillRandom(p8.data(), p8.size(), rng);
    zebtest::fillRandom(reinterpret_cast<Zeb16s*>(q16.data()), q16.size() / 2, rng, 0.2);
    p16.fill(0x5C);
    q8.fill(0x5C);
    ASSERT_EQ(zebiSub128_JPEG_8u16s_C1R(p8.data(), step8, reinterpret_cast<Zeb16s*>(p16.data()), step16, {w, h}), zebOk);
    ASSERT_EQ(zebiAdd128_JPEG_16s8u_C1R(reinterpret_cast<Zeb16s*>(q16.data()), step16, q8.data(), step8, {w, h}), zebOk);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w + 3; ++x) {
            Zeb16s a = 0x5C5C, b = 0;
            std::memcpy(&a, p16.data() + y * step16 + 2 * x, x < w ? 2 : 0);
            std::memcpy(&b, q16.data() + y * step16 + 2 * x, x < w ? 2 : 0);
            ASSERT_EQ(a, x < w ? p8[y * step8 + x] - 128 : 0x5C5C) << w << "x" << h << " at " << x << "," << y;
            ASSERT_EQ(q8[y * step8 + x], x < w ? std::clamp(b + 128, 0, 255) : 0x5C) << w << "x" << h;
        }
    ASSERT_TRUE(p16.intact() && q8.intact());
}

TEST(LevelShift, SerialAndThreadedRegions) {
    zebtest::Rng rng(128);
    for (int threads : {1, 4}) {
        zebtest::ThreadCount count(threads);
        for (auto [w, h] : {std::pair{64, 128}, {8193, 1}, {8193, 3}, {300, 200}, {1, 9000}, {17, 5}}) checkRegion(w, h, rng);
    }
}

TEST(LevelShift, ChecksByArgumentWriteNothing) {
    Zeb8u s8[16] = {};
    Zeb16s s16[16] = {};
    GuardedBuffer<Zeb16s> d16(16);
    GuardedBuffer<Zeb8u> d8(16);
    d16.snapshot(), d8.snapshot();
    EXPECT_EQ(zebiSub128_JPEG_8u16s_C1R(nullptr, 0, nullptr, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiSub128_JPEG_8u16s_C1R(s8, 0, nullptr, 0, {0, 0}), zebErrStep);
    EXPECT_EQ(zebiSub128_JPEG_8u16s_C1R(s8, 16, nullptr, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiSub128_JPEG_8u16s_C1R(s8, 16, d16.data(), 0, {0, 0}), zebErrStep);
    EXPECT_EQ(zebiSub128_JPEG_8u16s_C1R(s8, 16, d16.data(), 32, {0, 1}), zebErrSize);
    EXPECT_EQ(zebiSub128_JPEG_8u16s_C1R(s8, 16, d16.data(), 32, {16, -1}), zebErrSize);
    EXPECT_EQ(zebiAdd128_JPEG_16s8u_C1R(nullptr, 0, nullptr, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiAdd128_JPEG_16s8u_C1R(s16, -2, nullptr, 0, {0, 0}), zebErrStep);
    EXPECT_EQ(zebiAdd128_JPEG_16s8u_C1R(s16, 32, nullptr, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiAdd128_JPEG_16s8u_C1R(s16, 32, d8.data(), 0, {0, 0}), zebErrStep);
    EXPECT_EQ(zebiAdd128_JPEG_16s8u_C1R(s16, 32, d8.data(), 16, {16, 0}), zebErrSize);
    EXPECT_TRUE(d16.unchanged() && d8.unchanged());
}

}  // namespace
