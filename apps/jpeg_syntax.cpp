#include "jpeg_syntax.h"

#include <cstring>

namespace zebimg::jpeg {

namespace {

// T.81 zigzag position k -> natural index (the tool keeps its own copy: it
// uses only the public header of the library).
constexpr std::array<std::uint8_t, 64> kZigzag = [] {
    std::array<std::uint8_t, 64> t{};
    int k = 0;
    for (int s = 0; s <= 14; ++s) {
        const int lo = s > 7 ? s - 7 : 0, hi = s < 7 ? s : 7;
        for (int i = lo; i <= hi; ++i) {
            const int r = (s & 1) ? i : s - i;
            t[k++] = static_cast<std::uint8_t>(8 * r + (s - r));
        }
    }
    return t;
}();

struct Reader {
    const std::vector<std::uint8_t>& b;
    std::size_t pos;
    std::size_t end;
    bool ok = true;
    int u8() {
        if (pos >= end) {
            ok = false;
            return 0;
        }
        return b[pos++];
    }
    int u16() {
        const int hi = u8();
        return hi << 8 | u8();
    }
};

bool fail(std::string& error, const std::string& msg) {
    error = msg;
    return false;
}

// The end of the entropy-coded data that starts at pos: the first marker
// other than a restart marker (fill bytes 0xFF are skipped).
std::size_t entropyEnd(const std::vector<std::uint8_t>& b, std::size_t pos) {
    while (pos + 1 < b.size()) {
        if (b[pos] != 0xFF) {  // on to the next 0xFF (before the last byte)
            const void* ff = std::memchr(b.data() + pos, 0xFF, b.size() - 1 - pos);
            if (!ff) return b.size();
            pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - b.data());
        }
        std::size_t q = pos + 1;
        while (q < b.size() && b[q] == 0xFF) ++q;
        if (q >= b.size()) return b.size();
        const std::uint8_t m = b[q];
        if (m == 0x00 || (m >= RST0 && m <= RST0 + 7)) {
            pos = q + 1;
            continue;
        }
        return pos;
    }
    return b.size();
}

}  // namespace

