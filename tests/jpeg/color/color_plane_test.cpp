// Whole-plane colour conversions, table-driven: every function against the
// arithmetic form its pixel position takes (every (Cb, Cr) pair for the
// decoders, in the vector part and the tail), on the serial and parallel
// paths; the disagreement counts of the two decoder forms; scalar and vector
// paths; stated values; check order.
#include <cmath>
#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include "color_refs.h"
#include "common/harness.h"
#include "jpeg/color/color_plane_kernels.h"

namespace {

using namespace colortest;
using zebtest::Path;

// ---- pixel layouts, written from their byte and bit tables ---------------------------------
enum class Kind { P1, P3, P4, P4Inv, RGB, BGR, CMYK, RGB555, BGR555, RGB565, BGR565, C2 };

int planesOf(Kind k) { return k == Kind::P3 ? 3 : (k == Kind::P4 || k == Kind::P4Inv) ? 4 : 1; }
int bytesOf(Kind k) {
    switch (k) {
        case Kind::RGB: case Kind::BGR: return 3;
        case Kind::CMYK: return 4;
        case Kind::RGB555: case Kind::BGR555: case Kind::RGB565: case Kind::BGR565: case Kind::C2: return 2;
        default: return 1;
    }
}

// Bytes of one pixel (plane p) from its canonical channels c (R, G, B, K or Y, Cb, Cr, K).
int byteOf(Kind k, const int* c, int p, int i) {
    auto word = [&](int lo, int g, int hi, int gBits) {
        const int w = (lo >> 3) | ((g >> (8 - gBits)) << 5) | ((hi >> 3) << (5 + gBits));
        return i == 0 ? w & 255 : w >> 8;
    };
    switch (k) {
        case Kind::P1: case Kind::P3: case Kind::P4: return c[p];
        case Kind::P4Inv: return p < 3 ? 255 - c[p] : c[p];
        case Kind::RGB: return c[i];
        case Kind::BGR: return c[2 - i];
        case Kind::CMYK: return i < 3 ? 255 - c[i] : c[3];
        case Kind::RGB555: return word(c[0], c[1], c[2], 5);
        case Kind::BGR555: return word(c[2], c[1], c[0], 5);
        case Kind::RGB565: return word(c[0], c[1], c[2], 6);
        case Kind::BGR565: return word(c[2], c[1], c[0], 6);
        case Kind::C2: return 0;
    }
    return 0;
}

// ---- the functions under test ---------------------------------------------------------------
enum class Form { SetA, SetB, Table, LumaFloat, LumaQ15, Diff15, Q14 };

// Canonical output of one pixel; `vectorPart` tells whether it lies in the
// first multiple-of-4 pixels of its row.
void reference(Form f, const int* in, bool vectorPart, int* out) {
    out[3] = in[3];
    if (f <= Form::Table) {
        const Form g = vectorPart ? f : Form::Table;
        const Rgb c = g == Form::SetA ? setADecode(in[0], in[1], in[2])
                      : g == Form::SetB ? setBDecode(in[0], in[1], in[2]) : tableDecode(in[0], in[1], in[2]);
        out[0] = c.r, out[1] = c.g, out[2] = c.b;
        return;
    }
    const long long r = in[0], g = in[1], b = in[2];
    const int y16 = int(floorShift(19595 * r + 38470 * g + 7471 * b + 32768, 16));
    if (f == Form::LumaQ15) {
        out[0] = std::min(255, int((9798 * r + 19235 * g + 3736 * b + 16266) >> 15));
    } else if (f == Form::LumaFloat) {
        volatile float s = float(r) * 0.299f;
        s = s + float(g) * 0.587f;
        s = s + float(b) * 0.114f;
        out[0] = vectorPart ? clamp8(std::lrint(s)) : y16;
    } else if (f == Form::Q14) {
        out[0] = clamp8(floorShift(4899 * r + 9617 * g + 1868 * b + 8192, 14));
        out[1] = clamp8(floorShift(-2764 * r - 5428 * g + 8192 * b + 2105344, 14));
        out[2] = clamp8(floorShift(8192 * r - 6860 * g - 1332 * b + 2105344, 14));
    } else if (vectorPart) {  // Diff15
        out[0] = y16;
        out[1] = clamp8(floorShift(18491 * (b - y16) + 4210688, 15));
        out[2] = clamp8(floorShift(23373 * (r - y16) + 4210688, 15));
    } else {
        out[0] = y16;
        out[1] = int(floorShift(-11059 * r - 21709 * g + 32768 * b + 8421375, 16));
        out[2] = int(floorShift(32768 * r - 27439 * g - 5329 * b + 8421375, 16));
    }
}

using AnyFn = std::function<ZebResult(void* const* s, int ss, void* const* d, int ds, ZebSize roi)>;
template <class S, class D, class F>
AnyFn wrap(F f) {  // S, D: element type, or S* / D* for plane arrays
    return [f](void* const* s, int ss, void* const* d, int ds, ZebSize roi) {
        auto arg = [](void* const* p, auto tag) {
            using T = decltype(tag);
            if constexpr (std::is_pointer_v<T>) return reinterpret_cast<T const*>(p);
            else return static_cast<T*>(p[0]);
        };
        return f(arg(s, S{}), ss, arg(d, D{}), ds, roi);
    };
}

struct Case {
    const char* name;
    Kind src, dst;
    Form form;
    bool threaded;
    AnyFn fn;
};

std::vector<Case> cases() {
    using u8 = Zeb8u;
    using cu8 = const Zeb8u*;
    return {
        {"YCbCrToRGB_P3R", Kind::P3, Kind::P3, Form::SetA, true, wrap<cu8, u8*>(zebiYCbCrToRGB_JPEG_8u_P3R)},
        {"YCbCrToRGB_P3C3R", Kind::P3, Kind::RGB, Form::SetB, true, wrap<cu8, u8>(zebiYCbCrToRGB_JPEG_8u_P3C3R)},
        {"YCbCrToBGR_P3C3R", Kind::P3, Kind::BGR, Form::SetB, true, wrap<cu8, u8>(zebiYCbCrToBGR_JPEG_8u_P3C3R)},
        {"YCbCrToRGB555", Kind::P3, Kind::RGB555, Form::SetA, false,
         wrap<cu8, Zeb16u>(zebiYCbCrToRGB555_JPEG_8u16u_P3C3R)},
        {"YCbCrToBGR555", Kind::P3, Kind::BGR555, Form::SetA, false,
         wrap<cu8, Zeb16u>(zebiYCbCrToBGR555_JPEG_8u16u_P3C3R)},
        {"YCbCrToRGB565", Kind::P3, Kind::RGB565, Form::SetA, false,
         wrap<cu8, Zeb16u>(zebiYCbCrToRGB565_JPEG_8u16u_P3C3R)},
        {"YCbCrToBGR565", Kind::P3, Kind::BGR565, Form::SetA, false,
         wrap<cu8, Zeb16u>(zebiYCbCrToBGR565_JPEG_8u16u_P3C3R)},
        {"YCCKToCMYK_P4R", Kind::P4, Kind::P4Inv, Form::SetA, true, wrap<cu8, u8*>(zebiYCCKToCMYK_JPEG_8u_P4R)},
        {"YCCKToCMYK_P4C4R", Kind::P4, Kind::CMYK, Form::SetA, true, wrap<cu8, u8>(zebiYCCKToCMYK_JPEG_8u_P4C4R)},
        {"RGBToY_P3C1R", Kind::P3, Kind::P1, Form::LumaFloat, true, wrap<cu8, u8>(zebiRGBToY_JPEG_8u_P3C1R)},
        {"RGBToY_C3C1R", Kind::RGB, Kind::P1, Form::LumaQ15, true, wrap<const u8, u8>(zebiRGBToY_JPEG_8u_C3C1R)},
        {"BGRToY_C3C1R", Kind::BGR, Kind::P1, Form::LumaQ15, true, wrap<const u8, u8>(zebiBGRToY_JPEG_8u_C3C1R)},
        {"RGBToYCbCr_P3R", Kind::P3, Kind::P3, Form::Diff15, true, wrap<cu8, u8*>(zebiRGBToYCbCr_JPEG_8u_P3R)},
        {"RGBToYCbCr_C3P3R", Kind::RGB, Kind::P3, Form::Q14, true, wrap<const u8, u8*>(zebiRGBToYCbCr_JPEG_8u_C3P3R)},
        {"BGRToYCbCr_C3P3R", Kind::BGR, Kind::P3, Form::Q14, true, wrap<const u8, u8*>(zebiBGRToYCbCr_JPEG_8u_C3P3R)},
        {"RGB555ToYCbCr", Kind::RGB555, Kind::P3, Form::Q14, false,
         wrap<const Zeb16u, u8*>(zebiRGB555ToYCbCr_JPEG_16u8u_C3P3R)},
        {"BGR555ToYCbCr", Kind::BGR555, Kind::P3, Form::Q14, false,
         wrap<const Zeb16u, u8*>(zebiBGR555ToYCbCr_JPEG_16u8u_C3P3R)},
        {"RGB565ToYCbCr", Kind::RGB565, Kind::P3, Form::Q14, false,
         wrap<const Zeb16u, u8*>(zebiRGB565ToYCbCr_JPEG_16u8u_C3P3R)},
        {"BGR565ToYCbCr", Kind::BGR565, Kind::P3, Form::Q14, false,
         wrap<const Zeb16u, u8*>(zebiBGR565ToYCbCr_JPEG_16u8u_C3P3R)},
        {"CMYKToYCCK_P4R", Kind::P4Inv, Kind::P4, Form::Diff15, true, wrap<cu8, u8*>(zebiCMYKToYCCK_JPEG_8u_P4R)},
        {"CMYKToYCCK_C4P4R", Kind::CMYK, Kind::P4, Form::Q14, true, wrap<const u8, u8*>(zebiCMYKToYCCK_JPEG_8u_C4P4R)},
    };
}

// Canonical channels of a w x h image (row-major), laid out in `k` planes
// with a padded step; the 555/565 inputs keep only their fields' bits.
struct Planes {
    int step;
    std::vector<std::vector<Zeb8u>> p;
    void* ptr[4] = {};
    Planes(Kind k, int w, int h, const std::vector<std::array<int, 4>>* px, Zeb8u fill = 0)
        : step(w * bytesOf(k) + 6), p(planesOf(k), std::vector<Zeb8u>(static_cast<std::size_t>(step) * h, fill)) {
        for (int c = 0; c < planesOf(k); ++c) ptr[c] = p[c].data();
        if (px)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < planesOf(k); ++c)
                        for (int i = 0; i < bytesOf(k); ++i)
                            p[c][y * step + x * bytesOf(k) + i] = Zeb8u(byteOf(k, (*px)[y * w + x].data(), c, i));
    }
};

