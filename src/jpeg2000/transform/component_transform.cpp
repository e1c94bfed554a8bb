// JPEG 2000 component transforms: RCT (16s, 32s) and ICT (32f, 32s, 16s),
// interleaved to planar, planar to interleaved, and planar in place.
#include "component_transform_kernels.h"
#include "core/check.h"

namespace {

using zeb::Path;
using zeb::rowAt;
namespace ct = zeb::comptf;

// Runs a row kernel over every row; channel c of row y starts at in[c] + y
// steps (interleaved planes pass base, base + 1, base + 2).
template <class T, class RowFn>
void forRows(const T* const in[3], int inStep, T* const out[3], int outStep, ZebSize roi, RowFn rowFn) {
    for (int y = 0; y < roi.height; ++y) {
        const T* const ri[3] = {rowAt(in[0], inStep, y), rowAt(in[1], inStep, y), rowAt(in[2], inStep, y)};
        T* const ro[3] = {rowAt(out[0], outStep, y), rowAt(out[1], outStep, y), rowAt(out[2], outStep, y)};
        rowFn(ri, ro, roi.width);
    }
}

template <class Op>
using ElemOf = typename Op::Elem;

// Interleaved RGB to three planes.
template <class Op>
ZebResult c3p3(const ElemOf<Op>* pSrc, int srcStep, ElemOf<Op>* const pDst[3], int dstStep, ZebSize roi) {
    ZEB_CHECK(ptr(pSrc), planes(pDst, 3), step(srcStep, dstStep), size(roi));
    const ElemOf<Op>* const in[3] = {pSrc, pSrc + 1, pSrc + 2};
    forRows(in, srcStep, pDst, dstStep, roi, ct::transformRow<Path::Vector, Op, 3, 1>);
    return zebOk;
}

// Three planes to interleaved RGB.
template <class Op>
ZebResult p3c3(const ElemOf<Op>* const pSrc[3], int srcStep, ElemOf<Op>* pDst, int dstStep, ZebSize roi) {
    ZEB_CHECK(ptr(pDst), planes(pSrc, 3), step(srcStep, dstStep), size(roi));
    ElemOf<Op>* const out[3] = {pDst, pDst + 1, pDst + 2};
    forRows(pSrc, srcStep, out, dstStep, roi, ct::transformRow<Path::Vector, Op, 1, 3>);
    return zebOk;
}

// Three planes in place, through the generic row kernel.
template <class Op>
ZebResult p3i(ElemOf<Op>* const pSrcDst[3], int srcDstStep, ZebSize roi) {
    ZEB_CHECK(planes(pSrcDst, 3), step(srcDstStep), size(roi));
    forRows(pSrcDst, srcDstStep, pSrcDst, srcDstStep, roi, ct::transformRow<Path::Vector, Op, 1, 1>);
    return zebOk;
}

// Three 16-bit planes in place, through the eight-lane ICT kernel.
template <class Op>
ZebResult p3i16(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roi) {
    ZEB_CHECK(planes(pSrcDst, 3), step(srcDstStep), size(roi));
    forRows(pSrcDst, srcDstStep, pSrcDst, srcDstStep, roi, ct::ict16sRow<Path::Vector, Op>);
    return zebOk;
}

}  // namespace

extern "C" {

// ---- RCT ------------------------------------------------------------------------------------
ZEB_API ZebResult zebiRCTFwd_JPEG2K_32s_C3P3R(const Zeb32s* pSrc, int srcStep, Zeb32s* const pDst[3], int dstStep,
                                              ZebSize roiSize) {
    return c3p3<ct::RctFwd<Zeb32s>>(pSrc, srcStep, pDst, dstStep, roiSize);
}
ZEB_API ZebResult zebiRCTInv_JPEG2K_32s_P3C3R(const Zeb32s* const pSrc[3], int srcStep, Zeb32s* pDst, int dstStep,
                                              ZebSize roiSize) {
    return p3c3<ct::RctInv<Zeb32s>>(pSrc, srcStep, pDst, dstStep, roiSize);
}
ZEB_API ZebResult zebiRCTFwd_JPEG2K_16s_C3P3R(const Zeb16s* pSrc, int srcStep, Zeb16s* const pDst[3], int dstStep,
                                              ZebSize roiSize) {
    return c3p3<ct::RctFwd<Zeb16s>>(pSrc, srcStep, pDst, dstStep, roiSize);
}
ZEB_API ZebResult zebiRCTInv_JPEG2K_16s_P3C3R(const Zeb16s* const pSrc[3], int srcStep, Zeb16s* pDst, int dstStep,
                                              ZebSize roiSize) {
    return p3c3<ct::RctInv<Zeb16s>>(pSrc, srcStep, pDst, dstStep, roiSize);
}
ZEB_API ZebResult zebiRCTFwd_JPEG2K_32s_P3IR(Zeb32s* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i<ct::RctFwd<Zeb32s>>(pSrcDst, srcDstStep, roiSize);
}
ZEB_API ZebResult zebiRCTInv_JPEG2K_32s_P3IR(Zeb32s* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i<ct::RctInv<Zeb32s>>(pSrcDst, srcDstStep, roiSize);
}
ZEB_API ZebResult zebiRCTFwd_JPEG2K_16s_P3IR(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i<ct::RctFwd<Zeb16s>>(pSrcDst, srcDstStep, roiSize);
}
ZEB_API ZebResult zebiRCTInv_JPEG2K_16s_P3IR(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i<ct::RctInv<Zeb16s>>(pSrcDst, srcDstStep, roiSize);
}

// ---- ICT ------------------------------------------------------------------------------------
ZEB_API ZebResult zebiICTFwd_JPEG2K_32f_C3P3R(const Zeb32f* pSrc, int srcStep, Zeb32f* const pDst[3], int dstStep,
                                              ZebSize roiSize) {
    return c3p3<ct::IctFwd32f>(pSrc, srcStep, pDst, dstStep, roiSize);
}
ZEB_API ZebResult zebiICTInv_JPEG2K_32f_P3C3R(const Zeb32f* const pSrc[3], int srcStep, Zeb32f* pDst, int dstStep,
                                              ZebSize roiSize) {
    return p3c3<ct::IctInv32f>(pSrc, srcStep, pDst, dstStep, roiSize);
}
ZEB_API ZebResult zebiICTFwd_JPEG2K_32f_P3IR(Zeb32f* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i<ct::IctFwd32f>(pSrcDst, srcDstStep, roiSize);
}
ZEB_API ZebResult zebiICTInv_JPEG2K_32f_P3IR(Zeb32f* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i<ct::IctInv32f>(pSrcDst, srcDstStep, roiSize);
}
ZEB_API ZebResult zebiICTFwd_JPEG2K_32s_P3IR(Zeb32s* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i<ct::IctFwd32s>(pSrcDst, srcDstStep, roiSize);
}
ZEB_API ZebResult zebiICTInv_JPEG2K_32s_P3IR(Zeb32s* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i<ct::IctInv32s>(pSrcDst, srcDstStep, roiSize);
}
ZEB_API ZebResult zebiICTFwd_JPEG2K_16s_P3IR(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i16<ct::IctFwd16s>(pSrcDst, srcDstStep, roiSize);
}
ZEB_API ZebResult zebiICTInv_JPEG2K_16s_P3IR(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roiSize) {
    return p3i16<ct::IctInv16s>(pSrcDst, srcDstStep, roiSize);
}

}  // extern "C"
