// PGM/PPM (binary P5/P6) images for the codec tool: 8-bit and 16-bit samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zebimg {

struct Image {
    int width = 0, height = 0, channels = 0;  // channels: 1 (grey) or 3 (RGB)
    int maxval = 255;                          // 255 for 8-bit, up to 65535 for 16-bit
    std::vector<std::uint16_t> samples;        // interleaved, row-major
    // The same samples as bytes, instead of `samples` (then empty), for an
    // 8-bit image whose maker was asked for them (a JPEG decode for PGM/PPM
    // output): the PNM writer and the JPEG encoder take them as they are.
    // Empty otherwise.
    std::vector<std::uint8_t> bytes;
    int bitDepth() const;
    std::uint16_t& at(int x, int y, int c) { return samples[(static_cast<std::size_t>(y) * width + x) * channels + c]; }
    std::uint16_t at(int x, int y, int c) const {
        return samples[(static_cast<std::size_t>(y) * width + x) * channels + c];
    }
};

// Parses a P5/P6 file held in memory. On failure returns false with a message.
bool parsePnm(const std::vector<std::uint8_t>& bytes, Image& img, std::string& error);
std::vector<std::uint8_t> writePnm(const Image& img);

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);

}  // namespace zebimg
