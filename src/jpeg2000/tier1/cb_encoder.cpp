// Tier-1 code-block encoder object: creation, release and the load, which
// runs every coding pass of the block and records the decisions with their
// contexts (or as raw bits in bypass passes) and the distortion reduction of
// every pass.  The recorded symbols are turned into bytes by the output
// phase in cb_encoder_output.cpp.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/check.h"
#include "jpeg2000/tier1/cb_encoder.h"

using namespace zeb::t1;

namespace {

// Pass kinds of the load.
enum class PassKind { Propagation, Refinement, Cleanup };

// Everything one pass needs, gathered once per load.
struct PassContext {
    const unsigned char* src;  // row 0 of the block
    std::ptrdiff_t srcStep;    // bytes
    int width;
    int height;
    std::uint32_t* origin;  // state word of pair 0, column 0
    std::ptrdiff_t stride;  // state stride in words
    const std::uint32_t* zeroCoding;
    bool causal;
    bool segMark;
    // The symbol bytes are written as char8_t, which unlike unsigned char
    // does not alias other types: the state words and the runner's fields
    // stay in registers across the stores.
    char8_t* decisions;
    char8_t* contexts;
    std::int32_t count;  // symbols recorded so far
};

// Coefficient x of the row at byte address row (steps need not be multiples of 4).
inline std::int32_t coefAt(const unsigned char* row, int x) {
    std::int32_t v;
    std::memcpy(&v, row + 4 * static_cast<std::ptrdiff_t>(x), 4);
    return v;
}

// Sweeps one pass over the block in stripe order, calling visit(word,
// shift, row-in-stripe, coefficient) for every coefficient of the columns
// whose two state words pass columnTest (the pair tests of t1_contexts.h;
// a column without candidates at its start gets none while it is coded).
// The cleanup pass has its own sweep because of the run-length mode.
template <class ColumnTest, class Visit>
inline void sweep(const PassContext& pc, ColumnTest&& columnTest, Visit&& visit) {
    for (int y0 = 0; y0 < pc.height; y0 += 4) {
        const int rows = pc.height - y0 < 4 ? pc.height - y0 : 4;
        std::uint32_t* stripe = pc.origin + static_cast<std::ptrdiff_t>(y0 / 2) * pc.stride;
        const unsigned char* srcRow = pc.src + y0 * pc.srcStep;
        for (int x = 0; x < pc.width; ++x) {
            const std::uint32_t* w = stripe + x;
            if (!columnTest(w[0]) && (rows <= 2 || !columnTest(w[pc.stride]))) continue;
            if (rows == 4) {
                // Full stripe column: rows and halves as constants.
                std::uint32_t* w0 = stripe + x;
                std::uint32_t* w1 = w0 + pc.stride;
                const unsigned char* row0 = srcRow;
                visit(w0, 0, 0, coefAt(row0, x));
                visit(w0, 16, 1, coefAt(row0 + pc.srcStep, x));
                visit(w1, 0, 2, coefAt(row0 + 2 * pc.srcStep, x));
                visit(w1, 16, 3, coefAt(row0 + 3 * pc.srcStep, x));
                continue;
            }
            for (int r = 0; r < rows; ++r) {
                std::uint32_t* word = stripe + x + (r >> 1) * pc.stride;
                visit(word, (r & 1) * 16, r, coefAt(srcRow + r * pc.srcStep, x));
            }
        }
    }
}

// The runner works on a local copy of the pass context and of the
// distortion parameters: the byte stores of the recorded symbols may alias
// anything reachable from outside, so nothing the loops read lives there.
struct PassRunner {
    PassContext pc;
    int plane;
    const std::int32_t* distTable;
    std::uint32_t distMask;
    std::uint32_t shiftRight;
    std::uint32_t shiftLeft;
    std::int64_t dist = 0;

    void record(std::uint32_t bit, std::uint32_t ctx) {
        pc.decisions[pc.count] = static_cast<char8_t>(bit);
        pc.contexts[pc.count] = static_cast<char8_t>(ctx);
        ++pc.count;
    }
    void recordRaw(std::uint32_t bit) { pc.decisions[pc.count++] = static_cast<char8_t>(bit); }
    // Branchless forms for coefficients that may not be coded in the pass:
    // the symbol is written in any case and kept when `coded` is 1 (the
    // buffers hold far more than the symbols a block can produce, so the
    // slot after the last symbol always exists).
    void recordIf(std::uint32_t bit, std::uint32_t ctx, std::uint32_t coded) {
        pc.decisions[pc.count] = static_cast<char8_t>(bit);
        pc.contexts[pc.count] = static_cast<char8_t>(ctx);
        pc.count += static_cast<std::int32_t>(coded);
    }
    void recordRawIf(std::uint32_t bit, std::uint32_t coded) {
        pc.decisions[pc.count] = static_cast<char8_t>(bit);
        pc.count += static_cast<std::int32_t>(coded);
    }

