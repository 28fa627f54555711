// Index keys: how a key is built from a record (one flag byte and an order-preserving encoding per key
// field, plus the record-ID suffix of a non-unique index) and how two keys of one index are ordered.
#pragma once

#include "tableengine/format/DataTypes.h"
#include "tableengine/format/PageEntries.h"

#include "platform/Locale.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tableengine {

// The collation and case rules of a table's locale (LocaleID not 0). Texts are ANSI bytes.
class TKeyLocale {
public:
    virtual ~TKeyLocale() = default;
    // String sort ignoring non-spacing marks: -1, 0 or 1.
    virtual int CompareStrings(std::string_view a, std::string_view b) const = 0;
    // Linguistic upper-casing in place, one byte per character.
    virtual void UpperCase(std::span<uint8_t> text) const = 0;
};

// The default upper-casing of 8-bit text (Windows-1252), used when a table has no locale.
inline uint8_t DefaultUpperCase(uint8_t c)
{
    return static_cast<uint8_t>(platform::UpperAnsiDefault(static_cast<char>(c)));
}

// One key field as the key code needs it: the field's number, type and slot in the record.
struct TKeyFieldInfo {
    uint16_t FieldNum = 0; // RecordIDFieldNum / RecordHashFieldNum for the pseudo fields
    uint8_t DataType = 0;
    uint8_t SubType = 0;
    uint16_t DataSize = 0;
    uint16_t Offset = 0; // offset of the flag byte in the record
    bool Descending = false;
};

// Bytes a field occupies in a key after its flag byte.
uint16_t KeyWidth(uint8_t dataType, uint16_t dataSize);

// BCD value (34-byte packed decimal) as the 64-bit currency form: value x 10,000, rounded half away from
// zero and saturated; 0 for precision 0.
int64_t BcdToCurrency(std::span<const uint8_t> bcd);

// The key rules of one index definition bound to the fields of its table.
class TKeyLayout {
public:
    TKeyLayout() = default;
    TKeyLayout(std::vector<TKeyFieldInfo> fields, uint16_t keySize, bool unique, bool caseInsensitive,
               const TKeyLocale* locale, bool textIndex = false);

    uint16_t KeySize() const { return FKeySize; }
    bool Unique() const { return FUnique; }
    const std::vector<TKeyFieldInfo>& Fields() const { return FFields; }

    // Builds the key of a record (the whole record slot) into key (KeySize bytes).
    void GetKeyValues(std::span<const uint8_t> record, std::span<uint8_t> key) const;
    // Orders two keys over their first n bytes (n at most KeySize): -1, 0 or 1.
    int Compare(const uint8_t* a, const uint8_t* b, size_t n) const;
    int Compare(std::span<const uint8_t> a, std::span<const uint8_t> b) const
    {
        return Compare(a.data(), b.data(), std::min({a.size(), b.size(), size_t{FKeySize}}));
    }

private:
    int CompareText(const uint8_t* a, const uint8_t* b, size_t n) const;

    std::vector<TKeyFieldInfo> FFields;
    uint16_t FKeySize = 0;
    bool FUnique = true;
    bool FCaseInsensitive = false;
    bool FTextIndex = false;
    const TKeyLocale* FLocale = nullptr;
};

// Binary search of one page for a key. Node pages: the last entry whose key is <= the key, or entry 1
// when all are greater. Leaf pages: the first entry whose key is >= the key, or the last when all are
// smaller. An exact hit ends the search at once. Entry 0 for a page without keys.
struct TPageSearch {
    int Entry = 0;
    bool Exact = false;
};
TPageSearch SearchPage(const TPageEntries& page, std::span<const uint8_t> key, const TKeyLayout& layout);

} // namespace tableengine
