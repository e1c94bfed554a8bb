// JPEG (T.81) interchange-format syntax for the codec tool: parsing the marker
// segments of a file into tables, a frame and scans, and writing them back.
// The entropy-coded data itself is left to the library's coders.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zebimg::jpeg {

enum Marker : std::uint8_t {
    SOF0 = 0xC0, SOF1 = 0xC1, SOF2 = 0xC2, SOF3 = 0xC3, DHT = 0xC4,
    RST0 = 0xD0, SOI = 0xD8, EOI = 0xD9, SOS = 0xDA, DQT = 0xDB, DRI = 0xDD,
    APP0 = 0xE0, COM = 0xFE
};

struct HuffmanTable {
    bool present = false;
    std::array<std::uint8_t, 16> bits{};   // T.81 BITS: codes of length 1..16
    std::vector<std::uint8_t> values;      // T.81 HUFFVAL in code order
};

struct QuantTable {
    bool present = false;
    int precision = 0;                     // 0: 8-bit entries, 1: 16-bit entries
    std::array<std::uint16_t, 64> natural{};  // natural (row-major) order
    std::array<std::uint16_t, 64> zigzag{};   // as stored in DQT (T.81 zigzag order)
};

struct Component {
    int id = 0, h = 1, v = 1, tq = 0;
};

struct Frame {
    std::uint8_t sof = 0;   // SOF0 baseline, SOF1 extended, SOF2 progressive, SOF3 lossless
    int precision = 8;
    int width = 0, height = 0;
    std::vector<Component> components;
    int hmax = 1, vmax = 1;
    bool progressive() const { return sof == SOF2; }
    bool lossless() const { return sof == SOF3; }
};

struct ScanComponent {
    int index = 0;   // index into Frame::components
    int td = 0, ta = 0;
};

// One scan with the tables and restart interval in force when it starts.
struct Scan {
    std::vector<ScanComponent> components;
    int ss = 0, se = 63, ah = 0, al = 0;    // for lossless: ss = predictor, al = point transform
    int restartInterval = 0;
    std::array<HuffmanTable, 4> dc, ac;
    std::size_t dataBegin = 0, dataEnd = 0; // entropy-coded bytes (restart markers included)
};

struct File {
    bool jfif = false;
    Frame frame;
    std::array<QuantTable, 4> quant;        // the tables in force at the end of the header
    std::vector<Scan> scans;
    std::vector<std::uint8_t> bytes;        // the whole file
};

// Parses a whole file. Returns false with a message on malformed syntax.
bool parse(std::vector<std::uint8_t> bytes, File& file, std::string& error);

// Byte writer for the marker segments of a file.
class Writer {
public:
    void soi();
    void eoi();
    void jfif();
    void dqt(int id, const QuantTable& table);
    void sof(const Frame& frame);
    void dht(int tableClass, int id, const HuffmanTable& table);
    void dri(int interval);
    void sos(const Frame& frame, const Scan& scan);
    void rst(int n);
    void raw(const std::uint8_t* data, std::size_t n) { out_.insert(out_.end(), data, data + n); }
    std::vector<std::uint8_t>& bytes() { return out_; }

private:
    void marker(std::uint8_t m);
    void u8(int v) { out_.push_back(static_cast<std::uint8_t>(v)); }
    void u16(int v) {
        u8(v >> 8);
        u8(v & 0xFF);
    }
    std::vector<std::uint8_t> out_;
};

// T.81 Annex K example tables.
extern const std::array<std::uint8_t, 64> kLumaQuantK1;    // zigzag order
extern const std::array<std::uint8_t, 64> kChromaQuantK2;  // zigzag order
HuffmanTable annexKTable(int tableClass, int id);           // class 0 DC, 1 AC; id 0 luma, 1 chroma

}  // namespace zebimg::jpeg
