// Little-endian and big-endian stores into byte buffers, and length-prefixed texts, for the writer.
#pragma once

#include "tableengine/format/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace tableengine::writer {

using Bytes = std::vector<uint8_t>;

inline void PutLE(Bytes& buf, size_t at, uint64_t value, size_t width) {
    if (at > buf.size() || width > buf.size() - at)
        throw std::out_of_range("store beyond the end of a buffer");
    PutLittleEndian(buf.data() + at, value, width);
}
inline void PutU8(Bytes& buf, size_t at, uint8_t v) { buf.at(at) = v; }
inline void PutU16(Bytes& buf, size_t at, uint16_t v) { PutLE(buf, at, v, 2); }
inline void PutI32(Bytes& buf, size_t at, int32_t v) { PutLE(buf, at, static_cast<uint32_t>(v), 4); }
inline void PutI64(Bytes& buf, size_t at, int64_t v) { PutLE(buf, at, static_cast<uint64_t>(v), 8); }
inline void PutF64(Bytes& buf, size_t at, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    PutLE(buf, at, bits, 8);
}

// A length byte and up to maxChars characters; the caller has checked the length.
inline void PutShortString(Bytes& buf, size_t at, std::string_view text, size_t maxChars) {
    const size_t n = text.size() < maxChars ? text.size() : maxChars;
    buf.at(at) = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i)
        buf.at(at + 1 + i) = static_cast<uint8_t>(text[i]);
}

inline void Append(Bytes& out, const Bytes& part) { out.insert(out.end(), part.begin(), part.end()); }

} // namespace tableengine::writer
