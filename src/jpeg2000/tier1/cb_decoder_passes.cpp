// Tier-1 decoding passes (ISO/IEC 15444-1 Annex D, decoder side):
// significance propagation, magnitude refinement and cleanup in their MQ
// forms, and the first two in the raw form of the bypass mode.
//
// Scan order: stripes of four rows from the top, columns left to right,
// rows top to bottom inside a column.  A stripe column is two state words
// (rows 0-1 and 2-3); a whole word is tested with one mask before either of
// its coefficients is looked at.
#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>

#include "core/simd.h"
#include "jpeg2000/tier1/cb_progressive_state.h"
#include "jpeg2000/tier1/t1_contexts.h"

namespace zeb::t1 {
namespace {


// The four values of bit-plane p: a new significant coefficient is written
// as sign | newSig (bit p plus the half step below it), a refinement bit b
// rewrites v as (v & keepMask) | b << p | half.  Planes above 30 carry no
// meaning for sign-magnitude words; they are computed without overflow only.
struct PlaneValues {
    std::uint32_t one, newSig, half, keepMask;
};

PlaneValues planeValues(int plane) {
    const int p = std::clamp(plane, 0, 40);
    const std::uint64_t one = 1ull << p;
    return {static_cast<std::uint32_t>(one), static_cast<std::uint32_t>((3ull << p) >> 1),
            static_cast<std::uint32_t>(one >> 1), static_cast<std::uint32_t>(~0ull << (p + 1))};
}

// Everything a pass needs about the attached block, in local form.
struct Block {
    std::uint32_t* origin;  // state word of pair 0, column 0
    std::ptrdiff_t strideWords;
    Zeb32s* dst;
    int step, width, height;
    const std::uint32_t* zeroCoding;

    explicit Block(ZebCBProgrState& s)
        : origin(byteOffset(reinterpret_cast<std::uint32_t*>(&s), static_cast<std::ptrdiff_t>(s.stateOffset) +
                                                                      s.stateStride + 4)),
          strideWords(s.stateStride / 4),
          dst(s.dst),
          step(s.step),
          width(s.width),
          height(s.height),
          zeroCoding(zeroCodingTable(s.subband)) {}

