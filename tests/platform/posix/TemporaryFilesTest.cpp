// Temporary files of replaced files: which ones the next write removes (those whose writer is gone) and which
// it leaves (a writer at work, a young file of a running process, names of other patterns), and two writers
// at once in separate processes.
#include "platform/IniFile.h"
#include "platform/TemporaryFiles.h"
#include "platform/posix/TemporaryFileCreate.h"

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

using namespace platform;

namespace {

std::set<std::string> Entries(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

void Touch(const std::string& path, int ageSeconds)
{
    WriteBytes(path, "partial");
    const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(ageSeconds);
    std::filesystem::last_write_time(path, when);
}

} // namespace

TEST(TemporaryFiles, TheNextWriteRemovesOnlyThoseWhoseWriterIsGone)
{
    TempFolder dir;
    const std::string ini = dir.File("opencpn.ini");
    WriteBytes(ini, "[Settings/NMEADataSource]\nDataConnections=\n");
    const std::string dead = std::to_string(support::EndedProcess());
    const std::string own = std::to_string(::getpid());

    // A writer at work in another process: its file is locked.
    support::ChildProcess writer([&](support::ChildProcess& self) {
        std::string name;
        const int fd = CreateTemporaryFile(ini, name);
        if (fd < 0)
            return 1;
        self.Tell('c');
        self.Hear();
        ::unlink(name.c_str());
        ::close(fd);
        return 0;
    });
    ASSERT_EQ(writer.WaitFor(), 'c');

    struct Case {
        std::string name;
        int ageSeconds;
        bool removed;
    };
    const Case cases[] = {
        {"opencpn.ini.tmp" + dead + "-0", 0, true},          // writer gone
        {"opencpn.ini.tmp" + dead + "-17", 3600, true},       // writer gone long ago
        {"opencpn.ini.tmp" + own + "-999", 0, false},         // a running process may not have locked it yet
        {"opencpn.ini.tmp" + own + "-998", 120, true},        // unlocked and old: the number was taken again
        {"opencpn.ini.tmpl", 3600, false},                    // other names
        {"opencpn.ini.tmp" + dead, 3600, false},
        {"opencpn.ini.tmp-" + dead, 3600, false},
        {"opencpn.ini.tmp" + dead + "-1x", 3600, false},
        {"other.ini.tmp" + dead + "-0", 3600, false},
        {"opencpn.ini.bak", 3600, false},
    };
    for (const Case& c : cases)
        Touch(dir.File(c.name), c.ageSeconds);
    const std::string folderOfThePattern = "opencpn.ini.tmp" + dead + "-2"; // not a file: left alone
    std::filesystem::create_directory(dir.File(folderOfThePattern));

    const std::set<std::string> before = Entries(dir.Path());
    std::string atWork;
    for (const std::string& name : before)
        if (name.rfind("opencpn.ini.tmp" + std::to_string(writer.Pid()) + "-", 0) == 0)
            atWork = name;
    ASSERT_FALSE(atWork.empty());

    TIniFile(ini).WriteString(u"Settings/NMEADataSource", u"DataConnections", u"x");

    std::set<std::string> expected = before;
    for (const Case& c : cases)
        if (c.removed)
            expected.erase(c.name);
    EXPECT_EQ(Entries(dir.Path()), expected);
    EXPECT_EQ(TIniFile(ini).ReadString(u"Settings/NMEADataSource", u"DataConnections", u""), u"x");

    writer.Send('d');
    EXPECT_EQ(writer.Join(), 0);
}

TEST(TemporaryFiles, TwoWritersAtOnceLeaveOneWholeVersionAndNoTemporary)
{
    TempFolder dir;
    const std::string ini = dir.File("opencpn.ini");
    WriteBytes(ini, "; kept\n[Settings/NMEADataSource]\nDataConnections=\n");
    const auto writer = [&](const char16_t* value) {
        return [&ini, value](support::ChildProcess& self) {
            if (self.Hear() != 'g')
                return 10;
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
            int writes = 0;
            while (std::chrono::steady_clock::now() < end || writes < 20) {
                TIniFile(ini).WriteString(u"Settings/NMEADataSource", u"DataConnections", value);
                ++writes;
            }
            return 0;
        };
    };
    support::ChildProcess a(writer(u"COM1"));
    support::ChildProcess b(writer(u"COM2"));
    a.Send('g');
    b.Send('g');
    EXPECT_EQ(a.Join(), 0) << "98: a write failed";
    EXPECT_EQ(b.Join(), 0) << "98: a write failed";
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"opencpn.ini"});
    const std::string now = ReadBytes(ini);
    EXPECT_TRUE(now == "; kept\n[Settings/NMEADataSource]\nDataConnections=COM1\n" ||
                now == "; kept\n[Settings/NMEADataSource]\nDataConnections=COM2\n")
        << now;
}
