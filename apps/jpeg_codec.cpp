// JPEG encoder and decoder on the library's public functions.
//
// DCT modes: one MCU row at a time through strips that stay in cache, colour
// conversion and chroma down-sampling, the fused forward DCT and quantisation
// per block, Huffman coding per block (baseline: one interleaved scan, coded
// as each MCU row is transformed; progressive: the usual spectral-selection
// and successive-approximation script over stored blocks); the decoder
// mirrors it with the inverse DCT, triangle up-sampling and colour conversion
// (a single sequential scan is decoded just ahead of the output).  With more
// than one library thread, those two become a pipeline of two threads, one
// entropy-coding MCU rows and the other transforming them; the other modes
// run bands of MCU rows in parallel.
// Lossless mode: predictors and difference coding row by row.
#include "jpeg_codec.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "jpeg_syntax.h"
#include "zeb.h"
#ifdef _OPENMP
#include <omp.h>
#endif
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace zebimg::jpeg {

namespace {

using Block = std::array<Zeb16s, 64>;

// Runs produce(i) and consume(i) for i = 0 .. n - 1, each consume(i) after
// produce(i) has returned; false as soon as either fails (both then stop).
// Serially they alternate.  Otherwise produce runs on one thread and consume
// on another; should the team have one thread only, it produces everything
// first.
template <class Produce, class Consume>
bool pipeline(int n, bool twoThreads, Produce&& produce, Consume&& consume) {
    if (!twoThreads) {
        for (int i = 0; i < n; ++i)
            if (!produce(i) || !consume(i)) return false;
        return true;
    }
    std::atomic<int> ready{0};
    std::atomic<bool> failed{false};
#pragma omp parallel num_threads(2)
    {
        int thread = 0, team = 1;
#ifdef _OPENMP
        thread = omp_get_thread_num();
        team = omp_get_num_threads();
#endif
        if (thread == 0)
            for (int i = 0; i < n && !failed.load(std::memory_order_relaxed); ++i) {
                if (!produce(i)) failed.store(true);
                ready.store(i + 1, std::memory_order_release);
            }
        if (thread == 1 || team == 1)
            for (int i = 0; i < n && !failed.load(std::memory_order_relaxed); ++i) {
                for (int spins = 0; ready.load(std::memory_order_acquire) <= i;) {
                    if (failed.load(std::memory_order_relaxed)) break;
                    if (++spins > 64) std::this_thread::yield();
                }
                if (!failed.load(std::memory_order_acquire) && !consume(i)) failed.store(true);
            }
    }
    return !failed.load();
}

// Vectors whose elements are not cleared on resize: planes and coefficient
// arrays that are written in full before they are read.
template <class T>
struct DefaultInit : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInit<U>;
    };
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
template <class T>
using RawVector = std::vector<T, DefaultInit<T>>;
using Plane = RawVector<Zeb8u>;

// ---- library records owned by RAII holders ---------------------------------------

// A library record owned for the lifetime of the holder: a Huffman table
// built by InitAlloc from a DHT table, or a bit-stream state.
template <class T, ZebResult (*Release)(T*)>
struct Record {
    T* p = nullptr;
    Record() = default;
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() {
        if (p) Release(p);
    }
};

template <class T, ZebResult (*Alloc)(const Zeb8u*, const Zeb8u*, T**), ZebResult (*Release)(T*)>
struct TableRecord : Record<T, Release> {
    bool build(const HuffmanTable& t) {
        std::vector<Zeb8u> vals(t.values);
        vals.resize(256);
        return Alloc(t.bits.data(), vals.data(), &this->p) == zebOk;
    }
};

using EncTable = TableRecord<ZebEncodeHuffmanSpec, zebiEncodeHuffmanSpecInitAlloc_JPEG_8u, zebiEncodeHuffmanSpecFree_JPEG_8u>;
using DecTable = TableRecord<ZebDecodeHuffmanSpec, zebiDecodeHuffmanSpecInitAlloc_JPEG_8u, zebiDecodeHuffmanSpecFree_JPEG_8u>;

struct EncState : Record<ZebEncodeHuffmanState, zebiEncodeHuffmanStateFree_JPEG_8u> {
    EncState() { zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&p); }
};

struct DecState : Record<ZebDecodeHuffmanState, zebiDecodeHuffmanStateFree_JPEG_8u> {
    DecState() { zebiDecodeHuffmanStateInitAlloc_JPEG_8u(&p); }
    void reset() { zebiDecodeHuffmanStateInit_JPEG_8u(p); }
};

// Optimal table from statistics (T.81 Annex K.2 through the library).
bool optimalTable(const std::vector<Zeb32s>& stats, HuffmanTable& t) {
    t = HuffmanTable{};
    t.present = true;
    std::vector<Zeb8u> vals(256);
    if (zebiEncodeHuffmanRawTableInit_JPEG_8u(stats.data(), t.bits.data(), vals.data()) != zebOk) return false;
    int total = 0;
    for (int b : t.bits) total += b;
    if (total == 0) {  // no symbol at all: a one-code table keeps the DHT valid
        t.bits[0] = 1;
        total = 1;
        vals[0] = 0;
    }
    t.values.assign(vals.begin(), vals.begin() + total);
    return true;
}

// ---- geometry shared by encoder and decoder -----------------------------------------------

// Per component: the MCU-padded block grid and plane, and the block grid of a
// non-interleaved scan (T.81 A.2.2).
struct CompGeometry {
    int h = 1, v = 1;
    int planeW = 0, planeH = 0;      // padded plane: whole MCUs
    int blocksW = 0, blocksH = 0;    // padded block grid
    int ownBlocksW = 0, ownBlocksH = 0;
    int rowMask = -1;                // block rows held: all of them (-1), or a window of 2^k rows (2^k - 1)
    RawVector<Block> coef;
    Block& block(int r, int c) { return coef[static_cast<std::size_t>(r & rowMask) * blocksW + c]; }

    // Keeps at least `rows` block rows (a power of two; 0: all).
    void window(int rows) {
        int held = 1;
        while (rows > 0 && held < rows) held *= 2;
        rowMask = rows > 0 && held < blocksH ? held - 1 : -1;
        coef.resize(static_cast<std::size_t>(blocksW) * (rowMask < 0 ? blocksH : held));
    }
};

struct Geometry {
    int width = 0, height = 0, hmax = 1, vmax = 1, mcuX = 0, mcuY = 0;
    std::vector<CompGeometry> comps;
};

// The coefficients of every block, or (mcuRows > 0) only of a sliding window
// of that many MCU rows (block row r lives in slot r modulo the window).
Geometry makeGeometry(int width, int height, const std::vector<std::pair<int, int>>& samp, bool zeroCoefficients,
                      int mcuRows = 0) {
    Geometry g;
    g.width = width;
    g.height = height;
    for (auto [h, v] : samp) {
        g.hmax = std::max(g.hmax, h);
        g.vmax = std::max(g.vmax, v);
    }
    g.mcuX = (width + 8 * g.hmax - 1) / (8 * g.hmax);
    g.mcuY = (height + 8 * g.vmax - 1) / (8 * g.vmax);
    for (auto [h, v] : samp) {
        CompGeometry c;
        c.h = h;
        c.v = v;
        c.blocksW = g.mcuX * h;
        c.blocksH = g.mcuY * v;
        c.planeW = 8 * c.blocksW;
        c.planeH = 8 * c.blocksH;
        c.ownBlocksW = ((width * h + g.hmax - 1) / g.hmax + 7) / 8;
        c.ownBlocksH = ((height * v + g.vmax - 1) / g.vmax + 7) / 8;
        c.window(mcuRows * v);
        if (zeroCoefficients) std::fill(c.coef.begin(), c.coef.end(), Block{});
        g.comps.push_back(std::move(c));
    }
    return g;
}

// The MCUs of a scan (T.81 A.2): a non-interleaved scan codes the
// component's own blocks one by one, an interleaved scan whole MCUs.
std::size_t scanMcuCount(const Geometry& g, const std::vector<int>& comps) {
    if (comps.size() == 1) {
        const CompGeometry& c = g.comps[comps[0]];
        return static_cast<std::size_t>(c.ownBlocksW) * c.ownBlocksH;
    }
    return static_cast<std::size_t>(g.mcuX) * g.mcuY;
}

// MCUs per row of the scan's MCU grid.
int scanMcuColumns(const Geometry& g, const std::vector<int>& comps) {
    return comps.size() == 1 ? g.comps[comps[0]].ownBlocksW : g.mcuX;
}

// The blocks of one MCU of a sequential scan, in coding order, with the
// tables and DC predictor of each: a list made once per scan.  Spec is the
// encoder's or decoder's Huffman table record; tables(s) gives the DC and AC
// tables of scan component s.  Returns the count, or -1 past 4 x 16 blocks.
template <class Spec>
struct McuSlot {
    CompGeometry* comp;
    int dy, dx, v, h;
    Block* row;  // block row of the current MCU row, at column dx
    Zeb16s* last;
    const Spec *dcTable, *acTable;
};
inline constexpr int kMaxMcuSlots = 4 * 16;  // up to four components of up to 4 x 4 blocks

template <class Spec, class Tables>
int mcuSlots(Geometry& g, const std::vector<int>& comps, std::vector<Zeb16s>& last, Tables&& tables,
             McuSlot<Spec>* slots) {
    int n = 0;
    const bool single = comps.size() == 1;
    for (std::size_t s = 0; s < comps.size(); ++s) {
        CompGeometry& c = g.comps[comps[s]];
        const int v = single ? 1 : c.v, h = single ? 1 : c.h;
        const auto [dcTable, acTable] = tables(s);
        for (int dy = 0; dy < v; ++dy)
            for (int dx = 0; dx < h; ++dx) {
                if (n == kMaxMcuSlots) return -1;
                slots[n++] = {&c, dy, dx, v, h, nullptr, &last[s], dcTable, acTable};
            }
    }
    return n;
}

