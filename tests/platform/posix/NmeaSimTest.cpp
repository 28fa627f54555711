// nmea-sim end to end: a separate process with pseudo-terminals, opened through its device map.
#include "PtyFixture.h"

#include "platform/Comm.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace platform;
using testing_pty::TempDir;
using testing_pty::U16;

namespace {

const std::string kLog = SONDRAL_FIXTURES "/nmea/GPSmap-76S.log";

std::set<std::string> LogSentences()
{
    std::set<std::string> sentences;
    std::ifstream in(kLog);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            sentences.insert(line);
    }
    return sentences;
}

class NmeaSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        map_ = dir_.Path() + "/com.map";
        const std::string tool = SONDRAL_BINARY_DIR "/tools/nmea-sim";
        std::vector<std::string> args = {tool, "--map", map_, "COM1:4800:" + kLog, "COM2:silent"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&pid_, tool.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        for (int i = 0; i < 500 && !std::filesystem::exists(map_); ++i)
            Sleep(10);
        ASSERT_TRUE(std::filesystem::exists(map_));
        ::setenv("SONDRAL_COM_MAP", map_.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("SONDRAL_COM_MAP");
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_FALSE(std::filesystem::exists(map_)); // removed on exit
        }
    }

    static HANDLE OpenAt(const char* name, DWORD rate)
    {
        const HANDLE h = CreateFileW(U16(name), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = 0xFFFFFFFFu;
        SetCommTimeouts(h, &t);
        SetRate(h, rate);
        return h;
    }
    static void SetRate(HANDLE h, DWORD rate)
    {
        DCB dcb;
        GetCommState(h, &dcb);
        dcb.BaudRate = rate;
        dcb.EvtChar = '\n';
        EXPECT_TRUE(SetCommState(h, &dcb));
        EXPECT_TRUE(PurgeComm(h, PURGE_RXCLEAR)); // drop what came at the old rate
    }
    // Everything received within ms milliseconds.
    static std::string Collect(HANDLE h, DWORD ms)
    {
        std::string got;
        const DWORD start = GetTickCount();
        char buf[512];
        while (GetTickCount() - start < ms) {
            OVERLAPPED ov;
            DWORD n = 0;
            EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, &ov));
            got.append(buf, n);
            Sleep(10);
        }
        return got;
    }

    TempDir dir_;
    std::string map_;
    pid_t pid_ = -1;
};

TEST_F(NmeaSimTest, SendsTheLogAtItsRateAndNoiseAtAnyOther)
{
    const HANDLE com1 = OpenAt("\\\\.\\COM1", 4800);
    // The line carries 480 bytes per second: within 1.5 s at least one whole sentence arrives.
    const std::string text = Collect(com1, 1500);
    EXPECT_GT(text.size(), 300u);
    EXPECT_LT(text.size(), 900u);
    const auto sentences = LogSentences();
    size_t whole = 0;
    size_t lineStart = text.find("\r\n");
    while (lineStart != std::string::npos) {
        const size_t next = text.find("\r\n", lineStart + 2);
        if (next == std::string::npos)
            break;
        const std::string line = text.substr(lineStart + 2, next - lineStart - 2);
        EXPECT_TRUE(sentences.count(line)) << line;
        ++whole;
        lineStart = next;
    }
    EXPECT_GE(whole, 1u);

    SetRate(com1, 9600);
    const std::string noise = Collect(com1, 500);
    EXPECT_GT(noise.size(), 200u); // about 960 bytes per second
    for (const std::string& s : sentences)
        EXPECT_EQ(noise.find(s), std::string::npos);
    EXPECT_TRUE(CloseHandle(com1));

    const HANDLE com2 = OpenAt("COM2", 4800);
    EXPECT_EQ(Collect(com2, 200), "");
    EXPECT_TRUE(CloseHandle(com2));
}

TEST(NmeaSimUsageTest, RejectsBadInstruments)
{
    const std::string tool = SONDRAL_BINARY_DIR "/tools/nmea-sim";
    for (const char* bad : {"COM1", "COM1:fast:x.log", "LPT1:silent", "COM1:4800:/no/such/file"}) {
        std::vector<std::string> args = {tool, "--map", "/tmp/never-written.map", bad};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
    }
}

} // namespace
