// The data file the writer lays out: header, field definitions, record slots, free list and the value
// encoding of every field type.
#include "TableWriterTestSupport.h"
#include "WriterFixture.h"

#include "tablewriter/TableWriter.h"

#include <cstring>

using namespace tableengine::writer;
using namespace writertest;

TEST(TableWriterDataFile, HeaderDefinitionsAndSlots) {
    WriterTable t;
    t.Fields = {Field("Nr", DataTypes::Integer), Field("Text", DataTypes::String, 20)};
    t.Fields[1].Required = false;
    t.Fields[1].Description = "the text";
    t.Fields[1].Default = "abc";
    t.Fields[1].CharCase = 1;
    t.Description = "Translations";
    t.UserMajorVersion = 3;
    t.UserMinorVersion = 7;
    t.LastUpdated = 45000.25;
    t.IndexPageSize = 1021; // rounded up to 1024
    t.BlobBlockSize = 100;  // rounded up to 104
    t.Rows = {Row({"7", "hello  "}), Row({std::nullopt, ""}), Row({"-1", std::string(25, 'x')})};
    const TableFiles f = BuildTableFiles(t);
    const Bytes& d = f.Data;

    // 25 + (4 + 1) + (21 + 1) = 52, rounded up to 56.
    const size_t recLen = 56, headerSize = 512 + 2 * 768;
    ASSERT_EQ(d.size(), headerSize + 3 * recLen);
    EXPECT_EQ(I32(d, 0), 1);
    EXPECT_EQ(Slice(d, 4, 4), Bytes(4, 0));
    EXPECT_EQ(d[8], 6);
    EXPECT_EQ(Slice(d, 9, 16), Hex("5a896195d36758734684757fde5e83d8")); // MD5 of "TABLE_SIG"
    EXPECT_EQ(I32(d, 25), 0);
    EXPECT_EQ(I32(d, 29), 4);
    EXPECT_EQ(I32(d, 33), 3);
    EXPECT_EQ(I32(d, 37), 0);
    EXPECT_EQ(I32(d, 41), 3);
    EXPECT_EQ(U16(d, 45), recLen);
    EXPECT_EQ(U16(d, 47), 2);
    EXPECT_EQ(U16(d, 49), 0);
    EXPECT_EQ(I32(d, 51), 104);
    EXPECT_EQ(I32(d, 55), 0);
    EXPECT_EQ(I32(d, 59), 1024);
    double updated = 0;
    std::memcpy(&updated, d.data() + 63, 8);
    EXPECT_EQ(updated, 45000.25);
    EXPECT_EQ(ShortString(d, 71), "Translations");
    EXPECT_EQ(d[172], 0);
    EXPECT_EQ(Slice(d, 173, 16), Bytes(16, 0));
    EXPECT_EQ(I32(d, 189), 0);
    EXPECT_EQ(U16(d, 193), 3);
    EXPECT_EQ(U16(d, 195), 7);
    EXPECT_EQ(Slice(d, 197, 315), Bytes(315, 0));

    // Field definitions.
    const size_t f1 = 512, f2 = 512 + 768;
    EXPECT_EQ(U16(d, f1), 1);
    EXPECT_EQ(ShortString(d, f1 + 2), "Nr");
    EXPECT_EQ(d[f1 + 164], 6);
    EXPECT_EQ(U16(d, f1 + 166), 0);
    EXPECT_EQ(U16(d, f1 + 169), 4);
    EXPECT_EQ(U16(d, f1 + 172), 25);
    EXPECT_EQ(U16(d, f2), 2);
    EXPECT_EQ(ShortString(d, f2 + 2), "Text");
    EXPECT_EQ(ShortString(d, f2 + 63), "the text");
    EXPECT_EQ(d[f2 + 164], 1);
    EXPECT_EQ(U16(d, f2 + 166), 20);
    EXPECT_EQ(U16(d, f2 + 169), 21);
    EXPECT_EQ(U16(d, f2 + 172), 30);
    EXPECT_EQ(d[f2 + 175], 1);
    EXPECT_EQ(ShortString(d, f2 + 378), "abc");
    EXPECT_EQ(Slice(d, f2 + 480, 5), Bytes(5, 0));
    EXPECT_EQ(Slice(d, f2 + 486, 282), Bytes(282, 0));

    // Record slots: status, own number, id, hash over bytes 25..end, then flag + value per field.
    for (size_t n = 1; n <= 3; ++n) {
        const size_t at = headerSize + (n - 1) * recLen;
        const Bytes slot = Slice(d, at, recLen);
        EXPECT_EQ(slot[0], 0);
        EXPECT_EQ(I32(slot, 1), static_cast<int32_t>(n));
        EXPECT_EQ(I32(slot, 5), static_cast<int32_t>(n));
        EXPECT_EQ(Slice(slot, 9, 16), Md5Of(slot.data() + 25, recLen - 25)) << n;
    }
    const Bytes r1 = Slice(d, headerSize, recLen);
    EXPECT_EQ(Slice(r1, 25, 5), Hex("0107000000"));
    Bytes text(22, 0);
    text[0] = 1;
    std::memcpy(text.data() + 1, "HELLO", 5); // trailing blanks removed, upper-cased
    EXPECT_EQ(Slice(r1, 30, 22), text);
    EXPECT_EQ(Slice(r1, 52, 4), Bytes(4, 0));
    const Bytes r2 = Slice(d, headerSize + recLen, recLen);
    EXPECT_EQ(Slice(r2, 25, 27), Bytes(27, 0)); // null integer, empty string stored as blank
    const Bytes r3 = Slice(d, headerSize + 2 * recLen, recLen);
    EXPECT_EQ(Slice(r3, 25, 5), Hex("01ffffffff"));
    EXPECT_EQ(r3[30], 1);
    EXPECT_EQ(Slice(r3, 31, 21), [] {
        Bytes b(21, 0);
        std::memset(b.data(), 'X', 20); // cut to Length characters
        return b;
    }());
}

