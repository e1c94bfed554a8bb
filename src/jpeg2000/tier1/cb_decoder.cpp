// One-shot code-block decoder: the progressive decoder run over all codeword
// segments, followed by concealment of a detected error and the clearing of
// the half-step bits below the last decoded plane.
#include "core/check.h"
#include "core/simd.h"
#include "jpeg2000/tier1/cb_conceal.h"
#include "jpeg2000/tier1/cb_progressive_state.h"

using namespace zeb::t1;

extern "C" {

ZEB_API ZebResult zebiDecodeGetBufSize_JPEG2K(ZebSize codeBlockSize, int* pSize) {
    return zebiDecodeCBProgrGetStateSize_JPEG2K(codeBlockSize, pSize);
}

ZEB_API ZebResult zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(const Zeb8u* pSrc, Zeb32s* pDst, int dstStep,
                                                      ZebSize codeBlockSize, int subband, int sfBits, int nPasses,
                                                      const int* pTermPassLen, int nTermPasses,
                                                      int codeStyleFlags, int* pErrorBitPlane, Zeb8u* pBuffer) {
    ZEB_CHECK(ptr(pSrc, pBuffer), size(codeBlockSize), ptr(pTermPassLen, pDst), step(dstStep));
    ZebCBProgrState* state = reinterpret_cast<ZebCBProgrState*>(pBuffer);
    zebiDecodeCBProgrInit_JPEG2K(state);
    zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(pDst, dstStep, codeBlockSize, state, subband, sfBits, codeStyleFlags);
    zebiDecodeCBProgrSetPassCounter_JPEG2K(nPasses, state);

    ZebResult result = zebOk;
    const Zeb8u* segment = pSrc;
    for (int i = 0; i < nTermPasses && result == zebOk; ++i) {
        result = zebiDecodeCBProgrStep_JPEG2K(segment, pTermPassLen[i], state);
        segment += pTermPassLen[i];
    }

    int plane = 0;
    zebiDecodeCBProgrGetCurBitPlaneNum_JPEG2K(state, &plane);
    if (result == zebErrCorruptCodeBlock) {
        if (pErrorBitPlane != nullptr) *pErrorBitPlane = plane;
        if (codeStyleFlags & kCbConceal)
            concealBlock<zeb::Path::Vector>(pDst, dstStep, codeBlockSize.width, codeBlockSize.height, plane);
    }
    if (!(codeStyleFlags & kCbKeepLowBits) && plane >= 1) {
        const Zeb32s keep = plane > 31 ? 0 : static_cast<Zeb32s>(~0u << plane);
        zebiAndC_32s_C1IR(keep, pDst, dstStep, codeBlockSize);
    }
    return result;
}

}  // extern "C"
