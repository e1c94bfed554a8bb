// Fused 8x8 DCT and quantisation of the 12-bit path (single precision,
// caller-prepared floating-point tables).
#include "core/check.h"
#include "jpeg/dct/dct32f_kernels.h"

extern "C" {

ZEB_API ZebResult zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(const Zeb16u* pSrc, int srcStep, Zeb16s* pDst,
                                                       const Zeb32f* pQuantFwdTable) {
    ZEB_CHECK(ptr(pSrc, pDst), step(srcStep), ptr(pQuantFwdTable));
    zeb::dct::fdctQuant12<zeb::Path::Vector>(pSrc, srcStep, pDst, pQuantFwdTable);
    return zebOk;
}

ZEB_API ZebResult zebiDCTQuantInv8x8LS_JPEG_16s16u_C1R(const Zeb16s* pSrc, Zeb16u* pDst, int dstStep,
                                                       const Zeb32f* pQuantInvTable) {
    ZEB_CHECK(ptr(pSrc, pDst), step(dstStep), ptr(pQuantInvTable));
    zeb::dct::idctQuant12<zeb::Path::Vector>(pSrc, pDst, dstStep, pQuantInvTable);
    return zebOk;
}

}  // extern "C"
