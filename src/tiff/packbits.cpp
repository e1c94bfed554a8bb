// TIFF PackBits: one row of bytes to packets and back, appending to (or
// reading from) a caller buffer through an in/out byte position.
#include "core/check.h"
#include "packbits_kernels.h"

extern "C" {

ZEB_API ZebResult zebiPackBitsRow_TIFF_8u_C1(const Zeb8u* pSrc, int width, Zeb8u* pDst, int* pDstCurrPos,
                                             int dstLenBytes) {
    ZEB_CHECK(ptr(pSrc, pDstCurrPos, pDst), length(width, dstLenBytes));
    const auto r = zeb::packbits::packRow<zeb::Path::Vector>(pSrc, width, pDst + *pDstCurrPos, dstLenBytes);
    *pDstCurrPos += r.written;
    return r.fits ? zebOk : zebErrPackBitsLength;
}

ZEB_API ZebResult zebiUnpackBitsRow_TIFF_8u_C1(const Zeb8u* pSrc, int* pSrcCurrPos, int srcLenBytes, Zeb8u* pDst,
                                               int dstWidth) {
    ZEB_CHECK(ptr(pSrc, pSrcCurrPos, pDst), length(srcLenBytes, dstWidth));
    const auto r = zeb::packbits::unpackRow<zeb::Path::Vector>(pSrc, *pSrcCurrPos, srcLenBytes, pDst, dstWidth);
    *pSrcCurrPos = r.pos;
    return r.ok ? zebOk : zebErrPackBitsLength;
}

}  // extern "C"
