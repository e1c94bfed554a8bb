// The independent peer of the interoperability tests: Debian's libjpeg-turbo
// through its C API (native builds only).  Small photo-like files written
// with the peer's encoder, and the coefficients its decoder reads.
#pragma once

#ifdef ZEB_HAVE_LIBJPEG

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "huffman_test_util.h"

namespace jpegpeer {

using hufftest::Block;

struct Options {
    int width, height;
    bool grey;
    int quality;
    bool optimize;
    int restartMcus;
    bool progressive = false;  // the peer's standard progression script
};

// A photo-like test picture: smooth shading, a few hard edges, and noise.
inline std::vector<Zeb8u> picture(int w, int h, int channels, zebtest::Rng& rng) {
    std::vector<Zeb8u> px(static_cast<std::size_t>(w) * h * channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                double v = 128 + 90 * std::sin(0.07 * x + 0.5 * c) * std::cos(0.05 * y - 0.3 * c);
                if ((x / 13 + y / 17) % 3 == 0) v = 255 - v * 0.6;
                v += static_cast<double>(rng.range(-12, 12));
                px[(static_cast<std::size_t>(y) * w + x) * channels + c] =
                    static_cast<Zeb8u>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return px;
}

inline std::vector<Zeb8u> compress(const Options& o, zebtest::Rng& rng) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = static_cast<JDIMENSION>(o.width);
    c.image_height = static_cast<JDIMENSION>(o.height);
    c.input_components = o.grey ? 1 : 3;
    c.in_color_space = o.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    c.optimize_coding = o.optimize ? TRUE : FALSE;
    if (o.progressive) jpeg_simple_progression(&c);
    c.restart_interval = static_cast<unsigned>(o.restartMcus);
    jpeg_start_compress(&c, TRUE);
    const std::vector<Zeb8u> px = picture(o.width, o.height, c.input_components, rng);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&px[static_cast<std::size_t>(c.next_scanline) * o.width * c.input_components]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<Zeb8u> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

// Coefficient blocks as the peer reads them: per component, rows of blocks
// (padded to whole MCUs, as the peer stores them).
struct PeerCoefficients {
    struct Comp {
        int rows = 0, cols = 0;
        std::vector<Block> blocks;
        const Block& at(int r, int c) const { return blocks[static_cast<std::size_t>(r) * cols + c]; }
    };
    std::vector<Comp> comps;
};

inline PeerCoefficients readCoefficients(const std::vector<Zeb8u>& file) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
    PeerCoefficients pc;
    for (int ci = 0; ci < d.num_components; ++ci) {
        const jpeg_component_info& ci_info = d.comp_info[ci];
        PeerCoefficients::Comp comp;
        const int h = ci_info.h_samp_factor, v = ci_info.v_samp_factor;
        comp.cols = (static_cast<int>(ci_info.width_in_blocks) + h - 1) / h * h;
        comp.rows = (static_cast<int>(ci_info.height_in_blocks) + v - 1) / v * v;
        comp.blocks.resize(static_cast<std::size_t>(comp.rows) * comp.cols);
        for (int r = 0; r < comp.rows; ++r) {
            JBLOCKARRAY row = d.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&d), arrays[ci],
                                                        static_cast<JDIMENSION>(r), 1, FALSE);
            for (int c = 0; c < comp.cols; ++c)
                for (int k = 0; k < 64; ++k) comp.blocks[static_cast<std::size_t>(r) * comp.cols + c][k] = row[0][c][k];
        }
        pc.comps.push_back(std::move(comp));
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return pc;
}

}  // namespace jpegpeer

#endif  // ZEB_HAVE_LIBJPEG
