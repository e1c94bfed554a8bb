// MCU conversions: every encoder and decoder against its formulas with canaries
// around the pixel region and the blocks, scalar and vector paths, the
// stated values and the check order.
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "color_refs.h"
#include "common/harness.h"
#include "jpeg/color/mcu_kernels.h"

namespace {

using colortest::clamp8;
using colortest::floorShift;
using colortest::sat16;
using zebtest::GuardedBuffer;
using zebtest::Path;

using Channels = std::array<int, 4>;  // R, G, B, K (or Y, Cb, Cr)

// ---- pixel layouts, written from their byte and bit tables -------------------------------------

enum class Layout { RGB, BGR, BGR555, BGR565, CMYK, YCbCr, Packed422 };

int bytesPerPixel(Layout l) {
    switch (l) {
        case Layout::BGR555:
        case Layout::BGR565:
        case Layout::Packed422: return 2;
        case Layout::CMYK: return 4;
        default: return 3;
    }
}

Channels readPixel(Layout l, const Zeb8u* row, int x) {
    const Zeb8u* p = row + bytesPerPixel(l) * x;
    Zeb16u w = 0;
    std::memcpy(&w, p, 2);
    switch (l) {
        case Layout::RGB: return {p[0], p[1], p[2], 0};
        case Layout::BGR: return {p[2], p[1], p[0], 0};
        case Layout::BGR555: return {((w >> 10) & 31) << 3, ((w >> 5) & 31) << 3, (w & 31) << 3, 0};
        case Layout::BGR565: return {(w >> 11) << 3, ((w >> 5) & 63) << 2, (w & 31) << 3, 0};
        case Layout::CMYK: return {255 - p[0], 255 - p[1], 255 - p[2], p[3]};
        case Layout::YCbCr: return {p[0], p[1], p[2], 0};
        case Layout::Packed422: {
            const Zeb8u* g = row + 4 * (x / 2);
            return {g[2 * (x & 1)], g[1], g[3], 0};
        }
    }
    return {};
}

// ---- encoder cases -----------------------------------------------------------------------------------

using EncodeFn = std::function<ZebResult(const Zeb8u*, int, Zeb16s* const*)>;

struct EncoderCase {
    std::string name;
    Layout layout;
    int hs, vs, blocks;  // blocks: 3 or 4 channels
    bool convert;        // colour conversion, or level shift only
    EncodeFn fn;
};

template <class T, class F>
EncodeFn encodeFn(F f) {
    return [f](const Zeb8u* s, int step, Zeb16s* const* d) { return f(reinterpret_cast<const T*>(s), step, d); };
}

std::vector<EncoderCase> encoderCases() {
    std::vector<EncoderCase> c;
    auto add3 = [&](const char* name, Layout l, bool conv, int blocks, EncodeFn f444, EncodeFn f422, EncodeFn f411) {
        c.push_back({std::string(name) + "444", l, 1, 1, blocks, conv, f444});
        c.push_back({std::string(name) + "422", l, 2, 1, blocks, conv, f422});
        c.push_back({std::string(name) + "411", l, 2, 2, blocks, conv, f411});
    };
    add3("RGB", Layout::RGB, true, 3, encodeFn<Zeb8u>(zebiRGBToYCbCr444LS_MCU_8u16s_C3P3R),
         encodeFn<Zeb8u>(zebiRGBToYCbCr422LS_MCU_8u16s_C3P3R), encodeFn<Zeb8u>(zebiRGBToYCbCr411LS_MCU_8u16s_C3P3R));
    add3("BGR", Layout::BGR, true, 3, encodeFn<Zeb8u>(zebiBGRToYCbCr444LS_MCU_8u16s_C3P3R),
         encodeFn<Zeb8u>(zebiBGRToYCbCr422LS_MCU_8u16s_C3P3R), encodeFn<Zeb8u>(zebiBGRToYCbCr411LS_MCU_8u16s_C3P3R));
    add3("BGR555", Layout::BGR555, true, 3, encodeFn<Zeb16u>(zebiBGR555ToYCbCr444LS_MCU_16u16s_C3P3R),
         encodeFn<Zeb16u>(zebiBGR555ToYCbCr422LS_MCU_16u16s_C3P3R),
         encodeFn<Zeb16u>(zebiBGR555ToYCbCr411LS_MCU_16u16s_C3P3R));
    add3("BGR565", Layout::BGR565, true, 3, encodeFn<Zeb16u>(zebiBGR565ToYCbCr444LS_MCU_16u16s_C3P3R),
         encodeFn<Zeb16u>(zebiBGR565ToYCbCr422LS_MCU_16u16s_C3P3R),
         encodeFn<Zeb16u>(zebiBGR565ToYCbCr411LS_MCU_16u16s_C3P3R));
    add3("CMYK", Layout::CMYK, true, 4, encodeFn<Zeb8u>(zebiCMYKToYCCK444LS_MCU_8u16s_C4P4R),
         encodeFn<Zeb8u>(zebiCMYKToYCCK422LS_MCU_8u16s_C4P4R), encodeFn<Zeb8u>(zebiCMYKToYCCK411LS_MCU_8u16s_C4P4R));
    add3("SampleDown", Layout::YCbCr, false, 3, encodeFn<Zeb8u>(zebiSampleDown444LS_MCU_8u16s_C3P3R),
         encodeFn<Zeb8u>(zebiSampleDown422LS_MCU_8u16s_C3P3R), encodeFn<Zeb8u>(zebiSampleDown411LS_MCU_8u16s_C3P3R));
    c.push_back({"Split422", Layout::Packed422, 2, 1, 3, false, encodeFn<Zeb8u>(zebiSplit422LS_MCU_8u16s_C2P3R)});
    return c;
}

// Expected blocks (Y blocks, Cb, Cr, K blocks) of one MCU.
std::vector<std::vector<int>> expectedBlocks(const EncoderCase& ec, const Zeb8u* src, int step) {
    const int W = 8 * ec.hs, H = 8 * ec.vs, nY = ec.hs * ec.vs, logN = (ec.hs == 2) + (ec.vs == 2);
    std::vector<std::vector<int>> b(4);
    b[0].assign(64 * nY, 0);
    b[3].assign(64 * nY, 0);
    b[1].assign(64, 0);
    b[2].assign(64, 0);
    std::vector<std::array<long long, 3>> sums(64, {0, 0, 0});
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const Channels c = readPixel(ec.layout, src + y * step, x);
            const int at = ((y / 8) * ec.hs + x / 8) * 64 + (y % 8) * 8 + x % 8;
            const long long luma = floorShift(4899LL * c[0] + 9617 * c[1] + 1868 * c[2] - 2088960, 14);
            b[0][at] = ec.convert ? int(luma) : c[0] - 128;
            b[3][at] = c[3] - 128;
            for (int k = 0; k < 3; ++k) sums[(y / ec.vs) * 8 + x / ec.hs][k] += c[k];
        }
    for (int i = 0; i < 64; ++i) {
        const auto& s = sums[i];
        if (ec.convert) {
            const long long half = 1LL << (13 + logN);
            b[1][i] = int(floorShift(-2764 * s[0] - 5428 * s[1] + 8192 * s[2] + half, 14 + logN));
            b[2][i] = int(floorShift(8192 * s[0] - 6860 * s[1] - 1332 * s[2] + half, 14 + logN));
        } else {
            b[1][i] = int(floorShift(s[1] - (128LL << logN), logN));
            b[2][i] = int(floorShift(s[2] - (128LL << logN), logN));
        }
    }
    return b;
}

