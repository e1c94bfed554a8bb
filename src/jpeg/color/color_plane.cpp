// Whole-plane colour conversions between YCbCr / YCCK / grey and RGB, BGR,
// 555/565 words, CMYK and packed 4:2:2.  Each function checks its arguments
// and hands a reader, a converter and a writer to the row pipeline of
// color_plane_kernels.h.
#include "core/check.h"
#include "color_plane_kernels.h"

namespace {

using namespace zeb::color;

template <class In, class Conv, class Out, int NS, int ND, class TS, class TD>
ZebResult run(TS* const* src, int srcStep, TD* const* dst, int dstStep, ZebSize roi, bool threaded) {
    const void* s[4] = {};
    void* d[4] = {};
    for (int c = 0; c < NS; ++c) s[c] = src[c];
    for (int c = 0; c < ND; ++c) d[c] = dst[c];
    convertPlanes<In, Conv, Out>(s, NS, srcStep, d, ND, dstStep, roi, threaded);
    return zebOk;
}

constexpr bool kThreaded = true;
constexpr bool kCallingThread = false;

}  // namespace

extern "C" {

// ---- YCbCr / YCCK to pixels --------------------------------------------------------------

ZEB_API ZebResult zebiYCbCrToRGB_JPEG_8u_P3R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* const pDst[3],
                                             int dstStep, ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pSrc, 3), planes(pDst, 3), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadPlanes<3>, DecodeYCbCr<DecodeSetA>, WritePlanes<3>, 3, 3>(pSrc, srcStep, pDst, dstStep, roiSize,
                                                                              kThreaded);
}

ZEB_API ZebResult zebiYCbCrToRGB_JPEG_8u_P3C3R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* pDst, int dstStep,
                                               ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pSrc, 3), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadPlanes<3>, DecodeYCbCr<DecodeSetB>, WriteInterleaved<3, OrderRGB>, 3, 1>(pSrc, srcStep, &pDst,
                                                                                           dstStep, roiSize, kThreaded);
}

ZEB_API ZebResult zebiYCbCrToBGR_JPEG_8u_P3C3R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* pDst, int dstStep,
                                               ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pSrc, 3), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadPlanes<3>, DecodeYCbCr<DecodeSetB>, WriteInterleaved<3, OrderBGR>, 3, 1>(pSrc, srcStep, &pDst,
                                                                                           dstStep, roiSize, kThreaded);
}

#define ZEB_YCBCR_TO_PACKED(NAME, LAYOUT)                                                                        \
    ZEB_API ZebResult NAME(const Zeb8u* const pSrc[3], int srcStep, Zeb16u* pDst, int dstStep, ZebSize roiSize) { \
        ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pSrc, 3), step(srcStep), step(dstStep), size(roiSize));           \
        return run<ReadPlanes<3>, DecodeYCbCr<DecodeSetA>, WritePacked<LAYOUT>, 3, 1>(pSrc, srcStep, &pDst,       \
                                                                                     dstStep, roiSize,           \
                                                                                     kCallingThread);            \
    }
ZEB_YCBCR_TO_PACKED(zebiYCbCrToRGB555_JPEG_8u16u_P3C3R, LayoutRGB555)
ZEB_YCBCR_TO_PACKED(zebiYCbCrToBGR555_JPEG_8u16u_P3C3R, LayoutBGR555)
ZEB_YCBCR_TO_PACKED(zebiYCbCrToRGB565_JPEG_8u16u_P3C3R, LayoutRGB565)
ZEB_YCBCR_TO_PACKED(zebiYCbCrToBGR565_JPEG_8u16u_P3C3R, LayoutBGR565)
#undef ZEB_YCBCR_TO_PACKED

ZEB_API ZebResult zebiYCCKToCMYK_JPEG_8u_P4R(const Zeb8u* const pSrc[4], int srcStep, Zeb8u* const pDst[4],
                                             int dstStep, ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pSrc, 4), planes(pDst, 4), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadPlanes<4>, DecodeYCbCr<DecodeSetA>, WritePlanes<4, true>, 4, 4>(pSrc, srcStep, pDst, dstStep,
                                                                                    roiSize, kThreaded);
}

ZEB_API ZebResult zebiYCCKToCMYK_JPEG_8u_P4C4R(const Zeb8u* const pSrc[4], int srcStep, Zeb8u* pDst, int dstStep,
                                               ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pSrc, 4), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadPlanes<4>, DecodeYCbCr<DecodeSetA>, WriteInterleaved<4, OrderRGB, true>, 4, 1>(
        pSrc, srcStep, &pDst, dstStep, roiSize, kThreaded);
}

ZEB_API ZebResult zebiYCbCr422ToRGB_JPEG_8u_C2C3R(const Zeb8u* pSrc, int srcStep, Zeb8u* pDst, int dstStep,
                                                  ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), size(roiSize));
    return run<ReadPacked422, DecodeTable, WriteInterleaved<3, OrderRGB>, 1, 1>(&pSrc, srcStep, &pDst, dstStep,
                                                                                roiSize, kThreaded);
}

