/*
 * zeb.h - image-compression primitives for codec writers.
 *
 * The building blocks of JPEG (ITU-T T.81), JPEG 2000 Part 1 (ISO/IEC 15444-1)
 * and TIFF PackBits, as plain C functions over caller-owned memory.  The caller
 * owns the file syntax (markers, headers, packets); the library owns the
 * arithmetic.
 *
 * Conventions shared by every function:
 *  - Every function that can fail returns a ZebResult: 0 success, negative an
 *    error (nothing written, or the operation stopped), positive a warning (the
 *    output is complete, with a documented substitution).
 *  - Arguments are checked before any memory is touched; the first failing
 *    check decides the result.
 *  - Images are passed as a pointer to the top-left pixel and a step: the
 *    distance in BYTES between two row starts (at least 1).  Planar sets (P3,
 *    P4) are arrays of plane pointers in channel-name order sharing one step.
 *    Pointers and steps of 16- and 32-bit planes keep their elements aligned
 *    to the element size.
 *  - 8x8 blocks are 64 signed 16-bit values in natural (row-major) order.
 *  - Names: zeb + domain letter (i image, s vector, j library) + operation +
 *    standard (JPEG, JPEG2K, TIFF) + types (source first) + layout (C1..C4
 *    interleaved, P3/P4 planar, R region with step, I in place).
 *
 * Threads: 19 whole-image functions (colour conversion to and from planes,
 * the H2V1/H2V2 plane samplers and the Add128/Sub128 level shifts) split their
 * row loop over OpenMP threads when the region exceeds 8192 pixels, using the
 * thread count held by the companion library libzebcore (see zebcoreSetNumThreads).
 * All functions are reentrant on disjoint memory.
 *
 * This header is valid C99 and C++.
 */
#ifndef ZEB_H
#define ZEB_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ZEB_BUILDING_LIBRARY)
#define ZEB_API __attribute__((visibility("default")))
#else
#define ZEB_API
#endif

#if defined(ZEB_BUILDING_CORE)
#define ZEBCORE_API __attribute__((visibility("default")))
#else
#define ZEBCORE_API
#endif

/* ------------------------------------------------------------------------ */
/* Basic types                                                              */
/* ------------------------------------------------------------------------ */

typedef unsigned char  Zeb8u;
typedef signed short   Zeb16s;
typedef unsigned short Zeb16u;
typedef signed int     Zeb32s;
typedef unsigned int   Zeb32u;
typedef float          Zeb32f;

/* Status code: 0 success, negative errors, positive warnings. */
typedef int ZebResult;

enum {
    zebOk                  = 0,    /* success */
    zebWrnDivByZero        = 6,    /* a divisor was zero; a substitute value was written there */
    zebErrBlockOverrun     = -2,   /* a decoded zero run passes the end of the 8x8 block */
    zebErrBadArg           = -5,   /* an argument lies outside its allowed set */
    zebErrSize             = -6,   /* a width, height, length or count is below 1 or invalid */
    zebErrNullPtr          = -8,   /* a required pointer is null */
    zebErrNoMemory         = -9,   /* an allocation failed */
    zebErrStep             = -14,  /* a row step is below 1 */
    zebErrContextMismatch  = -17,  /* a state record does not carry its family's identifier */
    zebErrBufferEnd        = -62,  /* bit-stream buffer ended (destination full / source exhausted) */
    zebErrCodeRange        = -63,  /* value out of the code's range, undecodable data, or a marker */
    zebErrHuffTable        = -64,  /* invalid Huffman table, or a symbol without a code */
    zebErrCorruptCodeBlock = -112, /* the code-block decoder detected damaged data */
    zebErrPassIndex        = -113, /* a coding-pass index is out of range */
    zebErrPackBitsLength   = -124, /* PackBits packets do not fit the destination or the row */
    zebErrNotAttached      = -180  /* a progressive decoder step came before a code-block was attached */
};

/* Region of interest, in pixels; both members at least 1. Passed by value. */
typedef struct ZebSize {
    int width;
    int height;
} ZebSize;

/* Tile(-component) rectangle of the whole-tile wavelets; only the parity of
 * x and y (the phase on the reference grid) is used. Passed by pointer. */
typedef struct ZebRect {
    int x;
    int y;
    int width;
    int height;
} ZebRect;

/* Constant version record returned by zebjGetLibVersion. */
typedef struct ZebVersionRecord {
    int         versionMajor;  /* 5 */
    int         versionMinor;  /* 2 */
    int         buildMajor;    /* 108 */
    int         buildNumber;   /* 390 */
    char        targetCode[4]; /* "q5\0\0" */
    const char* libraryName;   /* "libzebjq5.so.5.2" */
    const char* versionText;   /* "5.2" */
    const char* buildDate;     /* "Jul 11 2007" */
} ZebVersionRecord;

/* Opaque records. Sizes are reported by the GetBufSize / GetStateSize
 * functions of their family. */
typedef struct ZebEncodeHuffmanSpec  ZebEncodeHuffmanSpec;  /* 1024 bytes */
typedef struct ZebDecodeHuffmanSpec  ZebDecodeHuffmanSpec;  /* 1644 bytes */
typedef struct ZebEncodeHuffmanState ZebEncodeHuffmanState; /* 1044 bytes */
typedef struct ZebDecodeHuffmanState ZebDecodeHuffmanState; /* 20 bytes */
typedef struct ZebEncodeState        ZebEncodeState;        /* JPEG 2000 code-block encoder */
typedef struct ZebCBProgrState       ZebCBProgrState;       /* JPEG 2000 progressive code-block decoder */

/* ------------------------------------------------------------------------ */
/* Companion core library (libzebcore): the thread count                     */
/* ------------------------------------------------------------------------ */

/* Number of threads the whole-image functions request for a parallel row
 * loop; initialised to the number of online processors when libzebcore is
 * loaded. Read at the start of every parallel region, never written by
 * libzebjq5. */
extern ZEBCORE_API int threads_omp_of_n_zeb;

/* Sets the thread count (values below 1 are taken as 1). */
ZEBCORE_API void zebcoreSetNumThreads(int numThreads);
/* Returns the current thread count. */
ZEBCORE_API int zebcoreGetNumThreads(void);

/* ------------------------------------------------------------------------ */
/* Library information, memory and vector helpers                           */
/* ------------------------------------------------------------------------ */

/* Allocator hooks, initialised to the C library's functions. A host may
 * replace them before any other use of the library. zebsMalloc_8u calls
 * tov_malloc, zebsFree calls tov_free; tov_calloc and tov_realloc are not
 * used by the library. */
extern ZEB_API void* (*tov_malloc)(size_t size);
extern ZEB_API void* (*tov_calloc)(size_t count, size_t size);
extern ZEB_API void* (*tov_realloc)(void* ptr, size_t size);
extern ZEB_API void  (*tov_free)(void* ptr);
extern ZEB_API int tov_version;     /* 1 */
extern ZEB_API int tov_min_version; /* 0 */

/* Returns the address of the constant version record. */
ZEB_API const ZebVersionRecord* zebjGetLibVersion(void);

/* Allocates len bytes aligned to 32 bytes; null when len < 1 or when the
 * tov_malloc hook fails. The word before the block holds the hook's pointer. */
ZEB_API Zeb8u* zebsMalloc_8u(int len);
/* Releases a block from zebsMalloc_8u through tov_free; null is ignored. */
ZEB_API void zebsFree(void* ptr);

/* Copy, fill and clear len elements. Checks: pointers (zebErrNullPtr), then
 * len < 1 (zebErrSize). Copy source and destination must not overlap. */
ZEB_API ZebResult zebsCopy_8u(const Zeb8u* pSrc, Zeb8u* pDst, int len);
ZEB_API ZebResult zebsSet_8u(Zeb8u val, Zeb8u* pDst, int len);
ZEB_API ZebResult zebsZero_8u(Zeb8u* pDst, int len);
ZEB_API ZebResult zebsZero_16s(Zeb16s* pDst, int len);

/* Reverse division pDst[n] = val / pSrc[n], single precision, rounded to
 * nearest. A zero divisor gives 65535 and zebWrnDivByZero; val = 0 gives zeros
 * (with the warning only if some divisor is 0). */
ZEB_API ZebResult zebsDivCRev_16u(const Zeb16u* pSrc, Zeb16u val, Zeb16u* pDst, int len);
ZEB_API ZebResult zebsDivCRev_16u_I(Zeb16u val, Zeb16u* pSrcDst, int len);

/* ------------------------------------------------------------------------ */
/* Image helpers                                                            */
/* ------------------------------------------------------------------------ */

/* Zero-extends an 8-bit plane to 16 bits.
 * Checks: pointers, then size (zebErrSize), then steps (zebErrStep). */
ZEB_API ZebResult zebiConvert_8u16u_C1R(const Zeb8u* pSrc, int srcStep, Zeb16u* pDst, int dstStep,
                                        ZebSize roiSize);
/* Copies a 16-bit or 32-bit plane (the 32f copy moves any 4-byte pattern).
 * Checks: pointers, then size; steps are not checked. */
ZEB_API ZebResult zebiCopy_16s_C1R(const Zeb16s* pSrc, int srcStep, Zeb16s* pDst, int dstStep,
                                   ZebSize roiSize);
ZEB_API ZebResult zebiCopy_32f_C1R(const Zeb32f* pSrc, int srcStep, Zeb32f* pDst, int dstStep,
                                   ZebSize roiSize);
/* pDst = pSrc AND value. Checks: pointers, then steps, then size. */
ZEB_API ZebResult zebiAndC_32s_C1R(const Zeb32s* pSrc, int srcStep, Zeb32s value, Zeb32s* pDst,
                                   int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiAndC_32s_C1IR(Zeb32s value, Zeb32s* pSrcDst, int srcDstStep, ZebSize roiSize);
/* Reorders one 8x8 block from T.81 zigzag order to natural order. */
ZEB_API ZebResult zebiZigzagInv8x8_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst);

/* ------------------------------------------------------------------------ */
/* JPEG Huffman tables                                                      */
/* ------------------------------------------------------------------------ */
/* @section huffman-tables */
/* Tables are built from the DHT form: pBits holds 16 counts (entry i = number
 * of codes of length i + 1), pHuffVal the symbols in code order.
 * ZebEncodeHuffmanSpec (1024 bytes) maps a symbol to (length << 16) | code;
 * ZebDecodeHuffmanSpec (1644 bytes) holds HUFFVAL, an 8-bit look-ahead table
 * and the MINCODE/MAXCODE/VALPTR tables. Built tables are read-only and may
 * be shared.
 * GetBufSize: pSize null -> zebErrNullPtr.
 * Init: any pointer null -> zebErrNullPtr; more than 256 codes ->
 * zebErrHuffTable; the encoder build also rejects a length whose codes
 * overflow it or whose last code is all ones (zebErrHuffTable); the decoder
 * build only rejects short codes that overflow the look-ahead table.
 * InitAlloc: pointers null, or allocation failure -> zebErrNullPtr; stores
 * the new record in *ppSpec even when the build fails (free it either way).
 * Free: null -> zebErrNullPtr. */
