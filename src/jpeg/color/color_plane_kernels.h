// Row kernels of the whole-plane colour conversions.
//
// Every conversion is one pipeline: a reader fetches pixels as channel values
// (0..255), a converter maps them, a writer stores them.  The converter also
// fixes which pixels of a row take which arithmetic: the "vector form" covers
// the first width rounded down to a multiple of kSplit pixels and the table
// form the rest (kSplit = 1: one form for the whole row).  Path::Scalar
// computes the vector form one pixel at a time and is the definition;
// Path::Vector runs it eight pixels per SSE2 step and gives the same bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "color_simd.h"
#include "color_tables.h"
#include "core/simd.h"
#include "core/threading.h"
#include "zeb.h"

namespace zeb::color {

// Up to four channel values of one pixel, and of eight pixels in 16-bit lanes.
struct Px {
    int v[4];
};
struct Lanes {
    __m128i v[4];
};

struct SrcRow {
    const void* p[4];
};
struct DstRow {
    void* p[4];
};

inline const std::uint8_t* bytesOf(const void* p) { return static_cast<const std::uint8_t*>(p); }
inline std::uint8_t* bytesOf(void* p) { return static_cast<std::uint8_t*>(p); }

// Channel orders of interleaved pixels, as positions of the 1st, 2nd, 3rd
// canonical channel (R, G, B or Y, Cb, Cr) within the pixel.
struct OrderRGB {
    static constexpr int pos[4] = {0, 1, 2, 3};
};
struct OrderBGR {
    static constexpr int pos[4] = {2, 1, 0, 3};
};

// ---- readers ---------------------------------------------------------------------------
// N separate 8-bit planes; Invert turns CMY into RGB (255 - v), K passes.
template <int N, bool Invert = false>
struct ReadPlanes {
    static constexpr int kChannels = N;
    static Px get(const SrcRow& s, int x) {
        Px px{};
        for (int c = 0; c < N; ++c) px.v[c] = bytesOf(s.p[c])[x];
        if constexpr (Invert)
            for (int c = 0; c < 3; ++c) px.v[c] = 255 - px.v[c];
        return px;
    }
    static Lanes load8(const SrcRow& s, int x) {
        Lanes l{};
        for (int c = 0; c < N; ++c) l.v[c] = load8u8(bytesOf(s.p[c]) + x);
        if constexpr (Invert)
            for (int c = 0; c < 3; ++c) l.v[c] = _mm_sub_epi16(_mm_set1_epi16(255), l.v[c]);
        return l;
    }
};

// N interleaved 8-bit channels in the given order.
template <int N, class Order, bool Invert = false>
struct ReadInterleaved {
    static constexpr int kChannels = N;
    static Px get(const SrcRow& s, int x) {
        const std::uint8_t* p = bytesOf(s.p[0]) + static_cast<std::ptrdiff_t>(x) * N;
        Px px{};
        for (int c = 0; c < N; ++c) px.v[c] = p[Order::pos[c]];
        if constexpr (Invert)
            for (int c = 0; c < 3; ++c) px.v[c] = 255 - px.v[c];
        return px;
    }
    // Eight pixels as 32-bit lanes (the spare byte of a 3-byte pixel is
    // masked off), then one channel per byte position.  Reads only the
    // eight pixels' bytes.
    static Lanes load8(const SrcRow& s, int x) {
        const std::uint8_t* p = bytesOf(s.p[0]) + static_cast<std::ptrdiff_t>(x) * N;
        __m128i w0, w1;
        if constexpr (N == 4) {
            w0 = loadu(p);
            w1 = loadu(p + 16);
        } else {
            // Bytes 0-15 hold pixels 0-3 at offsets 0, 3, 6, 9; bytes 8-23 hold
            // pixels 4-7 at offsets 4, 7, 10, 13.
            const __m128i a = loadu(p), b = loadu(p + 8);
            w0 = _mm_unpacklo_epi64(_mm_unpacklo_epi32(a, _mm_srli_si128(a, 3)),
                                    _mm_unpacklo_epi32(_mm_srli_si128(a, 6), _mm_srli_si128(a, 9)));
            w1 = _mm_unpacklo_epi64(_mm_unpacklo_epi32(_mm_srli_si128(b, 4), _mm_srli_si128(b, 7)),
                                    _mm_unpacklo_epi32(_mm_srli_si128(b, 10), _mm_srli_si128(b, 13)));
        }
        const __m128i byteMask = _mm_set1_epi32(0xFF);
        Lanes l{};
        for (int c = 0; c < N; ++c) {
            const __m128i shift = _mm_cvtsi32_si128(8 * Order::pos[c]);
            l.v[c] = _mm_packs_epi32(_mm_and_si128(_mm_srl_epi32(w0, shift), byteMask),
                                     _mm_and_si128(_mm_srl_epi32(w1, shift), byteMask));
            if (Invert && c < 3) l.v[c] = _mm_sub_epi16(_mm_set1_epi16(255), l.v[c]);
        }
        return l;
    }
    // Sixteen 3-byte pixels: pixels 0-7 in lo, 8-15 in hi (the perfect
    // shuffles of shuffle48 below split the 48 bytes into channels).
    static void load16(const SrcRow& s, int x, Lanes& lo, Lanes& hi)
        requires(N == 3 && !Invert);
};

// 16-bit pixel words: field widths and positions of the low, middle and top
// fields; RedLow tells whether R (rather than B) sits in bits 0-4.
template <bool RedLow, int GreenBits>
struct PackedLayout {
    static constexpr int kGreenBits = GreenBits;
    static constexpr int kTopShift = 5 + GreenBits;
    static constexpr int kGreenMask = (1 << GreenBits) - 1;
    static constexpr int kLowChannel = RedLow ? 0 : 2;  // canonical channel in bits 0-4
    static constexpr int kTopChannel = RedLow ? 2 : 0;
    static Px unpack(int w) {
        Px px{};
        px.v[kLowChannel] = (w & 31) << 3;
        px.v[1] = ((w >> 5) & kGreenMask) << (8 - GreenBits);
        px.v[kTopChannel] = ((w >> kTopShift) & 31) << 3;
        return px;
    }
    static int pack(int r, int g, int b) {
        const int c[3] = {r, g, b};
        return (c[kLowChannel] >> 3) | ((g >> (8 - GreenBits)) << 5) | ((c[kTopChannel] >> 3) << kTopShift);
    }
    static Lanes unpack8(__m128i w) {
        const __m128i m5 = _mm_set1_epi16(31), mg = _mm_set1_epi16(kGreenMask);
        Lanes l{};
        l.v[kLowChannel] = _mm_slli_epi16(_mm_and_si128(w, m5), 3);
        l.v[1] = _mm_slli_epi16(_mm_and_si128(_mm_srli_epi16(w, 5), mg), 8 - GreenBits);
        l.v[kTopChannel] = _mm_slli_epi16(_mm_and_si128(_mm_srli_epi16(w, kTopShift), m5), 3);
        return l;
    }
    // Lanes hold 0..255.
    static __m128i pack8(const Lanes& l) {
        const __m128i low = _mm_srli_epi16(l.v[kLowChannel], 3);
        const __m128i mid = _mm_slli_epi16(_mm_srli_epi16(l.v[1], 8 - GreenBits), 5);
        const __m128i top = _mm_slli_epi16(_mm_srli_epi16(l.v[kTopChannel], 3), kTopShift);
        return _mm_or_si128(_mm_or_si128(low, mid), top);
    }
};
using LayoutRGB555 = PackedLayout<true, 5>;
using LayoutBGR555 = PackedLayout<false, 5>;
using LayoutRGB565 = PackedLayout<true, 6>;
using LayoutBGR565 = PackedLayout<false, 6>;

template <class Layout>
struct ReadPacked {
    static constexpr int kChannels = 3;
    static Px get(const SrcRow& s, int x) { return Layout::unpack(static_cast<const std::uint16_t*>(s.p[0])[x]); }
    static Lanes load8(const SrcRow& s, int x) {
        return Layout::unpack8(loadu(static_cast<const std::uint16_t*>(s.p[0]) + x));
    }
};

// ---- writers (values 0..255) -----------------------------------------------------------
// N separate planes; Invert stores 255 - v for the first three (RGB to CMY).
template <int N, bool Invert = false>
struct WritePlanes {
    static void put(const DstRow& d, int x, const Px& px) {
        for (int c = 0; c < N; ++c)
            bytesOf(d.p[c])[x] = static_cast<std::uint8_t>(Invert && c < 3 ? 255 - px.v[c] : px.v[c]);
    }
    static void store8(const DstRow& d, int x, const Lanes& l) {
        for (int c = 0; c < N; ++c)
            store8u8(bytesOf(d.p[c]) + x, Invert && c < 3 ? _mm_sub_epi16(_mm_set1_epi16(255), l.v[c]) : l.v[c]);
    }
};

template <int N, class Order, bool Invert = false>
struct WriteInterleaved {
    static void put(const DstRow& d, int x, const Px& px) {
        std::uint8_t* p = bytesOf(d.p[0]) + static_cast<std::ptrdiff_t>(x) * N;
        for (int c = 0; c < N; ++c)
            p[Order::pos[c]] = static_cast<std::uint8_t>(Invert && c < 3 ? 255 - px.v[c] : px.v[c]);
    }
    // Eight pixels built as 32-bit lanes; 3-byte pixels are stored with
    // overlapping 4-byte writes in order, the last one with 3 bytes.
    static void store8(const DstRow& d, int x, const Lanes& l) {
        const __m128i z = _mm_setzero_si128();
        __m128i w0 = z, w1 = z;
        for (int c = 0; c < N; ++c) {
            const __m128i v = Invert && c < 3 ? _mm_sub_epi16(_mm_set1_epi16(255), l.v[c]) : l.v[c];
            const __m128i shift = _mm_cvtsi32_si128(8 * Order::pos[c]);
            w0 = _mm_or_si128(w0, _mm_sll_epi32(_mm_unpacklo_epi16(v, z), shift));
            w1 = _mm_or_si128(w1, _mm_sll_epi32(_mm_unpackhi_epi16(v, z), shift));
        }
        std::uint8_t* p = bytesOf(d.p[0]) + static_cast<std::ptrdiff_t>(x) * N;
        if constexpr (N == 4) {
            storeu(p, w0);
            storeu(p + 16, w1);
        } else {
            alignas(16) std::uint32_t t[8];
            _mm_store_si128(reinterpret_cast<__m128i*>(t), w0);
            _mm_store_si128(reinterpret_cast<__m128i*>(t + 4), w1);
            for (int i = 0; i < 7; ++i) std::memcpy(p + 3 * i, &t[i], 4);
            std::memcpy(p + 21, &t[7], 3);
        }
    }
};

template <class Layout>
struct WritePacked {
    static void put(const DstRow& d, int x, const Px& px) {
        static_cast<std::uint16_t*>(d.p[0])[x] = static_cast<std::uint16_t>(Layout::pack(px.v[0], px.v[1], px.v[2]));
    }
    static void store8(const DstRow& d, int x, const Lanes& l) {
        storeu(static_cast<std::uint16_t*>(d.p[0]) + x, Layout::pack8(l));
    }
};

// ---- decoder converters: Y, Cb, Cr (, K) to R, G, B (, K) ---------------------------------
// Vector-form constant sets: channel = Y + sign * ((wCb*Cb + wCr*Cr + off) >> 14).
struct ChannelQ14 {
    int wCb, wCr, off, sign;
};
struct DecodeSetA {
    static constexpr ChannelQ14 r{0, 22970, -2932015, +1};
    static constexpr ChannelQ14 g{5638, 11700, -2211182, -1};
    static constexpr ChannelQ14 b{29032, 0, -3708561, +1};
};
struct DecodeSetB {
    static constexpr ChannelQ14 r{0, 22970, -2932015, +1};
    static constexpr ChannelQ14 g{-5638, -11700, 2227566, +1};
    static constexpr ChannelQ14 b{29032, 0, -3707961, +1};
};

// Vector form of Set over the row's first multiple of 4 pixels, tables after.
template <class Set>
struct DecodeYCbCr {
    static constexpr int kSplit = 4;
    static int channel(const ChannelQ14& k, int y, int cb, int cr) {
        return clamp255(y + k.sign * ((k.wCb * cb + k.wCr * cr + k.off) >> 14));
    }
    static Px vectorForm(const Px& in) {
        const int y = in.v[0], cb = in.v[1], cr = in.v[2];
        return {{channel(Set::r, y, cb, cr), channel(Set::g, y, cb, cr), channel(Set::b, y, cb, cr), in.v[3]}};
    }
    static Px tableForm(const Px& in) {
        const Rgb c = ycbcrToRgbTable(in.v[0], in.v[1], in.v[2]);
        return {{c.r, c.g, c.b, in.v[3]}};
    }
    static __m128i channel8(const ChannelQ14& k, __m128i y, __m128i cb, __m128i cr) {
        const __m128i t = dot2<14>(cb, cr, k.wCb, k.wCr, k.off);
        return clampLanes255(k.sign > 0 ? _mm_add_epi16(y, t) : _mm_sub_epi16(y, t));
    }
    static Lanes vector8(const Lanes& in) {
        return {{channel8(Set::r, in.v[0], in.v[1], in.v[2]), channel8(Set::g, in.v[0], in.v[1], in.v[2]),
                 channel8(Set::b, in.v[0], in.v[1], in.v[2]), in.v[3]}};
    }
};

// Table form over the whole row (no vector form).
struct DecodeTable {
    static constexpr int kSplit = 1;
    static Px vectorForm(const Px& in) { return DecodeYCbCr<DecodeSetA>::tableForm(in); }
    static Px tableForm(const Px& in) { return vectorForm(in); }
};

// Packed 4:2:2 (Y0 Cb Y1 Cr per pixel pair) as Y, Cb, Cr per pixel.  A last
// unpaired pixel reads its whole 4-byte group.
struct ReadPacked422 {
    static constexpr int kChannels = 3;
    static Px get(const SrcRow& s, int x) {
        const std::uint8_t* g = bytesOf(s.p[0]) + static_cast<std::ptrdiff_t>(x / 2) * 4;
        return {{g[2 * (x & 1)], g[1], g[3], 0}};
    }
    static Lanes load8(const SrcRow& s, int x) {  // x even
        alignas(16) std::int16_t t[3][8];
        const std::uint8_t* g = bytesOf(s.p[0]) + static_cast<std::ptrdiff_t>(x) * 2;
        for (int i = 0; i < 8; ++i) {
            t[0][i] = g[2 * i];
            t[1][i] = g[(i & ~1) * 2 + 1];
            t[2][i] = g[(i & ~1) * 2 + 3];
        }
        Lanes l{};
        for (int c = 0; c < 3; ++c) l.v[c] = _mm_load_si128(reinterpret_cast<const __m128i*>(t[c]));
        return l;
    }
};

// ---- encoder converters: R, G, B (, K) to Y, Cb, Cr (, K) ---------------------------------
// Q14 form over the whole row.
struct EncodeQ14 {
    static constexpr int kSplit = 1;
    static Px vectorForm(const Px& in) {
        const int r = in.v[0], g = in.v[1], b = in.v[2];
        return {{clamp255((4899 * r + 9617 * g + 1868 * b + 8192) >> 14),
                 clamp255((-2764 * r - 5428 * g + 8192 * b + 2105344) >> 14),
                 clamp255((8192 * r - 6860 * g - 1332 * b + 2105344) >> 14), in.v[3]}};
    }
    static Px tableForm(const Px& in) { return vectorForm(in); }
    static Lanes vector8(const Lanes& in) {
        const __m128i r = in.v[0], g = in.v[1], b = in.v[2];
        return {{clampLanes255(dot3<14>(r, g, b, 4899, 9617, 1868, 8192)),
                 clampLanes255(dot3<14>(r, g, b, -2764, -5428, 8192, 2105344)),
                 clampLanes255(dot3<14>(r, g, b, 8192, -6860, -1332, 2105344)), in.v[3]}};
    }
};

// Q15 luminance over the whole row.
struct EncodeLumaQ15 {
    static constexpr int kSplit = 1;
    static Px vectorForm(const Px& in) {
        const int y = (9798 * in.v[0] + 19235 * in.v[1] + 3736 * in.v[2] + 16266) >> 15;
        return {{y > 255 ? 255 : y, 0, 0, 0}};
    }
    static Px tableForm(const Px& in) { return vectorForm(in); }
    static Lanes vector8(const Lanes& in) {
        const __m128i y = dot3<15>(in.v[0], in.v[1], in.v[2], 9798, 19235, 3736, 16266);
        return {{_mm_min_epi16(y, _mm_set1_epi16(255)), y, y, y}};
    }
};

// Single-precision luminance over the first multiple of 4 pixels, table after.
struct EncodeLumaFloat {
    static constexpr int kSplit = 4;
    static Px vectorForm(const Px& in) {
        const float y = (static_cast<float>(in.v[0]) * 0.299f + static_cast<float>(in.v[1]) * 0.587f) +
                        static_cast<float>(in.v[2]) * 0.114f;
        return {{clamp255(static_cast<int>(std::nearbyint(y))), 0, 0, 0}};
    }
    static Px tableForm(const Px& in) { return {{rgbToYcbcrTable(in.v[0], in.v[1], in.v[2]).r, 0, 0, 0}}; }
    static __m128 luma4(__m128i r, __m128i g, __m128i b) {
        const __m128 s = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(r), _mm_set1_ps(0.299f)),
                                    _mm_mul_ps(_mm_cvtepi32_ps(g), _mm_set1_ps(0.587f)));
        return _mm_add_ps(s, _mm_mul_ps(_mm_cvtepi32_ps(b), _mm_set1_ps(0.114f)));
    }
    static Lanes vector8(const Lanes& in) {
        const __m128i z = _mm_setzero_si128();
        const __m128 lo = luma4(_mm_unpacklo_epi16(in.v[0], z), _mm_unpacklo_epi16(in.v[1], z),
                                _mm_unpacklo_epi16(in.v[2], z));
        const __m128 hi = luma4(_mm_unpackhi_epi16(in.v[0], z), _mm_unpackhi_epi16(in.v[1], z),
                                _mm_unpackhi_epi16(in.v[2], z));
        const __m128i y = clampLanes255(_mm_packs_epi32(_mm_cvtps_epi32(lo), _mm_cvtps_epi32(hi)));
        return {{y, y, y, y}};
    }
};