TEST(TableWriterDataFile, DeletedRecordsFormTheFreeList) {
    WriterTable t;
    t.Fields = {Field("Nr", DataTypes::Integer)};
    t.LastUpdated = 0;
    t.Rows = {Row({"1"}), Row({"2"}, true), Row({"3"}), Row({"4"}, true), Row({"5"})};
    const Bytes d = BuildTableFiles(t).Data;
    const size_t h = 512 + 768, len = 32;
    EXPECT_EQ(I32(d, 25), 4); // last deleted is the head
    EXPECT_EQ(I32(d, 29), 6);
    EXPECT_EQ(I32(d, 33), 5);
    EXPECT_EQ(I32(d, 41), 3);
    EXPECT_EQ(d[h + 3 * len], 1);
    EXPECT_EQ(I32(d, h + 3 * len + 1), 2);
    EXPECT_EQ(d[h + 1 * len], 1);
    EXPECT_EQ(I32(d, h + 1 * len + 1), 0);
    EXPECT_EQ(I32(d, h + 1 * len + 5), 2); // the record id stays
    for (size_t n : {size_t{0}, size_t{2}, size_t{4}}) {
        EXPECT_EQ(d[h + n * len], 0);
        EXPECT_EQ(I32(d, h + n * len + 1), static_cast<int32_t>(n + 1));
    }
    // Deleted records have no key in the automatic primary index: a root leaf with 3 entries.
    const Bytes idx = BuildTableFiles(t).Index;
    const Page root = ExpandPage(Slice(idx, 25088, 4096), 5, true, 0, true);
    ASSERT_EQ(root.Keys, 3);
    EXPECT_EQ(root.Entries[1].Number, 3);
}

TEST(TableWriterDataFile, ValueEncodingOfEveryType) {
    struct Case {
        WriterField Field;
        std::string Text;
        std::string Expected; // hex of the value area
    };
    WriterField bcd = Field("B", DataTypes::Bcd);
    bcd.Decimals = 3;
    WriterField bcd0 = Field("B", DataTypes::Bcd);
    const std::vector<Case> cases = {
        {Field("D", DataTypes::Date), "0001-01-01", "01000000"},
        {Field("D", DataTypes::Date), "1899-12-30", "5a950a00"}, // 693594
        {Field("D", DataTypes::Date), "2000-02-29", "43240b00"}, // 730179
        {Field("T", DataTypes::Time), "12:34:56.789", "952cb302"}, // 45296789
        {Field("T", DataTypes::Time), "00:00:01", "e8030000"},
        {Field("S", DataTypes::TimeStamp), "0001-01-02 00:00:01.000", "000000d07799a441"}, // 172801000.0
        {Field("L", DataTypes::Boolean), "True", "0100"},
        {Field("L", DataTypes::Boolean), "false", "0000"},
        {Field("L", DataTypes::Boolean), "7", "0100"},
        {Field("I", DataTypes::SmallInt), "-2", "feff"},
        {Field("W", DataTypes::Word), "65535", "ffff"},
        {Field("I", DataTypes::Integer), "-2147483648", "00000080"},
        {Field("A", DataTypes::Integer, 0, SubTypes::AutoInc), "41", "29000000"},
        {Field("G", DataTypes::LargeInt), "-2", "feffffffffffffff"},
        {Field("F", DataTypes::Float), "1.5", "000000000000f83f"},
        {Field("C", DataTypes::Float, 0, SubTypes::Currency), "-2", "00000000000000c0"},
        {bcd, "-12.3456", "0583123460" + std::string(58, '0')}, // rounded to -12.346
        {bcd0, "0", "0100" + std::string(64, '0')},
        {Field("Y", DataTypes::Bytes, 4), std::string("\x01\x02", 2), "01020000"},
        {Field("V", DataTypes::VarBytes, 6), std::string("\xAB\xCD", 2), "0200abcd0000"},
        {Field("X", DataTypes::String, 3, SubTypes::FixedChar), "a  ", "61202000"},
        {Field("X", DataTypes::String, 2, SubTypes::WideString), "abcdef", "6162636400"},
    };
    for (const Case& c : cases) {
        WriterTable t;
        t.Fields = {c.Field};
        t.Rows = {Row({c.Text})};
        const Bytes d = BuildTableFiles(t).Data;
        const uint16_t size = U16(d, 512 + 169);
        const Bytes expected = Hex(c.Expected);
        ASSERT_EQ(size, expected.size()) << c.Text;
        const size_t rec = 512 + 768;
        EXPECT_EQ(d[rec + 25], 1) << c.Text;
        EXPECT_EQ(Slice(d, rec + 26, size), expected) << c.Text;
    }
}

