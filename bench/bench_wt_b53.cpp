// 5/3 wavelet: one level of the whole-tile transform on a 1024 x 1024 tile
// and the line primitives (rows, columns, ColLift), scalar path against
// vector path in one run.  Items are pixels (samples of the tile or of the
// transformed lines).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "jpeg2000/transform/wt_b53_kernels.h"

namespace {

using zeb::Path;
namespace k53 = zeb::wt53;

constexpr int kTile = 1024;

template <class A>
std::vector<typename A::T> randomPlane(std::size_t n) {
    std::vector<typename A::T> v(n);
    std::uint32_t s = 12345;
    for (auto& x : v) {
        s = s * 1103515245u + 12345u;
        x = static_cast<typename A::T>(static_cast<int>((s >> 16) & 1023) - 512);
    }
    return v;
}

template <class A, Path P, bool Inverse>
void BM_Tile(benchmark::State& st) {
    using T = typename A::T;
    auto img = randomPlane<A>(static_cast<std::size_t>(kTile) * kTile);
    std::vector<unsigned char> buf(k53::tileLineBytes(kTile, kTile, sizeof(T)));
    for (auto _ : st) {
        if (Inverse)
            k53::invTile<A, P>(img.data(), kTile * sizeof(T), kTile, kTile, 0, 0, buf.data());
        else
            k53::fwdTile<A, P>(img.data(), kTile * sizeof(T), kTile, kTile, 0, 0, buf.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kTile * kTile);
}
BENCHMARK(BM_Tile<k53::Wrap16, Path::Scalar, false>)->Name("Tile16s/fwd/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<k53::Wrap16, Path::Vector, false>)->Name("Tile16s/fwd/vector")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<k53::Wrap16, Path::Scalar, true>)->Name("Tile16s/inv/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<k53::Wrap16, Path::Vector, true>)->Name("Tile16s/inv/vector")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<k53::Wrap32, Path::Scalar, false>)->Name("Tile32s/fwd/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<k53::Wrap32, Path::Vector, false>)->Name("Tile32s/fwd/vector")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<k53::Wrap32, Path::Scalar, true>)->Name("Tile32s/inv/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<k53::Wrap32, Path::Vector, true>)->Name("Tile32s/inv/vector")->Unit(benchmark::kMillisecond);

// Row forms: 64 rows of 2 x 512 samples with 4 border samples on each side.
template <class A, Path P, bool Inverse>
void BM_Rows(benchmark::State& st) {
    using T = typename A::T;
    const int w = 512, rows = 64, pitch = 2 * w + 8;
    auto src = randomPlane<A>(static_cast<std::size_t>(pitch) * rows);
    std::vector<T> low(static_cast<std::size_t>(w + 8) * rows), high(low.size()), dst(src.size());
    for (auto _ : st) {
        for (int r = 0; r < rows; ++r) {
            T* s = src.data() + r * pitch + 4;
            T* l = low.data() + r * (w + 8) + 4;
            T* h = high.data() + r * (w + 8) + 4;
            if (Inverse)
                k53::invLine<A, P>(k53::SplitBands<T>{l, h, 0}, 0, w, w, dst.data() + r * pitch + 4, sizeof(T));
            else
                k53::fwdLine<A, P>(s, 0, w, w, l, sizeof(T), h, sizeof(T));
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * rows * 2 * w);
}
BENCHMARK(BM_Rows<k53::Wrap16, Path::Scalar, false>)->Name("Row16s/fwd/scalar");
BENCHMARK(BM_Rows<k53::Wrap16, Path::Vector, false>)->Name("Row16s/fwd/vector");
BENCHMARK(BM_Rows<k53::Wrap16, Path::Scalar, true>)->Name("Row16s/inv/scalar");
BENCHMARK(BM_Rows<k53::Wrap16, Path::Vector, true>)->Name("Row16s/inv/vector");
BENCHMARK(BM_Rows<k53::Wrap32, Path::Scalar, false>)->Name("Row32s/fwd/scalar");
BENCHMARK(BM_Rows<k53::Wrap32, Path::Vector, false>)->Name("Row32s/fwd/vector");
BENCHMARK(BM_Rows<k53::Wrap32, Path::Scalar, true>)->Name("Row32s/inv/scalar");
BENCHMARK(BM_Rows<k53::Wrap32, Path::Vector, true>)->Name("Row32s/inv/vector");

// Column forms: 1024 columns, band height 64, 4 border rows on each side.
template <class A, Path P, bool Inverse>
void BM_Cols(benchmark::State& st) {
    using T = typename A::T;
    const int w = 1024, bh = 64, step = w * sizeof(T);
    auto src = randomPlane<A>(static_cast<std::size_t>(w) * (2 * bh + 8));
    std::vector<T> low(static_cast<std::size_t>(w) * (bh + 8)), high(low.size()), dst(src.size());
    T* s = src.data() + 4 * w;
    T* l = low.data() + 4 * w;
    T* h = high.data() + 4 * w;
    for (auto _ : st) {
        if (Inverse)
            k53::invColumns<A, P>(l, step, h, step, dst.data() + 4 * w, step, w, bh, bh, 1);
        else
            k53::fwdColumns<A, P>(s, step, l, step, h, step, w, bh, bh, 1);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * w * 2 * bh);
}
BENCHMARK(BM_Cols<k53::Wrap16, Path::Scalar, false>)->Name("Col16s/fwd/scalar");
BENCHMARK(BM_Cols<k53::Wrap16, Path::Vector, false>)->Name("Col16s/fwd/vector");
BENCHMARK(BM_Cols<k53::Wrap16, Path::Scalar, true>)->Name("Col16s/inv/scalar");
BENCHMARK(BM_Cols<k53::Wrap16, Path::Vector, true>)->Name("Col16s/inv/vector");
BENCHMARK(BM_Cols<k53::Wrap32, Path::Scalar, false>)->Name("Col32s/fwd/scalar");
BENCHMARK(BM_Cols<k53::Wrap32, Path::Vector, false>)->Name("Col32s/fwd/vector");

// One incremental step over a 2048-sample row pair (ColLift and ColStep 16s).
template <class A, Path P>
void BM_Step(benchmark::State& st) {
    using T = typename A::T;
    const int w = 2048;
    auto a = randomPlane<A>(4 * w);
    std::vector<T> l(w), h(w);
    for (auto _ : st) {
        k53::rowFwdStep<A, P>(l.data(), h.data(), a.data(), a.data() + w, a.data() + 2 * w, a.data() + 3 * w, w);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * 2 * w);
}
BENCHMARK(BM_Step<k53::Wrap16, Path::Scalar>)->Name("ColLift16s/fwd/scalar");
BENCHMARK(BM_Step<k53::Wrap16, Path::Vector>)->Name("ColLift16s/fwd/vector");
BENCHMARK(BM_Step<k53::Wide16, Path::Scalar>)->Name("ColStep16s/fwd/scalar");
BENCHMARK(BM_Step<k53::Wide16, Path::Vector>)->Name("ColStep16s/fwd/vector");

}  // namespace

BENCHMARK_MAIN();
