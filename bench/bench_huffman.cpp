// Baseline Huffman block coding: encode and decode throughput in bytes of
// entropy-coded data per second, on photo-like blocks quantised at quality
// 50 and 90, fast path (Path::Vector) against the byte-wise path
// (Path::Scalar) in the same run.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "jpeg/huffman/huffman_baseline.h"
#include "zeb.h"

namespace {

using zeb::Path;
using Block = std::array<Zeb16s, 64>;

// T.81 Annex K tables: K.1 luminance quantisation, K.3 DC and K.5 AC codes.
constexpr int kQuantK1[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                              14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                              18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                              49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const Zeb8u kDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const Zeb8u kDcVals[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const Zeb8u kAcBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const Zeb8u kAcVals[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
    0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
    0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
    0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

// A 512x512 photo-like picture (shading, edges, texture noise) cut into
// blocks, transformed with a double-precision DCT and quantised with the
// K.1 table scaled to the quality.
std::vector<Block> photoBlocks(int quality) {
    constexpr int kSize = 512;
    std::vector<double> px(kSize * kSize);
    std::uint32_t seed = 12345;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            seed = seed * 1664525u + 1013904223u;
            double v = 128 + 80 * std::sin(0.021 * x) * std::cos(0.017 * y) + 30 * std::sin(0.13 * (x + y));
            if (((x / 40) + (y / 56)) % 4 == 0) v = 255 - 0.7 * v;
            v += static_cast<double>((seed >> 24) % 17) - 8;
            px[y * kSize + x] = v < 0 ? 0 : v > 255 ? 255 : v;
        }
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    int q[64];
    for (int i = 0; i < 64; ++i) q[i] = std::max(1, std::min(255, (kQuantK1[i] * scale + 50) / 100));
    std::vector<Block> blocks;
    const double pi = std::acos(-1.0);
    for (int by = 0; by < kSize; by += 8)
        for (int bx = 0; bx < kSize; bx += 8) {
            Block b{};
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    double s = 0;
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x)
                            s += (px[(by + y) * kSize + bx + x] - 128) * std::cos((2 * x + 1) * u * pi / 16) *
                                 std::cos((2 * y + 1) * v * pi / 16);
                    s *= 0.25 * (u ? 1 : std::sqrt(0.5)) * (v ? 1 : std::sqrt(0.5));
                    b[v * 8 + u] = static_cast<Zeb16s>(std::lround(s / q[v * 8 + u]));
                }
            blocks.push_back(b);
        }
    return blocks;
}

struct Tables {
    std::vector<std::uint32_t> dcE = std::vector<std::uint32_t>(256), acE = std::vector<std::uint32_t>(256);
    std::vector<std::uint32_t> dcD = std::vector<std::uint32_t>(411), acD = std::vector<std::uint32_t>(411);
    Tables() {
        zebiEncodeHuffmanSpecInit_JPEG_8u(kDcBits, kDcVals, reinterpret_cast<ZebEncodeHuffmanSpec*>(dcE.data()));
        zebiEncodeHuffmanSpecInit_JPEG_8u(kAcBits, kAcVals, reinterpret_cast<ZebEncodeHuffmanSpec*>(acE.data()));
        zebiDecodeHuffmanSpecInit_JPEG_8u(kDcBits, kDcVals, reinterpret_cast<ZebDecodeHuffmanSpec*>(dcD.data()));
        zebiDecodeHuffmanSpecInit_JPEG_8u(kAcBits, kAcVals, reinterpret_cast<ZebDecodeHuffmanSpec*>(acD.data()));
    }
    const zeb::huff::EncodeSpec& dcEnc() const { return *reinterpret_cast<const zeb::huff::EncodeSpec*>(dcE.data()); }
    const zeb::huff::EncodeSpec& acEnc() const { return *reinterpret_cast<const zeb::huff::EncodeSpec*>(acE.data()); }
    const zeb::huff::DecodeSpec& dcDec() const { return *reinterpret_cast<const zeb::huff::DecodeSpec*>(dcD.data()); }
    const zeb::huff::DecodeSpec& acDec() const { return *reinterpret_cast<const zeb::huff::DecodeSpec*>(acD.data()); }
};

template <Path P>
int encodeAll(const std::vector<Block>& blocks, const Tables& t, std::vector<Zeb8u>& out) {
    zeb::huff::EncodeState st{};
    int pos = 0;
    Zeb16s last = 0;
    for (const Block& b : blocks)
        zeb::huff::encodeBlock<P>(b.data(), out.data(), static_cast<int>(out.size()), &pos, &last, t.dcEnc(),
                                  t.acEnc(), st);
    zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), static_cast<int>(out.size()), &pos, nullptr, nullptr,
                                       nullptr, reinterpret_cast<ZebEncodeHuffmanState*>(&st), 1);
    return pos;
}

template <Path P>
void BM_Encode(benchmark::State& state) {
    const std::vector<Block> blocks = photoBlocks(static_cast<int>(state.range(0)));
    const Tables t;
    std::vector<Zeb8u> out(blocks.size() * 200);
    int bytes = 0;
    for (auto _ : state) {
        bytes = encodeAll<P>(blocks, t, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
    state.counters["bits/block"] = 8.0 * bytes / blocks.size();
}

template <Path P>
void BM_Decode(benchmark::State& state) {
    const std::vector<Block> blocks = photoBlocks(static_cast<int>(state.range(0)));
    const Tables t;
    std::vector<Zeb8u> stream(blocks.size() * 200);
    stream.resize(encodeAll<Path::Scalar>(blocks, t, stream));
    stream.push_back(0xFF);
    stream.push_back(0xD9);
    std::vector<Block> out(blocks.size());
    for (auto _ : state) {
        zeb::huff::DecodeState st{};
        int pos = 0, marker = 0;
        Zeb16s last = 0;
        for (Block& b : out)
            zeb::huff::decodeBlock<P>(stream.data(), static_cast<int>(stream.size()), &pos, b.data(), &last, &marker,
                                      t.dcDec(), t.acDec(), st);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != blocks) state.SkipWithError("decoded blocks differ");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}

BENCHMARK(BM_Encode<Path::Scalar>)->Arg(50)->Arg(90);
BENCHMARK(BM_Encode<Path::Vector>)->Arg(50)->Arg(90);
BENCHMARK(BM_Decode<Path::Scalar>)->Arg(50)->Arg(90);
BENCHMARK(BM_Decode<Path::Vector>)->Arg(50)->Arg(90);

}  // namespace
BENCHMARK_MAIN();