// Blocks of one MCU in guarded buffers.
struct McuBlocks {
    std::vector<GuardedBuffer<Zeb16s>> buf;
    Zeb16s* ptr[4] = {};
    McuBlocks(int nY, int channels, int misalign) {
        for (int c = 0; c < channels; ++c) buf.emplace_back(64 * ((c == 0 || c == 3) ? nY : 1), misalign);
        for (int c = 0; c < channels; ++c) {
            buf[c].fill(0x5D);
            ptr[c] = buf[c].data();
        }
    }
    bool intact() const {
        for (const auto& b : buf)
            if (!b.intact()) return false;
        return true;
    }
};

// A pixel region of w x h pixels with `pad` spare bytes after each row.
struct PixelRegion {
    int step;
    GuardedBuffer<Zeb8u> buf;
    PixelRegion(int rowBytes, int h, int pad, int misalign)
        : step(rowBytes + pad), buf(static_cast<std::size_t>(rowBytes + pad) * h, misalign) {}
};

TEST(McuEncoder, EveryFunctionFollowsItsFormulasAndTouchesOnlyItsBlocks) {
    zebtest::Rng rng(43);
    for (const EncoderCase& ec : encoderCases()) {
        const int bpp = bytesPerPixel(ec.layout), W = 8 * ec.hs, H = 8 * ec.vs;
        for (int trial = 0; trial < 12; ++trial) {
            PixelRegion px(W * bpp, H, trial % 3 * 6, bpp == 2 ? 2 * (trial % 4) : trial % 5);
            zebtest::fillRandom(px.buf.data(), px.buf.size(), rng, 0.3);
            px.buf.snapshot();
            McuBlocks out(ec.hs * ec.vs, ec.blocks, 2 * (trial % 3));
            ASSERT_EQ(ec.fn(px.buf.data(), px.step, out.ptr), zebOk) << ec.name;
            ASSERT_TRUE(out.intact()) << ec.name;
            ASSERT_TRUE(px.buf.unchanged()) << ec.name;
            const auto want = expectedBlocks(ec, px.buf.data(), px.step);
            for (int c = 0; c < ec.blocks; ++c)
                for (std::size_t i = 0; i < out.buf[c].size(); ++i)
                    ASSERT_EQ(out.buf[c][i], want[c][i]) << ec.name << " channel " << c << " index " << i;
        }
    }
}

