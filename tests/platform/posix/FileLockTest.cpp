// Files: share modes and byte-range locks between threads of one process and between real processes.
#include "platform/File.h"

#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

using namespace platform;

namespace {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() / ("sondral-file-" + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "data.bin").string();
        std::ofstream(path_) << "0123456789";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
    std::string path_;
};

constexpr uint64_t High = 4294901760ull; // far beyond the end of the file

TEST_F(FileTest, ShareModesBetweenProcesses)
{
    // Another process holds the file exclusively: a shared open is a sharing violation, and so is an
    // exclusive open while that process holds it shared.
    for (const FileShare childShare : {FileShare::None, FileShare::ReadWrite}) {
        support::ChildProcess child([&](support::ChildProcess& self) {
            File f;
            if (f.Open(path_, FileAccess::ReadWrite, childShare, FileDisposition::OpenExisting) != ERROR_SUCCESS)
                return 1;
            self.Tell('r');
            self.Hear();
            return 0;
        });
        ASSERT_EQ(child.WaitFor(), 'r');
        File f;
        const DWORD wanted = childShare == FileShare::None ? DWORD(ERROR_SHARING_VIOLATION) : DWORD(ERROR_SUCCESS);
        EXPECT_EQ(f.Open(path_, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), wanted);
        f.Close();
        EXPECT_EQ(f.Open(path_, FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting),
                  DWORD(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
        child.Send('x');
        EXPECT_EQ(child.Join(), 0);
    }
    // Once the other process is gone, the exclusive open succeeds.
    File f;
    EXPECT_EQ(f.Open(path_, FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting), DWORD(ERROR_SUCCESS));
}

TEST_F(FileTest, CreateAlwaysDoesNotTruncateAFileHeldExclusively)
{
    File holder;
    ASSERT_EQ(holder.Open(path_, FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting), DWORD(ERROR_SUCCESS));
    File other;
    EXPECT_EQ(other.Open(path_, FileAccess::ReadWrite, FileShare::None, FileDisposition::CreateAlways),
              DWORD(ERROR_SHARING_VIOLATION));
    uint64_t size = 0;
    ASSERT_EQ(holder.GetSize(size), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(size, 10u);
    File fresh;
    EXPECT_EQ(fresh.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateNew),
              DWORD(ERROR_ALREADY_EXISTS));
}

TEST_F(FileTest, MissingFileAndReadOnlyAttribute)
{
    File f;
    EXPECT_EQ(f.Open((dir_ / "none.bin").string(), FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting),
              DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(f.Open((dir_ / "no" / "none.bin").string(), FileAccess::Read, FileShare::ReadWrite,
                     FileDisposition::OpenExisting),
              DWORD(ERROR_FILE_NOT_FOUND));
    FileAttributes a;
    ASSERT_EQ(GetFileAttributes(path_, a), DWORD(ERROR_SUCCESS));
    EXPECT_FALSE(a.ReadOnly);
    EXPECT_EQ(a.Size, 10u);
    ASSERT_EQ(SetFileReadOnly(path_, true), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(GetFileAttributes(path_, a), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(a.ReadOnly);
    EXPECT_EQ(GetFileAttributes((dir_ / "none").string(), a), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileTest, SeekReadWriteAndShortRead)
{
    File f;
    ASSERT_EQ(f.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting), DWORD(ERROR_SUCCESS));
    char buf[8] = {};
    std::size_t done = 0;
    ASSERT_EQ(f.Seek(6), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(f.Read(buf, sizeof buf, done), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(std::string(buf, done), "6789");
    ASSERT_EQ(f.Seek(12), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(f.Write("ab", 2), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(f.Flush(), DWORD(ERROR_SUCCESS));
    uint64_t size = 0;
    ASSERT_EQ(f.GetSize(size), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(size, 14u);
    File ro;
    ASSERT_EQ(ro.Open(path_, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ro.Write("x", 1), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(FileTest, RangeLocksInOneProcessRefuseOverlapsAndUnlockExactly)
{
    File f;
    ASSERT_EQ(f.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(f.LockRange(High, 100), DWORD(ERROR_SUCCESS));
    // The same handle may not lock an overlapping range again (POSIX locks of one owner would merge).
    EXPECT_EQ(f.LockRange(High + 99, 1), DWORD(ERROR_LOCK_VIOLATION));
    EXPECT_EQ(f.LockRange(High - 1, 2), DWORD(ERROR_LOCK_VIOLATION));
    EXPECT_EQ(f.LockRange(High, 100), DWORD(ERROR_LOCK_VIOLATION));
    EXPECT_EQ(f.LockRange(High + 100, 1), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(f.LockRange(High - 1, 1), DWORD(ERROR_SUCCESS));
    // Unlock needs exactly a locked range.
    EXPECT_EQ(f.UnlockRange(High, 50), DWORD(ERROR_NOT_LOCKED));
    EXPECT_EQ(f.UnlockRange(High + 1, 99), DWORD(ERROR_NOT_LOCKED));
    EXPECT_EQ(f.LockedRanges(), 3u);
    EXPECT_EQ(f.UnlockRange(High, 100), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(f.UnlockRange(High, 100), DWORD(ERROR_NOT_LOCKED));
    // The neighbours are still held; the freed range can be taken piecewise.
    EXPECT_EQ(f.LockRange(High + 100, 1), DWORD(ERROR_LOCK_VIOLATION));
    EXPECT_EQ(f.LockRange(High + 10, 5), DWORD(ERROR_SUCCESS));
    // Offsets up to 2^63 - 1; a range running past it is refused.
    EXPECT_EQ(f.LockRange(9223372036854775807ull, 1), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(f.LockRange(9223372036854775800ull, 100), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(f.LockRange(5, 0), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(FileTest, RangeLocksBetweenThreadsOfOneProcess)
{
    File f;
    ASSERT_EQ(f.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting), DWORD(ERROR_SUCCESS));
    // Two threads race for the same byte 200 times: exactly one wins each round.
    for (int round = 0; round < 200; ++round) {
        DWORD a = 1, b = 1;
        std::thread t1([&] { a = f.LockRange(High + 7, 1); });
        std::thread t2([&] { b = f.LockRange(High + 7, 1); });
        t1.join();
        t2.join();
        ASSERT_EQ((a == ERROR_SUCCESS) + (b == ERROR_SUCCESS), 1);
        ASSERT_EQ(f.UnlockRange(High + 7, 1), DWORD(ERROR_SUCCESS));
    }
}

TEST_F(FileTest, RangeLocksBetweenProcesses)
{
    File f;
    ASSERT_EQ(f.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(f.LockRange(High + 1000, 10), DWORD(ERROR_SUCCESS));
    support::ChildProcess child([&](support::ChildProcess& self) {
        File g;
        if (g.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting) != ERROR_SUCCESS)
            return 1;
        int failures = 0;
        failures += g.LockRange(High + 1005, 1) != ERROR_LOCK_VIOLATION;   // inside the parent's range
        failures += g.LockRange(High + 990, 20) != ERROR_LOCK_VIOLATION;   // overlapping it
        failures += g.LockRange(High + 1010, 1) != ERROR_SUCCESS;          // next to it
        failures += g.LockRange(High, 65535) != ERROR_LOCK_VIOLATION;      // a whole range over it
        self.Tell(failures == 0 ? 'a' : 'f');
        self.Hear(); // the parent has released its range
        failures += g.LockRange(High + 1005, 1) != ERROR_SUCCESS;
        self.Tell(failures == 0 ? 'b' : 'f');
        self.Hear();
        return failures;
    });
    ASSERT_EQ(child.WaitFor(), 'a');
    // The child's byte excludes the parent in turn.
    EXPECT_EQ(f.LockRange(High + 1010, 1), DWORD(ERROR_LOCK_VIOLATION));
    ASSERT_EQ(f.UnlockRange(High + 1000, 10), DWORD(ERROR_SUCCESS));
    child.Send('1');
    ASSERT_EQ(child.WaitFor(), 'b');
    EXPECT_EQ(f.LockRange(High + 1000, 5), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(f.LockRange(High + 1005, 1), DWORD(ERROR_LOCK_VIOLATION));
    child.Send('2');
    EXPECT_EQ(child.Join(), 0);
    // A process that ends releases its locks.
    EXPECT_EQ(f.LockRange(High + 1005, 1), DWORD(ERROR_SUCCESS));
}

// A range is exclusive whatever access the descriptions were opened with: two processes that opened the file
// for reading only do not both get the same range, nor does a reader beside a writer.
TEST_F(FileTest, RangeLocksAreExclusiveThroughReadOnlyDescriptions)
{
    for (const auto& [mine, theirs] : {std::pair{FileAccess::Read, FileAccess::Read},
                                       std::pair{FileAccess::Read, FileAccess::ReadWrite},
                                       std::pair{FileAccess::ReadWrite, FileAccess::Read}}) {
        SCOPED_TRACE(std::to_string(int(mine)) + "/" + std::to_string(int(theirs)));
        File f;
        ASSERT_EQ(f.Open(path_, mine, FileShare::ReadWrite, FileDisposition::OpenExisting), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(f.LockRange(High + 1000, 10), DWORD(ERROR_SUCCESS));
        support::ChildProcess child([&](support::ChildProcess& self) {
            File g;
            if (g.Open(path_, theirs, FileShare::ReadWrite, FileDisposition::OpenExisting) != ERROR_SUCCESS)
                return 1;
            int failures = g.LockRange(High + 1005, 1) != ERROR_LOCK_VIOLATION;
            self.Tell(failures == 0 ? 'a' : 'f');
            self.Hear(); // the parent has released its range
            failures += g.LockRange(High + 1005, 1) != ERROR_SUCCESS;
            self.Tell(failures == 0 ? 'b' : 'f');
            self.Hear();
            return failures;
        });
        ASSERT_EQ(child.WaitFor(), 'a');
        // A second description in this process is refused as well.
        File second;
        ASSERT_EQ(second.Open(path_, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting),
                  DWORD(ERROR_SUCCESS));
        EXPECT_EQ(second.LockRange(High + 1000, 1), DWORD(ERROR_LOCK_VIOLATION));
        ASSERT_EQ(f.UnlockRange(High + 1000, 10), DWORD(ERROR_SUCCESS));
        child.Send('1');
        ASSERT_EQ(child.WaitFor(), 'b');
        EXPECT_EQ(f.LockRange(High + 1005, 1), DWORD(ERROR_LOCK_VIOLATION)); // the child's byte now
        child.Send('2');
        EXPECT_EQ(child.Join(), 0);
        // Closing releases: the child's exit, and this file's own close.
        EXPECT_EQ(second.LockRange(High + 1005, 1), DWORD(ERROR_SUCCESS));
        second.Close();
        EXPECT_EQ(f.LockRange(High + 1005, 1), DWORD(ERROR_SUCCESS));
    }
}

TEST_F(FileTest, DirectoryListingAndFolders)
{
    std::ofstream((dir_ / "b.dat").string()) << "x";
    std::filesystem::create_directories(dir_ / "sub.dat");
    std::vector<std::string> names;
    ASSERT_EQ(ListDirectory(dir_.string(), names), DWORD(ERROR_SUCCESS));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b.dat", "data.bin"}));
    EXPECT_EQ(ListDirectory((dir_ / "nothing").string(), names), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CurrentDirectory().back(), '/');
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old != nullptr ? old : "";
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(TempDirectory(), "/var/tmp/");
    unsetenv("TMPDIR");
    EXPECT_EQ(TempDirectory(), "/tmp/");
    if (old != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
}

} // namespace
