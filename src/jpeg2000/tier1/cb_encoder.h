// Tier-1 code-block encoder object: records, distortion tables and the
// internal entry points shared by the load (cb_encoder.cpp) and the output
// phase (cb_encoder_output.cpp).
#pragma once

#include <array>
#include <cstdint>

#include "jpeg2000/tier1/mq_encoder.h"
#include "jpeg2000/tier1/t1_contexts.h"
#include "zeb.h"

namespace zeb::t1 {

inline constexpr std::uint32_t kEncodeStateId = 0x4C4D5344u;  // "DSML"
inline constexpr int kCbLossless = 0x20;
static_assert(kCbLossless == ZEB_CB_LOSSLESS && kCbCausal == ZEB_CB_CAUSAL && kCbBypass == ZEB_CB_BYPASS &&
              kCbTermAll == ZEB_CB_TERM_ALL && kCbResetCtx == ZEB_CB_RESET_CTX && kCbSegMark == ZEB_CB_SEGMARK);
inline constexpr int kMaxPasses = 109;          // distortion slots
inline constexpr int kPassSlots = 110;          // per-pass table slots
inline constexpr int kSymbolsPerStripeColumn = 1090;

// ---- distortion tables (8192 stands for 1.0) ------------------------------------------
// Index: the six magnitude bits below the current plane (Fs), or the current
// plane's bit and the six below it (Fm); x is the magnitude in units of the
// plane's weight.

// Newly significant, lossy: 8192 (3x - 2.25), x = 1 + i/64.
inline constexpr std::array<std::int32_t, 64> FsLossy_LUT = [] {
    std::array<std::int32_t, 64> t{};
    for (int i = 0; i < 64; ++i) t[i] = 6144 + 384 * i;
    return t;
}();
// Newly significant, lowest plane of a lossless block: 8192 x^2.
inline constexpr std::array<std::int32_t, 64> FsLossless_LUT = [] {
    std::array<std::int32_t, 64> t{};
    for (int i = 0; i < 64; ++i) t[i] = 2 * (64 + i) * (64 + i);
    return t;
}();
// Refinement, lossy: 8192 ((x - 1)^2 - (x - r)^2), x = i/64, r = 0.5 below 64, else 1.5.
inline constexpr std::array<std::int32_t, 128> FmLossy_LUT = [] {
    std::array<std::int32_t, 128> t{};
    for (int i = 0; i < 128; ++i) {
        const int r64 = i < 64 ? 32 : 96;
        t[i] = 2 * ((i - 64) * (i - 64) - (i - r64) * (i - r64));
    }
    return t;
}();
// Refinement, lowest plane of a lossless block: 8192 (x - 1)^2.
inline constexpr std::array<std::int32_t, 128> FmLossless_LUT = [] {
    std::array<std::int32_t, 128> t{};
    for (int i = 0; i < 128; ++i) t[i] = 2 * (i - 64) * (i - 64);
    return t;
}();

static_assert(FsLossy_LUT[0] == 6144 && FsLossless_LUT[0] == 8192);
static_assert(FmLossy_LUT[0] == 6144 && FmLossy_LUT[1] == 6016 && FmLossy_LUT[64] == -2048 &&
              FmLossy_LUT[127] == 6016);
static_assert(FmLossless_LUT[64] == 0 && FmLossless_LUT[0] == 8192);

}  // namespace zeb::t1

// Coding buffers, allocated with the state record.
struct ZebEncodeBuffer {
    zeb::t1::MqEncoder mq;
    zeb::t1::RawEncoder raw;
    const std::uint8_t* decCursor;  // next recorded decision of the pass being stored
    const std::uint8_t* ctxCursor;  // and its context
    std::int32_t passSymbols;       // symbols of the pass being stored
    std::int32_t symbolsDone;       // of which stored
    std::int32_t passBytes;         // bytes delivered for the pass being stored
    std::int32_t pendingTerm;       // MQ symbols coded since the last termination
    std::int32_t termMode;
    std::int32_t passIsRawNow;
    std::uint8_t* contexts;         // one context number per MQ symbol
    std::uint8_t* decisions;        // one bit per symbol
    std::int32_t nPasses;
    std::int32_t symbolsPerPass[zeb::t1::kPassSlots];
    std::int32_t bytesPerPass[zeb::t1::kPassSlots];
    std::int32_t passIsRaw[zeb::t1::kPassSlots];
    std::int32_t rate[zeb::t1::kPassSlots];
    std::int32_t totalBytes;
    std::int32_t symbolCount;
    std::int32_t passStart;
    std::int32_t storePass;
    std::int32_t resetCtx;
    std::int32_t termAll;
};

struct ZebEncodeState {
    std::uint32_t id;  // "DSML"
    ZebEncodeBuffer* buffer;
    std::int32_t distRed[zeb::t1::kMaxPasses];
    std::int32_t distExp[zeb::t1::kMaxPasses];
    std::int32_t curExp;  // 2 (p - lowPlane) - 13 for the plane being coded
    const std::int32_t* distTable;
    std::uint32_t distMask;
    std::int32_t passIdx;
    std::int32_t lossless;
    std::uint32_t shiftRight;
    std::uint32_t shiftLeft;
    std::int32_t lowPlane;
    std::uint32_t* stateBuf;
};

namespace zeb::t1 {

// Number of codeword segments of the passes recorded by the last load.
int encoderSegmentCount(const ZebEncodeBuffer& b);

// Whether pass k ends a codeword segment.
inline bool passEndsSegment(const ZebEncodeBuffer& b, int k) {
    return b.termAll || k + 1 >= b.nPasses || b.passIsRaw[k] != b.passIsRaw[k + 1];
}

}  // namespace zeb::t1
