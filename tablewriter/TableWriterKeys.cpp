#include "tablewriter/TableWriterKeys.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace tableengine::writer {
namespace {

void PutSignFlipped(uint8_t* p, uint64_t value, size_t width) {
    PutBigEndian(p, value, width);
    p[0] = static_cast<uint8_t>(p[0] ^ 0x80);
}

// The BCD value x 10000 as a 64-bit integer, rounded half away from zero and saturated.
int64_t BcdToCurrency(const uint8_t* bcd) {
    const int precision = bcd[0];
    const int places = bcd[1] & 0x3F;
    const bool negative = (bcd[1] & 0x80) != 0;
    if (precision == 0 || precision > 64 || places > precision)
        return 0;
    const auto nibble = [&](int i) {
        const uint8_t b = bcd[2 + i / 2];
        const int d = (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
        return d > 9 ? 9 : d;
    };
    const uint64_t limit = uint64_t{1} << 63;
    // value x 10^4 takes the digits up to the fourth place; the next digit rounds.
    const int keep = precision - places + 4;
    uint64_t acc = 0;
    for (int i = 0; i < keep; ++i) {
        const auto digit = static_cast<uint64_t>(i < precision ? nibble(i) : 0);
        acc = acc > (limit - digit) / 10 ? limit : acc * 10 + digit;
    }
    if (keep < precision && nibble(keep) >= 5 && acc < limit)
        ++acc;
    if (negative)
        return acc >= limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(acc);
    return acc >= limit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(acc);
}

size_t TextLength(const uint8_t* p, size_t max) {
    size_t n = 0;
    while (n < max && p[n] != 0)
        ++n;
    return n;
}

} // namespace

void FinishKeyLayout(KeyLayout& layout) {
    size_t size = 0;
    for (const KeyPart& p : layout.Parts)
        size += 1u + p.Width;
    if (!layout.Unique)
        size += 4;
    if (size > 0xFFFF)
        throw WriterError("key too long");
    layout.KeySize = static_cast<uint16_t>(size);
}

Bytes BuildKey(const KeyLayout& layout, const uint8_t* record, const CaseRules& caseRules) {
    Bytes key(layout.KeySize, 0);
    size_t at = 0;
    for (const KeyPart& part : layout.Parts) {
        uint8_t* out = key.data() + at + 1;
        if (part.FieldNum == kRecordIDFieldNum) {
            key[at] = 1;
            PutSignFlipped(out, GetLittleEndian(record + part.Offset, 4), 4);
        } else if (part.FieldNum == kRecordHashFieldNum) {
            key[at] = 1;
            std::memcpy(out, record + part.Offset, 16);
        } else {
            const uint8_t* value = record + part.Offset + 1;
            key[at] = record[part.Offset] != 0 ? 1 : 0;
            switch (part.DataType) {
            case DataTypes::String: {
                const size_t n = TextLength(value, part.DataSize);
                std::memcpy(out, value, n);
                if (layout.CaseInsensitive) {
                    const std::string upper =
                        caseRules.Upper(std::string_view(reinterpret_cast<const char*>(out), n));
                    std::memcpy(out, upper.data(), std::min<size_t>(upper.size(), part.Width));
                }
                break;
            }
            case DataTypes::Date:
            case DataTypes::Integer:
            case DataTypes::Time:
                PutSignFlipped(out, GetLittleEndian(value, 4), 4);
                break;
            case DataTypes::SmallInt:
                PutSignFlipped(out, GetLittleEndian(value, 2), 2);
                break;
            case DataTypes::Boolean:
            case DataTypes::Word:
                PutBigEndian(out, GetLittleEndian(value, 2), 2);
                break;
            case DataTypes::LargeInt:
                PutSignFlipped(out, GetLittleEndian(value, 8), 8);
                break;
            case DataTypes::Float:
            case DataTypes::TimeStamp: {
                const uint64_t bits = GetLittleEndian(value, 8);
                double d = 0;
                std::memcpy(&d, &bits, sizeof d);
                PutBigEndian(out, d < 0 ? ~bits : bits | (uint64_t{1} << 63), 8);
                break;
            }
            case DataTypes::Bcd:
                PutSignFlipped(out, static_cast<uint64_t>(BcdToCurrency(value)), 8);
                break;
            default:
                std::memcpy(out, value, part.Width);
                break;
            }
        }
        at += 1u + part.Width;
    }
    if (!layout.Unique)
        PutSignFlipped(key.data() + at, GetLittleEndian(record + 5, 4), 4);
    return key;
}

int CompareKeys(const KeyLayout& layout, const Bytes& a, const Bytes& b, const KeyCollation* collation) {
    size_t at = 0;
    for (const KeyPart& part : layout.Parts) {
        const size_t len = 1u + part.Width;
        int c = 0;
        if (collation != nullptr && part.DataType == DataTypes::String && part.FieldNum != kRecordIDFieldNum &&
            part.FieldNum != kRecordHashFieldNum) {
            c = (a[at] > b[at]) - (a[at] < b[at]);
            if (c == 0) {
                const auto* pa = a.data() + at + 1;
                const auto* pb = b.data() + at + 1;
                c = collation->Compare(
                    std::string_view(reinterpret_cast<const char*>(pa), TextLength(pa, part.Width)),
                    std::string_view(reinterpret_cast<const char*>(pb), TextLength(pb, part.Width)));
                c = (c > 0) - (c < 0);
            }
        } else {
            const int m = std::memcmp(a.data() + at, b.data() + at, len);
            c = (m > 0) - (m < 0);
        }
        if (c != 0)
            return part.Descending ? -c : c;
        at += len;
    }
    if (at < layout.KeySize) {
        const int m = std::memcmp(a.data() + at, b.data() + at, layout.KeySize - at);
        return (m > 0) - (m < 0);
    }
    return 0;
}

} // namespace tableengine::writer
