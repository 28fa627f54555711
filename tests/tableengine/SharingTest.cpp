// Sharing a table between real processes: exclusive opens, and the readers' slots against a writer's range.
// The other process is this test program started again in a child role (ChildProcessRole.h), so the share
// modes and byte-range locks are the system's own between two processes on every platform.
#include "tableengine/EngineEnv.h"
#include "tableengine/TableFixture.h"

#include "support/ChildProcessRole.h"

#include "tableengine/storage/DataDirectoryLocks.h"
#include "tableengine/storage/DataTable.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tableengine;
using namespace fixture;
using support::Arguments;
using support::ChildLink;

namespace {

// Each role gets the table folder as its argument.
const support::ChildRole holdExclusive("Sharing.HoldExclusive", [](ChildLink& self, const Arguments& a) {
    EngineEnv other(a.at(0));
    auto c = other.Open("Language", true);
    self.Tell('o');
    self.Hear();
    return 0;
});

const support::ChildRole openExclusiveIsRefused("Sharing.OpenExclusiveIsRefused", [](ChildLink&, const Arguments& a) {
    EngineEnv other(a.at(0));
    const ETblEngineError e = CatchEngineError([&] { other.Open("Language", true); });
    return e.ErrorCode == 11013 && e.OSErrorCode == 32 ? 0 : 1;
});

const support::ChildRole holdWriteRange("Sharing.HoldWriteRange", [](ChildLink& self, const Arguments& a) {
    EngineEnv other(a.at(0));
    auto w = other.Open("Language");
    if (!w->DataTable->DataTableLocks->WriteLock())
        return 1;
    self.Tell('w');
    self.Hear();
    w->DataTable->DataTableLocks->WriteUnlock();
    self.Tell('u');
    self.Hear();
    return 0;
});

const support::ChildRole writeRangeWaitsForReader("Sharing.WriteRangeWaitsForReader", [](ChildLink& self, const Arguments& a) {
    EngineEnv other(a.at(0));
    auto w = other.Open("Language");
    const bool first = w->DataTable->DataTableLocks->WriteLock();
    self.Tell(first ? 'y' : 'n');
    self.Hear();
    const bool second = w->DataTable->DataTableLocks->WriteLock();
    return !first && second ? 0 : 1;
});

const support::ChildRole readAndHold("Sharing.ReadAndHold", [](ChildLink& self, const Arguments& a) {
    EngineEnv other(a.at(0));
    auto r = other.Open("Language");
    for (int k = 0; k < 50; ++k) { // many slot draws: distinct bytes never collide
        r->ReadLockTable();
        r->ReadUnlockTable();
    }
    r->ReadLockTable();
    std::vector<uint8_t> rec(r->RecordLength);
    r->ReadRecord(4, rec.data());
    self.Tell('r');
    self.Hear();
    r->ReadUnlockTable();
    return 0;
});

// Exit code 0 when the write range was granted, 1 when not.
const support::ChildRole tryWriteRange("Sharing.TryWriteRange", [](ChildLink&, const Arguments& a) {
    EngineEnv other(a.at(0));
    auto w = other.Open("Language");
    return w->DataTable->DataTableLocks->WriteLock() ? 0 : 1;
});

class SharingTest : public ::testing::Test {
protected:
    void SetUp() override { NumberedTable(4).Write(dir.Path, "Language"); }
    TempDir dir;
};

TEST_F(SharingTest, TableOpenedExclusivelyByAnotherProcessIsRefused)
{
    support::RoleProcess child(holdExclusive, {dir.Path});
    ASSERT_EQ(child.WaitFor(), 'o');
    {
        EngineEnv env(dir.Path);
        const ETblEngineError e = CatchEngineError([&] { env.Open("Language"); });
        EXPECT_EQ(e.ErrorCode, 11013);
        EXPECT_EQ(e.OSErrorCode, 32);
        EXPECT_EQ(e.ErrorTableName, "Language");
        EXPECT_STREQ(e.what(), "Table Engine Error # 11013 Access denied to table or backup file 'Language'");
        EXPECT_EQ(env.Directory->OpenTableCount(), 0u);
    }
    child.Send('c');
    EXPECT_EQ(child.Join(), 0);

    // The other way round: a shared open here refuses the other process's exclusive open.
    EngineEnv env(dir.Path);
    auto c = env.Open("Language");
    support::RoleProcess second(openExclusiveIsRefused, {dir.Path});
    EXPECT_EQ(second.Join(), 0);
}

TEST_F(SharingTest, WritersRangeAndReadersSlotsExcludeEachOther)
{
    EngineEnv env(dir.Path);
    auto c = env.Open("Language");
    TDataTableLocks& locks = *c->DataTable->DataTableLocks;
    // A writer in another process holds the table's range: no reader gets a slot.
    support::RoleProcess writer(holdWriteRange, {dir.Path});
    ASSERT_EQ(writer.WaitFor(), 'w');
    const ETblEngineError e = CatchEngineError([&] { c->ReadLockTable(); });
    EXPECT_EQ(e.ErrorCode, 10225);
    EXPECT_STREQ(e.what(), "Table Engine Error # 10225 Cannot read lock the table 'Language'");
    EXPECT_FALSE(locks.IsReadLocked());
    // Reading a record that is not cached needs the read lock too.
    std::vector<uint8_t> rec(c->RecordLength);
    EXPECT_EQ(CatchEngineError([&] { c->ReadRecord(1, rec.data()); }).ErrorCode, 10225);
    writer.Send('1');
    ASSERT_EQ(writer.WaitFor(), 'u');
    EXPECT_NO_THROW(c->ReadRecord(1, rec.data()));
    writer.Send('2');
    EXPECT_EQ(writer.Join(), 0);

    // A reader here holds its slot: the writer cannot get the range until it is released.
    c->ReadLockTable();
    EXPECT_TRUE(locks.IsReadLocked());
    support::RoleProcess blocked(writeRangeWaitsForReader, {dir.Path});
    EXPECT_EQ(blocked.WaitFor(), 'n');
    c->ReadUnlockTable();
    EXPECT_FALSE(locks.IsReadLocked());
    blocked.Send('g');
    EXPECT_EQ(blocked.Join(), 0);
}

TEST_F(SharingTest, ReadersNeverCollide)
{
    EngineEnv env(dir.Path);
    auto c = env.Open("Language");
    c->ReadLockTable();
    // Several processes read-lock the same table at the same time; a writer gets nothing meanwhile.
    std::vector<std::unique_ptr<support::RoleProcess>> readers;
    for (int i = 0; i < 4; ++i)
        readers.push_back(std::make_unique<support::RoleProcess>(readAndHold, Arguments{dir.Path}));
    for (auto& r : readers)
        ASSERT_EQ(r->WaitFor(), 'r');
    // Nested read locks in this process share the one slot.
    c->ReadLockTable();
    c->ReadUnlockTable();
    EXPECT_TRUE(c->DataTable->DataTableLocks->IsReadLocked());
    {
        support::RoleProcess writer(tryWriteRange, {dir.Path});
        EXPECT_EQ(writer.Join(), 1);
    }
    for (auto& r : readers) {
        r->Send('x');
        EXPECT_EQ(r->Join(), 0);
    }
    c->ReadUnlockTable();
    support::RoleProcess free(tryWriteRange, {dir.Path});
    EXPECT_EQ(free.Join(), 0);
}

} // namespace
