// The index file the writer lays out: header and definition slots, key encodings, the packed leaf
// entries of each compression kind, and multi-level trees with lower-key counts and leaf chains.
#include "TableWriterTestSupport.h"
#include "WriterFixture.h"

#include "tablewriter/TableWriter.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

using namespace tableengine::writer;
using namespace writertest;

namespace {

constexpr size_t kPageArea = 25088;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes PageBytes(const Bytes& idx, int32_t page, size_t pageSize) {
    return Slice(idx, kPageArea + static_cast<size_t>(page - 1) * pageSize, pageSize);
}

struct IndexDef {
    size_t KeySize;
    bool Unique;
    int Compression;
    bool Stats;
};

IndexDef ReadDef(const Bytes& idx, size_t slot) {
    const size_t at = 512 + 768 * slot;
    return IndexDef{U16(idx, at + 61), idx[at + 128] != 0, idx[at + 129], idx[at + 515] == 0};
}

// Walks one index from its root, checking page types, capacities, compressed sizes, node keys and
// counts, and the left/right chain of every level; answers the leaf entries in order.
std::vector<PageEntry> WalkIndex(const Bytes& idx, size_t slot, size_t pageSize, int* levelsOut = nullptr) {
    const IndexDef def = ReadDef(idx, slot);
    const int32_t root = I32(idx, 34 + 4 * slot);
    std::vector<PageEntry> leaves;
    if (root == 0)
        return leaves;
    std::map<int, std::vector<int32_t>> levels; // pages per depth, in visiting order
    std::map<int, std::vector<std::pair<int32_t, int32_t>>> links;
    int depthMax = 0;
    std::function<std::pair<Bytes, int32_t>(int32_t, int)> visit = [&](int32_t number, int depth) {
        const Page p = ExpandPage(PageBytes(idx, number, pageSize), def.KeySize, def.Unique, def.Compression, def.Stats);
        levels[depth].push_back(number);
        links[depth].push_back({p.Left, p.Right});
        EXPECT_GT(p.Keys, 0) << "page " << number;
        EXPECT_LE(p.PackedBytes, pageSize - 13);
        const bool isRoot = depth == 0;
        if (p.Type == 2 || p.Type == 3) {
            EXPECT_EQ(p.Type, isRoot ? 3 : 2);
            EXPECT_EQ(p.CompressedSize, def.Compression == 0 ? 0 : p.PackedBytes);
            depthMax = std::max(depthMax, depth);
            for (const PageEntry& e : p.Entries)
                leaves.push_back(e);
            return std::make_pair(p.Entries.front().Key, static_cast<int32_t>(p.Keys));
        }
        EXPECT_EQ(p.Type, isRoot ? 0 : 1) << "page " << number;
        EXPECT_EQ(p.CompressedSize, 0);
        EXPECT_EQ(p.PackedBytes, p.Keys * (def.KeySize + (def.Stats ? 8 : 4)));
        int32_t total = 0;
        for (const PageEntry& e : p.Entries) {
            const auto [first, count] = visit(e.Number, depth + 1);
            EXPECT_EQ(e.Key, first) << "node key of page " << number;
            if (def.Stats) {
                EXPECT_EQ(e.Count, count) << "lower-key count in page " << number;
            }
            total += count;
        }
        return std::make_pair(p.Entries.front().Key, total);
    };
    visit(root, 0);
    for (const auto& [depth, pages] : levels) {
        for (size_t i = 0; i < pages.size(); ++i) {
            EXPECT_EQ(links[depth][i].first, i == 0 ? 0 : pages[i - 1]) << "left link, level " << depth;
            EXPECT_EQ(links[depth][i].second, i + 1 == pages.size() ? 0 : pages[i + 1]) << "right link";
        }
    }
    if (levelsOut)
        *levelsOut = depthMax + 1;
    return leaves;
}

} // namespace

