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
#include <cstring>

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

// Byte input of a decoder whose CT is 0 (or, at the start of a segment, not
// yet set): moves to the next byte, sets CT to the bits it brings (8, 7
// after a 0xFF, 8 zero bits once a marker or the end of the segment has been
// met) and returns what is to be added to the 32-bit C.
template <class D>
inline std::uint32_t mqDecoderNextByte(D& d) {
    d.CT = 8;
    if (d.markerSeen) return 0;
    // Both bytes inside the segment (pos is never negative): the common case.
    if (d.pos + 1 < d.length) {
        const std::uint32_t b = d.data[d.pos];
        const std::uint32_t b1 = d.data[d.pos + 1];
        if (b != 0xFF) {
            d.pos += 1;
            return 0xFF00u - (b1 << 8);
        }
    }
    const std::uint32_t b = segmentByte(d.data, d.length, d.pos);
    const std::uint32_t b1 = segmentByte(d.data, d.length, d.pos + 1);
    if (b != 0xFF) {
        d.pos += 1;
        return 0xFF00u - (b1 << 8);
    }
    if (b1 < 0x90) {
        // The byte after 0xFF carries a stuffed 0 bit and 7 data bits.
        d.pos += 1;
        d.CT = 7;
        return 0xFE00u - (b1 << 9);
    }
    d.markerSeen = 1;
    return 0;
}

inline void mqDecoderByteIn(MqDecoder& d) { d.C += mqDecoderNextByte(d); }

