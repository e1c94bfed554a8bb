// PackBits interoperability with libtiff: strips that libtiff compresses
// decode with our row decoder, and rows we pack, written as raw strips of a
// TIFF, read back through libtiff to the same pixels.
#if defined(ZEB_HAVE_LIBTIFF)

#include <tiffio.h>
#include <unistd.h>

#include <string>

#include "packbits_test_util.h"

namespace {

using packtest::Bytes;

struct Layout {
    int width, height, samples, rowsPerStrip;
    int rowBytes() const { return width * samples; }
    int stripRows(int s) const { return std::min(rowsPerStrip, height - s * rowsPerStrip); }
};
const Layout kLayouts[] = {{1, 5, 1, 2},    {2, 9, 1, 4},     {127, 16, 1, 5}, {128, 8, 1, 8}, {129, 7, 1, 3},
                           {300, 20, 3, 6}, {1000, 12, 1, 12}, {4099, 10, 1, 3}, {777, 9, 3, 4}};

// A temporary TIFF with the layout's fields set for writing.
struct TiffFile {
    explicit TiffFile(const Layout& l) {
        char name[] = "/tmp/zeb_packbits_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
        TIFFSetWarningHandler(nullptr);
        TIFF* t = w = TIFFOpen(path.c_str(), "w");
        if (!t) return;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, l.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, l.height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, l.samples);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, l.rowsPerStrip);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    }
    TIFF* reopen() {
        TIFFClose(w);
        return TIFFOpen(path.c_str(), "r");
    }
    ~TiffFile() { unlink(path.c_str()); }
    std::string path;
    TIFF* w = nullptr;
};

std::vector<Bytes> makeImage(const Layout& l, zebtest::Rng& rng) {
    std::vector<Bytes> rows;
    for (int y = 0; y < l.height; ++y) rows.push_back(packtest::runRichRow(rng, l.rowBytes()));
    return rows;
}

TEST(PackBitsLibtiff, StripsWrittenByLibtiffDecode) {
    zebtest::Rng rng(61);
    for (const Layout& l : kLayouts) {
        const auto image = makeImage(l, rng);
        TiffFile f(l);
        ASSERT_NE(f.w, nullptr);
        for (int y = 0; y < l.height; ++y)
            ASSERT_EQ(TIFFWriteScanline(f.w, const_cast<std::uint8_t*>(image[y].data()), y, 0), 1);
        TIFF* t = f.reopen();
        ASSERT_NE(t, nullptr);
        for (int s = 0; s * l.rowsPerStrip < l.height; ++s) {
            Bytes raw(TIFFRawStripSize(t, s));
            const int rawSize = static_cast<int>(TIFFReadRawStrip(t, s, raw.data(), raw.size()));
            ASSERT_EQ(rawSize, static_cast<int>(raw.size()));
            int pos = 0;
            Bytes row(l.rowBytes());
            for (int y = s * l.rowsPerStrip; y < s * l.rowsPerStrip + l.stripRows(s); ++y) {
                ASSERT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(raw.data(), &pos, rawSize, row.data(), l.rowBytes()), zebOk);
                ASSERT_EQ(row, image[y]) << "width " << l.width << " row " << y;
            }
            EXPECT_EQ(pos, rawSize);
        }
        TIFFClose(t);
    }
}

TEST(PackBitsLibtiff, OurStripsReadBackThroughLibtiff) {
    zebtest::Rng rng(62);
    for (const Layout& l : kLayouts) {
        const auto image = makeImage(l, rng);
        TiffFile f(l);
        ASSERT_NE(f.w, nullptr);
        for (int s = 0; s * l.rowsPerStrip < l.height; ++s) {
            Bytes strip(static_cast<std::size_t>(l.rowsPerStrip) * (2 * l.rowBytes() + 2));
            int pos = 0;
            for (int y = s * l.rowsPerStrip; y < s * l.rowsPerStrip + l.stripRows(s); ++y)
                ASSERT_EQ(zebiPackBitsRow_TIFF_8u_C1(image[y].data(), l.rowBytes(), strip.data(), &pos,
                                                     static_cast<int>(strip.size()) - pos),
                          zebOk);
            ASSERT_EQ(TIFFWriteRawStrip(f.w, s, strip.data(), pos), pos);
        }
        TIFF* t = f.reopen();
        ASSERT_NE(t, nullptr);
        Bytes row(l.rowBytes());
        for (int y = 0; y < l.height; ++y) {
            ASSERT_EQ(TIFFReadScanline(t, row.data(), y, 0), 1);
            ASSERT_EQ(row, image[y]) << "width " << l.width << " row " << y;
        }
        TIFFClose(t);
    }
}

}  // namespace

#endif  // ZEB_HAVE_LIBTIFF