TEST(TableWriterIndex, HeaderAndDefinitionSlots) {
    WriterTable t;
    t.Fields = {Field("Nr", DataTypes::Integer), Field("Name", DataTypes::String, 10)};
    WriterIndex byName = Index("ByName", {{"Name", true}, {"Nr", false}}, false, KeyCompression::TrailingByte);
    byName.CaseInsensitive = true;
    byName.NoKeyStatistics = true;
    t.SecondaryIndexes = {byName, Index("ByNr", {{"Nr", false}}, true)};
    Bytes idx = BuildTableFiles(t).Index; // no rows
    ASSERT_EQ(idx.size(), kPageArea);
    EXPECT_EQ(I32(idx, 0), 1);
    EXPECT_EQ(idx[8], 6);
    EXPECT_EQ(Slice(idx, 9, 16), Md5Of("TABLE_SIG"));
    EXPECT_EQ(I32(idx, 25), 0);
    EXPECT_EQ(I32(idx, 29), 1);
    EXPECT_EQ(idx[33], 2);
    EXPECT_EQ(Slice(idx, 34, 256), Bytes(256, 0)); // no roots, no data roots
    EXPECT_EQ(Slice(idx, 290, 222), Bytes(222, 0));

    // Slot 0: the automatic primary index.
    Bytes auto0(768, 0);
    auto0[61] = 5;
    auto0[128] = 1;
    auto0[130] = 1;
    auto0[259] = 0xFF;
    auto0[260] = 0xFF;
    EXPECT_EQ(Slice(idx, 512, 768), auto0);
    // Slot 1: ByName, non-unique: (1 + 11) + (1 + 4) + 4 = 21.
    const size_t s1 = 512 + 768;
    EXPECT_EQ(ShortString(idx, s1), "ByName");
    EXPECT_EQ(U16(idx, s1 + 61), 21);
    EXPECT_EQ(idx[s1 + 126], 0);
    EXPECT_EQ(idx[s1 + 127], 1);
    EXPECT_EQ(idx[s1 + 128], 0);
    EXPECT_EQ(idx[s1 + 129], 2);
    EXPECT_EQ(idx[s1 + 130], 2);
    EXPECT_EQ(idx[s1 + 131], 1);
    EXPECT_EQ(idx[s1 + 132], 0);
    EXPECT_EQ(U16(idx, s1 + 259), 2);
    EXPECT_EQ(U16(idx, s1 + 261), 1);
    EXPECT_EQ(idx[s1 + 515], 1);
    EXPECT_EQ(U16(idx, 512 + 2 * 768 + 61), 5);
    // Slots 3 to 30 empty; slot 31 the text index.
    EXPECT_EQ(Slice(idx, 512 + 3 * 768, 28 * 768), Bytes(28 * 768, 0));
    const size_t s31 = 512 + 31 * 768;
    EXPECT_EQ(ShortString(idx, s31), "Sys Text");
    EXPECT_EQ(U16(idx, s31 + 61), 68);
    EXPECT_EQ(idx[s31 + 128], 0);
    EXPECT_EQ(idx[s31 + 129], 3);
    EXPECT_EQ(idx[s31 + 130], 0);
    EXPECT_EQ(idx[s31 + 515], 1);

    // With rows, all indexes share one page area: slot 0's page first, then slot 1, then slot 2.
    t.Rows = {Row({"1", "b"}), Row({"2", "a"})};
    idx = BuildTableFiles(t).Index;
    EXPECT_EQ(I32(idx, 29), 4);
    EXPECT_EQ(idx.size(), kPageArea + 3 * 4096);
    EXPECT_EQ(I32(idx, 34), 1);
    EXPECT_EQ(I32(idx, 38), 2);
    EXPECT_EQ(I32(idx, 42), 3);
}