// Shifts A and C left by n bits, taking a byte whenever CT runs out: the
// record's 32-bit C, or a register copy's 64-bit C whose high half is the
// record's.
template <class D>
inline void mqShiftBytewise(D& d, std::uint32_t n) {
    constexpr int kHigh = 8 * (sizeof(d.C) - 4);
    do {
        if (d.CT == 0) d.C += static_cast<decltype(d.C)>(mqDecoderNextByte(d)) << kHigh;
        const std::uint32_t k = n < d.CT ? n : d.CT;
        d.A <<= k;
        d.C <<= k;
        d.CT -= k;
        n -= k;
    } while (n != 0);
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
inline void mqDecoderRenorm(MqDecoder& d) {
    std::uint32_t n = static_cast<std::uint32_t>(__builtin_clz(d.A)) - 16u;
    if (n <= d.CT) {  // no byte needed (n >= 1, so CT was not 0)
        d.A <<= n;
        d.C <<= n;
        d.CT -= n;
        return;
    }
    mqShiftBytewise(d, n);
}

inline std::uint32_t mqDecoderDecode(MqDecoder& d, std::uint32_t cx) {
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

// ---- the register copy of the passes -------------------------------------------------
//
// MqRegisters is a local copy of the decoder that a pass keeps in CPU
// registers for its whole length and writes back at its end.  It holds each
// context as one word, Qe << 16 | (2 * state + MPS), so a decision needs a
// single load before its interval compare (mqDecodeNext gives the words that
// follow an MPS and an LPS exchange), and a 64-bit C: the record's C in the
// high 32 bits and up to 40 bits read ahead below it, so that most decisions
// find their renormalisation bits already there.
//
// Reading ahead takes only whole 8-bit bytes that need no look at a marker
// (the byte before is not 0xFF and the byte after is inside the segment), or
// the zero bits that follow a marker.  Every other byte is read, as in the
// record, only when its bits are needed, and then at least one of its bits
// is used at once.  So the bytes read ahead and not yet touched are the
// last CT / 8 ones, all of them 8 bits wide: the write-back drops them and
// gives exactly the record the byte-by-byte decoder would hold.
struct MqRegisters {
    const std::uint8_t* data;
    std::int32_t length;
    std::int32_t pos;  // as in the record, plus the bytes read ahead
    std::uint32_t A;
    std::uint64_t C;   // C >> 48 is compared with A
    std::uint32_t CT;  // bits below C >> 48 that are still to be used
    std::uint32_t markerSeen;
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

// Reads ahead while at most 40 bits are waiting (so at most 48 after).
template <class D>
inline void mqRegistersFill(D& d) {
    if (d.markerSeen) {
        while (d.CT <= 40) d.CT += 8;  // 0xFF bytes: zero bits in the complemented C
        return;
    }
    // Four bytes at once when neither they nor the byte before is 0xFF.
    if (d.CT <= 16 && d.pos + 4 < d.length) {
        std::uint32_t before, bytes;
        std::memcpy(&before, d.data + d.pos, 4);  // the bytes before each of the four
        std::memcpy(&bytes, d.data + d.pos + 1, 4);
        const std::uint32_t inv = ~before;  // a 0xFF byte becomes a zero byte
        if (((inv - 0x01010101u) & ~inv & 0x80808080u) == 0) {
            d.C += std::uint64_t{~__builtin_bswap32(bytes)} << (16 - d.CT);
            d.pos += 4;
            d.CT += 32;
            return;
        }
    }
    while (d.CT <= 40 && d.pos + 1 < d.length && d.data[d.pos] != 0xFF) {
        d.C += std::uint64_t{0xFFu - d.data[d.pos + 1]} << (40 - d.CT);
        d.pos += 1;
        d.CT += 8;
    }
}

inline MqRegisters mqRegisters(const MqDecoder& d) {
    MqRegisters r{d.data, d.length, d.pos, d.A, std::uint64_t{d.C} << 32, d.CT, d.markerSeen, {}};
    for (int i = 0; i < kMqContexts; ++i) r.ctx[i] = mqDecodeWord[2 * d.state[i] + d.mps[i]];
    mqRegistersFill(r);
    return r;
}

// Between decisions the record holds at most 7 unused bits (CT 0..7): every
// byte input is followed by a shift of at least one bit.
inline void mqWriteBack(MqDecoder& d, const MqRegisters& r) {
    const std::uint32_t ahead = r.CT >> 3;  // whole bytes read ahead
    d.CT = r.CT & 7u;
    d.pos = r.markerSeen ? r.pos : r.pos - static_cast<std::int32_t>(ahead);
    d.C = static_cast<std::uint32_t>(r.C >> 32) & (~0u << (16u - d.CT));
    d.A = r.A;
    d.markerSeen = r.markerSeen;
    for (int i = 0; i < kMqContexts; ++i) {
        d.state[i] = (r.ctx[i] & 0xFFu) >> 1;
        d.mps[i] = r.ctx[i] & 1u;
    }
}

// Renormalisation that needs more bits than are waiting: byte by byte as in
// the record, then reading ahead again.
// It works on a copy of the coder registers without the contexts, taken
// and returned by value: a pass's registers never have their address taken,
// so they stay in CPU registers between decisions.
struct MqCoderBits {
    const std::uint8_t* data;
    std::int32_t length;
    std::int32_t pos;
    std::uint32_t A;
    std::uint64_t C;
    std::uint32_t CT;
    std::uint32_t markerSeen;
};

[[gnu::noinline]] inline MqCoderBits mqRegistersRenormSlow(MqCoderBits d, std::uint32_t n) {
    mqShiftBytewise(d, n);
    mqRegistersFill(d);
    return d;
}

// A decision without a data-dependent branch: the choice of sub-interval,
// the MPS/LPS exchange and the context update are selections, and the
// renormalisation shift (zero when A stays at or above 0x8000) is applied
// unconditionally.  Noisy contexts make "renormalise or not" close to
// random; the branches left (bits running short) are rarely taken.
inline std::uint32_t mqDecoderDecode(MqRegisters& d, std::uint32_t cx) {
    const std::uint32_t w = d.ctx[cx];
    const std::uint32_t qe = w >> 16;
    const std::uint32_t a = d.A - qe;
    const std::uint32_t lower = static_cast<std::uint32_t>(d.C >> 48) >= a ? 1u : 0u;  // the sub-interval of size Qe
    const std::uint32_t m = 0u - lower;
    d.C -= std::uint64_t{a & m} << 48;
    const std::uint32_t A = (qe & m) | (a & ~m);
    // An LPS when the chosen sub-interval is the smaller one; without
    // renormalisation (A at or above 0x8000) it is always the MPS.
    const std::uint32_t lps = lower ^ (a < qe ? 1u : 0u);
    const MqDecodeNext& next = mqDecodeNext[w & 0xFFu];
    const std::uint32_t exchanged = lps ? next.onLps : next.onMps;
    d.ctx[cx] = (A & 0x8000u) ? w : exchanged;
    const std::uint32_t n = static_cast<std::uint32_t>(__builtin_clz(A)) - 16u;  // A is never 0
    if (n <= d.CT) [[likely]] {
        d.A = A << n;
        d.C <<= n;
        d.CT -= n;
        if (d.CT < 16) [[unlikely]] mqRegistersFill(d);
    } else {
        const MqCoderBits b = mqRegistersRenormSlow({d.data, d.length, d.pos, A, d.C, d.CT, d.markerSeen}, n);
        d.pos = b.pos;
        d.A = b.A;
        d.C = b.C;
        d.CT = b.CT;
        d.markerSeen = b.markerSeen;
    }
    return (w & 1u) ^ lps;
}

// The same decision with an early exit for the MPS without renormalisation,
// for contexts that are nearly always decided that way (the run-length
// context of the cleanup pass), where the branch predicts well and the exit
// is shorter than the selections.
inline std::uint32_t mqDecoderDecodeSkewed(MqRegisters& d, std::uint32_t cx) {
    const std::uint32_t w = d.ctx[cx];
    const std::uint32_t a = d.A - (w >> 16);
    if (static_cast<std::uint32_t>(d.C >> 48) < a && (a & 0x8000u)) [[likely]] {
        d.A = a;
        return w & 1u;
    }
    return mqDecoderDecode(d, cx);
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
