// The BLOB file's on-disk records: the 512-byte header and the 18-byte header of every block.
#pragma once

#include "tableengine/IndexFormat.h"

#include <array>
#include <cstdint>
#include <span>

namespace tableengine {

inline constexpr size_t BlobHeaderSize = 512;
inline constexpr size_t BlockHeaderSize = 18;
inline constexpr uint8_t BlobVersionNum = 6;

struct TBlobHeader {
    int32_t UpdateStamp = 0;
    uint8_t VersionNum = 0;
    std::array<uint8_t, 16> FileSignature{};
    int32_t NextFreeBlock = 0;
    int32_t NextEndingBlock = 1;
    bool IsDirty = false;

    // IsDirty is ignored on reading and cleared.
    static TBlobHeader Decode(std::span<const uint8_t, BlobHeaderSize> bytes);
    void Encode(std::span<uint8_t, BlobHeaderSize> bytes) const;
};

struct TBlockHeader {
    int32_t PrevNumber = 0;
    int32_t NextNumber = 0;
    uint16_t Length = 0;
    int32_t Signature = 0;
    int32_t TotalLength = 0;

    static TBlockHeader Decode(const uint8_t* bytes); // BlockHeaderSize bytes
    void Encode(uint8_t* bytes) const;
};

} // namespace tableengine
