// On-disk layout of the data file (".dat"): the 512-byte header, the 768-byte field definitions and the
// fixed part of every record slot. All structures are packed and little-endian, as they lie in the file.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tableengine {

static_assert(std::endian::native == std::endian::little, "the on-disk structures are read in place");

#pragma pack(push, 1)

// The four state words of an MD5 digest; byte for byte the 16 digest bytes.
struct TMD5Digest {
    int32_t A;
    int32_t B;
    int32_t C;
    int32_t D;
    bool operator==(const TMD5Digest&) const = default;
};
static_assert(sizeof(TMD5Digest) == 16);

inline constexpr uint8_t DataVersionNum = 6; // "4.00"
// Version numbers the engine knows as older formats ("1.00" .. "3.00").
inline constexpr bool IsOlderVersion(uint8_t version) { return version < DataVersionNum; }

struct TDataHeader {
    int32_t UpdateStamp;
    uint8_t EmptySpace1[4];
    uint8_t VersionNum;
    TMD5Digest FileSignature;
    int32_t NextFreeRecord;
    int32_t NextEndingRecord;
    int32_t LastRecordID;
    int32_t LastAutoIncID;
    int32_t RecordCount;
    uint16_t RecordLength;
    uint16_t FieldCount;
    uint16_t BlobFieldCount;
    int32_t BlobBlockSize;
    int32_t LastBlobSignature;
    int32_t IndexPageSize;
    double LastUpdated;
    uint8_t Description[101]; // length byte + up to 100 ANSI characters
    uint8_t Encrypted;
    TMD5Digest Digest;
    int32_t LocaleID;
    uint16_t UserMajorVersion;
    uint16_t UserMinorVersion;
    uint8_t IsDirty;
    uint8_t EmptySpace2[314];
};
static_assert(sizeof(TDataHeader) == 512);
static_assert(offsetof(TDataHeader, VersionNum) == 8);
static_assert(offsetof(TDataHeader, FileSignature) == 9);
static_assert(offsetof(TDataHeader, NextFreeRecord) == 25);
static_assert(offsetof(TDataHeader, RecordLength) == 45);
static_assert(offsetof(TDataHeader, FieldCount) == 47);
static_assert(offsetof(TDataHeader, BlobBlockSize) == 51);
static_assert(offsetof(TDataHeader, IndexPageSize) == 59);
static_assert(offsetof(TDataHeader, LastUpdated) == 63);
static_assert(offsetof(TDataHeader, Description) == 71);
static_assert(offsetof(TDataHeader, Encrypted) == 172);
static_assert(offsetof(TDataHeader, Digest) == 173);
static_assert(offsetof(TDataHeader, LocaleID) == 189);
static_assert(offsetof(TDataHeader, UserMajorVersion) == 193);
static_assert(offsetof(TDataHeader, IsDirty) == 197);

inline constexpr int MaxFieldCount = 1024;
inline constexpr int MaxFieldNameLength = 60;
// A field or index name starts with a letter, '_' or a character of the upper half but 255.
inline bool ValidNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}
inline constexpr int MaxDescriptionLength = 100;

