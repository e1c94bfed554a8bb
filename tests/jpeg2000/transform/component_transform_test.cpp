// RCT and ICT: the in-place forms against per-pixel references written from
// the transform definitions (64-bit integers with floor division, single
// precision left to right), the interleaved forms against the in-place ones,
// the double-precision ICT, round trips, check order, scalar against vector.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "common/harness.h"
#include "jpeg2000/transform/component_transform_kernels.h"

namespace {

using zebtest::GuardedBuffer;
using zebtest::Path;
using zebtest::Rng;
template <class T>
using Triple = std::array<T, 3>;
using I64 = std::int64_t;

// ---- references ------------------------------------------------------------------------------
I64 floorDiv(I64 a, I64 d) { return a >= 0 ? a / d : -((-a + d - 1) / d); }
I64 wrap32(I64 v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }
I64 q14(I64 v) { return floorDiv(v + 8192, 16384); }
I64 sat16(I64 v) { return std::min<I64>(32767, std::max<I64>(-32768, v)); }
template <class T>
Triple<T> cast3(I64 a, I64 b, I64 c) { return {static_cast<T>(a), static_cast<T>(b), static_cast<T>(c)}; }

// RCT in 32-bit arithmetic (each intermediate modulo 2^32); 16-bit samples
// keep the low 16 bits of the results.
template <class T>
Triple<T> rctFwd(Triple<T> p) {
    const I64 r = p[0], g = p[1], b = p[2];
    return cast3<T>(floorDiv(wrap32(r + 2 * g + b), 4), wrap32(b - g), wrap32(r - g));
}
template <class T>
Triple<T> rctInv(Triple<T> p) {
    const I64 g = wrap32(p[0] - floorDiv(wrap32(I64{p[1]} + p[2]), 4));
    return cast3<T>(wrap32(p[2] + g), g, wrap32(p[1] + g));
}
Triple<float> ictFwd32f(Triple<float> p) {
    const float r = p[0], g = p[1], b = p[2];
    return {0.299f * r + 0.587f * g + 0.114f * b, -0.16875f * r - 0.33126f * g + 0.5f * b,
            0.5f * r - 0.41869f * g - 0.08131f * b};
}
Triple<float> ictInv32f(Triple<float> p) {
    return {1.402f * p[2] + p[0], -0.34413f * p[1] - 0.71414f * p[2] + p[0], 1.772f * p[1] + p[0]};
}
Triple<Zeb32s> ictFwd32s(Triple<Zeb32s> p) {
    const I64 r = p[0], g = p[1], b = p[2];
    return cast3<Zeb32s>(q14(wrap32(4899 * r + 9617 * g + 1868 * b)), q14(wrap32(-2765 * r - 5427 * g + 8192 * b)),
                         q14(wrap32(8192 * r - 6860 * g - 1332 * b)));
}
Triple<Zeb32s> ictInv32s(Triple<Zeb32s> p) {
    const I64 y = p[0], cb = p[1], cr = p[2];
    return cast3<Zeb32s>(wrap32(y + q14(wrap32(22970 * cr))), wrap32(y + q14(wrap32(-5638 * cb - 11700 * cr))),
                         wrap32(y + q14(wrap32(29032 * cb))));
}
Triple<Zeb16s> ictFwd16s(Triple<Zeb16s> p) {
    const I64 r = p[0], g = p[1], b = p[2], s = 4899 * r + 9617 * g + 1868 * b;
    const I64 db = static_cast<Zeb16s>(q14(b * 16384 - s)), dr = static_cast<Zeb16s>(q14(r * 16384 - s));
    return cast3<Zeb16s>(sat16(q14(s)), sat16(q14(db * 9246)), sat16(q14(dr * 11686)));
}
Triple<Zeb16s> ictInv16s(Triple<Zeb16s> p) {
    const I64 y = p[0], cb = p[1], cr = p[2];
    return cast3<Zeb16s>(sat16(y + q14(22970 * cr)), sat16(y - q14(5638 * cb + 11700 * cr)), sat16(y + q14(29032 * cb)));
}

// ---- planes ----------------------------------------------------------------------------------
// Three planes (ch = 1) or one interleaved plane (ch = 3) of w x h samples,
// rows padded, misaligned, surrounded by a known byte pattern.
template <class T>
struct Image {
    Image(int w, int h, int ch, Rng& rng) : w(w), h(h), ch(ch) {
        step = static_cast<int>((w * ch + rng.range(0, 3)) * sizeof(T));
        buf.reserve(3);
        for (int k = 0; k < (ch == 1 ? 3 : 1); ++k) {
            buf.emplace_back(static_cast<std::size_t>(step) * h, sizeof(T) * rng.range(0, 3));
            buf.back().fill(0xCD);
            cptr[k] = ptr[k] = reinterpret_cast<T*>(buf.back().data());
        }
    }
    T* at(int c, int x, int y) {
        const int k = ch == 1 ? c : 0;
        return zeb::rowAt(ptr[k], step, y) + static_cast<std::ptrdiff_t>(x) * ch + (ch == 1 ? 0 : c);
    }
    Triple<T> get(int x, int y) { return {*at(0, x, y), *at(1, x, y), *at(2, x, y)}; }
    void set(int x, int y, Triple<T> v) { for (int c = 0; c < 3; ++c) *at(c, x, y) = v[c]; }
    bool outsideIntact() {  // the bytes between rows and around the planes
        for (auto& b : buf) {
            if (!b.intact()) return false;
            for (int y = 0; y < h; ++y)
                for (std::size_t i = sizeof(T) * w * ch; i < static_cast<std::size_t>(step); ++i)
                    if (b[static_cast<std::size_t>(y) * step + i] != 0xCD) return false;
        }
        return true;
    }
    int w, h, ch, step;
    std::vector<GuardedBuffer<std::uint8_t>> buf;
    T* ptr[3] = {};
    const T* cptr[3] = {};
};

constexpr int kSizes[][2] = {{1, 1}, {2, 1}, {3, 2}, {4, 1}, {5, 3}, {7, 2}, {8, 2}, {9, 3}, {12, 2}, {17, 2}, {101, 2}};

template <class T>
bool sameBits(Triple<T> a, Triple<T> b) { return std::memcmp(a.data(), b.data(), sizeof(a)) == 0; }

template <class T>
T anyValue(Rng& rng) { return zebtest::randomValue<T>(rng, 0.2); }

// An in-place form against its reference, every pixel; with `c3`/`p3` the
// interleaved form of the same direction must give the same planes / pixels.
template <class T, class Ref, class Gen>
void checkForms(ZebResult (*inPlace)(T* const*, int, ZebSize), Ref ref, Gen gen, std::uint64_t seed,
                ZebResult (*c3)(const T*, int, T* const*, int, ZebSize) = nullptr,
                ZebResult (*p3)(const T* const*, int, T*, int, ZebSize) = nullptr) {
    Rng rng(seed);
    for (const auto& wh : kSizes) {
        const int w = wh[0], h = wh[1];
        Image<T> img(w, h, 1, rng), orig(w, h, 1, rng), rgb(w, h, 3, rng), planes(w, h, 1, rng);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Triple<T> v{gen(rng), gen(rng), gen(rng)};
                img.set(x, y, v);
                orig.set(x, y, v);
                rgb.set(x, y, v);
            }
        ASSERT_EQ(inPlace(img.ptr, img.step, {w, h}), zebOk);
        if (c3) {
            ASSERT_EQ(c3(rgb.ptr[0], rgb.step, planes.ptr, planes.step, {w, h}), zebOk);
        }
        if (p3) {
            ASSERT_EQ(p3(orig.cptr, orig.step, rgb.ptr[0], rgb.step, {w, h}), zebOk);
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Triple<T> e = ref(orig.get(x, y)), got = img.get(x, y);
                ASSERT_TRUE(sameBits(got, e)) << w << "x" << h << " at " << x << "," << y << ": " << +got[0] << " "
                                              << +got[1] << " " << +got[2] << " != " << +e[0] << " " << +e[1] << " " << +e[2];
                ASSERT_TRUE(!c3 || sameBits(planes.get(x, y), e)) << "C3P3 at " << x << "," << y;
                ASSERT_TRUE(!p3 || sameBits(rgb.get(x, y), e)) << "P3C3 at " << x << "," << y;
            }
        ASSERT_TRUE(img.outsideIntact() && planes.outsideIntact() && rgb.outsideIntact());
    }
}

