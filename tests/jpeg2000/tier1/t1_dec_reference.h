// Test-side reference encoder for the code-block decoder tests.
//
// Written from ISO/IEC 15444-1 Annex C (MQ encoder) and Annex D (coding
// passes) in the most direct form: significance, visited and refined flags in
// plain arrays, contexts counted from the neighbours each time.  It shares
// nothing with the library's packed state words or context tables, so a
// round trip through it checks the decoder's context modelling
// independently.  It also records, per coefficient, the plane of its last
// coded bit, which gives the expected mid-point reconstruction of every
// pass prefix.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace t1ref {

// Initial state and Table C.2 written out again, independently of the library.
struct QeRow {
    unsigned qe, nmps, nlps, sw;
};
inline const QeRow kQe[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},  {0x0521, 5, 29, 0},
    {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},  {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0},
    {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0}, {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1},
    {0x5401, 16, 14, 0}, {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0}, {0x1C01, 25, 22, 0},
    {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0}, {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0},
    {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0}, {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0},
    {0x02A1, 36, 33, 0}, {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0}, {0x0005, 45, 42, 0},
    {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0}};

// ITU-T T.88 Annex H.2: 256 decisions (bits of these bytes, MSB first) coded
// in one context that starts at state 0, MPS 0, and the published codeword.
inline const std::uint8_t kH2Decisions[32] = {0x00, 0x02, 0x00, 0x51, 0x00, 0x00, 0x00, 0xC0, 0x03, 0x52, 0x87,
                                              0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x82, 0xC0, 0x20, 0x00, 0xFC, 0xD7,
                                              0x9E, 0xF6, 0xBF, 0x7F, 0xED, 0x90, 0x4F, 0x46, 0xA3, 0xBF};
inline const std::uint8_t kH2Codeword[28] = {0x84, 0xC7, 0x3B, 0xFC, 0xE1, 0xA1, 0x43, 0x04, 0x02, 0x20,
                                             0x00, 0x00, 0x41, 0x0D, 0xBB, 0x86, 0xF4, 0x31, 0x7F, 0xFF,
                                             0x88, 0xFF, 0x37, 0x47, 0x1A, 0xDB, 0x6A, 0xDF};
inline unsigned h2Bit(int i) { return (kH2Decisions[i / 8] >> (7 - i % 8)) & 1u; }

// The T.800 C.2 encoder with a byte vector as output.
class MqEncoder {
public:
    MqEncoder() { resetContexts(); start(); }
    void resetContexts() {
        for (int i = 0; i < 19; ++i) st_[i] = mps_[i] = 0;
        st_[0] = 46;
        st_[1] = 3;
        st_[2] = 4;
    }
    void setContext(int cx, unsigned state, unsigned mps) { st_[cx] = state, mps_[cx] = mps; }
    void start() { A_ = 0x8000, C_ = 0, CT_ = 12, B_ = 0, first_ = true; }

