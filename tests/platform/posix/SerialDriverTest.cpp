// The serial driver on real pseudo-terminals: the test plays the instrument on the master side.
#include "PtyFixture.h"

#include "platform/Comm.h"
#include "platform/posix/SerialLine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace platform;
using testing_pty::MapFile;
using testing_pty::Pty;
using testing_pty::U16;

namespace {

// When started with SONDRAL_OPEN_HELPER=<path>, this program is only a second process that tries to open
// the port: it exits with the error number of CreateFileW (0 when the open succeeded).
const int openHelper = [] {
    if (const char* path = std::getenv("SONDRAL_OPEN_HELPER")) {
        const HANDLE h = CreateFileW(U16(path), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
        ::_exit(h == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError()) : 0);
    }
    return 0;
}();

int OpenFromAnotherProcess(const std::string& path)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    env.push_back("SONDRAL_OPEN_HELPER=" + path);
    std::vector<char*> envp;
    for (std::string& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    char self[] = "/proc/self/exe";
    char* argv[] = {self, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data()) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

HANDLE Open(const char* path)
{
    return CreateFileW(U16(path), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
}

// An event-carrying completion record that closes its event.
struct Overlapped {
    OVERLAPPED ov;
    Overlapped() { ov.hEvent = CreateEventW(true, false); }
    ~Overlapped() { CloseHandle(ov.hEvent); }
    bool Signalled(DWORD ms = 5000) const { return WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0; }
};

// One pseudo-terminal mapped as COM1 and opened through the driver, configured as the component does.
class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port_ = Open("\\\\.\\COM1");
        ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = 0xFFFFFFFFu;
        ASSERT_TRUE(SetCommTimeouts(port_, &t));
        ASSERT_TRUE(SetupComm(port_, 4096, 2048));
        DCB dcb;
        ASSERT_TRUE(GetCommState(port_, &dcb));
        dcb.BaudRate = 4800;
        dcb.ByteSize = 8;
        dcb.Parity = 0;
        dcb.StopBits = 0;
        dcb.Flags = 1;
        dcb.EvtChar = '\n';
        ASSERT_TRUE(SetCommState(port_, &dcb));
    }
    void TearDown() override
    {
        if (port_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(port_));
        }
    }
    // ClearCommError clears the line errors; they are collected in seenErrors_.
    DWORD InQueue()
    {
        DWORD errors = 0;
        COMSTAT stat;
        EXPECT_TRUE(ClearCommError(port_, &errors, &stat));
        seenErrors_ |= errors;
        return stat.cbInQue;
    }
    // Polls the queue until it holds n bytes (the driver thread moves them there).
    bool WaitForQueue(DWORD n)
    {
        for (int i = 0; i < 500; ++i) {
            if (InQueue() >= n)
                return true;
            Sleep(5);
        }
        return false;
    }
    std::string ReadAll() const
    {
        std::string out(8192, '\0');
        Overlapped o;
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(port_, out.data(), static_cast<DWORD>(out.size()), &got, &o.ov));
        out.resize(got);
        return out;
    }

    Pty pty_;
    MapFile map_{{{"COM1", pty_.Slave()}, {"COM2", "/dev/sondral-no-such-node"}}};
    HANDLE port_ = INVALID_HANDLE_VALUE;
    DWORD seenErrors_ = 0;
};

TEST_F(SerialPortTest, OpenIsExclusiveAndNamesResolveThroughTheMap)
{
    EXPECT_EQ(Open("COM9"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("\\\\.\\COM2"), INVALID_HANDLE_VALUE); // in the map, but no node
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(Open("com1"), INVALID_HANDLE_VALUE); // busy in this process
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenFromAnotherProcess("\\\\.\\COM1"), 5); // and from another one, also as root

    ASSERT_TRUE(CloseHandle(port_));
    EXPECT_FALSE(CloseHandle(port_));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OpenFromAnotherProcess("\\\\.\\COM1"), 0); // closed: free again
    port_ = Open("COM1");
    EXPECT_NE(port_, INVALID_HANDLE_VALUE);
}