TEST(ComponentTransform, FormsMatchReferences) {
    checkForms<Zeb32s>(zebiRCTFwd_JPEG2K_32s_P3IR, rctFwd<Zeb32s>, anyValue<Zeb32s>, 1, zebiRCTFwd_JPEG2K_32s_C3P3R);
    checkForms<Zeb32s>(zebiRCTInv_JPEG2K_32s_P3IR, rctInv<Zeb32s>, anyValue<Zeb32s>, 2, nullptr, zebiRCTInv_JPEG2K_32s_P3C3R);
    checkForms<Zeb16s>(zebiRCTFwd_JPEG2K_16s_P3IR, rctFwd<Zeb16s>, anyValue<Zeb16s>, 3, zebiRCTFwd_JPEG2K_16s_C3P3R);
    checkForms<Zeb16s>(zebiRCTInv_JPEG2K_16s_P3IR, rctInv<Zeb16s>, anyValue<Zeb16s>, 4, nullptr, zebiRCTInv_JPEG2K_16s_P3C3R);
    checkForms<Zeb32f>(zebiICTFwd_JPEG2K_32f_P3IR, ictFwd32f, anyValue<Zeb32f>, 5, zebiICTFwd_JPEG2K_32f_C3P3R);
    checkForms<Zeb32f>(zebiICTInv_JPEG2K_32f_P3IR, ictInv32f, anyValue<Zeb32f>, 6, nullptr, zebiICTInv_JPEG2K_32f_P3C3R);
    // Full-range inputs: wrapping products (32s), saturation and 16-bit chroma differences (16s).
    checkForms<Zeb32s>(zebiICTFwd_JPEG2K_32s_P3IR, ictFwd32s, anyValue<Zeb32s>, 7);
    checkForms<Zeb32s>(zebiICTInv_JPEG2K_32s_P3IR, ictInv32s, anyValue<Zeb32s>, 8);
    checkForms<Zeb16s>(zebiICTFwd_JPEG2K_16s_P3IR, ictFwd16s, anyValue<Zeb16s>, 9);
    checkForms<Zeb16s>(zebiICTInv_JPEG2K_16s_P3IR, ictInv16s, anyValue<Zeb16s>, 10);
    const auto mid = [](Rng& rng) { return static_cast<Zeb32s>(rng.range(-70000, 70000)); };
    checkForms<Zeb32s>(zebiICTFwd_JPEG2K_32s_P3IR, ictFwd32s, mid, 11);
    checkForms<Zeb32s>(zebiICTInv_JPEG2K_32s_P3IR, ictInv32s, mid, 12);
}

