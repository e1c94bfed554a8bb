// Tier-1 coefficient state words and the context look-up tables shared by the
// code-block encoder and decoders.
//
// One 32-bit state word covers a vertical pair of coefficients (rows 2k and
// 2k+1) in one column: the upper coefficient U in bits 0-15, the lower L in
// bits 16-31.  Bits of a half-word:
//    0 down-right   1 down-left   2 up-right   3 up-left      (significant)
//    4 below        5 above       6 right      7 left         (significant)
//    8 refined at least once
//    9 below neg   10 above neg  11 right neg 12 left neg
//   13 some neighbour significant (any of 0-7)
//   14 visited in the current bit-plane
//   15 significant
// A state row holds width + 2 words (border words left and right) and there
// is a border row above and below, so updates never need bounds tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "jpeg2000/tier1/mq_tables.h"

namespace zeb::t1 {

// Coding-style flag bits understood by both directions.
inline constexpr int kCbCausal = 0x1;
inline constexpr int kCbBypass = 0x2;
inline constexpr int kCbTermAll = 0x4;
inline constexpr int kCbResetCtx = 0x8;
inline constexpr int kCbSegMark = 0x10;

// Sub-band orientation codes.
inline constexpr int kBandLL = 0;
inline constexpr int kBandLH = 1;  // low horizontally, high vertically
inline constexpr int kBandHL = 2;
inline constexpr int kBandHH = 3;

// Half-word bits (add 16 for the lower coefficient).
inline constexpr std::uint32_t kStRefined = 0x100;
inline constexpr std::uint32_t kStAnyNeighbour = 0x2000;
inline constexpr std::uint32_t kStVisited = 0x4000;
inline constexpr std::uint32_t kStSignificant = 0x8000;
inline constexpr std::uint32_t kClearVisited = 0xBFFFBFFFu;  // AND mask for both halves

// Pair tests on a whole word (see the bit list above); the propagation test
// also on two words held in one 64-bit register (rows 0-1 low, 2-3 high).
//   significant and not visited (refinement candidates)
inline constexpr std::uint32_t refineCandidates(std::uint32_t w) { return (w >> 1) & ~w & 0x40004000u; }
//   not significant with a significant neighbour (propagation candidates)
template <class Word>
inline constexpr Word propagationCandidates(Word w) {
    return (w << 2) & ~w & static_cast<Word>(0x8000800080008000ull);
}

// ---- significance-state buffer geometry --------------------------------------------

// Bytes between state rows: 4 * width + 8 rounded up to a multiple of 32.
inline constexpr std::uint32_t stateStrideBytes(int width) {
    return (4u * static_cast<std::uint32_t>(width) + 8u + 31u) & ~31u;
}
// State rows: one per pair of coefficient rows plus a border row above and below.
inline constexpr std::uint32_t stateRows(int height) { return static_cast<std::uint32_t>((height + 1) / 2 + 2); }
inline constexpr std::uint32_t stateBufferBytes(int width, int height) {
    return stateStrideBytes(width) * stateRows(height);
}
// Word of pair 0, column 0: one row and one border word in.
inline constexpr std::uint32_t stateOriginBytes(int width) { return stateStrideBytes(width) + 4u; }

static_assert(stateStrideBytes(64) == 288 && stateRows(64) == 34);
static_assert(stateStrideBytes(1) == 32 && stateRows(1) == 3);

// ---- becoming significant ------------------------------------------------------------

// OR masks applied when U or L of word W (pair row r, column x) becomes
// significant; index 0 for a positive, 1 for a negative coefficient.
struct SigMasks {
    std::uint32_t self[2];
    std::uint32_t right[2];  // W at x + 1
    std::uint32_t left[2];   // W at x - 1
    std::uint32_t vert[2];   // U: W at r - 1, x        L: W at r + 1, x
    std::uint32_t vertLeft;  // U: W at r - 1, x - 1    L: W at r + 1, x - 1
    std::uint32_t vertRight; // U: W at r - 1, x + 1    L: W at r + 1, x + 1
};
inline constexpr SigMasks kSigMaskU = {
    {0x2020C000u, 0x2420C000u}, {0x20082080u, 0x20083080u}, {0x20042040u, 0x20042840u},
    {0x20100000u, 0x22100000u}, 0x20010000u, 0x20020000u};
inline constexpr SigMasks kSigMaskL = {
    {0xC0002010u, 0xC0002210u}, {0x20802002u, 0x30802002u}, {0x20402001u, 0x28402001u},
    {0x00002020u, 0x00002420u}, 0x00002004u, 0x00002008u};
// L found by the run-length branch of the cleanup: significant, not visited.
inline constexpr std::uint32_t kSigMaskLRun[2] = {0x80002010u, 0x80002210u};

// Marks U of *w significant.  strideWords is the state stride in words.
// skipAbove: vertically causal mode and U is the first row of its stripe, so
// the stripe above must not learn about it.
inline void markSignificantU(std::uint32_t* w, std::ptrdiff_t strideWords, std::uint32_t sign, bool skipAbove) {
    w[0] |= kSigMaskU.self[sign];
    w[1] |= kSigMaskU.right[sign];
    w[-1] |= kSigMaskU.left[sign];
    if (!skipAbove) {
        w[-strideWords] |= kSigMaskU.vert[sign];
        w[-strideWords - 1] |= kSigMaskU.vertLeft;
        w[-strideWords + 1] |= kSigMaskU.vertRight;
    }
}

// Marks L of *w significant; inRun selects the run-length variant (no visited bit).
inline void markSignificantL(std::uint32_t* w, std::ptrdiff_t strideWords, std::uint32_t sign, bool inRun) {
    w[0] |= inRun ? kSigMaskLRun[sign] : kSigMaskL.self[sign];
    w[1] |= kSigMaskL.right[sign];
    w[-1] |= kSigMaskL.left[sign];
    w[strideWords] |= kSigMaskL.vert[sign];
    w[strideWords - 1] |= kSigMaskL.vertLeft;
    w[strideWords + 1] |= kSigMaskL.vertRight;
}

// ---- context tables -------------------------------------------------------------------

namespace detail {

constexpr int bitAt(unsigned v, int b) { return static_cast<int>((v >> b) & 1u); }

// T.800 Table D.1 label for LL/LH bands: h horizontal, v vertical, d diagonal counts.
constexpr std::uint32_t zeroLabelLowHigh(int h, int v, int d) {
    if (h == 2) return 8;
    if (h == 1) return v >= 1 ? 7 : (d >= 1 ? 6 : 5);
    if (v == 2) return 4;
    if (v == 1) return 3;
    return d >= 2 ? 2 : static_cast<std::uint32_t>(d);
}

constexpr std::uint32_t zeroLabelHH(int hv, int d) {
    if (d >= 3) return 8;
    if (d == 2) return hv >= 1 ? 7 : 6;
    if (d == 1) return hv >= 2 ? 5 : (hv == 1 ? 4 : 3);
    return hv >= 2 ? 2 : static_cast<std::uint32_t>(hv);
}

template <int Band>
constexpr std::array<std::uint32_t, 256> makeZeroCoding() {
    std::array<std::uint32_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        const int d = bitAt(i, 0) + bitAt(i, 1) + bitAt(i, 2) + bitAt(i, 3);
        const int v = bitAt(i, 4) + bitAt(i, 5);
        const int h = bitAt(i, 6) + bitAt(i, 7);
        std::uint32_t label;
        if (Band == kBandHL)
            label = zeroLabelLowHigh(v, h, d);
        else if (Band == kBandHH)
            label = zeroLabelHH(h + v, d);
        else
            label = zeroLabelLowHigh(h, v, d);
        t[i] = label + 2;
    }
    return t;
}

// Index bits: 0 below, 1 above, 2 right, 3 left significant; 4 refined;
// 5 below, 6 above, 7 right, 8 left negative.
constexpr std::array<std::uint32_t, 512> makeSignCoding() {
    std::array<std::uint32_t, 512> t{};
    for (unsigned i = 0; i < 512; ++i) {
        if (i == 511) break;  // never used; stays 0
        auto contrib = [](int sig, int neg) { return sig ? (neg ? -1 : 1) : 0; };
        auto clamp1 = [](int x) { return x > 1 ? 1 : (x < -1 ? -1 : x); };
        const int hs = clamp1(contrib(bitAt(i, 2), bitAt(i, 7)) + contrib(bitAt(i, 3), bitAt(i, 8)));
        const int vs = clamp1(contrib(bitAt(i, 0), bitAt(i, 5)) + contrib(bitAt(i, 1), bitAt(i, 6)));
        // T.800 Table D.3, labels 9..13 as contexts 11..15.
        std::uint32_t ctx, flip = 0;
        if (hs == 0) {
            ctx = vs == 0 ? 11 : 12;
            flip = vs < 0 ? 1 : 0;
        } else {
            ctx = static_cast<std::uint32_t>(14 + hs * vs);  // same sense 15, opposite 13, V = 0: 14
            flip = hs < 0 ? 1 : 0;
        }
        t[i] = ctx | (flip << 31);
    }
    return t;
}

constexpr std::array<std::uint32_t, 512> makeMagnRefine() {
    std::array<std::uint32_t, 512> t{};
    for (unsigned i = 0; i < 512; ++i) t[i] = (i & 0x100u) ? 18u : ((i & 0xFFu) ? 17u : 16u);
    return t;
}

}  // namespace detail

