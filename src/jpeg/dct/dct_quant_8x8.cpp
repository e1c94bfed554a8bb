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

// The rows stay in registers from the samples to the quantised coefficients
// and back (inlined into each entry point, so that they are not spilled to
// pass them).
[[gnu::always_inline]] inline void fdctQuantRows(const __m128i* x, Zeb16s* dst, const Zeb16u* table) {
    __m128i y[8];
    dct::fdct8x8Rows(x, y);
    for (int k = 0; k < 8; ++k) zeb::storeu(dst + 8 * k, dct::quantRoundVec(y[k], zeb::loadu(table + 8 * k)));
}

void fdctQuant(const Zeb16s* src, Zeb16s* dst, const Zeb16u* table) {
    __m128i x[8];
    for (int r = 0; r < 8; ++r) x[r] = zeb::loadu(src + 8 * r);
    fdctQuantRows(x, dst, table);
}

[[gnu::always_inline]] inline void dequantRows(const Zeb16s* src, const Zeb16u* table, __m128i* out) {
    __m128i z[8];
    for (int k = 0; k < 8; ++k) z[k] = _mm_mullo_epi16(zeb::loadu(src + 8 * k), zeb::loadu(table + 8 * k));
    dct::idct8x8Rows(z, out);
}

void dequantIdct(const Zeb16s* src, Zeb16s* dst, const Zeb16u* table) {
    __m128i x[8];
    dequantRows(src, table, x);
    for (int r = 0; r < 8; ++r) zeb::storeu(dst + 8 * r, x[r]);
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
    __m128i x[8];
    dct::sub128Rows(pSrc, srcStep, x);
    fdctQuantRows(x, pDst, pQuantFwdTable);
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
    __m128i z[8], x[8];
    for (int k = 0; k < 8; ++k) z[k] = zeb::loadu(pSrc + 8 * k);
    dct::idct8x8Rows(z, x);
    dct::storeShiftClipRows(x, pDst, dstStep, levelShift, clipMin, clipMax);
    return zebOk;
}

ZEB_API ZebResult zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(const Zeb16s* pSrc, Zeb8u* pDst, int dstStep,
                                                      const Zeb16u* pQuantInvTable) {
    ZEB_CHECK(ptr(pSrc, pDst), step(dstStep), ptr(pQuantInvTable));
    __m128i x[8];
    dequantRows(pSrc, pQuantInvTable, x);
    // Level shift by 128 and saturation to 0..255, as storeShiftClipRows
    // with the full range (whose extra clamps are then no-ops).
    const __m128i shift = _mm_set1_epi16(128);
    for (int r = 0; r < 8; r += 2) {
        const __m128i v = _mm_packus_epi16(_mm_add_epi16(x[r], shift), _mm_add_epi16(x[r + 1], shift));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(zeb::rowAt(pDst, dstStep, r)), v);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(zeb::rowAt(pDst, dstStep, r + 1)), _mm_srli_si128(v, 8));
    }
    return zebOk;
}

}  // extern "C"
