// Encoder and decoder bit-stream state records: size queries, reset,
// allocation and release.  A zero-filled record is a freshly initialised one.
#include <cstring>

#include "core/check.h"
#include "jpeg/huffman/huffman_records.h"

namespace {

template <class State, int kBytes>
ZebResult stateInitAlloc(State** ppState) {
    ZEB_CHECK(ptr(ppState));
    Zeb8u* mem = zebsMalloc_8u(kBytes);
    if (mem == nullptr) return zebErrNullPtr;
    std::memset(mem, 0, kBytes);
    *ppState = reinterpret_cast<State*>(mem);
    return zebOk;
}

}  // namespace

extern "C" {

ZEB_API ZebResult zebiEncodeHuffmanStateGetBufSize_JPEG_8u(int* pSize) {
    ZEB_CHECK(ptr(pSize));
    *pSize = zeb::huff::kEncodeStateBytes;
    return zebOk;
}

ZEB_API ZebResult zebiEncodeHuffmanStateInit_JPEG_8u(ZebEncodeHuffmanState* pEncHuffState) {
    ZEB_CHECK(ptr(pEncHuffState));
    std::memset(pEncHuffState, 0, zeb::huff::kEncodeStateBytes);
    return zebOk;
}

ZEB_API ZebResult zebiEncodeHuffmanStateInitAlloc_JPEG_8u(ZebEncodeHuffmanState** ppState) {
    return stateInitAlloc<ZebEncodeHuffmanState, zeb::huff::kEncodeStateBytes>(ppState);
}

ZEB_API ZebResult zebiEncodeHuffmanStateFree_JPEG_8u(ZebEncodeHuffmanState* pEncHuffState) {
    ZEB_CHECK(ptr(pEncHuffState));
    zebsFree(pEncHuffState);
    return zebOk;
}

ZEB_API ZebResult zebiDecodeHuffmanStateGetBufSize_JPEG_8u(int* pSize) {
    ZEB_CHECK(ptr(pSize));
    *pSize = zeb::huff::kDecodeStateBytes;
    return zebOk;
}

ZEB_API ZebResult zebiDecodeHuffmanStateInit_JPEG_8u(ZebDecodeHuffmanState* pDecHuffState) {
    ZEB_CHECK(ptr(pDecHuffState));
    std::memset(pDecHuffState, 0, zeb::huff::kDecodeStateBytes);
    return zebOk;
}

ZEB_API ZebResult zebiDecodeHuffmanStateInitAlloc_JPEG_8u(ZebDecodeHuffmanState** ppState) {
    return stateInitAlloc<ZebDecodeHuffmanState, zeb::huff::kDecodeStateBytes>(ppState);
}

ZEB_API ZebResult zebiDecodeHuffmanStateFree_JPEG_8u(ZebDecodeHuffmanState* pDecHuffState) {
    ZEB_CHECK(ptr(pDecHuffState));
    zebsFree(pDecHuffState);
    return zebOk;
}

}  // extern "C"
