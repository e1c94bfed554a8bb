// Aligned allocation and its hooks, the vector helpers, and the version record.
#include <cstdint>
#include <cstring>

#include "common/harness.h"
#include "core/vector_kernels.h"

namespace {

using zebtest::GuardedBuffer;
using zebtest::Path;

// ---- allocator hooks --------------------------------------------------------------
std::size_t g_lastRequest;
void* g_lastRaw;
void* g_lastFreed;
int g_mallocCalls;
void* recordingMalloc(std::size_t n) {
    ++g_mallocCalls;
    g_lastRequest = n;
    return g_lastRaw = std::malloc(n);
}
void recordingFree(void* p) {
    g_lastFreed = p;
    std::free(p);
}
void* failingMalloc(std::size_t) { return nullptr; }

struct HookGuard {
    HookGuard() : m(tov_malloc), f(tov_free) {}
    ~HookGuard() {
        tov_malloc = m;
        tov_free = f;
    }
    void* (*m)(std::size_t);
    void (*f)(void*);
};

TEST(Malloc, AlignedBlockKeepsRawPointerInPrecedingWord) {
    HookGuard guard;
    tov_malloc = recordingMalloc;
    tov_free = recordingFree;
    for (int len : {1, 2, 31, 32, 33, 1000, 65536}) {
        g_mallocCalls = 0;
        Zeb8u* p = zebsMalloc_8u(len);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(g_mallocCalls, 1);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 32, 0u);
        // 32 bytes of alignment slack plus one pointer-sized word: len + 36
        // on i686, len + 40 on x86_64.
        EXPECT_EQ(g_lastRequest, static_cast<std::size_t>(len) + 32 + sizeof(void*));
        void* stored;
        std::memcpy(&stored, p - sizeof(void*), sizeof(void*));
        EXPECT_EQ(stored, g_lastRaw);
        const auto raw = reinterpret_cast<std::uintptr_t>(g_lastRaw), a = reinterpret_cast<std::uintptr_t>(p);
        EXPECT_GE(a, raw + sizeof(void*));
        EXPECT_LE(a + len, raw + g_lastRequest);
        std::memset(p, 0x5A, len);  // the whole block is usable
        zebsFree(p);
        EXPECT_EQ(g_lastFreed, g_lastRaw);
    }
}

TEST(Malloc, NonPositiveLengthAndHookFailureGiveNull) {
    HookGuard guard;
    tov_malloc = recordingMalloc;
    g_mallocCalls = 0;
    EXPECT_EQ(zebsMalloc_8u(0), nullptr);
    EXPECT_EQ(zebsMalloc_8u(-1), nullptr);
    EXPECT_EQ(g_mallocCalls, 0);
    tov_malloc = failingMalloc;
    EXPECT_EQ(zebsMalloc_8u(16), nullptr);
    zebsFree(nullptr);  // ignored
}

// ---- version ----------------------------------------------------------------------
TEST(Version, ConstantRecord) {
    const ZebVersionRecord* v = zebjGetLibVersion();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v, zebjGetLibVersion());
    EXPECT_EQ(v->versionMajor, 5);
    EXPECT_EQ(v->versionMinor, 2);
    EXPECT_EQ(v->buildMajor, 108);
    EXPECT_EQ(v->buildNumber, 390);
    EXPECT_EQ(0, std::memcmp(v->targetCode, "q5\0\0", 4));
    EXPECT_STREQ(v->libraryName, "libzebjq5.so.5.2");
    EXPECT_STREQ(v->versionText, "5.2");
    EXPECT_STREQ(v->buildDate, "Jul 11 2007");
}

