// 9/7 wavelet: one-level whole-tile transforms on a 1024 x 1024 tile and the
// line primitives, scalar path against vector path in the same run
// (items = samples).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "jpeg2000/transform/wt_d97_lines.h"
#include "jpeg2000/transform/wt_d97_tile.h"

namespace {

using zeb::Path;
namespace d97 = zeb::d97;

template <class T>
std::vector<T> pattern(std::size_t n) {
    std::vector<T> v(n);
    std::uint32_t s = 12345;
    for (auto& x : v) {
        s = s * 1103515245u + 12345u;
        x = static_cast<T>(static_cast<int>((s >> 16) & 1023) - 512);
    }
    return v;
}

// ---- whole tile ---------------------------------------------------------------------------------------------
template <class F, bool Fwd, Path P>
void BM_Tile(benchmark::State& st) {
    using T = typename F::T;
    const int n = 1024;
    std::vector<T> img = pattern<T>(static_cast<std::size_t>(n) * n);
    std::vector<std::uint8_t> buf(sizeof(T) * (n + 8));
    const int step = n * static_cast<int>(sizeof(T));
    for (auto _ : st) {
        if constexpr (Fwd)
            d97::fwdTile<F, P>(img.data(), step, n, n, 0, 0, buf.data());
        else
            d97::invTile<F, P>(img.data(), step, n, n, 0, 0, buf.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * n * n);
}
BENCHMARK(BM_Tile<d97::TileS16, true, Path::Scalar>)->Name("TileFwd16s/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<d97::TileS16, true, Path::Vector>)->Name("TileFwd16s/vector")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<d97::TileS16, false, Path::Scalar>)->Name("TileInv16s/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<d97::TileS16, false, Path::Vector>)->Name("TileInv16s/vector")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<d97::TileS32, true, Path::Scalar>)->Name("TileFwd32s/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<d97::TileS32, true, Path::Vector>)->Name("TileFwd32s/vector")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<d97::TileS32, false, Path::Scalar>)->Name("TileInv32s/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tile<d97::TileS32, false, Path::Vector>)->Name("TileInv32s/vector")->Unit(benchmark::kMillisecond);

// ---- rows and columns: 512 pairs x 64 rows ------------------------------------------------------------------
template <class F, bool Row, bool Fwd, Path P>
void BM_Line(benchmark::State& st) {
    using T = typename F::T;
    const int w = 512, h = 64, pad = 8;
    const int e = sizeof(T);
    // Row forms: 2w + 2 pad samples per row; column forms: 2h + 2 pad rows of w.
    std::vector<T> src = pattern<T>(static_cast<std::size_t>(2 * w + 2 * pad) * (2 * h + 2 * pad));
    std::vector<T> lo = pattern<T>(static_cast<std::size_t>(w + 2 * pad) * (h + 2 * pad));
    std::vector<T> hi = pattern<T>(lo.size());
    for (auto _ : st) {
        if constexpr (Row) {
            const int sStep = (2 * w + 2 * pad) * e, bStep = (w + 2 * pad) * e;
            if constexpr (Fwd)
                d97::fwdRows<F, P>(src.data() + pad, sStep, lo.data() + pad, bStep, hi.data() + pad, bStep, {w, h}, 0);
            else
                d97::invRows<F, P>(lo.data() + pad, bStep, hi.data() + pad, bStep, {w, h}, src.data() + pad, sStep, 0);
        } else {
            const int sStep = w * e, bStep = w * e;
            T* s = src.data() + pad * w;
            if constexpr (Fwd)
                d97::fwdCols<F, P>(s, sStep, lo.data() + pad * w, bStep, hi.data() + pad * w, bStep, {w, h}, 0);
            else
                d97::invCols<F, P>(lo.data() + pad * w, bStep, hi.data() + pad * w, bStep, {w, h}, s, sStep, 0);
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * 2 * w * h);
}
#define D97_LINE(F, ROW, FWD, NAME)                                                         \
    BENCHMARK(BM_Line<d97::F, ROW, FWD, Path::Scalar>)->Name(NAME "/scalar");                \
    BENCHMARK(BM_Line<d97::F, ROW, FWD, Path::Vector>)->Name(NAME "/vector");
D97_LINE(LineF32, true, true, "FwdRow32f")
D97_LINE(LineF32, true, false, "InvRow32f")
D97_LINE(LineS32, true, true, "FwdRow32s")
D97_LINE(LineS32, true, false, "InvRow32s")
D97_LINE(LineS16, true, true, "FwdRow16s")
D97_LINE(LineS16, true, false, "InvRow16s")
D97_LINE(LineF32, false, true, "FwdCol32f")
D97_LINE(LineF32, false, false, "InvCol32f")
D97_LINE(LineS32, false, true, "FwdCol32s")
D97_LINE(LineS32, false, false, "InvCol32s")

// ---- incremental column steps: one call per row pair, rows of 1024 ---------------------------------------------
template <class F, bool Fwd, Path P>
void BM_Lift(benchmark::State& st) {
    using T = typename F::T;
    const int w = 1024;
    std::vector<std::vector<T>> r(8, pattern<T>(w));
    for (auto _ : st) {
        if constexpr (Fwd)
            d97::fwdColLift<F, P>(r[0].data(), r[1].data(), r[2].data(), r[3].data(), r[4].data(), r[5].data(),
                                  r[6].data(), r[7].data(), w);
        else
            d97::invColLift<F, P>(r[0].data(), r[1].data(), r[2].data(), r[3].data(), r[4].data(), r[5].data(),
                                  r[6].data(), r[7].data(), w);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * 2 * w);
}
#define D97_LIFT(F, FWD, NAME)                                                              \
    BENCHMARK(BM_Lift<d97::F, FWD, Path::Scalar>)->Name(NAME "/scalar");                    \
    BENCHMARK(BM_Lift<d97::F, FWD, Path::Vector>)->Name(NAME "/vector");
D97_LIFT(LineF32, true, "FwdColLift32f")
D97_LIFT(LineF32, false, "InvColLift32f")
D97_LIFT(LineS32, true, "FwdColLift32s")
D97_LIFT(LineS32, false, "InvColLift32s")
D97_LIFT(LineS16, true, "FwdColLift16s")
D97_LIFT(LineS16, false, "InvColLift16s")

}  // namespace

BENCHMARK_MAIN();
