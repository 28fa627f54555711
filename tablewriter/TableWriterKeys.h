// Index keys: their layout for one index, building a key from a record slot, and ordering two keys.
#pragma once

#include "tableengine/format/IndexKey.h"
#include "tableengine/format/TableWriterBytes.h"
#include "tablewriter/TableWriterSchema.h"
#include "tablewriter/TableWriterValues.h"

#include <cstdint>
#include <vector>

namespace tableengine::writer {

inline constexpr uint16_t kRecordIDFieldNum = 0xFFFF;
inline constexpr uint16_t kRecordHashFieldNum = 0xFFFE;

struct KeyPart {
    uint16_t FieldNum = 0;   // 1-based, or one of the pseudo numbers
    uint8_t DataType = 0;
    uint16_t Offset = 0;     // flag byte of a stored field; value of a pseudo field
    uint16_t DataSize = 0;
    uint16_t Width = 0;      // key bytes after the flag byte
    bool Descending = false;
};

struct KeyLayout {
    std::vector<KeyPart> Parts;
    bool Unique = true;
    bool CaseInsensitive = false;
    uint16_t KeySize = 0;
};

// Key bytes of a field of this type with this value size: the engine's rule.
using tableengine::KeyWidth;

// Sets KeySize from the parts: sum of (1 + width), plus 4 for the record-ID suffix of a non-unique index.
void FinishKeyLayout(KeyLayout& layout);

// The key of a record slot (RecordLength bytes).
Bytes BuildKey(const KeyLayout& layout, const uint8_t* record, const CaseRules& caseRules);

// -1, 0 or 1. collation is null for a table without locale.
int CompareKeys(const KeyLayout& layout, const Bytes& a, const Bytes& b, const KeyCollation* collation);

} // namespace tableengine::writer
