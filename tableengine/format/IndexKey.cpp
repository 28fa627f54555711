#include "tableengine/format/IndexKey.h"

#include "tableengine/format/ByteOrder.h"
#include "tableengine/format/DataHeader.h"

#include <cstring>
#include <limits>

namespace tableengine {
namespace {


int Sign(int v) { return (v > 0) - (v < 0); }

int CompareBytes(const uint8_t* a, const uint8_t* b, size_t n)
{
    return n == 0 ? 0 : Sign(std::memcmp(a, b, n));
}

size_t TextLength(const uint8_t* p, size_t n)
{
    const void* zero = std::memchr(p, 0, n);
    return zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : n;
}

// Copies a record's bytes into dest, zero where the record is too short (bounds of a damaged slot).
void CopyFromRecord(std::span<const uint8_t> record, size_t offset, uint8_t* dest, size_t n)
{
    std::memset(dest, 0, n);
    if (offset < record.size())
        std::memcpy(dest, record.data() + offset, std::min(n, record.size() - offset));
}

// Order-preserving encoding of value bytes (as the record holds them) into width key bytes.
void EncodeValue(const TKeyFieldInfo& field, const uint8_t* value, uint8_t* out, uint16_t width)
{
    switch (field.DataType) {
    case dtDate:
    case dtInteger:
    case dtTime:
        PutBigEndian(out, GetLittleEndian(value, 4) ^ 0x80000000u, 4);
        break;
    case dtSmallInt:
        PutBigEndian(out, GetLittleEndian(value, 2) ^ 0x8000u, 2);
        break;
    case dtBoolean:
    case dtWord:
        PutBigEndian(out, GetLittleEndian(value, 2), 2);
        break;
    case dtLargeInt:
        PutBigEndian(out, GetLittleEndian(value, 8) ^ 0x8000000000000000ull, 8);
        break;
    case dtFloat:
    case dtTimeStamp: {
        uint64_t bits = GetLittleEndian(value, 8);
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        bits = d < 0 ? ~bits : bits | 0x8000000000000000ull;
        PutBigEndian(out, bits, 8);
        break;
    }
    case dtBCD: {
        const int64_t currency = BcdToCurrency({value, field.DataSize});
        PutBigEndian(out, static_cast<uint64_t>(currency) ^ 0x8000000000000000ull, 8);
        break;
    }
    default:
        std::memcpy(out, value, width);
        break;
    }
}

} // namespace

uint16_t KeyWidth(uint8_t dataType, uint16_t dataSize)
{
    switch (dataType) {
    case dtDate:
    case dtInteger:
    case dtTime: return 4;
    case dtSmallInt:
    case dtBoolean:
    case dtWord: return 2;
    case dtLargeInt:
    case dtFloat:
    case dtTimeStamp:
    case dtBCD: return 8;
    default: return dataSize;
    }
}

int64_t BcdToCurrency(std::span<const uint8_t> bcd)
{
    if (bcd.size() < 2)
        return 0;
    const unsigned precision = std::min<unsigned>(bcd[0], 64);
    if (precision == 0)
        return 0;
    const bool negative = (bcd[1] & 0x80) != 0;
    const unsigned places = bcd[1] & 0x3F;
    // value x 10^4 = digits x 10^(4 - places): digits beyond the fourth decimal are dropped (the first of
    // them rounds), too few decimals are made up by factors of 10; the magnitude saturates.
    constexpr uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    uint64_t acc = 0;
    bool saturated = false;
    auto push = [&](unsigned digit) {
        if (saturated || acc > (limit - digit) / 10)
            saturated = true;
        else
            acc = acc * 10 + digit;
    };
    const unsigned dropped = places > 4 ? places - 4 : 0;
    const unsigned keep = precision > dropped ? precision - dropped : 0;
    unsigned roundDigit = 0;
    for (unsigned i = 0; i < precision; ++i) {
        const size_t byte = 2 + i / 2;
        const unsigned nibble = byte < bcd.size() ? (i % 2 == 0 ? bcd[byte] >> 4 : bcd[byte]) & 0x0Fu : 0u;
        const unsigned digit = nibble % 10;
        if (i < keep)
            push(digit);
        else if (i == keep)
            roundDigit = digit;
    }
    for (unsigned p = places; p < 4; ++p)
        push(0);
    if (!saturated && roundDigit >= 5) {
        if (acc == limit)
            saturated = true;
        else
            ++acc;
    }
    const auto magnitude = static_cast<int64_t>(saturated ? limit : acc);
    return negative ? -magnitude : magnitude;
}

TKeyLayout::TKeyLayout(std::vector<TKeyFieldInfo> fields, uint16_t keySize, bool unique, bool caseInsensitive,
                       const TKeyLocale* locale, bool textIndex)
    : FFields(std::move(fields)), FKeySize(keySize), FUnique(unique), FCaseInsensitive(caseInsensitive),
      FTextIndex(textIndex), FLocale(locale)
{
}

void TKeyLayout::GetKeyValues(std::span<const uint8_t> record, std::span<uint8_t> key) const
{
    std::fill(key.begin(), key.end(), uint8_t{0});
    const size_t keySize = std::min(key.size(), size_t{FKeySize});
    size_t pos = 0;
    std::vector<uint8_t> value;
    for (const TKeyFieldInfo& field : FFields) {
        uint16_t width = 0;
        size_t valueOffset = 0;
        bool present = true;
        if (field.FieldNum == RecordIDFieldNum) {
            width = 4;
            valueOffset = RecordIDOffset;
        } else if (field.FieldNum == RecordHashFieldNum) {
            width = 16;
            valueOffset = RecordHashOffset;
        } else {
            width = KeyWidth(field.DataType, field.DataSize);
            present = field.Offset < record.size() && record[field.Offset] != 0;
            valueOffset = size_t{field.Offset} + 1;
        }
        if (pos + 1 + width > keySize)
            break; // a definition wider than its key size; the header check refuses such files
        const size_t valueSize = field.FieldNum == RecordIDFieldNum || field.FieldNum == RecordHashFieldNum
                                     ? width
                                     : std::max<size_t>(field.DataSize, width);
        value.assign(valueSize, 0);
        CopyFromRecord(record, valueOffset, value.data(), valueSize);

        uint8_t* out = key.data() + pos;
        out[0] = present ? 1 : 0;
        if (field.FieldNum == RecordIDFieldNum) {
            PutBigEndian(out + 1, GetLittleEndian(value.data(), 4) ^ 0x80000000u, 4);
        } else if (field.FieldNum == RecordHashFieldNum) {
            std::memcpy(out + 1, value.data(), 16);
        } else if (field.DataType == dtString) {
            const size_t len = TextLength(value.data(), width);
            std::memcpy(out + 1, value.data(), len);
            if (FCaseInsensitive) {
                if (FLocale)
                    FLocale->UpperCase({out + 1, len});
                else
                    for (size_t i = 0; i < len; ++i)
                        out[1 + i] = DefaultUpperCase(out[1 + i]);
            }
        } else {
            EncodeValue(field, value.data(), out + 1, width);
        }
        pos += 1 + width;
    }
    if (!FUnique && pos + 4 <= keySize) {
        uint8_t id[4];
        CopyFromRecord(record, RecordIDOffset, id, 4);
        PutBigEndian(key.data() + keySize - 4, GetLittleEndian(id, 4) ^ 0x80000000u, 4);
    }
}

int TKeyLayout::CompareText(const uint8_t* a, const uint8_t* b, size_t n) const
{
    const std::string_view ta(reinterpret_cast<const char*>(a), TextLength(a, n));
    const std::string_view tb(reinterpret_cast<const char*>(b), TextLength(b, n));
    return Sign(FLocale->CompareStrings(ta, tb));
}

int TKeyLayout::Compare(const uint8_t* a, const uint8_t* b, size_t n) const
{
    n = std::min(n, size_t{FKeySize});
    if (FTextIndex) {
        // 3 bytes, 61 bytes of word text, 4 bytes.
        const size_t first = std::min<size_t>(3, n);
        if (int r = CompareBytes(a, b, first))
            return r;
        const size_t word = std::min<size_t>(61, n - first);
        const int r = FLocale ? CompareText(a + first, b + first, word) : CompareBytes(a + first, b + first, word);
        if (r)
            return r;
        return CompareBytes(a + first + word, b + first + word, n - first - word);
    }
    size_t pos = 0;
    for (const TKeyFieldInfo& field : FFields) {
        if (pos >= n)
            break;
        uint16_t width = field.FieldNum == RecordIDFieldNum     ? 4
                         : field.FieldNum == RecordHashFieldNum ? 16
                                                                : KeyWidth(field.DataType, field.DataSize);
        const size_t len = std::min(size_t{width} + 1, n - pos);
        int r = 0;
        const bool text = FLocale && field.DataType == dtString && field.FieldNum != RecordIDFieldNum &&
                          field.FieldNum != RecordHashFieldNum;
        if (text) {
            r = CompareBytes(a + pos, b + pos, 1);
            if (r == 0 && len > 1)
                r = CompareText(a + pos + 1, b + pos + 1, len - 1);
        } else {
            r = CompareBytes(a + pos, b + pos, len);
        }
        if (r)
            return field.Descending ? -r : r;
        pos += len;
    }
    return pos < n ? CompareBytes(a + pos, b + pos, n - pos) : 0;
}

TPageSearch SearchPage(const TPageEntries& page, std::span<const uint8_t> key, const TKeyLayout& layout)
{
    const int count = static_cast<int>(page.GetNumberOfKeys());
    if (count == 0 || page.GetKey(count).empty())
        return {};
    int low = 1;
    int high = count;
    const bool node = page.IsNode();
    int candidate = node ? 1 : count;
    while (low <= high) {
        const int probe = (low + high) / 2;
        const int r = layout.Compare(page.GetKey(probe), key);
        if (r == 0)
            return {probe, true};
        if (r < 0) {
            if (node)
                candidate = probe;
            low = probe + 1;
        } else {
            if (!node)
                candidate = probe;
            high = probe - 1;
        }
    }
    return {candidate, false};
}

} // namespace tableengine
