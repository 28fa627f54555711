// On-disk layout of the index file (".idx"): header, definition slots and page header. Packed, little-endian.
#pragma once

#include "tableengine/format/DataHeader.h"

#include <cstddef>
#include <cstdint>

namespace tableengine {

#pragma pack(push, 1)

struct TIndexHeader {
    int32_t UpdateStamp;
    uint8_t EmptySpace1[4];
    uint8_t VersionNum;
    TMD5Digest FileSignature;
    int32_t NextFreePage;
    int32_t NextEndingPage;
    uint8_t IndexCount;
    int32_t RootPages[32];
    int32_t DataRootPages[32];
    uint8_t IsDirty;
    uint8_t EmptySpace2[221];
};
static_assert(sizeof(TIndexHeader) == 512);
static_assert(offsetof(TIndexHeader, IndexCount) == 33);
static_assert(offsetof(TIndexHeader, RootPages) == 34);
static_assert(offsetof(TIndexHeader, DataRootPages) == 162);
static_assert(offsetof(TIndexHeader, IsDirty) == 290);

struct TIndexDefinition {
    uint8_t IndexName[61];
    uint16_t KeySize;
    uint8_t KeyForeign;
    uint8_t KeyForeignRule;
    uint8_t KeyForeignTable[61];
    uint8_t KeyDescending;
    uint8_t KeyCaseInsensitive;
    uint8_t KeyUnique;
    uint8_t KeyCompressionType;
    uint8_t KeyFieldCount;
    uint8_t KeyDescendingFields[128];
    uint16_t KeyFields[128];
    uint8_t NoKeyStatistics;
    uint8_t IndexChanged;
    uint8_t RemoveIndex;
    uint8_t EmptySpace[250];
};
static_assert(sizeof(TIndexDefinition) == 768);
static_assert(offsetof(TIndexDefinition, KeySize) == 61);
static_assert(offsetof(TIndexDefinition, KeyDescending) == 126);
static_assert(offsetof(TIndexDefinition, KeyCompressionType) == 129);
static_assert(offsetof(TIndexDefinition, KeyDescendingFields) == 131);
static_assert(offsetof(TIndexDefinition, KeyFields) == 259);
static_assert(offsetof(TIndexDefinition, NoKeyStatistics) == 515);
static_assert(offsetof(TIndexDefinition, EmptySpace) == 518);

struct TPageHeader {
    uint8_t PageType;
    uint16_t NumberOfKeys;
    int32_t LeftNumber;
    int32_t RightNumber;
    uint16_t CompressedSize;
};
static_assert(sizeof(TPageHeader) == 13);

#pragma pack(pop)

enum TIndexCompression : uint8_t { icNone = 0, icDuplicateByte = 1, icTrailingByte = 2, icFull = 3 };
enum TPageType : uint8_t { ptRootNode = 0, ptNode = 1, ptLeaf = 2, ptRootLeaf = 3, ptData = 4 };

inline constexpr int IndexSlotCount = 32;
inline constexpr int MaxSecondaryIndexes = 30;
inline constexpr int TextIndexSlot = 31;
inline constexpr uint32_t IndexDefinitionAreaSize = IndexSlotCount * sizeof(TIndexDefinition); // 24,576
inline constexpr uint32_t IndexFileHeaderSize = sizeof(TIndexHeader) + IndexDefinitionAreaSize;  // 25,088
inline constexpr uint32_t PageHeaderSize = sizeof(TPageHeader);
inline constexpr int32_t MinIndexPageSize = 1024;
inline constexpr int32_t MaxIndexPageSize = 16384;
inline constexpr const char* TextIndexName = "Sys Text";

} // namespace tableengine