TEST(TableWriterIndex, KeyEncodings) {
    WriterTable t;
    WriterField bcd = Field("C", DataTypes::Bcd);
    bcd.Decimals = 2;
    t.Fields = {Field("I", DataTypes::Integer),   Field("F", DataTypes::Float),   Field("F2", DataTypes::Float),
                Field("S", DataTypes::SmallInt),  Field("W", DataTypes::Word),    Field("B", DataTypes::Boolean),
                Field("G", DataTypes::LargeInt),  Field("D", DataTypes::Date),    bcd,
                Field("T", DataTypes::String, 4), Field("N", DataTypes::Integer), Field("Y", DataTypes::Bytes, 2),
                Field("Z", DataTypes::TimeStamp)};
    WriterIndex all = Index("All", {}, true);
    for (const WriterField& f : t.Fields)
        all.Fields.push_back({f.Name, false});
    all.Fields.push_back({"RecordID", false});
    all.CaseInsensitive = true;
    t.SecondaryIndexes = {all, Index("ByI", {{"I", false}}, false)};
    t.Rows = {Row({"-1", "-1.0", "1.0", "-2", "258", "True", "1", "0001-01-01", "1.5", "ab", std::nullopt,
                   std::string("\x01\xFE", 2), "0001-01-01"})};
    const Bytes idx = BuildTableFiles(t).Index;
    const Bytes expected = Cat({Hex("01 7fffffff"), Hex("01 400fffffffffffff"), Hex("01 bff0000000000000"),
                                Hex("01 7ffe"), Hex("01 0102"), Hex("01 0001"), Hex("01 8000000000000001"),
                                Hex("01 80000001"), Hex("01 8000000000003a98"), Hex("01 4142000000"),
                                Hex("00 80000000"), Hex("01 01fe"),
                                // 86400000 ms as a double: 0x4194997000000000, top bit set
                                Hex("01 c194997000000000"), Hex("01 80000001")});
    const IndexDef def = ReadDef(idx, 1);
    ASSERT_EQ(def.KeySize, expected.size());
    const Page p = ExpandPage(PageBytes(idx, I32(idx, 38), 4096), def.KeySize, true, 0, true);
    ASSERT_EQ(p.Keys, 1);
    EXPECT_EQ(p.Entries[0].Key, expected);
    EXPECT_EQ(p.Entries[0].Number, 1);
    // Non-unique: the record-ID suffix follows without a flag byte.
    const Page q = ExpandPage(PageBytes(idx, I32(idx, 42), 4096), 9, false, 0, true);
    EXPECT_EQ(q.Entries.at(0).Key, Hex("01 7fffffff 80000001"));
}

TEST(TableWriterIndex, PackedLeafEntriesOfEachKind) {
    struct Case {
        uint8_t Compression;
        bool Unique;
        std::vector<std::string> Texts;
        std::string Entries; // hex of the packed entries, record numbers included
    };
    const std::vector<Case> cases = {
        {KeyCompression::None, true, {"AB"}, "01 4142000000 01000000"},
        {KeyCompression::DuplicateByte, true, {"ABCD", "ABCE"}, "00 0141424344 00 01000000 04 4500 02000000"},
        {KeyCompression::TrailingByte, true, {"AB"}, "03 014142 01000000"},
        {KeyCompression::TrailingByte, false, {"AB"}, "03 014142 80000001 01000000"},
        {KeyCompression::Full, true, {"AB", "AC"}, "00 03 014142 01000000 02 03 43 02000000"},
        // Non-unique: trailing zeros counted in front of the suffix only.
        {KeyCompression::Full, false, {"AB", "AC"},
         "00 03 014142 80000001 01000000 02 03 43 80000002 02000000"},
        // An empty (blank) text: the whole unique key is zero.
        {KeyCompression::TrailingByte, true, {""}, "06 01000000"},
    };
    for (const Case& c : cases) {
        WriterTable t;
        t.Fields = {Field("T", DataTypes::String, 4)};
        t.SecondaryIndexes = {Index("X", {{"T", false}}, c.Unique, c.Compression)};
        for (const std::string& s : c.Texts)
            t.Rows.push_back(Row({s}));
        const Bytes idx = BuildTableFiles(t).Index;
        const Bytes page = PageBytes(idx, I32(idx, 38), 4096);
        const Bytes want = Hex(c.Entries);
        EXPECT_EQ(page[0], 3);
        EXPECT_EQ(U16(page, 1), c.Texts.size());
        EXPECT_EQ(U16(page, 11), c.Compression == 0 ? 0 : want.size());
        EXPECT_EQ(Slice(page, 13, want.size()), want) << "kind " << int(c.Compression) << " unique " << c.Unique;
        EXPECT_EQ(Slice(page, 13 + want.size(), 4096 - 13 - want.size()), Bytes(4096 - 13 - want.size(), 0));
    }
}