// ---- decoder cases ----------------------------------------------------------------------------------------

struct DecoderCase {
    std::string name;
    Layout out;
    int hs, vs, blocks;
    std::function<ZebResult(const Zeb16s* const*, Zeb8u*, int)> fn;
};

template <class T, class F>
auto decodeFn(F f) {
    return [f](const Zeb16s* const* s, Zeb8u* d, int step) { return f(s, reinterpret_cast<T*>(d), step); };
}

std::vector<DecoderCase> decoderCases() {
    std::vector<DecoderCase> c;
    auto add3 = [&](const char* name, Layout o, int blocks, auto f444, auto f422, auto f411) {
        c.push_back({std::string(name) + "444", o, 1, 1, blocks, f444});
        c.push_back({std::string(name) + "422", o, 2, 1, blocks, f422});
        c.push_back({std::string(name) + "411", o, 2, 2, blocks, f411});
    };
    add3("RGB", Layout::RGB, 3, decodeFn<Zeb8u>(zebiYCbCr444ToRGBLS_MCU_16s8u_P3C3R),
         decodeFn<Zeb8u>(zebiYCbCr422ToRGBLS_MCU_16s8u_P3C3R), decodeFn<Zeb8u>(zebiYCbCr411ToRGBLS_MCU_16s8u_P3C3R));
    add3("BGR", Layout::BGR, 3, decodeFn<Zeb8u>(zebiYCbCr444ToBGRLS_MCU_16s8u_P3C3R),
         decodeFn<Zeb8u>(zebiYCbCr422ToBGRLS_MCU_16s8u_P3C3R), decodeFn<Zeb8u>(zebiYCbCr411ToBGRLS_MCU_16s8u_P3C3R));
    add3("BGR555", Layout::BGR555, 3, decodeFn<Zeb16u>(zebiYCbCr444ToBGR555LS_MCU_16s16u_P3C3R),
         decodeFn<Zeb16u>(zebiYCbCr422ToBGR555LS_MCU_16s16u_P3C3R),
         decodeFn<Zeb16u>(zebiYCbCr411ToBGR555LS_MCU_16s16u_P3C3R));
    add3("BGR565", Layout::BGR565, 3, decodeFn<Zeb16u>(zebiYCbCr444ToBGR565LS_MCU_16s16u_P3C3R),
         decodeFn<Zeb16u>(zebiYCbCr422ToBGR565LS_MCU_16s16u_P3C3R),
         decodeFn<Zeb16u>(zebiYCbCr411ToBGR565LS_MCU_16s16u_P3C3R));
    add3("CMYK", Layout::CMYK, 4, decodeFn<Zeb8u>(zebiYCCK444ToCMYKLS_MCU_16s8u_P4C4R),
         decodeFn<Zeb8u>(zebiYCCK422ToCMYKLS_MCU_16s8u_P4C4R), decodeFn<Zeb8u>(zebiYCCK411ToCMYKLS_MCU_16s8u_P4C4R));
    add3("SampleUp", Layout::YCbCr, 3, decodeFn<Zeb8u>(zebiSampleUp444LS_MCU_16s8u_P3C3R),
         decodeFn<Zeb8u>(zebiSampleUp422LS_MCU_16s8u_P3C3R), decodeFn<Zeb8u>(zebiSampleUp411LS_MCU_16s8u_P3C3R));
    c.push_back({"Join422", Layout::Packed422, 2, 1, 3, decodeFn<Zeb8u>(zebiJoin422LS_MCU_16s8u_P3C2R)});
    return c;
}

