// MQ arithmetic decoder and raw (bypass) bit reader of the Tier-1 decoder.
//
// The code register C is kept in complemented form: every byte enters as
// 0xFF - B and the end of a segment feeds zero bits, which decodes the same
// codestream as the textbook decoder.  A byte 0xFF followed by 0x90 or more
// (a marker, or the end of the segment, where every byte reads as 0xFF)
// stops the consumption of real bytes for good.  No byte outside
// [data, data + length) is ever read.
#pragma once

#include <array>
#include <cstdint>

#include "jpeg2000/tier1/mq_tables.h"

namespace zeb::t1 {

struct MqDecoder {
    const std::uint8_t* data;  // start of the current codeword segment
    std::int32_t length;       // bytes in the segment
    std::int32_t pos;          // index of the current byte B
    std::uint32_t A;           // interval register, at or above 0x8000 between decisions
    std::uint32_t C;           // complemented code register; C >> 16 is compared with A
    std::uint32_t CT;          // bits left in the low part of C
    std::uint32_t state[kMqContexts];
    std::uint32_t mps[kMqContexts];
    std::uint32_t markerSeen;  // a marker or the end of the segment has been met
};

struct RawDecoder {
    const std::uint8_t* data;
    std::int32_t length;
    std::int32_t pos;
    std::int32_t bitPos;     // next bit of lastByte to read; -1 when a new byte is needed
    std::uint32_t lastByte;  // the byte being read
};

// The byte chain: 0xFF at and beyond the end of the segment.
inline std::uint32_t segmentByte(const std::uint8_t* data, std::int32_t length, std::int32_t i) {
    return (i >= 0 && i < length) ? data[i] : 0xFFu;
}

inline void mqDecoderResetCtx(MqDecoder& d) {
    for (int i = 0; i < kMqContexts; ++i) {
        d.state[i] = mqInitialStates[i];
        d.mps[i] = mqInitialMps[i];
    }
}

// The decoding routines are templates over the register holder: the record
// itself, or MqRegisters, a local copy that the passes keep in registers for
// the length of a pass.  MqRegisters holds each context as one word,
// Qe << 16 | (2 * state + MPS), so a decision needs a single load before its
// interval compare; mqDecodeNext gives the words that follow an MPS and an
// LPS exchange.
struct MqRegisters {
    const std::uint8_t* data;
    std::int32_t length;
    std::int32_t pos;
    std::uint32_t A, C, CT, markerSeen;
    std::uint32_t ctx[kMqContexts];
};

inline constexpr std::array<std::uint32_t, 2 * 47> mqDecodeWord = [] {
    std::array<std::uint32_t, 2 * 47> t{};
    for (std::uint32_t k = 0; k < 2 * 47; ++k) t[k] = (std::uint32_t{mqTransitions[k].qe} << 16) | k;
    return t;
}();

struct MqDecodeNext {
    std::uint32_t onMps, onLps;
};
inline constexpr std::array<MqDecodeNext, 2 * 47> mqDecodeNext = [] {
    std::array<MqDecodeNext, 2 * 47> t{};
    for (std::uint32_t k = 0; k < 2 * 47; ++k)
        t[k] = {mqDecodeWord[mqTransitions[k].nextMps], mqDecodeWord[mqTransitions[k].nextLps]};
    return t;
}();

static_assert(mqDecodeWord[92] == 0x5601005Cu && mqDecodeNext[1].onLps == 0x34010002u);

inline MqRegisters mqRegisters(const MqDecoder& d) {
    MqRegisters r{d.data, d.length, d.pos, d.A, d.C, d.CT, d.markerSeen, {}};
    for (int i = 0; i < kMqContexts; ++i) r.ctx[i] = mqDecodeWord[2 * d.state[i] + d.mps[i]];
    return r;
}

inline void mqWriteBack(MqDecoder& d, const MqRegisters& r) {
    d.pos = r.pos;
    d.A = r.A;
    d.C = r.C;
    d.CT = r.CT;
    d.markerSeen = r.markerSeen;
    for (int i = 0; i < kMqContexts; ++i) {
        d.state[i] = (r.ctx[i] & 0xFFu) >> 1;
        d.mps[i] = r.ctx[i] & 1u;
    }
}

template <class D>
inline void mqDecoderByteIn(D& d) {
    if (d.markerSeen) {
        d.CT = 8;
        return;
    }
    // Both bytes inside the segment (pos is never negative): the common case.
    if (d.pos + 1 < d.length) {
        const std::uint32_t b = d.data[d.pos];
        const std::uint32_t b1 = d.data[d.pos + 1];
        if (b != 0xFF) {
            d.pos += 1;
            d.C += 0xFF00u - (b1 << 8);
            d.CT = 8;
            return;
        }
    }
    const std::uint32_t b = segmentByte(d.data, d.length, d.pos);
    const std::uint32_t b1 = segmentByte(d.data, d.length, d.pos + 1);
    if (b != 0xFF) {
        d.pos += 1;
        d.C += 0xFF00u - (b1 << 8);
        d.CT = 8;
    } else if (b1 < 0x90) {
        // The byte after 0xFF carries a stuffed 0 bit and 7 data bits.
        d.pos += 1;
        d.C += 0xFE00u - (b1 << 9);
        d.CT = 7;
    } else {
        d.markerSeen = 1;
        d.CT = 8;
    }
}

// Starts a new segment; the context states are kept.
inline void mqDecoderInit(MqDecoder& d, const std::uint8_t* data, std::int32_t length) {
    d.data = data;
    d.length = length;
    d.pos = 0;
    d.markerSeen = 0;
    d.C = (segmentByte(data, length, 0) ^ 0xFFu) << 16;
    mqDecoderByteIn(d);
    d.C <<= 7;
    d.CT -= 7;
    d.A = 0x8000;
}

// Doubles A until it reaches 0x8000 (A is below 0x8000 and not zero on
// entry), shifting C with it; the shifts between byte inputs go at once.
template <class D>
inline void mqDecoderRenorm(D& d) {
    std::uint32_t n = static_cast<std::uint32_t>(__builtin_clz(d.A)) - 16u;
    if (n <= d.CT) {  // no byte needed (n >= 1, so CT was not 0)
        d.A <<= n;
        d.C <<= n;
        d.CT -= n;
        return;
    }
    do {
        if (d.CT == 0) mqDecoderByteIn(d);
        const std::uint32_t k = n < d.CT ? n : d.CT;
        d.A <<= k;
        d.C <<= k;
        d.CT -= k;
        n -= k;
    } while (n != 0);
}

template <class D>
inline std::uint32_t mqDecoderDecode(D& d, std::uint32_t cx) {
    const MqEstimatorRow& row = mqEstimatorTable[d.state[cx]];
    const std::uint32_t qe = row.qe;
    const std::uint32_t a = d.A - qe;
    std::uint32_t bit;
    if ((d.C >> 16) >= a) {
        d.C -= a << 16;
        d.A = qe;
        if (a >= qe) {
            bit = 1 - d.mps[cx];
            d.mps[cx] ^= row.swap;
            d.state[cx] = row.nlps;
        } else {
            bit = d.mps[cx];
            d.state[cx] = row.nmps;
        }
    } else {
        d.A = a;
        if (a & 0x8000u) return d.mps[cx];
        if (a < qe) {
            bit = 1 - d.mps[cx];
            d.mps[cx] ^= row.swap;
            d.state[cx] = row.nlps;
        } else {
            bit = d.mps[cx];
            d.state[cx] = row.nmps;
        }
    }
    mqDecoderRenorm(d);
    return bit;
}

// mqDecoderDecode on the context words of a register copy.  The choice of
// sub-interval is made without a branch (it is close to random in noisy
// contexts); only "no renormalisation" and the renormalisation's byte input
// remain branches.
inline std::uint32_t mqDecoderDecode(MqRegisters& d, std::uint32_t cx) {
    const std::uint32_t w = d.ctx[cx];
    const std::uint32_t qe = w >> 16;
    const std::uint32_t a = d.A - qe;
    const std::uint32_t lower = (d.C >> 16) >= a ? 1u : 0u;  // the sub-interval of size Qe
    const std::uint32_t m = 0u - lower;
    d.C -= (a << 16) & m;
    d.A = (qe & m) | (a & ~m);
    if (d.A & 0x8000u) return w & 1u;  // upper sub-interval, no renormalisation: the MPS
    // Renormalisation: an LPS when the chosen sub-interval is the smaller one.
    const std::uint32_t lps = lower ^ (a < qe ? 1u : 0u);
    const MqDecodeNext& next = mqDecodeNext[w & 0xFFu];
    d.ctx[cx] = lps ? next.onLps : next.onMps;
    mqDecoderRenorm(d);
    return (w & 1u) ^ lps;
}

// Sign of a coefficient: the entry's low 4 bits give the context, its bit 31
// is XOR-ed into the decoded bit.  1 means negative.
template <class D>
inline std::uint32_t mqDecoderDecodeSign(D& d, std::uint32_t signEntry) {
    return mqDecoderDecode(d, signEntry & 15u) ^ (signEntry >> 31);
}

// Predictable termination: after the last pass of a segment the decoder must
// stand exactly where the encoder's termination left it.  0 = fine, 1 = error.
inline std::uint32_t mqDecoderCheckErrPredTerm(MqDecoder& d) {
    if (segmentByte(d.data, d.length, d.pos) != 0xFF && !d.markerSeen) return 1;
    if (d.CT != 0) {
        if (!d.markerSeen) return 1;
        if (d.CT == 1) return 0;
    } else {
        if (!d.markerSeen && segmentByte(d.data, d.length, d.pos + 1) < 0x90) return 1;
        d.CT = 8;
    }
    const std::uint32_t s = 0x8000u >> (d.CT - 1);
    const std::uint32_t a = d.A - s;
    if (a > (d.C >> 16)) {
        d.A = a;
        return 1;
    }
    d.C -= a << 16;
    d.A = s;
    mqDecoderRenorm(d);
    return 0;
}

// ---- raw (bypass) segments ----------------------------------------------------------

inline void rawDecoderInit(RawDecoder& r, const std::uint8_t* data, std::int32_t length) {
    r.data = data;
    r.length = length;
    r.pos = 0;
    r.bitPos = -1;
    r.lastByte = 0;
}

inline std::uint32_t rawDecoderBit(RawDecoder& r) {
    if (r.bitPos < 0) {
        // After 0xFF the next byte starts with a stuffed 0 bit.
        r.bitPos = r.lastByte == 0xFF ? 6 : 7;
        r.lastByte = segmentByte(r.data, r.length, r.pos);
        r.pos += 1;
    }
    const std::uint32_t bit = (r.lastByte >> r.bitPos) & 1u;
    r.bitPos -= 1;
    return bit;
}

// The unread low bits of the last byte must be the padding 0, 1, 0, 1, ...
// 0 = fine, 1 = error.
inline std::uint32_t rawDecoderCheckTerm(RawDecoder& r) {
    if (r.bitPos >= 0) {
        const std::uint32_t unread = r.lastByte & ((2u << r.bitPos) - 1u);
        return unread != (0x55u >> (7 - r.bitPos)) ? 1u : 0u;
    }
    // A final 0xFF may be followed by its stuffing byte.
    if (r.lastByte == 0xFF && r.pos < r.length) r.pos += 1;
    return 0;
}

}  // namespace zeb::t1
