// Shared pieces of the fuzz targets.
//
// Every target reads its parameters from the front of the fuzzer's bytes with
// Input (missing bytes read as zero) and passes the rest to the decoder in a
// heap block of exactly the right size, so AddressSanitizer sees any read or
// write outside it.  Every target also has a seed mode,
//   fuzz_NAME --write-seeds DIR
// which writes inputs made by our own encoders in the target's format (see
// fuzz_main.cpp); the seeds are generated at run time, never committed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zeb.h"

namespace zebfuzz {

// A property that must hold for every input: a violation is a finding.
#define ZEBFUZZ_REQUIRE(cond)                                                           \
    do {                                                                                \
        if (!(cond)) {                                                                  \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

// Front-to-back reader of the fuzzer's bytes.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    std::size_t remaining() const { return n_ - at_; }
    std::uint8_t u8() { return at_ < n_ ? p_[at_++] : 0; }
    std::uint16_t u16() { const std::uint16_t hi = u8(); return static_cast<std::uint16_t>(hi << 8 | u8()); }
    std::uint32_t u32() { const std::uint32_t hi = u16(); return hi << 16 | u16(); }
    // lo .. hi from one byte (hi - lo < 256) or two bytes (larger spans).
    int range(int lo, int hi) {
        const unsigned span = static_cast<unsigned>(hi - lo) + 1;
        const unsigned v = span <= 256 ? u8() : u16();
        return lo + static_cast<int>(v % span);
    }
    std::vector<std::uint8_t> bytes(std::size_t n) {
        n = n < remaining() ? n : remaining();
        std::vector<std::uint8_t> v(p_ + at_, p_ + at_ + n);
        at_ += n;
        return v;
    }
    std::vector<std::uint8_t> rest() { return bytes(remaining()); }

private:
    const std::uint8_t* p_;
    std::size_t n_, at_ = 0;
};

// Writer of the same format for the seed mode.
struct Output {
    std::vector<std::uint8_t> b;
    void u8(unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); }
    void u16(unsigned v) { u8(v >> 8); u8(v); }
    void u32(std::uint32_t v) { u16(v >> 16); u16(v); }
    void bytes(const std::uint8_t* p, std::size_t n) { b.insert(b.end(), p, p + n); }
    void bytes(const std::vector<std::uint8_t>& v) { bytes(v.data(), v.size()); }
};

// A heap block of exactly n bytes (malloc(0) is a valid, empty block).
template <class T>
class Heap {
public:
    explicit Heap(std::size_t count) : n_(count), p_(static_cast<T*>(std::malloc(count * sizeof(T)))) {}
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;
    ~Heap() { std::free(p_); }
    T* get() { return p_; }
    T& operator[](std::size_t i) { return p_[i]; }
    std::size_t size() const { return n_; }
    void fill(std::uint8_t byte) { if (n_) std::memset(p_, byte, n_ * sizeof(T)); }

private:
    std::size_t n_;
    T* p_;
};

inline void copyTo(Heap<std::uint8_t>& h, const std::vector<std::uint8_t>& v) {
    if (!v.empty()) std::memcpy(h.get(), v.data(), v.size());
}

// A Huffman table in DHT form (16 counts, then the listed symbols).
struct Dht {
    std::uint8_t bits[16] = {};
    std::uint8_t vals[256] = {};
    int total() const { int t = 0; for (int i = 0; i < 16; ++i) t += bits[i]; return t; }
};

inline Dht readDht(Input& in) {
    Dht d;
    for (int i = 0; i < 16; ++i) d.bits[i] = in.u8();
    const int t = d.total();
    for (int i = 0; i < t && i < 256; ++i) d.vals[i] = in.u8();
    return d;
}

inline void writeDht(Output& out, const Dht& d) {
    for (int i = 0; i < 16; ++i) out.u8(d.bits[i]);
    for (int i = 0; i < d.total() && i < 256; ++i) out.u8(d.vals[i]);
}

// Decoder table in a block of exactly its size; null when the build fails.
class DecodeTable {
public:
    explicit DecodeTable(const Dht& d) : mem_(size()) {
        ok_ = zebiDecodeHuffmanSpecInit_JPEG_8u(d.bits, d.vals, spec()) == zebOk;
    }
    const ZebDecodeHuffmanSpec* get() { return ok_ ? spec() : nullptr; }

private:
    static std::size_t size() { int n = 0; zebiDecodeHuffmanSpecGetBufSize_JPEG_8u(&n); return static_cast<std::size_t>(n); }
    ZebDecodeHuffmanSpec* spec() { return reinterpret_cast<ZebDecodeHuffmanSpec*>(mem_.get()); }
    Heap<std::uint8_t> mem_;
    bool ok_ = false;
};

// Optimal DHT for the given symbol counts (at least one nonzero).
inline Dht optimalDht(const Zeb32s* stats) {
    Dht d;
    zebiEncodeHuffmanRawTableInit_JPEG_8u(stats, d.bits, d.vals);
    return d;
}

// Small deterministic generator for seeds and fuzz-derived fills.
struct Lcg {
    std::uint32_t s;
    std::uint32_t next() { s = s * 1664525u + 1013904223u; return s >> 8; }
    int in(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<std::uint32_t>(hi - lo + 1)); }
};

// Seed sink: writes numbered files into one directory.
class Seeds {
public:
    explicit Seeds(std::string dir) : dir_(std::move(dir)) {}
    void add(const std::vector<std::uint8_t>& bytes) {
        char name[32];
        std::snprintf(name, sizeof name, "/seed-%04d", count_++);
        const std::string path = dir_ + name;
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    int count() const { return count_; }

private:
    std::string dir_;
    int count_ = 0;
};

// Defined by each target: writes its seed inputs.
void writeSeeds(Seeds& seeds);

}  // namespace zebfuzz