// ---- copy, set, zero ----------------------------------------------------------------
TEST(VectorHelpers, CheckOrderNullBeforeSizeAndNothingWritten) {
    GuardedBuffer<Zeb8u> d(16);
    d.fill(0x11);
    d.snapshot();
    Zeb8u src[16] = {};
    EXPECT_EQ(zebsCopy_8u(nullptr, d.data(), 0), zebErrNullPtr);
    EXPECT_EQ(zebsCopy_8u(src, nullptr, 5), zebErrNullPtr);
    EXPECT_EQ(zebsCopy_8u(src, d.data(), 0), zebErrSize);
    EXPECT_EQ(zebsSet_8u(7, nullptr, -1), zebErrNullPtr);
    EXPECT_EQ(zebsSet_8u(7, d.data(), -1), zebErrSize);
    EXPECT_EQ(zebsZero_8u(nullptr, 0), zebErrNullPtr);
    EXPECT_EQ(zebsZero_8u(d.data(), 0), zebErrSize);
    EXPECT_EQ(zebsZero_16s(nullptr, 0), zebErrNullPtr);
    EXPECT_EQ(zebsZero_16s(reinterpret_cast<Zeb16s*>(d.data()), 0), zebErrSize);
    EXPECT_TRUE(d.unchanged());
}

TEST(VectorHelpers, CopySetZeroTouchExactlyTheirBytes) {
    zebtest::Rng rng(7);
    for (int len : zebtest::kernelLengths(64, 70000)) {
        for (int mis : {0, 1, 5, 15}) {
            GuardedBuffer<Zeb8u> s(len, (mis * 7) % 16), d(len, mis);
            zebtest::fillRandom(s.data(), len, rng);
            ASSERT_EQ(zebsCopy_8u(s.data(), d.data(), len), zebOk);
            ASSERT_EQ(0, std::memcmp(s.data(), d.data(), len));
            ASSERT_EQ(zebsSet_8u(0xC3, d.data(), len), zebOk);
            for (int i = 0; i < len; ++i) ASSERT_EQ(d[i], 0xC3);
            ASSERT_EQ(zebsZero_8u(d.data(), len), zebOk);
            for (int i = 0; i < len; ++i) ASSERT_EQ(d[i], 0);
            ASSERT_TRUE(d.intact());
        }
    }
    GuardedBuffer<Zeb16s> w(3);
    w.fill(0xEE);
    ASSERT_EQ(zebsZero_16s(w.data(), 3), zebOk);  // clears exactly 6 bytes
    EXPECT_TRUE(w[0] == 0 && w[1] == 0 && w[2] == 0 && w.intact());
}

TEST(VectorHelpers, LargeCopyBypassingTheCache) {
    const int len = 48 << 20;  // larger than any last-level cache here
    std::vector<Zeb8u> s(len), d(len + 1, 0);
    for (int i = 0; i < len; ++i) s[i] = static_cast<Zeb8u>(i * 131 + (i >> 11));
    ASSERT_EQ(zebsCopy_8u(s.data(), d.data() + 1, len), zebOk);
    EXPECT_EQ(0, std::memcmp(s.data(), d.data() + 1, len));
    EXPECT_EQ(d[0], 0);
}

TEST(VectorKernels, CopyAndSetPathsAgree) {
    zebtest::expectPathsAgree<Zeb8u, Zeb8u>(64, [](Path p, const Zeb8u* in, Zeb8u* out, int n) {
        if (p == Path::Scalar) zeb::kern::copyBytes<Path::Scalar>(in, out, n);
        else zeb::kern::copyBytes<Path::Vector>(in, out, n, n % 2 == 0);
    });
    zebtest::expectPathsAgree<Zeb8u, Zeb8u>(64, [](Path p, const Zeb8u* in, Zeb8u* out, int n) {
        if (p == Path::Scalar) zeb::kern::setBytes<Path::Scalar>(in[0], out, n);
        else zeb::kern::setBytes<Path::Vector>(in[0], out, n);
    });
}

