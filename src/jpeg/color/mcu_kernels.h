// Kernels of the per-MCU conversions: one pass over the pixels of one
// minimum coded unit that converts colour, down- or up-samples chroma and
// level-shifts, between interleaved pixels and 8x8 blocks of 16-bit samples.
//
// Geometry (HS, VS = horizontal and vertical chroma factor): 444 = (1, 1),
// 422 = (2, 1), 411 = (2, 2).  The pixel region is 8*HS x 8*VS; luminance (and
// K) pixel (x, y) lies in block (y/8)*HS + x/8 at (y%8)*8 + x%8; the chroma
// sample of (x, y) is (x/HS, y/VS) of the single Cb and Cr blocks.
//
// Pixels are read and written with the readers and writers of the plane
// conversions; Path::Scalar is the definition, Path::Vector computes a pixel
// row eight samples at a time with the same bits.
#pragma once

#include <cstdint>

#include "color_plane_kernels.h"

namespace zeb::mcu {

using color::Lanes;
using color::Px;
using Block16s = std::int16_t;

template <int HS, int VS>
struct Geometry {
    static constexpr int kWidth = 8 * HS, kHeight = 8 * VS;
    static constexpr int kLogN = (HS == 2) + (VS == 2);  // log2 of the pixels per chroma sample
    static int lumaOffset(int y, int xb) { return ((y / 8) * HS + xb) * 64 + (y % 8) * 8; }
};

// ---- encoder conversions ---------------------------------------------------------------------
// luma: one pixel to a level-shifted Y; chroma: channel sums over the 2^LogN
// pixels of a chroma sample to level-shifted Cb, Cr.

// R, G, B in Q14 (Q15, Q16 for the sums of 2 and 4 pixels).
struct EncodeRgb {
    static int luma(const Px& p) { return (4899 * p.v[0] + 9617 * p.v[1] + 1868 * p.v[2] - 2088960) >> 14; }
    static __m128i luma8(const Lanes& l) { return color::dot3<14>(l.v[0], l.v[1], l.v[2], 4899, 9617, 1868, -2088960); }
    template <int LogN>
    static void chroma(const int s[3], int& cb, int& cr) {
        constexpr int shift = 14 + LogN, half = 1 << (shift - 1);
        cb = (-2764 * s[0] - 5428 * s[1] + 8192 * s[2] + half) >> shift;
        cr = (8192 * s[0] - 6860 * s[1] - 1332 * s[2] + half) >> shift;
    }
    template <int LogN>
    static void chroma8(const __m128i s[3], __m128i& cb, __m128i& cr) {
        constexpr int shift = 14 + LogN, half = 1 << (shift - 1);
        cb = color::dot3<shift>(s[0], s[1], s[2], -2764, -5428, 8192, half);
        cr = color::dot3<shift>(s[0], s[1], s[2], 8192, -6860, -1332, half);
    }
};

// Y, Cb, Cr passed through: Y - 128, chroma averaged (rounded down) - 128.
struct EncodeLevelShift {
    static int luma(const Px& p) { return p.v[0] - 128; }
    static __m128i luma8(const Lanes& l) { return _mm_sub_epi16(l.v[0], _mm_set1_epi16(128)); }
    template <int LogN>
    static void chroma(const int s[3], int& cb, int& cr) {
        cb = (s[1] - (128 << LogN)) >> LogN;
        cr = (s[2] - (128 << LogN)) >> LogN;
    }
    template <int LogN>
    static void chroma8(const __m128i s[3], __m128i& cb, __m128i& cr) {
        const __m128i bias = _mm_set1_epi16(128 << LogN);
        cb = _mm_srai_epi16(_mm_sub_epi16(s[1], bias), LogN);
        cr = _mm_srai_epi16(_mm_sub_epi16(s[2], bias), LogN);
    }
};

// pDst blocks: Y, Cb, Cr (, K).  HasK also stores K - 128 in the luminance layout.
template <Path P, class In, class Conv, int HS, int VS, bool HasK>
void encodeMcu(const void* src, int srcStep, Block16s* const* blocks) {
    using G = Geometry<HS, VS>;
    constexpr int LogN = G::kLogN;
    __m128i acc[3] = {};
    int sums[3][8] = {};
    for (int y = 0; y < G::kHeight; ++y) {
        color::SrcRow s{};
        s.p[0] = rowAt(static_cast<const std::uint8_t*>(src), srcStep, y);
        if constexpr (P == Path::Vector) {
            Lanes px[HS];
            if constexpr (HS == 2 && requires { In::load16(s, 0, px[0], px[1]); })
                In::load16(s, 0, px[0], px[1]);
            else
                for (int xb = 0; xb < HS; ++xb) px[xb] = In::load8(s, 8 * xb);
            for (int xb = 0; xb < HS; ++xb) {
                storeu(blocks[0] + G::lumaOffset(y, xb), Conv::luma8(px[xb]));
                if constexpr (HasK)
                    storeu(blocks[3] + G::lumaOffset(y, xb), _mm_sub_epi16(px[xb].v[3], _mm_set1_epi16(128)));
            }
            for (int c = 0; c < 3; ++c) {
                __m128i rowSum = px[0].v[c];
                if constexpr (HS == 2) {  // sums of horizontal pairs, 16 pixels to 8
                    const __m128i ones = _mm_set1_epi16(1);
                    rowSum = _mm_packs_epi32(_mm_madd_epi16(px[0].v[c], ones), _mm_madd_epi16(px[1].v[c], ones));
                }
                acc[c] = (y % VS == 0) ? rowSum : _mm_add_epi16(acc[c], rowSum);
            }
            if (y % VS == VS - 1) {
                __m128i cb, cr;
                Conv::template chroma8<LogN>(acc, cb, cr);
                storeu(blocks[1] + (y / VS) * 8, cb);
                storeu(blocks[2] + (y / VS) * 8, cr);
            }
        } else {
            if (y % VS == 0)
                for (auto& row : sums)
                    for (int& v : row) v = 0;
            for (int x = 0; x < G::kWidth; ++x) {
                const Px p = In::get(s, x);
                const int off = G::lumaOffset(y, x / 8) + x % 8;
                blocks[0][off] = static_cast<Block16s>(Conv::luma(p));
                if constexpr (HasK) blocks[3][off] = static_cast<Block16s>(p.v[3] - 128);
                for (int c = 0; c < 3; ++c) sums[c][x / HS] += p.v[c];
            }
            if (y % VS == VS - 1)
                for (int i = 0; i < 8; ++i) {
                    const int s3[3] = {sums[0][i], sums[1][i], sums[2][i]};
                    int cb, cr;
                    Conv::template chroma<LogN>(s3, cb, cr);
                    blocks[1][(y / VS) * 8 + i] = static_cast<Block16s>(cb);
                    blocks[2][(y / VS) * 8 + i] = static_cast<Block16s>(cr);
                }
        }
    }
}

// ---- decoder conversions -------------------------------------------------------------------------
// Level-shifted Y, Cb, Cr (, K) to channel values 0..255.

// Q13 / Q14 with 16-bit saturation of each product term and of each sum.
struct DecodeRgb {
    static int term13(int w, int c) { return color::sat16((w * c + 1052672) >> 13); }
    static Px pixel(const Px& in) {
        const int y = in.v[0], cb = in.v[1], cr = in.v[2];
        const int g = color::sat16((5638 * cb + 11700 * cr - 2088960) >> 14);
        return {{color::clamp255(y + term13(11485, cr)), color::clamp255(y - g), color::clamp255(y + term13(14516, cb)),
                 color::clamp255(in.v[3] + 128)}};
    }
    static Lanes pixels8(const Lanes& in) {
        const __m128i y = in.v[0], cb = in.v[1], cr = in.v[2];
        const __m128i r = _mm_adds_epi16(y, color::dot2<13>(cb, cr, 0, 11485, 1052672));
        const __m128i g = _mm_subs_epi16(y, color::dot2<14>(cb, cr, 5638, 11700, -2088960));
        const __m128i b = _mm_adds_epi16(y, color::dot2<13>(cb, cr, 14516, 0, 1052672));
        return {{color::clampLanes255(r), color::clampLanes255(g), color::clampLanes255(b),
                 color::clampLanes255(_mm_adds_epi16(in.v[3], _mm_set1_epi16(128)))}};
    }
};

// No colour conversion: every channel + 128, limited to 0..255.
struct DecodeLevelShift {
    static Px pixel(const Px& in) {
        Px p{};
        for (int c = 0; c < 4; ++c) p.v[c] = color::clamp255(in.v[c] + 128);
        return p;
    }
    static Lanes pixels8(const Lanes& in) {
        Lanes l{};
        for (int c = 0; c < 4; ++c) l.v[c] = color::clampLanes255(_mm_adds_epi16(in.v[c], _mm_set1_epi16(128)));
        return l;
    }
};

// Packed 4:2:2 output: Y of every pixel, Cb after even pixels, Cr after odd ones.
struct WritePacked422 {
    static void put(const color::DstRow& d, int x, const Px& p) {
        std::uint8_t* row = static_cast<std::uint8_t*>(d.p[0]);
        row[2 * x] = static_cast<std::uint8_t>(p.v[0]);
        row[2 * x + 1] = static_cast<std::uint8_t>((x & 1) ? p.v[2] : p.v[1]);
    }
    static void store8(const color::DstRow& d, int x, const Lanes& l) {  // x even
        const __m128i evenLanes = _mm_set1_epi32(0xFFFF);
        const __m128i c = _mm_or_si128(_mm_and_si128(l.v[1], evenLanes), _mm_andnot_si128(evenLanes, l.v[2]));
        storeu(static_cast<std::uint8_t*>(d.p[0]) + 2 * x,
               _mm_unpacklo_epi8(_mm_packus_epi16(l.v[0], l.v[0]), _mm_packus_epi16(c, c)));
    }
};

// pSrc blocks: Y, Cb, Cr (, K); chroma is replicated over its 2^LogN pixels.
template <Path P, class Conv, class Out, int HS, int VS, bool HasK>
void decodeMcu(const Block16s* const* blocks, void* dst, int dstStep) {
    using G = Geometry<HS, VS>;
    for (int y = 0; y < G::kHeight; ++y) {
        color::DstRow d{};
        d.p[0] = rowAt(static_cast<std::uint8_t*>(dst), dstStep, y);
        const Block16s* cb = blocks[1] + (y / VS) * 8;
        const Block16s* cr = blocks[2] + (y / VS) * 8;
        for (int xb = 0; xb < HS; ++xb) {
            const Block16s* yRow = blocks[0] + G::lumaOffset(y, xb);
            const Block16s* kRow = HasK ? blocks[3] + G::lumaOffset(y, xb) : nullptr;
            if constexpr (P == Path::Vector) {
                Lanes in{};
                in.v[0] = loadu(yRow);
                in.v[1] = loadu(cb);
                in.v[2] = loadu(cr);
                if constexpr (HS == 2)
                    for (int c = 1; c < 3; ++c)
                        in.v[c] = xb == 0 ? _mm_unpacklo_epi16(in.v[c], in.v[c]) : _mm_unpackhi_epi16(in.v[c], in.v[c]);
                in.v[3] = HasK ? loadu(kRow) : _mm_setzero_si128();
                Out::store8(d, 8 * xb, Conv::pixels8(in));
            } else {
                for (int i = 0; i < 8; ++i) {
                    const int x = 8 * xb + i;
                    const Px in{{yRow[i], cb[x / HS], cr[x / HS], HasK ? kRow[i] : 0}};
                    Out::put(d, x, Conv::pixel(in));
                }
            }
        }
    }
}

}  // namespace zeb::mcu
