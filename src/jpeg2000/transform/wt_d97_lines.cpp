// Exported 9/7 line primitives: rows, columns and the incremental column
// steps in the 16s (saturating), 32s (Q16) and 32f (single precision) families.
#include "core/check.h"
#include "jpeg2000/transform/wt_d97_lines.h"

namespace {

using zeb::Path;
namespace d97 = zeb::d97;

template <class F>
ZebResult fwdRows(const typename F::T* pSrc, int srcStep, typename F::T* pDstLow, int dstLowStep,
                  typename F::T* pDstHigh, int dstHighStep, ZebSize roi, int phase) {
    ZEB_CHECK(ptr(pSrc, pDstLow, pDstHigh), step(srcStep, dstLowStep, dstHighStep), size(roi));
    d97::fwdRows<F, Path::Vector>(pSrc, srcStep, pDstLow, dstLowStep, pDstHigh, dstHighStep, roi, phase);
    return zebOk;
}

template <class F>
ZebResult invRows(const typename F::T* pSrcLow, int srcLowStep, const typename F::T* pSrcHigh, int srcHighStep,
                  ZebSize roi, typename F::T* pDst, int dstStep, int phase) {
    ZEB_CHECK(ptr(pSrcLow, pSrcHigh, pDst), step(srcLowStep, srcHighStep, dstStep), size(roi));
    d97::invRows<F, Path::Vector>(pSrcLow, srcLowStep, pSrcHigh, srcHighStep, roi, pDst, dstStep, phase);
    return zebOk;
}

template <class F>
ZebResult fwdCols(const typename F::T* pSrc, int srcStep, typename F::T* pDstLow, int dstLowStep,
                  typename F::T* pDstHigh, int dstHighStep, ZebSize roi, int phase) {
    ZEB_CHECK(ptr(pSrc, pDstLow, pDstHigh), step(srcStep, dstLowStep, dstHighStep), size(roi));
    d97::fwdCols<F, Path::Vector>(pSrc, srcStep, pDstLow, dstLowStep, pDstHigh, dstHighStep, roi, phase);
    return zebOk;
}

template <class F>
ZebResult invCols(const typename F::T* pSrcLow, int srcLowStep, const typename F::T* pSrcHigh, int srcHighStep,
                  ZebSize roi, typename F::T* pDst, int dstStep, int phase) {
    ZEB_CHECK(ptr(pSrcLow, pSrcHigh, pDst), step(srcLowStep, srcHighStep, dstStep), size(roi));
    d97::invCols<F, Path::Vector>(pSrcLow, srcLowStep, pSrcHigh, srcHighStep, roi, pDst, dstStep, phase);
    return zebOk;
}

template <class F, class T = typename F::T>
ZebResult fwdColLift(const T* pSrc0, const T* pSrc1, const T* pSrc2, T* pLowState, T* pLowStateNew, T* pHighState,
                     T* pHighStatePrev, T* pHighStateNew, int width) {
    ZEB_CHECK(ptr(pSrc0, pSrc1, pSrc2, pLowState, pLowStateNew, pHighState, pHighStatePrev, pHighStateNew),
              length(width));
    d97::fwdColLift<F, Path::Vector>(pSrc0, pSrc1, pSrc2, pLowState, pLowStateNew, pHighState, pHighStatePrev,
                                     pHighStateNew, width);
    return zebOk;
}

template <class F, class T = typename F::T>
ZebResult invColLift(const T* pSrcLow, const T* pSrcHighPrev, const T* pSrcHigh, const T* pEvenPrev, T* pOddState,
                     T* pEvenState, T* pOddStateNew, T* pEvenStateNew, int width) {
    ZEB_CHECK(ptr(pSrcLow, pSrcHighPrev, pSrcHigh, pEvenPrev, pOddState, pEvenState, pOddStateNew, pEvenStateNew),
              length(width));
    d97::invColLift<F, Path::Vector>(pSrcLow, pSrcHighPrev, pSrcHigh, pEvenPrev, pOddState, pEvenState,
                                     pOddStateNew, pEvenStateNew, width);
    return zebOk;
}

}  // namespace

