// Chroma down- and up-sampling: whole regions (the caller supplies the context
// samples around the region) and single rows (edges handled here).
#include <algorithm>

#include "core/check.h"
#include "core/threading.h"
#include "sampling_kernels.h"

namespace {

using zeb::Path;
using zeb::rowAt;
namespace smp = zeb::sampling;

}  // namespace

extern "C" {

ZEB_API ZebResult zebiSampleDownH2V1_JPEG_8u_C1R(const Zeb8u* pSrc, int srcStep, ZebSize srcRoiSize, Zeb8u* pDst,
                                                 int dstStep, ZebSize dstRoiSize) {
    ZEB_CHECK(ptr(pSrc), step(srcStep), size(srcRoiSize), ptr(pDst), step(dstStep), size(dstRoiSize));
    zeb::forEachRow(dstRoiSize.width, dstRoiSize.height, [&](int y) {
        smp::downsampleBox<Path::Vector, 1>(rowAt(pSrc, srcStep, y), nullptr, rowAt(pDst, dstStep, y),
                                            dstRoiSize.width, 1, 1);
    });
    return zebOk;
}

ZEB_API ZebResult zebiSampleDownH2V2_JPEG_8u_C1R(const Zeb8u* pSrc, int srcStep, ZebSize srcRoiSize, Zeb8u* pDst,
                                                 int dstStep, ZebSize dstRoiSize) {
    ZEB_CHECK(ptr(pSrc), step(srcStep), size(srcRoiSize), ptr(pDst), step(dstStep), size(dstRoiSize));
    zeb::forEachRow(dstRoiSize.width, dstRoiSize.height, [&](int y) {
        smp::downsampleBox<Path::Vector, 2>(rowAt(pSrc, srcStep, 2 * y), rowAt(pSrc, srcStep, 2 * y + 1),
                                            rowAt(pDst, dstStep, y), dstRoiSize.width, 3, 3);
    });
    return zebOk;
}

ZEB_API ZebResult zebiSampleUpH2V1_JPEG_8u_C1R(const Zeb8u* pSrc, int srcStep, ZebSize srcRoiSize, Zeb8u* pDst,
                                               int dstStep, ZebSize dstRoiSize) {
    ZEB_CHECK(ptr(pSrc), step(srcStep), size(srcRoiSize), ptr(pDst), step(dstStep), size(dstRoiSize));
    for (int y = 0; y < dstRoiSize.height; ++y)
        smp::upsampleRegionRowH2V1<Path::Vector>(rowAt(pSrc, srcStep, y), rowAt(pDst, dstStep, y), dstRoiSize.width);
    return zebOk;
}

ZEB_API ZebResult zebiSampleUpH2V2_JPEG_8u_C1R(const Zeb8u* pSrc, int srcStep, ZebSize srcRoiSize, Zeb8u* pDst,
                                               int dstStep, ZebSize dstRoiSize) {
    ZEB_CHECK(ptr(pSrc), step(srcStep), size(srcRoiSize), ptr(pDst), step(dstStep), size(dstRoiSize));
    // Bands of kUpBand rows, each put out by the call for its first row
    // (whichever thread's share of rows that falls in).
    constexpr int kUpBand = 16;
    zeb::forEachRow(dstRoiSize.width, dstRoiSize.height, [&](int y) {
        if (y % kUpBand == 0)
            smp::upsampleRegionRowsH2V2<Path::Vector>(pSrc, srcStep, pDst, dstStep, y,
                                                      std::min(y + kUpBand, dstRoiSize.height), dstRoiSize.width);
    });
    return zebOk;
}

ZEB_API ZebResult zebiSampleDownRowH2V1_Box_JPEG_8u_C1(const Zeb8u* pSrc, int srcWidth, Zeb8u* pDst) {
    ZEB_CHECK(ptr(pSrc, pDst), length(srcWidth));
    smp::downsampleBox<Path::Vector, 1>(pSrc, nullptr, pDst, srcWidth / 2, 0, 1);
    return zebOk;
}

ZEB_API ZebResult zebiSampleDownRowH2V2_Box_JPEG_8u_C1(const Zeb8u* pSrc1, const Zeb8u* pSrc2, int srcWidth,
                                                       Zeb8u* pDst) {
    ZEB_CHECK(ptr(pSrc1, pSrc2, pDst), length(srcWidth));
    smp::downsampleBox<Path::Vector, 2>(pSrc1, pSrc2, pDst, srcWidth / 2, 1, 2);
    return zebOk;
}

ZEB_API ZebResult zebiSampleUpRowH2V1_Triangle_JPEG_8u_C1(const Zeb8u* pSrc, int srcWidth, Zeb8u* pDst) {
    ZEB_CHECK(ptr(pSrc, pDst), length(srcWidth));
    smp::upsampleRowH2V1<Path::Vector>(pSrc, pDst, srcWidth);
    return zebOk;
}

ZEB_API ZebResult zebiSampleUpRowH2V2_Triangle_JPEG_8u_C1(const Zeb8u* pSrc1, const Zeb8u* pSrc2, int srcWidth,
                                                          Zeb8u* pDst) {
    ZEB_CHECK(ptr(pSrc1, pSrc2, pDst), length(srcWidth));
    smp::upsampleRowH2V2<Path::Vector>(pSrc1, pSrc2, pDst, srcWidth);
    return zebOk;
}

// Same filter as the H2V2 row form; the names serve different sampling factors.
ZEB_API ZebResult zebiSampleUpRowH1V2_Triangle_JPEG_8u_C1(const Zeb8u* pSrc1, const Zeb8u* pSrc2, int srcWidth,
                                                          Zeb8u* pDst) {
    return zebiSampleUpRowH2V2_Triangle_JPEG_8u_C1(pSrc1, pSrc2, srcWidth, pDst);
}

}  // extern "C"