bool parse(std::vector<std::uint8_t> bytes, File& file, std::string& error) {
    file = File{};
    file.bytes = std::move(bytes);
    const std::vector<std::uint8_t>& b = file.bytes;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != SOI) return fail(error, "not a JPEG file (no SOI marker)");
    std::array<HuffmanTable, 4> dc, ac;
    int restartInterval = 0;
    bool haveFrame = false;
    std::size_t pos = 2;
    for (;;) {
        // Next marker, skipping fill bytes.
        if (pos >= b.size()) return fail(error, "JPEG file ends before EOI");
        if (b[pos] != 0xFF) return fail(error, "JPEG marker expected");
        while (pos < b.size() && b[pos] == 0xFF) ++pos;
        if (pos >= b.size()) return fail(error, "JPEG file ends before EOI");
        const std::uint8_t m = b[pos++];
        if (m == EOI) break;
        if (m == SOI || (m >= RST0 && m <= RST0 + 7) || m == 0x01) continue;  // stray, no length
        if (pos + 2 > b.size()) return fail(error, "truncated marker segment");
        const std::size_t len = static_cast<std::size_t>(b[pos] << 8 | b[pos + 1]);
        if (len < 2 || pos + len > b.size()) return fail(error, "marker segment runs past the end of the file");
        Reader r{b, pos + 2, pos + len};
        const std::size_t next = pos + len;
        switch (m) {
            case DQT:
                while (r.pos < r.end) {
                    const int pq_tq = r.u8();
                    const int pq = pq_tq >> 4, tq = pq_tq & 15;
                    if (pq > 1 || tq > 3) return fail(error, "bad DQT table");
                    QuantTable& q = file.quant[tq];
                    q.present = true;
                    q.precision = pq;
                    for (int k = 0; k < 64; ++k) {
                        q.zigzag[k] = static_cast<std::uint16_t>(pq ? r.u16() : r.u8());
                        q.natural[kZigzag[k]] = q.zigzag[k];
                    }
                    if (!r.ok) return fail(error, "truncated DQT segment");
                }
                break;
            case DHT:
                while (r.pos < r.end) {
                    const int tc_th = r.u8();
                    const int tc = tc_th >> 4, th = tc_th & 15;
                    if (tc > 1 || th > 3) return fail(error, "bad DHT table class or identifier");
                    HuffmanTable t;
                    t.present = true;
                    int total = 0;
                    for (int i = 0; i < 16; ++i) total += t.bits[i] = static_cast<std::uint8_t>(r.u8());
                    if (total > 256) return fail(error, "DHT table with more than 256 codes");
                    for (int i = 0; i < total; ++i) t.values.push_back(static_cast<std::uint8_t>(r.u8()));
                    if (!r.ok) return fail(error, "truncated DHT segment");
                    (tc ? ac : dc)[th] = std::move(t);
                }
                break;
            case DRI:
                restartInterval = r.u16();
                if (!r.ok) return fail(error, "truncated DRI segment");
                break;
            case SOF0: case SOF1: case SOF2: case SOF3: {
                if (haveFrame) return fail(error, "more than one frame header");
                haveFrame = true;
                Frame& f = file.frame;
                f.sof = m;
                f.precision = r.u8();
                f.height = r.u16();
                f.width = r.u16();
                const int n = r.u8();
                if (!r.ok || n < 1 || n > 4) return fail(error, "bad frame header");
                for (int i = 0; i < n; ++i) {
                    Component c;
                    c.id = r.u8();
                    const int hv = r.u8();
                    c.h = hv >> 4;
                    c.v = hv & 15;
                    c.tq = r.u8();
                    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3)
                        return fail(error, "bad component in frame header");
                    f.hmax = std::max(f.hmax, c.h);
                    f.vmax = std::max(f.vmax, c.v);
                    f.components.push_back(c);
                }
                if (!r.ok) return fail(error, "truncated frame header");
                if (f.width < 1 || f.height < 1) return fail(error, "frame without a size (DNL is not supported)");
                const bool okPrecision = f.lossless() ? (f.precision >= 2 && f.precision <= 16)
                                                      : (f.precision == 8 || (f.precision == 12 && f.sof != SOF0));
                if (!okPrecision) return fail(error, "unsupported sample precision");
                break;
            }
            case SOS: {
                if (!haveFrame) return fail(error, "scan before the frame header");
                Scan s;
                const int n = r.u8();
                if (n < 1 || n > 4) return fail(error, "bad scan header");
                for (int i = 0; i < n; ++i) {
                    ScanComponent sc;
                    const int id = r.u8();
                    const int t = r.u8();
                    sc.td = t >> 4;
                    sc.ta = t & 15;
                    sc.index = -1;
                    for (std::size_t c = 0; c < file.frame.components.size(); ++c)
                        if (file.frame.components[c].id == id) sc.index = static_cast<int>(c);
                    if (sc.index < 0 || sc.td > 3 || sc.ta > 3) return fail(error, "scan names an unknown component");
                    s.components.push_back(sc);
                }
                s.ss = r.u8();
                s.se = r.u8();
                const int a = r.u8();
                s.ah = a >> 4;
                s.al = a & 15;
                if (!r.ok) return fail(error, "truncated scan header");
                s.restartInterval = restartInterval;
                s.dc = dc;
                s.ac = ac;
                s.dataBegin = next;
                s.dataEnd = entropyEnd(b, next);
                file.scans.push_back(std::move(s));
                pos = file.scans.back().dataEnd;
                continue;
            }
            case APP0:
                if (len >= 7 && b[pos + 2] == 'J' && b[pos + 3] == 'F' && b[pos + 4] == 'I' && b[pos + 5] == 'F' &&
                    b[pos + 6] == 0)
                    file.jfif = true;
                break;
            default:
                if (m >= 0xC5 && m <= 0xCF && m != 0xC8 && m != 0xCC)
                    return fail(error, "unsupported JPEG process (hierarchical or arithmetic coding)");
                break;  // APPn, COM and others: skipped
        }
        pos = next;
    }
    if (!haveFrame) return fail(error, "no frame header");
    if (file.scans.empty()) return fail(error, "no scan");
    // The coded data bounds the image: every Huffman code has at least one
    // bit, so a DCT block needs one bit in its first DC scan and a lossless
    // sample one bit.  A frame that declares more samples than its scans can
    // hold (a few hundred bytes may declare 2^32) is refused before anything
    // is allocated for it.
    const Frame& f = file.frame;
    std::uint64_t samples = 0, coded = 0;
    for (const Component& c : f.components)
        samples += ((std::uint64_t(f.width) * c.h + f.hmax - 1) / f.hmax) *
                   ((std::uint64_t(f.height) * c.v + f.vmax - 1) / f.vmax);
    for (const Scan& s : file.scans) coded += s.dataEnd - s.dataBegin;
    if (samples > coded * (f.lossless() ? 8 : 512) + (1u << 20))
        return fail(error, "JPEG image larger than its coded data can hold");
    return true;
}

