// A JPEG 2000 Part 1 (T.800) codec built on the library's public functions:
// J2K codestreams and JP2 files, reversible (RCT + 5/3) and irreversible
// (ICT + 9/7) coding, tiles, quality layers with post-compression
// rate-distortion optimisation, and a decoder for the Part 1 core
// (every progression order, precincts, layers, tiles, SOP/EPH, code-block
// style switches, COC/QCC/RGN/POC/PPM/PPT) with concealment of damaged data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "pnm.h"

namespace zebimg::j2k {

// Storage for whole sample planes.  Blocks of kLargeBytes and more get a
// mapping of their own, aligned to 2 MiB and marked for huge pages: the first
// touch of a fresh 4 KiB page costs a page fault, and for a plane of several
// MiB those faults cost as much as a whole wavelet level.  Smaller blocks
// come from the ordinary heap.
inline constexpr std::size_t kLargeBytes = std::size_t(2) << 20;
void* allocateLarge(std::size_t bytes);  // throws std::bad_alloc when there is no memory
void freeLarge(void* p, std::size_t bytes) noexcept;
// Asks for huge pages under the whole 2 MiB units of [p, p + bytes) that
// nothing has touched yet (a hint; nothing happens where it is not supported).
void adviseLargePages(void* p, std::size_t bytes) noexcept;

template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        return static_cast<T*>(bytes >= kLargeBytes ? allocateLarge(bytes) : ::operator new(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n * sizeof(T) >= kLargeBytes) freeLarge(p, n * sizeof(T));
        else ::operator delete(p);
    }
    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

using SampleVector = std::vector<std::int32_t, LargeAllocator<std::int32_t>>;

// One image component on the reference grid: samples at full component
// resolution (ceil((x1 - x0) / dx) by ceil((y1 - y0) / dy)), row-major.
struct Component {
    int width = 0, height = 0;
    int dx = 1, dy = 1;          // sub-sampling on the reference grid (SIZ XRsiz, YRsiz)
    int precision = 8;           // 1 to 16 (the encoder takes 8 to 16)
    bool isSigned = false;
    SampleVector samples;
};

// A whole image: the image area [x0, x0 + width) x [y0, y0 + height) of the
// reference grid and 1 to 16384 components.
struct Picture {
    int x0 = 0, y0 = 0;
    int width = 0, height = 0;
    std::vector<Component> components;
};

struct EncodeOptions {
    bool reversible = true;             // RCT + 5/3 (lossless when every pass is kept); false: ICT + 9/7
    bool multipleComponentTransform = true;  // RCT/ICT on the first three components when there are 3 or more
    int levels = 5;                     // decomposition levels, 0 to 8 (fewer where the tile is too small)
    int codeBlockWidthLog2 = 6;         // code-block 2^n x 2^m, n and m 2 to 6, n + m <= 12
    int codeBlockHeightLog2 = 6;
    int codeBlockStyle = 0;             // COD SPcod style bits: 0x01 bypass, 0x02 reset, 0x04 terminate
                                        // each pass, 0x08 vertically causal, 0x10 predictable termination,
                                        // 0x20 segmentation symbols
    int tileWidth = 0, tileHeight = 0;  // 0: one tile covering the image
    // Quality layers, lowest first.  Each entry is a target in bits per pixel
    // (of the image area, all components, the whole file counted); 0 in the
    // last entry (or an empty list) keeps every coding pass in the last layer.
    std::vector<double> layerBitsPerPixel;
    double targetPsnr = 0;              // > 0: single layer chosen by distortion instead of size
    int guardBits = 2;
    bool jp2 = false;                   // JP2 file around the codestream
};

struct DecodeOptions {
    int reduce = 0;          // resolution levels to discard (0: full resolution)
    int maxLayers = 0;       // quality layers to decode (0: all)
    bool conceal = true;     // damaged code-block data: conceal instead of failing
};

// True when the bytes start a J2K codestream (SOC SIZ) or a JP2 file.
bool isJpeg2000(const std::vector<std::uint8_t>& bytes);

bool encode(const Picture& pic, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error);
bool decode(const std::uint8_t* data, std::size_t size, const DecodeOptions& opt, Picture& pic, std::string& error);

// The tool's images: greyscale or RGB PNM (8 or 16 bits, unsigned) to and
// from pictures.  toImage takes the first component (1 or 2 components) or the
// first three (3 or more), up-samples sub-sampled ones by repetition, shifts
// signed samples by 2^(precision-1) and scales to a common PNM maximum value.
Picture fromImage(const Image& img);
bool toImage(const Picture& pic, Image& img, std::string& error);

}  // namespace zebimg::j2k
