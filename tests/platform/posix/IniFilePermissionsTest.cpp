// The ini module's replacement on POSIX: permissions and owner kept, symbolic links written through,
// read-only files and folders of the file system refused.
#include "../IniFileTestData.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

using namespace platform;
using namespace ini_test;

namespace {

// Runs fn in a child process without the privileges of root (as "nobody" when the tests run as root,
// since root writes into read-only folders) and returns the text fn produced.
std::string RunUnprivileged(const std::function<std::string()>& fn)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string result;
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            result = "cannot drop privileges";
        else
            result = fn();
        const ssize_t written = ::write(fds[1], result.data(), result.size());
        ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n = 0;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out;
}

} // namespace

TEST(IniFile, ReplacementKeepsPermissionsAndLeavesNoTemporaryFile)
{
    TempFolder dir;
    const std::string path = dir.File("opencpn.ini");
    WriteBytes(path, ReadBytes(kFixture));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    TIniFile(path).WriteString(u"Settings/NMEADataSource", u"DataConnections", kNewConnections);

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_NE(after.st_ino, before.st_ino) << "the file was rewritten in place, not replaced";
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"opencpn.ini"});
}

TEST(IniFile, WritesThroughASymbolicLinkAndKeepsIt)
{
    TempFolder dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("link.ini");
    WriteBytes(real, "[A]\nk=1\n");
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
    TIniFile(link).WriteString(u"A", u"k", u"2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "[A]\nk=2\n");
}

TEST(IniFile, FailedWritesRaiseAndLeaveTheFileAlone)
{
    TempFolder dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);

    // A folder that does not exist is never created.
    const std::string missing = dir.File("Brixel2022/opencpn.ini");
    EXPECT_EQ(WriteAndReport(missing, u"S", u"k", u"v"), "Unable to write to " + missing);
    EXPECT_FALSE(std::filesystem::exists(dir.File("Brixel2022")));

    // A path through a plain file.
    WriteBytes(dir.File("plain"), "x");
    EXPECT_EQ(WriteAndReport(dir.File("plain/opencpn.ini"), u"S", u"k", u"v"),
              "Unable to write to " + dir.File("plain/opencpn.ini"));

    // A read-only folder, and a read-only file in a writable folder.
    const std::string roFolder = dir.File("ro");
    const std::string rwFolder = dir.File("rw");
    ASSERT_TRUE(std::filesystem::create_directory(roFolder));
    ASSERT_TRUE(std::filesystem::create_directory(rwFolder));
    const std::string inRo = roFolder + "/opencpn.ini";
    const std::string roFile = rwFolder + "/opencpn.ini";
    const std::string content = ReadBytes(kFixture);
    WriteBytes(inRo, content);
    WriteBytes(roFile, content);
    ASSERT_EQ(::chmod(inRo.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(roFolder.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(roFile.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(rwFolder.c_str(), 0777), 0);

    EXPECT_EQ(RunUnprivileged([&] { return WriteAndReport(inRo, u"Settings/NMEADataSource", u"DataConnections", u"x"); }),
              "Unable to write to " + inRo);
    EXPECT_EQ(RunUnprivileged([&] { return WriteAndReport(roFile, u"Settings/NMEADataSource", u"DataConnections", u"x"); }),
              "Unable to write to " + roFile);
    EXPECT_EQ(ReadBytes(inRo), content);
    EXPECT_EQ(ReadBytes(roFile), content);
    EXPECT_EQ(FolderEntries(roFolder), std::vector<std::string>{"opencpn.ini"});
    EXPECT_EQ(FolderEntries(rwFolder), std::vector<std::string>{"opencpn.ini"});
}