// Calls f(slot in the scan, component, block row, block column) for every
// block of the MCU in row y, column x of the scan's grid, in coding order;
// stops at the first false.
template <class F>
bool forEachBlock(const Geometry& g, const std::vector<int>& comps, int y, int x, F&& f) {
    if (comps.size() == 1) return f(0, comps[0], y, x);
    for (int s = 0; s < static_cast<int>(comps.size()); ++s) {
        const CompGeometry& c = g.comps[comps[s]];
        for (int v = 0; v < c.v; ++v)
            for (int h = 0; h < c.h; ++h)
                if (!f(s, comps[s], y * c.v + v, x * c.h + h)) return false;
    }
    return true;
}

// ---- progressive scan script ------------------------------------------------------------------

struct ScanDef {
    std::vector<int> comps;
    int ss, se, ah, al;
};

std::vector<ScanDef> progressionScript(int ncomps) {
    if (ncomps == 1)
        return {{{0}, 0, 0, 0, 1}, {{0}, 1, 5, 0, 2}, {{0}, 6, 63, 0, 2},
                {{0}, 1, 63, 2, 1}, {{0}, 0, 0, 1, 0}, {{0}, 1, 63, 1, 0}};
    return {{{0, 1, 2}, 0, 0, 0, 1}, {{0}, 1, 5, 0, 2},  {{2}, 1, 63, 0, 1}, {{1}, 1, 63, 0, 1},
            {{0}, 6, 63, 0, 2},      {{0}, 1, 63, 2, 1}, {{0, 1, 2}, 0, 0, 1, 0}, {{2}, 1, 63, 1, 0},
            {{1}, 1, 63, 1, 0},      {{0}, 1, 63, 1, 0}};
}

enum class ScanKind { Sequential, DcFirst, DcRefine, AcFirst, AcRefine };

ScanKind kindOf(bool progressive, int ss, int ah) {
    if (!progressive) return ScanKind::Sequential;
    if (ss == 0) return ah == 0 ? ScanKind::DcFirst : ScanKind::DcRefine;
    return ah == 0 ? ScanKind::AcFirst : ScanKind::AcRefine;
}

// ---- entropy coding of one DCT scan ----------------------------------------------------------

// Runs one scan over the blocks, either gathering statistics or writing the
// entropy-coded bytes.  Coding may proceed a range of MCUs at a time (the
// baseline encoder codes each MCU row as soon as it is transformed).
struct ScanCoder {
    Geometry& g;
    ScanKind kind;
    const std::vector<int>& comps;
    int ss, se, al, restart;
    std::vector<int> dcId, acId;  // table ids per scan slot

    ScanCoder(Geometry& geometry, ScanKind k, const std::vector<int>& scanComps, int s0, int s1, int a, int r)
        : g(geometry), kind(k), comps(scanComps), ss(s0), se(s1), al(a), restart(r) {}

    bool statistics(std::vector<std::vector<Zeb32s>>& dcStats, std::vector<std::vector<Zeb32s>>& acStats) {
        EncState st;
        std::vector<Zeb16s> last(comps.size(), 0);
        const std::size_t count = scanMcuCount(g, comps);
        const int columns = scanMcuColumns(g, comps);
        for (std::size_t m = 0; m < count; ++m) {
            const int y = static_cast<int>(m / columns), x = static_cast<int>(m % columns);
            if (restart && m > 0 && m % restart == 0) {
                if (!flushStats(st, acStats)) return false;
                std::fill(last.begin(), last.end(), 0);
            }
            const bool ok = forEachBlock(g, comps, y, x, [&](int slot, int comp, int row, int col) {
                const Zeb16s* blk = g.comps[comp].block(row, col).data();
                ZebResult r = zebOk;
                switch (kind) {
                    case ScanKind::Sequential:
                        r = zebiGetHuffmanStatistics8x8_JPEG_16s_C1(blk, dcStats[dcId[slot]].data(),
                                                                    acStats[acId[slot]].data(), &last[slot]);
                        break;
                    case ScanKind::DcFirst:
                        r = zebiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(blk, dcStats[dcId[slot]].data(),
                                                                            &last[slot], al);
                        break;
                    case ScanKind::DcRefine:
                        break;
                    case ScanKind::AcFirst:
                        r = zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(blk, acStats[acId[slot]].data(), ss, se,
                                                                            al, st.p, 0);
                        break;
                    case ScanKind::AcRefine:
                        r = zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(blk, acStats[acId[slot]].data(), ss,
                                                                             se, al, st.p, 0);
                        break;
                }
                return r == zebOk;
            });
            if (!ok) return false;
        }
        return flushStats(st, acStats);
    }

    bool flushStats(EncState& st, std::vector<std::vector<Zeb32s>>& acStats) {
        if (kind == ScanKind::AcFirst)
            return zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(nullptr, acStats[acId[0]].data(), 0, 0, 0, st.p, 1) ==
                   zebOk;
        if (kind == ScanKind::AcRefine)
            return zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(nullptr, acStats[acId[0]].data(), 0, 0, 0, st.p,
                                                                    1) == zebOk;
        return true;
    }

    // ---- coding: an uncleared destination with room for `perBlock` bytes a
    // block (pages that are never written cost nothing).
    const std::vector<std::unique_ptr<EncTable>>* dc = nullptr;
    const std::vector<std::unique_ptr<EncTable>>* ac = nullptr;
    std::unique_ptr<Zeb8u[]> buf;
    int cap = 0, pos = 0, rst = 0;
    int base = 0, bits = 0;  // sequential scans: the stateless coder's bit position after byte `base`
    std::unique_ptr<EncState> st;
    std::vector<Zeb16s> last;

    bool begin(const std::vector<std::unique_ptr<EncTable>>& dcTables,
               const std::vector<std::unique_ptr<EncTable>>& acTables, std::size_t perBlock) {
        dc = &dcTables;
        ac = &acTables;
        std::size_t nblocks = 0;
        for (int c : comps) nblocks += static_cast<std::size_t>(g.comps[c].blocksW) * g.comps[c].blocksH;
        const std::size_t bytes = nblocks * perBlock + 4096;
        if (bytes > 0x7FFFFFFF) return false;
        buf.reset(new Zeb8u[bytes]);  // not cleared: only written bytes are used
        cap = static_cast<int>(bytes);
        pos = rst = base = bits = 0;
        st = std::make_unique<EncState>();
        last.assign(comps.size(), 0);
        return true;
    }

    // Streaming: the scan's bytes go straight into the file's own vector after
    // its current end; codeSequential makes room for each MCU as it goes.
    std::vector<Zeb8u>* into = nullptr;
    std::size_t into0 = 0;
    Zeb8u* data() { return into ? into->data() + into0 : buf.get(); }

    void beginInto(std::vector<Zeb8u>& file, const std::vector<std::unique_ptr<EncTable>>& dcTables,
                   const std::vector<std::unique_ptr<EncTable>>& acTables) {
        dc = &dcTables;
        ac = &acTables;
        into = &file;
        into0 = file.size();
        // The capacity the vector brings is used before it grows (up to 64
        // bytes a block: more than most files need).
        std::size_t nblocks = 0;
        for (int c : comps) nblocks += static_cast<std::size_t>(g.comps[c].blocksW) * g.comps[c].blocksH;
        file.resize(into0 + std::max<std::size_t>(65536, std::min(file.capacity() - into0, 64 * nblocks)));
        cap = static_cast<int>(std::min<std::size_t>(file.size() - into0, 0x7FFFFFFF));
        pos = rst = base = bits = 0;
        st = std::make_unique<EncState>();
        last.assign(comps.size(), 0);
    }

    // Room for `bytes` more after the current end of the scan's bytes.
    bool reserve(std::size_t bytes) {
        const std::size_t end = into0 + static_cast<std::size_t>(base) + static_cast<std::size_t>(bits >> 3) + bytes;
        if (end <= into->size()) return true;
        if (end - into0 > 0x7FFFFFFF) return false;
        into->resize(std::max(end, 2 * into->size()));
        cap = static_cast<int>(std::min<std::size_t>(into->size() - into0, 0x7FFFFFFF));
        return true;
    }

    // Ends a streamed scan: the file keeps exactly the scan's bytes.
    ZebResult finishInto() {
        if (const ZebResult r = flush(); r != zebOk) return r;
        into->resize(into0 + static_cast<std::size_t>(pos));
        into = nullptr;
        return zebOk;
    }

    // Codes the scan in one go, again into a larger destination should it fill up.
    bool encode(const std::vector<std::unique_ptr<EncTable>>& dcTables,
                const std::vector<std::unique_ptr<EncTable>>& acTables, Writer& w) {
        for (std::size_t perBlock = 520;; perBlock *= 2) {
            if (!begin(dcTables, acTables, perBlock)) return false;
            ZebResult r = code(0, scanMcuCount(g, comps));
            if (r == zebOk) r = finish(w);
            if (r == zebOk) return true;
            if (r != zebErrBufferEnd || perBlock >= 2080) return false;
        }
    }

    ZebResult flush() {
        switch (kind) {
            case ScanKind::Sequential: {
                // Pads the last partial byte with 1-bits (stuffed if it becomes 0xFF).
                Zeb8u* out = data();
                pos = base + (bits >> 3);
                if (bits & 7) {
                    out[pos] = static_cast<Zeb8u>(out[pos] | (0xFF >> (bits & 7)));
                    if (out[pos++] == 0xFF) out[pos++] = 0;
                }
                base = pos;
                bits = 0;
                return zebOk;
            }
            case ScanKind::DcFirst:
            case ScanKind::DcRefine:
                return zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(nullptr, buf.get(), cap, &pos, 0, st->p, 1);
            case ScanKind::AcFirst:
                return zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(nullptr, buf.get(), cap, &pos, 0, 0, 0,
                                                                  (*ac)[acId[0]]->p, st->p, 1);
            default:
                return zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(nullptr, buf.get(), cap, &pos, 0, 0, 0,
                                                                   (*ac)[acId[0]]->p, st->p, 1);
        }
    }

