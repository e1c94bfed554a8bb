// Core helpers: byte copy, 8u->16u widening, reverse division; vector path
// against scalar path in one run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/vector_kernels.h"

namespace {

using zeb::Path;

template <Path P>
void BM_Copy(benchmark::State& st) {
    const std::size_t n = st.range(0);
    std::vector<std::uint8_t> s(n + 1, 7), d(n + 1);
    for (auto _ : st) {
        zeb::kern::copyBytes<P>(s.data() + 1, d.data(), n);
        benchmark::DoNotOptimize(d.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * n));
}
BENCHMARK(BM_Copy<Path::Scalar>)->Arg(4096)->Arg(256 << 10);
BENCHMARK(BM_Copy<Path::Vector>)->Arg(4096)->Arg(256 << 10);

template <Path P>
void BM_Widen(benchmark::State& st) {
    const std::size_t n = st.range(0);
    std::vector<std::uint8_t> s(n, 9);
    std::vector<std::uint16_t> d(n);
    for (auto _ : st) {
        zeb::kern::widen8u16u<P>(s.data(), d.data(), n);
        benchmark::DoNotOptimize(d.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations() * n));
}
BENCHMARK(BM_Widen<Path::Scalar>)->Arg(4096);
BENCHMARK(BM_Widen<Path::Vector>)->Arg(4096);

template <Path P>
void BM_DivCRev(benchmark::State& st) {
    const std::size_t n = st.range(0);
    std::vector<std::uint16_t> s(n), d(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<std::uint16_t>(1 + i % 255);
    for (auto _ : st) {
        benchmark::DoNotOptimize(zeb::kern::divCRev<P>(s.data(), 32768, d.data(), n));
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations() * n));
}
BENCHMARK(BM_DivCRev<Path::Scalar>)->Arg(64)->Arg(4096);
BENCHMARK(BM_DivCRev<Path::Vector>)->Arg(64)->Arg(4096);

}  // namespace

BENCHMARK_MAIN();
