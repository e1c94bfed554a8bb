// Image helpers: 8u->16u widening, 16-bit and 32-bit plane copies, AND with a
// constant, and the zigzag-to-natural reordering of an 8x8 block.
#include <cstdint>

#include "check.h"
#include "vector_kernels.h"
#include "zigzag.h"

namespace {

using zeb::Path;
using zeb::rowAt;

// Copies width*elemSize bytes per row.  Equal steps that match the row length
// make the region one contiguous row; large regions bypass the cache.
void copyPlane(const void* src, int srcStep, void* dst, int dstStep, ZebSize roi, int elemSize) {
    const std::size_t rowBytes = static_cast<std::size_t>(roi.width) * elemSize;
    const std::size_t total = rowBytes * static_cast<std::size_t>(roi.height);
    const bool stream = total >= 1048577;
    auto s = static_cast<const std::uint8_t*>(src);
    auto d = static_cast<std::uint8_t*>(dst);
    if (static_cast<std::size_t>(srcStep) == rowBytes && srcStep == dstStep) {
        zeb::kern::copyBytes<Path::Vector>(s, d, total, stream);
        return;
    }
    for (int y = 0; y < roi.height; ++y)
        zeb::kern::copyBytes<Path::Vector>(rowAt(s, srcStep, y), rowAt(d, dstStep, y), rowBytes, stream);
}

}  // namespace

extern "C" {

ZEB_API ZebResult zebiConvert_8u16u_C1R(const Zeb8u* pSrc, int srcStep, Zeb16u* pDst, int dstStep, ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc, pDst), size(roiSize), step(srcStep, dstStep));
    const long long pixels = static_cast<long long>(roiSize.width) * roiSize.height;
    if (srcStep == roiSize.width && dstStep == 2 * srcStep) {
        zeb::kern::widen8u16u<Path::Vector>(pSrc, pDst, static_cast<std::size_t>(pixels), pixels > 699050);
        return zebOk;
    }
    const bool stream = pixels >= 1398101 && roiSize.width > 512;
    for (int y = 0; y < roiSize.height; ++y)
        zeb::kern::widen8u16u<Path::Vector>(rowAt(pSrc, srcStep, y), rowAt(pDst, dstStep, y),
                                            static_cast<std::size_t>(roiSize.width), stream);
    return zebOk;
}

ZEB_API ZebResult zebiCopy_16s_C1R(const Zeb16s* pSrc, int srcStep, Zeb16s* pDst, int dstStep, ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc, pDst), size(roiSize));
    copyPlane(pSrc, srcStep, pDst, dstStep, roiSize, 2);
    return zebOk;
}

ZEB_API ZebResult zebiCopy_32f_C1R(const Zeb32f* pSrc, int srcStep, Zeb32f* pDst, int dstStep, ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc, pDst), size(roiSize));
    copyPlane(pSrc, srcStep, pDst, dstStep, roiSize, 4);
    return zebOk;
}

ZEB_API ZebResult zebiAndC_32s_C1R(const Zeb32s* pSrc, int srcStep, Zeb32s value, Zeb32s* pDst, int dstStep,
                                   ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc, pDst), step(srcStep, dstStep), size(roiSize));
    for (int y = 0; y < roiSize.height; ++y)
        zeb::kern::andC32<Path::Vector>(rowAt(pSrc, srcStep, y), value, rowAt(pDst, dstStep, y),
                                        static_cast<std::size_t>(roiSize.width));
    return zebOk;
}

ZEB_API ZebResult zebiAndC_32s_C1IR(Zeb32s value, Zeb32s* pSrcDst, int srcDstStep, ZebSize roiSize) {
    return zebiAndC_32s_C1R(pSrcDst, srcDstStep, value, pSrcDst, srcDstStep, roiSize);
}

ZEB_API ZebResult zebiZigzagInv8x8_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst) {
    ZEB_CHECK(ptr(pSrc, pDst));
    for (int k = 0; k < 64; ++k) pDst[k] = pSrc[zeb::kNaturalToZigzag[k]];
    return zebOk;
}

}  // extern "C"