    std::int32_t distortion(std::int32_t v) const {
        const std::uint32_t idx = (static_cast<std::uint32_t>(v >> shiftRight) << shiftLeft) & distMask;
        return distTable[idx];
    }
    std::uint32_t bitOf(std::int32_t v) const { return (static_cast<std::uint32_t>(v) >> plane) & 1u; }

    void becomeSignificant(std::uint32_t* word, int r, std::uint32_t sign, bool inRun) {
        if (r & 1)
            markSignificantL(word, pc.stride, sign, inRun);
        else
            markSignificantU(word, pc.stride, sign, pc.causal && r == 0);
    }

    // Sign of a coefficient that has just become significant, then its state.
    void codeSign(std::uint32_t* word, int shift, int r, std::int32_t v, bool raw, bool inRun) {
        const std::uint32_t sign = static_cast<std::uint32_t>(v) >> 31;
        if (raw) {
            recordRaw(sign);
        } else {
            const std::uint32_t entry = signEntry(*word >> shift);
            record(sign ^ (entry >> 31), entry & 15u);
        }
        dist += distortion(v);
        becomeSignificant(word, r, sign, inRun);
    }

    void propagation(bool raw) {
        auto hasWork = [](std::uint32_t w) { return propagationCandidates(w) != 0; };
        sweep(pc, hasWork, [&](std::uint32_t* word, int shift, int r, std::int32_t v) {
            const std::uint32_t half = (*word >> shift) & 0xFFFFu;
            const std::uint32_t coded = (half & (kStSignificant | kStAnyNeighbour)) == kStAnyNeighbour;
            const std::uint32_t bit = bitOf(v);
            if (raw)
                recordRawIf(bit, coded);
            else
                recordIf(bit, pc.zeroCoding[half & 0xFFu], coded);
            if (coded & bit)
                codeSign(word, shift, r, v, raw, false);
            else
                *word |= (coded * kStVisited) << shift;
        });
    }

    void refinement(bool raw) {
        auto hasWork = [](std::uint32_t w) { return refineCandidates(w) != 0; };
        sweep(pc, hasWork, [&](std::uint32_t* word, int shift, int, std::int32_t v) {
            const std::uint32_t half = (*word >> shift) & 0xFFFFu;
            const std::uint32_t coded = (half & (kStSignificant | kStVisited)) == kStSignificant;
            const std::uint32_t bit = bitOf(v);
            if (raw)
                recordRawIf(bit, coded);
            else
                recordIf(bit, refineContext(half), coded);
            dist += distortion(v) & -static_cast<std::int32_t>(coded);
            *word |= (coded * kStRefined) << shift;
        });
    }

