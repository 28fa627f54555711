// Walking tables written by the table writer in index order: trees of several levels, every key
// compression kind, user and secondary indexes, invisible records, missing and encrypted indexes, and
// another process changing the table under a positioned cursor.
#include "tableengine/NavigationTestSupport.h"

#include "support/ChildProcessRole.h"

#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/IndexFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

using namespace navtest;
using namespace tableengine;

namespace {

w::WriterTable Numbers(int rows, int32_t pageSize = 1024)
{
    w::WriterTable t;
    t.Fields = {Field("N", w::DataTypes::Integer)};
    t.IndexPageSize = pageSize;
    for (int i = 1; i <= rows; ++i)
        t.Rows.push_back(Row({std::to_string(i)}));
    return t;
}

std::vector<int32_t> Range(int from, int to)
{
    std::vector<int32_t> v(static_cast<size_t>(to - from + 1));
    std::iota(v.begin(), v.end(), from);
    return v;
}

int TreeLevels(TDataCursor& c)
{
    TIndexFile& index = *c.DataTable->IndexFile;
    const int32_t root = index.GetRootPageNumber(0);
    if (root == 0)
        return 0;
    // Depth = 1 + number of node levels; read the root page type from the file.
    std::vector<uint8_t> page(static_cast<size_t>(index.FPageSize));
    int levels = 1;
    int32_t n = root;
    for (;;) {
        index.Read(IndexFileHeaderSize + static_cast<uint64_t>(n - 1) * page.size(), page.data(), page.size());
        if (page[0] != ptRootNode && page[0] != ptNode)
            return levels;
        ++levels;
        std::memcpy(&n, page.data() + 13 + 5, 4); // child of entry 1 (auto index: 5-byte keys)
    }
}

} // namespace

TEST(Navigation, TreesOfOneTwoAndThreeLevelsInBothDirections)
{
    // 1024-byte pages with 5-byte keys: 112 entries per leaf, 77 per node.
    for (int rows : {1, 50, 3000, 9000}) {
        SCOPED_TRACE(rows);
        TableFolder folder;
        folder.Write(Numbers(rows), "T");
        Engine engine(folder.Path());
        auto c = engine.Open("T");
        EXPECT_EQ(TreeLevels(*c), rows <= 112 ? 1 : rows <= 112 * 77 ? 2 : 3);
        EXPECT_EQ(c->GetRecordCount(), rows);
        EXPECT_EQ(ForwardIDs(*c), Range(1, rows));
        auto back = BackwardIDs(*c);
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(back, Range(1, rows));

        // Sequence numbers keep counting across leaves; after the end, the prior record is the last.
        std::vector<uint8_t> buf(c->RecordLength);
        c->SetToBegin();
        for (int i = 1; i <= rows; ++i) {
            ASSERT_EQ(c->GetNextRecord(buf.data()), 0);
            if (i == 1 || i == rows || i % 113 == 0) {
                EXPECT_EQ(c->GetRecordNumber(), i);
            }
        }
        EXPECT_EQ(c->GetNextRecord(buf.data()), TBL_EOF);
        EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(c->GetNextRecord(buf.data()), TBL_EOF);
        ASSERT_EQ(c->GetPriorRecord(buf.data()), 0);
        EXPECT_EQ(Int32At(buf, 5), rows);
        EXPECT_EQ(c->GetCurrentRecord(buf.data()), 0);
        c->SetToEnd();
        EXPECT_EQ(c->GetCurrentRecord(buf.data()), TBL_EOF);
        c->SetToBegin();
        EXPECT_EQ(c->GetCurrentRecord(buf.data()), TBL_BOF);
        EXPECT_EQ(c->GetPriorRecord(buf.data()), TBL_BOF);
    }
}

