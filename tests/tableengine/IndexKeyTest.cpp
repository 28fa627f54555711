// Building keys from records with every key encoding, ordering keys with and without a locale, and
// searching pages for a key.
#include "tableengine/format/DataHeader.h"
#include "tableengine/format/IndexKey.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace tableengine;

namespace {

using Bytes = std::vector<uint8_t>;

// A record slot of 64 bytes with record ID 0x01020304 and one field value at offset 25.
Bytes Record(uint8_t flag, const Bytes& value)
{
    Bytes r(64, 0);
    r[5] = 0x04;
    r[6] = 0x03;
    r[7] = 0x02;
    r[8] = 0x01;
    r[25] = flag;
    std::copy(value.begin(), value.end(), r.begin() + 26);
    return r;
}

Bytes BuildKey(uint8_t type, uint16_t dataSize, const Bytes& record, bool unique = true,
               bool caseInsensitive = false, const TKeyLocale* locale = nullptr)
{
    const uint16_t width = KeyWidth(type, dataSize);
    const auto keySize = static_cast<uint16_t>(1 + width + (unique ? 0 : 4));
    TKeyLayout layout({TKeyFieldInfo{1, type, 0, dataSize, 25, false}}, keySize, unique, caseInsensitive, locale);
    Bytes key(keySize, 0xEE);
    layout.GetKeyValues(record, key);
    return key;
}

Bytes LE(uint64_t v, size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
}

Bytes Double(double d)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &d, 8);
    return LE(bits, 8);
}

// A locale that orders texts without regard to letter case and upper-cases by shifting a-z; stands in
// for a real collation so that the routing of string parts through the locale is visible.
class CaseBlindLocale : public TKeyLocale {
public:
    int CompareStrings(std::string_view a, std::string_view b) const override
    {
        std::string x(a), y(b);
        for (auto& c : x) c = static_cast<char>(DefaultUpperCase(static_cast<uint8_t>(c)));
        for (auto& c : y) c = static_cast<char>(DefaultUpperCase(static_cast<uint8_t>(c)));
        return x.compare(y) < 0 ? -1 : x.compare(y) > 0 ? 1 : 0;
    }
    void UpperCase(std::span<uint8_t> text) const override
    {
        for (auto& c : text)
            c = c == 'i' ? '!' : DefaultUpperCase(c); // a visible locale-specific rule
    }
};

} // namespace

