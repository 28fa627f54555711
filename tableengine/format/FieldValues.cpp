#include "tableengine/format/FieldValues.h"

#include "tableengine/format/DataTypes.h"
#include "tableengine/format/EngineError.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tableengine {

TFieldType FieldTypeOf(uint8_t dataType, uint8_t subType)
{
    switch (dataType) {
    case dtString: return subType == stFixed ? ftFixedChar : subType == stGuid ? ftGuid : ftString;
    case dtDate: return ftDate;
    case dtBlob:
        if (subType == 22 || subType == 24 || subType == 33)
            return ftMemo;
        if (subType == 26)
            return ftGraphic;
        return ftBlob;
    case dtBoolean: return ftBoolean;
    case dtSmallInt: return ftSmallint;
    case dtInteger: return subType == stAutoInc ? ftAutoInc : ftInteger;
    case dtFloat: return subType == stCurrency ? ftCurrency : ftFloat;
    case dtBCD: return ftBCD;
    case dtBytes: return subType == stFixed ? ftFixedChar : subType == stGuid ? ftGuid : ftBytes;
    case dtTime: return ftTime;
    case dtTimeStamp: return ftDateTime;
    case dtWord: return ftWord;
    case 13: return ftInteger;
    case dtVarBytes: return subType == stFixed ? ftFixedChar : subType == stGuid ? ftGuid : ftVarBytes;
    case dtLargeInt:
    case 19: return ftLargeint;
    case 20: return ftADT;
    case 21: return ftArray;
    case 22: return ftReference;
    case 23: return ftDataSet;
    default: return ftUnknown;
    }
}

uint16_t FieldSizeOf(const TFieldDefinition& d)
{
    if (HasLength(d.DataType))
        return d.Length;
    if (d.DataType == dtBCD)
        return d.Decimals;
    return 0;
}

bool FieldRequired(const TFieldDefinition& d)
{
    return d.Required != 0 && !(d.DataType == dtInteger && d.SubType == stAutoInc);
}