// The bytes of pixel (x, y) from its Y, Cb, Cr, K block values.
std::vector<int> expectedPixel(Layout o, int x, int y, int cb, int cr, int k) {
    const int r = clamp8(y + sat16(floorShift(11485LL * cr + 1052672, 13)));
    const int g = clamp8(y - sat16(floorShift(5638LL * cb + 11700LL * cr - 2088960, 14)));
    const int b = clamp8(y + sat16(floorShift(14516LL * cb + 1052672, 13)));
    auto word = [](int v) { return std::vector<int>{v & 255, v >> 8}; };
    switch (o) {
        case Layout::RGB: return {r, g, b};
        case Layout::BGR: return {b, g, r};
        case Layout::BGR555: return word((b >> 3) | ((g >> 3) << 5) | ((r >> 3) << 10));
        case Layout::BGR565: return word((b >> 3) | ((g >> 2) << 5) | ((r >> 3) << 11));
        case Layout::CMYK: return {255 - r, 255 - g, 255 - b, clamp8(k + 128)};
        case Layout::YCbCr: return {clamp8(y + 128), clamp8(cb + 128), clamp8(cr + 128)};
        case Layout::Packed422: return {clamp8(y + 128), clamp8(((x & 1) ? cr : cb) + 128)};
    }
    return {};
}

TEST(McuDecoder, EveryFunctionFollowsItsFormulasAndTouchesOnlyItsRegion) {
    zebtest::Rng rng(44);
    for (const DecoderCase& dc : decoderCases()) {
        const int bpp = bytesPerPixel(dc.out), W = 8 * dc.hs, H = 8 * dc.vs, nY = dc.hs * dc.vs;
        for (int trial = 0; trial < 12; ++trial) {
            McuBlocks in(nY, dc.blocks, 2 * (trial % 4));
            for (auto& b : in.buf) {
                // Mostly sample-range values, some anywhere in 16 bits to reach the saturations.
                if (trial % 3 == 2)
                    zebtest::fillRandom(b.data(), b.size(), rng, 0.3);
                else
                    zebtest::fillRandomIn(b.data(), b.size(), rng, -160, 160, 0.1);
                b.snapshot();
            }
            PixelRegion px(W * bpp, H, trial % 3 * 5, bpp == 2 ? 2 * (trial % 4) : trial % 7);
            px.buf.fill(0xE1);
            const Zeb16s* src[4] = {in.ptr[0], in.ptr[1], in.ptr[2], in.ptr[3]};
            ASSERT_EQ(dc.fn(src, px.buf.data(), px.step), zebOk) << dc.name;
            ASSERT_TRUE(px.buf.intact()) << dc.name;
            for (const auto& b : in.buf) ASSERT_TRUE(b.unchanged()) << dc.name;
            for (int y = 0; y < H; ++y) {
                const Zeb8u* row = px.buf.data() + y * px.step;
                for (int x = 0; x < W; ++x) {
                    const int li = ((y / 8) * dc.hs + x / 8) * 64 + (y % 8) * 8 + x % 8;
                    const int ci = (y / dc.vs) * 8 + x / dc.hs;
                    const std::vector<int> want = expectedPixel(dc.out, x, in.ptr[0][li], in.ptr[1][ci], in.ptr[2][ci],
                                                                dc.blocks == 4 ? in.ptr[3][li] : 0);
                    for (int i = 0; i < bpp; ++i)
                        ASSERT_EQ(row[x * bpp + i], want[i]) << dc.name << " pixel " << x << "," << y << " byte " << i;
                }
                for (int i = W * bpp; i < px.step; ++i) ASSERT_EQ(row[i], 0xE1) << dc.name << " row padding";
            }
        }
    }
}

