// Re-creating a missing index file under the table write lock, with real second processes: a process that
// finds the index missing waits for the lock before it makes the file, and uses the index another process
// made meanwhile instead of rebuilding over it.
#include "EngineEnv.h"
#include "NavigationTestSupport.h"
#include "TableFixture.h"

#include "support/ChildProcess.h"

#include "tableengine/DataDirectoryLocks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace tableengine;
namespace w = tableengine::writer;
using navtest::ForwardIDs;
using navtest::Row;

namespace {

// Names c, a, b under a primary key on the name: ids 2, 3, 1 in key order, 1, 2, 3 once rebuilt.
class IndexRebuildLock : public ::testing::Test {
protected:
    void SetUp() override
    {
        w::WriterTable t;
        t.Fields = {navtest::Field("Name", w::DataTypes::String, 10)};
        for (const char* v : {"c", "a", "b"})
            t.Rows.push_back(Row({v}));
        w::WriterIndex pk;
        pk.Fields = {{"Name", false}};
        t.PrimaryKey = pk;
        w::WriteTableFiles(t, dir.Path, "T", false);
        keyedIndex = fixture::ReadFileBytes(Index());
        std::filesystem::remove(Index());
    }
    std::string Index() const { return dir.File("T.idx"); }

    fixture::TempDir dir;
    std::vector<uint8_t> keyedIndex;
};

} // namespace

TEST_F(IndexRebuildLock, MissingIndexWaitsForTheWriteLockAndTakesTheIndexMadeMeanwhile)
{
    support::ChildProcess child([&](support::ChildProcess& self) {
        if (self.Hear() != 'g')
            return 10;
        {
            // With few retries the open gives up: 10227, and neither an index file nor an open table is left.
            fixture::EngineEnv fast(dir.Path);
            const ETblEngineError e = fixture::CatchEngineError([&] { fast.Open("T"); });
            if (e.ErrorCode != TBL_WRITELOCK)
                return 1;
            if (std::filesystem::exists(Index()) || fast.Directory->OpenTableCount() != 0)
                return 2;
        }
        self.Tell('s');
        fixture::EngineEnv env(dir.Path, TEngineSettings{});
        auto c = env.Open("T");
        if (c->DataTable->MissingIndex)
            return 3;
        return ForwardIDs(*c) == std::vector<int32_t>{2, 3, 1} ? 0 : 4;
    });

    fixture::EngineEnv own(dir.Path);
    TDataTableLocks& locks = own.Directory->Locks->AddDataTable("T");
    ASSERT_TRUE(locks.WriteLock());
    child.Send('g');
    ASSERT_EQ(child.WaitFor(), 's');
    // The other process now waits for the lock; it must not make the file while it waits.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(std::filesystem::exists(Index()));
    fixture::WriteFileBytes(Index(), keyedIndex);
    locks.WriteUnlock();
    EXPECT_EQ(child.Join(), 0);
}

TEST_F(IndexRebuildLock, TwoProcessesFindingTheIndexMissingRebuildItOnce)
{
    // Each child answers 0 (read the rebuilt order, the index was there) or 1 (same, and it rebuilt it).
    const auto reader = [&](support::ChildProcess& self) {
        if (self.Hear() != 'g')
            return 10;
        fixture::EngineEnv env(dir.Path, TEngineSettings{});
        auto c = env.Open("T");
        if (ForwardIDs(*c) != std::vector<int32_t>{1, 2, 3})
            return 11;
        return c->DataTable->MissingIndex ? 1 : 0;
    };
    support::ChildProcess first(reader);
    support::ChildProcess second(reader);
    first.Send('g');
    second.Send('g');
    const int a = first.Join();
    const int b = second.Join();
    EXPECT_EQ(a + b, 1) << a << " " << b;
    // The file left behind is the complete rebuilt index.
    fixture::EngineEnv env(dir.Path);
    auto c = env.Open("T");
    EXPECT_FALSE(c->DataTable->MissingIndex);
    EXPECT_EQ(ForwardIDs(*c), (std::vector<int32_t>{1, 2, 3}));
}
