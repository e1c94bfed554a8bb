// Quantisation tables (quality scaling, Q15 forward and plain inverse tables
// in natural order) and the plain 8x8 quantiser and de-quantiser.
#include <cstdint>

#include "core/check.h"
#include "jpeg/dct/quant_kernels.h"

namespace {

using zeb::Path;

// Widens the 64 zigzag-ordered raw bytes and reorders them into natural order.
ZebResult rawToNatural(const Zeb8u* raw, Zeb16u* table) {
    alignas(16) Zeb16u wide[64];
    if (const ZebResult r = zebiConvert_8u16u_C1R(raw, 8, wide, 16, {8, 8}); r != zebOk) return r;
    return zebiZigzagInv8x8_16s_C1(reinterpret_cast<const Zeb16s*>(wide), reinterpret_cast<Zeb16s*>(table));
}

}  // namespace

extern "C" {

ZEB_API ZebResult zebiQuantFwdRawTableInit_JPEG_8u(Zeb8u* pQuantRawTable, int qualityFactor) {
    ZEB_CHECK(ptr(pQuantRawTable), when(qualityFactor < 1, zebErrBadArg));
    // 64-bit: the scale goes negative without bound for large quality factors.
    const long long scale = qualityFactor < 50 ? 5000 / qualityFactor : 200 - 2LL * qualityFactor;
    for (int k = 0; k < 64; ++k) {
        const long long t = (pQuantRawTable[k] * scale + 50) / 100;
        pQuantRawTable[k] = static_cast<Zeb8u>(t < 1 ? 1 : (t > 255 ? 255 : t));
    }
    return zebOk;
}

ZEB_API ZebResult zebiQuantFwdTableInit_JPEG_8u16u(const Zeb8u* pQuantRawTable, Zeb16u* pQuantFwdTable) {
    ZEB_CHECK(ptr(pQuantRawTable), ptr(pQuantFwdTable));
    if (const ZebResult r = rawToNatural(pQuantRawTable, pQuantFwdTable); r != zebOk) return r;
    return zebsDivCRev_16u_I(32768, pQuantFwdTable, 64);
}

ZEB_API ZebResult zebiQuantInvTableInit_JPEG_8u16u(const Zeb8u* pQuantRawTable, Zeb16u* pQuantInvTable) {
    ZEB_CHECK(ptr(pQuantInvTable), ptr(pQuantRawTable));
    return rawToNatural(pQuantRawTable, pQuantInvTable);
}

ZEB_API ZebResult zebiQuantFwd8x8_JPEG_16s_C1I(Zeb16s* pSrcDst, const Zeb16u* pQuantFwdTable) {
    ZEB_CHECK(ptr(pSrcDst, pQuantFwdTable));
    zeb::dct::quantQ15<Path::Vector>(pSrcDst, pQuantFwdTable);
    return zebOk;
}

ZEB_API ZebResult zebiQuantInv8x8_JPEG_16s_C1I(Zeb16s* pSrcDst, const Zeb16u* pQuantInvTable) {
    ZEB_CHECK(ptr(pSrcDst, pQuantInvTable));
    zeb::dct::dequant<Path::Vector>(pSrcDst, pQuantInvTable, pSrcDst);
    return zebOk;
}

}  // extern "C"
