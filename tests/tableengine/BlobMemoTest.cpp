// Memo fields read through the cursor's open BLOBs and the table component: block boundaries, compressed
// values, shared handles, ANSI text, and a damaged chain.
#include "NavigationTestSupport.h"

#include "tableengine/TblComp.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace navtest;
using namespace tableengine;

namespace {

// A table with a number and a memo (512-byte blocks: 494 data bytes each).
w::WriterTable Memos(const std::vector<std::string>& memos, uint8_t compression = 0)
{
    w::WriterTable t;
    t.Fields = {Field("N", w::DataTypes::Integer), Field("Text", w::DataTypes::Blob, 0, w::SubTypes::Memo)};
    t.Fields[1].Compression = compression;
    t.BlobBlockSize = 512;
    int n = 1;
    for (const auto& m : memos)
        t.Rows.push_back(Row({std::to_string(n++), m}));
    return t;
}

std::vector<std::string> ReadMemos(const std::filesystem::path& folder)
{
    TTblDatabase db;
    db.SetDatabaseName(u"MemoTest");
    db.SetDirectory(platform::Utf8ToText(folder.string()));
    TTblTable t;
    t.SetDatabaseName(u"MemoTest");
    t.SetTableName(u"M");
    t.Open();
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next())
        out.push_back(platform::TextToAnsi(t.Fields(1).AsString()));
    return out;
}

} // namespace

TEST(BlobMemo, MemosAtBlockBoundariesCompressedAndNull)
{
    const std::vector<std::string> memos = {"<null>", "short", std::string(494, 'a'), std::string(495, 'b'),
                                            std::string(5000, 'c') + "end", "caf\xE9 \x80"};
    for (uint8_t compression : {uint8_t{0}, uint8_t{6}}) {
        SCOPED_TRACE(int(compression));
        TableFolder folder;
        folder.Write(Memos(memos, compression), "M");
        std::vector<std::string> expected = memos;
        expected[0] = "";
        EXPECT_EQ(ReadMemos(folder.Path()), expected);
    }
    // Bytes above 127 are characters of the ANSI code page.
    TableFolder folder;
    folder.Write(Memos({"caf\xE9 \x80"}), "M");
    TTblDatabase db;
    db.SetDatabaseName(u"MemoText");
    db.SetDirectory(platform::Utf8ToText(folder.Path().string()));
    TTblTable t;
    t.SetDatabaseName(u"MemoText");
    t.SetTableName(u"M");
    t.Open();
    t.First();
    EXPECT_EQ(t.Fields(1).AsString(), u"caf\u00E9 \u20AC");
}

TEST(BlobMemo, OpenTwiceFreeOnceAndReadsAtOffsets)
{
    TableFolder folder;
    folder.Write(Memos({std::string(1000, 'x') + "tail"}), "M");
    Engine engine(folder.Path());
    auto c = engine.Open("M");
    std::vector<uint8_t> rec(c->RecordLength);
    ASSERT_EQ(c->GetNextRecord(rec.data()), 0);
    const auto& field = c->GetFieldDefinition(2);
    const int32_t block = Int32At(rec, field.Offset + 1u);
    ASSERT_GT(block, 0);

    EXPECT_EQ(c->OpenBlob(2, rec.data()), 1004u);
    EXPECT_EQ(Int32At(rec, field.Offset + 1u), -1);
    EXPECT_EQ(c->OpenBlob(2, rec.data()), 1004u); // shared through the handle
    EXPECT_EQ(c->OpenBlobCount(), 1u);
    uint8_t tail[8] = {};
    EXPECT_EQ(c->GetBlob(2, rec.data(), 8, tail, 1000), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(tail), 4), "tail");
    EXPECT_EQ(c->GetBlob(2, rec.data(), 8, tail, 1004), 0u);
    EXPECT_EQ(c->GetBlob(2, rec.data(), 8, tail, 5000), 0u);
    EXPECT_EQ(c->GetBlobSize(2, rec.data()), 1004u);
    c->FreeBlob(2, rec.data());
    EXPECT_EQ(Int32At(rec, field.Offset + 1u), -1);
    EXPECT_TRUE(c->ValidBlobHandle(2, rec.data()));
    c->FreeBlob(2, rec.data());
    EXPECT_EQ(Int32At(rec, field.Offset + 1u), block);
    EXPECT_EQ(c->OpenBlobCount(), 0u);
    EXPECT_EQ(EngineCode([&] { c->GetBlobSize(2, rec.data()); }), TBL_INVALIDBLOBHANDLE);
    // A negative value without an open handle.
    std::vector<uint8_t> bad = rec;
    const int32_t stray = -7;
    std::memcpy(bad.data() + field.Offset + 1, &stray, 4);
    EXPECT_EQ(EngineCode([&] { c->OpenBlob(2, bad.data()); }), TBL_INVALIDBLOBOFFSET);
}

TEST(BlobMemo, SignatureMismatchWithUnchangedRecordIsCorruptAndShortChainEndsEarly)
{
    TableFolder folder;
    folder.Write(Memos({std::string(1200, 'q')}), "M");
    const auto blb = folder.Path() / "M.blb";
    {
        // Block 1's signature (header offset 512 + 10).
        std::FILE* f = std::fopen(blb.string().c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 512 + 10, SEEK_SET);
        const int32_t wrong = 999;
        std::fwrite(&wrong, 4, 1, f);
        std::fclose(f);
    }
    Engine engine(folder.Path());
    auto c = engine.Open("M");
    std::vector<uint8_t> rec(c->RecordLength);
    ASSERT_EQ(c->GetNextRecord(rec.data()), 0);
    EXPECT_EQ(EngineCode([&] { c->OpenBlob(2, rec.data()); }), TBL_MEMOCORRUPT);
    EXPECT_EQ(c->OpenBlobCount(), 0u);

    TableFolder other;
    other.Write(Memos({std::string(1200, 'q')}), "M");
    {
        // Block 2's next number (512 + 512 + 4) set to 0: the chain ends before its total length.
        std::FILE* f = std::fopen((other.Path() / "M.blb").string().c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 512 + 512 + 4, SEEK_SET);
        const int32_t none = 0;
        std::fwrite(&none, 4, 1, f);
        std::fclose(f);
    }
    Engine engine2(other.Path());
    auto c2 = engine2.Open("M");
    ASSERT_EQ(c2->GetNextRecord(rec.data()), 0);
    EXPECT_EQ(EngineCode([&] { c2->OpenBlob(2, rec.data()); }), TBL_ENDOFBLOB);
}
