// Field values: the data-set field type of each engine type, and what AsInteger and AsString return for a
// value area read out of a record (GetField of the cursor).
#pragma once

#include "tableengine/format/DataHeader.h"

#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tableengine {

enum TFieldType : uint8_t {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate, ftTime,
    ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftFixedChar, ftLargeint,
    ftADT, ftArray, ftReference, ftDataSet, ftGuid
};

TFieldType FieldTypeOf(uint8_t dataType, uint8_t subType);
inline TFieldType FieldTypeOf(const TFieldDefinition& d) { return FieldTypeOf(d.DataType, d.SubType); }
// Size of the data-set field: Length for strings, bytes and variable bytes; Decimals for BCD; else 0.
uint16_t FieldSizeOf(const TFieldDefinition& d);
// Whether an auto-increment field: never required.
bool FieldRequired(const TFieldDefinition& d);

// A value area of a field as GetField copies it out: blank flag and DataSize bytes.
struct TFieldValue {
    const TFieldDefinition* Definition = nullptr;
    bool Blank = true;
    const uint8_t* Data = nullptr;
    std::size_t Size = 0;
};

// Integers widen (64-bit: the low 32 bits), strings are parsed as decimal integers (EConvertError otherwise),
// booleans give 0/1, floats and BCD round to the nearest integer; blank gives 0. Other types raise
// EConvertError.
int32_t AsInteger(const TFieldValue& v);
// Decimal text of integers; strings up to the first zero byte decoded with the ANSI code page; booleans
// "True"/"False"; dates YYYY-MM-DD; times HH:MM:SS.mmm; timestamps "YYYY-MM-DD HH:MM:SS.mmm"; floats as
// "%.17g"; BCD as a decimal with Decimals digits; bytes as lower-case hexadecimal. Blank gives "".
platform::Text AsString(const TFieldValue& v);
// The same text as single-byte ANSI.
std::string AsAnsiString(const TFieldValue& v);

// Day number (0001-01-01 = day 1) <-> calendar date; false for a date outside 0001-01-01 .. 9999-12-31.
bool DayToDate(int64_t day, int& year, int& month, int& dayOfMonth);
int64_t DateToDay(int year, int month, int dayOfMonth);

// The text form of Default, Minimum and Maximum values: empty, or a value of the field's type written as
// AsString writes it (strings: at most Length characters; booleans also "0"/"1").
bool IsValidValueText(const TFieldDefinition& d, const std::string& text);

} // namespace tableengine
