#include "tiff.h"

#include <algorithm>
#include <map>

#include "zeb.h"

namespace zebimg::tiff {

namespace {

enum Tag : std::uint16_t {
    ImageWidth = 256, ImageLength = 257, BitsPerSample = 258, Compression = 259, Photometric = 262,
    StripOffsets = 273, SamplesPerPixel = 277, RowsPerStrip = 278, StripByteCounts = 279, XResolution = 282,
    YResolution = 283, PlanarConfiguration = 284, ResolutionUnit = 296, Predictor = 317
};
enum Type : std::uint16_t { BYTE = 1, ASCII = 2, SHORT = 3, LONG = 4, RATIONAL = 5 };
constexpr int kNone = 1, kPackBits = 32773;

int typeSize(int type) {
    switch (type) {
        case BYTE: case ASCII: return 1;
        case SHORT: return 2;
        case LONG: return 4;
        case RATIONAL: return 8;
        default: return 0;
    }
}

// Bounds-checked reads in the file's byte order.
struct Reader {
    const std::vector<std::uint8_t>& b;
    bool big;
    bool ok = true;
    std::uint32_t u16(std::size_t at) {
        if (at + 2 > b.size()) return ok = false, 0;
        return big ? (b[at] << 8 | b[at + 1]) : (b[at] | b[at + 1] << 8);
    }
    std::uint32_t u32(std::size_t at) {
        if (at + 4 > b.size()) return ok = false, 0;
        const std::uint32_t x = u16(at), y = u16(at + 2);
        return big ? (x << 16 | y) : (y << 16 | x);
    }
};

// The values of one IFD entry (SHORT or LONG, any count).
bool entryValues(Reader& r, std::size_t entry, std::vector<std::uint32_t>& values) {
    const int type = static_cast<int>(r.u16(entry + 2));
    const std::uint32_t count = r.u32(entry + 4);
    if (!r.ok || (type != SHORT && type != LONG) || count == 0 || count > (1u << 24)) return false;
    const std::size_t bytes = static_cast<std::size_t>(count) * typeSize(type);
    std::size_t at = entry + 8;
    if (bytes > 4) at = r.u32(entry + 8);
    if (!r.ok || at + bytes > r.b.size()) return false;
    values.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) values[i] = type == SHORT ? r.u16(at + 2 * i) : r.u32(at + 4 * i);
    return r.ok;
}

}  // namespace

bool isTiff(const std::vector<std::uint8_t>& b) {
    return b.size() >= 8 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                             (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42));
}

