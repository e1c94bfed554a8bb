// Tier-1 code-block encoder throughput (coefficients per second) on 64x64
// blocks cut from the high-pass sub-bands of a one-level 5/3 transform of a
// synthetic photo-like image, at several bit-plane counts, with and without
// the selective bypass.  The load (all passes, symbol recording) and the
// store (MQ and raw coding) are also timed on their own.
//
// The Tier-1 coder is sequential bit-plane logic with no vector path, so
// there is no scalar/vector pair here.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "zeb.h"

namespace {

constexpr int kImage = 256;
constexpr int kBlock = 64;

// Smooth shading, a few hard edges, fine texture and noise.
std::vector<int> photoLikeImage() {
    std::vector<int> img(kImage * kImage);
    std::uint32_t seed = 12345;
    auto noise = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 24) % 9) - 4;
    };
    for (int y = 0; y < kImage; ++y)
        for (int x = 0; x < kImage; ++x) {
            double v = 120 + 50 * std::sin(x / 19.0) * std::cos(y / 27.0) + 0.2 * (x - y);
            if (x > 60 && x < 170 && y > 90 && y < 200) v += 45;                    // an object
            if ((x + 2 * y) % 97 < 3) v -= 30;                                      // thin lines
            if (x > 180) v += 12 * std::sin(x * 0.9) * std::sin(y * 0.7);           // texture
            img[y * kImage + x] = std::clamp(static_cast<int>(v) + noise(), 0, 255);
        }
    return img;
}

// One level of the reversible 5/3 lifting along a line (symmetric extension).
void lift53(int* line, int n, int stride) {
    std::vector<int> t(n);
    for (int i = 0; i < n; ++i) t[i] = line[i * stride];
    auto at = [&](int i) { return t[i < 0 ? -i : (i >= n ? 2 * n - 2 - i : i)]; };
    for (int i = 1; i < n; i += 2) t[i] -= (at(i - 1) + at(i + 1)) >> 1;
    for (int i = 0; i < n; i += 2) t[i] += (at(i - 1) + at(i + 1) + 2) >> 2;
    for (int i = 0; i < n; ++i) line[((i & 1) ? n / 2 + i / 2 : i / 2) * stride] = t[i];
}

// The 12 high-pass 64x64 blocks, scaled so that their largest magnitude has
// `planes` bits, in sign-magnitude form.
std::vector<std::vector<std::uint32_t>> blocks(int planes) {
    std::vector<int> img = photoLikeImage();
    for (int y = 0; y < kImage; ++y) lift53(&img[y * kImage], kImage, 1);
    for (int x = 0; x < kImage; ++x) lift53(&img[x], kImage, kImage);
    const int half = kImage / 2;
    int maxAbs = 1;
    for (int y = 0; y < kImage; ++y)
        for (int x = 0; x < kImage; ++x)
            if (x >= half || y >= half) maxAbs = std::max(maxAbs, std::abs(img[y * kImage + x]));
    const double scale = std::ldexp(1.0, planes) / (maxAbs + 1);
    std::vector<std::vector<std::uint32_t>> out;
    for (int by = 0; by < kImage; by += kBlock)
        for (int bx = 0; bx < kImage; bx += kBlock) {
            if (bx < half && by < half) continue;  // LL
            std::vector<std::uint32_t> b(kBlock * kBlock);
            for (int y = 0; y < kBlock; ++y)
                for (int x = 0; x < kBlock; ++x) {
                    const int c = img[(by + y) * kImage + bx + x];
                    const auto m = static_cast<std::uint32_t>(std::lround(std::abs(c) * scale));
                    b[y * kBlock + x] = m | (c < 0 ? 0x80000000u : 0u);
                }
            out.push_back(std::move(b));
        }
    return out;
}

enum Phase { kLoadAndStore, kLoadOnly };

void BM_T1Encode(benchmark::State& st) {
    const int planes = static_cast<int>(st.range(0));
    const int flags = static_cast<int>(st.range(1));
    const Phase phase = static_cast<Phase>(st.range(2));
    const auto bs = blocks(planes);
    ZebEncodeState* enc = nullptr;
    zebiEncodeInitAlloc_JPEG2K(&enc, ZebSize{kBlock, kBlock});
    std::vector<Zeb8u> out(kBlock * kBlock * 8);
    std::int64_t bytes = 0;
    for (auto _ : st) {
        for (const auto& b : bs) {
            int sf, np, nt, len = static_cast<int>(out.size()), more;
            zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(reinterpret_cast<const Zeb32s*>(b.data()), 4 * kBlock,
                                                   ZebSize{kBlock, kBlock}, enc, 3, 31, 2, 0, flags, &sf, &np, &nt);
            if (phase == kLoadAndStore) {
                zebiEncodeStoreBits_JPEG2K_1u(out.data(), &len, enc, &more);
                bytes += len;
            }
            benchmark::DoNotOptimize(out.data());
        }
    }
    zebiEncodeFree_JPEG2K(enc);
    st.SetItemsProcessed(st.iterations() * static_cast<std::int64_t>(bs.size()) * kBlock * kBlock);
    if (phase == kLoadAndStore)
        st.counters["bits/coef"] =
            static_cast<double>(bytes) * 8 / (static_cast<double>(st.iterations()) * bs.size() * kBlock * kBlock);
}

// planes, flags (0 or bypass), phase
BENCHMARK(BM_T1Encode)
    ->ArgNames({"planes", "bypass", "loadOnly"})
    ->Args({6, 0, kLoadAndStore})
    ->Args({10, 0, kLoadAndStore})
    ->Args({14, 0, kLoadAndStore})
    ->Args({10, 2, kLoadAndStore})
    ->Args({14, 2, kLoadAndStore})
    ->Args({10, 0, kLoadOnly})
    ->Args({14, 0, kLoadOnly});

}  // namespace

BENCHMARK_MAIN();