    void encode(unsigned d, int cx) {
        const unsigned qe = kQe[st_[cx]].qe;
        A_ -= qe;
        if (d == mps_[cx]) {
            if (A_ & 0x8000) {
                C_ += qe;
                return;
            }
            if (A_ < qe) A_ = qe; else C_ += qe;
            st_[cx] = kQe[st_[cx]].nmps;
        } else {
            if (A_ < qe) C_ += qe; else A_ = qe;
            if (kQe[st_[cx]].sw) mps_[cx] ^= 1;
            st_[cx] = kQe[st_[cx]].nlps;
        }
        do {
            A_ <<= 1, C_ <<= 1;
            if (--CT_ == 0) byteOut();
        } while (!(A_ & 0x8000));
    }
    // T.800 FLUSH: the shortest tail is not needed by a decoder that reads
    // 0xFF past the end; a final 0xFF is not written.
    void flush() {
        const unsigned t = C_ + A_;
        C_ |= 0xFFFF;
        if (C_ >= t) C_ -= 0x8000;
        C_ <<= CT_;
        byteOut();
        C_ <<= CT_;
        byteOut();
        if (B_ != 0xFF) release(B_);
        start();
    }
    // Predictable termination: only the bits needed to fix the interval.
    void flushPredictable() {
        int k = 12 - static_cast<int>(CT_);
        while (k > 0) {
            C_ <<= CT_;
            byteOut();
            k -= static_cast<int>(CT_);
        }
        if (B_ != 0xFF) {
            C_ <<= CT_;
            byteOut();
        }
        start();
    }
    std::vector<std::uint8_t>& out() { return out_; }

private:
    void release(unsigned b) {
        if (first_) first_ = false;
        else out_.push_back(static_cast<std::uint8_t>(b));
    }
    void byteOut() {
        if (B_ == 0xFF) {
            release(B_);
            B_ = C_ >> 20, C_ &= 0xFFFFF, CT_ = 7;
        } else if (C_ < 0x8000000) {
            release(B_);
            B_ = C_ >> 19, C_ &= 0x7FFFF, CT_ = 8;
        } else {
            ++B_;
            if (B_ == 0xFF) {
                C_ &= 0x7FFFFFF;
                release(B_);
                B_ = C_ >> 20, C_ &= 0xFFFFF, CT_ = 7;
            } else {
                release(B_);
                B_ = C_ >> 19, C_ &= 0x7FFFF, CT_ = 8;
            }
        }
    }
    unsigned A_, C_, CT_, B_;
    bool first_;
    unsigned st_[19], mps_[19];
    std::vector<std::uint8_t> out_;
};

// Raw (bypass) bits with the stuffed 0 after 0xFF and 0,1,0,... padding.
class RawEncoder {
public:
    void put(unsigned bit) {
        acc_ |= (bit & 1) << pos_;
        if (--pos_ < 0) {
            out_.push_back(static_cast<std::uint8_t>(acc_));
            pos_ = acc_ == 0xFF ? 6 : 7;
            acc_ = 0;
        }
    }
    // Returns the position of the first padding bit in the last byte, or -1
    // when the segment ends on a byte boundary.
    int finish() {
        const int empty = (!out_.empty() && out_.back() == 0xFF) ? 6 : 7;
        int padTop = -1;
        if (pos_ != empty) {
            acc_ |= 0x2Au >> (6 - pos_);
            out_.push_back(static_cast<std::uint8_t>(acc_));
            padTop = pos_;
        }
        pos_ = 7;
        acc_ = 0;
        return padTop;
    }
    std::vector<std::uint8_t>& out() { return out_; }

private:
    int pos_ = 7;
    unsigned acc_ = 0;
    std::vector<std::uint8_t> out_;
};

struct Symbol {
    std::uint8_t bit;
    std::int8_t ctx;  // -1 for a raw bit
};

enum { kCausal = 1, kBypass = 2, kTermAll = 4, kReset = 8, kSegMark = 16 };

struct Encoded {
    int sfBits = 0;
    int nPasses = 0;
    std::vector<std::uint8_t> data;
    std::vector<int> segLens;
    std::vector<int> passSegment;  // segment index of each pass
    std::vector<int> segRaw;       // 1 for a raw segment
    std::vector<int> segPadTop;    // raw segments: first padding bit of the last byte, or -1
    std::vector<int> passPlane;    // bit-plane of each pass
    std::vector<int> passKind;     // 0 propagation, 1 refinement, 2 cleanup
    // expected[k]: coefficients after decoding passes 0..k, mid-point reconstruction.
    std::vector<std::vector<std::uint32_t>> expected;
};

