// Shared test harness: seeded random data with extremes, guarded buffers that
// prove nothing is written outside (or, after a failed check, inside) a
// region, page-guarded buffers for decoders, and the scalar-versus-vector
// kernel comparison run over every length and misalignment.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "core/simd.h"
#include "zeb.h"

namespace zebtest {

using zeb::Path;

// Random-iteration counts shrink under qemu (i686) and the sanitizers,
// which run about ten times slower.
#if defined(__i386__) || defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSlowRun = true;
#else
inline constexpr bool kSlowRun = false;
#endif

// Sets the library's thread count for a scope.
struct ThreadCount {
    explicit ThreadCount(int n) : saved(zebcoreGetNumThreads()) { zebcoreSetNumThreads(n); }
    ~ThreadCount() { zebcoreSetNumThreads(saved); }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;
    int saved;
};

// ---- random data -----------------------------------------------------------------
class Rng {
public:
    explicit Rng(std::uint64_t seed = 0x5eed) : gen_(seed) {}
    std::uint32_t next() { return static_cast<std::uint32_t>(gen_()); }
    // Uniform integer in [lo, hi].
    long long range(long long lo, long long hi) {
        return lo + static_cast<long long>(gen_() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    double uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(gen_); }
    bool chance(double p) { return uniform() < p; }
    std::mt19937_64& engine() { return gen_; }

private:
    std::mt19937_64 gen_;
};

// A random value of T over its whole range, with the extremes (min, max, 0,
// +-1, and for floats large magnitudes) chosen often.
template <class T>
T randomValue(Rng& rng, double extremeRate = 0.1) {
    if constexpr (std::is_floating_point_v<T>) {
        if (rng.chance(extremeRate)) {
            const T ext[] = {T(0), T(-0.0), T(1), T(-1), T(65535), T(-65536), T(1e6), T(-1e6)};
            return ext[rng.range(0, 7)];
        }
        return static_cast<T>((rng.uniform() * 2 - 1) * 4096.0);
    } else {
        using L = std::numeric_limits<T>;
        if (rng.chance(extremeRate)) {
            const long long ext[] = {(long long)L::min(), (long long)L::max(), 0, 1, (long long)L::max() - 1,
                                     L::is_signed ? -1 : 2, L::is_signed ? (long long)L::min() + 1 : 3};
            return static_cast<T>(ext[rng.range(0, 6)]);
        }
        return static_cast<T>(rng.range((long long)L::min(), (long long)L::max()));
    }
}

// A random value in [lo, hi], with lo and hi chosen often.
template <class T>
T randomIn(Rng& rng, long long lo, long long hi, double extremeRate = 0.1) {
    if (rng.chance(extremeRate)) return static_cast<T>(rng.chance(0.5) ? lo : hi);
    return static_cast<T>(rng.range(lo, hi));
}

template <class T>
void fillRandom(T* p, std::size_t n, Rng& rng, double extremeRate = 0.1) {
    for (std::size_t i = 0; i < n; ++i) p[i] = randomValue<T>(rng, extremeRate);
}

template <class T>
void fillRandomIn(T* p, std::size_t n, Rng& rng, long long lo, long long hi, double extremeRate = 0.1) {
    for (std::size_t i = 0; i < n; ++i) p[i] = randomIn<T>(rng, lo, hi, extremeRate);
}

// ---- guarded buffers ----------------------------------------------------------------
// `count` elements of T starting `misalign` bytes past a 32-byte boundary,
// surrounded by canary bytes.  intact() tells whether the canaries survived;
// snapshot()/unchanged() tell whether the payload was written at all.
template <class T>
class GuardedBuffer {
public:
    static constexpr std::size_t kGuard = 64;
    static constexpr std::uint8_t kCanary = 0xA5;

