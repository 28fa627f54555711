#include "tablewriter/TableWriterValues.h"

#include "platform/Locale.h"
#include "tableengine/format/DataTypes.h"
#include "tableengine/format/TableWriterBytes.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tableengine::writer {
namespace {

[[noreturn]] void Bad(const WriterField& field, std::string_view text, const char* what) {
    throw WriterError("field '" + field.Name + "': '" + std::string(text) + "' is not " + what);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool ParseInt64(std::string_view text, int64_t& out) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseDigits(std::string_view text, size_t count, int& out) {
    if (text.size() != count)
        return false;
    out = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool TryDate(std::string_view s, int32_t& day) {
    int y = 0, m = 0, d = 0;
    if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !ParseDigits(s.substr(0, 4), 4, y) ||
        !ParseDigits(s.substr(5, 2), 2, m) || !ParseDigits(s.substr(8, 2), 2, d))
        return false;
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1)
        return false;
    const int maxDay = kDays[static_cast<size_t>(m - 1)] + (m == 2 && IsLeap(y) ? 1 : 0);
    if (d > maxDay)
        return false;
    day = static_cast<int32_t>(DaysFromCivil(y, m, d) - DaysFromCivil(1, 1, 1) + 1);
    return true;
}

bool TryTime(std::string_view s, int32_t& ms) {
    int h = 0, mi = 0, sec = 0, milli = 0;
    if (s.size() != 8 && s.size() != 12)
        return false;
    if (s[2] != ':' || s[5] != ':' || !ParseDigits(s.substr(0, 2), 2, h) ||
        !ParseDigits(s.substr(3, 2), 2, mi) || !ParseDigits(s.substr(6, 2), 2, sec))
        return false;
    if (s.size() == 12 && (s[8] != '.' || !ParseDigits(s.substr(9, 3), 3, milli)))
        return false;
    if (h > 23 || mi > 59 || sec > 59)
        return false;
    ms = ((h * 60 + mi) * 60 + sec) * 1000 + milli;
    return true;
}

bool TryTimeStamp(std::string_view s, double& value) {
    int32_t day = 0, ms = 0;
    if (s.size() == 10) {
        if (!TryDate(s, day))
            return false;
    } else if (s.size() < 11 || (s[10] != ' ' && s[10] != 'T') || !TryDate(s.substr(0, 10), day) ||
               !TryTime(s.substr(11), ms)) {
        return false;
    }
    value = static_cast<double>(day) * 86400000.0 + static_cast<double>(ms);
    return true;
}

bool TryFloat(std::string_view s, double& value) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(value);
}

bool TryBool(std::string_view s, bool& value) {
    s = Trim(s);
    std::string lower = LowerAnsi(s);
    if (lower == "true") {
        value = true;
        return true;
    }
    if (lower == "false") {
        value = false;
        return true;
    }
    int64_t n = 0;
    if (!ParseInt64(s, n))
        return false;
    value = n > 0;
    return true;
}

