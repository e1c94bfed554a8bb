// Whole-region level shifts between 8-bit samples and signed 16-bit values.
#include <cstddef>

#include "core/check.h"
#include "core/threading.h"
#include "jpeg/dct/level_shift_kernels.h"

using zeb::Path;
using zeb::rowAt;

extern "C" {

ZEB_API ZebResult zebiSub128_JPEG_8u16s_C1R(const Zeb8u* pSrc, int srcStep, Zeb16s* pDst, int dstStep,
                                            ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), step(srcStep), ptr(pDst), step(dstStep), size(roiSize));
    const std::size_t w = static_cast<std::size_t>(roiSize.width);
    zeb::forEachRow(roiSize.width, roiSize.height, [&](int y) {
        zeb::dct::sub128Row<Path::Vector>(rowAt(pSrc, srcStep, y), rowAt(pDst, dstStep, y), w);
    });
    return zebOk;
}

ZEB_API ZebResult zebiAdd128_JPEG_16s8u_C1R(const Zeb16s* pSrc, int srcStep, Zeb8u* pDst, int dstStep,
                                            ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), step(srcStep), ptr(pDst), step(dstStep), size(roiSize));
    const std::size_t w = static_cast<std::size_t>(roiSize.width);
    zeb::forEachRow(roiSize.width, roiSize.height, [&](int y) {
        zeb::dct::add128Row<Path::Vector>(rowAt(pSrc, srcStep, y), rowAt(pDst, dstStep, y), w);
    });
    return zebOk;
}

}  // extern "C"
