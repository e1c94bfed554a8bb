// Encoder-side MCU conversions: interleaved pixels of one MCU to level-shifted
// Y, Cb, Cr (, K) blocks, with colour conversion and chroma averaging.
#include "core/check.h"
#include "mcu_kernels.h"

namespace {

using namespace zeb::color;
using zeb::Path;
using zeb::mcu::EncodeLevelShift;
using zeb::mcu::EncodeRgb;
using ReadRgb = ReadInterleaved<3, OrderRGB>;
using ReadBgr = ReadInterleaved<3, OrderBGR>;
using ReadCmyk = ReadInterleaved<4, OrderRGB, true>;
using ReadYCbCr = ReadInterleaved<3, OrderRGB>;

template <class In, class Conv, int HS, int VS, bool HasK>
ZebResult encode(const void* pSrc, int srcStep, Zeb16s* const* pDstMCU) {
    zeb::mcu::encodeMcu<Path::Vector, In, Conv, HS, VS, HasK>(pSrc, srcStep, pDstMCU);
    return zebOk;
}

}  // namespace

// One exported function per sampling: pointers, source step, block pointers.
#define ZEB_MCU_ENCODE(NAME, SRC_T, NBLK, IN, CONV, HS, VS, HASK)                      \
    ZEB_API ZebResult NAME(const SRC_T* pSrc, int srcStep, Zeb16s* const pDstMCU[NBLK]) { \
        ZEB_CHECK(ptr(pSrc, pDstMCU), step(srcStep), planes(pDstMCU, NBLK));             \
        return encode<IN, CONV, HS, VS, HASK>(pSrc, srcStep, pDstMCU);                  \
    }
#define ZEB_MCU_ENCODE_ALL(PREFIX, SUFFIX, SRC_T, NBLK, IN, CONV, HASK)                 \
    ZEB_MCU_ENCODE(PREFIX##444##SUFFIX, SRC_T, NBLK, IN, CONV, 1, 1, HASK)              \
    ZEB_MCU_ENCODE(PREFIX##422##SUFFIX, SRC_T, NBLK, IN, CONV, 2, 1, HASK)              \
    ZEB_MCU_ENCODE(PREFIX##411##SUFFIX, SRC_T, NBLK, IN, CONV, 2, 2, HASK)

extern "C" {

ZEB_MCU_ENCODE_ALL(zebiRGBToYCbCr, LS_MCU_8u16s_C3P3R, Zeb8u, 3, ReadRgb, EncodeRgb, false)
ZEB_MCU_ENCODE_ALL(zebiBGRToYCbCr, LS_MCU_8u16s_C3P3R, Zeb8u, 3, ReadBgr, EncodeRgb, false)
ZEB_MCU_ENCODE_ALL(zebiBGR555ToYCbCr, LS_MCU_16u16s_C3P3R, Zeb16u, 3, ReadPacked<LayoutBGR555>, EncodeRgb, false)
ZEB_MCU_ENCODE_ALL(zebiBGR565ToYCbCr, LS_MCU_16u16s_C3P3R, Zeb16u, 3, ReadPacked<LayoutBGR565>, EncodeRgb, false)
ZEB_MCU_ENCODE_ALL(zebiCMYKToYCCK, LS_MCU_8u16s_C4P4R, Zeb8u, 4, ReadCmyk, EncodeRgb,
                   true)
ZEB_MCU_ENCODE_ALL(zebiSampleDown, LS_MCU_8u16s_C3P3R, Zeb8u, 3, ReadYCbCr, EncodeLevelShift,
                   false)
// Packed 4:2:2 already carries one Cb, Cr pair per two pixels: the 16 x 8
// region splits into two Y blocks and one Cb and one Cr block.
ZEB_MCU_ENCODE(zebiSplit422LS_MCU_8u16s_C2P3R, Zeb8u, 3, ReadPacked422, EncodeLevelShift, 2, 1, false)

}  // extern "C"
