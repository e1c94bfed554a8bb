// MQ arithmetic encoder (T.800 C.2) and raw (bypass) bit writer of the
// Tier-1 code-block encoder.
//
// The MQ encoder releases finished bytes into a small staging queue; the
// caller of the encoder moves them to the output as space allows, so that a
// code-block can be stored in portions of any size.  The first byte released
// after initialisation is the dummy byte in front of the segment and never
// reaches the queue.
#pragma once

#include <array>
#include <cstdint>

#include "jpeg2000/tier1/mq_tables.h"

namespace zeb::t1 {

inline constexpr int kMqStagedBytes = 16;

struct MqEncoder {
    std::uint32_t staged[kMqStagedBytes];  // released bytes not yet copied out
    std::uint32_t stagedEnd;               // write index into staged
    std::uint32_t stagedNext;              // read index into staged
    std::uint32_t B;                       // byte held back for carry propagation
    std::uint32_t dropFirst;               // 1 until the dummy byte has been released
    std::uint32_t A;                       // interval register
    std::uint32_t C;                       // code register (28 significant bits)
    std::uint32_t CT;                      // shifts left before the next byte output
    std::uint32_t state[kMqContexts];
    std::uint32_t mps[kMqContexts];
    std::int32_t bytesOut;                 // bytes released in the current segment
    std::uint32_t pendingTerm;             // coded symbols not yet terminated
    std::uint32_t narrowB;                 // B follows a 0xFF byte and carries 7 bits
};

struct RawEncoder {
    std::uint32_t afterFF;  // the last completed byte was 0xFF
    std::uint32_t acc;      // byte being assembled
    std::int32_t bitPos;    // next free bit: 7 in an empty byte, 6 after 0xFF
    std::int32_t bytesOut;
};

// ---- MQ encoder -----------------------------------------------------------------------

inline void mqEncoderResetCtx(MqEncoder& e) {
    for (int i = 0; i < kMqContexts; ++i) {
        e.state[i] = mqInitialStates[i];
        e.mps[i] = mqInitialMps[i];
    }
}

// Registers for a new segment; contexts are kept.
inline void mqEncoderInit(MqEncoder& e) {
    e.A = 0x8000;
    e.C = 0;
    e.CT = 12;
    e.B = 0;
    e.bytesOut = 0;
    e.dropFirst = 1;
    e.pendingTerm = 0;
    e.narrowB = 0;
}

inline bool mqStagedEmpty(const MqEncoder& e) { return e.stagedNext == e.stagedEnd; }

inline void mqRelease(MqEncoder& e, std::uint32_t byte) {
    if (e.dropFirst) {
        e.dropFirst = 0;
        return;
    }
    if (mqStagedEmpty(e)) e.stagedNext = e.stagedEnd = 0;
    e.staged[e.stagedEnd++] = byte;
    e.bytesOut += 1;
}

// The byte output and the coding routines are templates over the coder: the
// record itself, or a register copy of a coding loop with its own mqRelease.
template <class E>
inline void mqByteOut(E& e) {
    if (e.B == 0xFF) {
        mqRelease(e, e.B);
        e.B = e.C >> 20;
        e.C &= 0xFFFFF;
        e.CT = 7;
        e.narrowB = 1;
    } else if (e.C < 0x8000000) {
        mqRelease(e, e.B);
        e.B = e.C >> 19;
        e.C &= 0x7FFFF;
        e.CT = 8;
        e.narrowB = 0;
    } else {
        e.B += 1;  // carry
        if (e.B == 0xFF) {
            e.C &= 0x7FFFFFF;
            mqRelease(e, e.B);
            e.B = e.C >> 20;
            e.C &= 0xFFFFF;
            e.CT = 7;
            e.narrowB = 1;
        } else {
            mqRelease(e, e.B);
            e.B = e.C >> 19;
            e.C &= 0x7FFFF;
            e.CT = 8;
            e.narrowB = 0;
        }
    }
}

// Doubles A until it reaches 0x8000 (A is below 0x8000 and not zero on
// entry), shifting C with it; the shifts between byte outputs go at once.
template <class E>
inline void mqRenorm(E& e) {
    std::uint32_t n = static_cast<std::uint32_t>(__builtin_clz(e.A)) - 16u;
    e.A <<= n;
    while (n >= e.CT) {
        e.C <<= e.CT;
        n -= e.CT;
        mqByteOut(e);
    }
    e.C <<= n;
    e.CT -= n;
}

// Codes decision d (0 or 1) in context cx.
inline void mqEncode(MqEncoder& e, std::uint32_t d, std::uint32_t cx) {
    const MqEstimatorRow& row = mqEstimatorTable[e.state[cx]];
    const std::uint32_t qe = row.qe;
    e.A -= qe;
    if (d == e.mps[cx]) {
        if (e.A & 0x8000) {
            e.C += qe;
            return;
        }
        if (e.A < qe)
            e.A = qe;
        else
            e.C += qe;
        e.state[cx] = row.nmps;
    } else {
        if (e.A < qe)
            e.C += qe;
        else
            e.A = qe;
        e.mps[cx] ^= row.swap;
        e.state[cx] = row.nlps;
    }
    mqRenorm(e);
}

// Context words packed as 2 * state + MPS (see mqTransitions), for coding
// loops that work on a local copy of the coder.
inline void mqPackContexts(const MqEncoder& e, std::uint32_t* packed) {
    for (int i = 0; i < kMqContexts; ++i) packed[i] = 2 * e.state[i] + e.mps[i];
}
inline void mqUnpackContexts(MqEncoder& e, const std::uint32_t* packed) {
    for (int i = 0; i < kMqContexts; ++i) {
        e.state[i] = packed[i] >> 1;
        e.mps[i] = packed[i] & 1u;
    }
}

// One coding step per (packed context word, decision): Qe, whether the
// decision is the MPS, and the packed word that follows a renormalisation.
struct MqCodingStep {
    std::uint16_t qe;
    std::uint8_t isMps;
    std::uint8_t next;
};
static_assert(sizeof(MqCodingStep) == 4);

inline constexpr std::array<MqCodingStep, 4 * 47> mqCodingSteps = [] {
    std::array<MqCodingStep, 4 * 47> t{};
    for (std::uint32_t k = 0; k < 2 * 47; ++k)
        for (std::uint32_t d = 0; d < 2; ++d) {
            const MqTransition& tr = mqTransitions[k];
            const bool isMps = d == tr.mps;
            t[2 * k + d] = {tr.qe, static_cast<std::uint8_t>(isMps), isMps ? tr.nextMps : tr.nextLps};
        }
    return t;
}();

// mqEncode on packed context words, without data-dependent branches except
// for the byte output.  The coded sub-interval is the upper one (C += Qe, A
// keeps A - Qe) when an MPS meets A - Qe >= Qe or an LPS meets A - Qe < Qe
// (the conditional exchange); otherwise A becomes Qe.  An MPS that leaves A
// at 0x8000 or above needs no renormalisation and keeps its state.
template <class E>
inline void mqEncodePacked(E& e, std::uint32_t* packed, std::uint32_t d, std::uint32_t cx) {
    const std::uint32_t word = packed[cx];
    const MqCodingStep s = mqCodingSteps[2 * word + d];
    const std::uint32_t qe = s.qe;
    std::uint32_t a = e.A - qe;
    const std::uint32_t upper = 0u - (s.isMps ^ static_cast<std::uint32_t>(a < qe));
    e.C += qe & upper;
    a = (a & upper) | (qe & ~upper);
    std::uint32_t n = static_cast<std::uint32_t>(__builtin_clz(a)) - 16u;  // 0 < a < 0x10000
    packed[cx] = n ? s.next : word;
    e.A = a << n;
    if (n >= e.CT) [[unlikely]] {
        do {
            e.C <<= e.CT;
            n -= e.CT;
            mqByteOut(e);
        } while (n >= e.CT);
    }
    e.C <<= n;
    e.CT -= n;
}

// Termination modes: 1 shortest, 2 predictable, anything else flush.
inline constexpr int kTermShortest = 1;
inline constexpr int kTermPredictable = 2;

// Ends the segment: releases its last bytes into the staging queue.  The
// registers are left for mqEncoderInit.
void mqEncoderTerminate(MqEncoder& e, int mode);

// ---- raw encoder -----------------------------------------------------------------------

inline void rawEncoderInit(RawEncoder& r) {
    r.afterFF = 0;
    r.acc = 0;
    r.bitPos = 7;
    r.bytesOut = 0;
}

inline bool rawEmpty(const RawEncoder& r) { return r.bitPos == (r.afterFF ? 6 : 7); }

// Places one bit; returns true and sets *out when a byte is complete.
inline bool rawPutBit(RawEncoder& r, std::uint32_t bit, std::uint8_t* out) {
    r.acc |= bit << r.bitPos;
    if (--r.bitPos >= 0) return false;
    *out = static_cast<std::uint8_t>(r.acc);
    r.afterFF = r.acc == 0xFF;
    r.bitPos = r.afterFF ? 6 : 7;
    r.acc = 0;
    r.bytesOut += 1;
    return true;
}

// Pads a partly filled byte with 0, 1, 0, ... from its highest free bit;
// returns true and sets *out when a byte was produced.  The writer is ready
// for a new segment afterwards.
inline bool rawTerminate(RawEncoder& r, std::uint8_t* out) {
    const bool pending = !rawEmpty(r);
    if (pending) {
        *out = static_cast<std::uint8_t>(r.acc | (0x2Au >> (6 - r.bitPos)));
        r.bytesOut += 1;
    }
    r.afterFF = 0;
    r.acc = 0;
    r.bitPos = 7;
    return pending;
}

}  // namespace zeb::t1