// ---- pixels to grey ---------------------------------------------------------------------------

ZEB_API ZebResult zebiRGBToY_JPEG_8u_P3C1R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* pDst, int dstStep,
                                           ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), planes(pSrc, 3), ptr(pDst), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadPlanes<3>, EncodeLumaFloat, WritePlanes<1>, 3, 1>(pSrc, srcStep, &pDst, dstStep, roiSize,
                                                                      kThreaded);
}

ZEB_API ZebResult zebiRGBToY_JPEG_8u_C3C1R(const Zeb8u* pSrc, int srcStep, Zeb8u* pDst, int dstStep,
                                           ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadInterleaved<3, OrderRGB>, EncodeLumaQ15, WritePlanes<1>, 1, 1>(&pSrc, srcStep, &pDst, dstStep,
                                                                                  roiSize, kThreaded);
}

ZEB_API ZebResult zebiBGRToY_JPEG_8u_C3C1R(const Zeb8u* pSrc, int srcStep, Zeb8u* pDst, int dstStep,
                                           ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadInterleaved<3, OrderBGR>, EncodeLumaQ15, WritePlanes<1>, 1, 1>(&pSrc, srcStep, &pDst, dstStep,
                                                                                  roiSize, kThreaded);
}

// ---- pixels to YCbCr / YCCK -----------------------------------------------------------------

ZEB_API ZebResult zebiRGBToYCbCr_JPEG_8u_P3R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* const pDst[3],
                                             int dstStep, ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pSrc, 3), planes(pDst, 3), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadPlanes<3>, EncodeDiffQ15, WritePlanes<3>, 3, 3>(pSrc, srcStep, pDst, dstStep, roiSize,
                                                                    kThreaded);
}

ZEB_API ZebResult zebiRGBToYCbCr_JPEG_8u_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb8u* const pDst[3], int dstStep,
                                               ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pDst, 3), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadInterleaved<3, OrderRGB>, EncodeQ14, WritePlanes<3>, 1, 3>(&pSrc, srcStep, pDst, dstStep, roiSize,
                                                                              kThreaded);
}

ZEB_API ZebResult zebiBGRToYCbCr_JPEG_8u_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb8u* const pDst[3], int dstStep,
                                               ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pDst, 3), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadInterleaved<3, OrderBGR>, EncodeQ14, WritePlanes<3>, 1, 3>(&pSrc, srcStep, pDst, dstStep, roiSize,
                                                                              kThreaded);
}

#define ZEB_PACKED_TO_YCBCR(NAME, LAYOUT)                                                                        \
    ZEB_API ZebResult NAME(const Zeb16u* pSrc, int srcStep, Zeb8u* const pDst[3], int dstStep, ZebSize roiSize) { \
        ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pDst, 3), step(srcStep), step(dstStep), size(roiSize));           \
        return run<ReadPacked<LAYOUT>, EncodeQ14, WritePlanes<3>, 1, 3>(&pSrc, srcStep, pDst, dstStep, roiSize,   \
                                                                        kCallingThread);                         \
    }
ZEB_PACKED_TO_YCBCR(zebiRGB555ToYCbCr_JPEG_16u8u_C3P3R, LayoutRGB555)
ZEB_PACKED_TO_YCBCR(zebiBGR555ToYCbCr_JPEG_16u8u_C3P3R, LayoutBGR555)
ZEB_PACKED_TO_YCBCR(zebiRGB565ToYCbCr_JPEG_16u8u_C3P3R, LayoutRGB565)
ZEB_PACKED_TO_YCBCR(zebiBGR565ToYCbCr_JPEG_16u8u_C3P3R, LayoutBGR565)
#undef ZEB_PACKED_TO_YCBCR

ZEB_API ZebResult zebiCMYKToYCCK_JPEG_8u_P4R(const Zeb8u* const pSrc[4], int srcStep, Zeb8u* const pDst[4],
                                             int dstStep, ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pSrc, 4), planes(pDst, 4), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadPlanes<4, true>, EncodeDiffQ15, WritePlanes<4>, 4, 4>(pSrc, srcStep, pDst, dstStep, roiSize,
                                                                          kThreaded);
}

ZEB_API ZebResult zebiCMYKToYCCK_JPEG_8u_C4P4R(const Zeb8u* pSrc, int srcStep, Zeb8u* const pDst[4], int dstStep,
                                               ZebSize roiSize) {
    ZEB_CHECK(ptr(pSrc), ptr(pDst), planes(pDst, 4), step(srcStep), step(dstStep), size(roiSize));
    return run<ReadInterleaved<4, OrderRGB, true>, EncodeQ14, WritePlanes<4>, 1, 4>(&pSrc, srcStep, pDst, dstStep,
                                                                                    roiSize, kThreaded);
}

}  // extern "C"
