// Baseline (sequential) 8x8 block coding kernels behind the exported
// functions.  Path::Scalar runs only the byte-wise definition; Path::Vector
// tries the 64-bit fast path first and falls back to the byte-wise path
// whenever the fast path cannot finish the block.  The fast-path entry
// points are exposed so that tests and benchmarks can see which path ran.
#pragma once

#include "core/simd.h"
#include "jpeg/huffman/huffman_records.h"

namespace zeb::huff {

template <Path P>
ZebResult encodeBlock(const Zeb16s* src, Zeb8u* dst, int dstLen, int* pPos, Zeb16s* pLastDC,
                      const EncodeSpec& dc, const EncodeSpec& ac, EncodeState& st);

// Encodes the block and returns true, or returns false having changed
// nothing but bytes at and after *pPos (which the byte-wise path rewrites).
bool encodeBlockFast(const Zeb16s* src, Zeb8u* dst, int dstLen, int* pPos, Zeb16s* pLastDC,
                     const EncodeSpec& dc, const EncodeSpec& ac, EncodeState& st);

// Symbol statistics of one block (the counters the encoder's symbols add
// to).  Path::Scalar walks the 63 AC coefficients one by one and is the
// definition; Path::Vector walks the zigzag mask of the nonzero ones, with
// the same counts in the same order (also when it stops at a category error).
template <Path P>
ZebResult blockStatistics(const Zeb16s* src, Zeb32s* dcStats, Zeb32s* acStats, Zeb16s* pLastDC);

template <Path P>
ZebResult decodeBlock(const Zeb8u* src, int srcLen, int* pPos, Zeb16s* dst, Zeb16s* pLastDC, int* pMarker,
                      const DecodeSpec& dc, const DecodeSpec& ac, DecodeState& st);

// Decodes the block and returns true, or returns false having changed
// nothing but the block itself.
bool decodeBlockFast(const Zeb8u* src, int srcLen, int* pPos, Zeb16s* dst, Zeb16s* pLastDC, int marker,
                     const DecodeSpec& dc, const DecodeSpec& ac, DecodeState& st);

}  // namespace zeb::huff