    std::uint32_t* stripeWords(int y0) const { return origin + (y0 / 2) * strideWords; }
    Zeb32s* coefficient(int y, int x) const { return rowAt(dst, step, y) + x; }
};

// The stripe column being coded: its two state words and its four
// coefficient rows.
struct Column {
    std::uint32_t* w[2];
    Zeb32s* row[4];
    int x;
};

// Points the column cursor at column 0 of the stripe starting at row y0;
// returns the stripe's rows (rows past the block's end repeat its last row).
inline int startStripe(const Block& b, int y0, Column& c) {
    const int rows = std::min(4, b.height - y0);
    c.w[0] = b.stripeWords(y0);
    c.w[1] = c.w[0] + b.strideWords;
    for (int k = 0; k < 4; ++k) c.row[k] = b.coefficient(y0 + std::min(k, rows - 1), 0);
    return rows;
}

// Walks the stripes and columns of the block, fn(column, rows), with four
// adjacent columns of full stripes first tested together: idle(w0, w1,
// column) gets their state words (rows 0-1 and 2-3) in two vectors and
// returns true when none of them has anything to code (it may then update
// the words itself, as the cleanup does).  Skipping such a
// group changes nothing: a column only affects later columns through the
// coefficients it codes.  The columns of full stripes get their row count
// as a compile-time 4, so fn must take it as auto.
template <class Idle, class Fn>
inline void forEachColumnGrouped(const Block& b, Idle&& idle, Fn&& fn) {
    Column c;
    for (int y0 = 0; y0 < b.height; y0 += 4) {
        const int rows = startStripe(b, y0, c);
        c.x = 0;
        if (rows == 4) {
            for (; c.x + 4 <= b.width; c.x += 4, c.w[0] += 4, c.w[1] += 4) {
                if (idle(loadu(c.w[0]), loadu(c.w[1]), c)) continue;
                for (int i = 0; i < 4; ++i, ++c.x, ++c.w[0], ++c.w[1]) fn(c, std::integral_constant<int, 4>{});
                c.x -= 4, c.w[0] -= 4, c.w[1] -= 4;
            }
        }
        for (; c.x < b.width; ++c.x, ++c.w[0], ++c.w[1]) fn(c, rows);
    }
}

inline std::uint32_t endOfMqPass(ZebCBProgrState& s, std::uint32_t err, bool resetCtx, bool checkPredTerm) {
    if (checkPredTerm) err |= mqDecoderCheckErrPredTerm(s.mq);
    if (resetCtx) mqDecoderResetCtx(s.mq);
    return err;
}

// The propagation pass keeps the column's two state words in one 64-bit
// register W (rows 0-1 in the low, rows 2-3 in the high half), so row k's
// half-word starts at bit 16k and its significant bit is bit 16k + 15
// (where propagationCandidates marks a candidate).

// What row k becoming significant (with sign s) ORs into the state: `self`
// into W, including the vertical neighbour when it is in the same column of
// the stripe; `left` / `right` into the words of the same pair at x - 1 /
// x + 1; `vert` (upper neighbour of row 0, lower of row 3; zero for rows 1
// and 2, whose vertical neighbour is in W) and its diagonals into the pair
// row kDiagRow[k] pairs below w0 at x, x - 1 and x + 1.
struct RowSigMasks {
    std::uint64_t self[2];
    std::uint32_t left[2], right[2], vert[2], vertLeft, vertRight;
};
inline constexpr std::ptrdiff_t kDiagRow[4] = {-1, 1, 0, 2};

// Vertically causal: the first row of a stripe does not tell the stripe above.
constexpr std::array<RowSigMasks, 4> makeRowSigMasks(bool causal) {
    std::array<RowSigMasks, 4> t{};
    for (int k = 0; k < 4; ++k) {
        const SigMasks& m = (k & 1) ? kSigMaskL : kSigMaskU;
        const bool above = k == 0 && causal;
        for (int s = 0; s < 2; ++s) {
            std::uint64_t self = static_cast<std::uint64_t>(m.self[s]) << (k >= 2 ? 32 : 0);
            if (k == 1) self |= static_cast<std::uint64_t>(m.vert[s]) << 32;
            if (k == 2) self |= m.vert[s];
            t[k].self[s] = self;
            t[k].left[s] = m.left[s];
            t[k].right[s] = m.right[s];
            t[k].vert[s] = (k == 0 || k == 3) && !above ? m.vert[s] : 0u;
        }
        t[k].vertLeft = above ? 0u : m.vertLeft;
        t[k].vertRight = above ? 0u : m.vertRight;
    }
    return t;
}
inline constexpr std::array<RowSigMasks, 4> kRowSigMasks[2] = {makeRowSigMasks(false), makeRowSigMasks(true)};
static_assert(kRowSigMasks[0][1].self[1] == (0xC0002210u | (0x00002420ull << 32)));
static_assert(kRowSigMasks[1][0].vertLeft == 0 && kRowSigMasks[1][3].vertLeft == kSigMaskL.vertLeft);

// Row k of the column (at = 16k) becomes significant with sign s: the
// coefficient is written, W and the neighbouring words learn it.
struct SigUpdate {
    const RowSigMasks* masks;
    std::ptrdiff_t pairAt[4], diagAt[4];  // word offsets from w0 of row k's pair and its diagonal pair row
    std::uint32_t newSig;

    SigUpdate(const ZebCBProgrState& s, bool causal)
        : SigUpdate(kRowSigMasks[causal ? 1 : 0].data(), static_cast<std::ptrdiff_t>(s.stateStride / 4),
                    planeValues(s.plane).newSig) {}
    SigUpdate(const RowSigMasks* m, std::ptrdiff_t stride, std::uint32_t sig)
        : masks(m),
          pairAt{0, 0, stride, stride},
          diagAt{kDiagRow[0] * stride, kDiagRow[1] * stride, kDiagRow[2] * stride, kDiagRow[3] * stride},
          newSig(sig) {}