// ---- scalar and vector paths --------------------------------------------------------------------------------

template <class In, class Conv, int HS, int VS, bool HasK>
void expectEncodePathsAgree(int bpp, zebtest::Rng& rng) {
    for (int trial = 0; trial < 40; ++trial) {
        const int step = 8 * HS * bpp + (trial % 4) * 2;
        GuardedBuffer<Zeb8u> px(static_cast<std::size_t>(step) * 8 * VS, bpp == 2 ? trial % 8 & ~1 : trial % 8);
        zebtest::fillRandom(px.data(), px.size(), rng, 0.3);
        McuBlocks a(HS * VS, HasK ? 4 : 3, 0), b(HS * VS, HasK ? 4 : 3, 6);
        zeb::mcu::encodeMcu<Path::Scalar, In, Conv, HS, VS, HasK>(px.data(), step, a.ptr);
        zeb::mcu::encodeMcu<Path::Vector, In, Conv, HS, VS, HasK>(px.data(), step, b.ptr);
        ASSERT_TRUE(a.intact() && b.intact());
        for (std::size_t c = 0; c < a.buf.size(); ++c)
            ASSERT_EQ(0, std::memcmp(a.buf[c].data(), b.buf[c].data(), a.buf[c].bytes())) << "channel " << c;
    }
}

template <class Conv, class Out, int HS, int VS, bool HasK>
void expectDecodePathsAgree(int bpp, zebtest::Rng& rng) {
    for (int trial = 0; trial < 40; ++trial) {
        McuBlocks in(HS * VS, HasK ? 4 : 3, 2 * (trial % 3));
        for (auto& buf : in.buf) zebtest::fillRandom(buf.data(), buf.size(), rng, 0.3);
        const int step = 8 * HS * bpp + (trial % 4) * 2;
        GuardedBuffer<Zeb8u> a(static_cast<std::size_t>(step) * 8 * VS, 0), b(a.size(), bpp == 2 ? 6 : 5);
        a.fill(0);
        b.fill(0);
        zeb::mcu::decodeMcu<Path::Scalar, Conv, Out, HS, VS, HasK>(in.ptr, a.data(), step);
        zeb::mcu::decodeMcu<Path::Vector, Conv, Out, HS, VS, HasK>(in.ptr, b.data(), step);
        ASSERT_TRUE(a.intact() && b.intact());
        ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size()));
    }
}

template <int HS, int VS>
void expectAllPathsAgree(zebtest::Rng& rng) {
    using namespace zeb::color;
    using namespace zeb::mcu;
    expectEncodePathsAgree<ReadInterleaved<3, OrderRGB>, EncodeRgb, HS, VS, false>(3, rng);
    expectEncodePathsAgree<ReadInterleaved<3, OrderBGR>, EncodeRgb, HS, VS, false>(3, rng);
    expectEncodePathsAgree<ReadPacked<LayoutBGR555>, EncodeRgb, HS, VS, false>(2, rng);
    expectEncodePathsAgree<ReadPacked<LayoutBGR565>, EncodeRgb, HS, VS, false>(2, rng);
    expectEncodePathsAgree<ReadInterleaved<4, OrderRGB, true>, EncodeRgb, HS, VS, true>(4, rng);
    expectEncodePathsAgree<ReadInterleaved<3, OrderRGB>, EncodeLevelShift, HS, VS, false>(3, rng);
    expectDecodePathsAgree<DecodeRgb, WriteInterleaved<3, OrderRGB>, HS, VS, false>(3, rng);
    expectDecodePathsAgree<DecodeRgb, WriteInterleaved<3, OrderBGR>, HS, VS, false>(3, rng);
    expectDecodePathsAgree<DecodeRgb, WritePacked<LayoutBGR555>, HS, VS, false>(2, rng);
    expectDecodePathsAgree<DecodeRgb, WritePacked<LayoutBGR565>, HS, VS, false>(2, rng);
    expectDecodePathsAgree<DecodeRgb, WriteInterleaved<4, OrderRGB, true>, HS, VS, true>(4, rng);
    expectDecodePathsAgree<DecodeLevelShift, WriteInterleaved<3, OrderRGB>, HS, VS, false>(3, rng);
}

