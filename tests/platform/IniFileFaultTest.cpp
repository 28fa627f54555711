// The DataConnections write under faults: a process killed at random moments while it writes, and writes
// that cannot be completed (a full file system, a read-only mount, a read-only file, a missing folder).
// The file is always the old or the new one, never partial; a failed write reports
// "Unable to write to <path>" and leaves the old file and its folder as they were.
#include "platform/IniFile.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

using namespace platform;

namespace {

const std::string kFixture = std::string(SONDRAL_FIXTURES) + "/ini/chartprogram.ini";
const Text kSection = u"Settings/NMEADataSource";
const Text kKey = u"DataConnections";
const Text kGps = u"0;2;0.0.0.0;0;0;COM5;38400;1;1;0;;0;;1;0;53;0;1;;1";
const Text kGpsAndAis = u"0;2;0.0.0.0;0;0;COM5;38400;1;1;0;;0;;1;0;53;0;1;;1|"
                        u"0;2;0.0.0.0;0;0;COM3;4800;1;0;0;;0;;1;0;53;0;1;;1";

std::string WriteAndReport(const std::string& path, TextView value)
{
    try {
        TIniFile(path).WriteString(kSection, kKey, value);
        return "written";
    } catch (const EIniFileException& e) {
        return e.what();
    }
}

std::set<std::string> Entries(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// A small tmpfs mounted on a folder of its own for the length of a test; unmounted again on every path.
class SmallTmpfs {
public:
    explicit SmallTmpfs(const std::string& at, const char* size) : path_(at)
    {
        std::filesystem::create_directory(path_);
        const std::string options = std::string("size=") + size + ",mode=0755";
        if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
            mounted_ = true;
        else
            error_ = std::strerror(errno);
    }
    ~SmallTmpfs()
    {
        if (mounted_)
            ::umount2(path_.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }
    bool RemountReadOnly()
    {
        return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
    }

private:
    std::string path_;
    bool mounted_ = false;
    std::string error_;
};

// Fills the file system of path with a file until nothing more fits, then gives back `spare` bytes.
void FillUp(const std::string& path, off_t spare)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string chunk(4096, 'f');
    off_t size = 0;
    ssize_t n = 0;
    while ((n = ::write(fd, chunk.data(), chunk.size())) > 0)
        size += n;
    while ((n = ::write(fd, chunk.data(), 1)) > 0)
        size += n;
    ASSERT_EQ(errno, ENOSPC);
    if (spare > 0) {
        ASSERT_EQ(::ftruncate(fd, std::max<off_t>(0, size - spare)), 0);
    }
    ::close(fd);
}

} // namespace

TEST(IniFileFaults, KilledWhileWritingLeavesTheOldOrTheNewFile)
{
    TempFolder dir;
    const std::string path = dir.File("opencpn.ini");
    const std::string old = ReadBytes(kFixture);

    // The two versions a writer alternating between two values can leave behind.
    WriteBytes(path, old);
    TIniFile(path).WriteString(kSection, kKey, kGps);
    const std::string withGps = ReadBytes(path);
    TIniFile(path).WriteString(kSection, kKey, kGpsAndAis);
    const std::string withBoth = ReadBytes(path);
    ASSERT_NE(withGps, old);
    ASSERT_NE(withBoth, withGps);

    // How long one write takes here, to spread the kills over a few writes.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
        TIniFile(path).WriteString(kSection, kKey, i % 2 ? kGpsAndAis : kGps);
    const auto perWrite = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start) / 5;

