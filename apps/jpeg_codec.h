// A JPEG (T.81) codec built on the library's public functions: baseline and
// progressive DCT coding of 8-bit greyscale and YCbCr images, and the
// lossless process for 2- to 16-bit samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pnm.h"

namespace zebimg::jpeg {

struct EncodeOptions {
    enum class Mode { Baseline, Progressive, Lossless } mode = Mode::Baseline;
    int quality = 75;             // 1 to 100 (DCT modes)
    int hSamp = 2, vSamp = 2;     // luma sampling factors: 1x1 (4:4:4), 2x1 (4:2:2), 2x2 (4:2:0)
    bool optimize = false;        // optimal Huffman tables from symbol statistics (always on for progressive)
    int restartInterval = 0;      // in MCUs (DCT modes) or in rows (lossless); 0: none
    int predictor = 1;            // lossless: 1 to 7
    int precision = 0;            // lossless: 2 to 16 bits; 0: from the image's maximum value
    int pointTransform = 0;       // lossless: Pt
};

struct DecodeOptions {
    bool mcuUpsampling = false;   // per-MCU conversions (box up-sampling) instead of plane filters
    bool bytes = false;           // DCT images to Image::bytes (8-bit samples, not widened); lossless still to samples
};

// Reads the image's 8-bit `bytes` when it has them (the same file as from
// its samples), else its samples.
bool encode(const Image& img, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error);
bool decode(const std::vector<std::uint8_t>& bytes, Image& img, std::string& error, const DecodeOptions& opt = {});

}  // namespace zebimg::jpeg
