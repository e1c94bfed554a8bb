// Tier-1 code-block decoding throughput (coefficients per second) on 64x64
// blocks cut from the high-pass sub-bands of a 5/3-transformed photo-like
// image, at several bit-plane counts, with and without bypass; and the
// concealment kernel, scalar against vector.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "jpeg2000/tier1/cb_conceal.h"
#include "zeb.h"

namespace {

constexpr int kSide = 64;
constexpr int kImage = 512;

// A photo-like test image: smooth shading, a few hard edges and fine texture
// with noise.
std::vector<int> photoLikeImage() {
    std::vector<int> img(kImage * kImage);
    std::mt19937 g(7);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int y = 0; y < kImage; ++y)
        for (int x = 0; x < kImage; ++x) {
            double v = 110 + 60 * std::sin(x * 0.011) * std::cos(y * 0.017);
            if ((x - 300) * (x - 300) + (y - 200) * (y - 200) < 90 * 90) v += 50;  // a disc
            if (x > 80 && x < 200 && y > 330) v -= 40 + 20 * std::sin(x * 0.9);      // texture
            v += noise(g);
            img[y * kImage + x] = static_cast<int>(std::lround(std::fmin(255, std::fmax(0, v))));
        }
    return img;
}

// One level of the reversible 5/3 lifting on rows then columns (symmetric
// extension); the result is stored in the Mallat layout.
void forward53(std::vector<int>& a, int n) {
    std::vector<int> line(n), out(n);
    auto lift = [&](auto get, auto put) {
        for (int i = 0; i < n; ++i) line[i] = get(i);
        auto at = [&](int i) { return line[i < 0 ? -i : (i >= n ? 2 * n - 2 - i : i)]; };
        for (int i = 1; i < n; i += 2) line[i] -= (at(i - 1) + at(i + 1)) >> 1;
        for (int i = 0; i < n; i += 2) line[i] += (at(i - 1) + at(i + 1) + 2) >> 2;
        for (int i = 0; i < n / 2; ++i) out[i] = line[2 * i], out[n / 2 + i] = line[2 * i + 1];
        for (int i = 0; i < n; ++i) put(i, out[i]);
    };
    for (int y = 0; y < n; ++y) lift([&](int i) { return a[y * n + i]; }, [&](int i, int v) { a[y * n + i] = v; });
    for (int x = 0; x < n; ++x) lift([&](int i) { return a[i * n + x]; }, [&](int i, int v) { a[i * n + x] = v; });
}

struct CodedBlock {
    std::vector<Zeb8u> data;
    std::vector<int> segLens;
    int sfBits = 0, nPasses = 0, band = 0;
};

// Blocks of the HL, LH and HH sub-bands, quantised so that the largest
// magnitude needs about `planes` bits, encoded with the library encoder.
std::vector<CodedBlock> codedBlocks(int planes, int flags) {
    std::vector<int> img = photoLikeImage();
    forward53(img, kImage);
    const int half = kImage / 2;
    int maxMag = 1;
    for (int y = 0; y < kImage; ++y)
        for (int x = 0; x < kImage; ++x)
            if (x >= half || y >= half) maxMag = std::max(maxMag, std::abs(img[y * kImage + x]));
    const double scale = std::ldexp(1.0, planes) / (maxMag + 1);

    ZebEncodeState* enc = nullptr;
    zebiEncodeInitAlloc_JPEG2K(&enc, {kSide, kSide});
    std::vector<CodedBlock> blocks;
    const int bandOrigin[3][3] = {{half, 0, 2}, {0, half, 1}, {half, half, 3}};  // x, y, code
    for (const auto& b : bandOrigin)
        for (int by = 0; by < half; by += kSide)
            for (int bx = 0; bx < half; bx += kSide) {
                std::vector<Zeb32s> cb(kSide * kSide);
                for (int y = 0; y < kSide; ++y)
                    for (int x = 0; x < kSide; ++x) {
                        const int c = img[(b[1] + by + y) * kImage + b[0] + bx + x];
                        const auto m = static_cast<std::uint32_t>(std::abs(c) * scale);
                        cb[y * kSide + x] = static_cast<Zeb32s>(m | (c < 0 ? 0x80000000u : 0u));
                    }
                CodedBlock out;
                out.band = b[2];
                int nSeg = 0;
                zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(cb.data(), 4 * kSide, {kSide, kSide}, enc, b[2], 31, 0, 0, flags,
                                                       &out.sfBits, &out.nPasses, &nSeg);
                out.data.resize(kSide * kSide * 8 + 64);
                int len = static_cast<int>(out.data.size()), more = 0;
                zebiEncodeStoreBits_JPEG2K_1u(out.data.data(), &len, enc, &more);
                out.data.resize(static_cast<std::size_t>(len));
                for (int s = 0; s < nSeg; ++s) {
                    int l = 0;
                    zebiEncodeGetTermPassLen_JPEG2K(enc, s, &l);
                    out.segLens.push_back(l);
                }
                blocks.push_back(std::move(out));
            }
    zebiEncodeFree_JPEG2K(enc);
    return blocks;
}

void BM_DecodeCodeBlock64x64(benchmark::State& st) {
    const int planes = static_cast<int>(st.range(0));
    const int flags = static_cast<int>(st.range(1));
    const std::vector<CodedBlock> blocks = codedBlocks(planes, flags);
    int bufSize = 0;
    zebiDecodeGetBufSize_JPEG2K({kSide, kSide}, &bufSize);
    Zeb8u* work = zebsMalloc_8u(bufSize);
    Zeb8u* dst = zebsMalloc_8u(kSide * kSide * 4);
    std::size_t bytes = 0;
    for (const auto& b : blocks) bytes += b.data.size();
    for (auto _ : st) {
        for (const auto& b : blocks) {
            zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(b.data.data(), reinterpret_cast<Zeb32s*>(dst), 4 * kSide,
                                                 {kSide, kSide}, b.band, b.sfBits, b.nPasses, b.segLens.data(),
                                                 static_cast<int>(b.segLens.size()), flags, nullptr, work);
        }
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * static_cast<std::int64_t>(blocks.size()) * kSide * kSide);
    st.counters["bits/coef"] = 8.0 * static_cast<double>(bytes) / (static_cast<double>(blocks.size()) * kSide * kSide);
    zebsFree(work);
    zebsFree(dst);
}
BENCHMARK(BM_DecodeCodeBlock64x64)
    ->ArgNames({"planes", "flags"})
    ->Args({6, 0})
    ->Args({10, 0})
    ->Args({14, 0})
    ->Args({10, ZEB_CB_BYPASS})
    ->Args({14, ZEB_CB_BYPASS});

template <zeb::Path P>
void BM_ConcealBlock64x64(benchmark::State& st) {
    std::vector<Zeb32s> block(kSide * kSide);
    std::mt19937 g(3);
    for (auto& v : block) v = static_cast<Zeb32s>(g());
    for (auto _ : st) {
        zeb::t1::concealBlock<P>(block.data(), 4 * kSide, kSide, kSide, 5);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kSide * kSide);
}
BENCHMARK(BM_ConcealBlock64x64<zeb::Path::Scalar>);
BENCHMARK(BM_ConcealBlock64x64<zeb::Path::Vector>);

}  // namespace
BENCHMARK_MAIN();
