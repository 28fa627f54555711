#include "tableengine/BlobFormat.h"

#include <algorithm>
#include <cstring>

namespace tableengine {

TBlobHeader TBlobHeader::Decode(std::span<const uint8_t, BlobHeaderSize> bytes)
{
    const uint8_t* p = bytes.data();
    TBlobHeader h;
    h.UpdateStamp = le::I32(p + 0);
    h.VersionNum = p[8];
    std::memcpy(h.FileSignature.data(), p + 9, 16);
    h.NextFreeBlock = le::I32(p + 25);
    h.NextEndingBlock = le::I32(p + 29);
    h.IsDirty = false;
    return h;
}

void TBlobHeader::Encode(std::span<uint8_t, BlobHeaderSize> bytes) const
{
    uint8_t* p = bytes.data();
    std::fill(bytes.begin(), bytes.end(), uint8_t{0});
    le::PutI32(p + 0, UpdateStamp);
    p[8] = VersionNum;
    std::memcpy(p + 9, FileSignature.data(), 16);
    le::PutI32(p + 25, NextFreeBlock);
    le::PutI32(p + 29, NextEndingBlock);
    p[33] = IsDirty ? 1 : 0;
}

TBlockHeader TBlockHeader::Decode(const uint8_t* bytes)
{
    TBlockHeader h;
    h.PrevNumber = le::I32(bytes + 0);
    h.NextNumber = le::I32(bytes + 4);
    h.Length = le::U16(bytes + 8);
    h.Signature = le::I32(bytes + 10);
    h.TotalLength = le::I32(bytes + 14);
    return h;
}

void TBlockHeader::Encode(uint8_t* bytes) const
{
    le::PutI32(bytes + 0, PrevNumber);
    le::PutI32(bytes + 4, NextNumber);
    le::PutU16(bytes + 8, Length);
    le::PutI32(bytes + 10, Signature);
    le::PutI32(bytes + 14, TotalLength);
}

} // namespace tableengine