ZEB_API ZebResult zebiEncodeHuffmanSpecGetBufSize_JPEG_8u(int* pSize);
ZEB_API ZebResult zebiEncodeHuffmanSpecInit_JPEG_8u(const Zeb8u* pBits, const Zeb8u* pHuffVal,
                                                   ZebEncodeHuffmanSpec* pSpec);
ZEB_API ZebResult zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(const Zeb8u* pBits, const Zeb8u* pHuffVal,
                                                        ZebEncodeHuffmanSpec** ppSpec);
ZEB_API ZebResult zebiEncodeHuffmanSpecFree_JPEG_8u(ZebEncodeHuffmanSpec* pSpec);
ZEB_API ZebResult zebiDecodeHuffmanSpecGetBufSize_JPEG_8u(int* pSize);
ZEB_API ZebResult zebiDecodeHuffmanSpecInit_JPEG_8u(const Zeb8u* pBits, const Zeb8u* pHuffVal,
                                                   ZebDecodeHuffmanSpec* pSpec);
ZEB_API ZebResult zebiDecodeHuffmanSpecInitAlloc_JPEG_8u(const Zeb8u* pBits, const Zeb8u* pHuffVal,
                                                        ZebDecodeHuffmanSpec** ppSpec);
ZEB_API ZebResult zebiDecodeHuffmanSpecFree_JPEG_8u(ZebDecodeHuffmanSpec* pSpec);
/* Optimal BITS/HUFFVAL from 256 symbol frequencies (T.81 K.2, lengths
 * limited to 16 bits, the all-ones code reserved). Ties go to the higher
 * symbol; frequencies above 1000000000 are never merged. Pointers null ->
 * zebErrNullPtr; a code length above 32 -> zebErrHuffTable (nothing
 * written). All frequencies 0 give an empty table (all counts 0). */
ZEB_API ZebResult zebiEncodeHuffmanRawTableInit_JPEG_8u(const Zeb32s* pStatistics, Zeb8u* pBits,
                                                       Zeb8u* pHuffVal);

/* ------------------------------------------------------------------------ */
/* JPEG Huffman bit-stream states                                           */
/* ------------------------------------------------------------------------ */
/* @section huffman-states */
/* ZebEncodeHuffmanState (1044 bytes) holds the pending bits of one scan;
 * ZebDecodeHuffmanState (20 bytes) the read-ahead bits. A zero-filled record
 * is an initialised one. Encoders take (pDst, dstLenBytes, *pDstCurrPos) and
 * append T.81 entropy-coded bytes (0xFF followed by a stuffed 0x00); a call
 * with bFlushState nonzero pads the last byte with 1-bits and resets the
 * state. Decoders take (pSrc, srcLenBytes, *pSrcCurrPos), un-stuff, skip 0xFF
 * fill bytes, read ahead up to 32 bits and stop at a marker, whose second
 * byte they store in *pMarker (reset it and re-initialise the state after a
 * restart marker). Every function: a null pointer -> zebErrNullPtr (also an
 * allocation failure in InitAlloc). */
ZEB_API ZebResult zebiEncodeHuffmanStateGetBufSize_JPEG_8u(int* pSize);
ZEB_API ZebResult zebiEncodeHuffmanStateInit_JPEG_8u(ZebEncodeHuffmanState* pEncHuffState);
ZEB_API ZebResult zebiEncodeHuffmanStateInitAlloc_JPEG_8u(ZebEncodeHuffmanState** ppState);
ZEB_API ZebResult zebiEncodeHuffmanStateFree_JPEG_8u(ZebEncodeHuffmanState* pEncHuffState);
ZEB_API ZebResult zebiDecodeHuffmanStateGetBufSize_JPEG_8u(int* pSize);
ZEB_API ZebResult zebiDecodeHuffmanStateInit_JPEG_8u(ZebDecodeHuffmanState* pDecHuffState);
ZEB_API ZebResult zebiDecodeHuffmanStateInitAlloc_JPEG_8u(ZebDecodeHuffmanState** ppState);
ZEB_API ZebResult zebiDecodeHuffmanStateFree_JPEG_8u(ZebDecodeHuffmanState* pDecHuffState);

/* ------------------------------------------------------------------------ */
/* JPEG baseline block coding and statistics                                */
/* ------------------------------------------------------------------------ */
/* @section huffman-baseline */
/* Encodes one quantised block (natural order) as DC difference to *pLastDC
 * plus zigzag run/size symbols (T.81 F.1.2); *pLastDC receives pSrc[0].
 * Checks: pDst null (zebErrNullPtr), dstLenBytes < 1 (zebErrSize),
 * pDstCurrPos, pEncHuffState null (zebErrNullPtr); bFlushState nonzero ->
 * flush and its result; then pSrc, pLastDC, pDcTable, pAcTable null.
 * Errors: destination full (zebErrBufferEnd), symbol without a code
 * (zebErrHuffTable), AC coefficient -32768 (zebErrCodeRange); the scan
 * cannot be continued after any of them. */
ZEB_API ZebResult zebiEncodeHuffman8x8_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                    int* pDstCurrPos, Zeb16s* pLastDC,
                                                    const ZebEncodeHuffmanSpec* pDcTable,
                                                    const ZebEncodeHuffmanSpec* pAcTable,
                                                    ZebEncodeHuffmanState* pEncHuffState, int bFlushState);
/* As above without a state: appends at bit *pDstBitsLen of pDst (the leading
 * *pDstBitsLen & 7 bits of the last byte are kept), stores the 0 to 7 bits
 * left over left-aligned in the byte at the final offset and updates
 * *pDstBitsLen. No capacity check: the buffer must hold the block. Never pads.
 * Any pointer null -> zebErrNullPtr. */
ZEB_API ZebResult zebiEncodeHuffman8x8_Direct_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int* pDstBitsLen,
                                                           Zeb16s* pLastDC, const ZebEncodeHuffmanSpec* pDcTable,
                                                           const ZebEncodeHuffmanSpec* pAcTable);
/* Adds 1 to the DC and AC counters of every symbol the encoder would write.
 * Any pointer null -> zebErrNullPtr; DC category above 15 or AC category
 * above 14 -> zebErrCodeRange. */
ZEB_API ZebResult zebiGetHuffmanStatistics8x8_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pDcStatistics,
                                                         Zeb32s* pAcStatistics, Zeb16s* pLastDC);
/* Decodes one block into pDst (natural order); *pLastDC accumulates the DC.
 * Checks: pSrc null (zebErrNullPtr), srcLenBytes < 0 (zebErrBadArg), then
 * pSrcCurrPos, pDst, pLastDC, pMarker, pDcTable, pAcTable, pDecHuffState
 * null (zebErrNullPtr). Errors: source exhausted (zebErrBufferEnd), marker
 * before the needed bits or an invalid code (zebErrCodeRange), a run past
 * the block (zebErrBlockOverrun); the coefficients decoded so far remain. */
ZEB_API ZebResult zebiDecodeHuffman8x8_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                    Zeb16s* pDst, Zeb16s* pLastDC, int* pMarker,
                                                    const ZebDecodeHuffmanSpec* pDcTable,
                                                    const ZebDecodeHuffmanSpec* pAcTable,
                                                    ZebDecodeHuffmanState* pDecHuffState);
/* As above without a state: reads from byte *pSrcBitsLen >> 3 with no length
 * limit, keeps up to 32 read-ahead bits in *pPrefetchedBits /
 * *pNumValidPrefetchedBits, stops reading at a marker; on return
 * *pSrcBitsLen = 8 * offset of the next unread byte. When the stream has
 * ended at a marker the block ends with zebOk (DC: all zero, position kept).
 * Checks: pSrc, pSrcBitsLen null; *pSrcBitsLen < 0 (zebErrBadArg); pDst,
 * pLastDC, pMarker, pPrefetchedBits, pNumValidPrefetchedBits null;
 * *pNumValidPrefetchedBits < 0 (zebErrBadArg); pDcTable, pAcTable null.
 * Errors: too few extra bits (zebErrBufferEnd), an undecodable or truncated
 * code (zebErrCodeRange), a run past the block (zebErrBlockOverrun). */
ZEB_API ZebResult zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(const Zeb8u* pSrc, int* pSrcBitsLen, Zeb16s* pDst,
                                                           Zeb16s* pLastDC, int* pMarker,
                                                           Zeb32u* pPrefetchedBits, int* pNumValidPrefetchedBits,
                                                           const ZebDecodeHuffmanSpec* pDcTable,
                                                           const ZebDecodeHuffmanSpec* pAcTable);

/* ------------------------------------------------------------------------ */
/* JPEG progressive block coding and statistics                             */
/* ------------------------------------------------------------------------ */
/* @section huffman-progressive */
/* Progressive scans (T.81 Annex G), one call per block and scan, blocks in
 * natural order. Al is the point transform (0 to 13); AC scans code the
 * zigzag band Ss..Se (1 <= Ss <= Se <= 63). End-of-band runs (up to 32767
 * blocks) and refinement correction bits (up to 937 buffered) are carried in
 * the state across blocks and written by the flush call (bFlushState
 * nonzero), which ends every scan and restart interval.
 * DC first: symbol of the difference of pSrc[0] >> Al to *pLastDC (which
 * receives pSrc[0] >> Al), category at most 11. DC refinement: bit Al of
 * pSrc[0]. AC first: |c| >> Al with one's-complement extra bits for negative
 * c, sizes at most 11. AC refinement: new coefficients (|c| >> Al == 1) with
 * a sign bit, correction bits for coefficients already nonzero.
 * Checks (encoders): pDst null (zebErrNullPtr); dstLenBytes < 1
 * (zebErrSize); pDstCurrPos, [AC: pAcTable,] pEncHuffState null; flush when
 * bFlushState; then pSrc [DC first: pLastDC] null; Ss/Se/Al out of range
 * (zebErrBadArg); [DC first: pDcTable null].
 * Errors: zebErrHuffTable (symbol without code), zebErrCodeRange (category or
 * run class too large), zebErrBufferEnd (destination full); the scan cannot
 * be continued after an error. */
ZEB_API ZebResult zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                            int* pDstCurrPos, Zeb16s* pLastDC, int Al,
                                                            const ZebEncodeHuffmanSpec* pDcTable,
                                                            ZebEncodeHuffmanState* pEncHuffState, int bFlushState);
ZEB_API ZebResult zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                             int* pDstCurrPos, int Al,
                                                             ZebEncodeHuffmanState* pEncHuffState, int bFlushState);
ZEB_API ZebResult zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                            int* pDstCurrPos, int Ss, int Se, int Al,
                                                            const ZebEncodeHuffmanSpec* pAcTable,
                                                            ZebEncodeHuffmanState* pEncHuffState, int bFlushState);
