// The DataConnections write under faults: a process killed at every moment of a write and at random ones,
// and writes that cannot be completed (a full file system, a read-only mount, a read-only file, a missing
// folder). The file is always the old or the new one, never partial, and no temporary file outlives the next
// write; a failed write reports "Unable to write to <path>" and leaves the old file and its folder as they
// were.
#include "platform/IniFile.h"

#include "support/KillAtSystemCall.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

namespace {

bool IsRename(long number) { return number == SYS_rename || number == SYS_renameat || number == SYS_renameat2; }

// Where in a write a stop lies, by the write's own system calls: the fsync of the temporary file, the rename
// over the old file, the fsync of the folder.
struct WriteMoments {
    long fileFsync = -1;
    long rename = -1;
    long folderFsync = -1;
};

WriteMoments FindMoments(const std::vector<support::SystemCallStop>& stops)
{
    WriteMoments m;
    for (size_t i = 0; i < stops.size(); ++i) {
        if (!stops[i].entry)
            continue;
        const long at = static_cast<long>(i);
        if (stops[i].number == SYS_fsync && m.rename < 0 && m.fileFsync < 0)
            m.fileFsync = at;
        else if (IsRename(stops[i].number) && m.fileFsync >= 0 && m.rename < 0)
            m.rename = at;
        else if (stops[i].number == SYS_fsync && m.rename >= 0 && m.folderFsync < 0)
            m.folderFsync = at;
    }
    return m;
}

// The names in the folder besides the file itself, which must all be temporary files of one writer.
std::string ForeignEntries(const std::string& folder, pid_t writer)
{
    std::string wrong;
    for (const std::string& name : Entries(folder)) {
        if (name == "opencpn.ini")
            continue;
        const std::string prefix = "opencpn.ini.tmp" + std::to_string(writer) + "-";
        if (name.rfind(prefix, 0) != 0 || name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            wrong += " " + name;
    }
    return wrong;
}

int KillRounds()
{
    const char* v = std::getenv("SONDRAL_KILL_ROUNDS");
    return v != nullptr ? std::max(0, std::atoi(v)) : 0;
}

} // namespace

// A writer killed at every moment of a write, and at random ones: the file is the old or the new one byte
// for byte, at most the writer's one temporary file is left, and the next write removes it.
// The traced kills land exactly on the write's system calls (every stop once, then SONDRAL_KILL_ROUNDS more
// at stops drawn at random); the timed ones at random instants of a loop of writes, also inside a call.
TEST(IniFileFaults, KilledAtAnyMomentLeavesTheOldOrTheNewFileAndNoTemporary)
{
    TempFolder dir;
    const std::string path = dir.File("opencpn.ini");
    const std::string old = ReadBytes(kFixture);
    WriteBytes(path, old);
    TIniFile(path).WriteString(kSection, kKey, kGps);
    const std::string withGps = ReadBytes(path);
    TIniFile(path).WriteString(kSection, kKey, kGpsAndAis);
    const std::string withBoth = ReadBytes(path);
    ASSERT_NE(withGps, old);
    ASSERT_NE(withBoth, withGps);

    const auto writeBoth = [&] {
        try {
            TIniFile(path).WriteString(kSection, kKey, kGpsAndAis);
            return 0;
        } catch (...) {
            return 3;
        }
    };
    // The next write after a kill: it must leave the folder with the file alone and the file as written.
    int filesChecked = 0;
    const auto nextWrite = [&](const std::string& what) {
        EXPECT_EQ(WriteAndReport(path, kGps), "written") << what;
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"opencpn.ini"}) << what << ": left after the next write";
        EXPECT_EQ(ReadBytes(path), withGps) << what;
        ++filesChecked;
        WriteBytes(path, old);
    };

    // A whole write, traced, for its stops.
    WriteBytes(path, old);
    const support::TracedRun whole = support::RunTracedAndKill(writeBoth, -1);
    ASSERT_EQ(whole.exitCode, 0);
    ASSERT_EQ(ReadBytes(path), withBoth);
    const WriteMoments moments = FindMoments(whole.stops);
    ASSERT_GE(moments.fileFsync, 0);
    ASSERT_GT(moments.rename, moments.fileFsync);
    ASSERT_GT(moments.folderFsync, moments.rename);
    const long stops = static_cast<long>(whole.stops.size());
    WriteBytes(path, old);
    if (std::getenv("SONDRAL_SHOW_STOPS") != nullptr)
        for (long k = 0; k < stops; ++k)
            std::printf("stop %ld: %s %ld\n", k, whole.stops[static_cast<size_t>(k)].entry ? "enter" : "leave",
                        whole.stops[static_cast<size_t>(k)].number);

    std::mt19937 random(20261210u);
    std::vector<long> killAt;
    for (long k = 0; k < stops; ++k)
        killAt.push_back(k);
    std::uniform_int_distribution<long> anyStop(0, stops - 1);
    for (int i = 0; i < KillRounds(); ++i)
        killAt.push_back(anyStop(random));

    std::vector<int> hits(static_cast<size_t>(stops), 0);
    int beforeFileFsync = 0, betweenFsyncs = 0, afterFolderFsync = 0, leftovers = 0;
    for (const long k : killAt) {
        const support::TracedRun run = support::RunTracedAndKill(writeBoth, k);
        const std::string what = "killed at stop " + std::to_string(k) + " of " + std::to_string(stops);
        ASSERT_TRUE(run.killed) << what << ": the write made fewer calls than the whole one (" << run.exitCode << ")";
        ++hits[static_cast<size_t>(k)];
        if (k <= moments.fileFsync)
            ++beforeFileFsync;
        else if (k <= moments.folderFsync)
            ++betweenFsyncs;
        else
            ++afterFolderFsync;
        // Until the rename has run the file is the old one, from then on the new one.
        const std::string now = ReadBytes(path);
        EXPECT_TRUE(now == (k <= moments.rename ? old : withBoth))
            << what << " (system call " << run.stops.back().number << "): "
            << (now == old ? "the old file" : now == withBoth ? "the new file" : "a partial file")
            << ", the rename is stop " << moments.rename;
        ++filesChecked;
        EXPECT_EQ(ForeignEntries(dir.Path(), run.pid), "") << what;
        if (Entries(dir.Path()).size() > 1)
            ++leftovers;
        nextWrite(what);
        if (::testing::Test::HasFailure())
            return;
    }

    // Kills at random instants of an endless loop of writes, alternating the two values.
    // Spread over a few writes: how long one takes here.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
        TIniFile(path).WriteString(kSection, kKey, i % 2 ? kGpsAndAis : kGps);
    const auto perWrite =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start) / 5;
    WriteBytes(path, old);
    std::uniform_int_distribution<int64_t> delayUs(0, std::max<int64_t>(200, 3 * perWrite.count()));
    const int timedKills = 20 + KillRounds() / 5;
    int timedNew = 0;
    for (int round = 0; round < timedKills; ++round) {
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
                    ini.WriteString(kSection, kKey, i % 2 ? kGps : kGpsAndAis);
                } catch (...) {
                    ::_exit(3);
                }
            }
        }
        ::close(ready[1]);
        char b = 0;
        ASSERT_EQ(::read(ready[0], &b, 1), 1);
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(writer, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own with status " << status;
        const std::string now = ReadBytes(path);
        EXPECT_TRUE(now == old || now == withGps || now == withBoth)
            << "timed kill " << round << ": a partial file of " << now.size() << " bytes";
        ++filesChecked;
        if (now != old)
            ++timedNew;
        EXPECT_EQ(ForeignEntries(dir.Path(), writer), "") << "timed kill " << round;
        if (Entries(dir.Path()).size() > 1)
            ++leftovers;
        nextWrite("timed kill " + std::to_string(round));
        if (::testing::Test::HasFailure())
            return;
    }

    const int covered = static_cast<int>(std::count_if(hits.begin(), hits.end(), [](int h) { return h > 0; }));
    const int minimum = *std::min_element(hits.begin(), hits.end());
    std::printf("ini write kills: %zu traced at %d of %ld system-call stops (each stop %d times or more; %d before "
                "the file's fsync, %d between it and the folder's fsync, %d after), %d timed (%d after the rename); "
                "%d temporary files left by the killed writers, all removed by the next write; %d files checked\n",
                killAt.size(), covered, stops, minimum, beforeFileFsync, betweenFsyncs, afterFolderFsync, timedKills,
                timedNew, leftovers, filesChecked);
    RecordProperty("Kills", static_cast<int>(killAt.size()) + timedKills);
    RecordProperty("StopsCovered", covered);
    RecordProperty("FilesChecked", filesChecked);
    EXPECT_EQ(covered, stops);
    EXPECT_GT(betweenFsyncs, 0);
    EXPECT_GT(leftovers, 0) << "no kill came while a temporary file existed";
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