TEST(ComponentTransform, ListedValues) {
    for (int v : {1, -1}) {  // RCT luminance floors
        Zeb32s rgb[3] = {v, 0, 0}, y = 7, u = 7, w = 7, *p[3] = {&y, &u, &w};
        ASSERT_EQ(zebiRCTFwd_JPEG2K_32s_C3P3R(rgb, 12, p, 4, {1, 1}), zebOk);
        EXPECT_EQ(y, v == 1 ? 0 : -1);
        EXPECT_EQ(u, 0);
        EXPECT_EQ(w, v);
    }
    std::vector<Zeb16s> r(11, 32767), g(11, 32767), b(11, 32767);  // luminance weights sum to one
    Zeb16s* p[3] = {r.data(), g.data(), b.data()};
    ASSERT_EQ(zebiICTFwd_JPEG2K_16s_P3IR(p, 22, {11, 1}), zebOk);
    for (int x = 0; x < 11; ++x) EXPECT_TRUE(r[x] == 32767 && g[x] == 0 && b[x] == 0) << x;
    // Where 5638 Cb + 11700 Cr = 8192 the 32s inverse gives G = Y, the 16s one
    // G = Y - 1; vector groups and the scalar tail alike.
    int found = 0;
    for (int cr = -2000; cr <= 2000; ++cr) {
        if ((8192 - 11700 * cr) % 5638 != 0) continue;
        const int cb = (8192 - 11700 * cr) / 5638;
        std::vector<Zeb32s> y32(9, 100), cb32(9, cb), cr32(9, cr);
        std::vector<Zeb16s> y16(9, 100), cb16(9, static_cast<Zeb16s>(cb)), cr16(9, static_cast<Zeb16s>(cr));
        Zeb32s* p32[3] = {y32.data(), cb32.data(), cr32.data()};
        Zeb16s* p16[3] = {y16.data(), cb16.data(), cr16.data()};
        ASSERT_EQ(zebiICTInv_JPEG2K_32s_P3IR(p32, 36, {9, 1}), zebOk);
        ASSERT_EQ(zebiICTInv_JPEG2K_16s_P3IR(p16, 18, {9, 1}), zebOk);
        for (int x = 0; x < 9; ++x) EXPECT_TRUE(cb32[x] == 100 && cb16[x] == 99) << cb32[x] << " " << cb16[x];
        ++found;
    }
    EXPECT_GT(found, 0);
}

