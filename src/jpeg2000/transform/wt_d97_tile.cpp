// Exported whole-tile 9/7 wavelets: work-buffer sizes, in-place (C1IR) and
// out-of-place (C1R) forward and inverse transforms in 16s and 32s.
#include <algorithm>

#include "core/check.h"
#include "jpeg2000/transform/wt_d97_tile.h"

namespace {

using zeb::Path;
namespace d97 = zeb::d97;
namespace wt = zeb::wt;

template <class T>
int inPlaceSize(const ZebRect& r) {
    constexpr int e = sizeof(T);
    if (r.width < 2 && r.height < 2) return 0;
    return std::max(e * r.height + 8 * e, e * r.width + 8 * e);
}

template <class T>
int imagePitch(int w) {
    return (w * static_cast<int>(sizeof(T)) + 31) & ~31;
}

template <class T>
ZebResult getBufSize(const ZebRect* pTileRect, int* pSize, bool outOfPlace) {
    ZEB_CHECK(ptr(pTileRect, pSize));
    int size = inPlaceSize<T>(*pTileRect);
    if (outOfPlace) size += imagePitch<T>(pTileRect->width) * pTileRect->height;
    *pSize = size;
    return zebOk;
}

// The library's plane copies: 16-bit samples through the 16s copy, 32-bit
// ones through the 32-bit copy.
void copyPlane(const Zeb16s* s, int ss, Zeb16s* d, int ds, ZebSize roi) { zebiCopy_16s_C1R(s, ss, d, ds, roi); }
void copyPlane(const Zeb32s* s, int ss, Zeb32s* d, int ds, ZebSize roi) {
    zebiCopy_32f_C1R(reinterpret_cast<const Zeb32f*>(s), ss, reinterpret_cast<Zeb32f*>(d), ds, roi);
}

// The four band rectangles of the out-of-place forms, cut at ceil(w/2) and
// ceil(h/2) for both phases: [0] LL, [1] low/high (rows below), [2] high/low
// (columns right), [3] HH.
struct Band {
    int x, y, w, h;
};
inline void bands(int w, int h, Band out[4]) {
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    out[0] = {0, 0, cw, ch};
    out[1] = {0, ch, cw, h - ch};
    out[2] = {cw, 0, w - cw, ch};
    out[3] = {cw, ch, w - cw, h - ch};
}

template <class F, class T = typename F::T>
ZebResult fwdInPlace(T* pSrcDst, int srcDstStep, const ZebRect* pTileRect, Zeb8u* pBuffer) {
    ZEB_CHECK(ptr(pSrcDst), step(srcDstStep), ptr(pTileRect, pBuffer));
    const ZebRect r = *pTileRect;
    d97::fwdTile<F, Path::Vector>(pSrcDst, srcDstStep, r.width, r.height, r.x & 1, r.y & 1, pBuffer);
    return zebOk;
}

template <class F, class T = typename F::T>
ZebResult invInPlace(T* pSrcDst, int srcDstStep, const ZebRect* pTileRect, Zeb8u* pBuffer) {
    ZEB_CHECK(ptr(pSrcDst), step(srcDstStep), ptr(pTileRect, pBuffer));
    const ZebRect r = *pTileRect;
    d97::invTile<F, Path::Vector>(pSrcDst, srcDstStep, r.width, r.height, r.x & 1, r.y & 1, pBuffer);
    return zebOk;
}

template <class F, class T = typename F::T>
ZebResult fwdOutOfPlace(const T* pSrc, int srcStep, const ZebRect* pTileRect, T* const* pDst, const int* dstStep,
                        Zeb8u* pBuffer) {
    ZEB_CHECK(ptr(pSrc, pDst, dstStep, pTileRect, pBuffer), step(srcStep));
    ZEB_CHECK(planes(pDst, 4), step(dstStep[0], dstStep[1], dstStep[2], dstStep[3]),
              length(pTileRect->width, pTileRect->height));
    const ZebRect r = *pTileRect;
    const int pitch = imagePitch<T>(r.width);
    T* img = reinterpret_cast<T*>(pBuffer);
    copyPlane(pSrc, srcStep, img, pitch, {r.width, r.height});
    d97::fwdTile<F, Path::Vector>(img, pitch, r.width, r.height, r.x & 1, r.y & 1,
                                  pBuffer + static_cast<std::ptrdiff_t>(pitch) * r.height);
    Band b[4];
    bands(r.width, r.height, b);
    for (int i = 0; i < 4; ++i)
        if (b[i].w > 0 && b[i].h > 0)
            copyPlane(zeb::rowAt(img, pitch, b[i].y) + b[i].x, pitch, pDst[i], dstStep[i], {b[i].w, b[i].h});
    return zebOk;
}

template <class F, class T = typename F::T>
ZebResult invOutOfPlace(const T* const* pSrc, const int* srcStep, T* pDst, int dstStep, const ZebRect* pTileRect,
                        Zeb8u* pBuffer) {
    ZEB_CHECK(ptr(pSrc, pDst, srcStep, pTileRect, pBuffer), step(dstStep));
    ZEB_CHECK(planes(pSrc, 4), step(srcStep[0], srcStep[1], srcStep[2], srcStep[3]),
              length(pTileRect->width, pTileRect->height));
    const ZebRect r = *pTileRect;
    const int pitch = imagePitch<T>(r.width);
    T* img = reinterpret_cast<T*>(pBuffer);
    Band b[4];
    bands(r.width, r.height, b);
    for (int i = 0; i < 4; ++i)
        if (b[i].w > 0 && b[i].h > 0)
            copyPlane(pSrc[i], srcStep[i], zeb::rowAt(img, pitch, b[i].y) + b[i].x, pitch, {b[i].w, b[i].h});
    d97::invTile<F, Path::Vector>(img, pitch, r.width, r.height, r.x & 1, r.y & 1,
                                  pBuffer + static_cast<std::ptrdiff_t>(pitch) * r.height);
    copyPlane(img, pitch, pDst, dstStep, {r.width, r.height});
    return zebOk;
}

}  // namespace