TEST(TableWriterIndex, MultiLevelTreesInEveryKind) {
    const size_t pageSize = 1024;
    const int rows = 700;
    WriterTable base;
    base.Fields = {Field("Nr", DataTypes::Integer), Field("Text", DataTypes::String, 60)};
    base.IndexPageSize = static_cast<int32_t>(pageSize);
    std::vector<std::string> texts;
    for (int i = 0; i < rows; ++i) {
        // Shared prefixes and varying lengths, unique for i < 1000.
        const int v = (i * 7919) % 1000;
        texts.push_back(std::string(static_cast<size_t>(1 + v % 5), "PQRS"[v % 4]) + "-" + std::to_string(v));
        base.Rows.push_back(Row({std::to_string(v - 500), texts.back()}));
    }
    struct Config {
        uint8_t Compression;
        bool Unique;
        bool Descending;
        bool NoStats;
    };
    const std::vector<Config> configs = {
        {KeyCompression::None, true, false, false},         {KeyCompression::DuplicateByte, true, false, false},
        {KeyCompression::TrailingByte, true, false, false}, {KeyCompression::Full, true, false, false},
        {KeyCompression::None, false, true, false},         {KeyCompression::DuplicateByte, false, false, true},
        {KeyCompression::TrailingByte, false, true, false}, {KeyCompression::Full, false, true, true},
    };
    for (const Config& c : configs) {
        WriterTable t = base;
        WriterIndex ix = Index("ByText", {{"Text", c.Descending}}, c.Unique, c.Compression);
        ix.NoKeyStatistics = c.NoStats;
        t.SecondaryIndexes = {ix};
        t.PrimaryKey = Index("", {{"Nr", false}}, true, c.Compression);
        const Bytes idx = BuildTableFiles(t).Index;
        const int32_t pages = I32(idx, 29) - 1;
        EXPECT_EQ(idx.size(), kPageArea + static_cast<size_t>(pages) * pageSize);

        // Expected keys, built from the key rules here: flag, text zero-padded to 61 bytes, and for a
        // non-unique index the record ID with the top bit inverted.
        std::vector<PageEntry> want;
        for (int i = 0; i < rows; ++i) {
            PageEntry e;
            e.Key = Bytes(62, 0);
            e.Key[0] = 1;
            std::memcpy(e.Key.data() + 1, texts[static_cast<size_t>(i)].data(), texts[static_cast<size_t>(i)].size());
            if (!c.Unique) {
                const Bytes id = IntKey(i + 1);
                e.Key.insert(e.Key.end(), id.begin(), id.end());
            }
            e.Number = i + 1;
            want.push_back(e);
        }
        std::sort(want.begin(), want.end(), [&](const PageEntry& a, const PageEntry& b) {
            const int m = std::memcmp(a.Key.data(), b.Key.data(), 62);
            if (m != 0)
                return c.Descending ? m > 0 : m < 0;
            return a.Key < b.Key;
        });
        int levels = 0;
        const std::vector<PageEntry> got = WalkIndex(idx, 1, pageSize, &levels);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].Key, want[i].Key) << "entry " << i << " kind " << int(c.Compression);
            ASSERT_EQ(got[i].Number, want[i].Number) << "entry " << i;
        }
        EXPECT_GE(levels, 2) << "kind " << int(c.Compression);
        if (c.Compression == KeyCompression::None) {
            EXPECT_EQ(levels, 3); // at most 15 keys per leaf and 14 (unique) node entries per page
        }

        // The primary key on Nr orders by the integer, nulls none here.
        const std::vector<PageEntry> primary = WalkIndex(idx, 0, pageSize);
        ASSERT_EQ(primary.size(), static_cast<size_t>(rows));
        for (size_t i = 1; i < primary.size(); ++i)
            EXPECT_LT(primary[i - 1].Key, primary[i].Key);
    }
}

