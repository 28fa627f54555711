// Re-creating a missing index file under the table write lock, with real second processes (this program
// in a child role): a process that finds the index missing waits for the lock before it makes the file, and
// uses the index another process made meanwhile instead of rebuilding over it.
#include "tableengine/IndexRebuildFixture.h"

#include "support/ChildProcessRole.h"

#include "tableengine/storage/DataDirectoryLocks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

using namespace tableengine;
using indexrebuild::IndexRebuildLock;
using navtest::ForwardIDs;
using support::Arguments;
using support::ChildLink;

namespace {

// Each role gets the table folder as its argument.
const support::ChildRole openWhileLocked("IndexRebuild.OpenWhileLocked", [](ChildLink& self, const Arguments& a) {
    const std::string folder = a.at(0);
    const std::string index = platform::JoinPath(folder, "T.idx");
    if (self.Hear() != 'g')
        return 10;
    {
        // With few retries the open gives up: the writer's range keeps it from reading the headers
        // (10225), and neither an index file nor an open table is left.
        fixture::EngineEnv fast(folder);
        const ETblEngineError e = fixture::CatchEngineError([&] { fast.Open("T"); });
        if (e.ErrorCode != TBL_READLOCK)
            return 1;
        if (std::filesystem::exists(index) || fast.Directory->OpenTableCount() != 0)
            return 2;
    }
    self.Tell('s');
    fixture::EngineEnv env(folder, TEngineSettings{});
    auto c = env.Open("T");
    if (c->DataTable->MissingIndex)
        return 3;
    return ForwardIDs(*c) == std::vector<int32_t>{2, 3, 1} ? 0 : 4;
});

// Held inside the rebuild: the table is open, the new index file made but not filled (the cursor that
// fills it comes later), and the write lock held.
const support::ChildRole holdInsideRebuild("IndexRebuild.HoldInsideRebuild", [](ChildLink& self, const Arguments& a) {
    fixture::EngineEnv env(a.at(0), TEngineSettings{});
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

// Finds the index missing too; answers 0 when it read the rebuilt order from the index the first one made,
// 1 when it rebuilt the index itself.
const support::ChildRole openDuringRebuild("IndexRebuild.OpenDuringRebuild", [](ChildLink& self, const Arguments& a) {
    self.Tell('r'); // running: the wait below is the open's, not the start's
    if (self.Hear() != 'g')
        return 10;
    fixture::EngineEnv env(a.at(0), TEngineSettings{});
    auto c = env.Open("T");
    self.Tell('o');
    if (ForwardIDs(*c) != std::vector<int32_t>{1, 2, 3})
        return 11;
    return c->DataTable->MissingIndex ? 1 : 0;
});

} // namespace

TEST_F(IndexRebuildLock, MissingIndexWaitsForTheWriteLockAndTakesTheIndexMadeMeanwhile)
{
    support::RoleProcess child(openWhileLocked, {dir.Path});

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
    support::RoleProcess first(holdInsideRebuild, {dir.Path});
    ASSERT_EQ(first.WaitFor(), 'w');

    support::RoleProcess second(openDuringRebuild, {dir.Path});
    ASSERT_EQ(second.WaitFor(), 'r');
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