struct TFieldDefinition {
    uint16_t FieldNum;
    uint8_t FieldName[61];
    uint8_t Description[101];
    uint8_t DataType;
    uint8_t SubType;
    uint16_t Length;
    uint8_t Decimals;
    uint16_t DataSize;
    uint8_t DataDecimals;
    uint16_t Offset;
    uint8_t Required;
    uint8_t CharCase;
    uint8_t Minimum[101];
    uint8_t Maximum[101];
    uint8_t Default[101];
    uint8_t Compression;
    uint8_t ExpressionField;      // memory only
    uint8_t ExpressionTokens[4];  // memory only
    uint8_t Hidden;
    uint8_t FieldOrigin[101];     // memory only
    uint16_t OriginFieldNum;      // memory only
    uint16_t FieldPos;            // memory only
    uint8_t FieldDatabaseOrigin[101]; // memory only
    uint8_t EmptySpace[76];
};
static_assert(sizeof(TFieldDefinition) == 768);
static_assert(offsetof(TFieldDefinition, FieldName) == 2);
static_assert(offsetof(TFieldDefinition, Description) == 63);
static_assert(offsetof(TFieldDefinition, DataType) == 164);
static_assert(offsetof(TFieldDefinition, Length) == 166);
static_assert(offsetof(TFieldDefinition, DataSize) == 169);
static_assert(offsetof(TFieldDefinition, Offset) == 172);
static_assert(offsetof(TFieldDefinition, Minimum) == 176);
static_assert(offsetof(TFieldDefinition, Default) == 378);
static_assert(offsetof(TFieldDefinition, Compression) == 479);
static_assert(offsetof(TFieldDefinition, Hidden) == 485);
static_assert(offsetof(TFieldDefinition, FieldOrigin) == 486);
static_assert(offsetof(TFieldDefinition, OriginFieldNum) == 587);
static_assert(offsetof(TFieldDefinition, FieldDatabaseOrigin) == 591);
static_assert(offsetof(TFieldDefinition, EmptySpace) == 692);

#pragma pack(pop)

inline constexpr uint32_t DataHeaderSize = sizeof(TDataHeader);
inline constexpr uint32_t FieldDefinitionSize = sizeof(TFieldDefinition);

// Header size of a data file: where record slot 1 starts.
constexpr uint64_t DataFileHeaderSize(uint32_t fieldCount)
{
    return DataHeaderSize + uint64_t(FieldDefinitionSize) * fieldCount;
}

// The fixed part of a record slot.
inline constexpr uint32_t RecordStatusOffset = 0;   // uint8: 0 active, 1 deleted
inline constexpr uint32_t RecordNumberOffset = 1;   // int32: own number, or next free record when deleted
inline constexpr uint32_t RecordIDOffset = 5;       // int32: pseudo field "RecordID"
inline constexpr uint32_t RecordHashOffset = 9;     // 16 bytes: pseudo field "RecordHash"
inline constexpr uint32_t RecordFieldsOffset = 25;  // flag byte of the first field
inline constexpr uint8_t RecordActive = 0;
inline constexpr uint8_t RecordDeleted = 1;

// Field numbers of the two pseudo fields, as index definitions name them too.
inline constexpr uint16_t RecordIDFieldNum = 65535;
inline constexpr uint16_t RecordHashFieldNum = 65534;

// The standard signature digest, accepted whatever the engine signature is.
inline constexpr uint8_t StandardSignatureBytes[16] = {0x8A, 0xBE, 0x8E, 0x59, 0x23, 0x64, 0xCB, 0x40,
                                                       0x3D, 0x71, 0xD2, 0xE3, 0xBC, 0x64, 0xD0, 0x01};

// Length-prefixed ANSI text in a fixed area of `size` bytes (1 length byte + size-1 characters).
// Reading clamps the length byte to the area and to maxChars, so a corrupt length never reads outside it.
inline std::string ReadShortString(const uint8_t* area, std::size_t size, std::size_t maxChars)
{
    if (size == 0)
        return {};
    std::size_t n = area[0];
    if (n > size - 1)
        n = size - 1;
    if (n > maxChars)
        n = maxChars;
    return std::string(reinterpret_cast<const char*>(area + 1), n);
}
// The raw length byte, unclamped (for checks that refuse an over-long name).
inline std::size_t ShortStringLength(const uint8_t* area) { return area[0]; }
// Writes text into the area, cut to fit; the rest of the area is zeroed.
inline void WriteShortString(uint8_t* area, std::size_t size, std::string_view text)
{
    if (size == 0)
        return;
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    if (n > 255)
        n = 255;
    area[0] = static_cast<uint8_t>(n);
    for (std::size_t i = 0; i < size - 1; ++i)
        area[1 + i] = i < n ? static_cast<uint8_t>(text[i]) : 0;
}

} // namespace tableengine