void Writer::marker(std::uint8_t m) {
    u8(0xFF);
    u8(m);
}
void Writer::soi() { marker(SOI); }
void Writer::eoi() { marker(EOI); }
void Writer::jfif() {
    marker(APP0);
    u16(16);
    for (char c : {'J', 'F', 'I', 'F', '\0'}) u8(c);
    u8(1);
    u8(1);   // version 1.01
    u8(0);   // no units
    u16(1);
    u16(1);  // aspect 1:1
    u8(0);
    u8(0);   // no thumbnail
}
void Writer::dqt(int id, const QuantTable& t) {
    marker(DQT);
    u16(2 + 1 + 64 * (t.precision ? 2 : 1));
    u8(t.precision << 4 | id);
    for (int k = 0; k < 64; ++k) {
        if (t.precision) u16(t.natural[kZigzag[k]]);
        else u8(t.natural[kZigzag[k]]);
    }
}
void Writer::sof(const Frame& f) {
    marker(f.sof);
    u16(8 + 3 * static_cast<int>(f.components.size()));
    u8(f.precision);
    u16(f.height);
    u16(f.width);
    u8(static_cast<int>(f.components.size()));
    for (const Component& c : f.components) {
        u8(c.id);
        u8(c.h << 4 | c.v);
        u8(c.tq);
    }
}
void Writer::dht(int tableClass, int id, const HuffmanTable& t) {
    marker(DHT);
    u16(2 + 1 + 16 + static_cast<int>(t.values.size()));
    u8(tableClass << 4 | id);
    for (std::uint8_t v : t.bits) u8(v);
    for (std::uint8_t v : t.values) u8(v);
}
void Writer::dri(int interval) {
    marker(DRI);
    u16(4);
    u16(interval);
}
void Writer::sos(const Frame& f, const Scan& s) {
    marker(SOS);
    u16(6 + 2 * static_cast<int>(s.components.size()));
    u8(static_cast<int>(s.components.size()));
    for (const ScanComponent& c : s.components) {
        u8(f.components[c.index].id);
        u8(c.td << 4 | c.ta);
    }
    u8(s.ss);
    u8(s.se);
    u8(s.ah << 4 | s.al);
}
void Writer::rst(int n) { marker(static_cast<std::uint8_t>(RST0 + (n & 7))); }

// T.81 Annex K tables K.1 and K.2, in zigzag order.
const std::array<std::uint8_t, 64> kLumaQuantK1 = {
    16, 11, 12, 14, 12, 10, 16, 14, 13, 14, 18, 17, 16, 19, 24, 40, 26, 24, 22, 22, 24, 49,
    35, 37, 29, 40, 58, 51, 61, 60, 57, 51, 56, 55, 64, 72, 92, 78, 64, 68, 87, 69, 55,
    56, 80, 109, 81, 87, 95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
const std::array<std::uint8_t, 64> kChromaQuantK2 = {
    17, 18, 18, 24, 21, 24, 47, 26, 26, 47, 99, 66, 56, 66, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

HuffmanTable annexKTable(int tableClass, int id) {
    static const std::uint8_t dcLumaBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    static const std::uint8_t dcChromaBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
    static const std::uint8_t acLumaBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
    static const std::uint8_t acChromaBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
    static const std::uint8_t acLumaVals[] = {
        0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
        0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
        0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
        0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
        0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
        0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
        0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
        0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
        0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
    static const std::uint8_t acChromaVals[] = {
        0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
        0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1,
        0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36,
        0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
        0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
        0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a,
        0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
        0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
        0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
    HuffmanTable t;
    t.present = true;
    const std::uint8_t* bits = tableClass == 0 ? (id == 0 ? dcLumaBits : dcChromaBits)
                                               : (id == 0 ? acLumaBits : acChromaBits);
    for (int i = 0; i < 16; ++i) t.bits[i] = bits[i];
    if (tableClass == 0) {
        for (int v = 0; v < 12; ++v) t.values.push_back(static_cast<std::uint8_t>(v));
    } else {
        const std::uint8_t* vals = id == 0 ? acLumaVals : acChromaVals;
        t.values.assign(vals, vals + 162);
    }
    return t;
}

}  // namespace zebimg::jpeg