// Against the ICT in double precision (decimal coefficients).  Float: a few
// units of 2^-24 of the sum of term magnitudes.  Fixed point on samples in
// [-4096, 4095]: the Q14 weights are within 2^-15 of the decimal ones, so
// three weights add at most 0.375 to the 0.5 of the final rounding; the 16s
// chroma round the difference to the luminance first (0.5 more).
TEST(ComponentTransform, NearDoublePrecision) {
    Rng rng(31);
    const double fw[3][3] = {{0.299, 0.587, 0.114}, {-0.16875, -0.33126, 0.5}, {0.5, -0.41869, -0.08131}};
    const double iw[3][3] = {{1, 0, 1.402}, {1, -0.34413, -0.71414}, {1, 1.772, 0}};
    auto apply = [](const double m[3][3], const double* v, int k) { return m[k][0] * v[0] + m[k][1] * v[1] + m[k][2] * v[2]; };
    auto mag = [](const double m[3][3], const double* v, int k) {
        return std::fabs(m[k][0] * v[0]) + std::fabs(m[k][1] * v[1]) + std::fabs(m[k][2] * v[2]);
    };
    for (int i = 0; i < 20000; ++i) {
        const Triple<float> f{static_cast<float>((rng.uniform() * 2 - 1) * 1e5), static_cast<float>(rng.uniform() * 255),
                              static_cast<float>(rng.range(-4096, 4095))};
        const double fd[3] = {f[0], f[1], f[2]};
        const Triple<float> fo = ictFwd32f(f), io = ictInv32f(f);
        const auto v = cast3<I64>(rng.range(-4096, 4095), rng.range(-4096, 4095), rng.range(-4096, 4095));
        const double vd[3] = {double(v[0]), double(v[1]), double(v[2])};
        const auto a = ictFwd32s(cast3<Zeb32s>(v[0], v[1], v[2])), b = ictInv32s(cast3<Zeb32s>(v[0], v[1], v[2]));
        const auto c = ictFwd16s(cast3<Zeb16s>(v[0], v[1], v[2])), d = ictInv16s(cast3<Zeb16s>(v[0], v[1], v[2]));
        for (int k = 0; k < 3; ++k) {
            ASSERT_NEAR(fo[k], apply(fw, fd, k), std::ldexp(6.0, -24) * mag(fw, fd, k));
            ASSERT_NEAR(io[k], apply(iw, fd, k), std::ldexp(6.0, -24) * mag(iw, fd, k));
            ASSERT_NEAR(a[k], apply(fw, vd, k), 0.875);
            ASSERT_NEAR(b[k], apply(iw, vd, k), 0.875);
            ASSERT_NEAR(c[k], apply(fw, vd, k), k == 0 ? 0.875 : 1.375);
            ASSERT_NEAR(d[k], apply(iw, vd, k), 0.875);
        }
    }
}

// RCT forward then inverse is exact whenever the differences fit the type.
template <class T>
void rctRoundTrip(ZebResult (*fwd)(const T*, int, T* const*, int, ZebSize),
                  ZebResult (*inv)(const T* const*, int, T*, int, ZebSize), I64 lim, Rng& rng) {
    const int w = 45, h = 3;
    Image<T> rgb(w, h, 3, rng), yuv(w, h, 1, rng), back(w, h, 3, rng);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const I64 g = zebtest::randomIn<I64>(rng, -lim - 1, lim, 0.2);
            const I64 lo = std::max(-lim - 1, g - lim - 1), hi = std::min(lim, g + lim);
            rgb.set(x, y, cast3<T>(zebtest::randomIn<I64>(rng, lo, hi, 0.2), g, zebtest::randomIn<I64>(rng, lo, hi, 0.2)));
        }
    ASSERT_EQ(fwd(rgb.ptr[0], rgb.step, yuv.ptr, yuv.step, {w, h}), zebOk);
    ASSERT_EQ(inv(yuv.cptr, yuv.step, back.ptr[0], back.step, {w, h}), zebOk);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(back.get(x, y), rgb.get(x, y)) << x << "," << y;
}