    std::mt19937 random(20240601u);
    std::uniform_int_distribution<int64_t> delay(0, std::max<int64_t>(200, 3 * perWrite.count()));
    std::set<std::string> temporariesLeft;
    int killedMidway = 0;
    for (int round = 0; round < 40; ++round) {
        WriteBytes(path, old);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            ::close(ready[0]);
            (void)!::write(ready[1], "r", 1);
            TIniFile ini(path);
            for (int i = 0;; ++i) {
                try {
                    ini.WriteString(kSection, kKey, i % 2 ? kGpsAndAis : kGps);
                } catch (...) {
                    ::_exit(3);
                }
            }
        }
        ::close(ready[1]);
        char b = 0;
        ASSERT_EQ(::read(ready[0], &b, 1), 1);
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(writer, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own with status " << status;

        const std::string now = ReadBytes(path);
        EXPECT_TRUE(now == old || now == withGps || now == withBoth)
            << "round " << round << ": a partial file of " << now.size() << " bytes";
        if (now != old)
            ++killedMidway;
        for (const std::string& name : Entries(dir.Path()))
            if (name != "opencpn.ini")
                temporariesLeft.insert(name);
        for (const std::string& name : temporariesLeft)
            std::filesystem::remove(dir.File(name));
    }
    // Only complete, never-renamed temporary files may stay behind (the kill came between write and rename).
    RecordProperty("RoundsWithNewFile", killedMidway);
    RecordProperty("TemporariesLeft", static_cast<int>(temporariesLeft.size()));
    for (const std::string& name : temporariesLeft)
        EXPECT_EQ(name.rfind("opencpn.ini.tmp", 0), 0u) << name;
}

TEST(IniFileFaults, FullFileSystemReportsAndKeepsTheOldFile)
{
    TempFolder dir;
    SmallTmpfs fs(dir.File("mnt"), "64k");
    if (!fs.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (" << fs.Error() << "); the test needs root with mount rights";
    const std::string path = dir.File("mnt/opencpn.ini");
    const std::string old = ReadBytes(kFixture);
    WriteBytes(path, old);

    // No room at all, and room for only part of the new file.
    for (const off_t spare : {off_t(0), off_t(4096)}) {
        SCOPED_TRACE("spare bytes " + std::to_string(spare));
        FillUp(dir.File("mnt/filler"), spare);
        EXPECT_EQ(WriteAndReport(path, kGpsAndAis), "Unable to write to " + path);
        EXPECT_EQ(ReadBytes(path), old);
        EXPECT_EQ(Entries(dir.File("mnt")), (std::set<std::string>{"filler", "opencpn.ini"}));
    }
    // Once there is room again the write goes through.
    std::filesystem::remove(dir.File("mnt/filler"));
    EXPECT_EQ(WriteAndReport(path, kGpsAndAis), "written");
    EXPECT_EQ(TIniFile(path).ReadString(kSection, kKey, u""), kGpsAndAis);
}

TEST(IniFileFaults, ReadOnlyPlacesReportAndKeepTheOldFile)
{
    TempFolder dir;
    const std::string old = ReadBytes(kFixture);

    // A file without write permission is not replaced, also not by root.
    const std::string readOnlyFile = dir.File("readonly.ini");
    WriteBytes(readOnlyFile, old);
    ASSERT_EQ(::chmod(readOnlyFile.c_str(), 0444), 0);
    EXPECT_EQ(WriteAndReport(readOnlyFile, kGps), "Unable to write to " + readOnlyFile);
    EXPECT_EQ(ReadBytes(readOnlyFile), old);

    // A folder that does not exist.
    const std::string missing = dir.File("Brixel2022/opencpn.ini");
    EXPECT_EQ(WriteAndReport(missing, kGps), "Unable to write to " + missing);
    EXPECT_FALSE(std::filesystem::exists(dir.File("Brixel2022")));

    // A file system mounted read-only.
    SmallTmpfs fs(dir.File("mnt"), "64k");
    if (!fs.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (" << fs.Error() << "); the read-only mount needs root with mount rights";
    const std::string onReadOnlyMount = dir.File("mnt/opencpn.ini");
    WriteBytes(onReadOnlyMount, old);
    ASSERT_TRUE(fs.RemountReadOnly()) << std::strerror(errno);
    EXPECT_EQ(WriteAndReport(onReadOnlyMount, kGps), "Unable to write to " + onReadOnlyMount);
    EXPECT_EQ(ReadBytes(onReadOnlyMount), old);
    EXPECT_EQ(Entries(dir.File("mnt")), std::set<std::string>{"opencpn.ini"});
}
