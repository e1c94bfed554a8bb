// Quantisation tables and the plain 8x8 quantiser / de-quantiser.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/harness.h"
#include "jpeg/dct/quant_kernels.h"

#if defined(ZEBTEST_HAVE_LIBJPEG)
#include <jpeglib.h>
#endif

namespace {

using zebtest::Path;

// The published T.81 zigzag sequence (natural index of each zigzag position),
// written out so that it checks the library's generated table.
constexpr int kT81Zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
// T.81 Annex K luminance table, natural order.
constexpr int kAnnexKLuma[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                 14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                 18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

TEST(QuantTables, QualityScaling) {
    Zeb8u orig[64], t[64];
    for (int k = 0; k < 64; ++k) orig[k] = static_cast<Zeb8u>(kAnnexKLuma[kT81Zigzag[k]]);
    auto scaled = [&](int q) {
        std::memcpy(t, orig, 64);
        EXPECT_EQ(zebiQuantFwdRawTableInit_JPEG_8u(t, q), zebOk);
        return t;
    };
    EXPECT_EQ(0, std::memcmp(scaled(50), orig, 64));
    EXPECT_EQ(scaled(1)[0], 255);  // 16 -> 16 * 50, clamped
    EXPECT_EQ(scaled(75)[0], 8);   // 16 -> 8
    for (int k = 0; k < 64; ++k) EXPECT_EQ(scaled(10)[k], std::min(255, 5 * orig[k]));
    for (int q : {100, 1000, 0x7FFFFFFF})  // scale 0 or negative, without overflow
        for (int k = 0; k < 64; ++k) ASSERT_EQ(scaled(q)[k], 1) << q;
    std::memcpy(t, orig, 64);
    EXPECT_EQ(zebiQuantFwdRawTableInit_JPEG_8u(t, 0), zebErrBadArg);
    EXPECT_EQ(zebiQuantFwdRawTableInit_JPEG_8u(t, -3), zebErrBadArg);
    EXPECT_EQ(0, std::memcmp(t, orig, 64));
#if defined(ZEBTEST_HAVE_LIBJPEG)
    // libjpeg scales the same table by the same rule (baseline-limited).
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_GRAYSCALE;
    cinfo.input_components = 1;
    jpeg_set_defaults(&cinfo);
    for (int q = 1; q <= 100; ++q) {
        jpeg_set_quality(&cinfo, q, TRUE);
        Zeb16u inv[64];
        ASSERT_EQ(zebiQuantInvTableInit_JPEG_8u16u(scaled(q), inv), zebOk);
        for (int n = 0; n < 64; ++n) ASSERT_EQ(inv[n], cinfo.quant_tbl_ptrs[0]->quantval[n]) << "quality " << q;
    }
    jpeg_destroy_compress(&cinfo);
#endif
}

TEST(QuantTables, ForwardAndInverseTablesInNaturalOrder) {
    Zeb8u raw[64];
    Zeb16u inv[64], fwd[64];
    for (int base = 1; base <= 255; base += 64) {  // every quantiser 1..255
        for (int k = 0; k < 64; ++k) raw[k] = static_cast<Zeb8u>(std::min(255, base + k));
        ASSERT_EQ(zebiQuantFwdTableInit_JPEG_8u16u(raw, fwd), zebOk);
        ASSERT_EQ(zebiQuantInvTableInit_JPEG_8u16u(raw, inv), zebOk);
        for (int k = 0; k < 64; ++k) {
            ASSERT_EQ(inv[kT81Zigzag[k]], raw[k]);
            ASSERT_EQ(fwd[kT81Zigzag[k]], std::lround(32768.0 / raw[k])) << int(raw[k]);
        }
    }
    raw[1] = 11;
    raw[2] = 12;
    raw[5] = 0;  // warning, 65535 there, the rest complete
    EXPECT_EQ(zebiQuantFwdTableInit_JPEG_8u16u(raw, fwd), zebWrnDivByZero);
    EXPECT_EQ(fwd[1], 2979);
    EXPECT_EQ(fwd[8], 2731);
    EXPECT_EQ(fwd[2], 65535);
    EXPECT_EQ(fwd[63], 129);  // q = 255: 128.502 rounds up
    EXPECT_EQ(zebiQuantInvTableInit_JPEG_8u16u(raw, inv), zebOk);
    EXPECT_EQ(inv[1], 11);
    EXPECT_EQ(inv[8], 12);
}

TEST(Quant8x8, ForwardStaysWithinHalfAStepOnBothPaths) {
    Zeb16u t[64];
    std::fill(t, t + 64, Zeb16u{2048});  // q = 16: 24 -> 2, -24 -> -1 (halves go up)
    Zeb16s b[64] = {24, -24};
    ASSERT_EQ(zebiQuantFwd8x8_JPEG_16s_C1I(b, t), zebOk);
    EXPECT_EQ(b[0], 2);
    EXPECT_EQ(b[1], -1);
    // Every quantiser and coefficient of the allowed range: within 0.69 of c / q
    // (half a step plus the reciprocal's rounding; exact for q = 1).
    for (int q = 1; q <= 255; ++q) {
        std::fill(t, t + 64, static_cast<Zeb16u>(std::lround(32768.0 / q)));
        for (int c0 = -4096; c0 < 4096; c0 += 64) {
            Zeb16s s[64], v[64];
            for (int k = 0; k < 64; ++k) s[k] = v[k] = static_cast<Zeb16s>(c0 + k);
            zeb::dct::quantQ15<Path::Scalar>(s, t);
            zeb::dct::quantQ15<Path::Vector>(v, t);
            ASSERT_EQ(0, std::memcmp(s, v, sizeof s)) << "q " << q;
            for (int k = 0; k < 64; ++k) {
                if (q == 1) {
                    ASSERT_EQ(s[k], c0 + k);
                }
                ASSERT_LE(std::fabs(s[k] - double(c0 + k) / q), 0.69) << "q " << q << " c " << c0 + k;
            }
        }
    }
}

TEST(Quant8x8, InverseKeepsLow16Bits) {
    Zeb16u q[64];
    std::fill(q, q + 64, Zeb16u{255});
    Zeb16s b[64] = {300, -300, 200};
    ASSERT_EQ(zebiQuantInv8x8_JPEG_16s_C1I(b, q), zebOk);
    EXPECT_EQ(b[0], 10964);   // 76500 mod 65536
    EXPECT_EQ(b[1], -10964);
    EXPECT_EQ(b[2], 51000 - 65536);
}

}  // namespace