TEST(ComponentTransform, RctRoundTrips) {
    Rng rng(51);
    for (int rep = 0; rep < 4; ++rep) {
        rctRoundTrip<Zeb16s>(zebiRCTFwd_JPEG2K_16s_C3P3R, zebiRCTInv_JPEG2K_16s_P3C3R, 32767, rng);
        rctRoundTrip<Zeb32s>(zebiRCTFwd_JPEG2K_32s_C3P3R, zebiRCTInv_JPEG2K_32s_P3C3R, (1 << 29) - 1, rng);
    }
}

// Pointers (single plane, array, entries 0..2), then steps, then size;
// nothing is written on failure.  call(single, planes, step1, step2, roi).
template <class T, class Call>
void checkOrder(Call call, bool hasSingle, bool twoSteps) {
    T a[8] = {}, b[8] = {}, c[8] = {}, s[24] = {};
    T* ok[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        T* arr[3] = {a, b, c};
        arr[k] = nullptr;
        EXPECT_EQ(call(s, arr, 0, 0, ZebSize{0, 0}), zebErrNullPtr) << "entry " << k;
    }
    T* const* none = nullptr;
    EXPECT_EQ(call(s, none, 0, 0, ZebSize{0, 0}), zebErrNullPtr);
    EXPECT_EQ(call(hasSingle ? nullptr : s, ok, 0, 0, ZebSize{0, 0}), hasSingle ? zebErrNullPtr : zebErrStep);
    EXPECT_EQ(call(s, ok, 0, 8, ZebSize{0, 1}), zebErrStep);
    EXPECT_EQ(call(s, ok, 24, twoSteps ? -1 : 8, ZebSize{0, 1}), twoSteps ? zebErrStep : zebErrSize);
    EXPECT_EQ(call(s, ok, 24, 8, ZebSize{0, 1}), zebErrSize);
    EXPECT_EQ(call(s, ok, 24, 8, ZebSize{1, -1}), zebErrSize);
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(a[i] == T{} && b[i] == T{} && c[i] == T{} && s[i] == T{});
}

TEST(ComponentTransform, CheckOrder) {
    const auto c3 = [](auto fn) {
        return [fn](auto* single, auto* const* arr, int s1, int s2, ZebSize roi) { return fn(single, s1, arr, s2, roi); };
    };
    const auto p3 = [](auto fn) {
        return [fn](auto* single, auto* const* arr, int s1, int s2, ZebSize roi) {
            using T = std::remove_pointer_t<decltype(single)>;
            const T* carr[3] = {arr ? arr[0] : nullptr, arr ? arr[1] : nullptr, arr ? arr[2] : nullptr};
            return fn(arr ? carr : nullptr, s2, single, s1, roi);
        };
    };
    const auto ip = [](auto fn) { return [fn](auto*, auto* const* arr, int s1, int, ZebSize roi) { return fn(arr, s1, roi); }; };
    checkOrder<Zeb32s>(c3(zebiRCTFwd_JPEG2K_32s_C3P3R), true, true);
    checkOrder<Zeb16s>(c3(zebiRCTFwd_JPEG2K_16s_C3P3R), true, true);
    checkOrder<Zeb32f>(c3(zebiICTFwd_JPEG2K_32f_C3P3R), true, true);
    checkOrder<Zeb32s>(p3(zebiRCTInv_JPEG2K_32s_P3C3R), true, true);
    checkOrder<Zeb16s>(p3(zebiRCTInv_JPEG2K_16s_P3C3R), true, true);
    checkOrder<Zeb32f>(p3(zebiICTInv_JPEG2K_32f_P3C3R), true, true);
    for (auto fn : {zebiRCTFwd_JPEG2K_32s_P3IR, zebiRCTInv_JPEG2K_32s_P3IR, zebiICTFwd_JPEG2K_32s_P3IR, zebiICTInv_JPEG2K_32s_P3IR})
        checkOrder<Zeb32s>(ip(fn), false, false);
    for (auto fn : {zebiRCTFwd_JPEG2K_16s_P3IR, zebiRCTInv_JPEG2K_16s_P3IR, zebiICTFwd_JPEG2K_16s_P3IR, zebiICTInv_JPEG2K_16s_P3IR})
        checkOrder<Zeb16s>(ip(fn), false, false);
    for (auto fn : {zebiICTFwd_JPEG2K_32f_P3IR, zebiICTInv_JPEG2K_32f_P3IR}) checkOrder<Zeb32f>(ip(fn), false, false);
}