std::vector<std::array<int, 4>> inputPixels(Kind k, int w, int h, bool chromaPairs, zebtest::Rng& rng) {
    std::vector<std::array<int, 4>> px(static_cast<std::size_t>(w) * h);
    const int gMask = (k == Kind::RGB565 || k == Kind::BGR565) ? 0xFC : 0xF8;
    const bool words = bytesOf(k) == 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            auto& c = px[y * w + x];
            for (int& v : c) v = zebtest::randomIn<int>(rng, 0, 255, 0.2);
            if (chromaPairs) {  // one (Cb, Cr) pair per row; 65536 rows give every pair once
                const unsigned pair = (static_cast<unsigned>(y) * 40503u) & 0xFFFF;
                c[1] = pair & 255, c[2] = pair >> 8;
            }
            if (words) c[0] &= 0xF8, c[1] &= gMask, c[2] &= 0xF8;
        }
    return px;
}

// Runs a case on a w x h image and compares every output byte with the reference.
void checkCase(const Case& cs, int w, int h, zebtest::Rng& rng) {
    const auto in = inputPixels(cs.src, w, h, cs.form <= Form::Table, rng);
    Planes src(cs.src, w, h, &in), dst(cs.dst, w, h, nullptr, 0xA7);
    ASSERT_EQ(cs.fn(src.ptr, src.step, dst.ptr, dst.step, {w, h}), zebOk) << cs.name;
    const int vecEnd = w - w % 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int out[4] = {};
            reference(cs.form, in[y * w + x].data(), x < vecEnd, out);
            for (int c = 0; c < planesOf(cs.dst); ++c)
                for (int i = 0; i < bytesOf(cs.dst); ++i)
                    ASSERT_EQ(dst.p[c][y * dst.step + x * bytesOf(cs.dst) + i], byteOf(cs.dst, out, c, i))
                        << cs.name << " " << w << "x" << h << " pixel " << x << "," << y << " in " << in[y * w + x][0]
                        << " " << in[y * w + x][1] << " " << in[y * w + x][2];
        }
    for (auto& plane : dst.p)  // row padding untouched
        for (int y = 0; y < h; ++y)
            for (int b = w * bytesOf(cs.dst); b < dst.step; ++b) ASSERT_EQ(plane[y * dst.step + b], 0xA7) << cs.name;
}

