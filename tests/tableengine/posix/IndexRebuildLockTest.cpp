// Re-creating a missing index file under the table write lock, with real second processes: a process that
// finds the index missing waits for the lock before it makes the file, and uses the index another process
// made meanwhile instead of rebuilding over it; a rebuild killed at any moment leaves no half-made index.
#include "tableengine/EngineEnv.h"
#include "tableengine/NavigationTestSupport.h"
#include "tableengine/TableFixture.h"

#include "support/ChildProcess.h"
#include "support/KillAtSystemCall.h"

#include "tableengine/storage/DataDirectoryLocks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
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
    std::set<std::string> TableFolderEntries() const
    {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path))
            names.insert(e.path().filename().string());
        return names;
    }

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
            // With few retries the open gives up: the writer's range keeps it from reading the headers
            // (10225), and neither an index file nor an open table is left.
            fixture::EngineEnv fast(dir.Path);
            const ETblEngineError e = fixture::CatchEngineError([&] { fast.Open("T"); });
            if (e.ErrorCode != TBL_READLOCK)
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

TEST_F(IndexRebuildLock, ASecondProcessWaitsWhileTheFirstIsInsideTheRebuild)
{
    // The first process is held inside the rebuild: the table is open, the new index file made but not
    // filled (the cursor that fills it comes later), and the write lock held.
    support::ChildProcess first([&](support::ChildProcess& self) {
        fixture::EngineEnv env(dir.Path, TEngineSettings{});
        TDataTable& table = env.Directory->OpenDataTable("T", "T", true, false, false, false);
        if (!table.IndexRebuildPending)
            return 20;
        self.Tell('w');
        if (self.Hear() != 'g')
            return 21;
        auto c = env.Open("T"); // fills the index and releases the write lock
        const bool filled = ForwardIDs(*c) == std::vector<int32_t>{1, 2, 3};
        env.Directory->CloseDataTable(table);
        return filled ? 0 : 22;
    });
    ASSERT_EQ(first.WaitFor(), 'w');

    // The second process finds the index missing too; it answers 0 when it read the rebuilt order from the
    // index the first one made, 1 when it rebuilt the index itself.
    support::ChildProcess second([&](support::ChildProcess& self) {
        if (self.Hear() != 'g')
            return 10;
        fixture::EngineEnv env(dir.Path, TEngineSettings{});
        auto c = env.Open("T");
        self.Tell('o');
        if (ForwardIDs(*c) != std::vector<int32_t>{1, 2, 3})
            return 11;
        return c->DataTable->MissingIndex ? 1 : 0;
    });
    second.Send('g');
    EXPECT_EQ(second.WaitFor(1000), 0) << "the second process opened the table while the first one rebuilt its index";
    first.Send('g');
    EXPECT_EQ(first.Join(), 0);
    EXPECT_EQ(second.WaitFor(), 'o');
    EXPECT_EQ(second.Join(), 0) << "1: the second process rebuilt the index as well";

    // The file left behind is the complete rebuilt index, and no temporary file is left beside it.
    fixture::EngineEnv env(dir.Path);
    auto c = env.Open("T");
    EXPECT_FALSE(c->DataTable->MissingIndex);
    EXPECT_EQ(ForwardIDs(*c), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(TableFolderEntries(), (std::set<std::string>{"T.dat", "T.idx", "tables.lck"}));
}

// A rebuild killed at every moment of its work (traced, killed at one system call after another): the index
// file is then missing or complete, never half-made, so the next open reads the rows in rebuilt order
// (rebuilding the index when it is missing) and leaves no temporary file behind.
TEST_F(IndexRebuildLock, RebuildKilledAtAnyMomentIsRebuiltByTheNextOpen)
{
    const auto openAndWalk = [&] {
        fixture::EngineEnv env(dir.Path, TEngineSettings{});
        auto c = env.Open("T");
        return ForwardIDs(*c) == std::vector<int32_t>{1, 2, 3} ? 0 : 1;
    };
    // Once opened, so that the lock file exists and every run below makes the same calls.
    ASSERT_EQ(openAndWalk(), 0);
    std::filesystem::remove(Index());
    const support::TracedRun whole = support::RunTracedAndKill(openAndWalk, -1);
    ASSERT_EQ(whole.exitCode, 0);
    const std::vector<uint8_t> rebuilt = fixture::ReadFileBytes(Index());
    const long stops = static_cast<long>(whole.stops.size());

    int missing = 0, complete = 0;
    for (long k = 0; k < stops; ++k) {
        std::filesystem::remove(Index());
        const support::TracedRun run = support::RunTracedAndKill(openAndWalk, k);
        const std::string what = "killed at stop " + std::to_string(k) + " of " + std::to_string(stops);
        ASSERT_TRUE(run.killed) << what;
        if (std::filesystem::exists(Index())) {
            ++complete;
            EXPECT_TRUE(fixture::ReadFileBytes(Index()) == rebuilt) << what << ": a half-made index";
        } else {
            ++missing;
        }
        {
            fixture::EngineEnv env(dir.Path, TEngineSettings{});
            auto c = env.Open("T");
            EXPECT_EQ(ForwardIDs(*c), (std::vector<int32_t>{1, 2, 3})) << what;
        }
        EXPECT_EQ(TableFolderEntries(), (std::set<std::string>{"T.dat", "T.idx", "tables.lck"})) << what;
        if (HasFailure())
            return;
    }
    std::printf("rebuild kills: %ld (every stop), %d left the index missing, %d complete\n", stops, missing, complete);
    EXPECT_GT(missing, 0);
    EXPECT_GT(complete, 0);
}
