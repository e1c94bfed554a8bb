// Progressive code-block decoder: a record that decodes one code-block one
// codeword segment at a time and sequences the passes over the segments in
// the normal, bypass and terminate-every-pass modes.
#include <climits>

#include "core/check.h"
#include "core/simd.h"
#include "jpeg2000/tier1/cb_progressive_state.h"
#include "jpeg2000/tier1/t1_contexts.h"

namespace zeb::t1 {
namespace {

bool isDecoderRecord(const ZebCBProgrState* s) { return s != nullptr && s->id == kCBProgrId; }

std::uint8_t* recordBytes(ZebCBProgrState& s) { return reinterpret_cast<std::uint8_t*>(&s); }

// Normal mode: one MQ segment holds every pass down to rawPlane (the whole
// block without bypass); with bypass, raw segments (propagation and
// refinement of one plane) alternate with MQ segments (one cleanup each).
std::uint32_t stepNormal(ZebCBProgrState& s, const Zeb8u* src, int len) {
    const bool causal = s.flags & kCbCausal;
    const bool reset = s.flags & kCbResetCtx;
    const bool segMark = s.flags & kCbSegMark;
    const bool check = s.flags & kCbCheckPTerm;
    std::uint32_t err = 0;
    switch (s.passType) {
        case kPassCleanupAfterRaw:
            mqDecoderInit(s.mq, src, len);
            err = decodeCleanup(s, causal, segMark, reset, check);
            if (!err && --s.passesLeft > 0) {
                s.plane -= 1;
                s.passType = kPassRaw;
            }
            return err;
        case kPassRaw:
            rawDecoderInit(s.raw, src, len);
            err = decodeSignificancePropagationRaw(s, causal, false);
            if (!err && --s.passesLeft > 0) {
                err = decodeMagnitudeRefinementRaw(s);
                if (!err) {
                    s.passType = kPassCleanupAfterRaw;
                    s.passesLeft -= 1;
                }
            }
            return err;
        default:
            mqDecoderInit(s.mq, src, len);
            for (;;) {
                err = decodeCleanup(s, causal, segMark, reset, check && s.plane == s.rawPlane);
                if (err) return err;
                s.passesLeft -= 1;
                if (s.plane <= s.rawPlane) {
                    if (s.passesLeft > 0) {
                        s.plane -= 1;
                        s.passType = kPassRaw;
                    }
                    return 0;
                }
                if (s.passesLeft < 1) return 0;
                s.plane -= 1;
                err = decodeSignificancePropagation(s, causal, reset, false);
                if (err) return err;
                if (--s.passesLeft < 1) return 0;
                err = decodeMagnitudeRefinement(s, reset, false);
                if (err) return err;
                if (--s.passesLeft < 1) return 0;
            }
    }
}

// Terminate-every-pass mode: one pass per segment; the pass is counted
// whatever its outcome.
std::uint32_t stepTermAll(ZebCBProgrState& s, const Zeb8u* src, int len) {
    const bool causal = s.flags & kCbCausal;
    const bool reset = s.flags & kCbResetCtx;
    const bool segMark = s.flags & kCbSegMark;
    const bool check = s.flags & kCbCheckPTerm;
    std::uint32_t err = 0;
    switch (s.passType) {
        case kPassSigPropTerm:
            mqDecoderInit(s.mq, src, len);
            err = decodeSignificancePropagation(s, causal, reset, check);
            s.passType = kPassRefineTerm;
            break;
        case kPassRefineTerm:
            mqDecoderInit(s.mq, src, len);
            err = decodeMagnitudeRefinement(s, reset, check);
            s.passType = kPassCleanup;
            break;
        case kPassCleanupAfterRaw:
            mqDecoderInit(s.mq, src, len);
            err = decodeCleanup(s, causal, segMark, reset, false);
            if (!err) {
                s.passType = kPassRaw;
                s.plane -= 1;
            }
            break;
        case kPassRaw:
            rawDecoderInit(s.raw, src, len);
            err = decodeSignificancePropagationRaw(s, causal, true);
            s.passType = kPassRawRefineTerm;
            break;
        case kPassRawRefineTerm:
            rawDecoderInit(s.raw, src, len);
            err = decodeMagnitudeRefinementRaw(s);
            s.passType = kPassCleanupAfterRaw;
            break;
        default:
            mqDecoderInit(s.mq, src, len);
            err = decodeCleanup(s, causal, segMark, reset, check);
            if (!err) {
                s.plane -= 1;
                s.passType = s.plane >= s.rawPlane ? kPassSigPropTerm : kPassRaw;
            }
            break;
    }
    s.passesLeft -= 1;
    return err;
}

}  // namespace
}  // namespace zeb::t1

using namespace zeb::t1;