// The 34-byte packed decimal: precision, sign bit and scale, then one decimal digit per nibble, most
// significant first. The scale is the field's Decimals; the value is rounded to it.
bool TryBcd(std::string_view s, uint8_t places, std::array<uint8_t, 34>& out) {
    s = Trim(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const size_t dot = s.find('.');
    std::string_view intPart = s.substr(0, dot);
    std::string_view fracPart = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
    if (intPart.empty() && fracPart.empty())
        return false;
    for (const char c : intPart)
        if (c < '0' || c > '9')
            return false;
    for (const char c : fracPart)
        if (c < '0' || c > '9')
            return false;
    while (intPart.size() > 1 && intPart.front() == '0')
        intPart.remove_prefix(1);
    std::string digits(intPart.empty() ? "0" : intPart);
    std::string frac(fracPart.substr(0, std::min<size_t>(fracPart.size(), places)));
    frac.resize(places, '0');
    digits += frac;
    // Round half away from zero on the first dropped digit.
    if (fracPart.size() > places && fracPart[places] >= '5') {
        size_t i = digits.size();
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
            if (i == 0)
                digits.insert(digits.begin(), '1');
        }
    }
    // Drop a leading zero when there are further integer digits (after a carry, e.g. 0.99 -> 1.0).
    size_t lead = 0;
    while (digits.size() - lead > static_cast<size_t>(places) + 1 && digits[lead] == '0')
        ++lead;
    digits.erase(0, lead);
    if (digits.size() > 64)
        return false;
    out.fill(0);
    bool zero = true;
    for (size_t i = 0; i < digits.size(); ++i) {
        const auto d = static_cast<uint8_t>(digits[i] - '0');
        zero = zero && d == 0;
        out[2 + i / 2] = static_cast<uint8_t>(out[2 + i / 2] | (i % 2 == 0 ? d << 4 : d));
    }
    out[0] = static_cast<uint8_t>(digits.size());
    out[1] = static_cast<uint8_t>(places | (negative && !zero ? 0x80 : 0));
    return true;
}

int64_t CheckedInt(const WriterField& field, std::string_view text, int64_t lo, int64_t hi) {
    int64_t v = 0;
    if (!ParseInt64(text, v) || v < lo || v > hi)
        Bad(field, text, "an integer in the field's range");
    return v;
}

} // namespace

uint16_t FieldDataSize(uint8_t dataType, uint8_t subType, uint16_t length) {
    const uint16_t size = tableengine::FieldDataSize(dataType, subType, length);
    if (size == 0 && !(tableengine::HasLength(dataType) && length == 0))
        throw WriterError("data type " + std::to_string(dataType) + " cannot be stored");
    return size;
}

std::string UpperAnsi(std::string_view text) {
    std::string out(text);
    for (char& ch : out)
        ch = platform::UpperAnsiDefault(ch);
    return out;
}

std::string LowerAnsi(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        const auto c = static_cast<uint8_t>(ch);
        uint8_t l = c;
        if (c >= 'A' && c <= 'Z')
            l = static_cast<uint8_t>(c + 32);
        else if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
            l = static_cast<uint8_t>(c + 32);
        else if (c == 0x8A || c == 0x8C || c == 0x8E)
            l = static_cast<uint8_t>(c + 16);
        else if (c == 0x9F)
            l = 0xFF;
        ch = static_cast<char>(l);
    }
    return out;
}

int32_t ParseDate(std::string_view text) {
    int32_t day = 0;
    if (!TryDate(Trim(text), day))
        throw WriterError("'" + std::string(text) + "' is not a date YYYY-MM-DD");
    return day;
}

int32_t ParseTime(std::string_view text) {
    int32_t ms = 0;
    if (!TryTime(Trim(text), ms))
        throw WriterError("'" + std::string(text) + "' is not a time HH:MM:SS[.mmm]");
    return ms;
}

double ParseTimeStamp(std::string_view text) {
    double v = 0;
    if (!TryTimeStamp(Trim(text), v))
        throw WriterError("'" + std::string(text) + "' is not a timestamp YYYY-MM-DD HH:MM:SS[.mmm]");
    return v;
}

void CheckTextForm(const WriterField& field, std::string_view text) {
    if (text.empty())
        return;
    WriterCell cell = WriterCell::Of(std::string(text));
    const uint16_t size = field.DataType == DataTypes::Blob
                              ? uint16_t{8}
                              : FieldDataSize(field.DataType, field.SubType, field.Length);
    if (field.DataType == DataTypes::Blob)
        return; // any text
    std::vector<uint8_t> slot(size + 1u);
    EncodeFieldValue(field, cell, slot.data(), size, CaseRules{});
}