// Q16 luminance with Q15 colour differences over the first multiple of 4
// pixels, table after.
struct EncodeDiffQ15 {
    static constexpr int kSplit = 4;
    static Px vectorForm(const Px& in) {
        const int r = in.v[0], g = in.v[1], b = in.v[2];
        const int y = (19595 * r + 38470 * g + 7471 * b + 32768) >> 16;
        return {{y, clamp255((18491 * (b - y) + 4210688) >> 15), clamp255((23373 * (r - y) + 4210688) >> 15), in.v[3]}};
    }
    static Px tableForm(const Px& in) {
        const Rgb c = rgbToYcbcrTable(in.v[0], in.v[1], in.v[2]);
        return {{c.r, c.g, c.b, in.v[3]}};
    }
    static Lanes vector8(const Lanes& in) {
        // 38470 exceeds a signed 16-bit weight: take G * 32768 as a shift.
        const __m128i r = in.v[0], g = in.v[1], b = in.v[2], z = _mm_setzero_si128();
        const __m128i wrg = pairWeights(19595, 38470 - 32768), wb = pairWeights(7471, 0);
        const __m128i half = _mm_set1_epi32(32768);
        __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r, g), wrg),
                                   _mm_madd_epi16(_mm_unpacklo_epi16(b, z), wb));
        __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r, g), wrg),
                                   _mm_madd_epi16(_mm_unpackhi_epi16(b, z), wb));
        lo = _mm_add_epi32(_mm_add_epi32(lo, _mm_slli_epi32(_mm_unpacklo_epi16(g, z), 15)), half);
        hi = _mm_add_epi32(_mm_add_epi32(hi, _mm_slli_epi32(_mm_unpackhi_epi16(g, z), 15)), half);
        const __m128i y = _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
        const __m128i cb = clampLanes255(dot2<15>(_mm_sub_epi16(b, y), z, 18491, 0, 4210688));
        const __m128i cr = clampLanes255(dot2<15>(_mm_sub_epi16(r, y), z, 23373, 0, 4210688));
        return {{y, cb, cr, in.v[3]}};
    }
};

