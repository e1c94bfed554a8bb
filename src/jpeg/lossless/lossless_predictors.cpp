// T.81 lossless predictors: difference rows (encoder) and reconstructed rows
// (decoder), first row and predictors 1 to 7.
#include <cstddef>

#include "core/check.h"
#include "jpeg/lossless/lossless_predictor_kernels.h"

using zeb::Path;
namespace ll = zeb::lossless;

extern "C" {

ZEB_API ZebResult zebiDiffPredFirstRow_JPEG_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst, int width, int P, int Pt) {
    ZEB_CHECK(ptr(pSrc, pDst), length(width), when(P < 2 || P > 16 || Pt < 0, zebErrBadArg));
    ll::diffFirstRow<Path::Vector>(pSrc, pDst, static_cast<std::size_t>(width), P, Pt);
    return zebOk;
}

ZEB_API ZebResult zebiDiffPredRow_JPEG_16s_C1(const Zeb16s* pSrc, const Zeb16s* pPrevRow, Zeb16s* pDst, int width,
                                              int predictor) {
    ZEB_CHECK(ptr(pSrc, pPrevRow, pDst), length(width), when(predictor < 1 || predictor > 7, zebErrBadArg));
    ll::diffRowAny<Path::Vector>(predictor, pSrc, pPrevRow, pDst, static_cast<std::size_t>(width));
    return zebOk;
}

ZEB_API ZebResult zebiReconstructPredFirstRow_JPEG_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst, int width, int P, int Pt) {
    ZEB_CHECK(ptr(pSrc, pDst), length(width), when(P < 2 || P > 16 || Pt < 0, zebErrBadArg));
    ll::reconstructFirstRow<Path::Vector>(pSrc, pDst, static_cast<std::size_t>(width), P, Pt);
    return zebOk;
}

ZEB_API ZebResult zebiReconstructPredRow_JPEG_16s_C1(const Zeb16s* pSrc, const Zeb16s* pPrevRow, Zeb16s* pDst,
                                                     int width, int predictor) {
    ZEB_CHECK(ptr(pSrc, pPrevRow, pDst), length(width), when(predictor < 1 || predictor > 7, zebErrBadArg));
    ll::reconstructRowAny<Path::Vector>(predictor, pSrc, pPrevRow, pDst, static_cast<std::size_t>(width));
    return zebOk;
}

}  // extern "C"
