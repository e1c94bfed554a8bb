// Decoder-side MCU conversions: level-shifted Y, Cb, Cr (, K) blocks of one
// MCU to interleaved pixels, with chroma replication and colour conversion.
#include "core/check.h"
#include "mcu_kernels.h"

namespace {

using namespace zeb::color;
using zeb::Path;
using zeb::mcu::DecodeLevelShift;
using zeb::mcu::DecodeRgb;
using zeb::mcu::WritePacked422;
using WriteRgb = WriteInterleaved<3, OrderRGB>;
using WriteBgr = WriteInterleaved<3, OrderBGR>;
using WriteCmyk = WriteInterleaved<4, OrderRGB, true>;
using WriteYCbCr = WriteInterleaved<3, OrderRGB>;

template <class Conv, class Out, int HS, int VS, bool HasK>
ZebResult decode(const Zeb16s* const* pSrcMCU, void* pDst, int dstStep) {
    zeb::mcu::decodeMcu<Path::Vector, Conv, Out, HS, VS, HasK>(pSrcMCU, pDst, dstStep);
    return zebOk;
}

}  // namespace

// One exported function per sampling: pointers, block pointers, destination step.
#define ZEB_MCU_DECODE(NAME, DST_T, NBLK, CONV, OUT, HS, VS, HASK)                       \
    ZEB_API ZebResult NAME(const Zeb16s* const pSrcMCU[NBLK], DST_T* pDst, int dstStep) { \
        ZEB_CHECK(ptr(pSrcMCU, pDst), planes(pSrcMCU, NBLK), step(dstStep));             \
        return decode<CONV, OUT, HS, VS, HASK>(pSrcMCU, pDst, dstStep);                 \
    }
#define ZEB_MCU_DECODE_ALL(PREFIX, SUFFIX, DST_T, NBLK, CONV, OUT, HASK)                \
    ZEB_MCU_DECODE(PREFIX##444##SUFFIX, DST_T, NBLK, CONV, OUT, 1, 1, HASK)             \
    ZEB_MCU_DECODE(PREFIX##422##SUFFIX, DST_T, NBLK, CONV, OUT, 2, 1, HASK)             \
    ZEB_MCU_DECODE(PREFIX##411##SUFFIX, DST_T, NBLK, CONV, OUT, 2, 2, HASK)

extern "C" {

ZEB_MCU_DECODE_ALL(zebiYCbCr, ToRGBLS_MCU_16s8u_P3C3R, Zeb8u, 3, DecodeRgb, WriteRgb, false)
ZEB_MCU_DECODE_ALL(zebiYCbCr, ToBGRLS_MCU_16s8u_P3C3R, Zeb8u, 3, DecodeRgb, WriteBgr, false)
ZEB_MCU_DECODE_ALL(zebiYCbCr, ToBGR555LS_MCU_16s16u_P3C3R, Zeb16u, 3, DecodeRgb, WritePacked<LayoutBGR555>, false)
ZEB_MCU_DECODE_ALL(zebiYCbCr, ToBGR565LS_MCU_16s16u_P3C3R, Zeb16u, 3, DecodeRgb, WritePacked<LayoutBGR565>, false)
ZEB_MCU_DECODE_ALL(zebiYCCK, ToCMYKLS_MCU_16s8u_P4C4R, Zeb8u, 4, DecodeRgb, WriteCmyk,
                   true)
ZEB_MCU_DECODE_ALL(zebiSampleUp, LS_MCU_16s8u_P3C3R, Zeb8u, 3, DecodeLevelShift, WriteYCbCr,
                   false)
// The 16 x 8 region of packed 4:2:2: Y0 Cb Y1 Cr per pixel pair, pixel
// columns 8 to 15 from the second Y block.
ZEB_MCU_DECODE(zebiJoin422LS_MCU_16s8u_P3C2R, Zeb8u, 3, DecodeLevelShift, WritePacked422, 2, 1, false)

}  // extern "C"