// ---- sixteen pixels a step for the common JPEG conversions --------------------------------------
// Same results as the eight-pixel forms, with fewer operations.  The encoder
// splits 3-byte pixels into channel registers by four perfect shuffles of the
// 48 bytes (byte p moves to 2p mod 47; 16 * 3 = 48 = 1 mod 47, so four rounds
// take byte 3i + c to 16c + i); the decoder stores pixel pairs (store48).
// The final unsigned saturation to bytes is the clamp to 0..255.

// out[2k] = in[k], out[2k + 1] = in[24 + k] over the 48 bytes a, b, c.
inline void shuffle48(__m128i& a, __m128i& b, __m128i& c) {
    const __m128i a1 = _mm_unpacklo_epi8(a, _mm_srli_si128(b, 8));
    const __m128i b1 = _mm_unpackhi_epi8(a, _mm_slli_si128(c, 8));
    const __m128i c1 = _mm_unpacklo_epi8(b, _mm_srli_si128(c, 8));
    a = a1;
    b = b1;
    c = c1;
}

// Sixteen 3-byte pixels at p split into their three channels (in memory
// order), one byte register each.
inline void split48(const std::uint8_t* p, __m128i* ch) {
    ch[0] = loadu(p);
    ch[1] = loadu(p + 16);
    ch[2] = loadu(p + 32);
    for (int round = 0; round < 4; ++round) shuffle48(ch[0], ch[1], ch[2]);
}

