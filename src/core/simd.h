// Vector helpers shared by the kernels (SSE2/SSE3 only in the baseline build).
#pragma once

#include <emmintrin.h>
#include <pmmintrin.h>

#include <cstddef>
#include <cstdint>

namespace zeb {

// Which implementation of a kernel runs: the scalar definition or the vector
// path (the bulk of a row with SSE2/SSE3 and the scalar definition for the
// rest).  Exported functions use Path::Vector; tests and benchmarks force
// Path::Scalar to compare the two.
enum class Path { Scalar, Vector };

template <class T>
inline T* byteOffset(T* p, std::ptrdiff_t bytes) {
    return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(p) + bytes);
}

template <class T>
inline T* rowAt(T* base, int step, int y) {
    return byteOffset(base, static_cast<std::ptrdiff_t>(step) * y);
}

inline __m128i loadu(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void storeu(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// A short copy (a row of a column group, tens of bytes, its length not known
// at compile time): 16 bytes at a time, the rest by memcpy.  A library or
// string-instruction copy costs more to start than such a row takes.
inline void copyShort(void* dst, const void* src, std::size_t bytes) {
    auto* d = static_cast<std::uint8_t*>(dst);
    const auto* s = static_cast<const std::uint8_t*>(src);
    std::size_t i = 0;
    for (; i + 16 <= bytes; i += 16) storeu(d + i, loadu(s + i));
    if (i < bytes) __builtin_memcpy(d + i, s + i, bytes - i);
}

}  // namespace zeb