namespace {

template <typename T> T load(const TFieldValue& v)
{
    T x{};
    if (v.Data != nullptr && v.Size >= sizeof x)
        std::memcpy(&x, v.Data, sizeof x);
    return x;
}

std::string stringBytes(const TFieldValue& v)
{
    if (v.Data == nullptr)
        return {};
    std::size_t n = 0;
    while (n < v.Size && v.Data[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(v.Data), n);
}

std::string hex(const uint8_t* p, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string pad(int64_t v, int width)
{
    std::string s = std::to_string(v < 0 ? -v : v);
    while (static_cast<int>(s.size()) < width)
        s.insert(s.begin(), '0');
    return v < 0 ? "-" + s : s;
}

std::string dateText(int64_t day)
{
    int y = 0, m = 0, d = 0;
    if (!DayToDate(day, y, m, d))
        throw EConvertError("Invalid date value " + std::to_string(day));
    return pad(y, 4) + "-" + pad(m, 2) + "-" + pad(d, 2);
}

std::string timeText(int64_t ms)
{
    if (ms < 0 || ms >= 86400000)
        throw EConvertError("Invalid time value " + std::to_string(ms));
    return pad(ms / 3600000, 2) + ":" + pad(ms / 60000 % 60, 2) + ":" + pad(ms / 1000 % 60, 2) + "." +
           pad(ms % 1000, 3);
}

// A packed decimal: precision, sign (bit 7) and places (bits 0-5), then nibbles high first. The digits as a
// text with the point placed, or false for a malformed value.
bool bcdParts(const uint8_t* p, std::size_t size, bool& negative, std::string& digits, int& places)
{
    if (size < 34)
        return false;
    const int precision = p[0];
    places = p[1] & 0x3F;
    negative = (p[1] & 0x80) != 0;
    if (precision > 64 || places > precision)
        return false;
    digits.clear();
    for (int i = 0; i < precision; ++i) {
        const uint8_t b = p[2 + i / 2];
        const int nib = (i % 2 == 0) ? (b >> 4) : (b & 15);
        if (nib > 9)
            return false;
        digits += static_cast<char>('0' + nib);
    }
    return true;
}

std::string bcdText(const TFieldValue& v)
{
    bool negative = false;
    std::string digits;
    int places = 0;
    if (!bcdParts(v.Data, v.Size, negative, digits, places))
        throw EConvertError("Invalid BCD value");
    std::string intPart = digits.substr(0, digits.size() - static_cast<std::size_t>(places));
    std::string frac = digits.substr(digits.size() - static_cast<std::size_t>(places));
    const std::size_t want = v.Definition != nullptr ? v.Definition->Decimals : 0;
    if (frac.size() > want) {
        // Round half away from zero on the digits that are cut.
        const bool up = frac[want] >= '5';
        frac.resize(want);
        if (up) {
            std::string all = intPart + frac;
            int i = static_cast<int>(all.size()) - 1;
            for (; i >= 0; --i) {
                if (all[static_cast<std::size_t>(i)] == '9') {
                    all[static_cast<std::size_t>(i)] = '0';
                } else {
                    ++all[static_cast<std::size_t>(i)];
                    break;
                }
            }
            if (i < 0)
                all.insert(all.begin(), '1');
            intPart = all.substr(0, all.size() - want);
            frac = all.substr(all.size() - want);
        }
    }
    while (frac.size() < want)
        frac += '0';
    const std::size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
    const bool zero = intPart == "0" && frac.find_first_not_of('0') == std::string::npos;
    std::string s = (negative && !zero ? "-" : "") + intPart;
    if (want > 0)
        s += "." + frac;
    return s;
}

// The BCD value rounded to a whole number (no decimals asked for).
double bcdRounded(const TFieldValue& v)
{
    return std::strtod(bcdText(TFieldValue{nullptr, v.Blank, v.Data, v.Size}).c_str(), nullptr);
}

std::string floatText(double d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

std::string ansiText(const TFieldValue& v)
{
    if (v.Blank || v.Definition == nullptr)
        return {};
    const TFieldDefinition& d = *v.Definition;
    switch (d.DataType) {
    case dtString: return stringBytes(v);
    case dtSmallInt: return std::to_string(load<int16_t>(v));
    case dtInteger: return std::to_string(load<int32_t>(v));
    case dtWord: return std::to_string(load<uint16_t>(v));
    case dtLargeInt: return std::to_string(load<int64_t>(v));
    case dtBoolean: return load<uint16_t>(v) != 0 ? "True" : "False";
    case dtFloat: return floatText(load<double>(v));
    case dtDate: return dateText(load<int32_t>(v));
    case dtTime: return timeText(load<int32_t>(v));
    case dtTimeStamp: {
        const double t = load<double>(v);
        if (!std::isfinite(t) || std::fabs(t) > 1e15)
            throw EConvertError("Invalid timestamp value");
        const auto total = static_cast<int64_t>(std::llround(t));
        const int64_t day = total >= 0 ? total / 86400000 : -((-total + 86399999) / 86400000);
        return dateText(day) + " " + timeText(total - day * 86400000);
    }
    case dtBCD: return bcdText(v);
    case dtBytes: return hex(v.Data, v.Data != nullptr ? v.Size : 0);
    case dtVarBytes: {
        const uint16_t n = load<uint16_t>(v);
        const std::size_t avail = v.Size >= 2 ? v.Size - 2 : 0;
        return hex(v.Data != nullptr ? v.Data + 2 : nullptr, std::min<std::size_t>(n, avail));
    }
    default: throw EConvertError("The field's value cannot be read as text");
    }
}

} // namespace

bool DayToDate(int64_t day, int& year, int& month, int& dayOfMonth)
{
    if (day < 1 || day > 3652059) // 9999-12-31
        return false;
    // Civil-from-days on the proleptic Gregorian calendar, with 0001-01-01 as day 1.
    int64_t z = day - 1 - 719162 + 719468; // shift to the algorithm's epoch 0000-03-01
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
    year = static_cast<int>(y);
    month = static_cast<int>(m);
    dayOfMonth = static_cast<int>(d);
    return true;
}

int64_t DateToDay(int year, int month, int dayOfMonth)
{
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t mp = month > 2 ? month - 3 : month + 9;
    const int64_t doy = (153 * mp + 2) / 5 + dayOfMonth - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 719162 + 1;
}

int32_t AsInteger(const TFieldValue& v)
{
    if (v.Blank || v.Definition == nullptr)
        return 0;
    const TFieldDefinition& d = *v.Definition;
    switch (d.DataType) {
    case dtSmallInt: return load<int16_t>(v);
    case dtInteger: return load<int32_t>(v);
    case dtWord: return load<uint16_t>(v);
    case dtLargeInt: return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(load<int64_t>(v))));
    case dtBoolean: return load<uint16_t>(v) != 0 ? 1 : 0;
    case dtString: {
        const std::string s = stringBytes(v);
        const auto n = platform::StrToInt(s);
        if (!n || *n < std::numeric_limits<int32_t>::min() || *n > std::numeric_limits<int32_t>::max())
            throw EConvertError("'" + s + "' is not a valid integer value");
        return static_cast<int32_t>(*n);
    }
    case dtFloat:
    case dtBCD: {
        const double x = d.DataType == dtFloat ? load<double>(v) : bcdRounded(v);
        if (!std::isfinite(x) || x < -2147483648.5 || x >= 2147483647.5)
            throw EConvertError("The value is out of the integer range");
        return static_cast<int32_t>(std::llround(x));
    }
    default: throw EConvertError("The field's value cannot be read as an integer");
    }
}

std::string AsAnsiString(const TFieldValue& v) { return ansiText(v); }

platform::Text AsString(const TFieldValue& v)
{
    if (v.Definition != nullptr && v.Definition->DataType == dtString) {
        // The hot path of reading a table: decoded straight from the value's bytes.
        if (v.Blank || v.Data == nullptr)
            return {};
        return platform::AnsiFieldToText(std::string_view(reinterpret_cast<const char*>(v.Data), v.Size));
    }
    return platform::Ascii(ansiText(v));
}

namespace {

bool parseInt(const std::string& s, int64_t lo, int64_t hi)
{
    const auto n = platform::StrToInt(s);
    return n && *n >= lo && *n <= hi;
}

bool parseDigits(const std::string& s, std::size_t at, std::size_t n, int& out)
{
    if (at + n > s.size())
        return false;
    out = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

bool validDate(const std::string& s)
{
    int y = 0, m = 0, d = 0;
    if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !parseDigits(s, 0, 4, y) || !parseDigits(s, 5, 2, m) ||
        !parseDigits(s, 8, 2, d) || y < 1 || m < 1 || m > 12 || d < 1)
        return false;
    int yy = 0, mm = 0, dd = 0;
    return DayToDate(DateToDay(y, m, d), yy, mm, dd) && yy == y && mm == m && dd == d;
}

bool validTime(const std::string& s)
{
    int h = 0, m = 0, sec = 0, ms = 0;
    if (s.size() < 5 || s[2] != ':' || !parseDigits(s, 0, 2, h) || !parseDigits(s, 3, 2, m) || h > 23 || m > 59)
        return false;
    if (s.size() == 5)
        return true;
    if (s.size() < 8 || s[5] != ':' || !parseDigits(s, 6, 2, sec) || sec > 59)
        return false;
    if (s.size() == 8)
        return true;
    return s.size() == 12 && s[8] == '.' && parseDigits(s, 9, 3, ms);
}

bool validDecimal(const std::string& s)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    std::strtod(s.c_str(), &end);
    return end != nullptr && *end == '\0' && !std::isspace(static_cast<unsigned char>(s[0]));
}

} // namespace

bool IsValidValueText(const TFieldDefinition& d, const std::string& text)
{
    if (text.empty())
        return true;
    switch (d.DataType) {
    case dtString: return text.size() <= d.Length;
    case dtSmallInt: return parseInt(text, -32768, 32767);
    case dtInteger: return parseInt(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    case dtWord: return parseInt(text, 0, 65535);
    case dtLargeInt: return platform::StrToInt(text).has_value();
    case dtBoolean: {
        std::string u = text;
        for (char& c : u)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return u == "TRUE" || u == "FALSE" || u == "0" || u == "1";
    }
    case dtFloat:
    case dtBCD: return validDecimal(text);
    case dtDate: return validDate(text);
    case dtTime: return validTime(text);
    case dtTimeStamp: {
        const std::size_t sp = text.find(' ');
        if (sp == std::string::npos)
            return validDate(text);
        return validDate(text.substr(0, sp)) && validTime(text.substr(sp + 1));
    }
    default: return true; // BLOB and byte values carry no checked text form
    }
}

} // namespace tableengine
