// The index file's on-disk records: the 512-byte header, the 768-byte definition slots and the 13-byte
// page header, decoded from and encoded to their packed little-endian bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace tableengine {

// Little-endian field access on packed byte images. Callers guarantee the bounds.
namespace le {
inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int32_t I32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}
inline void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutI32(uint8_t* p, int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}
} // namespace le

inline constexpr size_t IndexHeaderSize = 512;
inline constexpr size_t IndexDefinitionSize = 768;
inline constexpr size_t IndexSlotCount = 32;
inline constexpr size_t IndexDefinitionAreaSize = IndexSlotCount * IndexDefinitionSize; // 24,576
inline constexpr size_t IndexFileHeaderSize = IndexHeaderSize + IndexDefinitionAreaSize; // 25,088
inline constexpr size_t PageHeaderSize = 13;
inline constexpr uint8_t IndexVersionNum = 6;
inline constexpr int TextIndexSlot = 31;
inline constexpr int MaxSecondaryIndexes = 30;
inline constexpr uint16_t MaxKeyFields = 128;
inline constexpr uint16_t RecordIDKeyField = 0xFFFF;
inline constexpr uint16_t RecordHashKeyField = 0xFFFE;
inline constexpr uint8_t NoIndexSlot = 255;
inline constexpr uint8_t UnselectedIndexSlot = 128;

enum TIndexCompression : uint8_t { icNone = 0, icDuplicateByte = 1, icTrailingByte = 2, icFull = 3 };

enum TPageType : uint8_t { ptRootNode = 0, ptNode = 1, ptLeaf = 2, ptRootLeaf = 3, ptData = 4 };

struct TIndexHeader {
    int32_t UpdateStamp = 0;
    uint8_t VersionNum = 0;
    std::array<uint8_t, 16> FileSignature{};
    int32_t NextFreePage = 0;
    int32_t NextEndingPage = 1;
    uint8_t IndexCount = 0;
    std::array<int32_t, IndexSlotCount> RootPages{};
    std::array<int32_t, IndexSlotCount> DataRootPages{};
    bool IsDirty = false;

    // IsDirty is ignored on reading and cleared.
    static TIndexHeader Decode(std::span<const uint8_t, IndexHeaderSize> bytes);
    void Encode(std::span<uint8_t, IndexHeaderSize> bytes) const;
};

struct TIndexDefinition {
    std::string IndexName; // ANSI, at most 60 characters
    uint16_t KeySize = 0;
    bool KeyForeign = false;
    uint8_t KeyForeignRule = 0;
    std::string KeyForeignTable;
    bool KeyDescending = false;
    bool KeyCaseInsensitive = false;
    bool KeyUnique = false;
    uint8_t KeyCompressionType = icNone;
    uint8_t KeyFieldCount = 0;
    std::array<bool, MaxKeyFields> KeyDescendingFields{};
    std::array<uint16_t, MaxKeyFields> KeyFields{};
    bool NoKeyStatistics = false;
    bool IndexChanged = false;
    bool RemoveIndex = false;

    static TIndexDefinition Decode(std::span<const uint8_t, IndexDefinitionSize> bytes);
    void Encode(std::span<uint8_t, IndexDefinitionSize> bytes) const;

    // The automatic primary index on the record ID, and the empty text-index definition of slot 31.
    static TIndexDefinition AutoPrimary();
    static TIndexDefinition EmptyTextIndex();
};

struct TPageHeader {
    uint8_t PageType = 0;
    uint16_t NumberOfKeys = 0;
    int32_t LeftNumber = 0;
    int32_t RightNumber = 0;
    uint16_t CompressedSize = 0;

    static TPageHeader Decode(const uint8_t* bytes); // PageHeaderSize bytes
    void Encode(uint8_t* bytes) const;
};

} // namespace tableengine
