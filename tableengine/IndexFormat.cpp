#include "tableengine/IndexFormat.h"

#include <algorithm>

namespace tableengine {
namespace {

// Length-prefixed text of a fixed field width: one length byte, then up to width - 1 characters.
std::string ReadShortString(const uint8_t* p, size_t width)
{
    const size_t len = std::min<size_t>(p[0], width - 1);
    return std::string(reinterpret_cast<const char*>(p + 1), len);
}

void WriteShortString(uint8_t* p, size_t width, const std::string& s)
{
    const size_t len = std::min(s.size(), width - 1);
    p[0] = static_cast<uint8_t>(len);
    std::memcpy(p + 1, s.data(), len);
}

} // namespace

TIndexHeader TIndexHeader::Decode(std::span<const uint8_t, IndexHeaderSize> bytes)
{
    const uint8_t* p = bytes.data();
    TIndexHeader h;
    h.UpdateStamp = le::I32(p + 0);
    h.VersionNum = p[8];
    std::memcpy(h.FileSignature.data(), p + 9, 16);
    h.NextFreePage = le::I32(p + 25);
    h.NextEndingPage = le::I32(p + 29);
    h.IndexCount = p[33];
    for (size_t i = 0; i < IndexSlotCount; ++i) {
        h.RootPages[i] = le::I32(p + 34 + 4 * i);
        h.DataRootPages[i] = le::I32(p + 162 + 4 * i);
    }
    h.IsDirty = false;
    return h;
}

void TIndexHeader::Encode(std::span<uint8_t, IndexHeaderSize> bytes) const
{
    uint8_t* p = bytes.data();
    std::fill(bytes.begin(), bytes.end(), uint8_t{0});
    le::PutI32(p + 0, UpdateStamp);
    p[8] = VersionNum;
    std::memcpy(p + 9, FileSignature.data(), 16);
    le::PutI32(p + 25, NextFreePage);
    le::PutI32(p + 29, NextEndingPage);
    p[33] = IndexCount;
    for (size_t i = 0; i < IndexSlotCount; ++i) {
        le::PutI32(p + 34 + 4 * i, RootPages[i]);
        le::PutI32(p + 162 + 4 * i, DataRootPages[i]);
    }
    p[290] = IsDirty ? 1 : 0;
}

TIndexDefinition TIndexDefinition::Decode(std::span<const uint8_t, IndexDefinitionSize> bytes)
{
    const uint8_t* p = bytes.data();
    TIndexDefinition d;
    d.IndexName = ReadShortString(p + 0, 61);
    d.KeySize = le::U16(p + 61);
    d.KeyForeign = p[63] != 0;
    d.KeyForeignRule = p[64];
    d.KeyForeignTable = ReadShortString(p + 65, 61);
    d.KeyDescending = p[126] != 0;
    d.KeyCaseInsensitive = p[127] != 0;
    d.KeyUnique = p[128] != 0;
    d.KeyCompressionType = p[129];
    d.KeyFieldCount = p[130];
    for (size_t i = 0; i < MaxKeyFields; ++i) {
        d.KeyDescendingFields[i] = p[131 + i] != 0;
        d.KeyFields[i] = le::U16(p + 259 + 2 * i);
    }
    d.NoKeyStatistics = p[515] != 0;
    d.IndexChanged = p[516] != 0;
    d.RemoveIndex = p[517] != 0;
    return d;
}

void TIndexDefinition::Encode(std::span<uint8_t, IndexDefinitionSize> bytes) const
{
    uint8_t* p = bytes.data();
    std::fill(bytes.begin(), bytes.end(), uint8_t{0});
    WriteShortString(p + 0, 61, IndexName);
    le::PutU16(p + 61, KeySize);
    p[63] = KeyForeign ? 1 : 0;
    p[64] = KeyForeignRule;
    WriteShortString(p + 65, 61, KeyForeignTable);
    p[126] = KeyDescending ? 1 : 0;
    p[127] = KeyCaseInsensitive ? 1 : 0;
    p[128] = KeyUnique ? 1 : 0;
    p[129] = KeyCompressionType;
    p[130] = KeyFieldCount;
    for (size_t i = 0; i < MaxKeyFields; ++i) {
        p[131 + i] = KeyDescendingFields[i] ? 1 : 0;
        le::PutU16(p + 259 + 2 * i, KeyFields[i]);
    }
    p[515] = NoKeyStatistics ? 1 : 0;
    p[516] = IndexChanged ? 1 : 0;
    p[517] = RemoveIndex ? 1 : 0;
}

TIndexDefinition TIndexDefinition::AutoPrimary()
{
    TIndexDefinition d;
    d.KeyUnique = true;
    d.KeyFieldCount = 1;
    d.KeyFields[0] = RecordIDKeyField;
    d.KeySize = 5;
    d.KeyCompressionType = icNone;
    return d;
}

TIndexDefinition TIndexDefinition::EmptyTextIndex()
{
    TIndexDefinition d;
    d.IndexName = "Sys Text";
    d.KeySize = 68;
    d.KeyUnique = false;
    d.KeyCompressionType = icFull;
    d.NoKeyStatistics = true;
    d.KeyFieldCount = 0;
    return d;
}

TPageHeader TPageHeader::Decode(const uint8_t* bytes)
{
    TPageHeader h;
    h.PageType = bytes[0];
    h.NumberOfKeys = le::U16(bytes + 1);
    h.LeftNumber = le::I32(bytes + 3);
    h.RightNumber = le::I32(bytes + 7);
    h.CompressedSize = le::U16(bytes + 11);
    return h;
}

void TPageHeader::Encode(uint8_t* bytes) const
{
    bytes[0] = PageType;
    le::PutU16(bytes + 1, NumberOfKeys);
    le::PutI32(bytes + 3, LeftNumber);
    le::PutI32(bytes + 7, RightNumber);
    le::PutU16(bytes + 11, CompressedSize);
}

} // namespace tableengine