    void cleanup() {
        for (int y0 = 0; y0 < pc.height; y0 += 4) {
            const int rows = pc.height - y0 < 4 ? pc.height - y0 : 4;
            std::uint32_t* stripe = pc.origin + static_cast<std::ptrdiff_t>(y0 / 2) * pc.stride;
            const unsigned char* srcRow = pc.src + y0 * pc.srcStep;
            for (int x = 0; x < pc.width; ++x) {
                std::uint32_t* w0 = stripe + x;
                std::uint32_t* w1 = w0 + pc.stride;
                int r = 0;
                if (rows == 4 && *w0 == 0 && *w1 == 0) {
                    while (r < 4 && !bitOf(coefAt(srcRow + r * pc.srcStep, x))) ++r;
                    if (r == 4) {
                        record(0, kCtxRunLength);
                        continue;
                    }
                    record(1, kCtxRunLength);
                    record(static_cast<std::uint32_t>(r) >> 1, kCtxUniform);
                    record(static_cast<std::uint32_t>(r) & 1u, kCtxUniform);
                    std::uint32_t* word = r < 2 ? w0 : w1;
                    codeSign(word, (r & 1) * 16, r, coefAt(srcRow + r * pc.srcStep, x), false, true);
                    ++r;
                }
                auto codeRow = [&](std::uint32_t* word, int shift, int row) {
                    const std::uint32_t half = (*word >> shift) & 0xFFFFu;
                    if (half & (kStSignificant | kStVisited)) return;
                    const std::int32_t v = coefAt(srcRow + row * pc.srcStep, x);
                    const std::uint32_t bit = bitOf(v);
                    record(bit, pc.zeroCoding[half & 0xFFu]);
                    if (bit) codeSign(word, shift, row, v, false, false);
                };
                if (rows == 4) {
                    // Rows and halves as constants.
                    if (r <= 0) codeRow(w0, 0, 0);
                    if (r <= 1) codeRow(w0, 16, 1);
                    if (r <= 2) codeRow(w1, 0, 2);
                    if (r <= 3) codeRow(w1, 16, 3);
                } else {
                    for (; r < rows; ++r) codeRow(r < 2 ? w0 : w1, (r & 1) * 16, r);
                }
                *w0 &= kClearVisited;
                if (rows > 2) *w1 &= kClearVisited;
            }
        }
        if (pc.segMark) {
            record(1, kCtxUniform);
            record(0, kCtxUniform);
            record(1, kCtxUniform);
            record(0, kCtxUniform);
        }
    }
};

// Chooses the distortion table and index shifts of a pass on plane p.
void selectDistortion(ZebEncodeState& st, int p, PassKind kind) {
    const bool lowest = st.lossless && p == st.lowPlane;
    if (kind == PassKind::Refinement) {
        st.distTable = lowest ? FmLossless_LUT.data() : FmLossy_LUT.data();
        st.distMask = 127;
    } else {
        st.distTable = lowest ? FsLossless_LUT.data() : FsLossy_LUT.data();
        st.distMask = 63;
    }
    if (p >= 6) {
        st.shiftRight = static_cast<std::uint32_t>(p - 6);
        st.shiftLeft = 0;
    } else {
        st.shiftRight = 0;
        st.shiftLeft = static_cast<std::uint32_t>(6 - p);
    }
}

void runPass(ZebEncodeState& st, PassContext& pc, int p, PassKind kind, bool raw) {
    ZebEncodeBuffer& b = *st.buffer;
    selectDistortion(st, p, kind);
    PassRunner run{pc, p, st.distTable, st.distMask, st.shiftRight, st.shiftLeft};
    switch (kind) {
        case PassKind::Propagation: run.propagation(raw); break;
        case PassKind::Refinement: run.refinement(raw); break;
        case PassKind::Cleanup: run.cleanup(); break;
    }
    pc.count = run.pc.count;
    st.distRed[st.passIdx] += static_cast<std::int32_t>(run.dist);
    st.distExp[st.passIdx] = st.curExp;
    b.symbolCount = pc.count;
    b.symbolsPerPass[b.nPasses] = b.symbolCount - b.passStart;
    b.passStart = b.symbolCount;
    b.passIsRaw[b.nPasses] = raw ? 1 : 0;
    b.nPasses += 1;
    st.passIdx += 1;
    if (st.passIdx < kMaxPasses) st.distRed[st.passIdx] = 0;
}

void freeAll(ZebEncodeState* st, ZebEncodeBuffer* b) {
    if (b) {
        zebsFree(b->contexts);
        zebsFree(b->decisions);
        zebsFree(b);
    }
    if (st) {
        zebsFree(st->stateBuf);
        zebsFree(st);
    }
}

}  // namespace

namespace zeb::t1 {

int encoderSegmentCount(const ZebEncodeBuffer& b) {
    if (b.termAll) return b.nPasses;
    int n = 1;
    for (int k = 0; k + 1 < b.nPasses; ++k) n += b.passIsRaw[k] != b.passIsRaw[k + 1];
    return n;
}

}  // namespace zeb::t1

