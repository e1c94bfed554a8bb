// Tier-1 code-block encoder, second phase: the recorded symbols go through
// the MQ and raw coders into the caller's buffer, in portions of any size;
// segments are terminated where the coding style requires and the
// truncation length after every pass is fixed.  Also the rate, distortion
// and segment-length queries.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/check.h"
#include "jpeg2000/tier1/cb_encoder.h"

using namespace zeb::t1;

namespace {

struct Output {
    Zeb8u* dst;
    int capacity;
    int written;

    bool full() const { return written >= capacity; }
    void put(std::uint8_t byte) { dst[written++] = byte; }
};

// Moves staged MQ bytes to the output as far as it has room.
void drainStaged(ZebEncodeBuffer& b, Output& out) {
    MqEncoder& mq = b.mq;
    while (!mqStagedEmpty(mq) && !out.full()) {
        out.put(static_cast<std::uint8_t>(mq.staged[mq.stagedNext++]));
        b.passBytes += 1;
    }
}

// Bytes a decoder may still need beyond those delivered to decode an MQ pass
// that leaves its segment open.
std::int32_t openMqExtra(const MqEncoder& mq) {
    const std::uint32_t limit = (mq.B == 0xFE || mq.B == 0xFF) ? 22u : 23u;
    std::int32_t extra = 27u - mq.CT > limit ? 5 : 4;
    if (mq.dropFirst) extra -= 1;  // B is still the dummy byte
    return extra;
}

// A pass is completely delivered: fix its rate and move to the next pass.
void completePass(ZebEncodeBuffer& b, std::int32_t extra) {
    const int k = b.storePass;
    b.totalBytes += b.passBytes;
    b.rate[k] = b.totalBytes + extra;
    if (extra == 0)
        for (int j = k; j >= 1 && b.rate[j] < b.rate[j - 1]; --j) b.rate[j - 1] = b.rate[j];
    b.bytesPerPass[k] = b.passBytes;
    b.decCursor += b.passSymbols;
    b.ctxCursor += b.passSymbols;
    b.storePass += 1;
    b.passBytes = 0;
    b.symbolsDone = 0;
    if (b.storePass < b.nPasses) {
        b.passSymbols = b.symbolsPerPass[b.storePass];
        b.passIsRawNow = b.passIsRaw[b.storePass];
    }
    if (b.resetCtx) mqEncoderResetCtx(b.mq);
}

// Raw pass; returns false when the output filled up first.
bool storeRawPass(ZebEncodeBuffer& b, Output& out, bool endsSegment) {
    RawEncoder& raw = b.raw;
    std::uint8_t byte;
    while (b.symbolsDone < b.passSymbols) {
        if (raw.bitPos == 0 && out.full()) return false;
        if (rawEmpty(raw) && !out.full() && b.passSymbols - b.symbolsDone >= raw.bitPos + 1) {
            // Byte-aligned with a whole byte's worth of bits left: pack them at once.
            const int bits = raw.bitPos + 1;
            const std::uint8_t* d = b.decCursor + b.symbolsDone;
            std::uint32_t acc = 0;
            for (int i = 0; i < bits; ++i) acc = (acc << 1) | d[i];
            b.symbolsDone += bits;
            raw.afterFF = acc == 0xFF;
            raw.bitPos = raw.afterFF ? 6 : 7;
            raw.bytesOut += 1;
            out.put(static_cast<std::uint8_t>(acc));
            b.passBytes += 1;
            continue;
        }
        if (rawPutBit(raw, b.decCursor[b.symbolsDone], &byte)) {
            out.put(byte);
            b.passBytes += 1;
        }
        b.symbolsDone += 1;
    }
    std::int32_t extra = 0;
    if (endsSegment) {
        if (!rawEmpty(raw) && out.full()) return false;
        if (rawTerminate(raw, &byte)) {
            out.put(byte);
            b.passBytes += 1;
        }
    } else {
        extra = rawEmpty(raw) ? 0 : 1;
    }
    completePass(b, extra);
    return true;
}

// The registers of the MQ coder for the coding loop of a pass: bytes go
// straight to the output and, once it is full, to the record's staging queue.
struct DirectCoder {
    std::uint32_t A, C, CT, B, narrowB, dropFirst;
    std::int32_t bytesOut;
    Zeb8u* dst;
    int written, capacity;
    bool queued;  // a byte went to the staging queue
    MqEncoder* queue;
};

void mqRelease(DirectCoder& e, std::uint32_t byte) {
    if (e.dropFirst) {
        e.dropFirst = 0;
        return;
    }
    e.bytesOut += 1;
    if (e.written < e.capacity && !e.queued) {
        e.dst[e.written++] = static_cast<Zeb8u>(byte);
        return;
    }
    MqEncoder& q = *e.queue;
    if (mqStagedEmpty(q)) q.stagedNext = q.stagedEnd = 0;
    q.staged[q.stagedEnd++] = byte;
    e.queued = true;
}

// The registers for a stretch of decisions whose bytes are sure to fit in
// the output.
struct FreeCoder {
    std::uint32_t A, C, CT, B, narrowB, dropFirst;
    std::int32_t bytesOut;
    Zeb8u* next;
};

inline void mqRelease(FreeCoder& e, std::uint32_t byte) {
    if (e.dropFirst) {
        e.dropFirst = 0;
        return;
    }
    e.bytesOut += 1;
    *e.next++ = static_cast<Zeb8u>(byte);
}

// MQ pass; returns false when the output filled up first.
bool storeMqPass(ZebEncodeBuffer& b, Output& out, bool endsSegment) {
    MqEncoder& mq = b.mq;
    drainStaged(b, out);
    if (b.symbolsDone < b.passSymbols && mqStagedEmpty(mq)) {
        // Code with the registers in local variables; each decision's bytes
        // go out before the next decision is coded, and coding stops when a
        // byte has to wait in the queue.
        std::uint32_t packed[kMqContexts];
        mqPackContexts(mq, packed);
        const std::uint8_t* const dec = b.decCursor;
        const std::uint8_t* const ctx = b.ctxCursor;
        const int n = b.passSymbols, first = b.symbolsDone;
        int i = first;
        // Most of a pass goes through the unchecked coder: a decision
        // releases at most two bytes (a renormalisation shifts at most 15
        // bits, and a byte output leaves CT at 7 or 8).
        const int unchecked = std::min(n - first, (out.capacity - out.written) / 2);
        FreeCoder f{mq.A, mq.C, mq.CT, mq.B, mq.narrowB, mq.dropFirst, mq.bytesOut, out.dst + out.written};
        for (const int end = first + unchecked; i < end; ++i) mqEncodePacked(f, packed, dec[i], ctx[i]);
        DirectCoder e{f.A, f.C, f.CT, f.B, f.narrowB, f.dropFirst, f.bytesOut,
                      out.dst, static_cast<int>(f.next - out.dst), out.capacity, false, &mq};
        while (i < n && !e.queued) {
            mqEncodePacked(e, packed, dec[i], ctx[i]);
            ++i;
        }
        mqUnpackContexts(mq, packed);
        mq.A = e.A;
        mq.C = e.C;
        mq.CT = e.CT;
        mq.B = e.B;
        mq.narrowB = e.narrowB;
        mq.dropFirst = e.dropFirst;
        mq.bytesOut = e.bytesOut;
        mq.pendingTerm = 1;
        b.pendingTerm += i - first;
        b.symbolsDone = i;
        b.passBytes += e.written - out.written;
        out.written = e.written;
    }
    if (b.symbolsDone < b.passSymbols) return false;
    if (endsSegment && mq.pendingTerm) {
        if (!mqStagedEmpty(mq)) return false;
        mqEncoderTerminate(mq, b.termMode);
        mqEncoderInit(mq);
        b.pendingTerm = 0;
        drainStaged(b, out);
    }
    if (!mqStagedEmpty(mq)) return false;
    completePass(b, mq.pendingTerm ? openMqExtra(mq) : 0);
    return true;
}

}  // namespace