template <int N, class Order, bool Invert>
[[gnu::always_inline]] inline void ReadInterleaved<N, Order, Invert>::load16(const SrcRow& s, int x, Lanes& lo, Lanes& hi)
    requires(N == 3 && !Invert)
{
    __m128i ch[3];
    split48(bytesOf(s.p[0]) + static_cast<std::ptrdiff_t>(x) * 3, ch);
    const __m128i z = _mm_setzero_si128();
    for (int c = 0; c < 3; ++c) {
        lo.v[c] = _mm_unpacklo_epi8(ch[Order::pos[c]], z);
        hi.v[c] = _mm_unpackhi_epi8(ch[Order::pos[c]], z);
    }
    lo.v[3] = hi.v[3] = z;
}

template <class In, class Conv, class Out>
struct Wide16 {};

// Interleaved RGB to Y, Cb, Cr planes (EncodeQ14).
template <class Order>
struct Wide16<ReadInterleaved<3, Order>, EncodeQ14, WritePlanes<3>> {
    static constexpr bool kSixteen = true;
    static void run(const SrcRow& s, const DstRow& d, int x, int /*width*/) {
        __m128i ch[3];
        split48(bytesOf(s.p[0]) + static_cast<std::ptrdiff_t>(x) * 3, ch);
        const __m128i r = ch[Order::pos[0]], g = ch[Order::pos[1]], b = ch[Order::pos[2]];
        // (r, g) and (b, 128) pairs; the offset rides on the 128 lane.
        const __m128i z = _mm_setzero_si128(), k128 = _mm_set1_epi8(static_cast<char>(128));
        const __m128i rg8[2] = {_mm_unpacklo_epi8(r, g), _mm_unpackhi_epi8(r, g)};
        const __m128i bk8[2] = {_mm_unpacklo_epi8(b, k128), _mm_unpackhi_epi8(b, k128)};
        __m128i rg[4], bk[4];
        for (int h = 0; h < 2; ++h) {
            rg[2 * h] = _mm_unpacklo_epi8(rg8[h], z);
            rg[2 * h + 1] = _mm_unpackhi_epi8(rg8[h], z);
            bk[2 * h] = _mm_unpacklo_epi8(bk8[h], z);
            bk[2 * h + 1] = _mm_unpackhi_epi8(bk8[h], z);
        }
        static_assert(8192 == 128 * 64 && 2105344 == 128 * 16448);
        const __m128i wrg[3] = {pairWeights(4899, 9617), pairWeights(-2764, -5428), pairWeights(8192, -6860)};
        const __m128i wbk[3] = {pairWeights(1868, 64), pairWeights(8192, 16448), pairWeights(-1332, 16448)};
        for (int c = 0; c < 3; ++c) {
            __m128i q[4];
            for (int i = 0; i < 4; ++i)
                q[i] = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(rg[i], wrg[c]), _mm_madd_epi16(bk[i], wbk[c])), 14);
            storeu(bytesOf(d.p[c]) + x, _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3])));
        }
    }
};