TEST_F(SerialPortTest, AnOpenStartsWithAnEmptyInputQueue)
{
    // What the far side sent while nobody had the port open waits in the tty; the next open must not read
    // it as if it had just arrived (a scan would take one rate's bytes for the next rate's).
    ASSERT_TRUE(CloseHandle(port_));
    port_ = INVALID_HANDLE_VALUE;
    pty_.Send("$GPGGA,sent while closed*00\r\n");
    port_ = Open("COM1");
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = 0xFFFFFFFFu; // reads return at once with what is queued
    ASSERT_TRUE(SetCommTimeouts(port_, &t));
    Sleep(50);
    EXPECT_EQ(InQueue(), 0u);
    pty_.Send("new\n");
    ASSERT_TRUE(WaitForQueue(4));
    EXPECT_EQ(ReadAll(), "new\n");
}

TEST_F(SerialPortTest, LineSettingsReachTheDeviceAndRoundTrip)
{
    struct Case {
        DWORD rate;
        BYTE size, parity, stop;
    };
    for (const Case c : {Case{14400, 8, 0, 0}, Case{4800, 7, 2, 2}, Case{57600, 8, 1, 0}, Case{31337, 5, 0, 2}}) {
        DCB dcb;
        ASSERT_TRUE(GetCommState(port_, &dcb));
        dcb.BaudRate = c.rate;
        dcb.ByteSize = c.size;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stop;
        dcb.XonLim = 1234;
        dcb.EofChar = 26;
        ASSERT_TRUE(SetCommState(port_, &dcb)) << c.rate;
        uint32_t seen = 0;
        ASSERT_EQ(serial_line::OutputRate(pty_.Master(), seen), 0);
        EXPECT_EQ(seen, c.rate);
        DCB device;
        ASSERT_EQ(serial_line::Describe(pty_.Master(), device), 0);
        DCB back;
        ASSERT_TRUE(GetCommState(port_, &back));
        EXPECT_EQ(device.StopBits, c.stop); // a pseudo-terminal forces 8 data bits without parity
        EXPECT_EQ(back.ByteSize, c.size);
        EXPECT_EQ(back.Parity, c.parity);
        EXPECT_EQ(back.BaudRate, c.rate);
        EXPECT_EQ(back.XonLim, 1234);
        EXPECT_EQ(back.EofChar, 26);
        EXPECT_EQ(back.Flags, dcb.Flags);
    }
    DCB bad;
    ASSERT_TRUE(GetCommState(port_, &bad));
    bad.ByteSize = 4;
    EXPECT_FALSE(SetCommState(port_, &bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SerialPortTest, EventCharacterRaisesRxFlagWithEveryByteStillQueued)
{
    ASSERT_TRUE(SetCommMask(port_, EV_RXFLAG));
    Overlapped o;
    DWORD mask = 0xDEAD;
    ASSERT_FALSE(WaitCommEvent(port_, &mask, &o.ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);

    pty_.Send("$GPGLL,4916.45,N");
    ASSERT_TRUE(WaitForQueue(16));
    EXPECT_FALSE(o.Signalled(50)); // no line feed yet: nothing fires
    pty_.Send(",12311.12,W*31\r\n");
    ASSERT_TRUE(o.Signalled());
    DWORD unused = 0;
    EXPECT_TRUE(GetOverlappedResult(port_, &o.ov, &unused, false));
    EXPECT_EQ(mask, DWORD{EV_RXFLAG});
    ASSERT_TRUE(WaitForQueue(32));
    EXPECT_EQ(InQueue(), 32u);

    // Line feeds that arrive while no wait is outstanding are reported by the next wait, at once.
    pty_.Send("$A\n$B\n");
    ASSERT_TRUE(WaitForQueue(38));
    mask = 0;
    EXPECT_TRUE(WaitCommEvent(port_, &mask, &o.ov));
    EXPECT_EQ(mask, DWORD{EV_RXFLAG});

    EXPECT_EQ(ReadAll(), "$GPGLL,4916.45,N,12311.12,W*31\r\n$A\n$B\n");
    EXPECT_EQ(ReadAll(), ""); // completes at once with nothing queued
}

TEST_F(SerialPortTest, SetCommMaskCompletesThePendingWaitWithMaskZero)
{
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
    Overlapped o;
    DWORD mask = 0xDEAD;
    ASSERT_FALSE(WaitCommEvent(port_, &mask, &o.ov));
    DWORD unused = 0;
    EXPECT_FALSE(GetOverlappedResult(port_, &o.ov, &unused, false));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    ASSERT_TRUE(SetCommMask(port_, EV_RXFLAG));
    ASSERT_TRUE(o.Signalled());
    EXPECT_TRUE(GetOverlappedResult(port_, &o.ov, &unused, true));
    EXPECT_EQ(mask, 0u);

    // A received character outside the new mask does not complete the next wait.
    ASSERT_FALSE(WaitCommEvent(port_, &mask, &o.ov));
    pty_.Send("x");
    ASSERT_TRUE(WaitForQueue(1));
    EXPECT_FALSE(o.Signalled(30));
    ASSERT_TRUE(SetCommMask(port_, 0));
    EXPECT_TRUE(o.Signalled());
}

TEST_F(SerialPortTest, CloseCancelsPendingWaitReadAndWrite)
{
    COMMTIMEOUTS blocking; // all zero: a read waits until it is full
    ASSERT_TRUE(SetCommTimeouts(port_, &blocking));
    ASSERT_TRUE(SetCommMask(port_, EV_RXFLAG));
    Overlapped wait, read, write;
    DWORD mask = 0;
    char buffer[64];
    ASSERT_FALSE(WaitCommEvent(port_, &mask, &wait.ov));
    ASSERT_FALSE(ReadFile(port_, buffer, sizeof buffer, nullptr, &read.ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    // The master does not read, so a large write stays pending once the terminal's buffer is full.
    const std::string big(1 << 20, 'x');
    ASSERT_FALSE(WriteFile(port_, big.data(), static_cast<DWORD>(big.size()), nullptr, &write.ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);

    ASSERT_TRUE(CloseHandle(port_));
    port_ = INVALID_HANDLE_VALUE;
    for (const Overlapped* o : {&wait, &read, &write}) {
        EXPECT_TRUE(o->Signalled(0));
        EXPECT_EQ(o->ov.Internal, uintptr_t{ERROR_OPERATION_ABORTED});
    }
}

TEST_F(SerialPortTest, PendingReadCompletesWhenFullAndPurgeAbortsAndClears)
{
    COMMTIMEOUTS blocking;
    ASSERT_TRUE(SetCommTimeouts(port_, &blocking));
    Overlapped read;
    char buffer[6] = {};
    ASSERT_FALSE(ReadFile(port_, buffer, 6, nullptr, &read.ov));
    pty_.Send("abc");
    EXPECT_FALSE(read.Signalled(30));
    pty_.Send("defgh");
    ASSERT_TRUE(read.Signalled());
    DWORD got = 0;
    EXPECT_TRUE(GetOverlappedResult(port_, &read.ov, &got, false));
    EXPECT_EQ(std::string(buffer, got), "abcdef");
    ASSERT_TRUE(WaitForQueue(2));

    ASSERT_FALSE(ReadFile(port_, buffer, 6, nullptr, &read.ov)); // takes "gh", waits for four more
    ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR));
    EXPECT_TRUE(read.Signalled(0));
    EXPECT_FALSE(GetOverlappedResult(port_, &read.ov, &got, false));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);

    pty_.Send("123");
    ASSERT_TRUE(WaitForQueue(3));
    ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR));
    EXPECT_EQ(InQueue(), 0u);
}

TEST_F(SerialPortTest, OverflowDropsBytesAndReportsRxOver)
{
    ASSERT_TRUE(SetupComm(port_, 16, 16));
    ASSERT_TRUE(SetCommMask(port_, EV_RX80FULL));
    Overlapped o;
    DWORD mask = 0;
    ASSERT_FALSE(WaitCommEvent(port_, &mask, &o.ov));
    pty_.Send("0123456789abcdefOVERFLOW");
    ASSERT_TRUE(o.Signalled());
    EXPECT_EQ(mask, DWORD{EV_RX80FULL});
    for (int i = 0; i < 500 && (seenErrors_ & CE_RXOVER) == 0; ++i)
        Sleep(InQueue() == 0 ? 5 : 1);
    EXPECT_EQ(seenErrors_, DWORD{CE_RXOVER});
    EXPECT_EQ(InQueue(), 16u);
    DWORD errors = 0;
    COMSTAT stat;
    ASSERT_TRUE(ClearCommError(port_, &errors, &stat));
    EXPECT_EQ(errors, 0u); // reading the errors cleared them
    EXPECT_EQ(ReadAll(), "0123456789abcdef");
}

TEST_F(SerialPortTest, WritesReachTheLineAndTxEmptyFollows)
{
    ASSERT_TRUE(SetCommMask(port_, EV_TXEMPTY));
    Overlapped wait, write;
    DWORD mask = 0;
    ASSERT_FALSE(WaitCommEvent(port_, &mask, &wait.ov));
    const std::string line = "$PSND,HELLO*00\r\n";
    DWORD written = 0;
    const BOOL now = WriteFile(port_, line.data(), static_cast<DWORD>(line.size()), &written, &write.ov);
    if (!now) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    }
    ASSERT_TRUE(GetOverlappedResult(port_, &write.ov, &written, true));
    EXPECT_EQ(written, line.size());
    EXPECT_EQ(pty_.Receive(line.size()), line);
    ASSERT_TRUE(wait.Signalled());
    EXPECT_EQ(mask, DWORD{EV_TXEMPTY});

    // More than the terminal holds: the driver thread finishes it while the master drains the line.
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    EXPECT_FALSE(WriteFile(port_, big.data(), static_cast<DWORD>(big.size()), nullptr, &write.ov));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(pty_.Receive(big.size()), big);
    ASSERT_TRUE(GetOverlappedResult(port_, &write.ov, &written, true));
    EXPECT_EQ(written, big.size());
}