bool EncodeFieldValue(const WriterField& field, const WriterCell& cell, uint8_t* slot, uint16_t dataSize,
                      const CaseRules& caseRules) {
    uint8_t* area = slot + 1;
    std::memset(slot, 0, dataSize + 1u);
    if (cell.Null)
        return false;
    const std::string_view text = cell.Value;
    Bytes value(dataSize);
    switch (field.DataType) {
    case DataTypes::String: {
        std::string s(text.substr(0, std::min(text.find('\0'), text.size())));
        if (s.size() > static_cast<size_t>(dataSize - 1))
            s.resize(dataSize - 1u);
        if (field.SubType != SubTypes::FixedChar)
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
        if (field.CharCase == 1)
            s = caseRules.Upper(s);
        else if (field.CharCase == 2)
            s = caseRules.Lower(s);
        if (s.size() > static_cast<size_t>(dataSize - 1))
            s.resize(dataSize - 1u);
        std::memcpy(area, s.data(), s.size());
        slot[0] = area[0] != 0 ? 1 : 0;
        return slot[0] != 0;
    }
    case DataTypes::Date: {
        int32_t day = 0;
        if (!TryDate(Trim(text), day))
            Bad(field, text, "a date YYYY-MM-DD");
        PutI32(value, 0, day);
        break;
    }
    case DataTypes::Time: {
        int32_t ms = 0;
        if (!TryTime(Trim(text), ms))
            Bad(field, text, "a time HH:MM:SS[.mmm]");
        PutI32(value, 0, ms);
        break;
    }
    case DataTypes::TimeStamp: {
        double v = 0;
        if (!TryTimeStamp(Trim(text), v))
            Bad(field, text, "a timestamp YYYY-MM-DD HH:MM:SS[.mmm]");
        PutF64(value, 0, v);
        break;
    }
    case DataTypes::Boolean: {
        bool b = false;
        if (!TryBool(text, b))
            Bad(field, text, "a boolean");
        PutU16(value, 0, b ? 1 : 0);
        break;
    }
    case DataTypes::SmallInt:
        PutLE(value, 0, static_cast<uint64_t>(CheckedInt(field, text, -32768, 32767)), 2);
        break;
    case DataTypes::Word:
        PutLE(value, 0, static_cast<uint64_t>(CheckedInt(field, text, 0, 65535)), 2);
        break;
    case DataTypes::Integer:
        PutLE(value, 0,
              static_cast<uint64_t>(CheckedInt(field, text, std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max())),
              4);
        break;
    case DataTypes::LargeInt:
        PutI64(value, 0,
               CheckedInt(field, text, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()));
        break;
    case DataTypes::Float: {
        double v = 0;
        if (!TryFloat(text, v))
            Bad(field, text, "a number");
        PutF64(value, 0, v);
        break;
    }
    case DataTypes::Bcd: {
        std::array<uint8_t, 34> bcd{};
        if (!TryBcd(text, field.Decimals, bcd))
            Bad(field, text, "a decimal number of at most 64 digits");
        std::memcpy(value.data(), bcd.data(), bcd.size());
        break;
    }
    case DataTypes::Bytes:
        if (text.size() > dataSize)
            throw WriterError("field '" + field.Name + "': " + std::to_string(text.size()) +
                              " bytes exceed its length " + std::to_string(dataSize));
        std::memcpy(value.data(), text.data(), text.size());
        break;
    case DataTypes::VarBytes:
        if (dataSize < 2 || text.size() > static_cast<size_t>(dataSize - 2))
            throw WriterError("field '" + field.Name + "': " + std::to_string(text.size()) +
                              " bytes exceed its capacity");
        PutU16(value, 0, static_cast<uint16_t>(text.size()));
        std::memcpy(value.data() + 2, text.data(), text.size());
        break;
    default:
        throw WriterError("field '" + field.Name + "': data type " + std::to_string(field.DataType) +
                          " cannot be stored");
    }
    std::memcpy(area, value.data(), dataSize);
    slot[0] = 1;
    return true;
}

} // namespace tableengine::writer