TEST(Navigation, RecordsInIndexOrderAreReadInRuns)
{
    TableFolder folder;
    folder.Write(Numbers(3000, 4096), "T");
    Engine engine(folder.Path());
    auto c = engine.Open("T");
    TDataFile& data = *c->DataTable->DataFile;
    std::vector<uint64_t> readsBy;
    for (const bool backward : {false, true}) {
        data.FreeBuffers();
        const uint64_t readsBefore = data.FReads;
        c->FTotalReadAheads = 0;
        c->FTotalSizeReadAheads = 0;
        ASSERT_EQ(WalkIDs(*c, backward).size(), 3000u);
        const uint64_t reads = data.FReads - readsBefore;
        // Far fewer file reads than records: each miss brings in the run of consecutive slots ahead on the
        // leaf, and every record is read once, so the runs asked for add up to the table.
        EXPECT_LT(reads * 20, 3000u) << backward;
        EXPECT_EQ(uint64_t(c->FTotalReadAheads), reads) << backward;
        EXPECT_EQ(c->FTotalSizeReadAheads, 3000) << backward;
        readsBy.push_back(reads);
    }
    // The runs go the way of the walk: backward, from the last entry of each leaf, as many reads as forward.
    EXPECT_EQ(readsBy[1], readsBy[0]);
}

TEST(Navigation, EmptyTableAndOneRecord)
{
    TableFolder folder;
    folder.Write(Numbers(0), "E");
    folder.Write(Numbers(1), "One");
    Engine engine(folder.Path());
    auto e = engine.Open("E");
    std::vector<uint8_t> buf(e->RecordLength);
    EXPECT_TRUE(e->Navigation().Bof() && e->Navigation().Eof());
    EXPECT_EQ(e->GetNextRecord(buf.data()), TBL_EOF);
    EXPECT_EQ(e->GetPriorRecord(buf.data()), TBL_BOF);
    EXPECT_EQ(e->GetCurrentRecord(buf.data()), TBL_NOCURRREC);
    EXPECT_EQ(e->GetRecordCount(), 0);
    EXPECT_EQ(e->GetRecordNumber(), 0);

    auto one = engine.Open("One");
    std::vector<uint8_t> b1(one->RecordLength);
    EXPECT_EQ(one->GetNextRecord(b1.data()), 0);
    EXPECT_EQ(one->GetNextRecord(b1.data()), TBL_EOF);
    EXPECT_EQ(one->GetPriorRecord(b1.data()), 0);
    EXPECT_EQ(Int32At(b1, 5), 1);
}

TEST(Navigation, EveryCompressionKindWithLongKeysSharedPrefixesAndZeroRuns)
{
    // A 300-character string key (longer than 254 bytes), values sharing 280 leading characters and
    // ending in zero runs of different lengths; duplicates in a non-unique index come in record-ID order.
    for (uint8_t kind : {w::KeyCompression::None, w::KeyCompression::DuplicateByte,
                         w::KeyCompression::TrailingByte, w::KeyCompression::Full}) {
        SCOPED_TRACE(int(kind));
        w::WriterTable t;
        t.Fields = {Field("Name", w::DataTypes::String, 300), Field("N", w::DataTypes::Integer)};
        t.IndexPageSize = 4096;
        std::vector<std::pair<std::string, int>> expected;
        for (int i = 0; i < 120; ++i) {
            const int value = (i * 37) % 60; // each value twice
            std::string name(280, 'p');
            name += std::to_string(value).substr(0, static_cast<size_t>(1 + value % 3));
            t.Rows.push_back(Row({name, std::to_string(i + 1)}));
            expected.emplace_back(name, i + 1);
        }
        w::WriterIndex byName;
        byName.Name = "ByName";
        byName.Fields = {{"Name", false}};
        byName.Compression = kind;
        t.SecondaryIndexes.push_back(byName);
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });

        TableFolder folder;
        folder.Write(t, "T");
        Engine engine(folder.Path());
        auto c = engine.Open("T");
        c->SetIndexName("byname");
        EXPECT_EQ(c->Navigation().IndexName(), "ByName");
        std::vector<uint8_t> buf(c->RecordLength);
        c->SetToBegin();
        size_t i = 0;
        while (c->GetNextRecord(buf.data()) == 0) {
            ASSERT_LT(i, expected.size());
            EXPECT_EQ(StringField(*c, buf, 1), expected[i].first);
            EXPECT_EQ(Int32At(buf, c->GetFieldDefinition(2).Offset + 1u), expected[i].second);
            ++i;
        }
        EXPECT_EQ(i, expected.size());
        EXPECT_EQ(EngineCode([&] { c->SetIndexName("Nope"); }), TBL_INVALIDINDEXNAME);
        c->SetIndexName("");
        EXPECT_EQ(ForwardIDs(*c), Range(1, 120));
    }
}

