// The progressive code-block decoder record (ZebCBProgrState) and the
// internal pass routines that run on it.
//
// The record is followed, in the same caller block, by the significance-state
// buffer at the first 32-byte boundary after the record ("work area").  The
// caller sizes the block with zebiDecodeCBProgrGetStateSize_JPEG2K: the state
// buffer plus 388 bytes, so the record must fit in 356 bytes on every
// platform.  Everything inside the record that refers to the record's own
// block is a 32-bit byte offset, so the record stays valid wherever it lives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jpeg2000/tier1/mq_decoder.h"
#include "zeb.h"

namespace zeb::t1 {

inline constexpr std::uint32_t kCBProgrId = 0x434D4150u;  // "PAMC"
inline constexpr int kCBProgrRecordSlack = 388;           // record + gap to the work area

// Decoder-only coding-style flags (the low ones are in t1_contexts.h).
inline constexpr int kCbConceal = 0x10000;
inline constexpr int kCbKeepBlock = 0x20000;
inline constexpr int kCbKeepLowBits = 0x40000;
inline constexpr int kCbKeepState = 0x80000;
inline constexpr int kCbCheckPTerm = 0x100000;

// Pass kinds: what the next step runs.
enum PassType : std::int32_t {
    kPassCleanup = 0,        // cleanup opening an MQ segment (first pass, or normal-mode segment)
    kPassRefineTerm = 1,     // MQ refinement, terminate-every-pass mode
    kPassSigPropTerm = 2,    // MQ significance propagation, terminate-every-pass mode
    kPassCleanupAfterRaw = 3,  // cleanup opening an MQ segment after a raw one (bypass)
    kPassRawRefineTerm = 4,  // raw refinement, terminate-every-pass mode
    kPassRaw = 5,            // raw segment: significance propagation (+ refinement)
};

}  // namespace zeb::t1

struct ZebCBProgrState {
    std::uint32_t id;  // "PAMC" while initialised
    // Code-block descriptor.
    Zeb32s* dst;
    std::int32_t width;
    std::int32_t height;
    std::int32_t step;  // bytes between destination rows
    // Pass and state cursors: the current bit-plane and the sub-band whose
    // zero-coding table the passes use; the scan positions themselves live in
    // the pass routines.
    std::int32_t plane;
    std::int32_t subband;
    // Significance-state buffer: offset from the record and row stride, bytes.
    std::uint32_t stateOffset;
    std::uint32_t stateStride;
    std::uint32_t workAreaOffset;  // first 32-byte boundary after the record
    zeb::t1::MqDecoder mq;
    zeb::t1::RawDecoder raw;
    std::int32_t passType;
    std::int32_t passesLeft;
    std::int32_t rawPlane;  // bypass: raw passes start below the first four planes
    std::int32_t flags;
    std::int32_t errorLatched;
    std::int32_t attached;
};

static_assert(sizeof(ZebCBProgrState) <= 356, "the record and its 32-byte gap must fit in 388 bytes");

namespace zeb::t1 {

// Pass routines over an attached record, on the current plane.  Each returns
// 0 for success and 1 for a detected error (segmentation symbol, predictable
// termination or raw termination check).  The MQ or raw decoder must have
// been started on the segment.
std::uint32_t decodeSignificancePropagation(ZebCBProgrState& s, bool causal, bool resetCtx, bool checkPredTerm);
std::uint32_t decodeMagnitudeRefinement(ZebCBProgrState& s, bool resetCtx, bool checkPredTerm);
std::uint32_t decodeCleanup(ZebCBProgrState& s, bool causal, bool segMark, bool resetCtx, bool checkPredTerm);
std::uint32_t decodeSignificancePropagationRaw(ZebCBProgrState& s, bool causal, bool checkRawTerm);
std::uint32_t decodeMagnitudeRefinementRaw(ZebCBProgrState& s);

}  // namespace zeb::t1
