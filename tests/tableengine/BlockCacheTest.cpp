// The block cache: read-ahead runs and their bounds, eviction, growth, write-back runs, and dropping the
// cache when another process changed the table.
#include "tableengine/EngineEnv.h"
#include "tableengine/TableFixture.h"

#include "support/ChildProcessRole.h"

#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/BlobFile.h"
#include "tableengine/storage/DataDirectoryLocks.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/storage/IndexFile.h"

#include "platform/File.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

using namespace tableengine;
using namespace fixture;

namespace {

constexpr uint32_t RecLen = 56;

TEngineSettings SmallCache()
{
    TEngineSettings s = FastSettings();
    s.MaxTableDataBufferSize = 1600; // 1600 / (56 + 44) = 16 records, read-ahead at most 4
    return s;
}

// Another process changes records 1 and 3 and the update stamp under the table's write range (the folder is
// its argument).
const support::ChildRole changeUnderWriteRange("BlockCache.ChangeUnderWriteRange", [](support::ChildLink&, const support::Arguments& a) {
    const std::string folder = a.at(0);
    EngineEnv other(folder, SmallCache());
    auto w = other.Open("Language");
    if (!w->DataTable->DataTableLocks->WriteLock())
        return 1;
    platform::File f;
    if (f.Open(platform::JoinPath(folder, "Language.dat"), platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
               platform::FileDisposition::OpenExisting) != platform::ERROR_SUCCESS)
        return 2;
    const uint64_t h = 512 + 2 * 768;
    f.WriteAt(h + 31, "Changed", 8);
    f.WriteAt(h + 2 * RecLen + 31, "Third", 6);
    int32_t s = 0;
    std::size_t done = 0;
    f.ReadAt(0, &s, 4, done);
    ++s;
    f.WriteAt(0, &s, 4);
    w->DataTable->DataTableLocks->WriteUnlock();
    return 0;
});

class BlockCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NumberedTable(40).Write(dir.Path, "Language");
        NumberedTable(40).Write(dir.Path, "Solo");
        env = std::make_unique<EngineEnv>(dir.Path, SmallCache());
        c = env->Open("Language");
        df = c->DataTable->DataFile.get();
    }
    void TearDown() override
    {
        c.reset();
        env.reset();
    }
    TBufferLease Get(int32_t n, int direction = rdNone, bool readAhead = false)
    {
        TRecord* r = df->GetRecord(c.get(), direction, readAhead, n);
        EXPECT_NE(r, nullptr);
        return TBufferLease(*df, r);
    }
    std::vector<int32_t> Cached() const
    {
        std::vector<int32_t> out;
        for (const auto& b : df->FBuffers)
            out.push_back(b->FNumber);
        return out;
    }
    static std::string Text(const TBuffer& b) { return reinterpret_cast<const char*>(b.Data() + 31); }

    TempDir dir;
    std::unique_ptr<EngineEnv> env;
    std::unique_ptr<TDataCursor> c;
    TDataFile* df = nullptr;
};

TEST_F(BlockCacheTest, CacheSizesFollowTheByteBudgets)
{
    EXPECT_EQ(df->FCapacity, 16u);
    EXPECT_EQ(df->FReadAheadBuffers, 4u);
    TableBuilder b({{"Nr", dtInteger}, {"Memo", dtBlob, 22}});
    b.Header.IndexPageSize = 4096;
    b.Header.BlobBlockSize = 512;
    b.Write(dir.Path, "Sized");
    EngineEnv plain(dir.Path); // default budgets
    auto s = plain.Open("Sized");
    EXPECT_EQ(s->DataTable->IndexFile->FCapacity, 15u); // 65536 / (4083 + 64)
    EXPECT_EQ(s->DataTable->BlobFile->FCapacity, 58u);  // 32768 / (494 + 64)
    EXPECT_EQ(s->DataTable->DataFile->FCapacity, 32768u / (40u + 44u)); // record length 25 + 5 + 9 -> 40
    EXPECT_EQ(s->DataTable->DataFile->FReadAheadBuffers, s->DataTable->DataFile->FCapacity / 4);
    // Block 0 is each file's corruption error.
    EXPECT_EQ(CatchEngineError([&] { s->DataTable->IndexFile->GetBuffer(nullptr, 0, 0, false, 0); }).ErrorCode, 8965);
    EXPECT_EQ(CatchEngineError([&] { s->DataTable->BlobFile->GetBuffer(nullptr, 0, 0, false, 0); }).ErrorCode, 8963);
    EXPECT_EQ(CatchEngineError([&] { s->DataTable->DataFile->GetBuffer(nullptr, 0, 0, false, 0); }).ErrorCode, 8962);
    // A block beyond the end of the BLOB file (no blocks at all) is a read error.
    EXPECT_EQ(CatchEngineError([&] { s->DataTable->BlobFile->GetBuffer(nullptr, 0, 0, false, 1); }).ErrorCode, 9217);
}

