// PackBits row packing and unpacking, MB/s of row bytes on run-rich and noisy
// rows; the scalar byte rules against the vector path in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tiff/packbits_kernels.h"

namespace {

using zeb::Path;

constexpr int kWidth = 1 << 16;

// kind 0: runs of 1..200 equal bytes between short literal stretches; 1: noise.
std::vector<std::uint8_t> makeRow(int kind) {
    std::mt19937 gen(kind + 1);
    std::vector<std::uint8_t> row(kWidth);
    if (kind == 1) {
        for (auto& b : row) b = static_cast<std::uint8_t>(gen());
        return row;
    }
    for (int i = 0; i < kWidth;) {
        const int n = 1 + static_cast<int>(gen() % 200);
        const std::uint8_t v = static_cast<std::uint8_t>(gen());
        for (int t = 0; t < n && i < kWidth; ++t) row[i++] = v;
        const int lit = static_cast<int>(gen() % 24);
        for (int t = 0; t < lit && i < kWidth; ++t) row[i++] = static_cast<std::uint8_t>(gen());
    }
    return row;
}

template <Path P>
void BM_Pack(benchmark::State& st) {
    const auto row = makeRow(static_cast<int>(st.range(0)));
    std::vector<std::uint8_t> out(2 * kWidth);
    for (auto _ : st) {
        auto r = zeb::packbits::packRow<P>(row.data(), kWidth, out.data(), static_cast<int>(out.size()));
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * kWidth);
}
BENCHMARK(BM_Pack<Path::Scalar>)->ArgName("noisy")->Arg(0)->Arg(1);
BENCHMARK(BM_Pack<Path::Vector>)->ArgName("noisy")->Arg(0)->Arg(1);

template <Path P>
void BM_Unpack(benchmark::State& st) {
    const auto row = makeRow(static_cast<int>(st.range(0)));
    std::vector<std::uint8_t> packed(2 * kWidth), out(kWidth);
    const auto r = zeb::packbits::packRow<Path::Vector>(row.data(), kWidth, packed.data(), static_cast<int>(packed.size()));
    for (auto _ : st) {
        auto u = zeb::packbits::unpackRow<P>(packed.data(), 0, r.written, out.data(), kWidth);
        benchmark::DoNotOptimize(u);
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * kWidth);
}
BENCHMARK(BM_Unpack<Path::Scalar>)->ArgName("noisy")->Arg(0)->Arg(1);
BENCHMARK(BM_Unpack<Path::Vector>)->ArgName("noisy")->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
