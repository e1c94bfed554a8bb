// Image helpers: widening, plane copies, AND with a constant, zigzag.
#include <cstring>

#include "common/harness.h"
#include "core/vector_kernels.h"
#include "core/zigzag.h"

namespace {

using zebtest::GuardedBuffer;
using zebtest::Path;

TEST(Convert8u16u, CheckOrderSizeBeforeStep) {
    Zeb8u s[16] = {};
    GuardedBuffer<Zeb16u> d(16);
    d.fill(0x33);
    d.snapshot();
    EXPECT_EQ(zebiConvert_8u16u_C1R(s, 4, nullptr, 8, {0, 1}), zebErrNullPtr);
    EXPECT_EQ(zebiConvert_8u16u_C1R(s, 0, d.data(), 8, {0, 1}), zebErrSize);
    EXPECT_EQ(zebiConvert_8u16u_C1R(s, 4, d.data(), 8, {4, 0}), zebErrSize);
    EXPECT_EQ(zebiConvert_8u16u_C1R(s, 0, d.data(), 8, {4, 1}), zebErrStep);
    EXPECT_EQ(zebiConvert_8u16u_C1R(s, 4, d.data(), 0, {4, 1}), zebErrStep);
    EXPECT_TRUE(d.unchanged());
}

// Widens a w x h region with the given steps and checks every sample and the
// bytes between rows and around the plane.
void checkConvert(int w, int h, int srcStep, int dstStep, zebtest::Rng& rng) {
    GuardedBuffer<Zeb8u> s(static_cast<std::size_t>(srcStep) * h, 3);
    zebtest::fillRandom(s.data(), s.size(), rng);
    GuardedBuffer<Zeb8u> d(static_cast<std::size_t>(dstStep) * h, 2);
    d.fill(0xCD);
    ASSERT_EQ(zebiConvert_8u16u_C1R(s.data(), srcStep, reinterpret_cast<Zeb16u*>(d.data()), dstStep, {w, h}), zebOk);
    for (int y = 0; y < h; ++y) {
        const Zeb8u* drow = d.data() + static_cast<std::size_t>(y) * dstStep;
        for (int x = 0; x < w; ++x) {
            Zeb16u v;
            std::memcpy(&v, drow + 2 * x, 2);
            ASSERT_EQ(v, s[static_cast<std::size_t>(y) * srcStep + x]) << w << "x" << h << " at " << x << "," << y;
        }
        for (int b = 2 * w; b < dstStep; ++b) ASSERT_EQ(drow[b], 0xCD);
    }
    ASSERT_TRUE(d.intact());
}

TEST(Convert8u16u, ContiguousAndStridedRegions) {
    zebtest::Rng rng(11);
    for (int w : {1, 7, 16, 31, 33, 100}) {
        for (int h : {1, 3}) {
            checkConvert(w, h, w, 2 * w, rng);               // contiguous fast path
            checkConvert(w, h, w + 5, 2 * w + 6, rng);       // strided
            checkConvert(w, h, w + 1, 2 * w + 2, rng);        // rows not 16-byte aligned
        }
    }
    checkConvert(1024, 1400, 1024, 2048, rng);   // contiguous, streaming stores
    checkConvert(1200, 1200, 1203, 2410, rng);   // row by row, streaming stores
}

TEST(Convert8u16u, PathsAgree) {
    zebtest::expectPathsAgree<Zeb8u, Zeb16u>(16, [](Path p, const Zeb8u* in, Zeb16u* out, int n) {
        if (p == Path::Scalar) zeb::kern::widen8u16u<Path::Scalar>(in, out, n);
        else zeb::kern::widen8u16u<Path::Vector>(in, out, n, n & 1);
    });
}

template <class T, class Copy>
void checkCopy(Copy copy, int w, int h, int srcStep, int dstStep, zebtest::Rng& rng) {
    GuardedBuffer<Zeb8u> s(static_cast<std::size_t>(srcStep) * h + 1, 1);
    zebtest::fillRandom(s.data(), s.size(), rng);
    GuardedBuffer<Zeb8u> d(static_cast<std::size_t>(dstStep) * h + 1, 0);
    d.fill(0xCD);
    ASSERT_EQ(copy(reinterpret_cast<const T*>(s.data()), srcStep, reinterpret_cast<T*>(d.data()), dstStep,
                   ZebSize{w, h}),
              zebOk);
    for (int y = 0; y < h; ++y) {
        ASSERT_EQ(0, std::memcmp(d.data() + static_cast<std::size_t>(y) * dstStep,
                                 s.data() + static_cast<std::size_t>(y) * srcStep, sizeof(T) * w));
        for (std::size_t b = sizeof(T) * w; b < static_cast<std::size_t>(dstStep); ++b)
            ASSERT_EQ(d[static_cast<std::size_t>(y) * dstStep + b], 0xCD);
    }
    ASSERT_TRUE(d.intact());
}

TEST(CopyPlanes, SixteenAndThirtyTwoBit) {
    zebtest::Rng rng(12);
    for (int w : {1, 5, 8, 17, 64, 129}) {
        for (int h : {1, 4}) {
            checkCopy<Zeb16s>(zebiCopy_16s_C1R, w, h, 2 * w, 2 * w, rng);        // one block
            checkCopy<Zeb16s>(zebiCopy_16s_C1R, w, h, 2 * w + 6, 2 * w + 2, rng);
            checkCopy<Zeb32f>(zebiCopy_32f_C1R, w, h, 4 * w, 4 * w, rng);
            checkCopy<Zeb32f>(zebiCopy_32f_C1R, w, h, 4 * w + 4, 4 * w + 12, rng);
        }
    }
    checkCopy<Zeb32f>(zebiCopy_32f_C1R, 600, 500, 2400, 2400, rng);  // >1 MB: streaming stores
    checkCopy<Zeb16s>(zebiCopy_16s_C1R, 700, 800, 1402, 1410, rng);
}

TEST(CopyPlanes, ZeroStepRepeatsOneRowAndStepsAreNotChecked) {
    const Zeb16s row[4] = {1, -2, 3, -4};
    Zeb16s out[4] = {};
    EXPECT_EQ(zebiCopy_16s_C1R(row, 0, out, 0, {4, 3}), zebOk);
    EXPECT_EQ(0, std::memcmp(row, out, sizeof row));
    EXPECT_EQ(zebiCopy_16s_C1R(nullptr, 0, out, 0, {0, 3}), zebErrNullPtr);
    EXPECT_EQ(zebiCopy_32f_C1R(reinterpret_cast<const Zeb32f*>(row), -5, reinterpret_cast<Zeb32f*>(out), -5, {1, 0}),
              zebErrSize);
}

TEST(AndC, MasksAndCheckOrderStepBeforeSize) {
    zebtest::Rng rng(13);
    const int w = 37, h = 5, step = 4 * w + 8;
    GuardedBuffer<Zeb8u> buf(static_cast<std::size_t>(step) * h);
    zebtest::fillRandom(buf.data(), buf.size(), rng);
    std::vector<Zeb8u> orig(buf.data(), buf.data() + buf.size());
    auto* p = reinterpret_cast<Zeb32s*>(buf.data());
    ASSERT_EQ(zebiAndC_32s_C1IR(-1, p, step, {w, h}), zebOk);
    EXPECT_EQ(0, std::memcmp(orig.data(), buf.data(), buf.size()));
    ASSERT_EQ(zebiAndC_32s_C1IR(-(1 << 5), p, step, {w, h}), zebOk);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Zeb32s before, after;
            std::memcpy(&before, orig.data() + y * step + 4 * x, 4);
            std::memcpy(&after, buf.data() + y * step + 4 * x, 4);
            ASSERT_EQ(after, before & ~31);
        }
    for (int y = 0; y < h; ++y)  // padding between rows untouched
        ASSERT_EQ(0, std::memcmp(orig.data() + y * step + 4 * w, buf.data() + y * step + 4 * w, step - 4 * w));

