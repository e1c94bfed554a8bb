// One-level 5/3 wavelet of a whole tile: in place (C1IR: vertical pass, then
// horizontal, each line through a symmetrically extended work line) and out
// of place (C1R: the same on an image of the tile inside the work buffer),
// with their work-buffer sizes.
#include <algorithm>

#include "core/check.h"
#include "jpeg2000/transform/wt_b53_kernels.h"

namespace {

using zeb::Path;
using zeb::rowAt;
namespace k53 = zeb::wt53;

struct Tile16 {
    using A = k53::Wrap16;
    using T = Zeb16s;
    static ZebResult copy(const T* s, int ss, T* d, int ds, ZebSize r) { return zebiCopy_16s_C1R(s, ss, d, ds, r); }
};

struct Tile32 {
    using A = k53::Wrap32;
    using T = Zeb32s;
    // The 32-bit plane copy moves any 4-byte pattern.
    static ZebResult copy(const T* s, int ss, T* d, int ds, ZebSize r) {
        return zebiCopy_32f_C1R(reinterpret_cast<const Zeb32f*>(s), ss, reinterpret_cast<Zeb32f*>(d), ds, r);
    }
};

// Row pitch of the tile image at the start of the out-of-place work buffer.
inline int imagePitch(int w, int elemSize) { return (w * elemSize + 31) & ~31; }

template <class Tr>
int inPlaceBytes(const ZebRect& r) {
    return k53::tileLineBytes(r.width, r.height, sizeof(typename Tr::T));
}

template <class Tr>
int outOfPlaceBytes(const ZebRect& r) {
    return imagePitch(r.width, sizeof(typename Tr::T)) * r.height + inPlaceBytes<Tr>(r);
}

template <class Tr>
ZebResult bufSizeInPlace(const ZebRect* pTileRect, int* pSize) {
    ZEB_CHECK(ptr(pTileRect, pSize));
    *pSize = inPlaceBytes<Tr>(*pTileRect);
    return zebOk;
}

template <class Tr>
ZebResult bufSizeOutOfPlace(const ZebRect* pTileRect, int* pSize) {
    ZEB_CHECK(ptr(pTileRect, pSize));
    *pSize = outOfPlaceBytes<Tr>(*pTileRect);
    return zebOk;
}

template <class Tr>
ZebResult fwdInPlace(typename Tr::T* pSrcDst, int srcDstStep, const ZebRect* pTileRect, unsigned char* pBuffer) {
    ZEB_CHECK(ptr(pSrcDst), step(srcDstStep), ptr(pTileRect, pBuffer));
    const ZebRect& r = *pTileRect;
    k53::fwdTile<typename Tr::A, Path::Vector>(pSrcDst, srcDstStep, r.width, r.height, r.x & 1, r.y & 1, pBuffer);
    return zebOk;
}

template <class Tr>
ZebResult invInPlace(typename Tr::T* pSrcDst, int srcDstStep, const ZebRect* pTileRect, unsigned char* pBuffer) {
    ZEB_CHECK(ptr(pSrcDst), step(srcDstStep), ptr(pTileRect, pBuffer));
    const ZebRect& r = *pTileRect;
    k53::invTile<typename Tr::A, Path::Vector>(pSrcDst, srcDstStep, r.width, r.height, r.x & 1, r.y & 1, pBuffer);
    return zebOk;
}

// The four band rectangles of a w x h tile, cut at ceil(w/2) and ceil(h/2)
// for both phases: [0] LL, [1] horizontally low / vertically high, [2]
// horizontally high / vertically low, [3] HH.
struct Band {
    int x, y, w, h;
};

inline void bandRects(int w, int h, Band (&b)[4]) {
    const int wl = (w + 1) / 2, hl = (h + 1) / 2;
    b[0] = {0, 0, wl, hl};
    b[1] = {0, hl, wl, h - hl};
    b[2] = {wl, 0, w - wl, hl};
    b[3] = {wl, hl, w - wl, h - hl};
}

template <class Tr>
ZebResult fwdOutOfPlace(const typename Tr::T* pSrc, int srcStep, const ZebRect* pTileRect, typename Tr::T* pDst[4],
                        int dstStep[4], unsigned char* pBuffer) {
    using T = typename Tr::T;
    ZEB_CHECK(ptr(pSrc, pDst, dstStep, pTileRect, pBuffer), step(srcStep), planes(pDst, 4));
    ZEB_CHECK(step(dstStep[0], dstStep[1], dstStep[2], dstStep[3]), size({pTileRect->width, pTileRect->height}));
    const ZebRect& r = *pTileRect;
    const int pitch = imagePitch(r.width, sizeof(T));
    T* img = reinterpret_cast<T*>(pBuffer);
    Tr::copy(pSrc, srcStep, img, pitch, {r.width, r.height});
    k53::fwdTile<typename Tr::A, Path::Vector>(img, pitch, r.width, r.height, r.x & 1, r.y & 1,
                                                pBuffer + static_cast<std::size_t>(pitch) * r.height);
    Band b[4];
    bandRects(r.width, r.height, b);
    for (int i = 0; i < 4; ++i)
        if (b[i].w > 0 && b[i].h > 0)
            Tr::copy(rowAt(img, pitch, b[i].y) + b[i].x, pitch, pDst[i], dstStep[i], {b[i].w, b[i].h});
    return zebOk;
}

template <class Tr>
ZebResult invOutOfPlace(const typename Tr::T* const pSrc[4], const int srcStep[4], typename Tr::T* pDst, int dstStep,
                        const ZebRect* pTileRect, unsigned char* pBuffer) {
    using T = typename Tr::T;
    ZEB_CHECK(ptr(pSrc, pDst, srcStep, pTileRect, pBuffer), step(dstStep), planes(pSrc, 4));
    ZEB_CHECK(step(srcStep[0], srcStep[1], srcStep[2], srcStep[3]), size({pTileRect->width, pTileRect->height}));
    const ZebRect& r = *pTileRect;
    const int pitch = imagePitch(r.width, sizeof(T));
    T* img = reinterpret_cast<T*>(pBuffer);
    Band b[4];
    bandRects(r.width, r.height, b);
    for (int i = 0; i < 4; ++i)
        if (b[i].w > 0 && b[i].h > 0)
            Tr::copy(pSrc[i], srcStep[i], rowAt(img, pitch, b[i].y) + b[i].x, pitch, {b[i].w, b[i].h});
    k53::invTile<typename Tr::A, Path::Vector>(img, pitch, r.width, r.height, r.x & 1, r.y & 1,
                                                pBuffer + static_cast<std::size_t>(pitch) * r.height);
    Tr::copy(img, pitch, pDst, dstStep, {r.width, r.height});
    return zebOk;
}

}  // namespace