TEST(Navigation, UserPrimaryKeyDescendingCaseInsensitiveAndNullsFirst)
{
    w::WriterTable t;
    t.Fields = {Field("Name", w::DataTypes::String, 10), Field("N", w::DataTypes::Integer)};
    for (const char* v : {"beta", "<null>", "Alpha", "delta", "Gamma"})
        t.Rows.push_back(Row({v, "1"}));
    w::WriterIndex pk;
    pk.Fields = {{"Name", false}};
    pk.CaseInsensitive = true;
    pk.Unique = true;
    t.PrimaryKey = pk;
    w::WriterIndex desc;
    desc.Name = "Down";
    desc.Fields = {{"Name", true}};
    t.SecondaryIndexes.push_back(desc);

    TableFolder folder;
    folder.Write(t, "T");
    Engine engine(folder.Path());
    auto c = engine.Open("T");
    std::vector<std::string> names;
    std::vector<uint8_t> buf(c->RecordLength);
    c->SetToBegin();
    while (c->GetNextRecord(buf.data()) == 0)
        names.push_back(StringField(*c, buf, 1));
    EXPECT_EQ(names, (std::vector<std::string>{"<null>", "Alpha", "beta", "delta", "Gamma"}));

    c->SetIndexName("Down");
    names.clear();
    c->SetToBegin();
    while (c->GetNextRecord(buf.data()) == 0)
        names.push_back(StringField(*c, buf, 1));
    // Bytes order descending, nulls last.
    EXPECT_EQ(names, (std::vector<std::string>{"delta", "beta", "Gamma", "Alpha", "<null>"}));
}

TEST(Navigation, DeletedRecordsAreSkippedInBothDirections)
{
    w::WriterTable t = Numbers(0);
    for (int i = 1; i <= 12; ++i)
        t.Rows.push_back(Row({std::to_string(i)}, i == 1 || i == 5 || i == 6 || i == 12));
    TableFolder folder;
    folder.Write(t, "T");
    Engine engine(folder.Path());
    auto c = engine.Open("T");
    const std::vector<int32_t> visible = {2, 3, 4, 7, 8, 9, 10, 11};
    EXPECT_EQ(ForwardIDs(*c), visible);
    auto back = BackwardIDs(*c);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, visible);
}

TEST(Navigation, MissingIndexIsRebuiltInRecordIDOrder)
{
    w::WriterTable t;
    t.Fields = {Field("Name", w::DataTypes::String, 10)};
    for (const char* v : {"c", "a", "d", "b"})
        t.Rows.push_back(Row({v}, std::string(v) == "d"));
    w::WriterIndex pk;
    pk.Fields = {{"Name", false}};
    pk.Unique = true;
    t.PrimaryKey = pk;
    TableFolder folder;
    folder.Write(t, "T");
    const auto dat = folder.Path() / "T.dat";
    const auto before = std::filesystem::file_size(dat);
    std::filesystem::remove(folder.Path() / "T.idx");

    Engine engine(folder.Path());
    auto c = engine.Open("T");
    EXPECT_TRUE(c->DataTable->IndexFile->GetAutoPrimaryIndex());
    EXPECT_EQ(ForwardIDs(*c), (std::vector<int32_t>{1, 2, 4}));
    EXPECT_EQ(c->GetRecordCount(), 3);
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "T.idx"));
    EXPECT_EQ(std::filesystem::file_size(dat), before);
    c.reset();
    // The rebuilt index is a valid file for the next open.
    auto again = engine.Open("T");
    EXPECT_EQ(ForwardIDs(*again), (std::vector<int32_t>{1, 2, 4}));
}