bool read(const std::vector<std::uint8_t>& b, Image& img, std::string& error) {
    if (!isTiff(b)) return error = "not a TIFF file", false;
    Reader r{b, b[0] == 'M'};
    const std::size_t ifd = r.u32(4);
    const std::uint32_t n = r.u16(ifd);
    if (!r.ok || n == 0 || ifd + 2 + 12 * static_cast<std::size_t>(n) > b.size()) return error = "bad TIFF directory", false;
    std::map<int, std::vector<std::uint32_t>> tags;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::size_t e = ifd + 2 + 12 * static_cast<std::size_t>(i);
        const int tag = static_cast<int>(r.u16(e));
        std::vector<std::uint32_t> v;
        if (entryValues(r, e, v)) tags[tag] = std::move(v);
    }
    auto one = [&](int tag, std::uint32_t fallback) {
        const auto it = tags.find(tag);
        return it == tags.end() ? fallback : it->second[0];
    };
    const std::uint32_t w = one(ImageWidth, 0), h = one(ImageLength, 0);
    const std::uint32_t spp = one(SamplesPerPixel, 1), compression = one(Compression, kNone);
    const std::uint32_t photometric = one(Photometric, 99), planar = one(PlanarConfiguration, 1);
    if (w < 1 || h < 1 || w > 65535 || h > 65535) return error = "unsupported TIFF image size", false;
    if (spp != 1 && spp != 3) return error = "only greyscale and RGB TIFF images are supported", false;
    const auto bps = tags.find(BitsPerSample);
    if (bps != tags.end())
        for (std::uint32_t v : bps->second)
            if (v != 8) return error = "only 8-bit TIFF samples are supported", false;
    if (compression != kNone && compression != kPackBits) return error = "unsupported TIFF compression", false;
    if (planar != 1 && spp > 1) return error = "planar TIFF images are not supported", false;
    if ((spp == 1 && photometric > 1) || (spp == 3 && photometric != 2))
        return error = "unsupported TIFF photometric interpretation", false;
    if (one(Predictor, 1) != 1) return error = "TIFF predictors are not supported", false;
    const auto offs = tags.find(StripOffsets), counts = tags.find(StripByteCounts);
    if (offs == tags.end()) return error = "TIFF file without strips", false;
    const std::uint32_t rowsPerStrip = std::min<std::uint32_t>(one(RowsPerStrip, h), h);
    if (rowsPerStrip < 1) return error = "bad TIFF rows per strip", false;
    const std::size_t strips = (h + rowsPerStrip - 1) / rowsPerStrip;
    if (offs->second.size() < strips) return error = "TIFF strip table too short", false;
    if (compression == kPackBits && (counts == tags.end() || counts->second.size() < strips))
        return error = "PackBits TIFF without strip byte counts", false;

    // Every sample comes out of the file's bytes: an uncompressed sample takes
    // one, a two-byte PackBits run packet gives at most 128.  Larger claims are
    // refused before anything the size of the image is allocated.
    if (std::uint64_t(w) * spp * h > (compression == kPackBits ? 64 : 1) * std::uint64_t(b.size()))
        return error = "TIFF image larger than its data", false;
    const int rowBytes = static_cast<int>(w * spp);
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    img.channels = static_cast<int>(spp);
    img.maxval = 255;
    img.samples.assign(static_cast<std::size_t>(rowBytes) * h, 0);
    std::vector<Zeb8u> row(rowBytes);
    for (std::size_t s = 0; s < strips; ++s) {
        const std::size_t start = offs->second[s];
        const std::size_t avail = start < b.size() ? b.size() - start : 0;
        std::size_t len = counts != tags.end() && counts->second.size() > s ? counts->second[s] : avail;
        if (len > avail) return error = "TIFF strip runs past the end of the file", false;
        int pos = 0;
        const std::uint32_t y0 = static_cast<std::uint32_t>(s) * rowsPerStrip;
        for (std::uint32_t y = y0; y < std::min(h, y0 + rowsPerStrip); ++y) {
            if (compression == kPackBits) {
                if (len > 0x7FFFFFFF ||
                    zebiUnpackBitsRow_TIFF_8u_C1(b.data() + start, &pos, static_cast<int>(len), row.data(), rowBytes) !=
                        zebOk)
                    return error = "corrupt PackBits data in TIFF strip", false;
            } else {
                if (static_cast<std::size_t>(pos) + rowBytes > len) return error = "TIFF strip is truncated", false;
                std::copy(b.begin() + static_cast<long>(start + pos), b.begin() + static_cast<long>(start + pos + rowBytes),
                          row.begin());
                pos += rowBytes;
            }
            for (int i = 0; i < rowBytes; ++i)
                img.samples[static_cast<std::size_t>(y) * rowBytes + i] = photometric == 0 ? 255 - row[i] : row[i];
        }
    }
    return true;
}