TEST(McuPaths, ScalarAndVectorAgreeForEveryKernel) {
    zebtest::Rng rng(46);
    expectAllPathsAgree<1, 1>(rng);
    expectAllPathsAgree<2, 1>(rng);
    expectAllPathsAgree<2, 2>(rng);
    expectEncodePathsAgree<zeb::color::ReadPacked422, zeb::mcu::EncodeLevelShift, 2, 1, false>(2, rng);
    expectDecodePathsAgree<zeb::mcu::DecodeLevelShift, zeb::mcu::WritePacked422, 2, 1, false>(2, rng);
}

// ---- stated values --------------------------------------------------------------------------------------------

TEST(Mcu, StatedValues) {
    std::vector<Zeb16s> y(256), cb(64), cr(64);
    Zeb16s* blocks[3] = {y.data(), cb.data(), cr.data()};
    // White and black 8x8 RGB regions.
    for (int v : {255, 0}) {
        std::vector<Zeb8u> px(8 * 8 * 3, Zeb8u(v));
        ASSERT_EQ(zebiRGBToYCbCr444LS_MCU_8u16s_C3P3R(px.data(), 24, blocks), zebOk);
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(y[i], v == 255 ? 127 : -128);
            ASSERT_EQ(cb[i], 0);
            ASSERT_EQ(cr[i], 0);
        }
    }
    // 411: one red pixel and three black ones in a 2x2 group give Cr 32.
    std::vector<Zeb8u> px(16 * 16 * 3, 0);
    px[0] = 255;
    ASSERT_EQ(zebiRGBToYCbCr411LS_MCU_8u16s_C3P3R(px.data(), 48, blocks), zebOk);
    EXPECT_EQ(cr[0], (8192 * 255 + 32768) >> 16);
    EXPECT_EQ(cr[0], 32);
    // SampleDown 422: chroma 1 and 2 average down to 1, minus 128.
    std::vector<Zeb8u> ycc(16 * 8 * 3, 128);
    ycc[1] = 1, ycc[4] = 2;
    ASSERT_EQ(zebiSampleDown422LS_MCU_8u16s_C3P3R(ycc.data(), 48, blocks), zebOk);
    EXPECT_EQ(cb[0], -127);

    // Decoder: zero blocks are mid grey; Y 127 with zero chroma is white.
    std::fill(y.begin(), y.end(), 0);
    std::fill(cb.begin(), cb.end(), 0);
    std::fill(cr.begin(), cr.end(), 0);
    const Zeb16s* src[3] = {y.data(), cb.data(), cr.data()};
    std::vector<Zeb8u> out(16 * 16 * 3);
    ASSERT_EQ(zebiYCbCr411ToBGRLS_MCU_16s8u_P3C3R(src, out.data(), 48), zebOk);
    for (Zeb8u v : out) ASSERT_EQ(v, 128);
    y[5] = 127;
    ASSERT_EQ(zebiYCbCr444ToRGBLS_MCU_16s8u_P3C3R(src, out.data(), 24), zebOk);
    EXPECT_EQ(out[15], 255);
    EXPECT_EQ(out[16], 255);
    EXPECT_EQ(out[17], 255);
    // 422: pixel 8 of row 0 takes Y from index 0 of the second Y block, and
    // pixels 2k, 2k+1 share one chroma pair.
    y[64] = 50;
    cr[4] = 20;
    ASSERT_EQ(zebiYCbCr422ToRGBLS_MCU_16s8u_P3C3R(src, out.data(), 48), zebOk);
    const int r8 = clamp8(50 + floorShift(11485LL * 20 + 1052672, 13));
    EXPECT_EQ(out[8 * 3], r8);
    EXPECT_EQ(out[9 * 3], clamp8(floorShift(11485LL * 20 + 1052672, 13)));
    EXPECT_EQ(out[10 * 3], 128);
}

