// Colour conversion, sampling and MCU kernels: Mpixels/s of the scalar and
// vector paths in one run, and the threaded whole-plane functions with one
// and two threads on a large plane.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "jpeg/color/color_plane_kernels.h"
#include "jpeg/color/mcu_kernels.h"
#include "jpeg/color/sampling_kernels.h"

namespace {

using zeb::Path;
using namespace zeb::color;

constexpr int kRow = 1920;

std::vector<std::uint8_t> noise(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t s = 12345;
    for (auto& b : v) b = static_cast<std::uint8_t>((s = s * 1664525u + 1013904223u) >> 24);
    return v;
}

// ---- plane conversions: one 1920-pixel row per iteration -----------------------------------------
template <Path P, class In, class Conv, class Out, int NS, int SB, int ND, int DB>
void BM_Row(benchmark::State& st) {
    std::vector<std::uint8_t> src[4], dst[4];
    SrcRow s{};
    DstRow d{};
    for (int c = 0; c < NS; ++c) src[c] = noise(kRow * SB + 16), s.p[c] = src[c].data();
    for (int c = 0; c < ND; ++c) dst[c].resize(kRow * DB + 16), d.p[c] = dst[c].data();
    for (auto _ : st) {
        convertRow<P, In, Conv, Out>(s, d, kRow);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kRow);
}

#define ZEB_BENCH_ROW(NAME, ...)                                                         \
    BENCHMARK(BM_Row<Path::Scalar, __VA_ARGS__>)->Name(NAME "/scalar");                \
    BENCHMARK(BM_Row<Path::Vector, __VA_ARGS__>)->Name(NAME "/vector");

ZEB_BENCH_ROW("YCbCrToRGB_P3R", ReadPlanes<3>, DecodeYCbCr<DecodeSetA>, WritePlanes<3>, 3, 1, 3, 1)
ZEB_BENCH_ROW("YCbCrToRGB_P3C3R", ReadPlanes<3>, DecodeYCbCr<DecodeSetB>, WriteInterleaved<3, OrderRGB>, 3, 1, 1, 3)
ZEB_BENCH_ROW("YCbCrToBGR565", ReadPlanes<3>, DecodeYCbCr<DecodeSetA>, WritePacked<LayoutBGR565>, 3, 1, 1, 2)
ZEB_BENCH_ROW("YCCKToCMYK_P4C4R", ReadPlanes<4>, DecodeYCbCr<DecodeSetA>, WriteInterleaved<4, OrderRGB, true>, 4, 1,
              1, 4)
ZEB_BENCH_ROW("RGBToY_P3C1R", ReadPlanes<3>, EncodeLumaFloat, WritePlanes<1>, 3, 1, 1, 1)
ZEB_BENCH_ROW("RGBToY_C3C1R", ReadInterleaved<3, OrderRGB>, EncodeLumaQ15, WritePlanes<1>, 1, 3, 1, 1)
ZEB_BENCH_ROW("RGBToYCbCr_P3R", ReadPlanes<3>, EncodeDiffQ15, WritePlanes<3>, 3, 1, 3, 1)
ZEB_BENCH_ROW("RGBToYCbCr_C3P3R", ReadInterleaved<3, OrderRGB>, EncodeQ14, WritePlanes<3>, 1, 3, 3, 1)
ZEB_BENCH_ROW("BGR565ToYCbCr", ReadPacked<LayoutBGR565>, EncodeQ14, WritePlanes<3>, 1, 2, 3, 1)
ZEB_BENCH_ROW("CMYKToYCCK_C4P4R", ReadInterleaved<4, OrderRGB, true>, EncodeQ14, WritePlanes<4>, 1, 4, 4, 1)

// ---- sampling: destination samples per second --------------------------------------------------------
namespace smp = zeb::sampling;

template <Path P, int Kind>
void BM_Sample(benchmark::State& st) {
    const std::vector<std::uint8_t> a = noise(2 * kRow + 64), b = noise(2 * kRow + 64);
    std::vector<std::uint8_t> d(2 * kRow + 64);
    const std::uint8_t* s1 = a.data() + 16;
    const std::uint8_t* s2 = b.data() + 16;
    int produced = 0;
    for (auto _ : st) {
        switch (Kind) {
            case 0: smp::downsampleBox<P, 1>(s1, nullptr, d.data(), kRow, 1, 1), produced = kRow; break;
            case 1: smp::downsampleBox<P, 2>(s1, s2, d.data(), kRow, 3, 3), produced = kRow; break;
            case 2: smp::upsampleRegionRowH2V1<P>(s1, d.data(), 2 * kRow), produced = 2 * kRow; break;
            case 3: smp::upsampleRegionRowH2V2<P>(s1, s2, d.data(), 2 * kRow), produced = 2 * kRow; break;
            case 4: smp::upsampleRowH2V2<P>(s1, s2, d.data(), kRow), produced = 2 * kRow; break;
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * produced);
}
#define ZEB_BENCH_SAMPLE(NAME, KIND)                                       \
    BENCHMARK(BM_Sample<Path::Scalar, KIND>)->Name(NAME "/scalar");        \
    BENCHMARK(BM_Sample<Path::Vector, KIND>)->Name(NAME "/vector");
ZEB_BENCH_SAMPLE("SampleDownH2V1", 0)
ZEB_BENCH_SAMPLE("SampleDownH2V2", 1)
ZEB_BENCH_SAMPLE("SampleUpH2V1", 2)
ZEB_BENCH_SAMPLE("SampleUpH2V2", 3)
ZEB_BENCH_SAMPLE("SampleUpRowH2V2", 4)

// ---- MCU conversions: pixels per second -------------------------------------------------------------------
template <Path P, class In, class Conv, int HS, int VS, bool K, int BPP>
void BM_McuEncode(benchmark::State& st) {
    const std::vector<std::uint8_t> px = noise(16 * 16 * BPP);
    std::vector<std::int16_t> blocks[4];
    std::int16_t* bp[4];
    for (int c = 0; c < 4; ++c) blocks[c].resize(256), bp[c] = blocks[c].data();
    for (auto _ : st) {
        zeb::mcu::encodeMcu<P, In, Conv, HS, VS, K>(px.data(), 8 * HS * BPP, bp);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * 64 * HS * VS);
}
template <Path P, class Conv, class Out, int HS, int VS, bool K, int BPP>
void BM_McuDecode(benchmark::State& st) {
    std::vector<std::int16_t> blocks[4];
    const std::int16_t* bp[4];
    for (int c = 0; c < 4; ++c) {
        blocks[c].resize(256);
        const std::vector<std::uint8_t> n = noise(256);
        for (int i = 0; i < 256; ++i) blocks[c][i] = static_cast<std::int16_t>(n[i] - 128);
        bp[c] = blocks[c].data();
    }
    std::vector<std::uint8_t> px(16 * 16 * BPP);
    for (auto _ : st) {
        zeb::mcu::decodeMcu<P, Conv, Out, HS, VS, K>(bp, px.data(), 8 * HS * BPP);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * 64 * HS * VS);
}
using zeb::mcu::DecodeRgb;
using zeb::mcu::EncodeRgb;
#define ZEB_BENCH_MCU(NAME, BM, ...)                                 \
    BENCHMARK(BM<Path::Scalar, __VA_ARGS__>)->Name(NAME "/scalar");  \
    BENCHMARK(BM<Path::Vector, __VA_ARGS__>)->Name(NAME "/vector");
ZEB_BENCH_MCU("MCU_RGBToYCbCr444", BM_McuEncode, ReadInterleaved<3, OrderRGB>, EncodeRgb, 1, 1, false, 3)
ZEB_BENCH_MCU("MCU_RGBToYCbCr411", BM_McuEncode, ReadInterleaved<3, OrderRGB>, EncodeRgb, 2, 2, false, 3)
ZEB_BENCH_MCU("MCU_BGR565ToYCbCr422", BM_McuEncode, ReadPacked<LayoutBGR565>, EncodeRgb, 2, 1, false, 2)
ZEB_BENCH_MCU("MCU_YCbCr444ToRGB", BM_McuDecode, DecodeRgb, WriteInterleaved<3, OrderRGB>, 1, 1, false, 3)
ZEB_BENCH_MCU("MCU_YCbCr411ToRGB", BM_McuDecode, DecodeRgb, WriteInterleaved<3, OrderRGB>, 2, 2, false, 3)
ZEB_BENCH_MCU("MCU_YCbCr422ToBGR565", BM_McuDecode, DecodeRgb, WritePacked<LayoutBGR565>, 2, 1, false, 2)
ZEB_BENCH_MCU("MCU_YCCK411ToCMYK", BM_McuDecode, DecodeRgb, WriteInterleaved<4, OrderRGB, true>, 2, 2, true, 4)

// ---- threads: exported functions on a 1920 x 1080 plane -------------------------------------------------------
constexpr int kW = 1920, kH = 1080;

void BM_ThreadsYCbCrToRGB(benchmark::State& st) {
    const std::vector<std::uint8_t> y = noise(kW * kH), cb = noise(kW * kH), cr = noise(kW * kH);
    std::vector<std::uint8_t> rgb(3 * kW * kH);
    const Zeb8u* src[3] = {y.data(), cb.data(), cr.data()};
    const int saved = zebcoreGetNumThreads();
    zebcoreSetNumThreads(static_cast<int>(st.range(0)));
    for (auto _ : st) {
        zebiYCbCrToRGB_JPEG_8u_P3C3R(src, kW, rgb.data(), 3 * kW, {kW, kH});
        benchmark::ClobberMemory();
    }
    zebcoreSetNumThreads(saved);
    st.SetItemsProcessed(st.iterations() * kW * kH);
}
BENCHMARK(BM_ThreadsYCbCrToRGB)->Arg(1)->Arg(2)->UseRealTime();

void BM_ThreadsRGBToYCbCr(benchmark::State& st) {
    const std::vector<std::uint8_t> rgb = noise(3 * kW * kH);
    std::vector<std::uint8_t> y(kW * kH), cb(kW * kH), cr(kW * kH);
    Zeb8u* dst[3] = {y.data(), cb.data(), cr.data()};
    const int saved = zebcoreGetNumThreads();
    zebcoreSetNumThreads(static_cast<int>(st.range(0)));
    for (auto _ : st) {
        zebiRGBToYCbCr_JPEG_8u_C3P3R(rgb.data(), 3 * kW, dst, kW, {kW, kH});
        benchmark::ClobberMemory();
    }
    zebcoreSetNumThreads(saved);
    st.SetItemsProcessed(st.iterations() * kW * kH);
}
BENCHMARK(BM_ThreadsRGBToYCbCr)->Arg(1)->Arg(2)->UseRealTime();

void BM_ThreadsSampleUpH2V2(benchmark::State& st) {
    const int sw = kW / 2 + 2, sh = kH / 2 + 2;
    const std::vector<std::uint8_t> src = noise(static_cast<std::size_t>(sw) * sh);
    std::vector<std::uint8_t> dst(kW * kH);
    const int saved = zebcoreGetNumThreads();
    zebcoreSetNumThreads(static_cast<int>(st.range(0)));
    for (auto _ : st) {
        zebiSampleUpH2V2_JPEG_8u_C1R(src.data() + sw + 1, sw, {kW / 2, kH / 2}, dst.data(), kW, {kW, kH});
        benchmark::ClobberMemory();
    }
    zebcoreSetNumThreads(saved);
    st.SetItemsProcessed(st.iterations() * kW * kH);
}
BENCHMARK(BM_ThreadsSampleUpH2V2)->Arg(1)->Arg(2)->UseRealTime();

// The codec tool's pattern: one 1920 x 16 chroma strip up-sampled in calls
// of 4 destination rows (one thread; each call stays below the threading size).
void BM_SampleUpH2V2Chunks(benchmark::State& st) {
    constexpr int kStrip = 16, kChunk = 4;
    const int sw = kW / 2 + 2, sh = kStrip / 2 + 2;
    const std::vector<std::uint8_t> src = noise(static_cast<std::size_t>(sw) * sh);
    std::vector<std::uint8_t> dst(kW * kStrip);
    for (auto _ : st) {
        for (int r0 = 0; r0 < kStrip; r0 += kChunk)
            zebiSampleUpH2V2_JPEG_8u_C1R(src.data() + (r0 / 2 + 1) * sw + 1, sw, {kW / 2, kChunk / 2},
                                         dst.data() + r0 * kW, kW, {kW, kChunk});
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kW * kStrip);
}
BENCHMARK(BM_SampleUpH2V2Chunks);

// Sixteen rows of the up-sampling region kernel (one band), both paths.
template <Path P>
void BM_SampleUpH2V2Band(benchmark::State& st) {
    constexpr int kRows = 16;
    const int sw = kW / 2 + 2, sh = kRows / 2 + 2;
    const std::vector<std::uint8_t> src = noise(static_cast<std::size_t>(sw) * sh);
    std::vector<std::uint8_t> dst(kW * kRows);
    for (auto _ : st) {
        smp::upsampleRegionRowsH2V2<P>(src.data() + sw + 1, sw, dst.data(), kW, 0, kRows, kW);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kW * kRows);
}
BENCHMARK(BM_SampleUpH2V2Band<Path::Scalar>)->Name("SampleUpH2V2Band/scalar");
BENCHMARK(BM_SampleUpH2V2Band<Path::Vector>)->Name("SampleUpH2V2Band/vector");

}  // namespace

BENCHMARK_MAIN();
