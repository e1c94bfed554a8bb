// Aligned allocation behind the replaceable allocator hooks, and the
// one-dimensional copy, fill, clear and reverse-division helpers.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "check.h"
#include "vector_kernels.h"

extern "C" {
ZEB_API void* (*tov_malloc)(size_t) = std::malloc;
ZEB_API void* (*tov_calloc)(size_t, size_t) = std::calloc;
ZEB_API void* (*tov_realloc)(void*, size_t) = std::realloc;
ZEB_API void (*tov_free)(void*) = std::free;
ZEB_API int tov_version = 1;
ZEB_API int tov_min_version = 0;
}

namespace {

// The raw pointer lives in the pointer-sized word just before the aligned
// block: on i686 that is the 32-bit word, and the hook is asked for len + 36
// bytes; on x86_64 the word is 8 bytes and the request len + 40.
constexpr std::uintptr_t kAlign = 32;
constexpr std::uintptr_t kWord = sizeof(void*);

// From half a megabyte on, copies larger than the last-level cache bypass it.
constexpr std::size_t kLargeCopy = 524288;

std::size_t lastLevelCacheBytes() {
    long c = sysconf(_SC_LEVEL3_CACHE_SIZE);
    if (c <= 0) c = sysconf(_SC_LEVEL2_CACHE_SIZE);
    return c > 0 ? static_cast<std::size_t>(c) : std::size_t{1} << 20;
}

}  // namespace

extern "C" {

ZEB_API Zeb8u* zebsMalloc_8u(int len) {
    if (len < 1) return nullptr;
    void* raw = tov_malloc(static_cast<std::size_t>(len) + kAlign + kWord);
    if (raw == nullptr) return nullptr;
    const std::uintptr_t p = (reinterpret_cast<std::uintptr_t>(raw) + kAlign + kWord - 1) & ~(kAlign - 1);
    reinterpret_cast<void**>(p)[-1] = raw;
    return reinterpret_cast<Zeb8u*>(p);
}

ZEB_API void zebsFree(void* ptr) {
    if (ptr == nullptr) return;
    tov_free(static_cast<void**>(ptr)[-1]);
}

ZEB_API ZebResult zebsCopy_8u(const Zeb8u* pSrc, Zeb8u* pDst, int len) {
    ZEB_CHECK(ptr(pSrc, pDst), length(len));
    const auto n = static_cast<std::size_t>(len);
    zeb::kern::copyBytes<zeb::Path::Vector>(pSrc, pDst, n, n >= kLargeCopy && n > lastLevelCacheBytes());
    return zebOk;
}

ZEB_API ZebResult zebsSet_8u(Zeb8u val, Zeb8u* pDst, int len) {
    ZEB_CHECK(ptr(pDst), length(len));
    zeb::kern::setBytes<zeb::Path::Vector>(val, pDst, static_cast<std::size_t>(len));
    return zebOk;
}

ZEB_API ZebResult zebsZero_8u(Zeb8u* pDst, int len) {
    ZEB_CHECK(ptr(pDst), length(len));
    zeb::kern::setBytes<zeb::Path::Vector>(0, pDst, static_cast<std::size_t>(len));
    return zebOk;
}

ZEB_API ZebResult zebsZero_16s(Zeb16s* pDst, int len) {
    ZEB_CHECK(ptr(pDst), length(len));
    zeb::kern::setBytes<zeb::Path::Vector>(0, reinterpret_cast<Zeb8u*>(pDst), 2 * static_cast<std::size_t>(len));
    return zebOk;
}

ZEB_API ZebResult zebsDivCRev_16u(const Zeb16u* pSrc, Zeb16u val, Zeb16u* pDst, int len) {
    ZEB_CHECK(ptr(pSrc, pDst), length(len));
    const auto n = static_cast<std::size_t>(len);
    bool zeroDivisor = false;
    if (val == 0) {
        for (std::size_t i = 0; i < n; ++i) zeroDivisor |= pSrc[i] == 0;
        zeb::kern::setBytes<zeb::Path::Vector>(0, reinterpret_cast<Zeb8u*>(pDst), 2 * n);
    } else {
        zeroDivisor = zeb::kern::divCRev<zeb::Path::Vector>(pSrc, val, pDst, n);
    }
    return zeroDivisor ? zebWrnDivByZero : zebOk;
}

ZEB_API ZebResult zebsDivCRev_16u_I(Zeb16u val, Zeb16u* pSrcDst, int len) {
    ZEB_CHECK(ptr(pSrcDst), length(len));
    return zebsDivCRev_16u(pSrcDst, val, pSrcDst, len);
}

}  // extern "C"