ZEB_API ZebResult zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                             int* pDstCurrPos, int Ss, int Se, int Al,
                                                             const ZebEncodeHuffmanSpec* pAcTable,
                                                             ZebEncodeHuffmanState* pEncHuffState, int bFlushState);
/* Statistics for two-pass progressive encoding: add 1 to the counter of
 * every symbol the matching encoder would write (counters are never
 * cleared). The AC forms keep their end-of-band run in a state record of
 * their own (not the encoding pass's), tallied and reset by a flush call.
 * Limits are one below the encoders' for AC sizes (10). Checks: DC first:
 * pointers null, Al out of range; AC: pAcStatistics, pEncHuffState null;
 * flush when bFlushState; pSrc null; Ss/Se/Al out of range. */
ZEB_API ZebResult zebiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pDcStatistics,
                                                                 Zeb16s* pLastDC, int Al);
ZEB_API ZebResult zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pAcStatistics, int Ss,
                                                                 int Se, int Al, ZebEncodeHuffmanState* pEncHuffState,
                                                                 int bFlushState);
ZEB_API ZebResult zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pAcStatistics, int Ss,
                                                                  int Se, int Al, ZebEncodeHuffmanState* pEncHuffState,
                                                                  int bFlushState);
/* Progressive decoding: each call adds what its scan carries to the block
 * (keep the whole coefficient image, zeroed before the first scan) and
 * leaves all other coefficients unchanged. DC first: pDst[0] = *pLastDC <<
 * Al after adding the decoded difference to *pLastDC. DC refinement: sets
 * bit Al of pDst[0]. AC first/refinement: the band Ss..Se; end-of-band runs
 * are counted down in the state. Re-initialise the state and clear *pMarker
 * at every scan start and restart marker; the AC forms read up to 64 bits
 * ahead. Checks: pSrc null; srcLenBytes < 1 (zebErrSize); pSrcCurrPos, pDst,
 * [pLastDC,] pMarker null; Al/Ss/Se out of range (zebErrBadArg); table,
 * pDecHuffState null. Errors: zebErrBufferEnd, zebErrCodeRange,
 * zebErrBlockOverrun; a failing block is left partly updated. */
ZEB_API ZebResult zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                            Zeb16s* pDst, Zeb16s* pLastDC, int* pMarker, int Al,
                                                            const ZebDecodeHuffmanSpec* pDcTable,
                                                            ZebDecodeHuffmanState* pDecHuffState);
ZEB_API ZebResult zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                             Zeb16s* pDst, int* pMarker, int Al,
                                                             ZebDecodeHuffmanState* pDecHuffState);
ZEB_API ZebResult zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                            Zeb16s* pDst, int* pMarker, int Ss, int Se, int Al,
                                                            const ZebDecodeHuffmanSpec* pAcTable,
                                                            ZebDecodeHuffmanState* pDecHuffState);
ZEB_API ZebResult zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                             Zeb16s* pDst, int* pMarker, int Ss, int Se, int Al,
                                                             const ZebDecodeHuffmanSpec* pAcTable,
                                                             ZebDecodeHuffmanState* pDecHuffState);

/* ------------------------------------------------------------------------ */
/* JPEG lossless row coding                                                 */
/* ------------------------------------------------------------------------ */
/* @section huffman-lossless */
/* Lossless-mode difference coding (T.81 Annex H): a category symbol 0 to 16
 * plus that many extra bits; the difference -32768 (standing for 32768) is
 * category 16 with no extra bits. Rows: min(nComps, 4) components (rows and
 * tables indexed by component), coded column by column, component 0 to 3
 * within a column. Row encoder checks: pDst null; dstLenBytes < 1
 * (zebErrSize); pDstCurrPos, pEncHuffState null; flush when bFlushState;
 * ppSrc null; nCols or nComps < 1 (zebErrSize); ppEncHuffTable null; each
 * coded component's row, then table, null. Row decoder checks: pSrc null;
 * srcLenBytes < 1; pSrcCurrPos, ppDst null; nCols or nComps < 1; pMarker,
 * ppDecHuffTable, pDecHuffState null; each component's row, then table.
 * Errors as for the baseline coders. */
ZEB_API ZebResult zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(const Zeb16s* const* ppSrc, int nCols, int nComps, Zeb8u* pDst,
                                                      int dstLenBytes, int* pDstCurrPos,
                                                      const ZebEncodeHuffmanSpec* const* ppEncHuffTable,
                                                      ZebEncodeHuffmanState* pEncHuffState, int bFlushState);
ZEB_API ZebResult zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                      Zeb16s* const* ppDst, int nCols, int nComps, int* pMarker,
                                                      const ZebDecodeHuffmanSpec* const* ppDecHuffTable,
                                                      ZebDecodeHuffmanState* pDecHuffState);
/* One difference per call, with the same rules. */
ZEB_API ZebResult zebiEncodeHuffmanOne_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                    int* pDstCurrPos, const ZebEncodeHuffmanSpec* pEncHuffTable,
                                                    ZebEncodeHuffmanState* pEncHuffState, int bFlushState);
ZEB_API ZebResult zebiDecodeHuffmanOne_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                    Zeb16s* pDst, int* pMarker,
                                                    const ZebDecodeHuffmanSpec* pDecHuffTable,
                                                    ZebDecodeHuffmanState* pDecHuffState);
/* Adds 1 to pStatistics[category of *pSrc] (0 to 16). */
ZEB_API ZebResult zebiGetHuffmanStatisticsOne_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pStatistics);

/* ------------------------------------------------------------------------ */
/* JPEG quantisation, DCT and level shift                                   */
/* ------------------------------------------------------------------------ */
/* @section dct */

/* Quantisation tables. Raw tables hold 64 quantiser values (1..255) in T.81
 * zigzag order (the DQT order); forward and inverse tables are 64 16-bit
 * values in natural order.
 *  QuantFwdRawTableInit: scales a raw table in place by a quality factor
 *    (scale 5000/Q below 50, else 200-2Q; entry (v*scale+50)/100 clamped to
 *    1..255). Checks: table (zebErrNullPtr), Q < 1 (zebErrBadArg).
 *  QuantFwdTableInit: Q15 reciprocals 32768/q rounded to nearest (65535 and
 *    zebWrnDivByZero for q = 0). Checks: raw, then forward table null.
 *  QuantInvTableInit: the quantisers in natural order. Checks: inverse table,
 *    then raw table null. */
ZEB_API ZebResult zebiQuantFwdRawTableInit_JPEG_8u(Zeb8u* pQuantRawTable, int qualityFactor);
ZEB_API ZebResult zebiQuantFwdTableInit_JPEG_8u16u(const Zeb8u* pQuantRawTable, Zeb16u* pQuantFwdTable);
ZEB_API ZebResult zebiQuantInvTableInit_JPEG_8u16u(const Zeb8u* pQuantRawTable, Zeb16u* pQuantInvTable);

/* In-place 8x8 quantisation with a Q15 forward table:
 * ((((8c) * (t >> 1)) >> 16) + 1) >> 1 (coefficients in -4096..4095), and
 * de-quantisation c * q keeping the low 16 bits. Checks: either pointer null (zebErrNullPtr). */
ZEB_API ZebResult zebiQuantFwd8x8_JPEG_16s_C1I(Zeb16s* pSrcDst, const Zeb16u* pQuantFwdTable);
ZEB_API ZebResult zebiQuantInv8x8_JPEG_16s_C1I(Zeb16s* pSrcDst, const Zeb16u* pQuantInvTable);

/* Fused 8x8 DCT and quantisation, 16-bit fixed point. Forward: (optional
 * level shift by -128,) forward DCT, then t * c / 32768 rounded to nearest,
 * ties to even, saturated. Inverse: c * q (low 16 bits), inverse DCT, (for
 * LS: + 128 and saturation to 0..255). Blocks are 64 values in natural
 * order; sample planes have a byte step. No alignment is required.
 * Checks: the 16s block forms check all pointers (zebErrNullPtr); the LS
 * forms check pSrc/pDst (zebErrNullPtr), the step (zebErrStep), then the
 * table (zebErrNullPtr). */
ZEB_API ZebResult zebiDCTQuantFwd8x8_JPEG_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst, const Zeb16u* pQuantFwdTable);
ZEB_API ZebResult zebiDCTQuantFwd8x8_JPEG_16s_C1I(Zeb16s* pSrcDst, const Zeb16u* pQuantFwdTable);
ZEB_API ZebResult zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(const Zeb8u* pSrc, int srcStep, Zeb16s* pDst,
                                                      const Zeb16u* pQuantFwdTable);
ZEB_API ZebResult zebiDCTQuantInv8x8_JPEG_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst, const Zeb16u* pQuantInvTable);
ZEB_API ZebResult zebiDCTQuantInv8x8_JPEG_16s_C1I(Zeb16s* pSrcDst, const Zeb16u* pQuantInvTable);
ZEB_API ZebResult zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(const Zeb16s* pSrc, Zeb8u* pDst, int dstStep,
                                                      const Zeb16u* pQuantInvTable);

/* Inverse 8x8 DCT, then + levelShift (16-bit wrap-around), saturation to
 * 0..255 and clamping to clipMin..clipMax (clipMax wins if clipMin > clipMax).
 * Checks: pSrc/pDst (zebErrNullPtr), dstStep (zebErrStep). */
ZEB_API ZebResult zebiDCT8x8InvLSClip_16s8u_C1R(const Zeb16s* pSrc, Zeb8u* pDst, int dstStep, Zeb16s levelShift,
                                                Zeb8u clipMin, Zeb8u clipMax);

/* 12-bit samples, single precision, with caller-filled float tables (each
 * coefficient is multiplied by its entry). Forward: sample (read as 16s) -
 * 2048, DCT, times table, rounded to nearest even, saturated to 16 bits.
 * Inverse: coefficient times table, inverse DCT, + 2048, truncated, clamped
 * to 0..4095. A NaN product counts as -32768. Checks as the 8-bit LS forms. */
ZEB_API ZebResult zebiDCTQuantFwd8x8LS_JPEG_16u16s_C1R(const Zeb16u* pSrc, int srcStep, Zeb16s* pDst,
                                                       const Zeb32f* pQuantFwdTable);
ZEB_API ZebResult zebiDCTQuantInv8x8LS_JPEG_16s16u_C1R(const Zeb16s* pSrc, Zeb16u* pDst, int dstStep,
                                                       const Zeb32f* pQuantInvTable);

/* Level shift of a region: Sub128 gives sample - 128; Add128 gives sample +
 * 128 saturated to 0..255. Whole-image functions (threaded above 8192
 * pixels). Checks by argument: pSrc (zebErrNullPtr), srcStep (zebErrStep),
 * pDst, dstStep, then width/height (zebErrSize). */
ZEB_API ZebResult zebiSub128_JPEG_8u16s_C1R(const Zeb8u* pSrc, int srcStep, Zeb16s* pDst, int dstStep,
                                            ZebSize roiSize);