TEST_F(SerialPortTest, NullStrippingAndErrorMarksAreUndoneByTheDriver)
{
    DCB dcb;
    ASSERT_TRUE(GetCommState(port_, &dcb));
    dcb.Flags |= 1u << 11; // strip nulls
    ASSERT_TRUE(SetCommState(port_, &dcb));
    pty_.Send(std::string("a\0b\0\0c", 6));
    ASSERT_TRUE(WaitForQueue(3));
    EXPECT_EQ(ReadAll(), "abc");

    // Parity check with error-character replacement marks bytes in the terminal; a literal 0xFF arrives
    // doubled there and must reach the queue once.
    dcb.Flags = 1u | (1u << 1) | (1u << 10);
    dcb.Parity = 2;
    dcb.ErrorChar = '?';
    ASSERT_TRUE(SetCommState(port_, &dcb));
    pty_.Send("\xFFz\xFF");
    ASSERT_TRUE(WaitForQueue(3));
    EXPECT_EQ(ReadAll(), "\xFFz\xFF");
}

TEST_F(SerialPortTest, StatusPropertiesAndLineControlOnATerminalWithoutModemLines)
{
    DWORD status = 0xFF;
    EXPECT_TRUE(GetCommModemStatus(port_, &status));
    EXPECT_EQ(status, 0u);
    for (const DWORD f : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK})
        EXPECT_TRUE(EscapeCommFunction(port_, f)) << f;
    EXPECT_FALSE(EscapeCommFunction(port_, 99));
    COMMPROP prop;
    ASSERT_TRUE(GetCommProperties(port_, &prop));
    EXPECT_EQ(prop.dwCurrentRxQueue, 4096u);
    EXPECT_EQ(prop.dwMaxBaud, 0x10000000u);

    COMMCONFIG config;
    DWORD size = 10;
    EXPECT_FALSE(GetDefaultCommConfigW(u"COM1", &config, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 52u);
    EXPECT_TRUE(GetDefaultCommConfigW(u"COM1", &config, &size));
    EXPECT_EQ(config.dcb.BaudRate, 9600u);
    EXPECT_EQ(config.dcb.ByteSize, 8);
    EXPECT_FALSE(GetDefaultCommConfigW(u"COM2", &config, &size));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(SerialPortTest, HangUpCompletesPendingOperationsWithAnErrorAndLaterCallsFail)
{
    COMMTIMEOUTS blocking; // all zero: a read waits until it is full
    ASSERT_TRUE(SetCommTimeouts(port_, &blocking));
    ASSERT_TRUE(SetCommMask(port_, EV_RXFLAG));
    pty_.Send("ab");
    ASSERT_TRUE(WaitForQueue(2));
    Overlapped wait, read;
    DWORD mask = 0xDEAD;
    char buffer[16];
    ASSERT_FALSE(WaitCommEvent(port_, &mask, &wait.ov));
    ASSERT_FALSE(ReadFile(port_, buffer, sizeof buffer, nullptr, &read.ov)); // takes "ab", waits for more
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);

    pty_.CloseMaster();
    ASSERT_TRUE(wait.Signalled());
    ASSERT_TRUE(read.Signalled());
    DWORD got = 0;
    EXPECT_FALSE(GetOverlappedResult(port_, &wait.ov, &got, false));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(mask, 0u);
    EXPECT_FALSE(GetOverlappedResult(port_, &read.ov, &got, false));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(got, 2u);

    // Every later call fails the same way; closing still works.
    Overlapped o;
    DWORD errors = 0;
    COMSTAT stat;
    DCB dcb;
    DWORD status = 0;
    const std::vector<std::pair<const char*, std::function<BOOL()>>> calls = {
        {"ReadFile", [&] { return ReadFile(port_, buffer, 1, &got, &o.ov); }},
        {"WriteFile", [&] { return WriteFile(port_, "x", 1, &got, &o.ov); }},
        {"WaitCommEvent", [&] { return WaitCommEvent(port_, &mask, &o.ov); }},
        {"ClearCommError", [&] { return ClearCommError(port_, &errors, &stat); }},
        {"SetCommState", [&] { return SetCommState(port_, &dcb); }},
        {"GetCommModemStatus", [&] { return GetCommModemStatus(port_, &status); }},
        {"PurgeComm", [&] { return PurgeComm(port_, PURGE_RXCLEAR); }},
    };
    for (const auto& [name, call] : calls) {
        SetLastError(0);
        EXPECT_FALSE(call()) << name;
        EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE) << name;
    }
    EXPECT_TRUE(CloseHandle(port_));
    port_ = INVALID_HANDLE_VALUE;
}

TEST(SerialDeviceMapTest, MapFileListsItsEntriesInFileOrder)
{
    const MapFile map("# simulated instruments\n\nCOM3=/dev/pts/7\n  COM1 = /dev/ttyUSB0  \r\n"
                      "junk line\nCOM5=\n=/dev/x\n#COM6=/dev/pts/9\nGPS=/dev/ttyACM0\n");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"COM3", "/dev/pts/7"}, {"COM1", "/dev/ttyUSB0"}, {"GPS", "/dev/ttyACM0"}};
    EXPECT_EQ(SerialDeviceMap(), expected);
}

} // namespace