#define D97_ROWCOL(NAME, IMPL, TY, FAM)                                                                        \
    ZEB_API ZebResult NAME(const TY* a, int as, TY* b, int bs, TY* c, int cs, ZebSize roi, int phase) {        \
        return IMPL<d97::FAM>(a, as, b, bs, c, cs, roi, phase);                                               \
    }
#define D97_ROWCOL_INV(NAME, IMPL, TY, FAM)                                                                    \
    ZEB_API ZebResult NAME(const TY* a, int as, const TY* b, int bs, ZebSize roi, TY* c, int cs, int phase) {  \
        return IMPL<d97::FAM>(a, as, b, bs, roi, c, cs, phase);                                               \
    }
#define D97_FWDSTEP(NAME, TY, FAM)                                                                             \
    ZEB_API ZebResult NAME(const TY* s0, const TY* s1, const TY* s2, TY* lo, TY* loNew, TY* hi, TY* hiPrev,     \
                           TY* hiNew, int width) {                                                             \
        return fwdColLift<d97::FAM>(s0, s1, s2, lo, loNew, hi, hiPrev, hiNew, width);                          \
    }
#define D97_INVSTEP(NAME, TY, FAM)                                                                             \
    ZEB_API ZebResult NAME(const TY* lo, const TY* hiPrev, const TY* hi, const TY* evPrev, TY* od, TY* ev,      \
                           TY* odNew, TY* evNew, int width) {                                                  \
        return invColLift<d97::FAM>(lo, hiPrev, hi, evPrev, od, ev, odNew, evNew, width);                      \
    }

extern "C" {

D97_ROWCOL(zebiWTFwdRow_D97_JPEG2K_16s_C1R, fwdRows, Zeb16s, LineS16)
D97_ROWCOL(zebiWTFwdRow_D97_JPEG2K_32s_C1R, fwdRows, Zeb32s, LineS32)
D97_ROWCOL(zebiWTFwdRow_D97_JPEG2K_32f_C1R, fwdRows, Zeb32f, LineF32)
D97_ROWCOL_INV(zebiWTInvRow_D97_JPEG2K_16s_C1R, invRows, Zeb16s, LineS16)
D97_ROWCOL_INV(zebiWTInvRow_D97_JPEG2K_32s_C1R, invRows, Zeb32s, LineS32)
D97_ROWCOL_INV(zebiWTInvRow_D97_JPEG2K_32f_C1R, invRows, Zeb32f, LineF32)
D97_ROWCOL(zebiWTFwdCol_D97_JPEG2K_32s_C1R, fwdCols, Zeb32s, LineS32)
D97_ROWCOL(zebiWTFwdCol_D97_JPEG2K_32f_C1R, fwdCols, Zeb32f, LineF32)
D97_ROWCOL_INV(zebiWTInvCol_D97_JPEG2K_32s_C1R, invCols, Zeb32s, LineS32)
D97_ROWCOL_INV(zebiWTInvCol_D97_JPEG2K_32f_C1R, invCols, Zeb32f, LineF32)

D97_FWDSTEP(zebiWTFwdColLift_D97_JPEG2K_16s_C1, Zeb16s, LineS16)
D97_FWDSTEP(zebiWTFwdColLift_D97_JPEG2K_32s_C1, Zeb32s, LineS32)
D97_FWDSTEP(zebiWTFwdColLift_D97_JPEG2K_32f_C1, Zeb32f, LineF32)
// The single-precision ColStep form computes exactly as ColLift.
D97_FWDSTEP(zebiWTFwdColStep_D97_JPEG2K_32f_C1, Zeb32f, LineF32)
D97_INVSTEP(zebiWTInvColLift_D97_JPEG2K_16s_C1, Zeb16s, LineS16)
D97_INVSTEP(zebiWTInvColLift_D97_JPEG2K_32s_C1, Zeb32s, LineS32)
D97_INVSTEP(zebiWTInvColLift_D97_JPEG2K_32f_C1, Zeb32f, LineF32)
D97_INVSTEP(zebiWTInvColStep_D97_JPEG2K_32f_C1, Zeb32f, LineF32)

}  // extern "C"