ZEB_API ZebResult zebiAdd128_JPEG_16s8u_C1R(const Zeb16s* pSrc, int srcStep, Zeb8u* pDst, int dstStep,
                                            ZebSize roiSize);

/* ------------------------------------------------------------------------ */
/* JPEG colour conversion                                                   */
/* ------------------------------------------------------------------------ */
/* @section color */
/* Whole-region conversions between YCbCr / YCCK / grey and pixel formats
 * (JFIF BT.601, full range, chroma offset 128).  Planar arguments (P3, P4) are
 * arrays of plane pointers in name order sharing one step; interleaved and
 * 16-bit pixel planes (555: bits 0-4, 5-9, 10-14; 565: bits 0-4, 5-10, 11-15;
 * RGB* has R in the low bits, BGR* has B) take one pointer.
 * Checks, grouped: the source pointer or array, the destination pointer or
 * array, the source planes, the destination planes (zebErrNullPtr); srcStep,
 * dstStep (zebErrStep); width, height (zebErrSize).  zebiRGBToY_JPEG_8u_P3C1R
 * checks its source planes before pDst.  Nothing is written on failure.
 *
 * Decoder side: the first width rounded down to a multiple of 4 pixels of each
 * row use Q14 vector arithmetic, the rest the rounded Q16 tables (the two
 * differ by 1 on a few chroma values).  P3R, the YCCK and the 555/565
 * functions use one constant set, P3C3R another.  YCCK: C = 255 - R,
 * M = 255 - G, Y = 255 - B, K copied. */
ZEB_API ZebResult zebiYCbCrToRGB_JPEG_8u_P3R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* const pDst[3],
                                             int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiYCbCrToRGB_JPEG_8u_P3C3R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* pDst, int dstStep,
                                               ZebSize roiSize);
ZEB_API ZebResult zebiYCbCrToBGR_JPEG_8u_P3C3R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* pDst, int dstStep,
                                               ZebSize roiSize);
