// Tables made by the table writer open and read back through the reader: the reader's header checks accept
// every field type the writer lays out, and the values come back in their text forms.
#include "EngineEnv.h"
#include "TableFixture.h"
#include "WriterFixture.h"

#include "tableengine/storage/BlobFile.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/FieldValues.h"
#include "tableengine/storage/IndexFile.h"
#include "tablewriter/TableWriter.h"

#include <gtest/gtest.h>

using namespace tableengine;
using namespace tableengine::writer;
using namespace fixture;
using writertest::Field;

namespace {

WriterTable EveryType()
{
    WriterTable t;
    t.Fields = {Field("Nr", dtInteger),       Field("Text", dtString, 30),       Field("Small", dtSmallInt),
                Field("Word", dtWord),        Field("Large", dtLargeInt),        Field("Flag", dtBoolean),
                Field("Real", dtFloat),       Field("Day", dtDate),              Field("Clock", dtTime),
                Field("Stamp", dtTimeStamp),  Field("Money", dtBCD, 0, 0, 2),    Field("Raw", dtBytes, 4),
                Field("Var", dtVarBytes, 8),  Field("Memo", dtBlob, 0, stMemo),  Field("Secret", dtString, 10),
                Field("Fixed", dtString, 6, stFixed)};
    t.Fields[14].Hidden = true;
    t.Fields[0].Default = "0";
    t.Fields[2].Minimum = "-100";
    t.Fields[2].Maximum = "100";
    const auto row = [](std::vector<std::optional<std::string>> cells) {
        WriterRow r;
        for (auto& c : cells)
            r.Cells.push_back(c ? WriterCell::Of(*c) : WriterCell::Blank());
        return r;
    };
    t.Rows.push_back(row({"1", "Hello", "-5", "65535", "4294967301", "True", "2.5", "2019-04-06", "13:05:09.007",
                          "2001-12-31 23:59:59.999", "12.34", std::string("\x00\xAB\x10\xFF", 4),
                          std::string("\xDE\xAD", 2), std::nullopt, "hidden", "ab  "}));
    t.Rows.push_back(row({"2", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "False", std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt, "-0.5", std::nullopt, std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt}));
    WriterRow gone = row({"3", "Gone", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt});
    gone.Deleted = true;
    t.Rows.push_back(gone);
    t.Rows.push_back(row({"4", "Gr\xFC\xDF" "e", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt}));
    return t;
}

std::vector<std::string> Texts(TDataCursor& c, int32_t record)
{
    std::vector<uint8_t> rec(c.RecordLength);
    c.ReadRecord(record, rec.data());
    std::vector<std::string> out;
    for (int f = 1; f <= c.FieldCount; ++f) {
        const TFieldDefinition& d = c.GetFieldDefinition(f);
        if (d.DataType == dtBlob) {
            out.push_back("<blob>");
            continue;
        }
        std::vector<uint8_t> value(d.DataSize);
        bool blank = true;
        c.GetField(f, rec.data(), blank, value.data());
        out.push_back(AsAnsiString(TFieldValue{&d, blank, value.data(), value.size()}));
    }
    return out;
}

TEST(WriterRoundTripTest, EveryFieldTypeReadsBack)
{
    for (const bool encrypted : {false, true}) {
        TempDir dir;
        WriterTable t = EveryType();
        if (encrypted)
            t.Password = "pw";
        WriteTableFiles(t, dir.Path, "Every", false);
        EngineEnv env(dir.Path);
        env.Session->AddPassword("pw");
        auto c = env.Open("Every"); // runs every header check of the three files
        EXPECT_EQ(c->FieldCount, 16);
        EXPECT_EQ(c->DataTable->DataFile->Encrypted(), encrypted);
        EXPECT_TRUE(c->DataTable->BlobFile->IsOpen);
        EXPECT_FALSE(c->DataTable->MissingIndex);
        EXPECT_EQ(c->DataTable->DataFile->RecordCount(), 3);
        EXPECT_EQ(c->DataTable->DataFile->NextFreeRecord(), 3);
        EXPECT_EQ(c->GetFieldDefinition(15).Hidden, 1);
        EXPECT_EQ(Texts(*c, 1), (std::vector<std::string>{"1", "Hello", "-5", "65535", "4294967301", "True", "2.5",
                                                          "2019-04-06", "13:05:09.007", "2001-12-31 23:59:59.999",
                                                          "12.34", "00ab10ff", "dead", "<blob>", "hidden",
                                                          "ab  "}));
        EXPECT_EQ(Texts(*c, 2), (std::vector<std::string>{"2", "", "", "", "", "False", "", "", "", "", "-0.50", "",
                                                          "", "<blob>", "", ""}));
        EXPECT_EQ(Texts(*c, 4)[1], "Gr\xFC\xDF" "e");
        // The deleted slot is on the free list.
        std::vector<uint8_t> rec(c->RecordLength);
        c->ReadRecord(3, rec.data());
        EXPECT_EQ(rec[0], 1);
    }
}

TEST(WriterRoundTripTest, IndexesOfTheWriterPassTheIndexHeaderChecks)
{
    TempDir dir;
    WriterTable t;
    t.Fields = {Field("Nr", dtInteger), Field("Name", dtString, 20)};
    WriterIndex pk;
    pk.Fields = {{"Nr", false}};
    t.PrimaryKey = pk;
    WriterIndex byName;
    byName.Name = "ByName";
    byName.Fields = {{"Name", true}};
    byName.CaseInsensitive = true;
    byName.Compression = icFull;
    t.SecondaryIndexes.push_back(byName);
    t.IndexPageSize = 1024;
    for (int i = 1; i <= 300; ++i) {
        WriterRow r;
        r.Cells = {WriterCell::Of(std::to_string(i)), WriterCell::Of("Name " + std::to_string(i % 17))};
        t.Rows.push_back(r);
    }
    WriteTableFiles(t, dir.Path, "Keys", false);
    EngineEnv env(dir.Path);
    auto c = env.Open("Keys");
    const TIndexFile& idx = *c->DataTable->IndexFile;
    EXPECT_EQ(idx.GetIndexCount(), 1);
    EXPECT_FALSE(idx.GetAutoPrimaryIndex());
    EXPECT_TRUE(idx.IndexExists("byname"));
    EXPECT_GT(idx.GetRootPageNumber(0), 0);
    EXPECT_GT(idx.GetIOBlocksUsed(), 2);
    // Every page can be fetched through the cache.
    for (int32_t p = 1; p <= idx.GetIOBlocksUsed(); ++p) {
        TBuffer* b = c->DataTable->IndexFile->GetBuffer(c.get(), 0, rdNone, false, p);
        ASSERT_NE(b, nullptr);
        c->DataTable->IndexFile->PutBuffer(b);
    }
    std::vector<uint8_t> rec(c->RecordLength);
    c->ReadRecord(300, rec.data());
}

} // namespace