TEST(TableWriterIndex, CaseInsensitiveKeysAndCollation) {
    WriterTable t;
    t.Fields = {Field("T", DataTypes::String, 6)};
    WriterIndex nocase = Index("NoCase", {{"T", false}}, false);
    nocase.CaseInsensitive = true;
    t.SecondaryIndexes = {nocase};
    t.Rows = {Row({"\xE9\xFF\x9A\xDF" "a"})}; // é ÿ š ß a in Windows-1252
    Bytes idx = BuildTableFiles(t).Index;
    Page p = ExpandPage(PageBytes(idx, I32(idx, 38), 4096), 12, false, 0, true);
    EXPECT_EQ(Slice(p.Entries.at(0).Key, 0, 8), Hex("01 c99f8adf41 0000"));

    // A unique case-insensitive index refuses two texts that differ only in letter case.
    t.SecondaryIndexes[0].Unique = true;
    t.Rows = {Row({"abc"}), Row({"ABC"})};
    EXPECT_THROW(BuildTableFiles(t), WriterError);

    // A table locale orders string keys with its collation and cases texts with its rules.
    struct ByLength : KeyCollation {
        int Compare(std::string_view a, std::string_view b) const override {
            if (a.size() != b.size())
                return a.size() < b.size() ? -1 : 1;
            return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
        }
        std::string Upper(std::string_view s) const override { return "U" + std::string(s.substr(1)); }
        std::string Lower(std::string_view s) const override { return std::string(s); }
    };
    WriterTable l;
    l.Fields = {Field("T", DataTypes::String, 6), Field("C", DataTypes::String, 6)};
    l.Fields[1].CharCase = 1;
    l.LocaleID = 1031;
    l.Collation = std::make_shared<ByLength>();
    l.SecondaryIndexes = {Index("ByT", {{"T", false}}, true)};
    l.Rows = {Row({"bbb", "xy"}), Row({"a", "xy"}), Row({"cc", "xy"})};
    const TableFiles f = BuildTableFiles(l);
    p = ExpandPage(PageBytes(f.Index, I32(f.Index, 38), 4096), 8, true, 0, true);
    ASSERT_EQ(p.Keys, 3);
    EXPECT_EQ(p.Entries[0].Number, 2);
    EXPECT_EQ(p.Entries[1].Number, 3);
    EXPECT_EQ(p.Entries[2].Number, 1);
    EXPECT_EQ(I32(f.Data, 189), 1031);
    EXPECT_EQ(Slice(f.Data, 512 + 2 * 768 + 25 + 8, 3), Hex("01 5579")); // "Uy"
}

TEST(TableWriterIndex, TableLocaleOrdersWithThePlatformCollation) {
    WriterTable t;
    t.Fields = {Field("T", DataTypes::String, 6)};
    t.SecondaryIndexes = {Index("ByT", {{"T", false}}, true)};
    t.Rows = {Row({"c"}), Row({"B"}), Row({"a"})};
    Bytes idx = BuildTableFiles(t).Index; // LocaleID 0: bytes, 'B' before 'a'
    Page p = ExpandPage(PageBytes(idx, I32(idx, 38), 4096), 8, true, 0, true);
    ASSERT_EQ(p.Keys, 3);
    EXPECT_EQ(p.Entries[0].Number, 2);
    EXPECT_EQ(p.Entries[1].Number, 3);
    t.LocaleID = 1031; // German: a, B, c
    idx = BuildTableFiles(t).Index;
    p = ExpandPage(PageBytes(idx, I32(idx, 38), 4096), 8, true, 0, true);
    ASSERT_EQ(p.Keys, 3);
    EXPECT_EQ(p.Entries[0].Number, 3);
    EXPECT_EQ(p.Entries[1].Number, 2);
    EXPECT_EQ(p.Entries[2].Number, 1);
}

TEST(TableWriterIndex, RefusesImpossibleIndexes) {
    WriterTable base;
    base.Fields = {Field("A", DataTypes::Integer), Field("M", DataTypes::Blob, 0, SubTypes::Memo),
                   Field("Big", DataTypes::String, 400)};
    const auto fails = [](const WriterTable& t) { EXPECT_THROW(BuildTableFiles(t), WriterError); };
    WriterTable t = base;
    t.SecondaryIndexes = {Index("1st", {{"A", false}}, true)};
    fails(t);
    t.SecondaryIndexes = {Index("X", {{"A", false}}, true), Index("x ", {{"A", false}}, true)};
    fails(t);
    t.SecondaryIndexes = {Index("X", {{"M", false}}, true)};
    fails(t);
    t.SecondaryIndexes = {Index("X", {{"Nope", false}}, true)};
    fails(t);
    t.SecondaryIndexes = {Index("X", {{"Big", false}}, true)}; // 402 > (1024 - 13) / 3
    t.IndexPageSize = 1024;
    fails(t);
    t.IndexPageSize = 2048;
    EXPECT_NO_THROW(BuildTableFiles(t));
    t = base;
    t.PrimaryKey = Index("", {{"A", false}}, false);
    t.Rows = {Row({"1", std::nullopt, "x"}), Row({"1", std::nullopt, "y"})};
    fails(t); // the primary key is unique whatever is asked
}