ZEB_API ZebResult zebiYCbCrToRGB555_JPEG_8u16u_P3C3R(const Zeb8u* const pSrc[3], int srcStep, Zeb16u* pDst,
                                                     int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiYCbCrToBGR555_JPEG_8u16u_P3C3R(const Zeb8u* const pSrc[3], int srcStep, Zeb16u* pDst,
                                                     int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiYCbCrToRGB565_JPEG_8u16u_P3C3R(const Zeb8u* const pSrc[3], int srcStep, Zeb16u* pDst,
                                                     int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiYCbCrToBGR565_JPEG_8u16u_P3C3R(const Zeb8u* const pSrc[3], int srcStep, Zeb16u* pDst,
                                                     int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiYCCKToCMYK_JPEG_8u_P4R(const Zeb8u* const pSrc[4], int srcStep, Zeb8u* const pDst[4],
                                             int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiYCCKToCMYK_JPEG_8u_P4C4R(const Zeb8u* const pSrc[4], int srcStep, Zeb8u* pDst, int dstStep,
                                               ZebSize roiSize);
/* Packed 4:2:2 (Y0 Cb Y1 Cr per pixel pair) to RGB by the tables, every pixel.
 * Checks: pSrc, pDst (zebErrNullPtr); width, height (zebErrSize); steps are
 * not checked.  Pass an even width: an odd last pixel reads its whole 4-byte
 * group (Y0, Cb, Cr). */
ZEB_API ZebResult zebiYCbCr422ToRGB_JPEG_8u_C2C3R(const Zeb8u* pSrc, int srcStep, Zeb8u* pDst, int dstStep,
                                                  ZebSize roiSize);

/* Encoder side.  RGBToY P3C1R: single-precision (R*0.299 + G*0.587) + B*0.114
 * rounded to nearest even over the first multiple of 4 pixels, tables after.
 * RGBToY/BGRToY C3C1R: (9798 R + 19235 G + 3736 B + 16266) >> 15 for every pixel.
 * RGBToYCbCr P3R and CMYKToYCCK P4R: Q16 Y and Q15 colour differences over the
 * first multiple of 4 pixels, tables after.  The C3P3R, C4P4R and 555/565
 * functions: Q14 for every pixel.  CMYK is read as R = 255 - C, G = 255 - M,
 * B = 255 - Y; K is copied. */
ZEB_API ZebResult zebiRGBToY_JPEG_8u_P3C1R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* pDst, int dstStep,
                                           ZebSize roiSize);
ZEB_API ZebResult zebiRGBToY_JPEG_8u_C3C1R(const Zeb8u* pSrc, int srcStep, Zeb8u* pDst, int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiBGRToY_JPEG_8u_C3C1R(const Zeb8u* pSrc, int srcStep, Zeb8u* pDst, int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiRGBToYCbCr_JPEG_8u_P3R(const Zeb8u* const pSrc[3], int srcStep, Zeb8u* const pDst[3],
                                             int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiRGBToYCbCr_JPEG_8u_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb8u* const pDst[3], int dstStep,
                                               ZebSize roiSize);
ZEB_API ZebResult zebiBGRToYCbCr_JPEG_8u_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb8u* const pDst[3], int dstStep,
                                               ZebSize roiSize);
ZEB_API ZebResult zebiRGB555ToYCbCr_JPEG_16u8u_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb8u* const pDst[3],
                                                     int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiBGR555ToYCbCr_JPEG_16u8u_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb8u* const pDst[3],
                                                     int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiRGB565ToYCbCr_JPEG_16u8u_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb8u* const pDst[3],
                                                     int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiBGR565ToYCbCr_JPEG_16u8u_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb8u* const pDst[3],
                                                     int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiCMYKToYCCK_JPEG_8u_P4R(const Zeb8u* const pSrc[4], int srcStep, Zeb8u* const pDst[4],
                                             int dstStep, ZebSize roiSize);
ZEB_API ZebResult zebiCMYKToYCCK_JPEG_8u_C4P4R(const Zeb8u* pSrc, int srcStep, Zeb8u* const pDst[4], int dstStep,
                                               ZebSize roiSize);

/* ------------------------------------------------------------------------ */
/* JPEG down- and up-sampling                                               */
/* ------------------------------------------------------------------------ */
/* @section sampling */
/* Whole-region down-sampling (box filter) and up-sampling (triangle filter,
 * 3:1 weights per direction) of 8-bit planes.  The destination size alone
 * decides what is produced.  Checks, by argument: pSrc (zebErrNullPtr),
 * srcStep (zebErrStep), source width and height (zebErrSize), then pDst,
 * dstStep and the destination size the same way.
 *  DownH2V1: d[j] = (s[2j] + s[2j+1] + 1) >> 1.
 *  DownH2V2: d[j] = (2x2 sum of source rows 2r, 2r+1 + 3) >> 2.
 *  UpH2V1:   d[2i] = (3 s[i] + s[i-1] + 1) >> 2, d[2i+1] = (3 s[i] + s[i+1] + 2) >> 2.
 *  UpH2V2:   row r from the nearer source row r/2 and the farther row above
 *            (r even) or below (r odd), column sums c = 3 near + far, then
 *            d[2i] = (3 c[i] + c[i-1] + 8) >> 4, d[2i+1] = (3 c[i] + c[i+1] + 7) >> 4.
 * Up-sampling reads one sample left and right of each used source row and,
 * for H2V2, the rows above and below; the caller supplies that context. */
ZEB_API ZebResult zebiSampleDownH2V1_JPEG_8u_C1R(const Zeb8u* pSrc, int srcStep, ZebSize srcRoiSize, Zeb8u* pDst,
                                                 int dstStep, ZebSize dstRoiSize);
ZEB_API ZebResult zebiSampleDownH2V2_JPEG_8u_C1R(const Zeb8u* pSrc, int srcStep, ZebSize srcRoiSize, Zeb8u* pDst,
                                                 int dstStep, ZebSize dstRoiSize);
ZEB_API ZebResult zebiSampleUpH2V1_JPEG_8u_C1R(const Zeb8u* pSrc, int srcStep, ZebSize srcRoiSize, Zeb8u* pDst,
                                               int dstStep, ZebSize dstRoiSize);
ZEB_API ZebResult zebiSampleUpH2V2_JPEG_8u_C1R(const Zeb8u* pSrc, int srcStep, ZebSize srcRoiSize, Zeb8u* pDst,
                                               int dstStep, ZebSize dstRoiSize);
/* Single rows.  Checks: the pointers (zebErrNullPtr), then srcWidth < 1
 * (zebErrSize).  Box rows write srcWidth / 2 samples with a bias alternating
 * by destination index (H2V1: 0, 1; H2V2: 1, 2).  Triangle rows write
 * 2 * srcWidth samples, the outermost ones from the edge sample alone; pSrc1
 * is the nearer row, pSrc2 the farther one.  H1V2 computes the same as H2V2. */
ZEB_API ZebResult zebiSampleDownRowH2V1_Box_JPEG_8u_C1(const Zeb8u* pSrc, int srcWidth, Zeb8u* pDst);
ZEB_API ZebResult zebiSampleDownRowH2V2_Box_JPEG_8u_C1(const Zeb8u* pSrc1, const Zeb8u* pSrc2, int srcWidth,
                                                       Zeb8u* pDst);
ZEB_API ZebResult zebiSampleUpRowH2V1_Triangle_JPEG_8u_C1(const Zeb8u* pSrc, int srcWidth, Zeb8u* pDst);
ZEB_API ZebResult zebiSampleUpRowH2V2_Triangle_JPEG_8u_C1(const Zeb8u* pSrc1, const Zeb8u* pSrc2, int srcWidth,
                                                          Zeb8u* pDst);
ZEB_API ZebResult zebiSampleUpRowH1V2_Triangle_JPEG_8u_C1(const Zeb8u* pSrc1, const Zeb8u* pSrc2, int srcWidth,
                                                          Zeb8u* pDst);

/* ------------------------------------------------------------------------ */
/* JPEG MCU conversions                                                     */
/* ------------------------------------------------------------------------ */
/* @section mcu */
/* Per-MCU conversions between interleaved pixels and level-shifted 8x8 blocks
 * (64 signed 16-bit samples in natural order, one pointer per channel to its
 * blocks stored one after another).  Pixel regions: 444 8x8 (1 Y block),
 * 422 16x8 (2 Y blocks, left and right), 411 16x16 (4 Y blocks, top-left,
 * top-right, bottom-left, bottom-right); one Cb and one Cr block each.  K
 * blocks of YCCK have the Y layout.  Every function touches exactly its pixel
 * region and its blocks, and runs on the calling thread.
 *
 * Encoder side: Y = (4899 R + 9617 G + 1868 B - 2088960) >> 14;
 * Cb = (-2764 R - 5428 G + 8192 B + 8192) >> 14, Cr = (8192 R - 6860 G -
 * 1332 B + 8192) >> 14, with 422 / 411 chroma from the channel sums over 2 / 4
 * pixels (rounding 16384 / 32768, shift 15 / 16); K - 128.  SampleDown takes
 * YCbCr pixels: Y - 128 and the chroma average rounded down, minus 128.
 * Split422 de-interleaves a 16x8 region of packed 4:2:2 (Y0 Cb Y1 Cr).
 * Checks: pSrc or pDstMCU null (zebErrNullPtr); srcStep < 1 (zebErrStep);
 * an element of pDstMCU null (zebErrNullPtr). */
ZEB_API ZebResult zebiRGBToYCbCr444LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiRGBToYCbCr422LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiRGBToYCbCr411LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGRToYCbCr444LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGRToYCbCr422LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGRToYCbCr411LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGR555ToYCbCr444LS_MCU_16u16s_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGR555ToYCbCr422LS_MCU_16u16s_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGR555ToYCbCr411LS_MCU_16u16s_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGR565ToYCbCr444LS_MCU_16u16s_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGR565ToYCbCr422LS_MCU_16u16s_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiBGR565ToYCbCr411LS_MCU_16u16s_C3P3R(const Zeb16u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiCMYKToYCCK444LS_MCU_8u16s_C4P4R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[4]);
ZEB_API ZebResult zebiCMYKToYCCK422LS_MCU_8u16s_C4P4R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[4]);
ZEB_API ZebResult zebiCMYKToYCCK411LS_MCU_8u16s_C4P4R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[4]);
ZEB_API ZebResult zebiSampleDown444LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiSampleDown422LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiSampleDown411LS_MCU_8u16s_C3P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
ZEB_API ZebResult zebiSplit422LS_MCU_8u16s_C2P3R(const Zeb8u* pSrc, int srcStep, Zeb16s* const pDstMCU[3]);
/* Decoder side, chroma replicated over its 2 or 2x2 pixels:
 * R = Y + ((11485 Cr + 1052672) >> 13), G = Y - ((5638 Cb + 11700 Cr -
 * 2088960) >> 14), B = Y + ((14516 Cb + 1052672) >> 13), each product term and
 * sum saturated to 16 bits, then to 0..255.  BGR555/565 pack B in the low
 * bits; CMYK stores 255 - R, 255 - G, 255 - B and K + 128.  SampleUp stores
 * Y, Cb, Cr + 128 interleaved; Join422 stores Y0 Cb Y1 Cr groups of a 16x8
 * region.  Checks: pSrcMCU or pDst null, then an element of pSrcMCU null
 * (zebErrNullPtr); dstStep < 1 (zebErrStep). */
ZEB_API ZebResult zebiYCbCr444ToRGBLS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr422ToRGBLS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr411ToRGBLS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr444ToBGRLS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr422ToBGRLS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr411ToBGRLS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr444ToBGR555LS_MCU_16s16u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb16u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr422ToBGR555LS_MCU_16s16u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb16u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr411ToBGR555LS_MCU_16s16u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb16u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr444ToBGR565LS_MCU_16s16u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb16u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr422ToBGR565LS_MCU_16s16u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb16u* pDst, int dstStep);
ZEB_API ZebResult zebiYCbCr411ToBGR565LS_MCU_16s16u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb16u* pDst, int dstStep);
ZEB_API ZebResult zebiYCCK444ToCMYKLS_MCU_16s8u_P4C4R(const Zeb16s* const pSrcMCU[4], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiYCCK422ToCMYKLS_MCU_16s8u_P4C4R(const Zeb16s* const pSrcMCU[4], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiYCCK411ToCMYKLS_MCU_16s8u_P4C4R(const Zeb16s* const pSrcMCU[4], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiSampleUp444LS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiSampleUp422LS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiSampleUp411LS_MCU_16s8u_P3C3R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);
ZEB_API ZebResult zebiJoin422LS_MCU_16s8u_P3C2R(const Zeb16s* const pSrcMCU[3], Zeb8u* pDst, int dstStep);

/* ------------------------------------------------------------------------ */
/* JPEG lossless predictors                                                 */
/* ------------------------------------------------------------------------ */
/* @section lossless-predictors */

/* T.81 lossless predictors on rows of width 16-bit samples; all arithmetic
 * wraps modulo 2^16 (the halving predictors 5-7 floor on signed operands).
 *  DiffPredFirstRow: pDst[0] = pSrc[0] - 2^(P-Pt-1) (0 when Pt >= P), then
 *    pDst[i] = pSrc[i] - pSrc[i-1].
 *  DiffPredRow: pDst[0] = pSrc[0] - pPrevRow[0], then pDst[i] = pSrc[i] - Px
 *    with Ra = pSrc[i-1], Rb = pPrevRow[i], Rc = pPrevRow[i-1] and predictor
 *    1..7: Ra, Rb, Rc, Ra+Rb-Rc, Ra+((Rb-Rc)>>1), Rb+((Ra-Rc)>>1), (Ra+Rb)>>1.
 *  Reconstruct*: the exact inverses (Ra is the sample just rebuilt).
 * Checks: pointers (zebErrNullPtr), width < 1 (zebErrSize), then P outside
 * 2..16 or Pt < 0, or predictor outside 1..7 (zebErrBadArg). Rows should not
 * overlap (an overlapping output is computed strictly left to right). */
ZEB_API ZebResult zebiDiffPredFirstRow_JPEG_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst, int width, int P, int Pt);
ZEB_API ZebResult zebiDiffPredRow_JPEG_16s_C1(const Zeb16s* pSrc, const Zeb16s* pPrevRow, Zeb16s* pDst, int width,
                                              int predictor);
ZEB_API ZebResult zebiReconstructPredFirstRow_JPEG_16s_C1(const Zeb16s* pSrc, Zeb16s* pDst, int width, int P, int Pt);
ZEB_API ZebResult zebiReconstructPredRow_JPEG_16s_C1(const Zeb16s* pSrc, const Zeb16s* pPrevRow, Zeb16s* pDst,
                                                     int width, int predictor);

/* ------------------------------------------------------------------------ */
/* JPEG 2000 component transforms                                           */
/* ------------------------------------------------------------------------ */
/* @section j2k-component */

/* RCT and ICT on the first three components of a tile, row by row.
 * Colour side: R, G, B (C3 = interleaved triples, P3 = three planes sharing
 * one step). Transformed side: plane 0 = Y, plane 1 = U (B - G) or Cb,
 * plane 2 = V (R - G) or Cr. IR forms transform three planes in place (the
 * planes must not overlap). Steps are in bytes.
 * RCT: Y = (R + 2G + B) >> 2, U = B - G, V = R - G; inverse G = Y - ((U + V) >> 2),
 *   R = V + G, B = U + G; 32-bit arithmetic (16s stores the low 16 bits, 32s wraps).
 * ICT 32f: the YCbCr matrix in single precision, terms added left to right.
 * ICT 32s: Q14 coefficients, +8192 and >> 14, 32-bit wrapping arithmetic.
 * ICT 16s: Q14, chroma from rounded differences to the luminance; every
 *   result saturated to 16 bits; the inverse subtracts the rounded green term,
 *   so it can differ by one from the 32s inverse.
 * Checks: the single-plane pointer and the plane array with each of its three
 * entries (zebErrNullPtr); every step < 1 (zebErrStep); width, height < 1
 * (zebErrSize). */
ZEB_API ZebResult zebiRCTFwd_JPEG2K_32s_C3P3R(const Zeb32s* pSrc, int srcStep, Zeb32s* const pDst[3], int dstStep,
                                              ZebSize roiSize);
ZEB_API ZebResult zebiRCTInv_JPEG2K_32s_P3C3R(const Zeb32s* const pSrc[3], int srcStep, Zeb32s* pDst, int dstStep,
                                              ZebSize roiSize);
ZEB_API ZebResult zebiRCTFwd_JPEG2K_16s_C3P3R(const Zeb16s* pSrc, int srcStep, Zeb16s* const pDst[3], int dstStep,
                                              ZebSize roiSize);
ZEB_API ZebResult zebiRCTInv_JPEG2K_16s_P3C3R(const Zeb16s* const pSrc[3], int srcStep, Zeb16s* pDst, int dstStep,
                                              ZebSize roiSize);
ZEB_API ZebResult zebiRCTFwd_JPEG2K_32s_P3IR(Zeb32s* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiRCTInv_JPEG2K_32s_P3IR(Zeb32s* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiRCTFwd_JPEG2K_16s_P3IR(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiRCTInv_JPEG2K_16s_P3IR(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiICTFwd_JPEG2K_32f_C3P3R(const Zeb32f* pSrc, int srcStep, Zeb32f* const pDst[3], int dstStep,
                                              ZebSize roiSize);
ZEB_API ZebResult zebiICTInv_JPEG2K_32f_P3C3R(const Zeb32f* const pSrc[3], int srcStep, Zeb32f* pDst, int dstStep,
                                              ZebSize roiSize);
ZEB_API ZebResult zebiICTFwd_JPEG2K_32f_P3IR(Zeb32f* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiICTInv_JPEG2K_32f_P3IR(Zeb32f* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiICTFwd_JPEG2K_32s_P3IR(Zeb32s* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiICTInv_JPEG2K_32s_P3IR(Zeb32s* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiICTFwd_JPEG2K_16s_P3IR(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roiSize);
ZEB_API ZebResult zebiICTInv_JPEG2K_16s_P3IR(Zeb16s* const pSrcDst[3], int srcDstStep, ZebSize roiSize);

/* ------------------------------------------------------------------------ */
/* JPEG 2000 wavelet line primitives                                        */
/* ------------------------------------------------------------------------ */
/* @section j2k-wavelet-lines */
/* 5/3 (B53) line primitives. Phase 0: the first sample has an even
 * coordinate (low first); any other value: odd (high first). Row and column
 * forms take the size of ONE band: the forward forms turn 2*width samples per
 * row (Row) or 2*height rows (Col) into width x height low and as many high
 * coefficients; the inverse forms do the reverse. They read a border outside
 * the region that the caller supplies (relative to the first sample, band
 * size w): forward source x(-2)..x(2w) for phase 0, x(-1)..x(2w+1) for
 * phase 1; inverse low L(0)..L(w) (phase 0) or L(-1)..L(w-1) (phase 1), high
 * H(-1)..H(w). Column forms address the row above a band with that band's
 * own step. 16s forms wrap every sum at 16 bits; 32s forms wrap at 32 bits.
 * Checks: pointers (zebErrNullPtr), the three steps (zebErrStep), size
 * (zebErrSize); the phase is not checked. */
ZEB_API ZebResult zebiWTFwdRow_B53_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, Zeb16s* pDstLow, int dstLowStep,
                                                  Zeb16s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTFwdRow_B53_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, Zeb32s* pDstLow, int dstLowStep,
                                                  Zeb32s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTInvRow_B53_JPEG2K_16s_C1R(const Zeb16s* pSrcLow, int srcLowStep, const Zeb16s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb16s* pDst, int dstStep,
                                                  int phase);
ZEB_API ZebResult zebiWTInvRow_B53_JPEG2K_32s_C1R(const Zeb32s* pSrcLow, int srcLowStep, const Zeb32s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb32s* pDst, int dstStep,
                                                  int phase);
ZEB_API ZebResult zebiWTFwdCol_B53_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, Zeb16s* pDstLow, int dstLowStep,
                                                  Zeb16s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTFwdCol_B53_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, Zeb32s* pDstLow, int dstLowStep,
                                                  Zeb32s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTInvCol_B53_JPEG2K_16s_C1R(const Zeb16s* pSrcLow, int srcLowStep, const Zeb16s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb16s* pDst, int dstStep,
                                                  int phase);
ZEB_API ZebResult zebiWTInvCol_B53_JPEG2K_32s_C1R(const Zeb32s* pSrcLow, int srcLowStep, const Zeb32s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb32s* pDst, int dstStep,
                                                  int phase);
/* 5/3 incremental column forms, one output row pair per call on rows of
 * width samples. Forward: H(n) from x(2n) = pSrc0, x(2n+1) = pSrc1,
 * x(2n+2) = pSrc2 into pDstHigh, then L(n) from x(2n), H(n-1) = pSrcHighPrev
 * and H(n) into pDstLow. Inverse: x(2n) from L(n) = pSrcLow, H(n-1), H(n)
 * into pDstEven, then x(2n-1) from H(n-1) and x(2n-2) = pSrcEvenPrev, x(2n)
 * into pDstOdd. ColLift 16s wraps every intermediate sum at 16 bits; ColStep
 * 16s forms sums at 32 bits (exact for all results that fit 16 bits); the
 * 32s forms of both wrap at 32 bits. Checks: every pointer, first to last
 * (zebErrNullPtr), then width < 1 (zebErrSize). */
ZEB_API ZebResult zebiWTFwdColLift_B53_JPEG2K_16s_C1(const Zeb16s* pSrc0, const Zeb16s* pSrc1, const Zeb16s* pSrc2,
                                                     Zeb16s* pDstLow, const Zeb16s* pSrcHighPrev, Zeb16s* pDstHigh,
                                                     int width);
ZEB_API ZebResult zebiWTFwdColLift_B53_JPEG2K_32s_C1(const Zeb32s* pSrc0, const Zeb32s* pSrc1, const Zeb32s* pSrc2,
                                                     Zeb32s* pDstLow, const Zeb32s* pSrcHighPrev, Zeb32s* pDstHigh,
                                                     int width);
ZEB_API ZebResult zebiWTFwdColStep_B53_JPEG2K_16s_C1(const Zeb16s* pSrc0, const Zeb16s* pSrc1, const Zeb16s* pSrc2,
                                                     Zeb16s* pDstLow, const Zeb16s* pSrcHighPrev, Zeb16s* pDstHigh,
                                                     int width);
ZEB_API ZebResult zebiWTFwdColStep_B53_JPEG2K_32s_C1(const Zeb32s* pSrc0, const Zeb32s* pSrc1, const Zeb32s* pSrc2,
                                                     Zeb32s* pDstLow, const Zeb32s* pSrcHighPrev, Zeb32s* pDstHigh,
                                                     int width);
ZEB_API ZebResult zebiWTInvColLift_B53_JPEG2K_16s_C1(const Zeb16s* pSrcLow, const Zeb16s* pSrcHighPrev,
                                                     const Zeb16s* pSrcHigh, const Zeb16s* pSrcEvenPrev,
                                                     Zeb16s* pDstOdd, Zeb16s* pDstEven, int width);
ZEB_API ZebResult zebiWTInvColLift_B53_JPEG2K_32s_C1(const Zeb32s* pSrcLow, const Zeb32s* pSrcHighPrev,
                                                     const Zeb32s* pSrcHigh, const Zeb32s* pSrcEvenPrev,
                                                     Zeb32s* pDstOdd, Zeb32s* pDstEven, int width);
ZEB_API ZebResult zebiWTInvColStep_B53_JPEG2K_16s_C1(const Zeb16s* pSrcLow, const Zeb16s* pSrcHighPrev,
                                                     const Zeb16s* pSrcHigh, const Zeb16s* pSrcEvenPrev,
                                                     Zeb16s* pDstOdd, Zeb16s* pDstEven, int width);
ZEB_API ZebResult zebiWTInvColStep_B53_JPEG2K_32s_C1(const Zeb32s* pSrcLow, const Zeb32s* pSrcHighPrev,
                                                     const Zeb32s* pSrcHigh, const Zeb32s* pSrcEvenPrev,
                                                     Zeb32s* pDstOdd, Zeb32s* pDstEven, int width);
/* 9/7 (D97) line primitives, same argument lists, phase and band-size
 * conventions as the 5/3 forms above. Border read (band size w): forward
 * source x(-4)..x(2w+2) (phase 0) or x(-3)..x(2w+3) (phase 1); inverse low
 * L(-1)..L(w+1) (phase 0) or L(-2)..L(w) (phase 1); inverse high
 * H(-2)..H(w+1). A band of one coefficient is computed by direct convolution
 * with the normalised 9- and 7-tap filters (32f in double, rounded once).
 * Arithmetic: 32f single-precision lifting, the inverse folding the scales
 * into its first two steps; 32s Q16 fixed point, R16(c, v) =
 * (c v + 32768) >> 16 in 64 bits, low output fused as
 * (53274 s + 23627 (d' + d') + 32768) >> 16, sums wrap; 16s saturating Q14/
 * Q15/Q16 steps, with the first and last coefficient of each row computed
 * by the 32s equations saturated to 16 bits. There is no 16s column form.
 * Checks as for the 5/3 forms. */
ZEB_API ZebResult zebiWTFwdRow_D97_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, Zeb16s* pDstLow, int dstLowStep,
                                                  Zeb16s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTFwdRow_D97_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, Zeb32s* pDstLow, int dstLowStep,
                                                  Zeb32s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTFwdRow_D97_JPEG2K_32f_C1R(const Zeb32f* pSrc, int srcStep, Zeb32f* pDstLow, int dstLowStep,
                                                  Zeb32f* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTInvRow_D97_JPEG2K_16s_C1R(const Zeb16s* pSrcLow, int srcLowStep, const Zeb16s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb16s* pDst, int dstStep,
                                                  int phase);
ZEB_API ZebResult zebiWTInvRow_D97_JPEG2K_32s_C1R(const Zeb32s* pSrcLow, int srcLowStep, const Zeb32s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb32s* pDst, int dstStep,
                                                  int phase);
ZEB_API ZebResult zebiWTInvRow_D97_JPEG2K_32f_C1R(const Zeb32f* pSrcLow, int srcLowStep, const Zeb32f* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb32f* pDst, int dstStep,
                                                  int phase);
ZEB_API ZebResult zebiWTFwdCol_D97_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, Zeb32s* pDstLow, int dstLowStep,
                                                  Zeb32s* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTFwdCol_D97_JPEG2K_32f_C1R(const Zeb32f* pSrc, int srcStep, Zeb32f* pDstLow, int dstLowStep,
                                                  Zeb32f* pDstHigh, int dstHighStep, ZebSize dstRoiSize, int phase);
ZEB_API ZebResult zebiWTInvCol_D97_JPEG2K_32s_C1R(const Zeb32s* pSrcLow, int srcLowStep, const Zeb32s* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb32s* pDst, int dstStep,
                                                  int phase);
ZEB_API ZebResult zebiWTInvCol_D97_JPEG2K_32f_C1R(const Zeb32f* pSrcLow, int srcLowStep, const Zeb32f* pSrcHigh,
                                                  int srcHighStep, ZebSize srcRoiSize, Zeb32f* pDst, int dstStep,
                                                  int phase);
/* 9/7 incremental column forms on rows of width samples; the caller keeps
 * and rotates the state rows (all distinct). d, s, d' are the lifting
 * intermediates after steps 1, 2, 3.
 * Forward: pHighStateNew = d(2n+1) from x(2n) = pSrc0, x(2n+1) = pSrc1,
 * x(2n+2) = pSrc2; pLowStateNew = s(2n) from x(2n), d(2n-1) (pHighStatePrev)
 * and d(2n+1); pHighStatePrev becomes d'(2n-1) using s(2n-2) (pLowState) and
 * s(2n); pLowState becomes L(n-1) from s(2n-2), d'(2n-3) (pHighState) and
 * d'(2n-1); pHighState becomes H(n-2). Next call: pLowState = this
 * pLowStateNew, pHighState = this pHighStatePrev, pHighStatePrev = this
 * pHighStateNew.
 * Inverse: pEvenStateNew = s(2n) from L(n) = pSrcLow, H(n-1) = pSrcHighPrev,
 * H(n) = pSrcHigh; pOddStateNew = d(2n-1) from H(n-1), s(2n-2) (pEvenState)
 * and s(2n); pEvenState becomes x(2n-2) using d(2n-3) (pOddState) and
 * d(2n-1); pOddState becomes x(2n-3) using x(2n-4) (pEvenPrev) and x(2n-2).
 * Next call: pEvenPrev = this pEvenState, pOddState = this pOddStateNew,
 * pEvenState = this pEvenStateNew.
 * Arithmetic as for the line forms (16s: saturating steps throughout); the
 * 32f ColStep forms compute exactly as the 32f ColLift forms.
 * Checks: every pointer, first to last (zebErrNullPtr), then width < 1
 * (zebErrSize). */
ZEB_API ZebResult zebiWTFwdColLift_D97_JPEG2K_16s_C1(const Zeb16s* pSrc0, const Zeb16s* pSrc1, const Zeb16s* pSrc2,
                                                     Zeb16s* pLowState, Zeb16s* pLowStateNew, Zeb16s* pHighState,
                                                     Zeb16s* pHighStatePrev, Zeb16s* pHighStateNew, int width);
ZEB_API ZebResult zebiWTFwdColLift_D97_JPEG2K_32s_C1(const Zeb32s* pSrc0, const Zeb32s* pSrc1, const Zeb32s* pSrc2,
                                                     Zeb32s* pLowState, Zeb32s* pLowStateNew, Zeb32s* pHighState,
                                                     Zeb32s* pHighStatePrev, Zeb32s* pHighStateNew, int width);
ZEB_API ZebResult zebiWTFwdColLift_D97_JPEG2K_32f_C1(const Zeb32f* pSrc0, const Zeb32f* pSrc1, const Zeb32f* pSrc2,
                                                     Zeb32f* pLowState, Zeb32f* pLowStateNew, Zeb32f* pHighState,
                                                     Zeb32f* pHighStatePrev, Zeb32f* pHighStateNew, int width);
ZEB_API ZebResult zebiWTFwdColStep_D97_JPEG2K_32f_C1(const Zeb32f* pSrc0, const Zeb32f* pSrc1, const Zeb32f* pSrc2,
                                                     Zeb32f* pLowState, Zeb32f* pLowStateNew, Zeb32f* pHighState,
                                                     Zeb32f* pHighStatePrev, Zeb32f* pHighStateNew, int width);
ZEB_API ZebResult zebiWTInvColLift_D97_JPEG2K_16s_C1(const Zeb16s* pSrcLow, const Zeb16s* pSrcHighPrev,
                                                     const Zeb16s* pSrcHigh, const Zeb16s* pEvenPrev,
                                                     Zeb16s* pOddState, Zeb16s* pEvenState, Zeb16s* pOddStateNew,
                                                     Zeb16s* pEvenStateNew, int width);
ZEB_API ZebResult zebiWTInvColLift_D97_JPEG2K_32s_C1(const Zeb32s* pSrcLow, const Zeb32s* pSrcHighPrev,
                                                     const Zeb32s* pSrcHigh, const Zeb32s* pEvenPrev,
                                                     Zeb32s* pOddState, Zeb32s* pEvenState, Zeb32s* pOddStateNew,
                                                     Zeb32s* pEvenStateNew, int width);
ZEB_API ZebResult zebiWTInvColLift_D97_JPEG2K_32f_C1(const Zeb32f* pSrcLow, const Zeb32f* pSrcHighPrev,
                                                     const Zeb32f* pSrcHigh, const Zeb32f* pEvenPrev,
                                                     Zeb32f* pOddState, Zeb32f* pEvenState, Zeb32f* pOddStateNew,
                                                     Zeb32f* pEvenStateNew, int width);
ZEB_API ZebResult zebiWTInvColStep_D97_JPEG2K_32f_C1(const Zeb32f* pSrcLow, const Zeb32f* pSrcHighPrev,
                                                     const Zeb32f* pSrcHigh, const Zeb32f* pEvenPrev,
                                                     Zeb32f* pOddState, Zeb32f* pEvenState, Zeb32f* pOddStateNew,
                                                     Zeb32f* pEvenStateNew, int width);

/* ------------------------------------------------------------------------ */
/* JPEG 2000 5/3 reversible wavelet, whole tiles                            */
/* ------------------------------------------------------------------------ */
/* @section j2k-b53 */
/* One level of the reversible 5/3 wavelet on a whole tile-component; the
 * phases are the parities of pTileRect->x (rows) and ->y (columns). Lines
 * are extended symmetrically; lines of 2 use the closed form
 * H = x(odd) - x(even), L = x(even) + ((H + 1) >> 1); a line of 1 sample is
 * doubled at odd phase (the inverse halves it, truncating). In place (C1IR):
 * columns then rows (inverse: rows then columns); the result holds LL at the
 * top left, horizontally-high at the top right, vertically-high at the bottom
 * left, HH at the bottom right, cut at the low-band sizes. Out of place (C1R):
 * band arrays [0] LL, [1] horizontally low / vertically high, [2]
 * horizontally high / vertically low, [3] HH, cut at ceil(w/2), ceil(h/2).
 * 16s forms wrap every sum at 16 bits, 32s forms at 32 bits.
 * Work buffer (no alignment needed), bytes: C1IR 0 if w < 3 and h < 3, else
 * max(e*h, e*w) + 4e (e = 2 for 16s, 4 for 32s); C1R ((w*e + 31) & ~31) * h
 * plus the C1IR size.
 * Checks. GetBufSize: pointers. Forward C1R: pSrc, pDst, dstStep, pTileRect,
 * pBuffer (zebErrNullPtr); srcStep (zebErrStep); pDst[0..3]; dstStep[0..3];
 * tile size (zebErrSize). Inverse C1R: pSrc, pDst, srcStep, pTileRect,
 * pBuffer; dstStep; pSrc[0..3]; srcStep[0..3]; size. C1IR: pSrcDst; step;
 * pTileRect, pBuffer (the size is not checked). */
ZEB_API ZebResult zebiWTGetBufSize_B53_JPEG2K_16s_C1R(const ZebRect* pTileRect, int* pSize);
ZEB_API ZebResult zebiWTGetBufSize_B53_JPEG2K_16s_C1IR(const ZebRect* pTileRect, int* pSize);
ZEB_API ZebResult zebiWTGetBufSize_B53_JPEG2K_32s_C1R(const ZebRect* pTileRect, int* pSize);
ZEB_API ZebResult zebiWTGetBufSize_B53_JPEG2K_32s_C1IR(const ZebRect* pTileRect, int* pSize);
ZEB_API ZebResult zebiWTFwd_B53_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, const ZebRect* pTileRect,
                                               Zeb16s* pDst[4], int dstStep[4], unsigned char* pBuffer);
ZEB_API ZebResult zebiWTFwd_B53_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, const ZebRect* pTileRect,
                                               Zeb32s* pDst[4], int dstStep[4], unsigned char* pBuffer);
ZEB_API ZebResult zebiWTFwd_B53_JPEG2K_16s_C1IR(Zeb16s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer);
ZEB_API ZebResult zebiWTFwd_B53_JPEG2K_32s_C1IR(Zeb32s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer);
ZEB_API ZebResult zebiWTInv_B53_JPEG2K_16s_C1R(const Zeb16s* pSrc[4], int srcStep[4], Zeb16s* pDst, int dstStep,
                                               const ZebRect* pTileRect, unsigned char* pBuffer);
ZEB_API ZebResult zebiWTInv_B53_JPEG2K_32s_C1R(const Zeb32s* pSrc[4], int srcStep[4], Zeb32s* pDst, int dstStep,
                                               const ZebRect* pTileRect, unsigned char* pBuffer);
ZEB_API ZebResult zebiWTInv_B53_JPEG2K_16s_C1IR(Zeb16s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer);
ZEB_API ZebResult zebiWTInv_B53_JPEG2K_32s_C1IR(Zeb32s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer);

/* ------------------------------------------------------------------------ */
/* JPEG 2000 9/7 irreversible wavelet, whole tiles                          */
/* ------------------------------------------------------------------------ */
/* @section j2k-d97 */
/* One level of the irreversible 9/7 wavelet on a whole tile-component, with
 * the layouts, band order, phases and check order of the 5/3 whole-tile
 * forms. Lines of n >= 2 samples are extended symmetrically (n = 2..4 by
 * repeated reflection, four samples each side) and lifted; a line of 1
 * sample is doubled at odd phase (the inverse halves it, truncating).
 * 16s: Q14 steps R14(c, v) = (c v + 8192) >> 14 in 32 bits, every
 * intermediate and output kept as its low 16 bits. 32s: single-precision
 * lifting on the integers (the first step adds the converted integer sum);
 * outputs truncated toward zero and clamped to the 32-bit range.
 * Work buffer (no alignment needed), bytes: C1IR 0 if w < 2 and h < 2, else
 * max(e*h, e*w) + 8e (e = 2 for 16s, 4 for 32s); C1R ((w*e + 31) & ~31) * h
 * plus the C1IR size. */
ZEB_API ZebResult zebiWTGetBufSize_D97_JPEG2K_16s_C1R(const ZebRect* pTileRect, int* pSize);
ZEB_API ZebResult zebiWTGetBufSize_D97_JPEG2K_16s_C1IR(const ZebRect* pTileRect, int* pSize);
ZEB_API ZebResult zebiWTGetBufSize_D97_JPEG2K_32s_C1R(const ZebRect* pTileRect, int* pSize);
ZEB_API ZebResult zebiWTGetBufSize_D97_JPEG2K_32s_C1IR(const ZebRect* pTileRect, int* pSize);
ZEB_API ZebResult zebiWTFwd_D97_JPEG2K_16s_C1R(const Zeb16s* pSrc, int srcStep, const ZebRect* pTileRect,
                                               Zeb16s* pDst[4], int dstStep[4], unsigned char* pBuffer);
ZEB_API ZebResult zebiWTFwd_D97_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, const ZebRect* pTileRect,
                                               Zeb32s* pDst[4], int dstStep[4], unsigned char* pBuffer);
ZEB_API ZebResult zebiWTFwd_D97_JPEG2K_16s_C1IR(Zeb16s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer);
ZEB_API ZebResult zebiWTFwd_D97_JPEG2K_32s_C1IR(Zeb32s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer);
ZEB_API ZebResult zebiWTInv_D97_JPEG2K_16s_C1R(const Zeb16s* pSrc[4], int srcStep[4], Zeb16s* pDst, int dstStep,
                                               const ZebRect* pTileRect, unsigned char* pBuffer);
ZEB_API ZebResult zebiWTInv_D97_JPEG2K_32s_C1R(const Zeb32s* pSrc[4], int srcStep[4], Zeb32s* pDst, int dstStep,
                                               const ZebRect* pTileRect, unsigned char* pBuffer);
ZEB_API ZebResult zebiWTInv_D97_JPEG2K_16s_C1IR(Zeb16s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer);
ZEB_API ZebResult zebiWTInv_D97_JPEG2K_32s_C1IR(Zeb32s* pSrcDst, int srcDstStep, const ZebRect* pTileRect,
                                                unsigned char* pBuffer);

/* ------------------------------------------------------------------------ */
/* JPEG 2000 code-block encoder, rates and distortion                       */
/* ------------------------------------------------------------------------ */
/* @section j2k-encoder */

/* Tier-1 code-block encoder. Coefficients are sign-magnitude 32-bit words
 * (bit 31 sign, bit p = magnitude bit of plane p). A load runs every coding
 * pass of the block from the top significant plane down to plane
 * 31 - magnBits and records the decisions and each pass's distortion
 * reduction; StoreBits then produces the codeword bytes in portions of any
 * size. The state record starts with the identifier "DSML"; every function
 * but Free checks pState (zebErrNullPtr) and the identifier
 * (zebErrContextMismatch) first.
 * codeStyleFlags: 0x1 vertically causal contexts, 0x2 selective bypass (raw
 * significance and refinement passes below the first four planes), 0x4 a
 * codeword segment per pass, 0x8 context reset after every pass, 0x10
 * segmentation symbol after every cleanup, 0x20 lossless distortion tables in
 * the lowest plane. subband: 0 LL, 1 LH, 2 HL, 3 HH (others as LL).
 * termMode: 1 shortest, 2 predictable, anything else flush termination.
 * The flag values 0x1..0x10 are the ZEB_CB_* values of the decoders. */
#define ZEB_CB_LOSSLESS       0x20     /* encoder: lossless distortion tables in the lowest plane */

/* Allocates an encoder for blocks up to codeBlockMaxSize. Checks: ppState
 * (zebErrNullPtr), width/height < 1 (zebErrSize); zebErrNoMemory with
 * *ppState = null when an allocation fails. */
ZEB_API ZebResult zebiEncodeInitAlloc_JPEG2K(ZebEncodeState** ppState, ZebSize codeBlockMaxSize);
/* Releases an encoder (the identifier is not checked); null gives zebErrNullPtr. */
ZEB_API ZebResult zebiEncodeFree_JPEG2K(ZebEncodeState* pState);
/* Loads and codes one block (no larger than the size given to InitAlloc).
 * Checks after the state: pSfBits/pNOfPasses/pNOfTermPasses (zebErrNullPtr),
 * height/width < 1 (zebErrSize), pSrc (zebErrNullPtr), srcStep < 1
 * (zebErrStep). Outputs the significant plane count, the pass count
 * (1 + 3 x (sfBits - 1 - lowPlane), or 0) and the codeword segment count.
 * reserved is ignored. */
ZEB_API ZebResult zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(const Zeb32s* pSrc, int srcStep, ZebSize codeBlockSize,
                                                        ZebEncodeState* pState, int subband, int magnBits,
                                                        int termMode, int reserved, int codeStyleFlags,
                                                        int* pSfBits, int* pNOfPasses, int* pNOfTermPasses);
/* Writes the next codeword bytes of the loaded block into pDst; *pDstLen is
 * the free space on entry and the bytes written on return; *pIsNotFinished
 * stays 1 while passes remain. Checks: pDst/pDstLen/pIsNotFinished
 * (zebErrNullPtr), *pDstLen < 1 (zebErrSize). */
ZEB_API ZebResult zebiEncodeStoreBits_JPEG2K_1u(Zeb8u* pDst, int* pDstLen, ZebEncodeState* pState,
                                               int* pIsNotFinished);
/* Truncation length (bytes from the block's first byte) after pass passIdx;
 * final once StoreBits has finished. It never ends on a byte 0xFF.
 * Checks: pRate (zebErrNullPtr), passIdx outside 0..nPasses-1 (zebErrPassIndex). */
ZEB_API ZebResult zebiEncodeGetRate_JPEG2K(const ZebEncodeState* pState, int passIdx, int* pRate);
/* Distortion reduction of pass passIdx: *pDistRed x 2^*pDistExp, in units of
 * (2^lowPlane)^2. Checks: pointers, then passIdx (zebErrPassIndex). */
ZEB_API ZebResult zebiEncodeGetDistReduction_JPEG2K(const ZebEncodeState* pState, int passIdx, int* pDistRed,
                                                   int* pDistExp);
/* Sum of the distortion reductions of passes 0..passIdx.
 * Checks: pDist (zebErrNullPtr), passIdx (zebErrPassIndex). */
ZEB_API ZebResult zebiEncodeGetDist_JPEG2K(const ZebEncodeState* pState, int passIdx, double* pDist);
/* Byte length of codeword segment termPassIdx (the decoder's segment length).
 * Checks: pLen (zebErrNullPtr), termPassIdx outside the segments (zebErrPassIndex). */
ZEB_API ZebResult zebiEncodeGetTermPassLen_JPEG2K(const ZebEncodeState* pState, int termPassIdx, int* pLen);

/* ------------------------------------------------------------------------ */
/* JPEG 2000 code-block decoders                                            */
/* ------------------------------------------------------------------------ */
/* @section j2k-decoder */

/* Coding-style flags of the code-block decoders (the low five are shared
 * with the encoder). */
#define ZEB_CB_CAUSAL         0x1      /* vertically causal context formation */
#define ZEB_CB_BYPASS         0x2      /* raw propagation/refinement below the first four planes */
#define ZEB_CB_TERM_ALL       0x4      /* every coding pass is a codeword segment of its own */
#define ZEB_CB_RESET_CTX      0x8      /* contexts reset after every MQ-coded pass */
#define ZEB_CB_SEGMARK        0x10     /* cleanup passes end with the segmentation symbol 1010 */
#define ZEB_CB_CONCEAL        0x10000  /* conceal a detected error (one-shot decoder) */
#define ZEB_CB_KEEP_BLOCK     0x20000  /* do not zero the destination on attach */
#define ZEB_CB_KEEP_LOW_BITS  0x40000  /* keep the half-step bits below the last decoded plane */
#define ZEB_CB_KEEP_STATE     0x80000  /* do not zero the state buffer on attach (caller keeps it zero) */
#define ZEB_CB_CHECK_PTERM    0x100000 /* check predictable termination of terminated MQ segments */

/* Work-buffer size of the one-shot decoder for blocks up to codeBlockSize:
 * (4 * width + 8 rounded up to 32) * ((height + 1) / 2 + 2) + 388 bytes.
 * Checks: size (zebErrSize), then pSize (zebErrNullPtr). */
ZEB_API ZebResult zebiDecodeGetBufSize_JPEG2K(ZebSize codeBlockSize, int* pSize);

/* Decodes one code-block from its codeword segments (pTermPassLen[i] bytes
 * each, one after the other at pSrc) into sign-magnitude coefficients: bit 31
 * the sign, bit p the magnitude bit of plane p.  The first pass is the
 * cleanup of plane sfBits - 1; nPasses passes are decoded at most.  subband:
 * 0 LL, 1 LH, 2 HL, 3 HH.  On zebErrCorruptCodeBlock *pErrorBitPlane (may be
 * null) receives the plane of the damage and ZEB_CB_CONCEAL conceals it;
 * unless ZEB_CB_KEEP_LOW_BITS the bits below the last decoded plane are
 * cleared.  pBuffer: zebiDecodeGetBufSize_JPEG2K bytes, 8-byte aligned.
 * Checks: pSrc, pBuffer (zebErrNullPtr); size (zebErrSize); pTermPassLen,
 * pDst (zebErrNullPtr); dstStep (zebErrStep). */
ZEB_API ZebResult zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(const Zeb8u* pSrc, Zeb32s* pDst, int dstStep,
                                                      ZebSize codeBlockSize, int subband, int sfBits, int nPasses,
                                                      const int* pTermPassLen, int nTermPasses,
                                                      int codeStyleFlags, int* pErrorBitPlane, Zeb8u* pBuffer);

/* Progressive code-block decoder ("PAMC" record): attach a block, set the
 * number of passes, then one Step per codeword segment.  The first error
 * (zebErrCorruptCodeBlock) is latched until the next Attach.  Functions that
 * take an initialised record check it first: null (zebErrNullPtr), then the
 * identifier (zebErrContextMismatch). */

/* Record size for blocks up to codeBlockMaxSize (same as
 * zebiDecodeGetBufSize_JPEG2K).  Checks: size, then pStateSize. */
ZEB_API ZebResult zebiDecodeCBProgrGetStateSize_JPEG2K(ZebSize codeBlockMaxSize, int* pStateSize);
/* Initialises caller memory (8-byte aligned) as a record; not attached. */
ZEB_API ZebResult zebiDecodeCBProgrInit_JPEG2K(ZebCBProgrState* pState);
/* Allocates and initialises a record.  Checks: ppState, then size;
 * zebErrNoMemory with *ppState = null when the allocation fails. */
ZEB_API ZebResult zebiDecodeCBProgrInitAlloc_JPEG2K(ZebCBProgrState** ppState, ZebSize codeBlockMaxSize);
/* Releases a record from InitAlloc. */
ZEB_API ZebResult zebiDecodeCBProgrFree_JPEG2K(ZebCBProgrState* pState);
/* Binds a destination block and starts a new code-block: zeroes the block
 * (unless ZEB_CB_KEEP_BLOCK) and the state buffer (unless ZEB_CB_KEEP_STATE),
 * resets the contexts; current plane sfBits - 1, pass counter 0.
 * Checks: record; pDst (zebErrNullPtr); dstStep (zebErrStep); size. */
ZEB_API ZebResult zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(Zeb32s* pDst, int dstStep, ZebSize codeBlockSize,
                                                         ZebCBProgrState* pState, int subband, int sfBits,
                                                         int codeStyleFlags);
/* Sets the number of coding passes still to decode. */
ZEB_API ZebResult zebiDecodeCBProgrSetPassCounter_JPEG2K(int nPasses, ZebCBProgrState* pState);
/* Passes still to decode.  Checks: pState or pNPasses null, then the record. */
ZEB_API ZebResult zebiDecodeCBProgrGetPassCounter_JPEG2K(ZebCBProgrState* pState, int* pNPasses);
/* The current bit-plane (after an error: the plane where it was found).
 * Checks: record, then pBitPlane. */
ZEB_API ZebResult zebiDecodeCBProgrGetCurBitPlaneNum_JPEG2K(ZebCBProgrState* pState, int* pBitPlane);
/* Decodes the passes carried by one codeword segment of srcLen bytes (bytes
 * beyond the segment read as 0xFF; nothing outside it is read).  Does
 * nothing when no passes or planes are left.  Checks: pSrc, pState
 * (zebErrNullPtr); identifier; not attached (zebErrNotAttached); an error
 * latched before (zebErrCorruptCodeBlock). */
ZEB_API ZebResult zebiDecodeCBProgrStep_JPEG2K(const Zeb8u* pSrc, int srcLen, ZebCBProgrState* pState);

/* ------------------------------------------------------------------------ */
/* TIFF PackBits                                                            */
/* ------------------------------------------------------------------------ */
/* @section packbits */

/* Packet header h (signed byte): 0..127 = h + 1 literal bytes follow;
 * -1..-127 = one byte follows, repeated 1 - h times; -128 = no-op.
 * Status zebErrPackBitsLength: the packets do not fit the destination or the row. */

/* Packs `width` bytes of pSrc into pDst starting at *pDstCurrPos, with
 * dstLenBytes bytes available from there on. Runs of 2..128 equal bytes
 * become replicate packets; a pair inside literals stays literal unless it
 * closes the row, starts a run of three, or meets the 128-byte limit.
 * *pDstCurrPos advances by every complete packet, also on failure (bytes of
 * the packet that did not fit are not written).
 * Checks: pSrc, pDstCurrPos, pDst (zebErrNullPtr); width, dstLenBytes < 1
 * (zebErrSize). Returns zebErrPackBitsLength when a packet does not fit. */
ZEB_API ZebResult zebiPackBitsRow_TIFF_8u_C1(const Zeb8u* pSrc, int width, Zeb8u* pDst, int* pDstCurrPos,
                                             int dstLenBytes);

/* Unpacks one row of dstWidth bytes from pSrc at *pSrcCurrPos (srcLenBytes =
 * total valid bytes of pSrc) and stores the position after the row's last
 * packet; no-op bytes after it are left for the next row. On failure (the
 * source ends, or a packet would pass the row's end) the position is just
 * after the failing packet's header, or srcLenBytes, and the row holds the
 * bytes decoded so far.
 * Checks: pSrc, pSrcCurrPos, pDst (zebErrNullPtr); srcLenBytes, dstWidth < 1
 * (zebErrSize). */
ZEB_API ZebResult zebiUnpackBitsRow_TIFF_8u_C1(const Zeb8u* pSrc, int* pSrcCurrPos, int srcLenBytes, Zeb8u* pDst,
                                               int dstWidth);

#ifdef __cplusplus
}
#endif

#endif /* ZEB_H */
