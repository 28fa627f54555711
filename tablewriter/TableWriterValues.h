// Field sizes, the text forms the writer accepts for values, and how a value is laid out in its slot.
//
// Text forms: integers as decimal; booleans "True"/"False" (any letter case) or an integer (above 0 is
// true); dates YYYY-MM-DD; times HH:MM:SS or HH:MM:SS.mmm; timestamps "YYYY-MM-DD HH:MM:SS[.mmm]"
// (or a date alone); floats and currency as C-locale decimal or exponent text; BCD as a decimal with at
// most the field's Decimals fraction digits after rounding (half away from zero).
#pragma once

#include "tablewriter/TableWriterSchema.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tableengine::writer {

// Bytes a value of this type occupies in a record slot; throws WriterError for a type the format does
// not store.
uint16_t FieldDataSize(uint8_t dataType, uint8_t subType, uint16_t length);

// Default letter-case mapping of 8-bit Windows-1252 text (the locale-less table).
std::string UpperAnsi(std::string_view text);
std::string LowerAnsi(std::string_view text);

// Upper- or lower-cases text with the table's locale rules.
struct CaseRules {
    std::function<std::string(std::string_view)> Upper = UpperAnsi;
    std::function<std::string(std::string_view)> Lower = LowerAnsi;
};

// Days with 0001-01-01 = 1; throws WriterError on a malformed or impossible date.
int32_t ParseDate(std::string_view text);
// Milliseconds since midnight.
int32_t ParseTime(std::string_view text);
// Day number x 86400000 + milliseconds.
double ParseTimeStamp(std::string_view text);

// Throws WriterError when text is not a valid value of the field's type (used for Default, Minimum and
// Maximum, which must be empty or valid).
void CheckTextForm(const WriterField& field, std::string_view text);

// Writes the field's flag byte and value area (slot[0] is the flag, slot[1..DataSize] the value) as the
// engine stores it. BLOB fields are not handled here. Returns whether the flag is set.
bool EncodeFieldValue(const WriterField& field, const WriterCell& cell, uint8_t* slot, uint16_t dataSize,
                      const CaseRules& caseRules);

} // namespace tableengine::writer