    // Codes MCUs m0 to m1 - 1 (in order, continuing the previous call).
    ZebResult code(std::size_t m0, std::size_t m1) {
        switch (kind) {
            case ScanKind::Sequential: return codeSequential(m0, m1);
            case ScanKind::DcFirst: return codeAs<ScanKind::DcFirst>(m0, m1);
            case ScanKind::DcRefine: return codeAs<ScanKind::DcRefine>(m0, m1);
            case ScanKind::AcFirst: return codeAs<ScanKind::AcFirst>(m0, m1);
            default: return codeAs<ScanKind::AcRefine>(m0, m1);
        }
    }

    // The sequential scan through the stateless coder: the buffer holds 520
    // bytes a block (any block, stuffed) and scratch room at its end.  The
    // blocks of an MCU come from a list made once, with row pointers renewed
    // once per MCU row.
    ZebResult codeSequential(std::size_t m0, std::size_t m1) {
        using Slot = McuSlot<ZebEncodeHuffmanSpec>;
        Slot slots[kMaxMcuSlots];
        const int n = mcuSlots(g, comps, last, [&](std::size_t s) {
            return std::pair<const ZebEncodeHuffmanSpec*, const ZebEncodeHuffmanSpec*>{(*dc)[dcId[s]]->p,
                                                                                        (*ac)[acId[s]]->p};
        }, slots);
        if (n < 0) return zebErrSize;
        Zeb8u* out = data();
        const std::size_t mcuRoom = static_cast<std::size_t>(n) * 520 + 16;  // a marker and 8 scratch bytes too
        const int columns = scanMcuColumns(g, comps);
        int y = static_cast<int>(m0 / columns), x = static_cast<int>(m0 % columns), rowsOf = -1;
        for (std::size_t m = m0; m < m1; ++m, x = x + 1 == columns ? (++y, 0) : x + 1) {
            if (into) {
                if (!reserve(mcuRoom)) return zebErrBufferEnd;
                out = data();
            }
            if (restart && m > 0 && m % restart == 0) {
                if (const ZebResult r = flush(); r != zebOk) return r;
                if (pos + 2 > cap) return zebErrBufferEnd;
                out[pos++] = 0xFF;
                out[pos++] = static_cast<Zeb8u>(0xD0 + (rst++ & 7));
                base = pos;
                std::fill(last.begin(), last.end(), 0);
            }
            if (bits >= (1 << 30)) {  // keeps the bit count in range
                base += bits >> 3;
                bits &= 7;
            }
            if (rowsOf != y) {
                for (int i = 0; i < n; ++i) slots[i].row = &slots[i].comp->block(y * slots[i].v + slots[i].dy, slots[i].dx);
                rowsOf = y;
            }
            Zeb8u* const dst = out + base;
            for (int i = 0; i < n; ++i) {
                const Slot& sl = slots[i];
                if (const ZebResult r = zebiEncodeHuffman8x8_Direct_JPEG_16s1u_C1(sl.row[x * sl.h].data(), dst, &bits,
                                                                                 sl.last, sl.dcTable, sl.acTable);
                    r != zebOk)
                    return r;
            }
        }
        return zebOk;
    }

    template <ScanKind kKind>
    ZebResult codeAs(std::size_t m0, std::size_t m1) {
        Zeb8u* const out = buf.get();
        ZebResult r = zebOk;
        const int columns = scanMcuColumns(g, comps);
        int y = static_cast<int>(m0 / columns), x = static_cast<int>(m0 % columns);
        const ZebEncodeHuffmanSpec* dcT[4] = {};
        const ZebEncodeHuffmanSpec* acT[4] = {};
        for (std::size_t s = 0; s < comps.size() && s < 4; ++s) {
            if ((*dc)[dcId[s]]) dcT[s] = (*dc)[dcId[s]]->p;
            if ((*ac)[acId[s]]) acT[s] = (*ac)[acId[s]]->p;
        }
        for (std::size_t m = m0; m < m1; ++m, x = x + 1 == columns ? (++y, 0) : x + 1) {
            if (restart && m > 0 && m % restart == 0) {
                if ((r = flush()) != zebOk) return r;
                if (pos + 2 > cap) return zebErrBufferEnd;
                out[pos++] = 0xFF;
                out[pos++] = static_cast<Zeb8u>(0xD0 + (rst++ & 7));
                std::fill(last.begin(), last.end(), 0);
            }
            forEachBlock(g, comps, y, x, [&](int slot, int comp, int row, int col) {
                const Zeb16s* blk = g.comps[comp].block(row, col).data();
                switch (kKind) {
                    case ScanKind::Sequential:
                        break;  // codeSequential
                    case ScanKind::DcFirst:
                        r = zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(blk, out, cap, &pos, &last[slot], al, dcT[slot],
                                                                       st->p, 0);
                        break;
                    case ScanKind::DcRefine:
                        r = zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(blk, out, cap, &pos, al, st->p, 0);
                        break;
                    case ScanKind::AcFirst:
                        r = zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(blk, out, cap, &pos, ss, se, al, acT[slot],
                                                                       st->p, 0);
                        break;
                    case ScanKind::AcRefine:
                        r = zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(blk, out, cap, &pos, ss, se, al, acT[slot],
                                                                        st->p, 0);
                        break;
                }
                return r == zebOk;
            });
            if (r != zebOk) return r;
        }
        return zebOk;
    }

    // Flushes the last bits and appends the coded bytes to the file.
    ZebResult finish(Writer& w) {
        if (const ZebResult r = flush(); r != zebOk) return r;
        w.raw(buf.get(), static_cast<std::size_t>(pos));
        buf.reset();
        return zebOk;
    }
};

// ---- encoder: DCT modes -------------------------------------------------------------------------

// 16-bit samples to bytes (their low bytes).
void narrowRow(const std::uint16_t* s, Zeb8u* d, int n) {
    int i = 0;
#ifdef __SSE2__
    const __m128i low = _mm_set1_epi16(0xFF);
    for (; i + 32 <= n; i += 32) {
        const __m128i* p = reinterpret_cast<const __m128i*>(s + i);
        const __m128i a = _mm_and_si128(_mm_loadu_si128(p), low), b = _mm_and_si128(_mm_loadu_si128(p + 1), low);
        const __m128i c = _mm_and_si128(_mm_loadu_si128(p + 2), low), e = _mm_and_si128(_mm_loadu_si128(p + 3), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(a, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 16), _mm_packus_epi16(c, e));
    }
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)), low);
        const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8)), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(a, b));
    }
#endif
    for (; i < n; ++i) d[i] = static_cast<Zeb8u>(s[i]);
}

// Colour conversion, chroma down-sampling and the forward DCT of one MCU row
// at a time, through strips that stay in cache.  The image is padded to whole
// MCUs by repeating its last row and column.
struct McuRowTransform {
    const Image& img;
    Geometry& g;
    const Zeb16u (*fwd)[64];
    int pw = 0, stripH = 0;
    Plane px;                   // one strip of interleaved 8-bit samples
    std::vector<Plane> planes;  // full-resolution component strips, pw x stripH
    Plane down;                 // a down-sampled strip
    using McuConvert = ZebResult (*)(const Zeb8u*, int, Zeb16s* const[3]);
    McuConvert convert = nullptr;  // the per-MCU conversion (no planes), when one serves

    McuRowTransform(const Image& image, Geometry& geometry, const Zeb16u (*tables)[64])
        : img(image), g(geometry), fwd(tables), pw(8 * geometry.mcuX * geometry.hmax),
          stripH(8 * geometry.vmax) {
        const int nc = img.channels;
        if (nc == 3 && img.bytes.empty()) px.resize(static_cast<std::size_t>(img.width) * 3 * stripH);
        if ((convert = mcuConvert())) return;  // no planes
        planes.assign(nc, Plane(static_cast<std::size_t>(pw) * stripH));
        down.resize(static_cast<std::size_t>(pw) * stripH);
    }

    // 8-bit RGB with full-resolution luma and 1x1 chroma goes through the
    // per-MCU conversions: colour conversion, chroma down-sampling (from the
    // summed RGB of each 2 or 2x2 group) and level shift in one pass, with no
    // intermediate planes.
    McuConvert mcuConvert() const {
        if (img.channels != 3) return nullptr;
        if (g.comps[1].h != 1 || g.comps[1].v != 1 || g.comps[2].h != 1 || g.comps[2].v != 1) return nullptr;
        if (g.hmax == 1 && g.vmax == 1) return zebiRGBToYCbCr444LS_MCU_8u16s_C3P3R;
        if (g.hmax == 2 && g.vmax == 1) return zebiRGBToYCbCr422LS_MCU_8u16s_C3P3R;
        if (g.hmax == 2 && g.vmax == 2) return zebiRGBToYCbCr411LS_MCU_8u16s_C3P3R;
        return nullptr;
    }

    // Rows y0 .. y0 + rows - 1 of an RGB image as 8-bit samples: in place,
    // or narrowed into px first.
    const Zeb8u* rgbRows(int y0, int rows) {
        const std::size_t rowSamples = static_cast<std::size_t>(img.width) * 3;
        if (!img.bytes.empty()) return img.bytes.data() + y0 * rowSamples;
        for (int i = 0; i < rows; ++i)
            narrowRow(img.samples.data() + (y0 + i) * rowSamples, px.data() + i * rowSamples, 3 * img.width);
        return px.data();
    }

