/* A complete minimal program on the zeb library: encode a greyscale image to
 * a baseline JPEG file, then decode that file again.
 *
 *   cc tutorial.c -o tutorial $(pkg-config --cflags --libs zeb)
 *   ./tutorial out.jpg
 *
 * The library does the arithmetic (quantisation tables, DCT, Huffman
 * coding); the program writes and reads the few marker segments a baseline
 * greyscale file needs. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zeb.h>

#define W 64
#define H 48

/* T.81 Annex K: luminance quantisation table (zigzag order) and Huffman tables. */
static const Zeb8u kQuant[64] = {
    16, 11, 12, 14, 12, 10, 16, 14, 13, 14, 18, 17, 16, 19, 24, 40, 26, 24, 22, 22, 24, 49,
    35, 37, 29, 40, 58, 51, 61, 60, 57, 51, 56, 55, 64, 72, 92, 78, 64, 68, 87, 69, 55,
    56, 80, 109, 81, 87, 95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
static const Zeb8u kDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
static const Zeb8u kDcVals[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
static const Zeb8u kAcBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
static const Zeb8u kAcVals[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
    0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
    0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
    0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

#define CHECK(call)                                                          \
    do {                                                                     \
        ZebResult r_ = (call);                                               \
        if (r_ != zebOk) {                                                   \
            fprintf(stderr, "%s failed with status %d\n", #call, (int)r_); \
            exit(1);                                                         \
        }                                                                    \
    } while (0)

/* ---- writing marker segments ------------------------------------------------ */
static Zeb8u file[65536];
static int fileLen = 0;
static void put8(int v) { file[fileLen++] = (Zeb8u)v; }
static void put16(int v) { put8(v >> 8); put8(v & 0xFF); }

static void putDht(int tableClass, const Zeb8u* bits, const Zeb8u* vals, int n) {
    int i;
    put16(0xFFC4);
    put16(2 + 1 + 16 + n);
    put8(tableClass << 4); /* table id 0 */
    for (i = 0; i < 16; ++i) put8(bits[i]);
    for (i = 0; i < n; ++i) put8(vals[i]);
}

/* A table build wants 256 value slots; copy the DHT values into them. */
static void valsTo256(const Zeb8u* vals, int n, Zeb8u out[256]) {
    memset(out, 0, 256);
    memcpy(out, vals, (size_t)n);
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "tutorial.jpg";
    static Zeb8u image[H][W], decoded[H][W];
    Zeb8u raw[64], vals[256];
    Zeb16u fwd[64], inv[64];
    Zeb16s block[64];
    int x, y, i;

    /* A test picture: a soft diagonal gradient with a bright disc. */
    for (y = 0; y < H; ++y)
        for (x = 0; x < W; ++x) {
            double v = 40 + 2.0 * x + 1.5 * y;
            if ((x - 40) * (x - 40) + (y - 20) * (y - 20) < 100) v = 230;
            image[y][x] = (Zeb8u)v;
        }

    /* 1. Quantisation tables: scale Annex K to quality 80; the raw table goes
     *    into the DQT segment, the forward table (Q15 reciprocals) to the DCT. */
    memcpy(raw, kQuant, 64);
    CHECK(zebiQuantFwdRawTableInit_JPEG_8u(raw, 80));
    CHECK(zebiQuantFwdTableInit_JPEG_8u16u(raw, fwd));

    /* 2. Huffman tables and an encoder state, allocated by the library. */
    ZebEncodeHuffmanSpec *dcEnc = NULL, *acEnc = NULL;
    ZebEncodeHuffmanState* encState = NULL;
    valsTo256(kDcVals, 12, vals);
    CHECK(zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(kDcBits, vals, &dcEnc));
    valsTo256(kAcVals, 162, vals);
    CHECK(zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(kAcBits, vals, &acEnc));
    CHECK(zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&encState));

    /* 3. Headers: SOI, DQT, SOF0 (one component), DHT x2, SOS. */
    put16(0xFFD8);
    put16(0xFFDB);
    put16(67);
    put8(0);
    for (i = 0; i < 64; ++i) put8(raw[i]);
    put16(0xFFC0);
    put16(11);
    put8(8);
    put16(H);
    put16(W);
    put8(1);
    put8(1);
    put8(0x11);
    put8(0);
    putDht(0, kDcBits, kDcVals, 12);
    putDht(1, kAcBits, kAcVals, 162);
    put16(0xFFDA);
    put16(8);
    put8(1);
    put8(1);
    put8(0x00);
    put8(0);
    put8(63);
    put8(0);

    /* 4. Every 8x8 block: level shift, DCT and quantisation in one call, then
     *    Huffman coding into the file buffer; a last call flushes the bits. */
    Zeb16s lastDc = 0;
    for (y = 0; y < H; y += 8)
        for (x = 0; x < W; x += 8) {
            CHECK(zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(&image[y][x], W, block, fwd));
            CHECK(zebiEncodeHuffman8x8_JPEG_16s1u_C1(block, file, (int)sizeof file, &fileLen, &lastDc, dcEnc, acEnc,
                                                     encState, 0));
        }
    CHECK(zebiEncodeHuffman8x8_JPEG_16s1u_C1(NULL, file, (int)sizeof file, &fileLen, NULL, NULL, NULL, encState, 1));
    put16(0xFFD9);
    zebiEncodeHuffmanStateFree_JPEG_8u(encState);
    zebiEncodeHuffmanSpecFree_JPEG_8u(dcEnc);
    zebiEncodeHuffmanSpecFree_JPEG_8u(acEnc);

    FILE* f = fopen(path, "wb");
    if (!f || fwrite(file, 1, (size_t)fileLen, f) != (size_t)fileLen || fclose(f) != 0) {
        fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    printf("wrote %s: %d bytes for %dx%d pixels\n", path, fileLen, W, H);

    /* 5. Decoding. The tables are known here; a real decoder reads them from
     *    the DQT and DHT segments. The entropy-coded data starts after SOS. */
    int pos = 0, marker = 0;
    while (!(file[pos] == 0xFF && file[pos + 1] == 0xDA)) ++pos;
    pos += 2 + (file[pos + 2] << 8 | file[pos + 3]);

    ZebDecodeHuffmanSpec *dcDec = NULL, *acDec = NULL;
    ZebDecodeHuffmanState* decState = NULL;
    valsTo256(kDcVals, 12, vals);
    CHECK(zebiDecodeHuffmanSpecInitAlloc_JPEG_8u(kDcBits, vals, &dcDec));
    valsTo256(kAcVals, 162, vals);
    CHECK(zebiDecodeHuffmanSpecInitAlloc_JPEG_8u(kAcBits, vals, &acDec));
    CHECK(zebiDecodeHuffmanStateInitAlloc_JPEG_8u(&decState));
    CHECK(zebiQuantInvTableInit_JPEG_8u16u(raw, inv));
    lastDc = 0;
    for (y = 0; y < H; y += 8)
        for (x = 0; x < W; x += 8) {
            CHECK(zebiDecodeHuffman8x8_JPEG_1u16s_C1(file, fileLen, &pos, block, &lastDc, &marker, dcDec, acDec,
                                                     decState));
            CHECK(zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(block, &decoded[y][x], W, inv));
        }
    zebiDecodeHuffmanStateFree_JPEG_8u(decState);
    zebiDecodeHuffmanSpecFree_JPEG_8u(dcDec);
    zebiDecodeHuffmanSpecFree_JPEG_8u(acDec);

    /* 6. How close is the decoded picture? */
    double se = 0;
    for (y = 0; y < H; ++y)
        for (x = 0; x < W; ++x) se += (double)(image[y][x] - decoded[y][x]) * (image[y][x] - decoded[y][x]);
    const double psnr = 10 * log10(255.0 * 255.0 * W * H / (se > 0 ? se : 1e-9));
    printf("decoded again: PSNR %.2f dB, end marker 0x%02X\n", psnr, marker);
    return psnr > 30 && marker == 0xD9 ? 0 : 1;
}