extern "C" {

ZEB_API ZebResult zebiDecodeCBProgrGetStateSize_JPEG2K(ZebSize codeBlockMaxSize, int* pStateSize) {
    ZEB_CHECK(size(codeBlockMaxSize), ptr(pStateSize));
    const long long bytes = static_cast<long long>(stateStrideBytes(codeBlockMaxSize.width)) *
                                stateRows(codeBlockMaxSize.height) +
                            kCBProgrRecordSlack;
    if (bytes > INT_MAX) return zebErrSize;
    *pStateSize = static_cast<int>(bytes);
    return zebOk;
}

ZEB_API ZebResult zebiDecodeCBProgrInit_JPEG2K(ZebCBProgrState* pState) {
    ZEB_CHECK(ptr(pState));
    pState->id = kCBProgrId;
    pState->attached = 0;
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(pState) + sizeof(ZebCBProgrState);
    pState->workAreaOffset = static_cast<std::uint32_t>(((end + 31) & ~std::uintptr_t{31}) -
                                                        reinterpret_cast<std::uintptr_t>(pState));
    return zebOk;
}

ZEB_API ZebResult zebiDecodeCBProgrInitAlloc_JPEG2K(ZebCBProgrState** ppState, ZebSize codeBlockMaxSize) {
    ZEB_CHECK(ptr(ppState), size(codeBlockMaxSize));
    int bytes = 0;
    if (const ZebResult r = zebiDecodeCBProgrGetStateSize_JPEG2K(codeBlockMaxSize, &bytes); r != zebOk) return r;
    Zeb8u* mem = zebsMalloc_8u(bytes);
    if (mem == nullptr) {
        *ppState = nullptr;
        return zebErrNoMemory;
    }
    *ppState = reinterpret_cast<ZebCBProgrState*>(mem);
    return zebiDecodeCBProgrInit_JPEG2K(*ppState);
}

ZEB_API ZebResult zebiDecodeCBProgrFree_JPEG2K(ZebCBProgrState* pState) {
    ZEB_CHECK(ptr(pState), when(!isDecoderRecord(pState), zebErrContextMismatch));
    zebsFree(pState);
    return zebOk;
}

ZEB_API ZebResult zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(Zeb32s* pDst, int dstStep, ZebSize codeBlockSize,
                                                         ZebCBProgrState* pState, int subband, int sfBits,
                                                         int codeStyleFlags) {
    ZEB_CHECK(ptr(pState), when(!isDecoderRecord(pState), zebErrContextMismatch), ptr(pDst), step(dstStep),
              size(codeBlockSize));
    ZebCBProgrState& s = *pState;
    const int width = codeBlockSize.width, height = codeBlockSize.height;
    s.flags = codeStyleFlags;
    s.dst = pDst;
    s.width = width;
    s.height = height;
    s.step = dstStep;
    if (!(codeStyleFlags & kCbKeepBlock))
        for (int y = 0; y < height; ++y) zebsZero_8u(reinterpret_cast<Zeb8u*>(zeb::rowAt(pDst, dstStep, y)), 4 * width);
    s.stateOffset = s.workAreaOffset;
    s.stateStride = stateStrideBytes(width);
    if (!(codeStyleFlags & kCbKeepState)) {
        Zeb8u* row = recordBytes(s) + s.stateOffset;
        for (std::uint32_t r = 0; r < stateRows(height); ++r, row += s.stateStride) zebsZero_8u(row, 4 * width + 8);
    }
    mqDecoderResetCtx(s.mq);
    s.subband = subband;
    s.attached = 1;
    s.rawPlane = (codeStyleFlags & kCbBypass) && sfBits - 4 > 0 ? sfBits - 4 : 0;
    s.plane = sfBits - 1;
    s.passesLeft = 0;
    s.passType = kPassCleanup;
    s.errorLatched = 0;
    return zebOk;
}

ZEB_API ZebResult zebiDecodeCBProgrSetPassCounter_JPEG2K(int nPasses, ZebCBProgrState* pState) {
    ZEB_CHECK(ptr(pState), when(!isDecoderRecord(pState), zebErrContextMismatch));
    pState->passesLeft = nPasses;
    return zebOk;
}

ZEB_API ZebResult zebiDecodeCBProgrGetPassCounter_JPEG2K(ZebCBProgrState* pState, int* pNPasses) {
    ZEB_CHECK(ptr(pState, pNPasses), when(!isDecoderRecord(pState), zebErrContextMismatch));
    *pNPasses = pState->passesLeft;
    return zebOk;
}

ZEB_API ZebResult zebiDecodeCBProgrGetCurBitPlaneNum_JPEG2K(ZebCBProgrState* pState, int* pBitPlane) {
    ZEB_CHECK(ptr(pState), when(!isDecoderRecord(pState), zebErrContextMismatch), ptr(pBitPlane));
    *pBitPlane = pState->plane;
    return zebOk;
}

ZEB_API ZebResult zebiDecodeCBProgrStep_JPEG2K(const Zeb8u* pSrc, int srcLen, ZebCBProgrState* pState) {
    const bool isRecord = isDecoderRecord(pState);
    ZEB_CHECK(ptr(pSrc, pState), when(!isRecord, zebErrContextMismatch),
              when(isRecord && !pState->attached, zebErrNotAttached),
              when(isRecord && pState->attached && pState->errorLatched, zebErrCorruptCodeBlock));
    ZebCBProgrState& s = *pState;
    if (s.passesLeft < 1 || s.plane < 0) return zebOk;
    const std::uint32_t err = (s.flags & kCbTermAll) ? stepTermAll(s, pSrc, srcLen) : stepNormal(s, pSrc, srcLen);
    if (err) {
        s.errorLatched = 1;
        return zebErrCorruptCodeBlock;
    }
    return zebOk;
}

}  // extern "C"