extern "C" {

ZEB_API ZebResult zebiWTGetBufSize_D97_JPEG2K_16s_C1R(const ZebRect* pTileRect, int* pSize) {
    return getBufSize<Zeb16s>(pTileRect, pSize, true);
}
ZEB_API ZebResult zebiWTGetBufSize_D97_JPEG2K_16s_C1IR(const ZebRect* pTileRect, int* pSize) {
    return getBufSize<Zeb16s>(pTileRect, pSize, false);
}
ZEB_API ZebResult zebiWTGetBufSize_D97_JPEG2K_32s_C1R(const ZebRect* pTileRect, int* pSize) {
    return getBufSize<Zeb32s>(pTileRect, pSize, true);
}
ZEB_API ZebResult zebiWTGetBufSize_D97_JPEG2K_32s_C1IR(const ZebRect* pTileRect, int* pSize) {
    return getBufSize<Zeb32s>(pTileRect, pSize, false);
}

ZEB_API ZebResult zebiWTFwd_D97_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, const ZebRect* pTileRect,
                                               Zeb16s* pDst[4], int dstStep[4], Zeb8u* pBuffer) {
    return fwdOutOfPlace<d97::TileS16>(pSrc, srcStep, pTileRect, pDst, dstStep, pBuffer);
}
ZEB_API ZebResult zebiWTFwd_D97_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, const ZebRect* pTileRect,
                                               Zeb32s* pDst[4], int dstStep[4], Zeb8u* pBuffer) {
    return fwdOutOfPlace<d97::TileS32>(pSrc, srcStep, pTileRect, pDst, dstStep, pBuffer);
}
ZEB_API ZebResult zebiWTFwd_D97_JPEG2K_16s_C1IR(Zeb16s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                Zeb8u* pBuffer) {
    return fwdInPlace<d97::TileS16>(pSrcDst, srcDstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTFwd_D97_JPEG2K_32s_C1IR(Zeb32s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                Zeb8u* pBuffer) {
    return fwdInPlace<d97::TileS32>(pSrcDst, srcDstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTInv_D97_JPEG2K_16s_C1R(const Zeb16s* pSrc[4], int srcStep[4], Zeb16s* pDst, int dstStep,
                                               const ZebRect* pTileRect, Zeb8u* pBuffer) {
    return invOutOfPlace<d97::TileS16>(pSrc, srcStep, pDst, dstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTInv_D97_JPEG2K_32s_C1R(const Zeb32s* pSrc[4], int srcStep[4], Zeb32s* pDst, int dstStep,
                                               const ZebRect* pTileRect, Zeb8u* pBuffer) {
    return invOutOfPlace<d97::TileS32>(pSrc, srcStep, pDst, dstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTInv_D97_JPEG2K_16s_C1IR(Zeb16s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                Zeb8u* pBuffer) {
    return invInPlace<d97::TileS16>(pSrcDst, srcDstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTInv_D97_JPEG2K_32s_C1IR(Zeb32s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                Zeb8u* pBuffer) {
    return invInPlace<d97::TileS32>(pSrcDst, srcDstStep, pTileRect, pBuffer);
}

}  // extern "C"