TEST(ColorPlanes, EveryFunctionTakesItsFormByPixelPosition) {
    // Width 15: pixels 0-7 take an SSE step, 8-11 the rest of the vector part,
    // 12-14 the tail.  The decoders with set A planes and set B interleaved
    // output see all 65536 (Cb, Cr) pairs, the others a spread subset.
    zebtest::Rng rng(77);
    for (const Case& cs : cases()) {
        const bool exhaustive = cs.dst == Kind::P3 || cs.dst == Kind::RGB;
        checkCase(cs, 15, cs.form > Form::Table ? 512 : exhaustive ? 65536 : 8192 / kSlowScale, rng);
        for (int w : {1, 3, 4, 5, 8, 9, 16, 17, 69}) checkCase(cs, w, 3, rng);
    }
}

TEST(ColorPlanes, SameResultOnEveryThreadingPath) {
    zebtest::Rng rng(19);
    for (const Case& cs : cases()) {
        if (!cs.threaded) continue;
        for (int threads : {1, 4}) {
            ThreadCount count(threads);
            checkCase(cs, 64, 128, rng);  // 8192 pixels: calling thread
            checkCase(cs, 8193, 1, rng);  // parallel loop
            checkCase(cs, 203, 97, rng);
        }
        ThreadCount count(3);
#pragma omp parallel num_threads(2)
        {
#pragma omp single
            checkCase(cs, 8193, 2, rng);  // inside the caller's region: serial
        }
    }
}

