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

/* ------------------------------------------------------------------------ */
/* JPEG Huffman bit-stream states                                           */
/* ------------------------------------------------------------------------ */
/* @section huffman-states */

/* ------------------------------------------------------------------------ */
/* JPEG baseline block coding and statistics                                */
/* ------------------------------------------------------------------------ */
/* @section huffman-baseline */

/* ------------------------------------------------------------------------ */
/* JPEG progressive block coding and statistics                             */
/* ------------------------------------------------------------------------ */
/* @section huffman-progressive */

/* ------------------------------------------------------------------------ */
/* JPEG lossless row coding                                                 */
/* ------------------------------------------------------------------------ */
/* @section huffman-lossless */

/* ------------------------------------------------------------------------ */
/* JPEG quantisation, DCT and level shift                                   */
/* ------------------------------------------------------------------------ */
/* @section dct */

/* ------------------------------------------------------------------------ */
/* JPEG colour conversion                                                   */
/* ------------------------------------------------------------------------ */
/* @section color */

/* ------------------------------------------------------------------------ */
/* JPEG down- and up-sampling                                               */
/* ------------------------------------------------------------------------ */
/* @section sampling */

/* ------------------------------------------------------------------------ */
/* JPEG MCU conversions                                                     */
/* ------------------------------------------------------------------------ */
/* @section mcu */

/* ------------------------------------------------------------------------ */
/* JPEG lossless predictors                                                 */
/* ------------------------------------------------------------------------ */
/* @section lossless-predictors */

/* ------------------------------------------------------------------------ */
/* JPEG 2000 component transforms                                           */
/* ------------------------------------------------------------------------ */
/* @section j2k-component */

/* ------------------------------------------------------------------------ */
/* JPEG 2000 wavelet line primitives                                        */
/* ------------------------------------------------------------------------ */
/* @section j2k-wavelet-lines */

/* ------------------------------------------------------------------------ */
/* JPEG 2000 5/3 reversible wavelet, whole tiles                            */
/* ------------------------------------------------------------------------ */
/* @section j2k-b53 */

/* ------------------------------------------------------------------------ */
/* JPEG 2000 9/7 irreversible wavelet, whole tiles                          */
/* ------------------------------------------------------------------------ */
/* @section j2k-d97 */

/* ------------------------------------------------------------------------ */
/* JPEG 2000 code-block encoder, rates and distortion                       */
/* ------------------------------------------------------------------------ */
/* @section j2k-encoder */

/* ------------------------------------------------------------------------ */
/* JPEG 2000 code-block decoders                                            */
/* ------------------------------------------------------------------------ */
/* @section j2k-decoder */

/* ------------------------------------------------------------------------ */
/* TIFF PackBits                                                            */
/* ------------------------------------------------------------------------ */
/* @section packbits */

#ifdef __cplusplus
}
#endif

#endif /* ZEB_H */