    explicit GuardedBuffer(std::size_t count, std::size_t misalign = 0)
        : count_(count), misalign_(misalign), raw_(kGuard * 2 + 32 + misalign + count * sizeof(T) + kGuard) {
        std::memset(raw_.data(), kCanary, raw_.size());
        std::uintptr_t base = reinterpret_cast<std::uintptr_t>(raw_.data()) + kGuard;
        base = (base + 31) & ~std::uintptr_t{31};
        data_ = reinterpret_cast<T*>(base + misalign);
    }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    std::size_t size() const { return count_; }
    std::size_t bytes() const { return count_ * sizeof(T); }
    std::uint8_t* byteData() { return reinterpret_cast<std::uint8_t*>(data_); }

    // True when no byte outside the payload was written.
    bool intact() const {
        const std::uint8_t* b = reinterpret_cast<const std::uint8_t*>(data_);
        for (const std::uint8_t* p = raw_.data(); p < b; ++p)
            if (*p != kCanary) return false;
        for (const std::uint8_t* p = b + bytes(); p < raw_.data() + raw_.size(); ++p)
            if (*p != kCanary) return false;
        return true;
    }
    void fill(std::uint8_t byte) { std::memset(data_, byte, bytes()); }
    void snapshot() { saved_.assign(reinterpret_cast<std::uint8_t*>(data_), reinterpret_cast<std::uint8_t*>(data_) + bytes()); }
    bool unchanged() const {
        return intact() && saved_.size() == bytes() && std::memcmp(saved_.data(), data_, bytes()) == 0;
    }

private:
    std::size_t count_, misalign_;
    std::vector<std::uint8_t> raw_;
    std::vector<std::uint8_t> saved_;
    T* data_;
};

// ---- page-guarded buffer --------------------------------------------------------------
// `bytes` bytes that end exactly at an inaccessible page, so that any read or
// write past the end faults even without a sanitizer.  With atStart, the
// inaccessible page lies right before the first byte instead.
class PageGuardedBuffer {
public:
    explicit PageGuardedBuffer(std::size_t bytes, bool atStart = false);
    ~PageGuardedBuffer();
    PageGuardedBuffer(const PageGuardedBuffer&) = delete;
    PageGuardedBuffer& operator=(const PageGuardedBuffer&) = delete;
    std::uint8_t* data() { return data_; }
    std::size_t size() const { return bytes_; }

private:
    std::uint8_t* map_ = nullptr;
    std::size_t mapBytes_ = 0;
    std::uint8_t* data_ = nullptr;
    std::size_t bytes_ = 0;
};

// ---- scalar versus vector ----------------------------------------------------------------
// Lengths every kernel test walks: 1 to three vector widths of `width`
// elements plus a few, then some longer ones.
std::vector<int> kernelLengths(int width, int extraLong = 0);

// Byte offsets used to misalign pointers (0 = 32-byte aligned).
inline constexpr int kMisalignments[] = {0, 1, 2, 4, 6, 8, 12};

// Runs a one-input, one-output row kernel through both paths for every
// length and a set of misalignments (multiples of the element size for the
// element type), with random inputs rich in extremes, and requires identical
// outputs and untouched surroundings.  run(path, in, out, len) runs the kernel.
template <class TIn, class TOut, class Run>
void expectPathsAgree(int width, Run run, std::uint64_t seed = 1, int extraLong = 0, double extremeRate = 0.15) {
    Rng rng(seed);
    for (int len : kernelLengths(width, extraLong)) {
        for (int mis : kMisalignments) {
            const std::size_t inMis = (mis / sizeof(TIn)) * sizeof(TIn);
            const std::size_t outMis = ((mis * 3 + 2) % 16 / sizeof(TOut)) * sizeof(TOut);
            GuardedBuffer<TIn> in(len, inMis);
            fillRandom(in.data(), len, rng, extremeRate);
            GuardedBuffer<TOut> a(len, outMis), b(len, outMis);
            run(Path::Scalar, in.data(), a.data(), len);
            run(Path::Vector, in.data(), b.data(), len);
            ASSERT_TRUE(a.intact() && b.intact()) << "len " << len << " misalign " << mis;
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.bytes())) << "len " << len << " misalign " << mis;
        }
    }
}

}  // namespace zebtest