// Counts, from the library's output, where the vector form and the table
// form disagree: pixel c (vector part) and pixel 12 + c (tail) share Y, Cb and
// Cr, with Y chosen per channel c so that neither result clamps.
TEST(ColorPlanes, DecoderFormsDisagreeExactlyWhereStated) {
    constexpr int W = 15, H = 65536;
    std::vector<Zeb8u> pl[3];
    for (auto& p : pl) p.assign(static_cast<std::size_t>(W) * H, 128);
    for (int row = 0; row < H; ++row) {
        const int cb = row & 255, cr = row >> 8;
        const double t[3] = {1.402 * (cr - 128), -0.34414 * (cb - 128) - 0.71414 * (cr - 128), 1.772 * (cb - 128)};
        for (int c = 0; c < 3; ++c) pl[0][row * W + c] = pl[0][row * W + 12 + c] = Zeb8u(std::lround(127 - t[c] / 2));
        std::memset(&pl[1][row * W], cb, W);
        std::memset(&pl[2][row * W], cr, W);
    }
    const Zeb8u* src[3] = {pl[0].data(), pl[1].data(), pl[2].data()};
    struct Counts {
        std::set<int> crForR, cbForB;
        int gPairs = 0, rDelta = 0;
    };
    // out(channel, pixel, row) reads a converted value.
    auto count = [&](auto out) {
        Counts n;
        for (int row = 0; row < H; ++row) {
            int d[3];
            for (int c = 0; c < 3; ++c) {
                const int v = out(c, c, row), t = out(c, 12 + c, row);
                EXPECT_TRUE(v > 0 && v < 255 && t > 0 && t < 255 && std::abs(v - t) <= 1) << row;
                d[c] = v - t;
            }
            if (d[0]) n.crForR.insert(row >> 8), n.rDelta = d[0];
            if (d[1]) ++n.gPairs;
            if (d[2]) n.cbForB.insert(row & 255);
        }
        return n;
    };
    std::vector<Zeb8u> rgb(3 * W * H);
    ASSERT_EQ(zebiYCbCrToRGB_JPEG_8u_P3C3R(src, W, rgb.data(), 3 * W, {W, H}), zebOk);
    const Counts b = count([&](int c, int x, int row) { return int(rgb[(row * W + x) * 3 + c]); });
    EXPECT_EQ(b.crForR, std::set<int>{179});
    EXPECT_EQ(b.rDelta, -1);  // R one lower in the vector form
    EXPECT_EQ(b.cbForB, std::set<int>{253});
    EXPECT_EQ(b.gPairs, 448);

    std::vector<Zeb8u> o[3];
    for (auto& p : o) p.resize(W * H);
    Zeb8u* dst[3] = {o[0].data(), o[1].data(), o[2].data()};
    ASSERT_EQ(zebiYCbCrToRGB_JPEG_8u_P3R(src, W, dst, W, {W, H}), zebOk);
    const Counts a = count([&](int c, int x, int row) { return int(o[c][row * W + x]); });
    EXPECT_EQ(a.crForR.size(), 1u);
    EXPECT_EQ(a.cbForB.size(), 10u);
    EXPECT_EQ(a.gPairs, 436);
}

