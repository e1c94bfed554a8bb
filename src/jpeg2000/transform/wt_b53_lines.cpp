// 5/3 line primitives: row and column forms with caller-supplied borders, and
// the incremental column forms (ColLift: 16-bit wrapping sums for 16s;
// ColStep: exact sums for 16s; both 32-bit wrapping for 32s).
#include "core/check.h"
#include "jpeg2000/transform/wt_b53_kernels.h"

namespace {

using zeb::Path;
using zeb::rowAt;
namespace k53 = zeb::wt53;

template <class A>
using Elem = typename A::T;

template <class A>
ZebResult fwdRow(const Elem<A>* pSrc, int srcStep, Elem<A>* pDstLow, int dstLowStep, Elem<A>* pDstHigh,
                 int dstHighStep, ZebSize roi, int phase) {
    ZEB_CHECK(ptr(pSrc, pDstLow, pDstHigh), step(srcStep, dstLowStep, dstHighStep), size(roi));
    const int p = phase ? 1 : 0;
    constexpr std::ptrdiff_t e = sizeof(Elem<A>);
    for (int y = 0; y < roi.height; ++y)
        k53::fwdLine<A, Path::Vector>(rowAt(pSrc, srcStep, y) - p, p, roi.width, roi.width,
                                      rowAt(pDstLow, dstLowStep, y), e, rowAt(pDstHigh, dstHighStep, y), e);
    return zebOk;
}

template <class A>
ZebResult invRow(const Elem<A>* pSrcLow, int srcLowStep, const Elem<A>* pSrcHigh, int srcHighStep, ZebSize roi,
                 Elem<A>* pDst, int dstStep, int phase) {
    ZEB_CHECK(ptr(pSrcLow, pSrcHigh, pDst), step(srcLowStep, srcHighStep, dstStep), size(roi));
    const int p = phase ? 1 : 0;
    for (int y = 0; y < roi.height; ++y)
        k53::invLine<A, Path::Vector>(
            k53::SplitBands<Elem<A>>{rowAt(pSrcLow, srcLowStep, y), rowAt(pSrcHigh, srcHighStep, y), p}, p,
            roi.width, roi.width, rowAt(pDst, dstStep, y), sizeof(Elem<A>));
    return zebOk;
}

template <class A>
ZebResult fwdCol(const Elem<A>* pSrc, int srcStep, Elem<A>* pDstLow, int dstLowStep, Elem<A>* pDstHigh,
                 int dstHighStep, ZebSize roi, int phase) {
    ZEB_CHECK(ptr(pSrc, pDstLow, pDstHigh), step(srcStep, dstLowStep, dstHighStep), size(roi));
    k53::fwdColumns<A, Path::Vector>(pSrc, srcStep, pDstLow, dstLowStep, pDstHigh, dstHighStep, roi.width,
                                     roi.height, roi.height, phase ? 1 : 0);
    return zebOk;
}

template <class A>
ZebResult invCol(const Elem<A>* pSrcLow, int srcLowStep, const Elem<A>* pSrcHigh, int srcHighStep, ZebSize roi,
                 Elem<A>* pDst, int dstStep, int phase) {
    ZEB_CHECK(ptr(pSrcLow, pSrcHigh, pDst), step(srcLowStep, srcHighStep, dstStep), size(roi));
    k53::invColumns<A, Path::Vector>(pSrcLow, srcLowStep, pSrcHigh, srcHighStep, pDst, dstStep, roi.width,
                                     roi.height, roi.height, phase ? 1 : 0);
    return zebOk;
}

template <class A>
ZebResult fwdStep(const Elem<A>* pSrc0, const Elem<A>* pSrc1, const Elem<A>* pSrc2, Elem<A>* pDstLow,
                  const Elem<A>* pSrcHighPrev, Elem<A>* pDstHigh, int width) {
    ZEB_CHECK(ptr(pSrc0, pSrc1, pSrc2, pDstLow, pSrcHighPrev, pDstHigh), length(width));
    k53::rowFwdStep<A, Path::Vector>(pDstLow, pDstHigh, pSrc0, pSrc1, pSrc2, pSrcHighPrev, width);
    return zebOk;
}

template <class A>
ZebResult invStep(const Elem<A>* pSrcLow, const Elem<A>* pSrcHighPrev, const Elem<A>* pSrcHigh,
                  const Elem<A>* pSrcEvenPrev, Elem<A>* pDstOdd, Elem<A>* pDstEven, int width) {
    ZEB_CHECK(ptr(pSrcLow, pSrcHighPrev, pSrcHigh, pSrcEvenPrev, pDstOdd, pDstEven), length(width));
    k53::rowInvStep<A, Path::Vector>(pDstOdd, pDstEven, pSrcLow, pSrcHighPrev, pSrcHigh, pSrcEvenPrev, width);
    return zebOk;
}

}  // namespace

