// Share modes and byte-range locks between two processes, with the semantics the system's own files have
// (CreateFileW share modes, LockFileEx): the other process is this program again (HelperProcess).
#include "HelperProcess.h"

#include "platform/File.h"

#include "../SystemUnderTest.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

constexpr uint64_t kBeyond4G = (uint64_t(1) << 32) + 10; // a 64-bit offset, far beyond the end of the file

class FileSharing : public ::testing::Test {
protected:
    void SetUp() override { WriteBytes(path_, "table bytes"); }
    DWORD OpenShared(File& f) { return f.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting); }
    DWORD OpenExclusive(File& f) { return f.Open(path_, FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting); }

    TempFolder dir_;
    std::string path_ = dir_.File("table.dat");
};

TEST_F(FileSharing, AnExclusiveOpenInAnotherProcessRefusesEveryOtherOpen)
{
    HelperProcess holder("exclusive|" + path_);
    File f;
    EXPECT_EQ(OpenShared(f), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(OpenExclusive(f), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(f.Open(path_, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(holder.Release(), 0u);
    EXPECT_EQ(OpenExclusive(f), ERROR_SUCCESS);
}

TEST_F(FileSharing, SharedOpensMeetButRefuseAnExclusiveOne)
{
    HelperProcess holder("shared|" + path_);
    File shared;
    EXPECT_EQ(OpenShared(shared), ERROR_SUCCESS);
    File exclusive;
    EXPECT_EQ(OpenExclusive(exclusive), ERROR_SHARING_VIOLATION);
    shared.Close();
    EXPECT_EQ(OpenExclusive(exclusive), ERROR_SHARING_VIOLATION) << "the other process still shares it";
    EXPECT_EQ(holder.Release(), 0u);
    EXPECT_EQ(OpenExclusive(exclusive), ERROR_SUCCESS);
}

TEST_F(FileSharing, ALockOfAnotherProcessRefusesOverlapsOnlyUntilItEnds)
{
    HelperProcess holder("lock|" + path_ + "|" + std::to_string(kBeyond4G) + "|100");
    File f;
    ASSERT_EQ(OpenShared(f), ERROR_SUCCESS);
    struct Case {
        uint64_t offset;
        uint64_t length;
        DWORD expected;
    };
    for (const Case& c : {Case{kBeyond4G - 5, 10, ERROR_LOCK_VIOLATION}, Case{kBeyond4G + 99, 1, ERROR_LOCK_VIOLATION},
                          Case{kBeyond4G + 40, 5, ERROR_LOCK_VIOLATION}, Case{kBeyond4G + 100, 5, ERROR_SUCCESS},
                          Case{kBeyond4G - 10, 10, ERROR_SUCCESS}, Case{0, 11, ERROR_SUCCESS}}) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(f.LockRange(c.offset, c.length), c.expected);
    }
    EXPECT_EQ(f.LockedRanges(), 3u);
    // A process that dies holds nothing any more.
    holder.Kill();
    EXPECT_EQ(f.LockRange(kBeyond4G, 100), ERROR_SUCCESS);
}

TEST_F(FileSharing, LocksOfOneProcessConflictAndUnlockExactly)
{
    File a;
    File b;
    ASSERT_EQ(OpenShared(a), ERROR_SUCCESS);
    ASSERT_EQ(OpenShared(b), ERROR_SUCCESS);
    ASSERT_EQ(a.LockRange(100, 10), ERROR_SUCCESS);
    EXPECT_EQ(a.LockRange(105, 1), ERROR_LOCK_VIOLATION) << "a handle's own lock conflicts too";
    EXPECT_EQ(b.LockRange(109, 5), ERROR_LOCK_VIOLATION);
    EXPECT_EQ(a.UnlockRange(100, 5), ERROR_NOT_LOCKED);
    EXPECT_EQ(b.UnlockRange(100, 10), ERROR_NOT_LOCKED) << "only the holder unlocks";
    EXPECT_EQ(a.UnlockRange(100, 10), ERROR_SUCCESS);
    EXPECT_EQ(a.LockedRanges(), 0u);
    EXPECT_EQ(b.LockRange(100, 10), ERROR_SUCCESS);
    EXPECT_EQ(a.LockRange(0, 0), ERROR_INVALID_PARAMETER);
}

TEST_F(FileSharing, ReadOnlyAttributeRefusesWriting)
{
    FileAttributes attributes;
    ASSERT_EQ(GetFileAttributes(path_, attributes), ERROR_SUCCESS);
    EXPECT_FALSE(attributes.ReadOnly);
    EXPECT_EQ(attributes.Size, 11u);
    ASSERT_EQ(SetFileReadOnly(path_, true), ERROR_SUCCESS);
    ASSERT_EQ(GetFileAttributes(path_, attributes), ERROR_SUCCESS);
    EXPECT_TRUE(attributes.ReadOnly);
    File f;
    EXPECT_EQ(f.Open(path_, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), ERROR_SUCCESS);
    f.Close();
    if (RunningUnderWine()) {
        // Wine keeps the attribute as the file's Unix write permission, which a process of root passes.
        (void)SetFileReadOnly(path_, false);
        GTEST_SKIP() << "needs real Windows: under Wine the read-only attribute does not refuse a write open";
    }
    EXPECT_EQ(OpenShared(f), ERROR_ACCESS_DENIED);
    ASSERT_EQ(SetFileReadOnly(path_, false), ERROR_SUCCESS);
    EXPECT_EQ(OpenShared(f), ERROR_SUCCESS);
}

TEST_F(FileSharing, FoldersMissingAndExistingFiles)
{
    File f;
    EXPECT_EQ(f.Open(dir_.Path(), FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), ERROR_ACCESS_DENIED);
    EXPECT_EQ(f.Open(dir_.File("missing"), FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(f.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateNew), ERROR_FILE_EXISTS);
}

} // namespace