    bool runMcu(int my) {
        const int w = img.width, H = g.hmax, V = g.vmax, mw = 8 * H, mh = 8 * V;
        const int y0 = my * mh, rows = std::min(mh, img.height - y0), lumaBlocks = H * V;
        const Zeb8u* strip = rgbRows(y0, rows);
        alignas(16) Zeb16s blocks[6][64];
        Zeb16s* const mcu[3] = {blocks[0], blocks[lumaBlocks], blocks[lumaBlocks + 1]};
        alignas(16) Zeb8u edge[16 * 16 * 3];  // an MCU that crosses the image's edge, the edge repeated
        for (int mx = 0; mx < g.mcuX; ++mx) {
            const int x0 = mx * mw;
            const Zeb8u* src = strip + static_cast<std::size_t>(x0) * 3;
            int step = 3 * w;
            if (x0 + mw > w || rows < mh) {
                for (int r = 0; r < mh; ++r) {
                    const Zeb8u* row = strip + static_cast<std::size_t>(std::min(r, rows - 1)) * 3 * w;
                    for (int c = 0; c < mw; ++c)
                        std::memcpy(edge + (r * mw + c) * 3, row + 3 * std::min(x0 + c, w - 1), 3);
                }
                src = edge;
                step = 3 * mw;
            }
            if (convert(src, step, mcu) != zebOk) return false;
            for (int i = 0; i < lumaBlocks; ++i)
                if (zebiDCTQuantFwd8x8_JPEG_16s_C1(blocks[i], g.comps[0].block(my * V + i / H, mx * H + i % H).data(),
                                                   fwd[0]) != zebOk)
                    return false;
            for (int c = 1; c < 3; ++c)
                if (zebiDCTQuantFwd8x8_JPEG_16s_C1(mcu[c], g.comps[c].block(my, mx).data(), fwd[1]) != zebOk)
                    return false;
        }
        return true;
    }

    bool run(int my) {
        if (convert) return runMcu(my);
        const int nc = img.channels, w = img.width;
        // The image rows of the strip; the rows below the image repeat the
        // last one (copied after conversion, which is per pixel).  8-bit
        // samples are read in place, 16-bit ones narrowed first.
        const int y0 = my * stripH, rows = std::min(stripH, img.height - y0);
        const bool bytes = !img.bytes.empty();
        const std::size_t rowSamples = static_cast<std::size_t>(w) * nc;
        if (nc == 3) {
            Zeb8u* p[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
            if (zebiRGBToYCbCr_JPEG_8u_C3P3R(rgbRows(y0, rows), 3 * w, p, pw, ZebSize{w, rows}) != zebOk) return false;
        } else {
            for (int i = 0; i < rows; ++i) {
                Zeb8u* d = planes[0].data() + static_cast<std::size_t>(i) * pw;
                const std::size_t at = static_cast<std::size_t>(y0 + i) * rowSamples;
                if (bytes)
                    std::memcpy(d, img.bytes.data() + at, static_cast<std::size_t>(w));
                else
                    narrowRow(img.samples.data() + at, d, w);
            }
        }
        for (Plane& p : planes) {
            for (int i = 0; i < rows; ++i) {
                Zeb8u* row = p.data() + static_cast<std::size_t>(i) * pw;
                std::fill(row + w, row + pw, row[w - 1]);
            }
            for (int i = rows; i < stripH; ++i)
                std::memcpy(p.data() + static_cast<std::size_t>(i) * pw, p.data() + static_cast<std::size_t>(rows - 1) * pw,
                            static_cast<std::size_t>(pw));
        }
        // Brings the next strip's samples towards the cache while the blocks of
        // this one are transformed: a few lines a block.
        const char* pf = nullptr;
        const char* pfEnd = nullptr;
        if ((my + 1) * stripH < img.height) {
            const char* base = bytes ? reinterpret_cast<const char*>(img.bytes.data())
                                     : reinterpret_cast<const char*>(img.samples.data());
            const std::size_t rowBytes = rowSamples * (bytes ? 1 : sizeof(std::uint16_t));
            const int y1 = std::min(img.height, (my + 2) * stripH);
            pf = base + (my + 1) * stripH * rowBytes;
            pfEnd = base + y1 * rowBytes;
        }
        int blocks = 0;
        for (const CompGeometry& cg : g.comps) blocks += cg.v * cg.blocksW;
        const std::ptrdiff_t pfStep = pf ? ((pfEnd - pf) / blocks + 63) / 64 * 64 : 0;
        for (int c = 0; c < nc; ++c) {
            CompGeometry& cg = g.comps[c];
            const int sx = g.hmax / cg.h, sy = g.vmax / cg.v;
            const Zeb8u* src = planes[c].data();
            int step = pw;
            if (sx != 1 || sy != 1) {
                const ZebSize s{pw, stripH}, d{cg.planeW, 8 * cg.v};
                const ZebResult r = sy == 2 ? zebiSampleDownH2V2_JPEG_8u_C1R(src, pw, s, down.data(), cg.planeW, d)
                                            : zebiSampleDownH2V1_JPEG_8u_C1R(src, pw, s, down.data(), cg.planeW, d);
                if (r != zebOk) return false;
                src = down.data();
                step = cg.planeW;
            }
            for (int br = 0; br < cg.v; ++br)
                for (int bx = 0; bx < cg.blocksW; ++bx) {
#ifdef __SSE2__
                    for (const char* e = std::min(pf + pfStep, pfEnd); pf < e; pf += 64)
                        _mm_prefetch(pf, _MM_HINT_T1);
#endif
                    zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(src + static_cast<std::size_t>(8 * br) * step + 8 * bx, step,
                                                        cg.block(my * cg.v + br, bx).data(), fwd[c == 0 ? 0 : 1]);
                }
        }
        return true;
    }
};

bool encodeDct(const Image& img, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error) {
    if (img.maxval != 255) {
        error = "the DCT modes take 8-bit images (maximum value 255)";
        return false;
    }
    if (opt.quality < 1 || opt.quality > 100) {
        error = "quality must lie between 1 and 100";
        return false;
    }
    const bool colour = img.channels == 3;
    const int ncomps = colour ? 3 : 1;
    const bool progressive = opt.mode == EncodeOptions::Mode::Progressive;
    // Baseline with the Annex K tables codes each MCU row as soon as it is
    // transformed; the other modes keep every block for statistics and scans.
    const int threads = std::max(1, zebcoreGetNumThreads());
    // One baseline scan with fixed tables is coded as its MCU rows are
    // transformed: on one thread row by row, on more in a two-thread
    // pipeline over stored blocks.
    const bool oneScan = !progressive && !opt.optimize;
    const bool streaming = threads == 1 && oneScan;
    const bool pipelined = threads > 1 && oneScan;
    std::vector<std::pair<int, int>> samp = {{colour ? opt.hSamp : 1, colour ? opt.vSamp : 1}};
    if (colour) samp.insert(samp.end(), {{1, 1}, {1, 1}});
    Geometry g = makeGeometry(img.width, img.height, samp, false, streaming ? 1 : 0);  // every block is written

    // Quantisation tables: Annex K scaled by the quality factor.
    std::array<Zeb8u, 64> raw[2];
    std::copy(kLumaQuantK1.begin(), kLumaQuantK1.end(), raw[0].begin());
    std::copy(kChromaQuantK2.begin(), kChromaQuantK2.end(), raw[1].begin());
    alignas(16) Zeb16u fwd[2][64];
    QuantTable dqt[2];
    for (int t = 0; t < 2; ++t) {
        if (zebiQuantFwdRawTableInit_JPEG_8u(raw[t].data(), opt.quality) != zebOk ||
            zebiQuantFwdTableInit_JPEG_8u16u(raw[t].data(), fwd[t]) != zebOk ||
            zebiQuantInvTableInit_JPEG_8u16u(raw[t].data(), dqt[t].natural.data()) != zebOk) {
            error = "quantisation table preparation failed";
            return false;
        }
        dqt[t].present = true;
    }

    McuRowTransform transform(img, g, fwd);
    if (!streaming && !pipelined) {
        // Bands of MCU rows, one per thread (the library runs serially inside).
        const int bands = std::min(threads, g.mcuY);
        bool ok = true;
#pragma omp parallel for schedule(static, 1) num_threads(bands) if (bands > 1)
        for (int band = 0; band < bands; ++band) {
            McuRowTransform t(img, g, fwd);
            for (int my = g.mcuY * band / bands; my < g.mcuY * (band + 1) / bands; ++my)
                if (!t.run(my)) {
#pragma omp atomic write
                    ok = false;
                }
        }
        if (!ok) {
            error = "colour conversion or chroma down-sampling failed";
            return false;
        }
    }

    // File header.
    // The file is built in the storage `out` brings (its pages are mapped
    // already when the caller encodes again into the same vector).
    Writer w;
    w.bytes().swap(out);
    w.bytes().clear();
    w.soi();
    w.jfif();
    w.dqt(0, dqt[0]);
    if (colour) w.dqt(1, dqt[1]);
    Frame f;
    f.sof = progressive ? SOF2 : SOF0;
    f.precision = 8;
    f.width = img.width;
    f.height = img.height;
    for (int c = 0; c < ncomps; ++c) f.components.push_back({c + 1, samp[c].first, samp[c].second, c == 0 ? 0 : 1});
    w.sof(f);
    if (opt.restartInterval > 0) w.dri(opt.restartInterval);

    std::vector<ScanDef> scans;
    if (progressive) {
        scans = progressionScript(ncomps);
    } else {
        ScanDef all{{}, 0, 63, 0, 0};
        for (int c = 0; c < ncomps; ++c) all.comps.push_back(c);
        scans.push_back(all);
    }
    for (const ScanDef& sd : scans) {
        const ScanKind kind = kindOf(progressive, sd.ss, sd.ah);
        ScanCoder coder(g, kind, sd.comps, sd.ss, sd.se, sd.al, opt.restartInterval);
        for (int c : sd.comps) {
            coder.dcId.push_back(c == 0 ? 0 : 1);
            coder.acId.push_back(c == 0 ? 0 : 1);
        }
        HuffmanTable tables[2][2];  // [class][id]
        const bool needDc = kind == ScanKind::Sequential || kind == ScanKind::DcFirst;
        const bool needAc = kind == ScanKind::Sequential || kind == ScanKind::AcFirst || kind == ScanKind::AcRefine;
        if (progressive || opt.optimize) {
            std::vector<std::vector<Zeb32s>> dcStats(2, std::vector<Zeb32s>(256)), acStats(2, std::vector<Zeb32s>(256));
            if (!coder.statistics(dcStats, acStats)) {
                error = "coefficient out of the coding range";
                return false;
            }
            for (int id = 0; id < 2; ++id) {
                if (!optimalTable(dcStats[id], tables[0][id]) || !optimalTable(acStats[id], tables[1][id])) {
                    error = "optimal Huffman table construction failed";
                    return false;
                }
            }
        } else {
            for (int id = 0; id < 2; ++id) {
                tables[0][id] = annexKTable(0, id);
                tables[1][id] = annexKTable(1, id);
            }
        }
        std::vector<std::unique_ptr<EncTable>> dc(2), ac(2);
        bool used[2][2] = {};
        for (std::size_t s = 0; s < sd.comps.size(); ++s) {
            used[0][coder.dcId[s]] |= needDc;
            used[1][coder.acId[s]] |= needAc;
        }
        for (int cls = 0; cls < 2; ++cls)
            for (int id = 0; id < 2; ++id) {
                if (!used[cls][id]) continue;
                auto& slot = cls == 0 ? dc[id] : ac[id];
                slot = std::make_unique<EncTable>();
                if (!slot->build(tables[cls][id])) {
                    error = "Huffman table rejected";
                    return false;
                }
                w.dht(cls, id, tables[cls][id]);
            }
        Scan sos;
        for (std::size_t s = 0; s < sd.comps.size(); ++s)
            sos.components.push_back({sd.comps[s], coder.dcId[s], coder.acId[s]});
        sos.ss = sd.ss;
        sos.se = progressive ? sd.se : 63;
        sos.ah = sd.ah;
        sos.al = sd.al;
        w.sos(f, sos);
        if (streaming || pipelined) {
            // Sequential code lengths are at most 16 bits: 520 bytes hold any block, stuffed.
            coder.beginInto(w.bytes(), dc, ac);
            bool transformed = true;
            auto transformRow = [&](int my) { return transformed = transform.run(my); };
            auto codeRow = [&](int my) {
                const std::size_t m0 = static_cast<std::size_t>(my) * g.mcuX;
                return coder.code(m0, m0 + g.mcuX) == zebOk;
            };
            const bool ok = pipeline(g.mcuY, pipelined, transformRow, codeRow);
            if (!transformed) {
                error = "colour conversion or chroma down-sampling failed";
                return false;
            }
            if (!ok || coder.finishInto() != zebOk) {
                error = "entropy coding failed";
                return false;
            }
        } else if (!coder.encode(dc, ac, w)) {
            error = "entropy coding failed";
            return false;
        }
    }
    w.eoi();
    out = std::move(w.bytes());
    return true;
}

// ---- encoder: lossless ----------------------------------------------------------------------------

bool encodeLossless(const Image& img, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error) {
    const int P = opt.precision ? opt.precision : std::max(2, img.bitDepth());
    const int Pt = opt.pointTransform;
    if (P < 2 || P > 16 || Pt < 0 || Pt >= P || opt.predictor < 1 || opt.predictor > 7 || img.bitDepth() > P) {
        error = "lossless mode needs a precision of 2 to 16 bits covering the image, Pt below it and a predictor 1 to 7";
        return false;
    }
    const int w = img.width, h = img.height, nc = img.channels;
    const int restartRows = opt.restartInterval;
    if (static_cast<long long>(restartRows) * w > 65535) {
        error = "restart interval too long for the row width";
        return false;
    }
    // Differences of every row of every component.
    std::vector<std::vector<Zeb16s>> diff(nc, std::vector<Zeb16s>(static_cast<std::size_t>(w) * h));
    std::vector<Zeb16s> cur(w), prev(w);
    std::vector<std::vector<Zeb32s>> stats(nc, std::vector<Zeb32s>(256));
    for (int c = 0; c < nc; ++c) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) cur[x] = static_cast<Zeb16s>(img.at(x, y, c) >> Pt);
            Zeb16s* d = diff[c].data() + static_cast<std::size_t>(y) * w;
            const bool firstRow = y == 0 || (restartRows > 0 && y % restartRows == 0);
            const ZebResult r = firstRow ? zebiDiffPredFirstRow_JPEG_16s_C1(cur.data(), d, w, P, Pt)
                                         : zebiDiffPredRow_JPEG_16s_C1(cur.data(), prev.data(), d, w, opt.predictor);
            if (r != zebOk) {
                error = "prediction failed";
                return false;
            }
            for (int x = 0; x < w; ++x)
                if (zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&d[x], stats[c].data()) != zebOk) return false;
            std::swap(cur, prev);
        }
    }
    Writer wr;
    wr.soi();
    Frame f;
    f.sof = SOF3;
    f.precision = P;
    f.width = w;
    f.height = h;
    for (int c = 0; c < nc; ++c) f.components.push_back({c + 1, 1, 1, 0});
    wr.sof(f);
    std::vector<std::unique_ptr<EncTable>> tables;
    for (int c = 0; c < nc; ++c) {
        HuffmanTable t;
        if (!optimalTable(stats[c], t)) {
            error = "optimal Huffman table construction failed";
            return false;
        }
        wr.dht(0, c, t);
        tables.push_back(std::make_unique<EncTable>());
        if (!tables.back()->build(t)) {
            error = "Huffman table rejected";
            return false;
        }
    }
    if (restartRows > 0) wr.dri(restartRows * w);
    Scan sos;
    for (int c = 0; c < nc; ++c) sos.components.push_back({c, c, 0});
    sos.ss = opt.predictor;
    sos.se = 0;
    sos.al = Pt;
    wr.sos(f, sos);
    std::vector<Zeb8u> buf(static_cast<std::size_t>(w) * h * nc * 6 + 4096);
    const int cap = static_cast<int>(buf.size());
    int pos = 0, rst = 0;
    EncState st;
    std::vector<const Zeb16s*> rows(nc);
    std::vector<const ZebEncodeHuffmanSpec*> tabs(nc);
    for (int c = 0; c < nc; ++c) tabs[c] = tables[c]->p;
    for (int y = 0; y < h; ++y) {
        if (restartRows > 0 && y > 0 && y % restartRows == 0) {
            if (zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, buf.data(), cap, &pos, nullptr, st.p, 1) != zebOk)
                return false;
            buf[pos++] = 0xFF;
            buf[pos++] = static_cast<Zeb8u>(0xD0 + (rst++ & 7));
        }
        for (int c = 0; c < nc; ++c) rows[c] = diff[c].data() + static_cast<std::size_t>(y) * w;
        if (zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(rows.data(), w, nc, buf.data(), cap, &pos, tabs.data(), st.p, 0) !=
            zebOk) {
            error = "entropy coding failed";
            return false;
        }
    }
    if (zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, buf.data(), cap, &pos, nullptr, st.p, 1) != zebOk)
        return false;
    wr.raw(buf.data(), static_cast<std::size_t>(pos));
    wr.eoi();
    out = std::move(wr.bytes());
    return true;
}