TEST(ColorPlanes, StatedValues) {
    auto rgbAt = [](int w, int x, int y, int cb, int cr) {
        std::vector<Zeb8u> Y(w, Zeb8u(y)), Cb(w, Zeb8u(cb)), Cr(w, Zeb8u(cr)), d(3 * w);
        const Zeb8u* src[3] = {Y.data(), Cb.data(), Cr.data()};
        EXPECT_EQ(zebiYCbCrToRGB_JPEG_8u_P3C3R(src, w, d.data(), 3 * w, {w, 1}), zebOk);
        return Rgb{d[3 * x], d[3 * x + 1], d[3 * x + 2]};
    };
    EXPECT_EQ(rgbAt(8, 7, 255, 128, 128), (Rgb{255, 255, 255}));
    EXPECT_EQ(rgbAt(3, 0, 0, 128, 128), (Rgb{0, 0, 0}));
    EXPECT_EQ(rgbAt(3, 1, 128, 128, 255), (Rgb{255, 37, 128}));
    EXPECT_EQ(rgbAt(5, 0, 100, 128, 179).r, 171);  // vector form, set B
    EXPECT_EQ(rgbAt(5, 4, 100, 128, 179).r, 172);  // table form
    // White is 0x7FFF in 555; a pixel converting to red up to the bits that
    // packing drops (no Y, Cb, Cr gives exactly 255, 0, 0) packs like red.
    Zeb8u Y = 255, Cb = 128, Cr = 128;
    const Zeb8u* src[3] = {&Y, &Cb, &Cr};
    Zeb16u w = 0;
    ASSERT_EQ(zebiYCbCrToRGB555_JPEG_8u16u_P3C3R(src, 1, &w, 2, {1, 1}), zebOk);
    EXPECT_EQ(w, 0x7FFF);
    for (int y = 0; y < 256; ++y)
        for (int cb = 0; cb < 256; ++cb)
            if (const Rgb c = tableDecode(y, cb, 255); c.r >= 248 && c.g < 4 && c.b < 4) Y = Zeb8u(y), Cb = Zeb8u(cb);
    Cr = 255;
    ASSERT_EQ(zebiYCbCrToRGB555_JPEG_8u16u_P3C3R(src, 1, &w, 2, {1, 1}), zebOk);
    EXPECT_EQ(w, 0x001F);
    ASSERT_EQ(zebiYCbCrToBGR565_JPEG_8u16u_P3C3R(src, 1, &w, 2, {1, 1}), zebOk);
    EXPECT_EQ(w, 0xF800);
    // 0xFFFF in 565 reads R = 248, G = 252, B = 248; CMYK (0, 0, 0, k) is white with K.
    const Zeb16u white = 0xFFFF;
    Zeb8u o[4];
    Zeb8u* dst[4] = {o, o + 1, o + 2, o + 3};
    ASSERT_EQ(zebiRGB565ToYCbCr_JPEG_16u8u_C3P3R(&white, 2, dst, 1, {1, 1}), zebOk);
    const int in[4] = {248, 252, 248, 0};
    int want[4];
    reference(Form::Q14, in, true, want);
    EXPECT_EQ(std::vector<int>(o, o + 3), std::vector<int>(want, want + 3));
    const Zeb8u cmyk[4] = {0, 0, 0, 77};
    ASSERT_EQ(zebiCMYKToYCCK_JPEG_8u_C4P4R(cmyk, 4, dst, 1, {1, 1}), zebOk);
    EXPECT_EQ(std::vector<int>(o, o + 4), (std::vector<int>{255, 128, 128, 77}));
}

TEST(ColorPlanes, Packed422UsesTheTablesForEveryPixel) {
    zebtest::Rng rng(422);
    for (int w : {2, 6, 16, 34}) {
        std::vector<Zeb8u> s(2 * w * 3), d(3 * w * 3);
        zebtest::fillRandom(s.data(), s.size(), rng);
        ASSERT_EQ(zebiYCbCr422ToRGB_JPEG_8u_C2C3R(s.data(), 2 * w, d.data(), 3 * w, {w, 3}), zebOk);
        for (int i = 0; i < 3 * w; ++i) {
            const Zeb8u* g = &s[(i / 2) * 4];
            ASSERT_EQ((Rgb{d[3 * i], d[3 * i + 1], d[3 * i + 2]}), tableDecode(g[(i & 1) * 2], g[1], g[3])) << i;
        }
    }
}