extern "C" {

ZEB_API ZebResult zebiEncodeInitAlloc_JPEG2K(ZebEncodeState** ppState, ZebSize codeBlockMaxSize) {
    ZEB_CHECK(ptr(ppState), size(codeBlockMaxSize));
    const std::int64_t symbolBytes = static_cast<std::int64_t>(codeBlockMaxSize.width) * kSymbolsPerStripeColumn *
                                     ((codeBlockMaxSize.height + 3) / 4);
    const std::int64_t stateBytes = static_cast<std::int64_t>(stateStrideBytes(codeBlockMaxSize.width)) *
                                    stateRows(codeBlockMaxSize.height);
    *ppState = nullptr;
    if (symbolBytes > 0x7FFFFFFF || stateBytes > 0x7FFFFFFF) return zebErrNoMemory;

    auto* st = reinterpret_cast<ZebEncodeState*>(zebsMalloc_8u(static_cast<int>(sizeof(ZebEncodeState))));
    auto* b = reinterpret_cast<ZebEncodeBuffer*>(zebsMalloc_8u(static_cast<int>(sizeof(ZebEncodeBuffer))));
    if (st) zebsZero_8u(reinterpret_cast<Zeb8u*>(st), static_cast<int>(sizeof(ZebEncodeState)));
    if (b) zebsZero_8u(reinterpret_cast<Zeb8u*>(b), static_cast<int>(sizeof(ZebEncodeBuffer)));
    if (b) {
        b->contexts = zebsMalloc_8u(static_cast<int>(symbolBytes));
        b->decisions = zebsMalloc_8u(static_cast<int>(symbolBytes));
    }
    if (st) st->stateBuf = reinterpret_cast<std::uint32_t*>(zebsMalloc_8u(static_cast<int>(stateBytes)));
    if (!st || !b || !b->contexts || !b->decisions || !st->stateBuf) {
        freeAll(st, b);
        return zebErrNoMemory;
    }
    st->id = kEncodeStateId;
    st->buffer = b;
    *ppState = st;
    return zebOk;
}

ZEB_API ZebResult zebiEncodeFree_JPEG2K(ZebEncodeState* pState) {
    ZEB_CHECK(ptr(pState));
    freeAll(pState, pState->buffer);
    return zebOk;
}

ZEB_API ZebResult zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, ZebSize codeBlockSize,
                                                        ZebEncodeState* pState, int subband, int magnBits,
                                                        int termMode, int reserved, int codeStyleFlags,
                                                        int* pSfBits, int* pNOfPasses, int* pNOfTermPasses) {
    (void)reserved;
    ZEB_CHECK(ptr(pState));
    ZEB_CHECK(when(pState->id != kEncodeStateId, zebErrContextMismatch));
    ZEB_CHECK(ptr(pSfBits, pNOfPasses, pNOfTermPasses),
              when(codeBlockSize.height < 1 || codeBlockSize.width < 1, zebErrSize), ptr(pSrc), step(srcStep));

    ZebEncodeState& st = *pState;
    ZebEncodeBuffer& b = *st.buffer;
    const int width = codeBlockSize.width;
    const int height = codeBlockSize.height;
    const auto* srcBytes = reinterpret_cast<const unsigned char*>(pSrc);

    // 1. Clean significance state, zero-coding table of the sub-band.
    std::memset(st.stateBuf, 0, stateBufferBytes(width, height));
    PassContext pc{srcBytes, srcStep, width, height,
                   st.stateBuf + stateOriginBytes(width) / 4, static_cast<std::ptrdiff_t>(stateStrideBytes(width) / 4),
                   zeroCodingTable(subband), (codeStyleFlags & kCbCausal) != 0, (codeStyleFlags & kCbSegMark) != 0,
                   reinterpret_cast<char8_t*>(b.decisions), reinterpret_cast<char8_t*>(b.contexts), 0};

    // 2. Coders and bookkeeping.
    mqEncoderInit(b.mq);
    b.mq.stagedEnd = b.mq.stagedNext = 0;
    mqEncoderResetCtx(b.mq);
    rawEncoderInit(b.raw);
    b.pendingTerm = 0;
    b.termMode = termMode;
    b.resetCtx = (codeStyleFlags & kCbResetCtx) != 0;
    b.termAll = (codeStyleFlags & kCbTermAll) != 0;
    b.nPasses = 0;
    b.symbolCount = b.passStart = b.storePass = 0;

    // 3. Significant bit-planes.
    std::uint32_t maxMag = 0;
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = srcBytes + static_cast<std::ptrdiff_t>(y) * srcStep;
        for (int x = 0; x < width; ++x) maxMag |= static_cast<std::uint32_t>(coefAt(row, x)) & 0x7FFFFFFFu;
    }
    int sfBits = 0;
    while (sfBits < 31 && (maxMag >> sfBits) != 0) ++sfBits;
    *pSfBits = sfBits;

    // 4.-5. All passes from the top plane down to the lowest coded one.  More
    // than 31 coded bits would reach below plane 0; they are coded as 31 (and a
    // negative count as 0).
    const int coded = magnBits > 31 ? 31 : (magnBits < 0 ? 0 : magnBits);
    st.lowPlane = 31 - coded;
    st.lossless = codeStyleFlags & kCbLossless;
    st.passIdx = 0;
    st.distRed[0] = 0;
    const int top = sfBits - 1;
    st.curExp = 2 * (top - st.lowPlane) - 13;
    const bool bypass = (codeStyleFlags & kCbBypass) != 0;
    if (top >= st.lowPlane) {
        runPass(st, pc, top, PassKind::Cleanup, false);
        st.curExp -= 2;
        for (int p = top - 1; p >= st.lowPlane; --p) {
            const bool raw = bypass && p < sfBits - 4;
            runPass(st, pc, p, PassKind::Propagation, raw);
            runPass(st, pc, p, PassKind::Refinement, raw);
            runPass(st, pc, p, PassKind::Cleanup, false);
            st.curExp -= 2;
        }
    }

    // 6. Pass and segment counts.
    *pNOfPasses = b.nPasses;
    *pNOfTermPasses = encoderSegmentCount(b);

    // 7. Ready to store.
    b.totalBytes = 0;
    b.storePass = 0;
    b.decCursor = b.decisions;
    b.ctxCursor = b.contexts;
    b.symbolsDone = 0;
    b.passBytes = 0;
    b.passSymbols = b.symbolsPerPass[0];
    b.passIsRawNow = b.passIsRaw[0];
    if (b.resetCtx) mqEncoderResetCtx(b.mq);
    return zebOk;
}

}  // extern "C"