// ---- decoder helpers ---------------------------------------------------------------------------------

// Moves past the restart marker that ends an interval: the reader may have met
// it already while reading ahead, else it follows the padding bits.
bool passRestart(const std::vector<Zeb8u>& b, std::size_t end, int& pos, int& marker, int expected) {
    if (marker == 0) {
        std::size_t p = static_cast<std::size_t>(pos);
        while (p + 1 < end && !(b[p] == 0xFF && b[p + 1] >= RST0 && b[p + 1] <= RST0 + 7)) ++p;
        if (p + 1 >= end) return false;
        marker = b[p + 1];
        pos = static_cast<int>(p + 2);
    }
    const bool ok = marker == expected;
    marker = 0;
    return ok;
}

// Decodes one DCT scan, a range of MCUs at a time (a single sequential scan
// is decoded MCU row by MCU row, just ahead of its output).
struct ScanDecoder {
    const File& file;
    const Scan& sc;
    Geometry& g;
    ScanKind kind = ScanKind::Sequential;
    std::vector<int> comps;
    std::unique_ptr<DecTable> dc[4], ac[4];
    DecState st;
    std::vector<Zeb16s> last;
    int pos = 0, marker = 0, rst = 0;

    ScanDecoder(const File& f, const Scan& scan, Geometry& geometry) : file(f), sc(scan), g(geometry) {}

    bool begin(std::string& error) {
        const bool progressive = file.frame.progressive();
        kind = kindOf(progressive, sc.ss, sc.ah);
        if (progressive) {
            const bool isDc = sc.ss == 0;
            if ((isDc && sc.se != 0) || (!isDc && (sc.se < sc.ss || sc.se > 63 || sc.components.size() != 1)) ||
                sc.al > 13) {
                error = "invalid progressive scan parameters";
                return false;
            }
        }
        for (const ScanComponent& c : sc.components) comps.push_back(c.index);
        for (std::size_t s = 0; s < sc.components.size(); ++s) {
            const ScanComponent& c = sc.components[s];
            const bool needDc = kind == ScanKind::Sequential || kind == ScanKind::DcFirst;
            const bool needAc = kind == ScanKind::Sequential || kind == ScanKind::AcFirst || kind == ScanKind::AcRefine;
            if (needDc && !dc[c.td]) {
                if (!sc.dc[c.td].present) return error = "scan uses an undefined DC table", false;
                dc[c.td] = std::make_unique<DecTable>();
                if (!dc[c.td]->build(sc.dc[c.td])) return error = "invalid DC Huffman table", false;
            }
            if (needAc && !ac[c.ta]) {
                if (!sc.ac[c.ta].present) return error = "scan uses an undefined AC table", false;
                ac[c.ta] = std::make_unique<DecTable>();
                if (!ac[c.ta]->build(sc.ac[c.ta])) return error = "invalid AC Huffman table", false;
            }
        }
        pos = static_cast<int>(sc.dataBegin);
        last.assign(comps.size(), 0);
        return true;
    }

    // Decodes MCUs m0 to m1 - 1 (in order, continuing the previous call).
    bool decode(std::size_t m0, std::size_t m1, std::string& error) {
        switch (kind) {
            case ScanKind::Sequential: return decodeAs<ScanKind::Sequential>(m0, m1, error);
            case ScanKind::DcFirst: return decodeAs<ScanKind::DcFirst>(m0, m1, error);
            case ScanKind::DcRefine: return decodeAs<ScanKind::DcRefine>(m0, m1, error);
            case ScanKind::AcFirst: return decodeAs<ScanKind::AcFirst>(m0, m1, error);
            default: return decodeAs<ScanKind::AcRefine>(m0, m1, error);
        }
    }