    void operator()(const Column& c, std::uint64_t& w, int at, std::uint32_t sign) const {
        const int k = at >> 4;
        c.row[k][c.x] = static_cast<Zeb32s>((sign << 31) | newSig);
        const RowSigMasks& r = masks[k];
        w |= r.self[sign];
        std::uint32_t* const pair = c.w[0] + pairAt[k];
        pair[-1] |= r.left[sign];
        pair[1] |= r.right[sign];
        std::uint32_t* const diag = c.w[0] + diagAt[k];
        diag[-1] |= r.vertLeft;
        diag[0] |= r.vert[sign];
        diag[1] |= r.vertRight;
    }
};

// Rows past the block's end are never coded.
inline std::uint64_t rowsInBlock(int rows) { return ~0ull >> (64 - 16 * rows); }

// A column's candidate rows are walked in row order by their bits in W.
// Only a new significant coefficient changes the candidates further down
// the column (the row below gains a neighbour), so only then are they
// derived again.  The visited bit is set before the decision: a
// coefficient that becomes significant sets it too.  W goes back to the
// state words when the column is left; nothing else writes them meanwhile.
template <class DecodeBit, class DecodeSign>
void significancePropagationSweep(ZebCBProgrState& s, bool causal, DecodeBit decodeBit, DecodeSign decodeSign) {
    const SigUpdate significant(s, causal);
    // Four columns none of whose coefficients is insignificant with a
    // significant neighbour code nothing.
    auto idle = [](__m128i w0, __m128i w1, const Column&) {
        const __m128i c0 = _mm_andnot_si128(w0, _mm_slli_epi32(w0, 2));
        const __m128i c1 = _mm_andnot_si128(w1, _mm_slli_epi32(w1, 2));
        const __m128i any = _mm_and_si128(_mm_or_si128(c0, c1), _mm_set1_epi32(static_cast<int>(0x80008000u)));
        return _mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) == 0xFFFF;
    };
    forEachColumnGrouped(Block(s), idle, [&](const Column& c, auto rows) {
        const std::uint64_t inBlock = rowsInBlock(rows);
        std::uint64_t w = *c.w[0] | (static_cast<std::uint64_t>(*c.w[1]) << 32);
        std::uint64_t m = propagationCandidates(w) & inBlock;
        if (m == 0) return;
        do {
            const int at = std::countr_zero(m) - 15;  // first bit of the row's half-word
            const std::uint32_t hw = static_cast<std::uint32_t>(w >> at);
            w |= static_cast<std::uint64_t>(kStVisited) << at;
            m &= m - 1;
            if (!decodeBit(hw)) continue;
            significant(c, w, at, decodeSign(hw));
            m = propagationCandidates(w) & inBlock & (~0ull << at);
        } while (m != 0);
        *c.w[0] = static_cast<std::uint32_t>(w);
        *c.w[1] = static_cast<std::uint32_t>(w >> 32);
    });
}

// Refinement changes no significance, so the candidates of a column are
// known before its first bit: the refined bits of both words are set at
// once, and the contexts come from the words as they were.
template <int K, class DecodeBit>
inline void refineRow(const Column& c, const PlaneValues& pv, std::uint32_t w, std::uint32_t candidates,
                      DecodeBit& decodeBit) {
    constexpr int shift = (K & 1) ? 16 : 0;
    if (!((candidates >> shift) & 0x4000u)) return;
    const std::uint32_t bit = decodeBit(w >> shift);
    Zeb32s& v = c.row[K][c.x];
    v = static_cast<Zeb32s>((static_cast<std::uint32_t>(v) & pv.keepMask) | (bit ? pv.one : 0u) | pv.half);
}

template <class DecodeBit>
void magnitudeRefinementSweep(ZebCBProgrState& s, DecodeBit decodeBit) {
    const PlaneValues pv = planeValues(s.plane);
    auto idle = [](__m128i w0, __m128i w1, const Column&) {
        const __m128i c0 = _mm_andnot_si128(w0, _mm_srli_epi32(w0, 1));
        const __m128i c1 = _mm_andnot_si128(w1, _mm_srli_epi32(w1, 1));
        const __m128i any = _mm_and_si128(_mm_or_si128(c0, c1), _mm_set1_epi32(0x40004000));
        return _mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) == 0xFFFF;
    };
    forEachColumnGrouped(Block(s), idle, [&](const Column& c, auto rows) {
        const std::uint32_t w0 = *c.w[0];
        const std::uint32_t w1 = *c.w[1];
        std::uint32_t c0 = refineCandidates(w0);
        std::uint32_t c1 = refineCandidates(w1);
        if (rows < 4) {
            // Rows past the block's end: never coded, whatever a kept state holds.
            c0 &= rows > 1 ? 0x40004000u : 0x4000u;
            c1 &= rows > 2 ? 0x4000u : 0u;
        }
        if ((c0 | c1) == 0) return;
        static_assert(kStRefined == 0x4000u >> 6);
        *c.w[0] = w0 | (c0 >> 6);
        refineRow<0>(c, pv, w0, c0, decodeBit);
        refineRow<1>(c, pv, w0, c0, decodeBit);
        if (c1 == 0) return;
        *c.w[1] = w1 | (c1 >> 6);
        refineRow<2>(c, pv, w1, c1, decodeBit);
        refineRow<3>(c, pv, w1, c1, decodeBit);
    });
}

}  // namespace

// Each pass is one function with everything inlined (flatten), so the MQ
// registers stay in CPU registers for the whole pass.
[[gnu::flatten]]
std::uint32_t decodeSignificancePropagation(ZebCBProgrState& s, bool causal, bool resetCtx, bool checkPredTerm) {
    MqRegisters mq = mqRegisters(s.mq);
    const std::uint32_t* zc = zeroCodingTable(s.subband);
    significancePropagationSweep(
        s, causal, [&](std::uint32_t hw) { return mqDecoderDecode(mq, zc[hw & 0xFFu]); },
        [&](std::uint32_t hw) { return mqDecoderDecodeSign(mq, signEntry(hw)); });
    mqWriteBack(s.mq, mq);
    return endOfMqPass(s, 0, resetCtx, checkPredTerm);
}