TEST_F(BlockCacheTest, ReadAheadRunsAndTheirBounds)
{
    c->FReadAheadRecords = 10;
    {
        auto r = Get(1, rdForward, true); // capped by the read-ahead limit of 4
        EXPECT_EQ(Text(*r.get()), "Row 1");
    }
    EXPECT_EQ(Cached(), (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(df->FReads, 1u);
    EXPECT_EQ(df->FTotalReads, 4u * RecLen);
    for (int n = 2; n <= 4; ++n)
        EXPECT_EQ(Text(*Get(n, rdForward, true).get()), "Row " + std::to_string(n));
    EXPECT_EQ(df->FReads, 1u);
    EXPECT_EQ(df->FCacheHits, 3u);
    EXPECT_EQ(df->FCacheMisses, 1u);

    Get(38, rdForward, true); // stops at the end of the file
    EXPECT_EQ(Cached(), (std::vector<int32_t>{1, 2, 3, 4, 38, 39, 40}));
    Get(36, rdForward, true); // stops before the next cached block
    EXPECT_EQ(Cached(), (std::vector<int32_t>{1, 2, 3, 4, 36, 37, 38, 39, 40}));
    EXPECT_EQ(df->FTotalReads, (4u + 3u + 2u) * RecLen);

    df->FreeBuffers();
    Get(5);
    Get(3, rdForward, true); // would become the first in the sorted list: not bounded by block 5
    EXPECT_EQ(Cached(), (std::vector<int32_t>{3, 4, 5, 6}));

    df->FreeBuffers();
    Get(2, rdBackward, true); // never below block 1
    EXPECT_EQ(Cached(), (std::vector<int32_t>{1, 2}));
    Get(20, rdBackward, true);
    EXPECT_EQ(Cached(), (std::vector<int32_t>{1, 2, 17, 18, 19, 20}));
    Get(30, rdNone, true); // no direction: one block
    Get(32, rdForward, false); // no read-ahead wanted: one block
    EXPECT_EQ(Cached(), (std::vector<int32_t>{1, 2, 17, 18, 19, 20, 30, 32}));
}

TEST_F(BlockCacheTest, BufferInUseIsNotOverwrittenByAReadAhead)
{
    c->FReadAheadRecords = 4;
    auto held = Get(3);
    held->Data()[31] = 'X'; // a change in memory only
    Get(1, rdForward, true); // the run 1..4 covers block 3
    EXPECT_EQ(Cached(), (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(Text(*held.get()), "Xow 3");
    held.Release();
    EXPECT_EQ(df->FindCached(3)->FUseCount, 0);
}

TEST_F(BlockCacheTest, EvictsTheLeastRecentlyUsedBuffer)
{
    for (const bool exclusive : {false, true}) {
        if (exclusive) { // the same on a table opened exclusively
            c.reset();
            c = env->Open("Solo", true);
            df = c->DataTable->DataFile.get();
        }
        for (int n = 1; n <= 16; ++n)
            Get(n);
        EXPECT_EQ(df->CachedBuffers(), 16u);
        Get(17);
        EXPECT_EQ(df->FindCached(1), nullptr);
        EXPECT_EQ(df->CachedBuffers(), 16u);
        Get(2); // now the most recent
        Get(18);
        EXPECT_NE(df->FindCached(2), nullptr);
        EXPECT_EQ(df->FindCached(3), nullptr);
        EXPECT_EQ(df->RecencyOrder().front(), 18);
        EXPECT_EQ(df->RecencyOrder().size(), 16u);
        EXPECT_EQ(df->FCapacity, 16u);
    }
}

TEST_F(BlockCacheTest, GrowsWhenEveryBufferIsInUse)
{
    std::vector<TBufferLease> held;
    for (int n = 1; n <= 16; ++n)
        held.push_back(Get(n));
    auto extra = Get(17);
    EXPECT_EQ(df->CachedBuffers(), 17u);
    EXPECT_EQ(df->FCapacity, 16u + 64u);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(Text(*held[static_cast<std::size_t>(n - 1)].get()), "Row " + std::to_string(n));
    held.clear();
    extra.Release();
    df->AdjustBuffers(); // back to the budget, the least recent go
    EXPECT_EQ(df->CachedBuffers(), 16u);
    EXPECT_EQ(df->FCapacity, 16u);
    EXPECT_EQ(df->FindCached(1), nullptr);
    EXPECT_NE(df->FindCached(17), nullptr);
}

TEST_F(BlockCacheTest, WritesDirtyBuffersBackInRuns)
{
    c.reset();
    c = env->Open("Solo", true);
    df = c->DataTable->DataFile.get();
    for (int n : {5, 2, 3}) {
        auto b = Get(n);
        std::vector<uint8_t> bytes(b->Data(), b->Data() + RecLen);
        bytes[31] = 'W';
        b->CopyBuffer(bytes.data(), bytes.size());
    }
    EXPECT_TRUE(df->FlushBuffers());
    EXPECT_EQ(df->FWrites, 2u); // blocks 2-3 in one write, block 5 in another
    EXPECT_FALSE(df->FlushBuffers());
    EXPECT_TRUE(c->DataTable->WrittenTo);
    // Read back once closed: the exclusive open shares the file with nobody (on Windows not even a reader).
    c.reset();
    const auto file = fixture::ReadFileBytes(dir.File("Solo.dat"));
    const std::size_t h = 512 + 2 * 768;
    ASSERT_GE(file.size(), h + 6 * RecLen);
    for (int n = 1; n <= 6; ++n) {
        const char want = (n == 2 || n == 3 || n == 5) ? 'W' : 'R';
        EXPECT_EQ(static_cast<char>(file[h + std::size_t(n - 1) * RecLen + 31]), want) << n;
    }
}

TEST_F(BlockCacheTest, ChangeByAnotherProcessDropsTheCacheAtTheNextMiss)
{
    Get(1);
    auto held = Get(2); // still held while the cache is dropped
    const uint64_t reads = df->FReads;
    const int32_t stamp = df->Header.UpdateStamp;

    support::RoleProcess writer(changeUnderWriteRange, {dir.Path});
    ASSERT_EQ(writer.Join(), 0);

    // A hit never touches the file: the old record, no read, no header re-read.
    EXPECT_EQ(Text(*Get(1).get()), "Row 1");
    EXPECT_EQ(df->FReads, reads);
    EXPECT_EQ(df->Header.UpdateStamp, stamp);
    // The first miss notices the new stamp, drops every cached block and reports the change.
    EXPECT_EQ(df->GetRecord(c.get(), rdNone, false, 3), nullptr);
    EXPECT_EQ(df->CachedBuffers(), 0u);
    EXPECT_EQ(df->Header.UpdateStamp, stamp + 1);
    EXPECT_EQ(Text(*held.get()), "Row 2"); // the held buffer stays valid until given back
    held.Release();
    EXPECT_EQ(Text(*Get(1).get()), "Changed");
    EXPECT_EQ(Text(*Get(3).get()), "Third");
    EXPECT_FALSE(c->DataTable->DataTableLocks->IsReadLocked()); // the miss released what it took

    // The cursor's own read lock notices a change as well and takes over the stamps.
    std::vector<uint8_t> rec(RecLen);
    c->ReadRecord(1, rec.data());
    EXPECT_EQ(c->FLastDataUpdateStamp, stamp + 1);
}

} // namespace