    // A sequential scan: the blocks of each MCU from a list made once.
    bool decodeSequential(std::size_t m0, std::size_t m1, std::string& error) {
        using Slot = McuSlot<ZebDecodeHuffmanSpec>;
        Slot slots[kMaxMcuSlots];
        const int n = mcuSlots(g, comps, last, [&](std::size_t s) {
            const ScanComponent& c = sc.components[s];
            return std::pair<const ZebDecodeHuffmanSpec*, const ZebDecodeHuffmanSpec*>{dc[c.td]->p, ac[c.ta]->p};
        }, slots);
        if (n < 0) return error = "too many blocks in an MCU", false;
        const Zeb8u* b = file.bytes.data();
        const int len = static_cast<int>(sc.dataEnd);  // the reader never looks past the scan's data
        const int columns = scanMcuColumns(g, comps);
        int y = static_cast<int>(m0 / columns), x = static_cast<int>(m0 % columns), rowsOf = -1;
        for (std::size_t m = m0; m < m1; ++m, x = x + 1 == columns ? (++y, 0) : x + 1) {
            if (sc.restartInterval && m > 0 && m % sc.restartInterval == 0) {
                if (!passRestart(file.bytes, sc.dataEnd, pos, marker, RST0 + (rst++ & 7)))
                    return error = "restart marker missing or out of sequence", false;
                st.reset();
                std::fill(last.begin(), last.end(), 0);
            }
            if (rowsOf != y) {
                for (int i = 0; i < n; ++i) slots[i].row = &slots[i].comp->block(y * slots[i].v + slots[i].dy, slots[i].dx);
                rowsOf = y;
            }
            for (int i = 0; i < n; ++i) {
                const Slot& sl = slots[i];
                if (zebiDecodeHuffman8x8_JPEG_1u16s_C1(b, len, &pos, sl.row[x * sl.h].data(), sl.last, &marker,
                                                       sl.dcTable, sl.acTable, st.p) != zebOk)
                    return error = "corrupt entropy-coded data", false;
            }
        }
        return true;
    }

    template <ScanKind kKind>
    bool decodeAs(std::size_t m0, std::size_t m1, std::string& error) {
        if constexpr (kKind == ScanKind::Sequential) return decodeSequential(m0, m1, error);
        const std::vector<Zeb8u>& b = file.bytes;
        const int len = static_cast<int>(sc.dataEnd);  // the reader never looks past the scan's data
        const int lenArg = std::max(len, 1);
        const int columns = scanMcuColumns(g, comps);
        int y = static_cast<int>(m0 / columns), x = static_cast<int>(m0 % columns);
        for (std::size_t m = m0; m < m1; ++m, x = x + 1 == columns ? (++y, 0) : x + 1) {
            if (sc.restartInterval && m > 0 && m % sc.restartInterval == 0) {
                if (!passRestart(b, sc.dataEnd, pos, marker, RST0 + (rst++ & 7)))
                    return error = "restart marker missing or out of sequence", false;
                st.reset();
                std::fill(last.begin(), last.end(), 0);
            }
            const bool ok = forEachBlock(g, comps, y, x, [&](int slot, int comp, int row, int col) {
                const ScanComponent& c = sc.components[slot];
                Zeb16s* blk = g.comps[comp].block(row, col).data();
                ZebResult r = zebOk;
                switch (kKind) {
                    case ScanKind::Sequential:
                        r = zebiDecodeHuffman8x8_JPEG_1u16s_C1(b.data(), len, &pos, blk, &last[slot], &marker,
                                                               dc[c.td]->p, ac[c.ta]->p, st.p);
                        break;
                    case ScanKind::DcFirst:
                        r = zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(b.data(), lenArg, &pos, blk, &last[slot],
                                                                       &marker, sc.al, dc[c.td]->p, st.p);
                        break;
                    case ScanKind::DcRefine:
                        r = zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(b.data(), lenArg, &pos, blk, &marker, sc.al,
                                                                        st.p);
                        break;
                    case ScanKind::AcFirst:
                        r = zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(b.data(), lenArg, &pos, blk, &marker, sc.ss,
                                                                       sc.se, sc.al, ac[c.ta]->p, st.p);
                        break;
                    case ScanKind::AcRefine:
                        r = zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(b.data(), lenArg, &pos, blk, &marker, sc.ss,
                                                                        sc.se, sc.al, ac[c.ta]->p, st.p);
                        break;
                }
                return r == zebOk;
            });
            if (!ok) return error = "corrupt entropy-coded data", false;
        }
        return true;
    }
};

bool decodeDctScan(const File& file, const Scan& sc, Geometry& g, std::string& error) {
    ScanDecoder d(file, sc, g);
    return d.begin(error) && d.decode(0, scanMcuCount(g, d.comps), error);
}

// A plane with a one-sample border replicated around it (the context the
// plane up-samplers read).
Plane withBorder(const Plane& p, int w, int h) {
    const int bw = w + 2;
    Plane out(static_cast<std::size_t>(bw) * (h + 2));
    for (int y = -1; y <= h; ++y) {
        const int sy = std::clamp(y, 0, h - 1);
        for (int x = -1; x <= w; ++x)
            out[static_cast<std::size_t>(y + 1) * bw + (x + 1)] = p[static_cast<std::size_t>(sy) * w + std::clamp(x, 0, w - 1)];
    }
    return out;
}

// Up-samples a component plane to the full padded resolution.
bool upsample(const Plane& src, int w, int h, int sx, int sy, Plane& dst, int dw, int dh) {
    dst.assign(static_cast<std::size_t>(dw) * dh, 0);
    if ((sx == 2 && sy == 2) || (sx == 2 && sy == 1)) {
        const Plane b = withBorder(src, w, h);
        const Zeb8u* origin = b.data() + (w + 2) + 1;
        const ZebSize s{w, h}, d{dw, dh};
        const ZebResult r = sy == 2 ? zebiSampleUpH2V2_JPEG_8u_C1R(origin, w + 2, s, dst.data(), dw, d)
                                    : zebiSampleUpH2V1_JPEG_8u_C1R(origin, w + 2, s, dst.data(), dw, d);
        return r == zebOk;
    }
    if (sx == 1 && sy == 2) {  // vertical triangle filter, nearer row weighted 3
        for (int y = 0; y < dh; ++y) {
            const int n = std::min(y / 2, h - 1), f = std::clamp(y % 2 ? n + 1 : n - 1, 0, h - 1);
            const int bias = y % 2 ? 2 : 1;
            for (int x = 0; x < dw; ++x) {
                const int xs = std::min(x, w - 1);
                dst[static_cast<std::size_t>(y) * dw + x] = static_cast<Zeb8u>(
                    (3 * src[static_cast<std::size_t>(n) * w + xs] + src[static_cast<std::size_t>(f) * w + xs] + bias) >> 2);
            }
        }
        return true;
    }
    for (int y = 0; y < dh; ++y)  // other factors: sample replication
        for (int x = 0; x < dw; ++x)
            dst[static_cast<std::size_t>(y) * dw + x] = src[static_cast<std::size_t>(std::min(y / sy, h - 1)) * w + std::min(x / sx, w - 1)];
    return true;
}

// The fast colour path: per MCU, the inverse DCT without level shift into
// 16-bit blocks, then one fused call for up-sampling (sample replication),
// colour conversion and level shift into interleaved RGB.
bool mcuToRgb(Geometry& g, const std::vector<std::array<Zeb16u, 64>>& inv, Plane& rgb, int pw, int ph) {
    const CompGeometry& y = g.comps[0];
    using McuFn = ZebResult (*)(const Zeb16s* const[3], Zeb8u*, int);
    const McuFn fn = y.h == 1 ? zebiYCbCr444ToRGBLS_MCU_16s8u_P3C3R
                     : y.v == 1 ? zebiYCbCr422ToRGBLS_MCU_16s8u_P3C3R
                                : zebiYCbCr411ToRGBLS_MCU_16s8u_P3C3R;
    rgb.assign(static_cast<std::size_t>(pw) * ph * 3, 0);
    alignas(16) Zeb16s lum[4][64], cb[64], cr[64];
    const Zeb16s* const planes[3] = {lum[0], cb, cr};
    for (int my = 0; my < g.mcuY; ++my)
        for (int mx = 0; mx < g.mcuX; ++mx) {
            for (int v = 0; v < y.v; ++v)
                for (int h = 0; h < y.h; ++h)
                    zebiDCTQuantInv8x8_JPEG_16s_C1(g.comps[0].block(my * y.v + v, mx * y.h + h).data(), lum[v * y.h + h],
                                                   inv[0].data());
            zebiDCTQuantInv8x8_JPEG_16s_C1(g.comps[1].block(my, mx).data(), cb, inv[1].data());
            zebiDCTQuantInv8x8_JPEG_16s_C1(g.comps[2].block(my, mx).data(), cr, inv[2].data());
            Zeb8u* dst = rgb.data() + (static_cast<std::size_t>(my) * 8 * y.v * pw + static_cast<std::size_t>(mx) * 8 * y.h) * 3;
            if (fn(planes, dst, 3 * pw) != zebOk) return false;
        }
    return true;
}

// Bytes to the image's 16-bit samples.  The image is far larger than the
// caches and is not read back here: aligned stores bypass the cache.
void widenRow(const Zeb8u* s, std::uint16_t* d, int n) {
    int i = 0;
#ifdef __SSE2__
    for (; i < n && (reinterpret_cast<std::uintptr_t>(d + i) & 15) != 0; ++i) d[i] = s[i];
    const __m128i z = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        _mm_stream_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(v, z));
        _mm_stream_si128(reinterpret_cast<__m128i*>(d + i + 8), _mm_unpackhi_epi8(v, z));
    }
    _mm_sfence();