extern "C" {

ZEB_API ZebResult zebiEncodeStoreBits_JPEG2K_1u(Zeb8u* pDst, int* pDstLen, ZebEncodeState* pState,
                                               int* pIsNotFinished) {
    ZEB_CHECK(ptr(pState));
    ZEB_CHECK(when(pState->id != kEncodeStateId, zebErrContextMismatch));
    ZEB_CHECK(ptr(pDst, pDstLen, pIsNotFinished));
    ZEB_CHECK(length(*pDstLen));

    ZebEncodeBuffer& b = *pState->buffer;
    Output out{pDst, *pDstLen, 0};
    while (b.storePass < b.nPasses) {
        const bool ends = passEndsSegment(b, b.storePass);
        const bool done = b.passIsRawNow ? storeRawPass(b, out, ends) : storeMqPass(b, out, ends);
        if (!done) break;
    }

    // No truncation point may end on 0xFF: pull back every rate whose last
    // byte was delivered by this call and is 0xFF.
    const std::int32_t delivered = b.totalBytes + b.passBytes;
    const std::int32_t first = delivered - out.written;
    for (int k = 0; k < b.storePass; ++k) {
        const std::int32_t r = b.rate[k];
        if (r > first && r <= delivered && pDst[r - 1 - first] == 0xFF) b.rate[k] = r - 1;
    }

    *pDstLen = out.written;
    *pIsNotFinished = b.storePass < b.nPasses ? 1 : 0;
    return zebOk;
}

ZEB_API ZebResult zebiEncodeGetRate_JPEG2K(const ZebEncodeState* pState, int passIdx, int* pRate) {
    ZEB_CHECK(ptr(pState));
    ZEB_CHECK(when(pState->id != kEncodeStateId, zebErrContextMismatch));
    ZEB_CHECK(ptr(pRate), when(passIdx < 0 || passIdx >= pState->buffer->nPasses, zebErrPassIndex));
    *pRate = pState->buffer->rate[passIdx];
    return zebOk;
}

ZEB_API ZebResult zebiEncodeGetDistReduction_JPEG2K(const ZebEncodeState* pState, int passIdx, int* pDistRed,
                                                   int* pDistExp) {
    ZEB_CHECK(ptr(pState));
    ZEB_CHECK(when(pState->id != kEncodeStateId, zebErrContextMismatch));
    ZEB_CHECK(ptr(pDistRed, pDistExp), when(passIdx < 0 || passIdx >= pState->buffer->nPasses, zebErrPassIndex));
    *pDistRed = pState->distRed[passIdx];
    *pDistExp = pState->distExp[passIdx];
    return zebOk;
}

ZEB_API ZebResult zebiEncodeGetDist_JPEG2K(const ZebEncodeState* pState, int passIdx, double* pDist) {
    ZEB_CHECK(ptr(pState));
    ZEB_CHECK(when(pState->id != kEncodeStateId, zebErrContextMismatch));
    ZEB_CHECK(ptr(pDist), when(passIdx < 0 || passIdx >= pState->buffer->nPasses, zebErrPassIndex));
    double sum = 0.0;
    for (int k = 0; k <= passIdx; ++k)  // each term is exact: an integer times a power of two
        sum += std::ldexp(static_cast<double>(pState->distRed[k]), pState->distExp[k]);
    *pDist = sum;
    return zebOk;
}

ZEB_API ZebResult zebiEncodeGetTermPassLen_JPEG2K(const ZebEncodeState* pState, int termPassIdx, int* pLen) {
    ZEB_CHECK(ptr(pState));
    ZEB_CHECK(when(pState->id != kEncodeStateId, zebErrContextMismatch));
    const ZebEncodeBuffer& b = *pState->buffer;
    ZEB_CHECK(ptr(pLen), when(termPassIdx < 0 || termPassIdx >= encoderSegmentCount(b), zebErrPassIndex));
    std::int32_t len = 0;
    int segment = 0;
    for (int k = 0; k < b.nPasses && segment <= termPassIdx; ++k) {
        if (segment == termPassIdx) len += b.bytesPerPass[k];
        if (passEndsSegment(b, k)) ++segment;
    }
    *pLen = len;
    return zebOk;
}

}  // extern "C"
