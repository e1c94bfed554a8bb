// Baseline TIFF (TIFF 6.0 Part 1) for the codec tool: 8-bit greyscale and RGB
// images in strips, uncompressed or PackBits, read in either byte order and
// written little-endian.  PackBits rows go through the library's row coders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pnm.h"

namespace zebimg::tiff {

struct WriteOptions {
    bool packBits = true;
    int stripBytes = 8192;  // target uncompressed bytes per strip
};

bool isTiff(const std::vector<std::uint8_t>& bytes);
bool read(const std::vector<std::uint8_t>& bytes, Image& img, std::string& error);
bool write(const Image& img, const WriteOptions& opt, std::vector<std::uint8_t>& out, std::string& error);

}  // namespace zebimg::tiff