// Encodes width x height sign-magnitude words coding planes sfBits-1 .. lowPlane.
inline Encoded encode(const std::vector<std::uint32_t>& v, int width, int height, int band, int lowPlane, int flags,
                      bool predictable = false) {
    Encoded e;
    const int n = width * height;
    std::uint32_t maxMag = 0;
    for (std::uint32_t c : v) maxMag = std::max(maxMag, c & 0x7FFFFFFFu);
    while (e.sfBits < 31 && (maxMag >> e.sfBits)) ++e.sfBits;
    std::vector<int> sig(n, 0), visited(n, 0), refined(n, 0), lastPlane(n, -1);
    auto at = [&](int y, int x) { return y * width + x; };
    auto neg = [&](int i) { return (v[i] >> 31) & 1; };
    // Significance of neighbour (y+dy, x+dx) as seen from row y (causal rule).
    auto sn = [&](int y, int x, int dy, int dx) {
        const int yy = y + dy, xx = x + dx;
        if (yy < 0 || yy >= height || xx < 0 || xx >= width) return 0;
        if ((flags & kCausal) && dy == 1 && (y % 4) == 3) return 0;
        return sig[at(yy, xx)];
    };
    auto zeroCtx = [&](int y, int x) {
        int h = sn(y, x, 0, -1) + sn(y, x, 0, 1), vv = sn(y, x, -1, 0) + sn(y, x, 1, 0);
        const int d = sn(y, x, -1, -1) + sn(y, x, -1, 1) + sn(y, x, 1, -1) + sn(y, x, 1, 1);
        int label;
        if (band == 3) {
            const int hv = h + vv;
            label = d >= 3 ? 8 : d == 2 ? (hv ? 7 : 6) : d == 1 ? (hv >= 2 ? 5 : hv == 1 ? 4 : 3) : (hv >= 2 ? 2 : hv);
        } else {
            if (band == 2) std::swap(h, vv);
            label = h == 2 ? 8 : h == 1 ? (vv ? 7 : d ? 6 : 5) : vv == 2 ? 4 : vv == 1 ? 3 : (d >= 2 ? 2 : d);
        }
        return label + 2;
    };
    auto anyNeighbour = [&](int y, int x) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if ((dy || dx) && sn(y, x, dy, dx)) return true;
        return false;
    };
    auto contrib = [&](int y, int x, int dy, int dx) {
        if (!sn(y, x, dy, dx)) return 0;
        return neg(at(y + dy, x + dx)) ? -1 : 1;
    };
    // Table D.3: returns context and XOR bit.
    auto signCtx = [&](int y, int x, unsigned& xorBit) {
        const int H = std::clamp(contrib(y, x, 0, -1) + contrib(y, x, 0, 1), -1, 1);
        const int V = std::clamp(contrib(y, x, -1, 0) + contrib(y, x, 1, 0), -1, 1);
        static const int ctx[3][3] = {{15, 14, 13}, {12, 11, 12}, {13, 14, 15}};  // [1-H][1-V]
        xorBit = (H < 0 || (H == 0 && V < 0)) ? 1 : 0;
        return ctx[1 - H][1 - V];
    };

    struct Pass {
        bool raw;
        std::vector<Symbol> sym;
        int plane = 0, kind = 2;
    };
    std::vector<Pass> passes;
    std::vector<std::uint32_t> rec(n, 0);
    auto reconstruct = [&]() {
        for (int i = 0; i < n; ++i) {
            if (lastPlane[i] < 0) continue;
            const int lp = lastPlane[i];
            const std::uint32_t mag = v[i] & 0x7FFFFFFFu;
            rec[i] = (v[i] & 0x80000000u) | (mag & (~0u << lp)) | (lp > 0 ? 1u << (lp - 1) : 0u);
        }
        e.expected.push_back(rec);
    };

    const int top = e.sfBits - 1;
    for (int p = top; p >= lowPlane && p >= 0; --p) {
        const bool rawPlane = (flags & kBypass) && p < e.sfBits - 4;
        auto bitOf = [&](int i) { return static_cast<std::uint8_t>((v[i] >> p) & 1); };
        auto becomeSig = [&](Pass& ps, int y, int x, bool raw) {
            const int i = at(y, x);
            if (raw) {
                ps.sym.push_back({static_cast<std::uint8_t>(neg(i)), -1});
            } else {
                unsigned xorBit;
                const int cx = signCtx(y, x, xorBit);
                ps.sym.push_back({static_cast<std::uint8_t>(neg(i) ^ xorBit), static_cast<std::int8_t>(cx)});
            }
            sig[i] = 1;
            lastPlane[i] = p;
        };
        auto scan = [&](auto fn) {
            for (int y0 = 0; y0 < height; y0 += 4)
                for (int x = 0; x < width; ++x)
                    for (int y = y0; y < std::min(y0 + 4, height); ++y) fn(y, x);
        };
        if (p != top) {
            Pass sp{rawPlane, {}, p, 0};
            scan([&](int y, int x) {
                const int i = at(y, x);
                if (sig[i] || !anyNeighbour(y, x)) return;
                sp.sym.push_back({bitOf(i), static_cast<std::int8_t>(rawPlane ? -1 : zeroCtx(y, x))});
                if (bitOf(i)) becomeSig(sp, y, x, rawPlane);
                visited[i] = 1;
            });
            passes.push_back(std::move(sp));
            reconstruct();
            Pass mr{rawPlane, {}, p, 1};
            scan([&](int y, int x) {
                const int i = at(y, x);
                if (!sig[i] || visited[i]) return;
                const int cx = refined[i] ? 18 : anyNeighbour(y, x) ? 17 : 16;
                mr.sym.push_back({bitOf(i), static_cast<std::int8_t>(rawPlane ? -1 : cx)});
                refined[i] = 1;
                lastPlane[i] = p;
            });
            passes.push_back(std::move(mr));
            reconstruct();
        }
        Pass cu{false, {}, p, 2};
        for (int y0 = 0; y0 < height; y0 += 4) {
            for (int x = 0; x < width; ++x) {
                int y = y0;
                if (y0 + 4 <= height) {
                    bool run = true;
                    for (int k = 0; k < 4; ++k)
                        if (sig[at(y0 + k, x)] || visited[at(y0 + k, x)] || anyNeighbour(y0 + k, x)) run = false;
                    if (run) {
                        int r = 0;
                        while (r < 4 && !bitOf(at(y0 + r, x))) ++r;
                        if (r == 4) {
                            cu.sym.push_back({0, 1});
                            continue;
                        }
                        cu.sym.push_back({1, 1});
                        cu.sym.push_back({static_cast<std::uint8_t>(r >> 1), 0});
                        cu.sym.push_back({static_cast<std::uint8_t>(r & 1), 0});
                        becomeSig(cu, y0 + r, x, false);
                        y = y0 + r + 1;
                    }
                }
                for (; y < std::min(y0 + 4, height); ++y) {
                    const int i = at(y, x);
                    if (sig[i] || visited[i]) continue;
                    cu.sym.push_back({bitOf(i), static_cast<std::int8_t>(zeroCtx(y, x))});
                    if (bitOf(i)) becomeSig(cu, y, x, false);
                }
            }
        }
        if (flags & kSegMark)
            for (std::uint8_t b : {1, 0, 1, 0}) cu.sym.push_back({b, 0});
        std::fill(visited.begin(), visited.end(), 0);
        passes.push_back(std::move(cu));
        reconstruct();
    }

    // Segments: every pass with kTermAll, else where raw and MQ passes meet.
    e.nPasses = static_cast<int>(passes.size());
    MqEncoder mq;
    RawEncoder raw;
    for (int k = 0; k < e.nPasses; ++k) {
        const Pass& ps = passes[k];
        for (const Symbol& s : ps.sym) {
            if (ps.raw) raw.put(s.bit);
            else mq.encode(s.bit, s.ctx);
        }
        if (!ps.raw && (flags & kReset)) mq.resetContexts();
        const bool ends = (flags & kTermAll) || k + 1 == e.nPasses || passes[k + 1].raw != ps.raw;
        e.passSegment.push_back(static_cast<int>(e.segLens.size()));
        e.passPlane.push_back(ps.plane);
        e.passKind.push_back(ps.kind);
        if (!ends) continue;
        std::vector<std::uint8_t>& out = ps.raw ? raw.out() : mq.out();
        int padTop = -1;
        if (ps.raw) {
            padTop = raw.finish();
        } else if (predictable) {
            mq.flushPredictable();
        } else {
            mq.flush();
        }
        e.segRaw.push_back(ps.raw ? 1 : 0);
        e.segPadTop.push_back(padTop);
        e.data.insert(e.data.end(), out.begin(), out.end());
        e.segLens.push_back(static_cast<int>(out.size()));
        out.clear();
    }
    return e;
}

}  // namespace t1ref