extern "C" {

// ---- rows ----
ZEB_API ZebResult zebiWTFwdRow_B53_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, Zeb16s* pDstLow, int dstLowStep,
                                                  Zeb16s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase) {
    return fwdRow<k53::Wrap16>(pSrc, srcStep, pDstLow, dstLowStep, pDstHigh, dstHighStep, dstRoiSize, phase);
}
ZEB_API ZebResult zebiWTFwdRow_B53_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, Zeb32s* pDstLow, int dstLowStep,
                                                  Zeb32s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase) {
    return fwdRow<k53::Wrap32>(pSrc, srcStep, pDstLow, dstLowStep, pDstHigh, dstHighStep, dstRoiSize, phase);
}
ZEB_API ZebResult zebiWTInvRow_B53_JPEG2K_16s_C1R(const Zeb16s* pSrcLow, int srcLowStep, const Zeb16s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb16s* pDst, int dstStep,
                                                  int phase) {
    return invRow<k53::Wrap16>(pSrcLow, srcLowStep, pSrcHigh, srcHighStep, srcRoiSize, pDst, dstStep, phase);
}
ZEB_API ZebResult zebiWTInvRow_B53_JPEG2K_32s_C1R(const Zeb32s* pSrcLow, int srcLowStep, const Zeb32s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb32s* pDst, int dstStep,
                                                  int phase) {
    return invRow<k53::Wrap32>(pSrcLow, srcLowStep, pSrcHigh, srcHighStep, srcRoiSize, pDst, dstStep, phase);
}

// ---- columns ----
ZEB_API ZebResult zebiWTFwdCol_B53_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, Zeb16s* pDstLow, int dstLowStep,
                                                  Zeb16s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase) {
    return fwdCol<k53::Wrap16>(pSrc, srcStep, pDstLow, dstLowStep, pDstHigh, dstHighStep, dstRoiSize, phase);
}
ZEB_API ZebResult zebiWTFwdCol_B53_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, Zeb32s* pDstLow, int dstLowStep,
                                                  Zeb32s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase) {
    return fwdCol<k53::Wrap32>(pSrc, srcStep, pDstLow, dstLowStep, pDstHigh, dstHighStep, dstRoiSize, phase);
}
ZEB_API ZebResult zebiWTInvCol_B53_JPEG2K_16s_C1R(const Zeb16s* pSrcLow, int srcLowStep, const Zeb16s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb16s* pDst, int dstStep,
                                                  int phase) {
    return invCol<k53::Wrap16>(pSrcLow, srcLowStep, pSrcHigh, srcHighStep, srcRoiSize, pDst, dstStep, phase);
}
ZEB_API ZebResult zebiWTInvCol_B53_JPEG2K_32s_C1R(const Zeb32s* pSrcLow, int srcLowStep, const Zeb32s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb32s* pDst, int dstStep,
                                                  int phase) {
    return invCol<k53::Wrap32>(pSrcLow, srcLowStep, pSrcHigh, srcHighStep, srcRoiSize, pDst, dstStep, phase);
}