extern "C" {

ZEB_API ZebResult zebiWTGetBufSize_B53_JPEG2K_16s_C1R(const ZebRect* pTileRect, int* pSize) {
    return bufSizeOutOfPlace<Tile16>(pTileRect, pSize);
}
ZEB_API ZebResult zebiWTGetBufSize_B53_JPEG2K_16s_C1IR(const ZebRect* pTileRect, int* pSize) {
    return bufSizeInPlace<Tile16>(pTileRect, pSize);
}
ZEB_API ZebResult zebiWTGetBufSize_B53_JPEG2K_32s_C1R(const ZebRect* pTileRect, int* pSize) {
    return bufSizeOutOfPlace<Tile32>(pTileRect, pSize);
}
ZEB_API ZebResult zebiWTGetBufSize_B53_JPEG2K_32s_C1IR(const ZebRect* pTileRect, int* pSize) {
    return bufSizeInPlace<Tile32>(pTileRect, pSize);
}

ZEB_API ZebResult zebiWTFwd_B53_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, const ZebRect* pTileRect,
                                               Zeb16s* pDst[4], int dstStep[4], unsigned char* pBuffer) {
    return fwdOutOfPlace<Tile16>(pSrc, srcStep, pTileRect, pDst, dstStep, pBuffer);
}
ZEB_API ZebResult zebiWTFwd_B53_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, const ZebRect* pTileRect,
                                               Zeb32s* pDst[4], int dstStep[4], unsigned char* pBuffer) {
    return fwdOutOfPlace<Tile32>(pSrc, srcStep, pTileRect, pDst, dstStep, pBuffer);
}
ZEB_API ZebResult zebiWTFwd_B53_JPEG2K_16s_C1IR(Zeb16s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer) {
    return fwdInPlace<Tile16>(pSrcDst, srcDstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTFwd_B53_JPEG2K_32s_C1IR(Zeb32s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer) {
    return fwdInPlace<Tile32>(pSrcDst, srcDstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTInv_B53_JPEG2K_16s_C1R(const Zeb16s* pSrc[4], int srcStep[4], Zeb16s* pDst, int dstStep,
                                               const ZebRect* pTileRect, unsigned char* pBuffer) {
    return invOutOfPlace<Tile16>(pSrc, srcStep, pDst, dstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTInv_B53_JPEG2K_32s_C1R(const Zeb32s* pSrc[4], int srcStep[4], Zeb32s* pDst, int dstStep,
                                               const ZebRect* pTileRect, unsigned char* pBuffer) {
    return invOutOfPlace<Tile32>(pSrc, srcStep, pDst, dstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTInv_B53_JPEG2K_16s_C1IR(Zeb16s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer) {
    return invInPlace<Tile16>(pSrcDst, srcDstStep, pTileRect, pBuffer);
}
ZEB_API ZebResult zebiWTInv_B53_JPEG2K_32s_C1IR(Zeb32s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer) {
    return invInPlace<Tile32>(pSrcDst, srcDstStep, pTileRect, pBuffer);
}

}  // extern "C"
