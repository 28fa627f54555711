// Integers in stored bytes: little-endian fields of any width, big-endian key bytes (which compare as
// unsigned bytes in the order of their values), and the 4-byte numbers of records, pages and blocks. The
// caller has checked that the bytes are there.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tableengine {

// Stored numbers are little-endian; the 4-byte ones are copied as they are on such a host.
static_assert(std::endian::native == std::endian::little, "the stored 4-byte numbers are read as host integers");

inline uint64_t GetLittleEndian(const uint8_t* p, std::size_t width)
{
    uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

inline void PutLittleEndian(uint8_t* p, uint64_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void PutBigEndian(uint8_t* p, uint64_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}

inline int32_t GetInt32(const uint8_t* p)
{
    int32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
}

inline void PutInt32(uint8_t* p, int32_t v) { std::memcpy(p, &v, 4); }

} // namespace tableengine
