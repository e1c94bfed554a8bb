// RCT and ICT row kernels, pixels per second, scalar against vector in the
// same run, on 1024-pixel rows (interleaved to planar and planar in place).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "jpeg2000/transform/component_transform_kernels.h"

namespace {

using zeb::Path;
namespace ct = zeb::comptf;

constexpr int kWidth = 1024;

template <class T>
std::vector<T> randomSamples(std::size_t n) {
    std::mt19937 gen(7);
    std::vector<T> v(n);
    for (auto& x : v) x = static_cast<T>(static_cast<int>(gen() % 4096) - 2048);
    return v;
}

template <Path P, class Op, int InS, int OutS>
void BM_Row(benchmark::State& st) {
    using T = typename Op::Elem;
    auto src = randomSamples<T>(3 * kWidth);
    std::vector<T> dst(3 * kWidth);
    const T* in[3];
    T* out[3];
    for (int c = 0; c < 3; ++c) {
        in[c] = InS == 3 ? src.data() + c : src.data() + c * kWidth;
        out[c] = OutS == 3 ? dst.data() + c : dst.data() + c * kWidth;
    }
    for (auto _ : st) {
        ct::transformRow<P, Op, InS, OutS>(in, out, kWidth);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * kWidth);
}

template <Path P, class Op>
void BM_Ict16s(benchmark::State& st) {
    auto src = randomSamples<std::int16_t>(3 * kWidth);
    std::vector<std::int16_t> dst(3 * kWidth);
    const std::int16_t* in[3] = {src.data(), src.data() + kWidth, src.data() + 2 * kWidth};
    std::int16_t* out[3] = {dst.data(), dst.data() + kWidth, dst.data() + 2 * kWidth};
    for (auto _ : st) {
        ct::ict16sRow<P, Op>(in, out, kWidth);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * kWidth);
}

#define ZEB_BENCH_BOTH(fn, ...)                      \
    BENCHMARK(fn<Path::Scalar, __VA_ARGS__>);        \
    BENCHMARK(fn<Path::Vector, __VA_ARGS__>)

ZEB_BENCH_BOTH(BM_Row, ct::RctFwd<std::int32_t>, 3, 1);
ZEB_BENCH_BOTH(BM_Row, ct::RctInv<std::int32_t>, 1, 3);
ZEB_BENCH_BOTH(BM_Row, ct::RctFwd<std::int16_t>, 3, 1);
ZEB_BENCH_BOTH(BM_Row, ct::RctFwd<std::int16_t>, 1, 1);
ZEB_BENCH_BOTH(BM_Row, ct::IctFwd32f, 3, 1);
ZEB_BENCH_BOTH(BM_Row, ct::IctInv32f, 1, 1);
ZEB_BENCH_BOTH(BM_Row, ct::IctFwd32s, 1, 1);
ZEB_BENCH_BOTH(BM_Row, ct::IctInv32s, 1, 1);
ZEB_BENCH_BOTH(BM_Ict16s, ct::IctFwd16s);
ZEB_BENCH_BOTH(BM_Ict16s, ct::IctInv16s);

}  // namespace

BENCHMARK_MAIN();