bool write(const Image& img, const WriteOptions& opt, std::vector<std::uint8_t>& out, std::string& error) {
    if (img.maxval != 255 || (img.channels != 1 && img.channels != 3))
        return error = "TIFF output takes 8-bit greyscale or RGB images", false;
    const int rowBytes = img.width * img.channels;
    const int rowsPerStrip = std::max(1, std::min(img.height, opt.stripBytes / std::max(1, rowBytes)));
    const int strips = (img.height + rowsPerStrip - 1) / rowsPerStrip;
    out.assign(8, 0);
    out[0] = out[1] = 'I';
    out[2] = 42;
    // Strip data first, right after the header.
    std::vector<std::uint32_t> offsets, counts;
    std::vector<Zeb8u> row(rowBytes), packed(rowBytes + rowBytes / 128 + 8);
    for (int s = 0; s < strips; ++s) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        for (int y = s * rowsPerStrip; y < std::min(img.height, (s + 1) * rowsPerStrip); ++y) {
            for (int i = 0; i < rowBytes; ++i) row[i] = static_cast<Zeb8u>(img.samples[static_cast<std::size_t>(y) * rowBytes + i]);
            if (opt.packBits) {
                int pos = 0;
                if (zebiPackBitsRow_TIFF_8u_C1(row.data(), rowBytes, packed.data(), &pos, static_cast<int>(packed.size())) !=
                    zebOk)
                    return error = "PackBits coding failed", false;
                out.insert(out.end(), packed.begin(), packed.begin() + pos);
            } else {
                out.insert(out.end(), row.begin(), row.end());
            }
        }
        counts.push_back(static_cast<std::uint32_t>(out.size()) - offsets.back());
    }
    if (out.size() & 1) out.push_back(0);  // word alignment of what follows
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        out[at] = static_cast<std::uint8_t>(v);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    auto append32 = [&](std::uint32_t v) {
        out.resize(out.size() + 4);
        put32(out.size() - 4, v);
    };
    // Out-of-line values: strip tables, bits per sample, resolutions.
    auto arrayAt = [&](const std::vector<std::uint32_t>& v) {
        const auto at = static_cast<std::uint32_t>(out.size());
        for (std::uint32_t x : v) append32(x);
        return at;
    };
    const std::uint32_t offsAt = strips > 1 ? arrayAt(offsets) : offsets[0];
    const std::uint32_t countsAt = strips > 1 ? arrayAt(counts) : counts[0];
    const std::uint32_t bpsAt = static_cast<std::uint32_t>(out.size());
    if (img.channels == 3) {
        out.resize(out.size() + 8);
        put16(bpsAt, 8);
        put16(bpsAt + 2, 8);
        put16(bpsAt + 4, 8);
    }
    const std::uint32_t resAt = static_cast<std::uint32_t>(out.size());
    append32(72);
    append32(1);
    // The directory.
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    const std::vector<Entry> entries = {
        {ImageWidth, LONG, 1, static_cast<std::uint32_t>(img.width)},
        {ImageLength, LONG, 1, static_cast<std::uint32_t>(img.height)},
        {BitsPerSample, SHORT, static_cast<std::uint32_t>(img.channels), img.channels == 3 ? bpsAt : 8},
        {Compression, SHORT, 1, static_cast<std::uint32_t>(opt.packBits ? kPackBits : kNone)},
        {Photometric, SHORT, 1, img.channels == 3 ? 2u : 1u},
        {StripOffsets, LONG, static_cast<std::uint32_t>(strips), offsAt},
        {SamplesPerPixel, SHORT, 1, static_cast<std::uint32_t>(img.channels)},
        {RowsPerStrip, LONG, 1, static_cast<std::uint32_t>(rowsPerStrip)},
        {StripByteCounts, LONG, static_cast<std::uint32_t>(strips), countsAt},
        {XResolution, RATIONAL, 1, resAt},
        {YResolution, RATIONAL, 1, resAt},
        {PlanarConfiguration, SHORT, 1, 1},
        {ResolutionUnit, SHORT, 1, 2},
    };
    const std::size_t ifd = out.size();
    put32(4, static_cast<std::uint32_t>(ifd));
    out.resize(ifd + 2 + 12 * entries.size() + 4, 0);
    put16(ifd, static_cast<std::uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t e = ifd + 2 + 12 * i;
        put16(e, entries[i].tag);
        put16(e + 2, entries[i].type);
        put32(e + 4, entries[i].count);
        if (entries[i].type == SHORT && entries[i].count == 1)
            put16(e + 8, entries[i].value);
        else
            put32(e + 8, entries[i].value);
    }
    return true;
}

}  // namespace zebimg::tiff
