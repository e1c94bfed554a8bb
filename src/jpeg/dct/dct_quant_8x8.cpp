// Fused 8x8 DCT and quantisation of the 8-bit path (16-bit fixed point):
// forward with or without the level shift, inverse with or without level
// shift and clipping.
#include <cstdint>

#include "core/check.h"
#include "jpeg/dct/dct16_kernels.h"
#include "jpeg/dct/quant_kernels.h"

namespace {

using zeb::Path;
namespace dct = zeb::dct;

void fdctQuant(const Zeb16s* src, Zeb16s* dst, const Zeb16u* table) {
    alignas(16) Zeb16s b[64];
    dct::fdct8x8<Path::Vector>(src, b);
    dct::quantRound<Path::Vector>(b, table);
    for (int i = 0; i < 64; i += 8) zeb::storeu(dst + i, _mm_load_si128(reinterpret_cast<const __m128i*>(b + i)));
}

void dequantIdct(const Zeb16s* src, Zeb16s* dst, const Zeb16u* table) {
    alignas(16) Zeb16s b[64];
    dct::dequant<Path::Vector>(src, table, b);
    dct::idct8x8<Path::Vector>(b, dst);
}

}  // namespace

extern "C" {

ZEB_API ZebResult zebiDCTQuantFwd8x8_JPEG_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst, const Zeb16u* pQuantFwdTable) {
    ZEB_CHECK(ptr(pSrc, pDst, pQuantFwdTable));
    fdctQuant(pSrc, pDst, pQuantFwdTable);
    return zebOk;
}

ZEB_API ZebResult zebiDCTQuantFwd8x8_JPEG_16s_C1I(Zeb16s* pSrcDst, const Zeb16u* pQuantFwdTable) {
    ZEB_CHECK(ptr(pSrcDst, pQuantFwdTable));
    fdctQuant(pSrcDst, pSrcDst, pQuantFwdTable);
    return zebOk;
}

ZEB_API ZebResult zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(const Zeb8u* pSrc, int srcStep, Zeb16s* pDst,
                                                      const Zeb16u* pQuantFwdTable) {
    ZEB_CHECK(ptr(pSrc, pDst), step(srcStep), ptr(pQuantFwdTable));
    alignas(16) Zeb16s b[64];
    dct::sub128Block<Path::Vector>(pSrc, srcStep, b);
    fdctQuant(b, pDst, pQuantFwdTable);
    return zebOk;
}

ZEB_API ZebResult zebiDCTQuantInv8x8_JPEG_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst, const Zeb16u* pQuantInvTable) {
    ZEB_CHECK(ptr(pSrc, pDst, pQuantInvTable));
    dequantIdct(pSrc, pDst, pQuantInvTable);
    return zebOk;
}

ZEB_API ZebResult zebiDCTQuantInv8x8_JPEG_16s_C1I(Zeb16s* pSrcDst, const Zeb16u* pQuantInvTable) {
    ZEB_CHECK(ptr(pSrcDst, pQuantInvTable));
    dequantIdct(pSrcDst, pSrcDst, pQuantInvTable);
    return zebOk;
}

ZEB_API ZebResult zebiDCT8x8InvLSClip_16s8u_C1R(const Zeb16s* pSrc, Zeb8u* pDst, int dstStep, Zeb16s levelShift,
                                                Zeb8u clipMin, Zeb8u clipMax) {
    ZEB_CHECK(ptr(pSrc, pDst), step(dstStep));
    alignas(16) Zeb16s b[64];
    dct::idct8x8<Path::Vector>(pSrc, b);
    dct::storeShiftClip<Path::Vector>(b, pDst, dstStep, levelShift, clipMin, clipMax);
    return zebOk;
}

ZEB_API ZebResult zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(const Zeb16s* pSrc, Zeb8u* pDst, int dstStep,
                                                      const Zeb16u* pQuantInvTable) {
    ZEB_CHECK(ptr(pSrc, pDst), step(dstStep), ptr(pQuantInvTable));
    alignas(16) Zeb16s b[64];
    dct::dequant<Path::Vector>(pSrc, pQuantInvTable, b);
    return zebiDCT8x8InvLSClip_16s8u_C1R(b, pDst, dstStep, 128, 0, 255);
}

}  // extern "C"
