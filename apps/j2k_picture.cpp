// Pictures to and from the tool's PNM images, and the storage of large
// sample planes.
#include <algorithm>
#include <cstdint>

#include "j2k_codec.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEBIMG_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZEBIMG_ADDRESS_SANITIZER 1
#endif

// Under the address sanitizer large planes stay on the heap, where it
// watches their bounds.
#if defined(__linux__) && !defined(ZEBIMG_ADDRESS_SANITIZER)
#define ZEBIMG_LARGE_MAPPINGS 1
#include <sys/mman.h>
#endif

namespace zebimg::j2k {

#ifdef ZEBIMG_LARGE_MAPPINGS
namespace {
constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;

std::size_t mappedSize(std::size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }
}  // namespace

// A mapping of the size rounded up to whole 2 MiB units, at a 2 MiB boundary
// (a larger mapping with the ends cut off).
void* allocateLarge(std::size_t bytes) {
    const std::size_t size = mappedSize(bytes);
    if (size < bytes || size + kHugePage < size) throw std::bad_alloc();
    void* m = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(m);
    const std::uintptr_t start = (base + kHugePage - 1) & ~(kHugePage - 1);
    if (start > base) munmap(m, start - base);
    munmap(reinterpret_cast<void*>(start + size), base + kHugePage - start);  // start < base + kHugePage
    void* p = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
    madvise(p, size, MADV_HUGEPAGE);
#endif
    return p;
}

void freeLarge(void* p, std::size_t bytes) noexcept {
    munmap(p, mappedSize(bytes));
}

void adviseLargePages(void* p, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t start = (a + kHugePage - 1) & ~(kHugePage - 1), end = (a + bytes) & ~(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)p, (void)bytes;
#endif
}
#else
void* allocateLarge(std::size_t bytes) { return ::operator new(bytes); }
void freeLarge(void* p, std::size_t) noexcept { ::operator delete(p); }
void adviseLargePages(void*, std::size_t) noexcept {}
#endif

bool isJpeg2000(const std::vector<std::uint8_t>& b) {
    static const std::uint8_t jp2Signature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51) return true;
    return b.size() >= 12 && std::equal(jp2Signature, jp2Signature + 12, b.begin());
}

Picture fromImage(const Image& img) {
    Picture pic;
    pic.width = img.width;
    pic.height = img.height;
    pic.components.resize(img.channels);
    const std::size_t n = std::size_t(img.width) * img.height;
    for (int c = 0; c < img.channels; ++c) {
        Component& comp = pic.components[c];
        comp.width = img.width;
        comp.height = img.height;
        comp.precision = img.bitDepth();
        comp.samples.resize(n);
        for (std::size_t i = 0; i < n; ++i) comp.samples[i] = img.samples[i * img.channels + c];
    }
    return pic;
}

bool toImage(const Picture& pic, Image& img, std::string& error) {
    if (pic.components.empty() || pic.width <= 0 || pic.height <= 0) {
        error = "the picture has no samples";
        return false;
    }
    const int channels = pic.components.size() >= 3 ? 3 : 1;
    int precision = 1;
    for (int c = 0; c < channels; ++c) precision = std::max(precision, pic.components[c].precision);
    if (precision > 16) {
        error = "samples of more than 16 bits do not fit a PNM image";
        return false;
    }
    img.width = pic.width;
    img.height = pic.height;
    img.channels = channels;
    img.maxval = precision <= 8 ? 255 : (1 << precision) - 1;
    const std::size_t n = std::size_t(img.width) * img.height * channels;
    if (img.samples.capacity() < n) {
        std::vector<std::uint16_t> fresh;
        fresh.reserve(n);
        adviseLargePages(fresh.data(), n * sizeof(std::uint16_t));
        img.samples.swap(fresh);
    }
    img.samples.assign(n, 0);
    for (int c = 0; c < channels; ++c) {
        const Component& comp = pic.components[c];
        const std::int64_t offset = comp.isSigned ? std::int64_t(1) << (comp.precision - 1) : 0;
        const std::int64_t compMax = (std::int64_t(1) << comp.precision) - 1;
        if (comp.dx == 1 && comp.dy == 1 && comp.width == img.width && comp.height == img.height &&
            compMax == img.maxval) {
            // Full-resolution samples of the PNM depth: shift and clamp only.
            const std::int32_t* in = comp.samples.data();
            std::uint16_t* out = img.samples.data() + c;
            const std::size_t count = std::size_t(img.width) * img.height;
            for (std::size_t i = 0; i < count; ++i)
                out[i * channels] = static_cast<std::uint16_t>(std::clamp<std::int64_t>(in[i] + offset, 0, compMax));
            continue;
        }
        // Component sample u sits at reference-grid column u * dx, the first
        // one at ceil(x0 / dx): each image pixel takes the sample at or left of it.
        const int cx0 = (pic.x0 + comp.dx - 1) / comp.dx, cy0 = (pic.y0 + comp.dy - 1) / comp.dy;
        for (int y = 0; y < img.height; ++y) {
            const int sy = std::clamp((pic.y0 + y) / comp.dy - cy0, 0, comp.height - 1);
            for (int x = 0; x < img.width; ++x) {
                const int sx = std::clamp((pic.x0 + x) / comp.dx - cx0, 0, comp.width - 1);
                std::int64_t v = comp.samples[std::size_t(sy) * comp.width + sx] + offset;
                v = std::clamp<std::int64_t>(v, 0, compMax);
                if (compMax != img.maxval) v = (v * img.maxval + compMax / 2) / compMax;
                img.samples[(std::size_t(y) * img.width + x) * channels + c] = static_cast<std::uint16_t>(v);
            }
        }
    }
    return true;
}

}  // namespace zebimg::j2k
