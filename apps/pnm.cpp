#include "pnm.h"

#include <cstdio>

namespace zebimg {

int Image::bitDepth() const {
    int bits = 1;
    while ((1 << bits) - 1 < maxval) ++bits;
    return bits;
}

namespace {

// Reads the next header integer, skipping white space and comments.
bool headerInt(const std::vector<std::uint8_t>& b, std::size_t& pos, long& value) {
    for (;;) {
        while (pos < b.size() && (b[pos] == ' ' || b[pos] == '\t' || b[pos] == '\n' || b[pos] == '\r')) ++pos;
        if (pos < b.size() && b[pos] == '#') {
            while (pos < b.size() && b[pos] != '\n') ++pos;
            continue;
        }
        break;
    }
    if (pos >= b.size() || b[pos] < '0' || b[pos] > '9') return false;
    value = 0;
    while (pos < b.size() && b[pos] >= '0' && b[pos] <= '9') {
        value = value * 10 + (b[pos++] - '0');
        if (value > 1000000000L) return false;
    }
    return true;
}

}  // namespace

bool parsePnm(const std::vector<std::uint8_t>& b, Image& img, std::string& error) {
    if (b.size() < 2 || b[0] != 'P' || (b[1] != '5' && b[1] != '6')) {
        error = "not a binary PGM/PPM file (P5 or P6)";
        return false;
    }
    std::size_t pos = 2;
    long w, h, maxval;
    if (!headerInt(b, pos, w) || !headerInt(b, pos, h) || !headerInt(b, pos, maxval)) {
        error = "malformed PGM/PPM header";
        return false;
    }
    if (w < 1 || h < 1 || w > 65535 || h > 65535 || maxval < 1 || maxval > 65535) {
        error = "unsupported PGM/PPM dimensions or maximum value";
        return false;
    }
    if (pos >= b.size()) {
        error = "PGM/PPM file ends in its header";
        return false;
    }
    ++pos;  // the single white-space byte before the raster
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    img.channels = b[1] == '5' ? 1 : 3;
    img.maxval = static_cast<int>(maxval);
    const std::size_t count = static_cast<std::size_t>(w) * h * img.channels;
    const std::size_t bytesPer = maxval > 255 ? 2 : 1;
    if (b.size() - pos < count * bytesPer) {
        error = "PGM/PPM raster is truncated";
        return false;
    }
    img.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t v = bytesPer == 2 ? static_cast<std::uint16_t>(b[pos + 2 * i] << 8 | b[pos + 2 * i + 1]) : b[pos + i];
        if (v > maxval) v = static_cast<std::uint16_t>(maxval);
        img.samples[i] = v;
    }
    return true;
}

std::vector<std::uint8_t> writePnm(const Image& img) {
    char header[64];
    const int n = std::snprintf(header, sizeof header, "P%c\n%d %d\n%d\n", img.channels == 1 ? '5' : '6', img.width,
                                img.height, img.maxval);
    std::vector<std::uint8_t> out(header, header + n);
    if (!img.bytes.empty()) {
        out.insert(out.end(), img.bytes.begin(), img.bytes.end());
        return out;
    }
    const bool wide = img.maxval > 255;
    out.reserve(out.size() + img.samples.size() * (wide ? 2 : 1));
    for (std::uint16_t v : img.samples) {
        if (wide) out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    bytes.clear();
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) error = "cannot read " + path;
    return ok;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create " + path;
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace zebimg