// Zero-coding context (2..10) by half-word bits 0-7.
inline constexpr std::array<std::uint32_t, 256> ZeroCodingLUT_LxHy = detail::makeZeroCoding<kBandLL>();
inline constexpr std::array<std::uint32_t, 256> ZeroCodingLUT_HxLy = detail::makeZeroCoding<kBandHL>();
inline constexpr std::array<std::uint32_t, 256> ZeroCodingLUT_HxHy = detail::makeZeroCoding<kBandHH>();
// Sign context (11..15) in the low bits and the XOR bit in bit 31, by half-word bits 4-12.
inline constexpr std::array<std::uint32_t, 512> SignCodingLUT = detail::makeSignCoding();
// Refinement context (16..18) by half-word bits 0-8.
inline constexpr std::array<std::uint32_t, 512> MagnRefineLUT = detail::makeMagnRefine();

// The zero-coding table of a sub-band: HL and HH have their own, anything else LL/LH.
inline constexpr const std::uint32_t* zeroCodingTable(int subband) {
    return subband == kBandHL ? ZeroCodingLUT_HxLy.data()
         : subband == kBandHH ? ZeroCodingLUT_HxHy.data()
                              : ZeroCodingLUT_LxHy.data();
}

// Context look-ups from a half-word (the lower coefficient's half shifted down).
inline std::uint32_t signEntry(std::uint32_t half) { return SignCodingLUT[(half >> 4) & 0x1FFu]; }
inline std::uint32_t refineContext(std::uint32_t half) { return MagnRefineLUT[half & 0x1FFu]; }

// Spot checks against T.800 Tables D.1 and D.3.
static_assert(ZeroCodingLUT_LxHy[0] == 2 && ZeroCodingLUT_LxHy[0xC0] == 10 && ZeroCodingLUT_LxHy[0x30] == 6);
static_assert(ZeroCodingLUT_HxLy[0x30] == 10 && ZeroCodingLUT_HxLy[0xC0] == 6);
static_assert(ZeroCodingLUT_HxHy[0x0F] == 10 && ZeroCodingLUT_HxHy[0x01] == 5 && ZeroCodingLUT_HxHy[0x10] == 3);
static_assert(SignCodingLUT[0] == 11 && SignCodingLUT[0x0C] == 14 && SignCodingLUT[0x05] == 15);
static_assert(SignCodingLUT[0x0C | 0x180] == (14u | 0x80000000u) && SignCodingLUT[0x03 | 0x60] == (12u | 0x80000000u));
static_assert(SignCodingLUT[511] == 0 && SignCodingLUT[0x10] == SignCodingLUT[0]);
static_assert(MagnRefineLUT[0] == 16 && MagnRefineLUT[0x80] == 17 && MagnRefineLUT[0x100] == 18);

}  // namespace zeb::t1