TEST(ColorPlanes, EncoderFormsStayWithinOneOfTheExactEquations) {
    zebtest::Rng rng(601);
    for (int i = 0; i < 200000 / kSlowScale; ++i) {
        const int in[4] = {int(rng.range(0, 255)), int(rng.range(0, 255)), int(rng.range(0, 255)), 0};
        double e[3];
        exactEncode(in[0], in[1], in[2], e[0], e[1], e[2]);
        for (Form f : {Form::Q14, Form::Diff15, Form::LumaQ15, Form::LumaFloat})
            for (bool vectorPart : {false, true}) {
                int out[4];
                reference(f, in, vectorPart, out);
                const int n = (f == Form::LumaQ15 || f == Form::LumaFloat) ? 1 : 3;
                for (int c = 0; c < n; ++c) ASSERT_LE(std::abs(out[c] - std::min(255.0, e[c])), 1.0) << int(f);
            }
    }
}

// ---- scalar and vector paths of every pipeline ------------------------------------------------
template <class In, class Conv, class Out>
void expectPathsAgree(int nSrc, int srcBpp, int nDst, int dstBpp) {
    using namespace zeb::color;
    zebtest::Rng rng(nSrc * 31 + dstBpp);
    for (int len : zebtest::kernelLengths(8))
        for (int mis : zebtest::kMisalignments) {
            std::vector<zebtest::GuardedBuffer<Zeb8u>> s, a, b;
            SrcRow sr{};
            DstRow da{}, db{};
            for (int c = 0; c < nSrc; ++c) {
                s.emplace_back(len * srcBpp, srcBpp == 2 ? mis & ~1 : mis);
                zebtest::fillRandom(s[c].data(), s[c].size(), rng, 0.2);
                sr.p[c] = s[c].data();
            }
            for (int c = 0; c < nDst; ++c) {
                const int dm = (1 + (mis & 1)) * (dstBpp == 2 ? 2 : 1);  // 16-bit words stay 2-byte aligned
                a.emplace_back(len * dstBpp, dstBpp == 2 ? 2 : 3), b.emplace_back(len * dstBpp, dm);
                da.p[c] = a[c].data(), db.p[c] = b[c].data();
            }
            convertRow<Path::Scalar, In, Conv, Out>(sr, da, len);
            convertRow<Path::Vector, In, Conv, Out>(sr, db, len);
            for (int c = 0; c < nDst; ++c) {
                ASSERT_TRUE(a[c].intact() && b[c].intact()) << len;
                ASSERT_EQ(0, std::memcmp(a[c].data(), b[c].data(), a[c].bytes())) << "len " << len << " mis " << mis;
            }
        }
}

TEST(ColorPlanes, ScalarAndVectorPathsAgree) {
    using namespace zeb::color;
    expectPathsAgree<ReadPlanes<3>, DecodeYCbCr<DecodeSetA>, WritePlanes<3>>(3, 1, 3, 1);
    expectPathsAgree<ReadPlanes<3>, DecodeYCbCr<DecodeSetB>, WriteInterleaved<3, OrderBGR>>(3, 1, 1, 3);
    expectPathsAgree<ReadPlanes<3>, DecodeYCbCr<DecodeSetB>, WriteInterleaved<3, OrderRGB>>(3, 1, 1, 3);
    expectPathsAgree<ReadPlanes<3>, DecodeYCbCr<DecodeSetA>, WritePacked<LayoutBGR555>>(3, 1, 1, 2);
    expectPathsAgree<ReadPlanes<3>, DecodeYCbCr<DecodeSetA>, WritePacked<LayoutRGB565>>(3, 1, 1, 2);
    expectPathsAgree<ReadPlanes<4>, DecodeYCbCr<DecodeSetA>, WriteInterleaved<4, OrderRGB, true>>(4, 1, 1, 4);
    expectPathsAgree<ReadPlanes<3>, EncodeLumaFloat, WritePlanes<1>>(3, 1, 1, 1);
    expectPathsAgree<ReadInterleaved<3, OrderBGR>, EncodeLumaQ15, WritePlanes<1>>(1, 3, 1, 1);
    expectPathsAgree<ReadPlanes<4, true>, EncodeDiffQ15, WritePlanes<4>>(4, 1, 4, 1);
    expectPathsAgree<ReadInterleaved<3, OrderRGB>, EncodeQ14, WritePlanes<3>>(1, 3, 3, 1);
    expectPathsAgree<ReadPacked<LayoutRGB555>, EncodeQ14, WritePlanes<3>>(1, 2, 3, 1);
    expectPathsAgree<ReadPacked<LayoutBGR565>, EncodeQ14, WritePlanes<3>>(1, 2, 3, 1);
    expectPathsAgree<ReadInterleaved<4, OrderRGB, true>, EncodeQ14, WritePlanes<4>>(1, 4, 4, 1);
}