// Y, Cb, Cr planes to interleaved RGB (DecodeYCbCr<DecodeSetB>).
//
// Each chroma byte with its top bit flipped is v - 128 as a signed byte; put
// in the high byte of a 16-bit word over a constant low byte c, the word is
// 256 (v - 128) + c.  The constants fold the offsets of the Q14 forms into
// the words, so that
//   R = Y + ((256 Cr' + 90) * 11485 >> 16 >> 5),
//   B = Y + ((256 Cb' + 216) * 14516 >> 16 >> 5) - 1      (signed high multiplies),
//   G = Y - ((5638 (256 Cb' + 120) + 11700 (256 Cr' + 119)) >> 22)   (one multiply-add),
// equal to the vector form for every Cb, Cr (checked below at compile time).
// 11485 and 14516 are 1.402 and 1.772 in Q13.
struct DecodeWideSetB {
    static constexpr int kMulR = 11485, kLowR = 90;
    static constexpr int kMulB = 14516, kLowB = 216;
    static constexpr int kWgCb = 5638, kWgCr = 11700, kLowGCb = 120, kLowGCr = 119;

    static constexpr int word(int v, int low) { return 256 * (v - 128) + low; }
    static constexpr int mulhi(int a, int b) { return (a * b) >> 16; }
    static constexpr int termR(int cr) { return mulhi(word(cr, kLowR), kMulR) >> 5; }
    static constexpr int termB(int cb) { return (mulhi(word(cb, kLowB), kMulB) >> 5) - 1; }
    static constexpr int termG(int cb, int cr) {
        return -((kWgCb * word(cb, kLowGCb) + kWgCr * word(cr, kLowGCr)) >> 22);
    }
    static constexpr int q14(const ChannelQ14& k, int cb, int cr) {
        return k.sign * ((k.wCb * cb + k.wCr * cr + k.off) >> 14);
    }
    static constexpr bool exact() {
        for (int v = 0; v < 256; ++v)
            if (termR(v) != q14(DecodeSetB::r, 0, v) || termB(v) != q14(DecodeSetB::b, v, 0)) return false;
        for (int cb = 0; cb < 256; ++cb)
            for (int cr = 0; cr < 256; ++cr)
                if (termG(cb, cr) != q14(DecodeSetB::g, cb, cr)) return false;
        return true;
    }
};
static_assert(DecodeSetB::r.wCb == 0 && DecodeSetB::b.wCr == 0 && DecodeWideSetB::exact(),
              "the folded constants reproduce set B for every chroma pair");

