// Lossless predictor rows (samples/s), scalar against vector paths.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "jpeg/lossless/lossless_predictor_kernels.h"

namespace {

using zeb::Path;
namespace ll = zeb::lossless;

constexpr std::size_t kWidth = 2048;

struct Rows {
    std::vector<std::int16_t> cur = std::vector<std::int16_t>(kWidth), prev = std::vector<std::int16_t>(kWidth),
                              out = std::vector<std::int16_t>(kWidth);
    Rows() {
        std::mt19937 g(5);
        for (std::size_t i = 0; i < kWidth; ++i) {
            cur[i] = static_cast<std::int16_t>(g() & 0xFFF);
            prev[i] = static_cast<std::int16_t>(g() & 0xFFF);
        }
    }
};

template <Path P>
void BM_DiffPredRow(benchmark::State& st) {
    Rows r;
    const int pred = static_cast<int>(st.range(0));
    for (auto _ : st) {
        if (pred == 0)
            ll::diffFirstRow<P>(r.cur.data(), r.out.data(), kWidth, 12, 0);
        else
            ll::diffRowAny<P>(pred, r.cur.data(), r.prev.data(), r.out.data(), kWidth);
        benchmark::DoNotOptimize(r.out.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * kWidth));
}
BENCHMARK(BM_DiffPredRow<Path::Scalar>)->DenseRange(0, 7);
BENCHMARK(BM_DiffPredRow<Path::Vector>)->DenseRange(0, 7);

template <Path P>
void BM_ReconstructPredRow(benchmark::State& st) {
    Rows r;
    const int pred = static_cast<int>(st.range(0));
    for (auto _ : st) {
        if (pred == 0)
            ll::reconstructFirstRow<P>(r.cur.data(), r.out.data(), kWidth, 12, 0);
        else
            ll::reconstructRowAny<P>(pred, r.cur.data(), r.prev.data(), r.out.data(), kWidth);
        benchmark::DoNotOptimize(r.out.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * kWidth));
}
BENCHMARK(BM_ReconstructPredRow<Path::Scalar>)->DenseRange(0, 7);
BENCHMARK(BM_ReconstructPredRow<Path::Vector>)->DenseRange(0, 7);

}  // namespace

BENCHMARK_MAIN();