TEST(Navigation, EncryptedTableWithAndWithoutItsPassword)
{
    w::WriterTable t = Numbers(500, 1024);
    t.Password = "s3cret";
    TableFolder folder;
    folder.Write(t, "T");
    {
        Engine engine(folder.Path());
        EXPECT_EQ(EngineCode([&] { engine.Open("T"); }), TBL_NOTSUFFTABLERIGHTS);
    }
    Engine engine(folder.Path());
    engine.Session().AddPassword("s3cret");
    auto c = engine.Open("T");
    EXPECT_EQ(ForwardIDs(*c), Range(1, 500));
}

TEST(Navigation, CorruptPagesAreIndexCorruption)
{
    TableFolder folder;
    folder.Write(Numbers(300), "T");
    const auto idx = folder.Path() / "T.idx";
    {
        // The first leaf claims more keys than its bytes can hold.
        std::FILE* f = std::fopen(idx.string().c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, static_cast<long>(IndexFileHeaderSize) + 1, SEEK_SET);
        const uint8_t keys[2] = {0xFF, 0x7F};
        std::fwrite(keys, 1, 2, f);
        std::fclose(f);
    }
    Engine engine(folder.Path());
    EXPECT_EQ(EngineCode([&] {
                  auto c = engine.Open("T");
                  ForwardIDs(*c);
              }),
              TBL_INDEXCORRUPT);
}

namespace {

// Rewrites the table from a separate process (this program in a child role) with more rows and a new
// update stamp.
const support::ChildRole rewriteNumbers("Navigation.RewriteNumbers", [](support::ChildLink&, const support::Arguments& a) {
    w::WriterTable t = Numbers(std::stoi(a.at(1)), 1024);
    t.UpdateStamp = std::stoi(a.at(2));
    w::WriteTableFiles(t, a.at(0), "T", true);
    return 0;
});

void ChangeInOtherProcess(const TableFolder& folder, int rows, int32_t stamp)
{
    support::RoleProcess writer(rewriteNumbers, {folder.Path().string(), std::to_string(rows), std::to_string(stamp)});
    ASSERT_EQ(writer.Join(), 0);
}

} // namespace

TEST(Navigation, StrictModeNoticesAnotherProcessesChangeAtOnceAndKeepsTheRecord)
{
    TableFolder folder;
    folder.Write(Numbers(200, 1024), "T");
    Engine engine(folder.Path(), /*strict*/ true);
    auto c = engine.Open("T");
    std::vector<uint8_t> buf(c->RecordLength);
    c->SetToBegin();
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(c->GetNextRecord(buf.data()), 0);
    ASSERT_EQ(Int32At(buf, 5), 150);

    ChangeInOtherProcess(folder, 260, 2);
    ASSERT_EQ(c->GetCurrentRecord(buf.data()), 0);
    EXPECT_EQ(Int32At(buf, 5), 150);
    EXPECT_EQ(c->GetRecordCount(), 260);
    ASSERT_EQ(c->GetNextRecord(buf.data()), 0);
    EXPECT_EQ(Int32At(buf, 5), 151);
    int rest = 0;
    while (c->GetNextRecord(buf.data()) == 0)
        ++rest;
    EXPECT_EQ(rest, 260 - 151);
}

TEST(Navigation, DefaultModeNoticesTheChangeAtTheNextCacheMiss)
{
    TableFolder folder;
    folder.Write(Numbers(200, 1024), "T");
    Engine engine(folder.Path());
    auto c = engine.Open("T");
    std::vector<uint8_t> buf(c->RecordLength);
    c->SetToBegin();
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(c->GetNextRecord(buf.data()), 0);

    ChangeInOtherProcess(folder, 260, 2);
    // Moves that hit the cache see nothing yet.
    ASSERT_EQ(c->GetNextRecord(buf.data()), 0);
    EXPECT_EQ(Int32At(buf, 5), 6);
    EXPECT_EQ(c->GetRecordCount(), 200);
    // Reading on: the first miss (the next run of records, or the next leaf) reports the change; the cursor
    // re-finds its record and the count includes the new rows.
    int32_t last = 6;
    while (c->GetNextRecord(buf.data()) == 0) {
        EXPECT_EQ(Int32At(buf, 5), last + 1);
        last = Int32At(buf, 5);
    }
    EXPECT_EQ(last, 260);
    EXPECT_EQ(c->GetRecordCount(), 260);
}