// 3-byte pixels from three byte registers (channels in store order) of
// sixteen pixels, as eight 6-byte pixel pairs.  A pair is three 16-bit words:
// (c0, c1) of the even pixel, (c2 of the even, c0 of the odd), (c1, c2) of
// the odd; the words of each pair fill one 64-bit lane (top word 0), and the
// lanes are stored 6 bytes apart in increasing order, each store's two spare
// bytes overwritten by the next.  The 2 spare bytes of the last lane go past
// the 48 bytes: with `spare` the row has them (the pixels after these, stored
// later); without, the last pair is stored as the 8 bytes ending at byte 48.
inline void store48(std::uint8_t* p, __m128i c0, __m128i c1, __m128i c2, bool spare) {
    const __m128i lowByte = _mm_set1_epi16(0x00FF), highByte = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i z = _mm_setzero_si128();
    const __m128i w0 = _mm_or_si128(_mm_and_si128(c0, lowByte), _mm_slli_epi16(c1, 8));
    const __m128i w1 = _mm_or_si128(_mm_and_si128(c2, lowByte), _mm_and_si128(c0, highByte));
    const __m128i w2 = _mm_or_si128(_mm_srli_epi16(c1, 8), _mm_and_si128(c2, highByte));
    const __m128i a0 = _mm_unpacklo_epi16(w0, w1), a1 = _mm_unpackhi_epi16(w0, w1);
    const __m128i b0 = _mm_unpacklo_epi16(w2, z), b1 = _mm_unpackhi_epi16(w2, z);
    const __m128i lanes[4] = {_mm_unpacklo_epi32(a0, b0), _mm_unpackhi_epi32(a0, b0), _mm_unpacklo_epi32(a1, b1),
                              _mm_unpackhi_epi32(a1, b1)};
    for (int i = 0; i < 4; ++i) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 12 * i), lanes[i]);
        if (i < 3 || spare) _mm_storeh_pi(reinterpret_cast<__m64*>(p + 12 * i + 6), _mm_castsi128_ps(lanes[i]));
    }
    if (!spare) {
        // Words 2 of pair 6 and 0-2 of pair 7: bytes 40-47.
        const __m128i tail = _mm_insert_epi16(_mm_slli_epi64(lanes[3], 16), _mm_extract_epi16(lanes[3], 2), 4);
        _mm_storeh_pi(reinterpret_cast<__m64*>(p + 40), _mm_castsi128_ps(tail));
    }
}

