// Constant tables of the JPEG colour conversions (JFIF BT.601, full range,
// chroma offset 128), generated at compile time from their defining products.
//
// Decoder tables, indexed by an 8-bit chroma value c (x = c - 128):
//   crR[c] = (91881 * x + 32768) >> 16      1.40200 in Q16, rounded
//   cbB[c] = (116130 * x + 32768) >> 16     1.77200 in Q16, rounded
//   crG[c] = -46802 * x                     0.71414 in Q16, unshifted
//   cbG[c] = -22554 * x + 32768             0.34414 in Q16 plus the rounding half
// Encoder table: eight blocks of 256 products i * weight (Q16), see kCcWeights.
#pragma once

#include <array>
#include <cstdint>

namespace zeb::color {

using Table256 = std::array<std::int32_t, 256>;

template <class F>
constexpr Table256 makeTable(F f) {
    Table256 t{};
    for (int i = 0; i < 256; ++i) t[i] = f(i);
    return t;
}

inline constexpr Table256 kCrR = makeTable([](int c) { return (91881 * (c - 128) + 32768) >> 16; });
inline constexpr Table256 kCbB = makeTable([](int c) { return (116130 * (c - 128) + 32768) >> 16; });
inline constexpr Table256 kCrG = makeTable([](int c) { return -46802 * (c - 128); });
inline constexpr Table256 kCbG = makeTable([](int c) { return -22554 * (c - 128) + 32768; });

static_assert(kCrR[0] == -179 && kCrR[255] == 178, "Cr->R range is -179..178");
static_assert(kCbB[0] == -227 && kCbB[255] == 225, "Cb->B range is -227..225");

// Encoder blocks: Y = cc0[R] + cc1[G] + cc2[B], Cb = cc3[R] + cc4[G] + cc5[B],
// Cr = cc5[R] + cc6[G] + cc7[B], all >> 16.  Block 2 carries the rounding
// half of Y; block 5 (0.5) carries 128 in Q16 plus 32767 for both chroma sums.
struct CcBlock {
    std::int32_t weight;
    std::int32_t offset;
};
inline constexpr CcBlock kCcWeights[8] = {
    {19595, 0}, {38470, 0}, {7471, 32768}, {-11059, 0}, {-21709, 0}, {32768, 8421375}, {-27439, 0}, {-5329, 0},
};

inline constexpr std::array<std::int32_t, 8 * 256> kCcTable = [] {
    std::array<std::int32_t, 8 * 256> t{};
    for (int b = 0; b < 8; ++b)
        for (int i = 0; i < 256; ++i) t[b * 256 + i] = kCcWeights[b].weight * i + kCcWeights[b].offset;
    return t;
}();

static_assert(kCcTable[5 * 256 + 0] == (128 << 16) + 32767, "block 5 folds in 128 and 32767");
static_assert(kCcTable[0 * 256 + 255] + kCcTable[1 * 256 + 255] + kCcTable[2 * 256 + 255] == (255 << 16) + 32768,
              "the luminance weights sum to 1.0 in Q16");

inline const std::int32_t* ccBlock(int b) { return kCcTable.data() + b * 256; }

// ---- scalar definitions of the table forms --------------------------------------------
inline int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

struct Rgb {
    int r, g, b;
};

// Decoder table form: Y, Cb, Cr (0..255) to clamped R, G, B.
inline Rgb ycbcrToRgbTable(int y, int cb, int cr) {
    return {clamp255(y + kCrR[cr]), clamp255(y + ((kCbG[cb] + kCrG[cr]) >> 16)), clamp255(y + kCbB[cb])};
}

// Encoder table form: R, G, B (0..255) to Y, Cb, Cr (always 0..255).
inline Rgb rgbToYcbcrTable(int r, int g, int b) {
    return {(ccBlock(0)[r] + ccBlock(1)[g] + ccBlock(2)[b]) >> 16,
            (ccBlock(3)[r] + ccBlock(4)[g] + ccBlock(5)[b]) >> 16,
            (ccBlock(5)[r] + ccBlock(6)[g] + ccBlock(7)[b]) >> 16};
}

}  // namespace zeb::color