// ---- argument checks --------------------------------------------------------------------------
TEST(ColorPlanes, GroupedCheckOrderWritesNothingOnFailure) {
    Zeb8u in[64] = {};
    zebtest::GuardedBuffer<Zeb8u> out(64);
    out.fill(0x77);
    out.snapshot();
    Zeb8u* o = out.data();
    const Zeb8u *src[4] = {in, in, in, in}, *srcNull[4] = {in, nullptr, in, in};
    Zeb8u *dst[4] = {o, o + 16, o + 32, o + 48}, *dstNull[4] = {o, o, o, nullptr};
    // Pointers (arrays, then elements) before steps before width, height.
    EXPECT_EQ(zebiYCbCrToRGB_JPEG_8u_P3R(nullptr, 0, dst, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiYCbCrToRGB_JPEG_8u_P3R(src, 0, nullptr, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiYCbCrToRGB_JPEG_8u_P3R(srcNull, 0, dst, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiYCCKToCMYK_JPEG_8u_P4R(src, 0, dstNull, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiYCbCrToRGB_JPEG_8u_P3R(src, 0, dst, 4, {0, 0}), zebErrStep);
    EXPECT_EQ(zebiYCbCrToRGB_JPEG_8u_P3R(src, 4, dst, -1, {0, 0}), zebErrStep);
    EXPECT_EQ(zebiYCbCrToRGB_JPEG_8u_P3R(src, 4, dst, 4, {0, 2}), zebErrSize);
    EXPECT_EQ(zebiYCbCrToRGB_JPEG_8u_P3R(src, 4, dst, 4, {4, 0}), zebErrSize);
    EXPECT_EQ(zebiYCbCrToBGR565_JPEG_8u16u_P3C3R(srcNull, 0, nullptr, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiYCCKToCMYK_JPEG_8u_P4C4R(src, 4, o, 0, {0, 1}), zebErrStep);
    EXPECT_EQ(zebiRGBToY_JPEG_8u_P3C1R(srcNull, 0, o, 0, {0, 0}), zebErrNullPtr);  // planes before pDst
    EXPECT_EQ(zebiRGBToY_JPEG_8u_P3C1R(src, 0, nullptr, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiBGRToY_JPEG_8u_C3C1R(in, 12, o, 0, {4, 1}), zebErrStep);
    Zeb8u* dst3Null[3] = {o, nullptr, o};
    EXPECT_EQ(zebiRGBToYCbCr_JPEG_8u_C3P3R(in, 0, dst3Null, 0, {0, 0}), zebErrNullPtr);
    EXPECT_EQ(zebiCMYKToYCCK_JPEG_8u_C4P4R(in, 16, dst, 4, {4, -1}), zebErrSize);
    const Zeb16u words[8] = {};
    EXPECT_EQ(zebiRGB555ToYCbCr_JPEG_16u8u_C3P3R(words, 0, dst, 4, {0, 0}), zebErrStep);
    // Packed 4:2:2: pointers, then size; steps are not checked.
    EXPECT_EQ(zebiYCbCr422ToRGB_JPEG_8u_C2C3R(nullptr, 8, o, 12, {4, 1}), zebErrNullPtr);
    EXPECT_EQ(zebiYCbCr422ToRGB_JPEG_8u_C2C3R(in, 0, o, 0, {0, 1}), zebErrSize);
    EXPECT_TRUE(out.unchanged());
    EXPECT_EQ(zebiYCbCr422ToRGB_JPEG_8u_C2C3R(in, 0, o, 0, {2, 2}), zebOk);  // rows share row 0
    EXPECT_TRUE(out.intact());
}

}  // namespace