#endif
    for (; i < n; ++i) d[i] = s[i];
}

// n 8-bit results into the image from sample index `at` on: as they are when
// the caller asked for bytes, else widened to the 16-bit samples.
void putSamples(Image& img, std::size_t at, const Zeb8u* s, int n) {
    if (!img.bytes.empty()) std::memcpy(img.bytes.data() + at, s, static_cast<std::size_t>(n));
    else widenRow(s, img.samples.data() + at, n);
}

// The default output path, one MCU row at a time through strips that stay in
// cache: inverse DCT, triangle up-sampling of sub-sampled chroma and colour
// conversion into the image.  The up-sampler reads one chroma row above and
// below the strip and one column at each side (repeated at the plane's
// edges), so a strip is put out one MCU row late, once the first chroma row
// of the next MCU row is known; the coefficients of two MCU rows are kept.
struct StripOutput {
    Geometry& g;
    const std::vector<std::array<Zeb16u, 64>>& inv;
    Image& img;
    int nc, pw, stripH;
    Plane luma, rgb, up[2];
    Plane ctx[2][2];  // [chroma component][buffer]: rows -1 .. 8v of a strip, one extra column each side
    int cur = 0;      // buffer of the strip awaiting output
    // Rows per up-sampling and colour call: an even number of rows small
    // enough for the library to run the call serially (no parallel region
    // per call on one thread; inside the bands it is serial anyway).
    int chunk = 2;

    StripOutput(Geometry& geometry, const std::vector<std::array<Zeb16u, 64>>& tables, Image& image)
        : g(geometry), inv(tables), img(image), nc(static_cast<int>(geometry.comps.size())),
          pw(8 * geometry.mcuX * geometry.hmax), stripH(8 * geometry.vmax) {
        chunk = std::max(2, (8192 / pw) & ~1);
        luma.resize(static_cast<std::size_t>(pw) * stripH);
        if (nc == 3 && img.bytes.empty()) rgb.resize(static_cast<std::size_t>(img.width) * 3 * stripH);
        for (int c = 1; c < nc; ++c) {
            up[c - 1].resize(static_cast<std::size_t>(pw) * stripH);
            for (Plane& p : ctx[c - 1])
                p.resize(static_cast<std::size_t>(g.comps[c].planeW + 2) * (8 * g.comps[c].v + 2));
        }
    }

    // Grey, or luma at full resolution with chroma at full, half-horizontal or half-both resolution.
    static bool supports(const Geometry& g) {
        if (g.comps.size() == 1) return true;
        if (g.comps[0].h != g.hmax || g.comps[0].v != g.vmax) return false;
        for (int c = 1; c < 3; ++c) {
            const int sx = g.hmax / g.comps[c].h, sy = g.vmax / g.comps[c].v;
            if (!((sx == 1 && sy == 1) || (sx == 2 && sy == 1) || (sx == 2 && sy == 2))) return false;
        }
        return true;
    }

    bool subsampled(int c) const { return g.comps[c].h != g.hmax || g.comps[c].v != g.vmax; }

    void idctRow(int c, int my, Zeb8u* dst, int step) {
        CompGeometry& cg = g.comps[c];
        for (int br = 0; br < cg.v; ++br)
            for (int bx = 0; bx < cg.blocksW; ++bx)
                zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(cg.block(my * cg.v + br, bx).data(),
                                                    dst + static_cast<std::size_t>(8 * br) * step + 8 * bx, step,
                                                    inv[c].data());
    }

    // The coefficients of MCU row my are complete: its sub-sampled chroma
    // goes into the context buffers, and (emitPrevious) the MCU row before it
    // is put out.
    bool push(int my, bool emitPrevious) {
        for (int c = 1; c < nc; ++c) {
            if (!subsampled(c)) continue;
            const int cw = g.comps[c].planeW, bw = cw + 2, rows = 8 * g.comps[c].v;
            Zeb8u* next = ctx[c - 1][cur ^ 1].data();
            Zeb8u* prev = ctx[c - 1][cur].data();
            idctRow(c, my, next + bw + 1, bw);
            for (int r = 1; r <= rows; ++r) {
                Zeb8u* row = next + static_cast<std::size_t>(r) * bw;
                row[0] = row[1];
                row[cw + 1] = row[cw];
            }
            std::memcpy(next, my == 0 ? next + bw : prev + static_cast<std::size_t>(rows) * bw, bw);
            if (my > 0) std::memcpy(prev + static_cast<std::size_t>(rows + 1) * bw, next + bw, bw);
        }
        if (emitPrevious && !emit(my - 1)) return false;
        cur ^= 1;
        return true;
    }

    // Puts out MCU rows my0 to my1 - 1 from stored coefficients.
    bool run(int my0, int my1) {
        if (my0 > 0 && !push(my0 - 1, false)) return false;  // context above the band
        for (int my = my0; my < my1; ++my)
            if (!push(my, my > my0)) return false;
        return my1 < g.mcuY ? push(my1, true) : finish();
    }

    bool finish() {
        for (int c = 1; c < nc; ++c) {
            if (!subsampled(c)) continue;
            const int bw = g.comps[c].planeW + 2, rows = 8 * g.comps[c].v;
            Zeb8u* last = ctx[c - 1][cur].data();
            std::memcpy(last + static_cast<std::size_t>(rows + 1) * bw, last + static_cast<std::size_t>(rows) * bw, bw);
        }
        return emit(g.mcuY - 1);
    }

    bool emit(int my) {
        const int w = img.width, y0 = my * stripH, rows = std::min(stripH, img.height - y0);
        idctRow(0, my, luma.data(), pw);
        if (nc == 1) {
            for (int r = 0; r < rows; ++r)
                putSamples(img, static_cast<std::size_t>(y0 + r) * w, luma.data() + static_cast<std::size_t>(r) * pw, w);
            return true;
        }
        for (int c = 1; c < 3; ++c) {
            const CompGeometry& cg = g.comps[c];
            if (!subsampled(c)) {
                idctRow(c, my, up[c - 1].data(), pw);
                continue;
            }
            const int bw = cg.planeW + 2, sy = g.vmax / cg.v;
            const Zeb8u* origin = ctx[c - 1][cur].data() + bw + 1;
            for (int r0 = 0; r0 < stripH; r0 += chunk) {  // sy divides chunk and stripH
                const int n = std::min(chunk, stripH - r0);
                const Zeb8u* at = origin + static_cast<std::size_t>(r0 / sy) * bw;
                Zeb8u* dst = up[c - 1].data() + static_cast<std::size_t>(r0) * pw;
                const ZebSize s{cg.planeW, n / sy}, d{pw, n};
                const ZebResult r = sy == 2 ? zebiSampleUpH2V2_JPEG_8u_C1R(at, bw, s, dst, pw, d)
                                            : zebiSampleUpH2V1_JPEG_8u_C1R(at, bw, s, dst, pw, d);
                if (r != zebOk) return false;
            }
        }
        // Straight into the image when it takes bytes, else through a strip that is widened.
        Zeb8u* out = img.bytes.empty() ? rgb.data() : img.bytes.data() + static_cast<std::size_t>(y0) * 3 * w;
        for (int r0 = 0; r0 < rows; r0 += chunk) {
            const std::size_t at = static_cast<std::size_t>(r0) * pw;
            const Zeb8u* planes[3] = {luma.data() + at, up[0].data() + at, up[1].data() + at};
            if (zebiYCbCrToRGB_JPEG_8u_P3C3R(planes, pw, out + static_cast<std::size_t>(r0) * 3 * w, 3 * w,
                                             ZebSize{w, std::min(chunk, rows - r0)}) != zebOk)
                return false;
        }
        if (img.bytes.empty()) widenRow(rgb.data(), img.samples.data() + static_cast<std::size_t>(y0) * w * 3, 3 * w * rows);
        return true;
    }
};