[[gnu::flatten]]
std::uint32_t decodeMagnitudeRefinement(ZebCBProgrState& s, bool resetCtx, bool checkPredTerm) {
    MqRegisters mq = mqRegisters(s.mq);
    magnitudeRefinementSweep(s, [&](std::uint32_t hw) { return mqDecoderDecode(mq, refineContext(hw)); });
    mqWriteBack(s.mq, mq);
    return endOfMqPass(s, 0, resetCtx, checkPredTerm);
}

[[gnu::flatten]]
std::uint32_t decodeCleanup(ZebCBProgrState& s, bool causal, bool segMark, bool resetCtx, bool checkPredTerm) {
    MqRegisters mq = mqRegisters(s.mq);
    const Block b(s);
    const SigUpdate significant(s, causal);
    // A full stripe whose eight coefficients are all significant or visited
    // codes nothing; only its visited bits are cleared.
    auto idle = [](__m128i w0, __m128i w1, const Column& c) {
        const __m128i m = _mm_set1_epi32(static_cast<int>(0x80008000u));
        const __m128i d0 = _mm_and_si128(_mm_or_si128(w0, _mm_slli_epi32(w0, 1)), m);
        const __m128i d1 = _mm_and_si128(_mm_or_si128(w1, _mm_slli_epi32(w1, 1)), m);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(d0, d1), m)) != 0xFFFF) return false;
        const __m128i clear = _mm_set1_epi32(static_cast<int>(kClearVisited));
        storeu(c.w[0], _mm_and_si128(w0, clear));
        storeu(c.w[1], _mm_and_si128(w1, clear));
        return true;
    };
    // The column's two words in one register W, as in the propagation pass.
    // The candidates (neither significant nor visited) are known at the
    // column's start: a new significant coefficient only changes the
    // contexts of the rows below, which are read from W when their turn comes.
    forEachColumnGrouped(b, idle, [&](const Column& c, auto rows) {
        std::uint64_t w = *c.w[0] | (static_cast<std::uint64_t>(*c.w[1]) << 32);
        std::uint64_t m = ~(w | (w << 1)) & 0x8000800080008000ull & rowsInBlock(rows);
        if (rows == 4 && w == 0) {
            // Run mode: one decision for four insignificant neighbourless rows.
            if (!mqDecoderDecodeSkewed(mq, kCtxRunLength)) return;
            int at = static_cast<int>(mqDecoderDecode(mq, kCtxUniform) << 5);
            at |= static_cast<int>(mqDecoderDecode(mq, kCtxUniform) << 4);
            significant(c, w, at, mqDecoderDecodeSign(mq, signEntry(0)));
            m &= (~0ull << at) << 16;  // the rows below it (two shifts: at + 16 may be 64)
        }
        for (; m != 0; m &= m - 1) {
            const int at = std::countr_zero(m) - 15;
            const std::uint32_t hw = static_cast<std::uint32_t>(w >> at);
            if (mqDecoderDecode(mq, b.zeroCoding[hw & 0xFFu]))
                significant(c, w, at, mqDecoderDecodeSign(mq, signEntry(hw)));
        }
        // Leaving the column: no visited bit survives a cleanup pass.
        w &= 0xBFFFBFFFBFFFBFFFull;
        *c.w[0] = static_cast<std::uint32_t>(w);
        *c.w[1] = static_cast<std::uint32_t>(w >> 32);
    });
    std::uint32_t err = 0;
    if (segMark) {
        std::uint32_t symbol = 0;
        for (int i = 0; i < 4; ++i) symbol = (symbol << 1) | mqDecoderDecode(mq, kCtxUniform);
        err = symbol != 0xAu;
    }
    mqWriteBack(s.mq, mq);
    return endOfMqPass(s, err, resetCtx, checkPredTerm);
}

[[gnu::flatten]]
std::uint32_t decodeSignificancePropagationRaw(ZebCBProgrState& s, bool causal, bool checkRawTerm) {
    RawDecoder& raw = s.raw;
    auto bit = [&](std::uint32_t) { return rawDecoderBit(raw); };
    significancePropagationSweep(s, causal, bit, bit);
    return checkRawTerm ? rawDecoderCheckTerm(raw) : 0;
}

[[gnu::flatten]]
std::uint32_t decodeMagnitudeRefinementRaw(ZebCBProgrState& s) {
    RawDecoder& raw = s.raw;
    magnitudeRefinementSweep(s, [&](std::uint32_t) { return rawDecoderBit(raw); });
    return rawDecoderCheckTerm(raw);
}

}  // namespace zeb::t1