template <class Order>
struct Wide16<ReadPlanes<3>, DecodeYCbCr<DecodeSetB>, WriteInterleaved<3, Order>> {
    static constexpr bool kSixteen = true;
    using K = DecodeWideSetB;
    // Y + (mulhi(word, m) >> 5) + add over the 16 pixels, saturated to bytes.
    static __m128i colour(__m128i ylo, __m128i yhi, __m128i v, int low, int m, int add) {
        const __m128i lowBytes = _mm_set1_epi8(static_cast<char>(low)), mul = _mm_set1_epi16(static_cast<short>(m));
        __m128i lo = _mm_srai_epi16(_mm_mulhi_epi16(_mm_unpacklo_epi8(lowBytes, v), mul), 5);
        __m128i hi = _mm_srai_epi16(_mm_mulhi_epi16(_mm_unpackhi_epi8(lowBytes, v), mul), 5);
        if (add) {
            const __m128i a = _mm_set1_epi16(static_cast<short>(add));
            lo = _mm_add_epi16(lo, a);
            hi = _mm_add_epi16(hi, a);
        }
        return _mm_packus_epi16(_mm_add_epi16(ylo, lo), _mm_add_epi16(yhi, hi));
    }
    static void run(const SrcRow& s, const DstRow& d, int x, int width) {
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80)), z = _mm_setzero_si128();
        const __m128i y = loadu(bytesOf(s.p[0]) + x);
        const __m128i cb = _mm_xor_si128(loadu(bytesOf(s.p[1]) + x), flip);
        const __m128i cr = _mm_xor_si128(loadu(bytesOf(s.p[2]) + x), flip);
        const __m128i ylo = _mm_unpacklo_epi8(y, z), yhi = _mm_unpackhi_epi8(y, z);
        __m128i ch[3];
        ch[Order::pos[0]] = colour(ylo, yhi, cr, K::kLowR, K::kMulR, 0);
        ch[Order::pos[2]] = colour(ylo, yhi, cb, K::kLowB, K::kMulB, -1);
        // G: words (256 Cb' + 120, 256 Cr' + 119) paired per pixel.
        const __m128i lowG = _mm_set1_epi16(static_cast<short>(K::kLowGCb | K::kLowGCr << 8));
        const __m128i wG = pairWeights(K::kWgCb, K::kWgCr);
        const __m128i cc[2] = {_mm_unpacklo_epi8(cb, cr), _mm_unpackhi_epi8(cb, cr)};
        __m128i q[4];
        for (int h = 0; h < 2; ++h) {
            q[2 * h] = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(lowG, cc[h]), wG), 22);
            q[2 * h + 1] = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi8(lowG, cc[h]), wG), 22);
        }
        ch[Order::pos[1]] = _mm_packus_epi16(_mm_sub_epi16(ylo, _mm_packs_epi32(q[0], q[1])),
                                             _mm_sub_epi16(yhi, _mm_packs_epi32(q[2], q[3])));
        store48(bytesOf(d.p[0]) + static_cast<std::ptrdiff_t>(x) * 3, ch[0], ch[1], ch[2], x + 16 < width);
    }
};