// ---- checks ------------------------------------------------------------------------------------------------------

TEST(McuChecks, PointersStepsAndBlockPointersInOrder) {
    std::vector<Zeb8u> px(16 * 16 * 4);
    GuardedBuffer<Zeb16s> blk(64 * 4);
    blk.fill(0x11);
    blk.snapshot();
    Zeb16s* ok[4] = {blk.data(), blk.data(), blk.data(), blk.data()};
    Zeb16s* bad[4] = {blk.data(), blk.data(), nullptr, blk.data()};
    Zeb16s* badK[4] = {blk.data(), blk.data(), blk.data(), nullptr};
    // Encoders: pSrc / pDstMCU, then srcStep, then the block pointers.
    EXPECT_EQ(zebiRGBToYCbCr444LS_MCU_8u16s_C3P3R(nullptr, 0, bad), zebErrNullPtr);
    EXPECT_EQ(zebiRGBToYCbCr422LS_MCU_8u16s_C3P3R(px.data(), 0, nullptr), zebErrNullPtr);
    EXPECT_EQ(zebiBGRToYCbCr411LS_MCU_8u16s_C3P3R(px.data(), 0, bad), zebErrStep);
    EXPECT_EQ(zebiBGRToYCbCr411LS_MCU_8u16s_C3P3R(px.data(), 48, bad), zebErrNullPtr);
    EXPECT_EQ(zebiCMYKToYCCK422LS_MCU_8u16s_C4P4R(px.data(), 64, badK), zebErrNullPtr);
    EXPECT_EQ(zebiCMYKToYCCK422LS_MCU_8u16s_C4P4R(px.data(), -1, badK), zebErrStep);
    EXPECT_EQ(zebiSplit422LS_MCU_8u16s_C2P3R(px.data(), 0, ok), zebErrStep);
    const Zeb16u* words = reinterpret_cast<const Zeb16u*>(px.data());
    EXPECT_EQ(zebiBGR565ToYCbCr444LS_MCU_16u16s_C3P3R(words, 16, bad), zebErrNullPtr);
    EXPECT_TRUE(blk.unchanged());

    // Decoders: pSrcMCU / pDst, then the block pointers, then dstStep.
    GuardedBuffer<Zeb8u> out(16 * 16 * 4);
    out.fill(0x22);
    out.snapshot();
    const Zeb16s* src[4] = {blk.data(), blk.data(), blk.data(), blk.data()};
    const Zeb16s* srcBad[4] = {blk.data(), nullptr, blk.data(), blk.data()};
    const Zeb16s* srcBadK[4] = {blk.data(), blk.data(), blk.data(), nullptr};
    EXPECT_EQ(zebiYCbCr444ToRGBLS_MCU_16s8u_P3C3R(nullptr, out.data(), 0), zebErrNullPtr);
    EXPECT_EQ(zebiYCbCr422ToBGRLS_MCU_16s8u_P3C3R(src, nullptr, 0), zebErrNullPtr);
    EXPECT_EQ(zebiYCbCr411ToRGBLS_MCU_16s8u_P3C3R(srcBad, out.data(), 0), zebErrNullPtr);
    EXPECT_EQ(zebiYCCK444ToCMYKLS_MCU_16s8u_P4C4R(srcBadK, out.data(), 0), zebErrNullPtr);
    EXPECT_EQ(zebiSampleUp422LS_MCU_16s8u_P3C3R(src, out.data(), 0), zebErrStep);
    EXPECT_EQ(zebiJoin422LS_MCU_16s8u_P3C2R(src, out.data(), -32), zebErrStep);
    EXPECT_EQ(zebiYCbCr411ToBGR565LS_MCU_16s16u_P3C3R(src, reinterpret_cast<Zeb16u*>(out.data()), 0), zebErrStep);
    EXPECT_TRUE(out.unchanged());
}

}  // namespace
