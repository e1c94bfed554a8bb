// Lossless difference rows: entropy-coding throughput of the row coders
// (differences of a smooth 12-bit picture under predictor 1, three
// interleaved components, optimal tables), in coded bytes and samples per
// second.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "zeb.h"

namespace {

constexpr int kCols = 1024, kRows = 64, kComps = 3;

struct RowData {
    std::vector<std::vector<Zeb16s>> diff;  // [component] kRows x kCols
    std::vector<ZebEncodeHuffmanSpec*> enc;
    std::vector<ZebDecodeHuffmanSpec*> dec;
    std::vector<Zeb8u> stream;
    RowData() {
        diff.assign(kComps, std::vector<Zeb16s>(kRows * kCols));
        std::uint32_t seed = 7;
        for (int c = 0; c < kComps; ++c)
            for (int y = 0; y < kRows; ++y) {
                int prev = 2048;
                for (int x = 0; x < kCols; ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    const int v = static_cast<int>(2048 + 1500 * std::sin(0.01 * x + c) * std::cos(0.03 * y)) +
                                  static_cast<int>((seed >> 24) % 9) - 4;
                    diff[c][y * kCols + x] = static_cast<Zeb16s>(v - prev);
                    prev = v;
                }
            }
        for (int c = 0; c < kComps; ++c) {
            Zeb32s stats[256] = {};
            for (Zeb16s d : diff[c]) zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&d, stats);
            Zeb8u bits[16], vals[256] = {};
            zebiEncodeHuffmanRawTableInit_JPEG_8u(stats, bits, vals);
            ZebEncodeHuffmanSpec* e = nullptr;
            ZebDecodeHuffmanSpec* d = nullptr;
            zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(bits, vals, &e);
            zebiDecodeHuffmanSpecInitAlloc_JPEG_8u(bits, vals, &d);
            enc.push_back(e);
            dec.push_back(d);
        }
        stream.resize(kRows * kCols * kComps * 4 + 64);
        stream.resize(encode());
    }
    ~RowData() {
        for (auto* e : enc) zebiEncodeHuffmanSpecFree_JPEG_8u(e);
        for (auto* d : dec) zebiDecodeHuffmanSpecFree_JPEG_8u(d);
    }
    int encode() {
        std::vector<Zeb8u> state(1044, 0);
        auto* st = reinterpret_cast<ZebEncodeHuffmanState*>(state.data());
        int pos = 0;
        const int cap = static_cast<int>(stream.size());
        for (int y = 0; y < kRows; ++y) {
            const Zeb16s* rows[kComps];
            for (int c = 0; c < kComps; ++c) rows[c] = diff[c].data() + y * kCols;
            zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(rows, kCols, kComps, stream.data(), cap, &pos, enc.data(), st, 0);
        }
        zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, stream.data(), cap, &pos, nullptr, st, 1);
        return pos;
    }
};

void BM_LosslessRowEncode(benchmark::State& s) {
    RowData d;
    const std::size_t bytes = d.stream.size();
    d.stream.resize(bytes * 2 + 64);
    for (auto _ : s) benchmark::DoNotOptimize(d.encode());
    s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * bytes));
    s.SetItemsProcessed(static_cast<int64_t>(s.iterations()) * kRows * kCols * kComps);
}
BENCHMARK(BM_LosslessRowEncode);

void BM_LosslessRowDecode(benchmark::State& s) {
    RowData d;
    std::vector<std::vector<Zeb16s>> out(kComps, std::vector<Zeb16s>(kCols));
    Zeb16s* rows[kComps] = {out[0].data(), out[1].data(), out[2].data()};
    std::vector<Zeb8u> state(20, 0);
    auto* st = reinterpret_cast<ZebDecodeHuffmanState*>(state.data());
    for (auto _ : s) {
        int pos = 0, marker = 0;
        zebiDecodeHuffmanStateInit_JPEG_8u(st);
        for (int y = 0; y < kRows; ++y)
            zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(d.stream.data(), static_cast<int>(d.stream.size()), &pos, rows, kCols,
                                                 kComps, &marker, d.dec.data(), st);
        benchmark::DoNotOptimize(out[0].data());
    }
    s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * d.stream.size()));
    s.SetItemsProcessed(static_cast<int64_t>(s.iterations()) * kRows * kCols * kComps);
}
BENCHMARK(BM_LosslessRowDecode);

}  // namespace

BENCHMARK_MAIN();
