// Engine data types and subtypes as the field definitions store them, and the size of each value area.
#pragma once

#include <cstdint>

namespace tableengine {

// DataType byte of a field definition.
enum TDataType : uint8_t {
    dtUnknown = 0,
    dtString = 1,
    dtDate = 2,
    dtBlob = 3,
    dtBoolean = 4,
    dtSmallInt = 5,
    dtInteger = 6,
    dtFloat = 7,
    dtBCD = 8,
    dtBytes = 9,
    dtTime = 10,
    dtTimeStamp = 11,
    dtWord = 12,
    dtVarBytes = 15,
    dtLargeInt = 18,
};

// SubType byte values that change a field's meaning.
enum TDataSubType : uint8_t {
    stNone = 0,
    stCurrency = 21,   // float
    stMemo = 22,       // BLOB 22..36 select the data-set field type
    stFmtMemo = 24,
    stGraphic = 26,
    stAutoInc = 29,    // 32-bit integer
    stFixed = 31,      // string, bytes, variable bytes: trailing blanks kept
    stWide = 32,       // string: two bytes per character
    stWideMemo = 33,
    stGuid = 50,       // string, bytes, variable bytes
    stHash = 100,      // the RecordHash pseudo field
};

inline constexpr uint16_t MaxStringLength = 512;
inline constexpr uint16_t MaxWideStringLength = 256;
inline constexpr uint16_t BCDSize = 34;

// Bytes the value of a field occupies in a record (after its flag byte); 0 for a type without a value area.
constexpr uint16_t FieldDataSize(uint8_t dataType, uint8_t subType, uint16_t length)
{
    switch (dataType) {
    case dtString: return static_cast<uint16_t>(subType == stWide ? 2u * length + 1u : length + 1u);
    case dtDate: return 4;
    case dtBlob: return 8;
    case dtBoolean: return 2;
    case dtSmallInt: return 2;
    case dtInteger: return 4;
    case dtFloat: return 8;
    case dtBCD: return BCDSize;
    case dtBytes: return length;
    case dtTime: return 4;
    case dtTimeStamp: return 8;
    case dtWord: return 2;
    case dtVarBytes: return length;
    case dtLargeInt: return 8;
    default: return 0;
    }
}

// Types whose definitions carry a Length.
constexpr bool HasLength(uint8_t dataType)
{
    return dataType == dtString || dataType == dtBytes || dataType == dtVarBytes;
}

// Record length for fields ending at `end`: rounded up to a multiple of 8.
constexpr uint32_t RoundRecordLength(uint32_t end) { return (end + 7u) & ~7u; }

} // namespace tableengine
