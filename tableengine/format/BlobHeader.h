// On-disk layout of the BLOB file (".blb"): header and block header. Packed, little-endian.
#pragma once

#include "tableengine/format/DataHeader.h"

#include <cstddef>
#include <cstdint>

namespace tableengine {

#pragma pack(push, 1)

struct TBlobHeader {
    int32_t UpdateStamp;
    uint8_t EmptySpace1[4];
    uint8_t VersionNum;
    TMD5Digest FileSignature;
    int32_t NextFreeBlock;
    int32_t NextEndingBlock;
    uint8_t IsDirty;
    uint8_t EmptySpace[478];
};
static_assert(sizeof(TBlobHeader) == 512);
static_assert(offsetof(TBlobHeader, IsDirty) == 33);

struct TBlockHeader {
    int32_t PrevNumber;
    int32_t NextNumber;
    uint16_t Length;
    int32_t Signature;
    int32_t TotalLength;
};
static_assert(sizeof(TBlockHeader) == 18);

#pragma pack(pop)

inline constexpr uint32_t BlobFileHeaderSize = sizeof(TBlobHeader);
inline constexpr uint32_t BlockHeaderSize = sizeof(TBlockHeader);
inline constexpr int32_t MinBlobBlockSize = 64;
inline constexpr int32_t MaxBlobBlockSize = 65536;

} // namespace tableengine
