// OpenJPEG streams over bytes in memory, for the tool's JPEG 2000 tests (the
// peer reads and writes through callbacks).
#pragma once

#include <openjpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zebtest {

struct MemStream {
    std::vector<std::uint8_t> data;
    std::size_t pos = 0;
};

inline OPJ_SIZE_T memWrite(void* buf, OPJ_SIZE_T n, void* u) {
    auto* m = static_cast<MemStream*>(u);
    if (m->pos + n > m->data.size()) m->data.resize(m->pos + n);
    std::memcpy(m->data.data() + m->pos, buf, n);
    m->pos += n;
    return n;
}
inline OPJ_SIZE_T memRead(void* buf, OPJ_SIZE_T n, void* u) {
    auto* m = static_cast<MemStream*>(u);
    if (m->pos >= m->data.size()) return OPJ_SIZE_T(-1);
    n = std::min<OPJ_SIZE_T>(n, m->data.size() - m->pos);
    std::memcpy(buf, m->data.data() + m->pos, n);
    m->pos += n;
    return n;
}
inline OPJ_OFF_T memSkip(OPJ_OFF_T n, void* u) {
    auto* m = static_cast<MemStream*>(u);
    m->pos += std::size_t(n);
    return n;
}
inline OPJ_BOOL memSeek(OPJ_OFF_T n, void* u) {
    static_cast<MemStream*>(u)->pos = std::size_t(n);
    return OPJ_TRUE;
}
// A stream reading m.data (input) or writing into it.
inline opj_stream_t* memStream(MemStream& m, bool input) {
    opj_stream_t* s = opj_stream_default_create(input ? OPJ_TRUE : OPJ_FALSE);
    opj_stream_set_user_data(s, &m, nullptr);
    if (input) {
        opj_stream_set_user_data_length(s, m.data.size());
        opj_stream_set_read_function(s, memRead);
    } else {
        opj_stream_set_write_function(s, memWrite);
    }
    opj_stream_set_skip_function(s, memSkip);
    opj_stream_set_seek_function(s, memSeek);
    return s;
}

}  // namespace zebtest
