// Fused 8x8 DCT and quantisation (ns per block via items/s), the 12-bit float
// path, and the region level shifts (pixels/s); scalar against vector paths.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "jpeg/dct/dct16_kernels.h"
#include "jpeg/dct/dct32f_kernels.h"
#include "jpeg/dct/level_shift_kernels.h"
#include "jpeg/dct/quant_kernels.h"
#include "zeb.h"

namespace {

using zeb::Path;
namespace dct = zeb::dct;

constexpr int kBlocks = 256;  // a strip of blocks per iteration, as in an MCU row

struct Blocks {
    std::vector<std::uint8_t> px = std::vector<std::uint8_t>(kBlocks * 64);
    std::vector<std::int16_t> coef = std::vector<std::int16_t>(kBlocks * 64);
    std::vector<std::uint16_t> px12 = std::vector<std::uint16_t>(kBlocks * 64);
    std::uint16_t fwd[64], inv[64];
    float ffwd[64], finv[64];
    Blocks() {
        std::mt19937 g(1);
        for (auto& v : px) v = static_cast<std::uint8_t>(g());
        for (auto& v : px12) v = static_cast<std::uint16_t>(g() & 4095);
        for (int k = 0; k < 64; ++k) {
            inv[k] = static_cast<std::uint16_t>(1 + k % 20);
            fwd[k] = static_cast<std::uint16_t>(32768 / inv[k]);
            finv[k] = inv[k];
            ffwd[k] = 1.0f / inv[k];
        }
        for (std::size_t i = 0; i < coef.size(); ++i) coef[i] = static_cast<std::int16_t>((g() % 41) - 20);
    }
};

template <Path P>
void BM_DCTQuantFwd8x8LS_8u16s(benchmark::State& st) {
    Blocks b;
    for (auto _ : st) {
        for (int i = 0; i < kBlocks; ++i) {
            alignas(16) std::int16_t t[64];
            dct::sub128Block<P>(b.px.data() + 64 * i, 8, t);
            dct::fdct8x8<P>(t, t);
            dct::quantRound<P>(t, b.fwd);
            benchmark::DoNotOptimize(t);
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kBlocks);
}
BENCHMARK(BM_DCTQuantFwd8x8LS_8u16s<Path::Scalar>);
BENCHMARK(BM_DCTQuantFwd8x8LS_8u16s<Path::Vector>);

template <Path P>
void BM_DCTQuantInv8x8LS_16s8u(benchmark::State& st) {
    Blocks b;
    std::uint8_t out[64];
    for (auto _ : st) {
        for (int i = 0; i < kBlocks; ++i) {
            alignas(16) std::int16_t t[64];
            dct::dequant<P>(b.coef.data() + 64 * i, b.inv, t);
            dct::idct8x8<P>(t, t);
            dct::storeShiftClip<P>(t, out, 8, 128, 0, 255);
            benchmark::DoNotOptimize(out);
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kBlocks);
}
BENCHMARK(BM_DCTQuantInv8x8LS_16s8u<Path::Scalar>);
BENCHMARK(BM_DCTQuantInv8x8LS_16s8u<Path::Vector>);

template <Path P>
void BM_DCTQuantFwd8x8LS_16u16s(benchmark::State& st) {
    Blocks b;
    alignas(16) std::int16_t out[64];
    for (auto _ : st) {
        for (int i = 0; i < kBlocks; ++i) {
            dct::fdctQuant12<P>(b.px12.data() + 64 * i, 16, out, b.ffwd);
            benchmark::DoNotOptimize(out);
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kBlocks);
}
BENCHMARK(BM_DCTQuantFwd8x8LS_16u16s<Path::Scalar>);
BENCHMARK(BM_DCTQuantFwd8x8LS_16u16s<Path::Vector>);

template <Path P>
void BM_DCTQuantInv8x8LS_16s16u(benchmark::State& st) {
    Blocks b;
    std::uint16_t out[64];
    for (auto _ : st) {
        for (int i = 0; i < kBlocks; ++i) {
            dct::idctQuant12<P>(b.coef.data() + 64 * i, out, 16, b.finv);
            benchmark::DoNotOptimize(out);
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kBlocks);
}
BENCHMARK(BM_DCTQuantInv8x8LS_16s16u<Path::Scalar>);
BENCHMARK(BM_DCTQuantInv8x8LS_16s16u<Path::Vector>);

// The exported fused functions (vector path and argument checks).
void BM_Exported_DCTQuant8x8LS(benchmark::State& st) {
    Blocks b;
    alignas(16) std::int16_t c[64];
    std::uint8_t out[64];
    for (auto _ : st) {
        for (int i = 0; i < kBlocks; ++i) {
            if (st.range(0) == 0)
                zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(b.px.data() + 64 * i, 8, c, b.fwd);
            else
                zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(b.coef.data() + 64 * i, out, 8, b.inv);
            benchmark::DoNotOptimize(c);
            benchmark::DoNotOptimize(out);
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kBlocks);
}
BENCHMARK(BM_Exported_DCTQuant8x8LS)->Arg(0)->Arg(1);

// The exported inverse on blocks shaped like decoded ones: in random order,
// a quarter with only the first coefficient row set, a quarter with rows
// 0-3, a quarter with only the DC value and a quarter dense.
void BM_Exported_DCTQuantInvSparse(benchmark::State& st) {
    Blocks b;
    std::vector<std::int16_t> coef(b.coef);
    std::mt19937 g(7);
    for (int i = 0; i < kBlocks; ++i) {
        const int rows = std::array<int, 4>{1, 4, 0, 8}[g() % 4];
        for (int k = rows == 0 ? 1 : 8 * rows; k < 64; ++k) coef[64 * i + k] = 0;
    }
    std::uint8_t out[64];
    for (auto _ : st) {
        for (int i = 0; i < kBlocks; ++i) {
            zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef.data() + 64 * i, out, 8, b.inv);
            benchmark::DoNotOptimize(out);
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kBlocks);
}
BENCHMARK(BM_Exported_DCTQuantInvSparse);

// Whole-region level shift of a 1920x1080 plane (threaded), pixels/s.
void BM_Exported_LevelShift(benchmark::State& st) {
    const int w = 1920, h = 1080;
    std::vector<std::uint8_t> p8(static_cast<std::size_t>(w) * h, 99);
    std::vector<std::int16_t> p16(static_cast<std::size_t>(w) * h);
    for (auto _ : st) {
        if (st.range(0) == 0)
            zebiSub128_JPEG_8u16s_C1R(p8.data(), w, p16.data(), 2 * w, {w, h});
        else
            zebiAdd128_JPEG_16s8u_C1R(p16.data(), 2 * w, p8.data(), w, {w, h});
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * w * h);
}
BENCHMARK(BM_Exported_LevelShift)->Arg(0)->Arg(1)->UseRealTime();

// Level shift of one 1920-pixel row (the threaded exported functions call
// this kernel per row).
template <Path P>
void BM_Sub128Row(benchmark::State& st) {
    const std::size_t n = 1920;
    std::vector<std::uint8_t> s(n, 77);
    std::vector<std::int16_t> d(n);
    for (auto _ : st) {
        dct::sub128Row<P>(s.data(), d.data(), n);
        benchmark::DoNotOptimize(d.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * n));
}
BENCHMARK(BM_Sub128Row<Path::Scalar>);
BENCHMARK(BM_Sub128Row<Path::Vector>);

template <Path P>
void BM_Add128Row(benchmark::State& st) {
    const std::size_t n = 1920;
    std::vector<std::int16_t> s(n, -77);
    std::vector<std::uint8_t> d(n);
    for (auto _ : st) {
        dct::add128Row<P>(s.data(), d.data(), n);
        benchmark::DoNotOptimize(d.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * n));
}
BENCHMARK(BM_Add128Row<Path::Scalar>);
BENCHMARK(BM_Add128Row<Path::Vector>);

}  // namespace

BENCHMARK_MAIN();