// ---- incremental columns ----
ZEB_API ZebResult zebiWTFwdColLift_B53_JPEG2K_16s_C1(const Zeb16s* pSrc0, const Zeb16s* pSrc1, const Zeb16s* pSrc2,
                                                     Zeb16s* pDstLow, const Zeb16s* pSrcHighPrev, Zeb16s* pDstHigh,
                                                     int width) {
    return fwdStep<k53::Wrap16>(pSrc0, pSrc1, pSrc2, pDstLow, pSrcHighPrev, pDstHigh, width);
}
ZEB_API ZebResult zebiWTFwdColLift_B53_JPEG2K_32s_C1(const Zeb32s* pSrc0, const Zeb32s* pSrc1, const Zeb32s* pSrc2,
                                                     Zeb32s* pDstLow, const Zeb32s* pSrcHighPrev, Zeb32s* pDstHigh,
                                                     int width) {
    return fwdStep<k53::Wrap32>(pSrc0, pSrc1, pSrc2, pDstLow, pSrcHighPrev, pDstHigh, width);
}
ZEB_API ZebResult zebiWTFwdColStep_B53_JPEG2K_16s_C1(const Zeb16s* pSrc0, const Zeb16s* pSrc1, const Zeb16s* pSrc2,
                                                     Zeb16s* pDstLow, const Zeb16s* pSrcHighPrev, Zeb16s* pDstHigh,
                                                     int width) {
    return fwdStep<k53::Wide16>(pSrc0, pSrc1, pSrc2, pDstLow, pSrcHighPrev, pDstHigh, width);
}
ZEB_API ZebResult zebiWTFwdColStep_B53_JPEG2K_32s_C1(const Zeb32s* pSrc0, const Zeb32s* pSrc1, const Zeb32s* pSrc2,
                                                     Zeb32s* pDstLow, const Zeb32s* pSrcHighPrev, Zeb32s* pDstHigh,
                                                     int width) {
    return fwdStep<k53::Wrap32>(pSrc0, pSrc1, pSrc2, pDstLow, pSrcHighPrev, pDstHigh, width);
}
ZEB_API ZebResult zebiWTInvColLift_B53_JPEG2K_16s_C1(const Zeb16s* pSrcLow, const Zeb16s* pSrcHighPrev,
                                                     const Zeb16s* pSrcHigh, const Zeb16s* pSrcEvenPrev,
                                                     Zeb16s* pDstOdd, Zeb16s* pDstEven, int width) {
    return invStep<k53::Wrap16>(pSrcLow, pSrcHighPrev, pSrcHigh, pSrcEvenPrev, pDstOdd, pDstEven, width);
}
ZEB_API ZebResult zebiWTInvColLift_B53_JPEG2K_32s_C1(const Zeb32s* pSrcLow, const Zeb32s* pSrcHighPrev,
                                                     const Zeb32s* pSrcHigh, const Zeb32s* pSrcEvenPrev,
                                                     Zeb32s* pDstOdd, Zeb32s* pDstEven, int width) {
    return invStep<k53::Wrap32>(pSrcLow, pSrcHighPrev, pSrcHigh, pSrcEvenPrev, pDstOdd, pDstEven, width);
}
ZEB_API ZebResult zebiWTInvColStep_B53_JPEG2K_16s_C1(const Zeb16s* pSrcLow, const Zeb16s* pSrcHighPrev,
                                                     const Zeb16s* pSrcHigh, const Zeb16s* pSrcEvenPrev,
                                                     Zeb16s* pDstOdd, Zeb16s* pDstEven, int width) {
    return invStep<k53::Wide16>(pSrcLow, pSrcHighPrev, pSrcHigh, pSrcEvenPrev, pDstOdd, pDstEven, width);
}
ZEB_API ZebResult zebiWTInvColStep_B53_JPEG2K_32s_C1(const Zeb32s* pSrcLow, const Zeb32s* pSrcHighPrev,
                                                     const Zeb32s* pSrcHigh, const Zeb32s* pSrcEvenPrev,
                                                     Zeb32s* pDstOdd, Zeb32s* pDstEven, int width) {
    return invStep<k53::Wrap32>(pSrcLow, pSrcHighPrev, pSrcHigh, pSrcEvenPrev, pDstOdd, pDstEven, width);
}

}  // extern "C"