    buf.snapshot();
    EXPECT_EQ(zebiAndC_32s_C1R(p, step, 1, nullptr, step, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiAndC_32s_C1R(p, 0, 1, p, step, {0, 0}), zebErrStep);
    EXPECT_EQ(zebiAndC_32s_C1R(p, step, 1, p, 0, {w, h}), zebErrStep);
    EXPECT_EQ(zebiAndC_32s_C1R(p, step, 1, p, step, {w, 0}), zebErrSize);
    EXPECT_EQ(zebiAndC_32s_C1IR(1, p, 0, {0, h}), zebErrStep);
    EXPECT_TRUE(buf.unchanged());

    zebtest::expectPathsAgree<Zeb32s, Zeb32s>(4, [](Path p2, const Zeb32s* in, Zeb32s* out, int n) {
        if (p2 == Path::Scalar) zeb::kern::andC32<Path::Scalar>(in, 0x7F00FF0F, out, n);
        else zeb::kern::andC32<Path::Vector>(in, 0x7F00FF0F, out, n);
    });
}

TEST(ZigzagInv, PublishedSequenceInverted) {
    // The T.81 zigzag position of each natural index, row by row.
    const int expected[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
                              3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
                              10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
                              21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};
    Zeb16s src[64], dst[64];
    for (int i = 0; i < 64; ++i) src[i] = static_cast<Zeb16s>(i);
    ASSERT_EQ(zebiZigzagInv8x8_16s_C1(src, dst), zebOk);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(dst[i], expected[i]) << i;
    EXPECT_EQ(zebiZigzagInv8x8_16s_C1(nullptr, dst), zebErrNullPtr);
    EXPECT_EQ(zebiZigzagInv8x8_16s_C1(src, nullptr), zebErrNullPtr);
}

}  // namespace
