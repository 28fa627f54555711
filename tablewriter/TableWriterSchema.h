// What the table writer is asked to build: fields, indexes, rows and table options.
#pragma once

#include "tableengine/format/DataTypes.h"
#include "tableengine/format/IndexHeader.h"
#include "tableengine/format/TableWriterIndexPages.h"
#include "tableengine/format/WriterError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tableengine::writer {

// Engine data-type codes as stored in a field definition (the engine's TDataType values).
namespace DataTypes {
inline constexpr uint8_t String = dtString;
inline constexpr uint8_t Date = dtDate;
inline constexpr uint8_t Blob = dtBlob;
inline constexpr uint8_t Boolean = dtBoolean;
inline constexpr uint8_t SmallInt = dtSmallInt;
inline constexpr uint8_t Integer = dtInteger;
inline constexpr uint8_t Float = dtFloat;
inline constexpr uint8_t Bcd = dtBCD;
inline constexpr uint8_t Bytes = dtBytes;
inline constexpr uint8_t Time = dtTime;
inline constexpr uint8_t TimeStamp = dtTimeStamp;
inline constexpr uint8_t Word = dtWord;
inline constexpr uint8_t VarBytes = dtVarBytes;
inline constexpr uint8_t LargeInt = dtLargeInt;
} // namespace DataTypes

namespace SubTypes {
inline constexpr uint8_t FixedChar = stFixed;
inline constexpr uint8_t Guid = stGuid;
inline constexpr uint8_t WideString = stWide;
inline constexpr uint8_t AutoInc = stAutoInc;
inline constexpr uint8_t Currency = stCurrency;
inline constexpr uint8_t Memo = stMemo;
inline constexpr uint8_t Graphic = stGraphic;
} // namespace SubTypes

// One stored field. Texts are ANSI bytes.
struct WriterField {
    std::string Name;
    uint8_t DataType = DataTypes::String;
    uint8_t SubType = 0;
    uint16_t Length = 0;   // string, bytes and variable-bytes fields only
    uint8_t Decimals = 0;  // BCD only
    bool Required = false;
    uint8_t CharCase = 0;  // 0 as entered, 1 upper, 2 lower
    bool Hidden = false;
    uint8_t Compression = 0; // BLOB fields: zlib level 1..9, 0 = stored as is
    std::string Description;
    std::string Minimum;
    std::string Maximum;
    std::string Default;
};

// One key field: a field name, or "RecordID" / "RecordHash" for the pseudo fields.
struct WriterKeyField {
    std::string Name;
    bool Descending = false;
};

struct WriterIndex {
    std::string Name; // ignored for the primary key
    std::vector<WriterKeyField> Fields;
    bool Unique = false; // the primary key is always unique
    bool Descending = false; // marks the whole index, and every key field, descending
    bool CaseInsensitive = false;
    uint8_t Compression = KeyCompression::None;
    bool NoKeyStatistics = false;
};

// One cell of a row. For string and memo fields Value holds the ANSI text, for bytes, variable-bytes and
// other BLOB fields the raw bytes, for every other type the value's text form (see TableWriterValues.h).
struct WriterCell {
    bool Null = true;
    std::string Value;

    static WriterCell Of(std::string value) { return WriterCell{false, std::move(value)}; }
    static WriterCell Blank() { return WriterCell{}; }
};

struct WriterRow {
    std::vector<WriterCell> Cells; // one per field, in field order
    bool Deleted = false;          // the slot is written and then put on the free list
};

// Collation and case rules of a table locale other than 0, supplied by the locale services.
class KeyCollation {
public:
    virtual ~KeyCollation() = default;
    // -1, 0 or 1 for two ANSI texts.
    virtual int Compare(std::string_view a, std::string_view b) const = 0;
    virtual std::string Upper(std::string_view text) const = 0;
    virtual std::string Lower(std::string_view text) const = 0;
};

struct WriterTable {
    std::vector<WriterField> Fields;
    std::optional<WriterIndex> PrimaryKey; // none: the automatic primary index on the record ID
    std::vector<WriterIndex> SecondaryIndexes;
    std::vector<WriterRow> Rows;

    int32_t IndexPageSize = 4096; // rounded up to a multiple of 8; 1024..16384
    int32_t BlobBlockSize = 512;  // rounded up to a multiple of 8; 64..65536
    int32_t LocaleID = 0;
    // Collation and case rules for LocaleID other than 0; none: the platform's locale services.
    std::shared_ptr<const KeyCollation> Collation;
    std::optional<std::string> Password;           // encrypts the table when set
    std::string Description;
    uint16_t UserMajorVersion = 0;
    uint16_t UserMinorVersion = 0;
    std::optional<double> LastUpdated; // days since 1899-12-30; none = now
    std::string EngineSignature = "TABLE_SIG";
    int32_t UpdateStamp = 1;
};

} // namespace tableengine::writer