TEST(TableWriterDataFile, AutoIncrementAndRequiredValues) {
    WriterTable t;
    t.Fields = {Field("Id", DataTypes::Integer, 0, SubTypes::AutoInc)};
    t.Rows = {Row({std::nullopt}), Row({"10"}), Row({std::nullopt})};
    const Bytes d = BuildTableFiles(t).Data;
    const size_t rec = 512 + 768, len = 32;
    EXPECT_EQ(I32(d, rec + 26), 1);
    EXPECT_EQ(I32(d, rec + len + 26), 10);
    EXPECT_EQ(I32(d, rec + 2 * len + 26), 11);
    EXPECT_EQ(I32(d, 37), 11);

    WriterTable r;
    r.Fields = {Field("Name", DataTypes::String, 5)};
    r.Fields[0].Required = true;
    r.Rows = {Row({"ok"}), Row({"   "})};
    EXPECT_THROW(BuildTableFiles(r), WriterError); // blanks only: stored as blank
}

TEST(TableWriterDataFile, HashSkipsBlobAndHiddenFieldsOnlyWithBlobs) {
    WriterTable t;
    t.Fields = {Field("A", DataTypes::Integer), Field("H", DataTypes::Integer)};
    t.Fields[1].Hidden = true;
    t.Rows = {Row({"1", "2"})};
    Bytes d = BuildTableFiles(t).Data;
    EXPECT_EQ(d[512 + 768 + 485], 1);
    size_t rec = 512 + 2 * 768;
    EXPECT_EQ(Slice(d, rec + 9, 16), Md5Of(d.data() + rec + 25, 40 - 25)); // hidden field included

    t.Fields.push_back(Field("M", DataTypes::Blob, 0, SubTypes::Memo));
    t.Rows = {Row({"1", "2", "memo"})};
    d = BuildTableFiles(t).Data;
    rec = 512 + 3 * 768;
    const size_t recLen = U16(d, 45);
    ASSERT_EQ(recLen, 48u); // 25 + 5 + 5 + 9 = 44, rounded up
    Bytes copy(recLen, 0);
    std::copy_n(d.begin() + static_cast<long>(rec + 25), 5, copy.begin() + 25); // field A only
    EXPECT_EQ(Slice(d, rec + 9, 16), Md5Of(copy.data() + 25, recLen - 25));
}

TEST(TableWriterDataFile, RefusesWhatTheFormatCannotHold) {
    const auto fails = [](WriterTable t) { EXPECT_THROW(BuildTableFiles(t), WriterError); };
    WriterTable base;
    base.Fields = {Field("A", DataTypes::Integer)};
    auto t = base;
    t.IndexPageSize = 16392;
    fails(t);
    t = base;
    t.IndexPageSize = 1000;
    fails(t);
    t = base;
    t.BlobBlockSize = 56;
    fails(t);
    t = base;
    t.Fields = {Field("1abc", DataTypes::Integer)};
    fails(t);
    t = base;
    t.Fields = {Field("Abc", DataTypes::Integer), Field("aBC ", DataTypes::Integer)};
    fails(t);
    t = base;
    t.Fields = {Field("S", DataTypes::String, 513)};
    fails(t);
    t = base;
    t.Fields = {Field("S", DataTypes::String, 257, SubTypes::WideString)};
    fails(t);
    t = base;
    t.Fields[0].Default = "x1";
    fails(t);
    t = base;
    t.Rows = {Row({"2147483648"})};
    fails(t);
    t = base;
    t.Rows = {Row({"1", "2"})};
    fails(t);
    t = base;
    t.LocaleID = 0x7FFF1234; // no locale has this id
    fails(t);
}
