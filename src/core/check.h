// Argument checks shared by every exported function.
//
// A function lists its checks in its documented order and hands them to
// ZEB_CHECK; the first failing check decides the status and the function
// returns before touching memory.  Each check is self-contained (a plane
// array check looks at the array before its elements), so evaluating all of
// them up front is safe.
//
// Two orders occur in the library and both are written with the same
// primitives:
//   grouped      ZEB_CHECK(ptr(src), ptr(dst), step(srcStep), step(dstStep), size(roi))
//   by argument  ZEB_CHECK(ptr(src), step(srcStep), size(roi), ptr(dst), step(dstStep))
#pragma once

#include "zeb.h"

namespace zeb::check {

struct Check {
    bool bad;
    ZebResult code;
};

// Any pointer that must not be null.
template <class... P>
constexpr Check ptr(const P*... ps) {
    return {((ps == nullptr) || ...), zebErrNullPtr};
}

// An array of n plane pointers: the array first, then each element in order.
template <class T>
constexpr Check planes(T* const* arr, int n) {
    if (arr == nullptr) return {true, zebErrNullPtr};
    for (int i = 0; i < n; ++i)
        if (arr[i] == nullptr) return {true, zebErrNullPtr};
    return {false, zebErrNullPtr};
}

// Row steps are only checked for being at least 1.
template <class... S>
constexpr Check step(S... steps) {
    return {((steps < 1) || ...), zebErrStep};
}

// A region: width, then height, both at least 1.
constexpr Check size(ZebSize roi) { return {roi.width < 1 || roi.height < 1, zebErrSize}; }

// A length or count that must be at least 1.
template <class... N>
constexpr Check length(N... ns) {
    return {((ns < 1) || ...), zebErrSize};
}

// Any other condition with its own status.
constexpr Check when(bool bad, ZebResult code) { return {bad, code}; }

template <class... C>
constexpr ZebResult firstFailure(C... checks) {
    ZebResult r = zebOk;
    (void)((checks.bad ? (r = checks.code, true) : false) || ...);
    return r;
}

}  // namespace zeb::check

#define ZEB_CHECK(...)                                                          \
    do {                                                                        \
        using namespace ::zeb::check;                                           \
        if (const ZebResult zebCheckResult_ = ::zeb::check::firstFailure(__VA_ARGS__); \
            zebCheckResult_ != zebOk)                                           \
            return zebCheckResult_;                                             \
    } while (0)
