// The in-memory directory: files kept by the engine, with their own byte-range lock list.
#include "EngineEnv.h"
#include "TableFixture.h"

#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/DataDirectoryLocks.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/DataTable.h"

#include "platform/Paths.h"

#include <gtest/gtest.h>

using namespace tableengine;
using namespace fixture;

namespace {

// A file of the memory directory, named as the engine names it: "Memory" and the native path delimiter.
void PutMemoryFile(TDataEngine& engine, const std::string& name, const std::vector<uint8_t>& bytes)
{
    TEngineFile f(engine);
    f.FileName = platform::JoinPath("Memory", name);
    f.InMemory = true;
    f.CreateFile();
    f.Write(0, bytes.data(), bytes.size());
    f.CloseFile();
}

TEST(MemoryDirectoryTest, TablesLiveInEngineMemory)
{
    TDataEngine engine;
    const TableBuilder b = NumberedTable(70000 / 56); // more than one 64 KiB chunk
    PutMemoryFile(engine, "Language.dat", b.DataFileBytes());
    PutMemoryFile(engine, "Language.idx", b.IndexFileBytes());
    TDataSession& session = engine.StartDataSession("Default");
    TDataDirectory& dir = session.OpenDataDirectory("memory", "", false);
    EXPECT_TRUE(dir.InMemory);
    EXPECT_EQ(dir.Directory, platform::JoinPath("Memory", ""));
    EXPECT_TRUE(dir.Locks->HasLockFile());
    EXPECT_EQ(dir.Locks->TableNames(), std::vector<std::string>{}); // memory files are not listed
    {
        TDataCursor c(dir, "Language", false, false);
        c.OpenCursor();
        EXPECT_EQ(c.DataTable->DataTableLocks->TableID, 1);
        std::vector<uint8_t> rec(c.RecordLength);
        c.ReadRecord(1200, rec.data());
        int32_t nr = 0;
        bool blank = true;
        c.GetField(1, rec.data(), blank, reinterpret_cast<uint8_t*>(&nr));
        EXPECT_EQ(nr, 12000);
        EXPECT_EQ(CatchEngineError([&] { c.ReadRecord(1251, rec.data()); }).ErrorCode, 9217);
        EXPECT_EQ(engine.OpenBaseFileCount(), 0u); // nothing on disk
    }
    TDataCursor missing(dir, "Nothing", false, false);
    EXPECT_EQ(CatchEngineError([&] { missing.OpenCursor(); }).ErrorCode, 11010);
    // A cursor that outlives its directory is closed with it and refuses to open again.
    TDataCursor late(dir, "Language", false, false);
    late.OpenCursor();
    session.CloseDataDirectory(dir);
    EXPECT_FALSE(late.IsOpen);
    EXPECT_EQ(late.DataDirectory(), nullptr);
    EXPECT_THROW(late.OpenCursor(), EDatabaseError);
    EXPECT_EQ(CatchEngineError([&] { late.CheckError(8709); }).ErrorCode, 8709);
    engine.StopDataSession(session);
}

TEST(MemoryDirectoryTest, MemoryFileLocksRefuseOverlapsAndUnlockExactly)
{
    TDataEngine engine;
    TMemoryFile f(engine, "Memory/x");
    ASSERT_EQ(f.Lock(1000, 10), platform::ERROR_SUCCESS);
    EXPECT_EQ(f.Lock(1009, 1), platform::ERROR_LOCK_VIOLATION);
    EXPECT_EQ(f.Lock(995, 6), platform::ERROR_LOCK_VIOLATION);
    EXPECT_EQ(f.Lock(990, 10), platform::ERROR_SUCCESS);
    EXPECT_EQ(f.Lock(1010, 1), platform::ERROR_SUCCESS);
    EXPECT_EQ(f.Unlock(1000, 5), platform::ERROR_NOT_LOCKED);
    EXPECT_EQ(f.Unlock(1000, 10), platform::ERROR_SUCCESS);
    EXPECT_EQ(f.Lock(1004, 2), platform::ERROR_SUCCESS);
    EXPECT_EQ(f.LocksList.size(), 3u);
    EXPECT_GE(f.LocksList.capacity(), 1024u);
    EXPECT_EQ(f.Lock(9223372036854775807ull, 1), platform::ERROR_SUCCESS);
}

} // namespace