// ---- reverse division -----------------------------------------------------------------
TEST(DivCRev, QuantisationReciprocalsAndZeroDivisors) {
    const Zeb16u src[] = {1, 3, 255};
    Zeb16u dst[3];
    ASSERT_EQ(zebsDivCRev_16u(src, 32768, dst, 3), zebOk);
    EXPECT_EQ(dst[0], 32768);
    EXPECT_EQ(dst[1], 10923);
    EXPECT_EQ(dst[2], 129);

    const Zeb16u withZero[] = {2, 0, 7, 0, 9, 10, 11, 12, 13, 0};
    Zeb16u out[10];
    ASSERT_EQ(zebsDivCRev_16u(withZero, 100, out, 10), zebWrnDivByZero);
    EXPECT_EQ(out[0], 50);
    EXPECT_EQ(out[1], 65535);
    EXPECT_EQ(out[2], 14);
    EXPECT_EQ(out[3], 65535);
    EXPECT_EQ(out[9], 65535);

    // val = 0: zeros everywhere, the warning only with a zero divisor.
    Zeb16u z[10];
    std::memset(z, 0xFF, sizeof z);
    EXPECT_EQ(zebsDivCRev_16u(withZero, 0, z, 10), zebWrnDivByZero);
    for (Zeb16u v : z) EXPECT_EQ(v, 0);
    std::memset(z, 0xFF, sizeof z);
    EXPECT_EQ(zebsDivCRev_16u(src, 0, z, 3), zebOk);
    EXPECT_TRUE(z[0] == 0 && z[1] == 0 && z[2] == 0 && z[3] == 0xFFFF);

    // In place, the form the quantisation tables use.
    Zeb16u q[] = {16, 11, 10, 0};
    EXPECT_EQ(zebsDivCRev_16u_I(32768, q, 4), zebWrnDivByZero);
    EXPECT_TRUE(q[0] == 2048 && q[1] == 2979 && q[2] == 3277 && q[3] == 65535);
}

TEST(DivCRev, ChecksAndNothingWrittenOnFailure) {
    Zeb16u s[4] = {1, 2, 3, 4};
    GuardedBuffer<Zeb16u> d(4);
    d.fill(0x77);
    d.snapshot();
    EXPECT_EQ(zebsDivCRev_16u(nullptr, 5, d.data(), 0), zebErrNullPtr);
    EXPECT_EQ(zebsDivCRev_16u(s, 5, nullptr, 4), zebErrNullPtr);
    EXPECT_EQ(zebsDivCRev_16u(s, 5, d.data(), 0), zebErrSize);
    EXPECT_EQ(zebsDivCRev_16u_I(5, nullptr, 0), zebErrNullPtr);
    EXPECT_EQ(zebsDivCRev_16u_I(5, d.data(), -3), zebErrSize);
    EXPECT_TRUE(d.unchanged());
}

TEST(DivCRev, VectorPathEqualsSingleDivisionDefinition) {
    // Every divisor (and zero) against several numerators through both paths.
    std::vector<Zeb16u> all(65536);
    for (int i = 0; i < 65536; ++i) all[i] = static_cast<Zeb16u>(i);
    for (Zeb16u val : {Zeb16u(1), Zeb16u(255), Zeb16u(32768), Zeb16u(65535), Zeb16u(40000)}) {
        std::vector<Zeb16u> a(65536), b(65536);
        EXPECT_TRUE(zeb::kern::divCRev<Path::Scalar>(all.data(), val, a.data(), all.size()));
        EXPECT_TRUE(zeb::kern::divCRev<Path::Vector>(all.data(), val, b.data(), all.size()));
        ASSERT_EQ(a, b) << "val " << val;
    }
    zebtest::expectPathsAgree<Zeb16u, Zeb16u>(8, [](Path p, const Zeb16u* in, Zeb16u* out, int n) {
        if (p == Path::Scalar) zeb::kern::divCRev<Path::Scalar>(in, 32768, out, n);
        else zeb::kern::divCRev<Path::Vector>(in, 32768, out, n);
    });
}

}  // namespace