// ---- the row pipeline -----------------------------------------------------------------------
template <Path P, class In, class Conv, class Out>
void convertRow(const SrcRow& s, const DstRow& d, int width) {
    const int vectorEnd = Conv::kSplit == 1 ? width : width - width % Conv::kSplit;
    int x = 0;
    if constexpr (P == Path::Vector && requires { Wide16<In, Conv, Out>::kSixteen; })
        for (; x + 16 <= vectorEnd; x += 16) Wide16<In, Conv, Out>::run(s, d, x, width);
    if constexpr (P == Path::Vector && requires { Conv::vector8(Lanes{}); })
        for (; x + 8 <= vectorEnd; x += 8) Out::store8(d, x, Conv::vector8(In::load8(s, x)));
    for (; x < vectorEnd; ++x) Out::put(d, x, Conv::vectorForm(In::get(s, x)));
    for (; x < width; ++x) Out::put(d, x, Conv::tableForm(In::get(s, x)));
}

// Whole region: row y of plane c is at ptr[c] + y * step.  Threaded
// conversions split their rows by the library's threading rule.
template <class In, class Conv, class Out, Path P = Path::Vector>
void convertPlanes(const void* const* src, int nSrc, int srcStep, void* const* dst, int nDst, int dstStep,
                   ZebSize roi, bool threaded) {
    auto row = [&](int y) {
        SrcRow s{};
        DstRow d{};
        for (int c = 0; c < nSrc; ++c) s.p[c] = rowAt(bytesOf(src[c]), srcStep, y);
        for (int c = 0; c < nDst; ++c) d.p[c] = rowAt(bytesOf(dst[c]), dstStep, y);
        convertRow<P, In, Conv, Out>(s, d, roi.width);
    };
    if (threaded)
        forEachRow(roi.width, roi.height, row);
    else
        for (int y = 0; y < roi.height; ++y) row(y);
}

}  // namespace zeb::color