// Every kernel and layout over lengths 1 .. 3 vector widths + 5 and longer,
// misaligned, with extreme values: the vector path gives the scalar bits.
template <class T, int InS, int OutS, class RowFn>
void pathsAgree(RowFn rowFn, std::uint64_t seed) {
    Rng rng(seed);
    for (int len : zebtest::kernelLengths(8)) {
        for (std::size_t mis : {std::size_t{0}, sizeof(T), 3 * sizeof(T)}) {
            const std::size_t n = 3 * static_cast<std::size_t>(len);
            GuardedBuffer<T> in(n, mis), outS(n, mis), outV(n, 0);
            zebtest::fillRandom(in.data(), n, rng, 0.25);
            const T* ins[3];
            T *os[3], *ov[3];
            for (int c = 0; c < 3; ++c) {
                ins[c] = in.data() + (InS == 3 ? c : c * len);
                os[c] = outS.data() + (OutS == 3 ? c : c * len);
                ov[c] = outV.data() + (OutS == 3 ? c : c * len);
            }
            rowFn(std::integral_constant<Path, Path::Scalar>{}, ins, os, len);
            rowFn(std::integral_constant<Path, Path::Vector>{}, ins, ov, len);
            ASSERT_TRUE(outS.intact() && outV.intact()) << "len " << len;
            ASSERT_EQ(0, std::memcmp(outS.data(), outV.data(), outS.bytes())) << "len " << len << " misalign " << mis;
        }
    }
}

template <class Op, int InS, int OutS>
void opPathsAgree(std::uint64_t seed) {
    pathsAgree<typename Op::Elem, InS, OutS>(
        [](auto p, auto in, auto out, int n) { zeb::comptf::transformRow<decltype(p)::value, Op, InS, OutS>(in, out, n); },
        seed);
}

TEST(ComponentTransform, PathsAgree) {
    namespace ct = zeb::comptf;
    opPathsAgree<ct::RctFwd<Zeb32s>, 3, 1>(61);
    opPathsAgree<ct::RctFwd<Zeb32s>, 1, 1>(62);
    opPathsAgree<ct::RctInv<Zeb32s>, 1, 3>(63);
    opPathsAgree<ct::RctInv<Zeb32s>, 1, 1>(64);
    opPathsAgree<ct::RctFwd<Zeb16s>, 3, 1>(65);
    opPathsAgree<ct::RctFwd<Zeb16s>, 1, 1>(66);
    opPathsAgree<ct::RctInv<Zeb16s>, 1, 3>(67);
    opPathsAgree<ct::RctInv<Zeb16s>, 1, 1>(68);
    opPathsAgree<ct::IctFwd32f, 3, 1>(69);
    opPathsAgree<ct::IctFwd32f, 1, 1>(70);
    opPathsAgree<ct::IctInv32f, 1, 3>(71);
    opPathsAgree<ct::IctInv32f, 1, 1>(72);
    opPathsAgree<ct::IctFwd32s, 1, 1>(73);
    opPathsAgree<ct::IctInv32s, 1, 1>(74);
    pathsAgree<Zeb16s, 1, 1>([](auto p, auto in, auto out, int n) { ct::ict16sRow<decltype(p)::value, ct::IctFwd16s>(in, out, n); }, 75);
    pathsAgree<Zeb16s, 1, 1>([](auto p, auto in, auto out, int n) { ct::ict16sRow<decltype(p)::value, ct::IctInv16s>(in, out, n); }, 76);
}

}  // namespace
