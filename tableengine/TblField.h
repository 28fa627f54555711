// One field of an open table and its value in the table's active record.
#pragma once

#include "tableengine/format/FieldValues.h"

#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tableengine {

class TTblTable;

using platform::Text;

// One field of an open table.
class TTblField {
public:
    // definition: the engine's definition of the field, valid while the table is open; recordLength: the
    // length of the table's records, for reading string and integer values straight from the record.
    TTblField(TTblTable& table, int fieldNum, std::string name, TFieldType type, uint16_t size, bool required,
              const TFieldDefinition* definition = nullptr, std::size_t recordLength = 0);

    int FieldNum() const { return FFieldNum; }
    Text FieldName() const;
    TFieldType DataType() const { return FType; }
    uint16_t Size() const { return FSize; }
    bool Required() const { return FRequired; }

    bool IsNull() const;
    int32_t AsInteger() const;
    Text AsString() const;

private:
    TTblTable& FTable;
    int FFieldNum;
    std::string FName;
    TFieldType FType;
    uint16_t FSize;
    bool FRequired;
    const TFieldDefinition* FDefinition;
    // A string or integer field whose value area lies inside the record is read without the general value
    // decoding: its blank flag at FBlankAt, its FValueSize value bytes from FBlankAt + 1.
    enum TDirectRead : uint8_t { drNone, drString, drInteger };
    TDirectRead FDirect = drNone;
    std::size_t FBlankAt = 0;
    std::size_t FValueSize = 0;
};

} // namespace tableengine