TEST(IndexKey, EncodingsOfEveryKeyType)
{
    struct Case {
        const char* what;
        uint8_t type;
        uint16_t dataSize;
        Bytes value;
        Bytes key; // without the flag byte
    };
    Bytes bcd(34, 0);
    bcd[0] = 3;    // precision 3: digits 1 2 5
    bcd[1] = 0x81; // negative, one decimal place: -12.5
    bcd[2] = 0x12;
    bcd[3] = 0x50;
    const std::vector<Case> cases = {
        {"int32 -1", dtInteger, 4, LE(0xFFFFFFFF, 4), {0x7F, 0xFF, 0xFF, 0xFF}},
        {"int32 0", dtInteger, 4, LE(0, 4), {0x80, 0, 0, 0}},
        {"int32 1", dtInteger, 4, LE(1, 4), {0x80, 0, 0, 1}},
        {"date", dtDate, 4, LE(738000, 4), {0x80, 0x0B, 0x42, 0xD0}},
        {"time", dtTime, 4, LE(1000, 4), {0x80, 0, 0x03, 0xE8}},
        {"int16 -2", dtSmallInt, 2, LE(0xFFFE, 2), {0x7F, 0xFE}},
        {"boolean", dtBoolean, 2, LE(1, 2), {0, 1}},
        {"word", dtWord, 2, LE(0xABCD, 2), {0xAB, 0xCD}},
        {"int64 -1", dtLargeInt, 8, LE(~0ull, 8), {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"double -1", dtFloat, 8, Double(-1.0), {0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"double 1", dtFloat, 8, Double(1.0), {0xBF, 0xF0, 0, 0, 0, 0, 0, 0}},
        {"timestamp", dtTimeStamp, 8, Double(2.0), {0xC0, 0, 0, 0, 0, 0, 0, 0}},
        // -12.5 as currency is -125000 = 0xFFFFFFFFFFFE17B8, top bit inverted.
        {"bcd", dtBCD, 34, bcd, {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x17, 0xB8}},
        {"bytes unchanged", dtBytes, 3, {0x09, 0x00, 0xFF}, {0x09, 0x00, 0xFF}},
        {"string up to its zero, rest zero", dtString, 6, {'a', 'b', 0, 'x', 'y', 0}, {'a', 'b', 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes key = BuildKey(c.type, c.dataSize, Record(1, c.value));
        ASSERT_EQ(key.size(), c.key.size() + 1);
        EXPECT_EQ(key[0], 1);
        EXPECT_EQ(Bytes(key.begin() + 1, key.end()), c.key);
    }
}

TEST(IndexKey, NullFieldsRecordIDAndHashPseudoFieldsAndTheNonUniqueSuffix)
{
    // A blank field: flag 0, value encoded from the (zero) bytes the record holds.
    EXPECT_EQ(BuildKey(dtInteger, 4, Record(0, {})), (Bytes{0, 0x80, 0, 0, 0}));
    // Non-unique: the record ID 0x01020304 follows, big-endian with the top bit inverted, no flag.
    EXPECT_EQ(BuildKey(dtSmallInt, 2, Record(1, LE(1, 2)), false), (Bytes{1, 0x80, 0x01, 0x81, 0x02, 0x03, 0x04}));

    Bytes record = Record(1, {});
    for (uint8_t i = 0; i < 16; ++i)
        record[9 + i] = static_cast<uint8_t>(0xA0 + i);
    TKeyLayout auto_(std::vector<TKeyFieldInfo>{{RecordIDFieldNum, 0, 0, 0, 0, false}}, 5, true, false, nullptr);
    Bytes key(5);
    auto_.GetKeyValues(record, key);
    EXPECT_EQ(key, (Bytes{1, 0x81, 0x02, 0x03, 0x04}));

    TKeyLayout hash(std::vector<TKeyFieldInfo>{{RecordHashFieldNum, 0, 0, 0, 0, false}}, 17, true, false, nullptr);
    Bytes hkey(17);
    hash.GetKeyValues(record, hkey);
    EXPECT_EQ(hkey[0], 1);
    EXPECT_EQ(hkey[1], 0xA0);
    EXPECT_EQ(hkey[16], 0xAF);
}

TEST(IndexKey, CaseInsensitiveStringsAreUpperCasedByDefaultOrByTheLocale)
{
    const Bytes value = {'a', 'i', 0xE9, 0xFF, 0xDF, 0}; // a i e-acute y-diaeresis sharp-s
    EXPECT_EQ(BuildKey(dtString, 6, Record(1, value), true, true), (Bytes{1, 'A', 'I', 0xC9, 0x9F, 0xDF, 0}));
    const CaseBlindLocale locale;
    EXPECT_EQ(BuildKey(dtString, 6, Record(1, value), true, true, &locale),
              (Bytes{1, 'A', '!', 0xC9, 0x9F, 0xDF, 0}));
    // Case-sensitive keys keep their bytes.
    EXPECT_EQ(BuildKey(dtString, 6, Record(1, value), true, false), (Bytes{1, 'a', 'i', 0xE9, 0xFF, 0xDF, 0}));
}

TEST(IndexKey, ComparisonByBytesDescendingFieldsNullsAndSuffix)
{
    // Two fields: a string of width 4 (descending) and an int32, non-unique.
    std::vector<TKeyFieldInfo> fields = {{1, dtString, 0, 4, 25, true}, {2, dtInteger, 0, 4, 30, false}};
    const TKeyLayout layout(fields, 5 + 5 + 4, false, false, nullptr);
    auto key = [&](uint8_t flag, const char* text, uint32_t n, uint8_t id) {
        Bytes k(14, 0);
        k[0] = flag;
        std::memcpy(k.data() + 1, text, std::strlen(text));
        k[5] = 1;
        k[6] = static_cast<uint8_t>((n >> 24) ^ 0x80);
        k[7] = static_cast<uint8_t>(n >> 16);
        k[8] = static_cast<uint8_t>(n >> 8);
        k[9] = static_cast<uint8_t>(n);
        k[13] = id;
        return k;
    };
    EXPECT_EQ(layout.Compare(key(1, "B", 1, 0), key(1, "A", 1, 0)), -1); // descending string
    EXPECT_EQ(layout.Compare(key(1, "A", 1, 0), key(1, "A", 2, 0)), -1);
    EXPECT_EQ(layout.Compare(key(1, "A", 2, 0), key(1, "A", 2, 5)), -1); // suffix, ascending
    EXPECT_EQ(layout.Compare(key(1, "A", 2, 5), key(1, "A", 2, 5)), 0);
    // A null sorts before every value ascending, after them when the field is descending.
    EXPECT_EQ(layout.Compare(key(0, "", 0, 0), key(1, "A", 0, 0)), 1);
    fields[0].Descending = false;
    const TKeyLayout ascending(fields, 14, false, false, nullptr);
    EXPECT_EQ(ascending.Compare(key(0, "", 0, 0), key(1, "A", 0, 0)), -1);
    // Bytes compare unsigned: 0xE9 after 'Z'.
    EXPECT_EQ(ascending.Compare(key(1, "\xE9", 0, 0), key(1, "Z", 0, 0)), 1);
    // A partial length compares only its bytes.
    EXPECT_EQ(ascending.Compare(key(1, "A", 1, 0).data(), key(1, "A", 2, 0).data(), 5), 0);
}

TEST(IndexKey, LocaleComparesStringPartsAsTextUpToTheirZero)
{
    const CaseBlindLocale locale;
    const std::vector<TKeyFieldInfo> fields = {{1, dtString, 0, 6, 25, false}, {2, dtWord, 0, 2, 32, false}};
    const TKeyLayout layout(fields, 10, true, false, &locale);
    auto key = [](const char* text, uint8_t garbage, uint8_t n) {
        Bytes k(10, 0);
        k[0] = 1;
        std::memcpy(k.data() + 1, text, std::strlen(text));
        k[6] = garbage; // a byte after the terminating zero is not part of the text
        k[7] = 1;
        k[9] = n;
        return k;
    };
    EXPECT_EQ(layout.Compare(key("abc", 0, 1), key("ABC", 0, 1)), 0);
    EXPECT_EQ(layout.Compare(key("abc", 0, 1), key("ABC", 0, 2)), -1);
    EXPECT_EQ(layout.Compare(key("b", 0, 1), key("AZ", 0, 1)), 1);
    Bytes a = key("ab", 0, 1);
    Bytes b = key("ab", 0, 1);
    a[4] = 'q'; // after the zero at index 3
    EXPECT_EQ(layout.Compare(a, b), 0);
    // Without a locale the same keys differ by their bytes.
    const TKeyLayout bytewise(fields, 10, true, false, nullptr);
    EXPECT_EQ(bytewise.Compare(key("abc", 0, 1), key("ABC", 0, 1)), 1);
    // Flag bytes still decide first: null before a value.
    Bytes null = key("", 0, 1);
    null[0] = 0;
    EXPECT_EQ(layout.Compare(null, key("a", 0, 1)), -1);
}

TEST(IndexKey, PageSearchOnLeafAndNodePages)
{
    TIndexDefinition def{};
    def.KeySize = 5;
    def.KeyUnique = true;
    const TKeyLayout layout({{RecordIDFieldNum, 0, 0, 0, 0, false}}, 5, true, false, nullptr);
    auto key = [](uint8_t n) { return Bytes{1, 0x80, 0, 0, n}; };
    TPageEntries leaf;
    leaf.Bind(&def);
    leaf.SetPageType(ptLeaf);
    for (uint8_t n : std::vector<uint8_t>{10, 20, 30, 40, 50})
        leaf.AppendEntry(key(n), n);
    TPageEntries node;
    node.Bind(&def);
    node.SetPageType(ptNode);
    for (uint8_t n : std::vector<uint8_t>{10, 20, 30, 40, 50})
        node.AppendEntry(key(n), n, 5);

    struct Case {
        uint8_t searched;
        int leafEntry;
        int nodeEntry;
        bool exact;
    };
    for (const Case& c : std::vector<Case>{{30, 3, 3, true}, {31, 4, 3, false}, {5, 1, 1, false},
                                           {60, 5, 5, false}, {10, 1, 1, true}, {49, 5, 4, false}}) {
        SCOPED_TRACE(int(c.searched));
        const TPageSearch l = SearchPage(leaf, key(c.searched), layout);
        EXPECT_EQ(l.Entry, c.leafEntry);
        EXPECT_EQ(l.Exact, c.exact);
        const TPageSearch n = SearchPage(node, key(c.searched), layout);
        EXPECT_EQ(n.Entry, c.nodeEntry);
        EXPECT_EQ(node.GetPageKeyCount(n.Entry), 5 * (c.nodeEntry - 1));
    }
    TPageEntries empty;
    empty.Bind(&def);
    EXPECT_EQ(SearchPage(empty, key(1), layout).Entry, 0);
}