bool decodeDct(const File& file, Image& img, std::string& error, const DecodeOptions& opt) {
    const Frame& f = file.frame;
    if (f.precision != 8) return error = "only 8-bit DCT images are supported", false;
    const int nc = static_cast<int>(f.components.size());
    if (nc != 1 && nc != 3) return error = "only greyscale and three-component images are supported", false;
    std::vector<std::pair<int, int>> samp;
    for (const Component& c : f.components) samp.push_back({c.h, c.v});

    // De-quantisation tables from the DQT values.
    std::vector<std::array<Zeb16u, 64>> inv(nc);
    for (int c = 0; c < nc; ++c) {
        const QuantTable& q = file.quant[f.components[c].tq];
        if (!q.present) return error = "component uses an undefined quantisation table", false;
        std::array<Zeb8u, 64> raw;
        for (int k = 0; k < 64; ++k) {
            if (q.zigzag[k] > 255 || q.zigzag[k] == 0) return error = "unsupported quantisation table values", false;
            raw[k] = static_cast<Zeb8u>(q.zigzag[k]);
        }
        zebiQuantInvTableInit_JPEG_8u16u(raw.data(), inv[c].data());
    }

    Geometry probe = makeGeometry(f.width, f.height, samp, false, 1);  // sampling only
    for (const CompGeometry& c : probe.comps)
        if (probe.hmax % c.h || probe.vmax % c.v) return error = "unsupported sampling factors", false;
    const bool mcuPath = opt.mcuUpsampling && nc == 3 && probe.comps[1].h == 1 && probe.comps[1].v == 1 &&
                         probe.comps[2].h == 1 && probe.comps[2].v == 1 && probe.comps[0].h <= 2 &&
                         probe.comps[0].v <= probe.comps[0].h;  // the 444, 422 and 411 MCU conversions only
    const bool strips = !mcuPath && StripOutput::supports(probe);
    // One sequential scan of every component (one block per MCU when grey):
    // decoded MCU row by MCU row, just ahead of the output.
    const int threads = std::max(1, zebcoreGetNumThreads());
    unsigned scanned = 0;  // components of the first scan, each once
    for (const ScanComponent& c : file.scans.empty() ? std::vector<ScanComponent>{} : file.scans[0].components)
        scanned |= (scanned >> c.index & 1u) ? 0x100u : 1u << c.index;
    const bool oneScan = file.scans.size() == 1 && !f.progressive() && scanned == (1u << nc) - 1 &&
                         (nc == 3 || (probe.comps[0].h == 1 && probe.comps[0].v == 1));  // it codes every block
    const bool streaming = threads == 1 && strips && oneScan;
    // With more threads, one decodes that scan into stored blocks while
    // another puts out the MCU rows it has finished.
    const bool pipelined = threads > 1 && strips && oneScan;
    // Otherwise every block is kept, zeroed first (progressive scans add to
    // them) unless the one scan writes each of them whole.
    Geometry g = streaming ? std::move(probe) : makeGeometry(f.width, f.height, samp, !oneScan);
    if (streaming) {
        for (CompGeometry& c : g.comps) {  // two MCU rows: output lags one behind
            c.window(2 * c.v);
        }
    } else if (!pipelined) {
        for (const Scan& sc : file.scans)
            if (!decodeDctScan(file, sc, g, error)) return false;
    }
    const int pw = 8 * g.mcuX * g.hmax, ph = 8 * g.mcuY * g.vmax;
    img.width = f.width;
    img.height = f.height;
    img.channels = nc;
    img.maxval = 255;
    // Every sample is written: either 8-bit ones as they are or widened ones.
    const std::size_t count = static_cast<std::size_t>(f.width) * f.height * nc;
    if (opt.bytes) {
        img.samples.clear();
        img.bytes.resize(count);
    } else {
        img.bytes.clear();
        img.samples.resize(count);
    }
    if (strips) {
        if (!streaming && !pipelined) {
            // Bands of MCU rows, one per thread (the library runs serially inside).
            const int bands = std::min(threads, g.mcuY);
            bool ok = true;
#pragma omp parallel for schedule(static, 1) num_threads(bands) if (bands > 1)
            for (int band = 0; band < bands; ++band) {
                StripOutput output(g, inv, img);
                if (!output.run(g.mcuY * band / bands, g.mcuY * (band + 1) / bands)) {
#pragma omp atomic write
                    ok = false;
                }
            }
            if (!ok) return error = "chroma up-sampling or colour conversion failed", false;
            return true;
        }
        StripOutput output(g, inv, img);
        ScanDecoder dec(file, file.scans[0], g);
        if (!dec.begin(error)) return false;
        std::string decodeError;
        auto decodeRow = [&](int my) {
            const std::size_t m0 = static_cast<std::size_t>(my) * g.mcuX;
            return dec.decode(m0, m0 + g.mcuX, decodeError);
        };
        auto outputRow = [&](int my) { return output.push(my, my > 0) && (my + 1 < g.mcuY || output.finish()); };
        const bool ok = pipeline(g.mcuY, pipelined, decodeRow, outputRow);
        if (!decodeError.empty()) return error = decodeError, false;
        if (!ok) return error = "chroma up-sampling or colour conversion failed", false;
        return true;
    }
    if (mcuPath) {
        Plane rgb;
        if (!mcuToRgb(g, inv, rgb, pw, ph)) return error = "MCU colour conversion failed", false;
        for (int y = 0; y < f.height; ++y)
            putSamples(img, static_cast<std::size_t>(y) * f.width * 3, rgb.data() + static_cast<std::size_t>(y) * pw * 3,
                       3 * f.width);
        return true;
    }

    // Inverse DCT into planes, triangle up-sampling.
    std::vector<Plane> full(nc);
    for (int c = 0; c < nc; ++c) {
        CompGeometry& cg = g.comps[c];
        Plane plane(static_cast<std::size_t>(cg.planeW) * cg.planeH);
        for (int by = 0; by < cg.blocksH; ++by)
            for (int bx = 0; bx < cg.blocksW; ++bx)
                zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(cg.block(by, bx).data(),
                                                    plane.data() + static_cast<std::size_t>(8 * by) * cg.planeW + 8 * bx,
                                                    cg.planeW, inv[c].data());
        const int sx = g.hmax / cg.h, sy = g.vmax / cg.v;
        if (sx == 1 && sy == 1) {
            full[c] = std::move(plane);
        } else if (!upsample(plane, cg.planeW, cg.planeH, sx, sy, full[c], pw, ph)) {
            return error = "chroma up-sampling failed", false;
        }
    }
    if (nc == 3) {
        Plane rgb(static_cast<std::size_t>(f.width) * f.height * 3);
        const Zeb8u* planes[3] = {full[0].data(), full[1].data(), full[2].data()};
        if (zebiYCbCrToRGB_JPEG_8u_P3C3R(planes, pw, rgb.data(), 3 * f.width, ZebSize{f.width, f.height}) != zebOk)
            return error = "colour conversion failed", false;
        for (int y = 0; y < f.height; ++y)
            putSamples(img, static_cast<std::size_t>(y) * f.width * 3, rgb.data() + static_cast<std::size_t>(y) * f.width * 3,
                       3 * f.width);
    } else {
        for (int y = 0; y < f.height; ++y)
            putSamples(img, static_cast<std::size_t>(y) * f.width, full[0].data() + static_cast<std::size_t>(y) * pw, f.width);
    }
    return true;
}

bool decodeLossless(const File& file, Image& img, std::string& error) {
    const Frame& f = file.frame;
    const int nc = static_cast<int>(f.components.size());
    if (nc != 1 && nc != 3) return error = "only greyscale and three-component lossless images are supported", false;
    for (const Component& c : f.components)
        if (c.h != 1 || c.v != 1) return error = "sub-sampled lossless images are not supported", false;
    const int w = f.width, h = f.height, P = f.precision;
    img.width = w;
    img.height = h;
    img.channels = nc;
    img.maxval = (1 << P) - 1;
    img.bytes.clear();
    img.samples.assign(static_cast<std::size_t>(w) * h * nc, 0);
    std::vector<bool> seen(nc, false);
    for (const Scan& sc : file.scans) {
        const int n = static_cast<int>(sc.components.size());
        const int predictor = sc.ss, Pt = sc.al;
        if (predictor < 1 || predictor > 7 || Pt >= P) return error = "invalid lossless scan parameters", false;
        if (sc.restartInterval % w != 0) return error = "restart intervals must cover whole rows", false;
        const int restartRows = sc.restartInterval / w;
        std::vector<std::unique_ptr<DecTable>> tables;
        std::vector<const ZebDecodeHuffmanSpec*> tabs;
        for (const ScanComponent& c : sc.components) {
            if (!sc.dc[c.td].present) return error = "scan uses an undefined Huffman table", false;
            tables.push_back(std::make_unique<DecTable>());
            if (!tables.back()->build(sc.dc[c.td])) return error = "invalid Huffman table", false;
            tabs.push_back(tables.back()->p);
            seen[c.index] = true;
        }
        std::vector<std::vector<Zeb16s>> diff(n, std::vector<Zeb16s>(w)), prev(n, std::vector<Zeb16s>(w)),
            cur(n, std::vector<Zeb16s>(w));
        std::vector<Zeb16s*> rows(n);
        for (int c = 0; c < n; ++c) rows[c] = diff[c].data();
        const std::vector<Zeb8u>& b = file.bytes;
        const int len = std::max(1, static_cast<int>(sc.dataEnd));
        int pos = static_cast<int>(sc.dataBegin), marker = 0, rst = 0;
        DecState st;
        for (int y = 0; y < h; ++y) {
            const bool restartHere = restartRows > 0 && y > 0 && y % restartRows == 0;
            if (restartHere) {
                if (!passRestart(b, sc.dataEnd, pos, marker, RST0 + (rst++ & 7)))
                    return error = "restart marker missing or out of sequence", false;
                st.reset();
            }
            if (zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(b.data(), len, &pos, rows.data(), w, n, &marker, tabs.data(),
                                                     st.p) != zebOk)
                return error = "corrupt entropy-coded data", false;
            for (int c = 0; c < n; ++c) {
                const ZebResult r = (y == 0 || restartHere)
                                        ? zebiReconstructPredFirstRow_JPEG_16s_C1(diff[c].data(), cur[c].data(), w, P, Pt)
                                        : zebiReconstructPredRow_JPEG_16s_C1(diff[c].data(), prev[c].data(),
                                                                             cur[c].data(), w, predictor);
                if (r != zebOk) return error = "reconstruction failed", false;
                const int ci = sc.components[c].index;
                const unsigned mask = static_cast<unsigned>(img.maxval);
                for (int x = 0; x < w; ++x)
                    img.at(x, y, ci) = static_cast<std::uint16_t>((static_cast<unsigned>(static_cast<Zeb16u>(cur[c][x])) << Pt) & mask);
                std::swap(cur[c], prev[c]);
            }
        }
    }
    for (bool s : seen)
        if (!s) return error = "a component is never coded", false;
    return true;
}

}  // namespace

bool encode(const Image& img, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error) {
    if (img.channels != 1 && img.channels != 3) return error = "only greyscale and RGB images", false;
    if (opt.mode == EncodeOptions::Mode::Lossless) {
        if (img.samples.empty() && !img.bytes.empty()) {  // the lossless coder reads 16-bit samples
            Image wide = img;
            wide.samples.assign(img.bytes.begin(), img.bytes.end());
            wide.bytes.clear();
            return encodeLossless(wide, opt, out, error);
        }
        return encodeLossless(img, opt, out, error);
    }
    const bool okSampling = (opt.hSamp == 1 && opt.vSamp == 1) || (opt.hSamp == 2 && (opt.vSamp == 1 || opt.vSamp == 2));
    if (!okSampling) return error = "sampling must be 4:4:4, 4:2:2 or 4:2:0", false;
    return encodeDct(img, opt, out, error);
}

bool decode(const std::vector<std::uint8_t>& bytes, Image& img, std::string& error, const DecodeOptions& opt) {
    File file;
    if (!parse(bytes, file, error)) return false;
    if (file.frame.lossless()) return decodeLossless(file, img, error);
    return decodeDct(file, img, error, opt);
}

}  // namespace zebimg::jpeg
