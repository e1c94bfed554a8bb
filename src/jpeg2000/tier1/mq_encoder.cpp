// MQ segment termination: flush, shortest and predictable.
#include "jpeg2000/tier1/mq_encoder.h"

namespace zeb::t1 {
namespace {

// Flush (T.800 C.2.9): set as many low bits of C as the interval allows and
// push out every byte that holds them.
void terminateFlush(MqEncoder& e) {
    const std::uint32_t top = e.C + e.A;
    e.C |= 0xFFFF;
    if (e.C >= top) e.C -= 0x8000;
    e.C <<= e.CT;
    mqByteOut(e);
    e.C |= 0x7FFF;
    e.C <<= e.CT;
    mqByteOut(e);
    e.C |= 0x7FFF;
    if (e.B != 0xFF) {
        e.C <<= e.CT;
        mqByteOut(e);
    }
}

// Predictable termination: exactly the bits the decoder's termination test
// expects, then the held byte unless it is 0xFF.
void terminatePredictable(MqEncoder& e) {
    int k = 12 - static_cast<int>(e.CT);
    while (k > 0) {
        e.C <<= e.CT;
        mqByteOut(e);
        k -= static_cast<int>(e.CT);
    }
    if (e.B != 0xFF) {
        e.C <<= e.CT;
        mqByteOut(e);
    }
}

// The complete byte sequence, B first, that a code register value leaves
// when all of its bits are pushed out.  Carries are resolved on the way.
struct ByteRun {
    std::uint8_t bytes[8];
    int count;
};

ByteRun bytesOfValue(const MqEncoder& e, std::uint32_t c) {
    MqEncoder sim = e;
    sim.C = c;
    sim.dropFirst = 0;
    sim.stagedNext = sim.stagedEnd = 0;
    for (int i = 0; i < 5; ++i) {
        sim.C <<= sim.CT;
        mqByteOut(sim);
    }
    ByteRun run{};
    for (std::uint32_t i = 0; i < sim.stagedEnd; ++i) run.bytes[run.count++] = static_cast<std::uint8_t>(sim.staged[i]);
    run.bytes[run.count++] = static_cast<std::uint8_t>(sim.B);
    return run;
}

// Value of the first n bytes of a run followed by one bits for ever, on a
// scale where the whole slot of byte 0 is 2^63 (a run holds at most 49
// bits; a carry into the byte after a 0xFF can take a value just past 2^63,
// still far from 2^64).  Byte 0 is 7 bits wide when it follows a released 0xFF, and so is
// every byte after a 0xFF in the run.  Returns the value of the bytes and,
// separately, of the one-bit tail.
struct Fixed {
    std::uint64_t head;
    std::uint64_t tail;
};

Fixed valueOf(const ByteRun& run, int n, bool narrowFirst) {
    Fixed f{0, 0};
    int end = 0;  // bits from the top of byte 0's slot to the end of byte i
    for (int i = 0; i < n; ++i) {
        end += i == 0 ? (narrowFirst ? 7 : 8) : (run.bytes[i - 1] == 0xFF ? 7 : 8);
        f.head += static_cast<std::uint64_t>(run.bytes[i]) << (63 - end);
    }
    f.tail = std::uint64_t{1} << (63 - end);
    return f;
}

// Shortest termination: the shortest prefix of the lower bound's bytes,
// beginning with B, that followed by the 0xFF bytes a decoder reads beyond
// the end lies inside [C, C + A).  The prefix may be empty (B itself not
// needed).
void terminateShortest(MqEncoder& e) {
    const bool narrow = e.narrowB != 0;
    const ByteRun lo = bytesOfValue(e, e.C);
    const ByteRun hi = bytesOfValue(e, e.C + e.A);
    const std::uint64_t loValue = valueOf(lo, lo.count, narrow).head;
    const std::uint64_t hiValue = valueOf(hi, hi.count, narrow).head;
    int n = 0;
    for (; n < lo.count; ++n) {
        const Fixed v = valueOf(lo, n, narrow);
        // The decoder reads finitely many of the one bits: it sees a value
        // just below head + tail, which must be above lo (a carry through a
        // 0xFF byte can put lo above a short prefix's ones) and at most hi.
        if (v.head + v.tail > loValue && v.head + v.tail <= hiValue) break;
    }
    for (int i = 0; i < n; ++i) mqRelease(e, lo.bytes[i]);
}

}  // namespace

void mqEncoderTerminate(MqEncoder& e, int mode) {
    if (mode == kTermShortest)
        terminateShortest(e);
    else if (mode == kTermPredictable)
        terminatePredictable(e);
    else
        terminateFlush(e);
}

}  // namespace zeb::t1
