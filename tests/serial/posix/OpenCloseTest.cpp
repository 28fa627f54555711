// Opening and closing a real pseudo-terminal: the order of Open, its failures with their messages,
// the setter rules while open, and the line configuration as the other side of the line sees it.
// POSIX only: the test reads the line settings on the pseudo-terminal's master side and holds a port from a
// spawned child; on Windows win32/SimulatedPortTest.cpp opens real COM ports.
#include "PortFixture.h"

#include "serial/SerExceptionReport.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace serial;
using namespace serial_test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kHoldMarker = "HOLDING-PORT";

// Another process that holds a port open through the component until its standard input closes.
class PortHolder {
public:
    explicit PortHolder(int port)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string portEnv = "SONDRAL_TEST_HOLD_PORT=" + std::to_string(port);
        std::vector<char*> env;
        for (char** e = environ; *e != nullptr; ++e)
            env.push_back(*e);
        env.push_back(const_cast<char*>(portEnv.c_str()));
        env.push_back(nullptr);
        char arg0[] = "test_serial";
        char arg1[] = "--gtest_filter=SerialHelper.HoldPort";
        char* argv[] = {arg0, arg1, nullptr};
        const int rc = posix_spawn(&pid_, "/proc/self/exe", &actions, nullptr, argv, env.data());
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
        if (rc != 0)
            throw std::runtime_error("posix_spawn failed");
    }
    ~PortHolder()
    {
        close(toChild_);
        close(fromChild_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    // Reads the child's output until it reports that it holds the port.
    bool WaitHolding()
    {
        std::string seen;
        char buf[256];
        for (;;) {
            const ssize_t n = read(fromChild_, buf, sizeof buf);
            if (n <= 0)
                return false;
            seen.append(buf, static_cast<size_t>(n));
            if (seen.find(kHoldMarker) != std::string::npos)
                return true;
        }
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
};

} // namespace

// Runs only as the child of PortHolder.
TEST(SerialHelper, HoldPort)
{
    const char* port = std::getenv("SONDRAL_TEST_HOLD_PORT");
    if (port == nullptr)
        GTEST_SKIP() << "runs only as the helper process of the busy-port test";
    TSerComm c;
    c.SetPortNum(std::atoi(port));
    c.SetMonitorEvents({});
    c.Open();
    ASSERT_TRUE(c.Active());
    const std::string line = std::string(kHoldMarker) + "\n";
    ASSERT_EQ(write(1, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    char b;
    while (read(0, &b, 1) > 0) {
    }
    c.Close();
}

using SerCommOpen = PortFixture;

TEST_F(SerCommOpen, OpensAndClosesARealPort)
{
    TSerComm c;
    ConfigureAsDialog(c);
    int opens = 0, closes = 0;
    c.OnOpen = [&](TSerCustomComm& s) {
        EXPECT_TRUE(s.Active());
        ++opens;
    };
    c.OnClose = [&](TSerCustomComm& s) {
        EXPECT_FALSE(s.Active());
        ++closes;
    };
    c.Open();
    EXPECT_TRUE(c.Active());
    EXPECT_NE(c.Handle(), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(opens, 1);

    // Open on an open port is refused and leaves it open.
    EXPECT_EQ(CommErrorOf([&] { c.Open(); }), "Can't perform this operation while port is open");
    EXPECT_TRUE(c.Active());

    const auto start = Clock::now();
    c.Close();
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(closes, 1);

    // A closed port closes at once, without the pause and without OnClose.
    const auto again = Clock::now();
    c.Close();
    EXPECT_LT(Clock::now() - again, std::chrono::milliseconds(250));
    EXPECT_EQ(closes, 1);

    // And it can be opened again.
    c.Open();
    EXPECT_TRUE(c.Active());
}

TEST_F(SerCommOpen, MissingDeviceGivesTheNotFoundMessage)
{
    for (int port : {7, 0}) {
        TSerComm c;
        c.SetPortNum(port);
        EXPECT_EQ(CommErrorOf([&] { c.Open(); }),
                  "Specified device not found (\\\\.\\COM" + std::to_string(port) + ").");
        EXPECT_FALSE(c.Active());
    }
}

TEST_F(SerCommOpen, PortHeldByAnotherProcessGivesAccessDenied)
{
    PortHolder holder(1);
    ASSERT_TRUE(holder.WaitHolding());
    TSerComm c;
    ConfigureAsDialog(c);
    EXPECT_EQ(CommErrorOf([&] { c.Open(); }),
              "Can't open specified device \\\\.\\COM1 (Error 5, Access is denied)");
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.UserBaudrate(), 4800); // properties keep their values
}

TEST_F(SerCommOpen, ErrorHandlerOfADescendantAbsorbsFailures)
{
    AbsorbingComm c;
    c.SetPortNum(9);
    EXPECT_NO_THROW(c.Open());
    EXPECT_FALSE(c.Active());
    ASSERT_EQ(c.codes.size(), 1u);
    EXPECT_EQ(c.codes[0], 2);
    EXPECT_EQ(c.texts[0], "The system cannot find the file specified"); // trailing full stop trimmed

    // A refused setter stores nothing even when the error is absorbed.
    c.SetPortNum(1);
    c.Open();
    ASSERT_TRUE(c.Active());
    c.SetPortNum(4);
    EXPECT_EQ(c.PortNum(), 1);
    EXPECT_EQ(c.codes.size(), 2u);
}

TEST_F(SerCommOpen, ExceptionOfOnOpenIsReportedAndOpenSucceeds)
{
    std::vector<std::string> reported;
    SetExceptionHandler([&](const std::exception& e) { reported.push_back(e.what()); });
    TSerComm c;
    ConfigureAsDialog(c);
    c.OnOpen = [](TSerCustomComm&) { throw ESerCommError("handler failed"); };
    EXPECT_NO_THROW(c.Open());
    SetExceptionHandler(nullptr);
    EXPECT_TRUE(c.Active());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "handler failed");
}

TEST_F(SerCommOpen, SetterTableWhileOpen)
{
    struct Case {
        const char* name;
        std::function<void(TSerComm&)> change;
        bool refused;
        std::function<bool(const TSerComm&)> changed;
    };
    TSerBuffers otherBuffers;
    otherBuffers.SetReadSize(512);
    TSerFlowControl otherFlow;
    otherFlow.SetXonXoffOut(true);
    TSettingsStore otherStore;
    otherStore.SetSection(u"S");
    const std::vector<Case> cases = {
        {"PortNum", [](TSerComm& c) { c.SetPortNum(2); }, true, [](const TSerComm& c) { return c.PortNum() != 1; }},
        {"DeviceName", [](TSerComm& c) { c.SetDeviceName(u"TTY%d"); }, true,
         [](const TSerComm& c) { return c.DeviceName() != u"COM%d"; }},
        {"MonitorEvents", [](TSerComm& c) { c.SetMonitorEvents({TSerCommEvent::ceRxChar}); }, true,
         [](const TSerComm& c) { return !c.MonitorEvents().Contains(TSerCommEvent::ceRxFlag); }},
        {"DirectWrite", [](TSerComm& c) { c.SetDirectWrite(true); }, true,
         [](const TSerComm& c) { return c.DirectWrite(); }},
        {"UpdateDCB", [](TSerComm& c) { c.SetUpdateDCB(false); }, true,
         [](const TSerComm& c) { return !c.UpdateDCB(); }},
        {"Buffers", [&](TSerComm& c) { c.SetBuffers(otherBuffers); }, true,
         [](const TSerComm& c) { return c.Buffers().ReadSize() != 4096; }},
        {"ReadSize", [](TSerComm& c) { c.Buffers().SetReadSize(100); }, true,
         [](const TSerComm& c) { return c.Buffers().ReadSize() != 4096; }},
        {"WriteSize", [](TSerComm& c) { c.Buffers().SetWriteSize(100); }, true,
         [](const TSerComm& c) { return c.Buffers().WriteSize() != 2048; }},
        {"XonLimit", [](TSerComm& c) { c.Buffers().SetXonLimit(10); }, true,
         [](const TSerComm& c) { return c.Buffers().XonLimit() != 1024; }},
        {"XoffLimit", [](TSerComm& c) { c.Buffers().SetXoffLimit(10); }, true,
         [](const TSerComm& c) { return c.Buffers().XoffLimit() != 1024; }},
        {"ReadSize unchanged", [](TSerComm& c) { c.Buffers().SetReadSize(4096); }, false,
         [](const TSerComm& c) { return c.Buffers().ReadSize() == 4096; }},
        {"ReadTimeout", [](TSerComm& c) { c.Buffers().SetReadTimeout(50); }, false,
         [](const TSerComm& c) { return c.Buffers().ReadTimeout() == 50; }},
        {"WriteTimeout", [](TSerComm& c) { c.Buffers().SetWriteTimeout(60); }, false,
         [](const TSerComm& c) { return c.Buffers().WriteTimeout() == 60; }},
        {"Baudrate", [](TSerComm& c) { c.SetBaudrate(TSerBaudrate::br9600); }, false,
         [](const TSerComm& c) { return c.Baudrate() == TSerBaudrate::br9600 && c.UserBaudrate() == 0; }},
        {"UserBaudrate", [](TSerComm& c) { c.SetUserBaudrate(14400); }, false,
         [](const TSerComm& c) { return c.UserBaudrate() == 14400; }},
        {"Parity", [](TSerComm& c) { c.SetParity(TSerParity::paEven); }, false,
         [](const TSerComm& c) { return c.Parity() == TSerParity::paEven; }},
        {"Databits", [](TSerComm& c) { c.SetDatabits(TSerDatabits::db7); }, false,
         [](const TSerComm& c) { return c.Databits() == TSerDatabits::db7; }},
        {"Stopbits", [](TSerComm& c) { c.SetStopbits(TSerStopbits::sb2); }, false,
         [](const TSerComm& c) { return c.Stopbits() == TSerStopbits::sb2; }},
        {"Options", [](TSerComm& c) { c.SetOptions({TSerCommOption::coParityCheck}); }, false,
         [](const TSerComm& c) { return c.Options().Contains(TSerCommOption::coParityCheck); }},
        {"EventChars member", [](TSerComm& c) { c.EventChars().SetEventChar('*'); }, false,
         [](const TSerComm& c) { return c.EventChars().EventChar() == '*'; }},
        {"FlowControl", [&](TSerComm& c) { c.SetFlowControl(otherFlow); }, false,
         [](const TSerComm& c) { return c.FlowControl().XonXoffOut(); }},
        {"EventPriority", [](TSerComm& c) { c.SetEventPriority(TThreadPriority::tpLower); }, false,
         [](const TSerComm& c) { return c.EventPriority() == TThreadPriority::tpLower; }},
        {"WritePriority", [](TSerComm& c) { c.SetWritePriority(TThreadPriority::tpNormal); }, false,
         [](const TSerComm& c) { return c.WritePriority() == TThreadPriority::tpNormal; }},
        {"SyncThreads", [](TSerComm& c) { c.SetSyncThreads(false); }, false,
         [](const TSerComm& c) { return !c.SyncThreads(); }},
        {"AutoOpen", [](TSerComm& c) { c.SetAutoOpen(true); }, false, [](const TSerComm& c) { return c.AutoOpen(); }},
        {"SettingsStore", [&](TSerComm& c) { c.SetSettingsStore(otherStore); }, false,
         [](const TSerComm& c) { return c.SettingsStore().Section() == u"S"; }},
    };
    TSerComm c;
    ConfigureAsDialog(c);
    c.Open();
    ASSERT_TRUE(c.Active());
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        if (k.refused) {
            EXPECT_EQ(CommErrorOf([&] { k.change(c); }), "Can't perform this operation while port is open");
            EXPECT_FALSE(k.changed(c));
        } else {
            EXPECT_NO_THROW(k.change(c));
            EXPECT_TRUE(k.changed(c));
        }
        EXPECT_TRUE(c.Active());
    }
    c.Close();
    // While closed every change is stored.
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        k.change(c);
        EXPECT_TRUE(k.changed(c));
    }
}

TEST_F(SerCommOpen, LineSettingsReachTheOtherSide)
{
    TSerComm c;
    ConfigureAsDialog(c, 4800);
    c.Open();
    PtyPair::Line line = pty.Settings();
    EXPECT_EQ(line.ospeed, 4800u);
    EXPECT_EQ(line.ispeed, 4800u);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_FALSE(line.parity);
    EXPECT_FALSE(line.twoStopBits);

    c.SetBaudrate(TSerBaudrate::br19200);
    EXPECT_EQ(pty.Settings().ospeed, 19200u);
    c.SetUserBaudrate(14400); // not a termios constant
    EXPECT_EQ(pty.Settings().ospeed, 14400u);
    c.SetParity(TSerParity::paOdd);
    c.SetStopbits(TSerStopbits::sb2);
    c.SetDatabits(TSerDatabits::db7);
    line = pty.Settings();
    EXPECT_TRUE(line.oddParity);
    EXPECT_TRUE(line.twoStopBits);
    // A pseudo-terminal forces 8 data bits without parity; the driver keeps what was set.
    platform::DCB dcb;
    ASSERT_TRUE(platform::GetCommState(c.Handle(), &dcb));
    EXPECT_EQ(dcb.Parity, 1);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.StopBits, 2);
    c.Close();

    // Without UpdateDCB, Open leaves the line as it was.
    TSerComm d;
    ConfigureAsDialog(d, 38400);
    d.SetUpdateDCB(false);
    d.Open();
    EXPECT_EQ(pty.Settings().ospeed, 14400u);
    d.SetBaudrate(TSerBaudrate::br57600);
    EXPECT_EQ(pty.Settings().ospeed, 14400u);
}

TEST_F(SerCommOpen, ConfigurationIsWrittenBitByBit)
{
    struct Case {
        const char* name;
        std::function<void(TSerFlowControl&)> flow;
        TSerCommOptions options;
        uint32_t flags;
    } cases[] = {
        {"none", [](TSerFlowControl&) {}, {}, 0x0001},
        {"dtr enabled, rts enabled", [](TSerFlowControl& f) {
             f.SetControlDtr(TSerControlDtr::dtrEnabled);
             f.SetControlRts(TSerControlRts::rtsEnabled);
         }, {}, 0x0001 | (1u << 4) | (1u << 12)},
        {"xon/xoff", [](TSerFlowControl& f) {
             f.SetXonXoffOut(true);
             f.SetXonXoffIn(true);
             f.SetTxContinueOnXoff(true);
         }, {}, 0x0001 | (1u << 7) | (1u << 8) | (1u << 9)},
        {"options", [](TSerFlowControl& f) { f.SetDsrSensitivity(true); },
         {TSerCommOption::coErrorChar, TSerCommOption::coNullStrip, TSerCommOption::coParityCheck},
         0x0001 | (1u << 1) | (1u << 6) | (1u << 10) | (1u << 11)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TSerComm c;
        ConfigureAsDialog(c, 9600);
        k.flow(c.FlowControl());
        c.SetOptions(k.options);
        c.Buffers().SetXonLimit(0x12345);
        c.Buffers().SetXoffLimit(300);
        c.EventChars().SetErrorChar('?');
        c.Open();
        platform::DCB dcb;
        ASSERT_TRUE(platform::GetCommState(c.Handle(), &dcb));
        EXPECT_EQ(dcb.BaudRate, 9600u);
        EXPECT_EQ(dcb.Flags, k.flags);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, 0);
        EXPECT_EQ(dcb.StopBits, 0);
        EXPECT_EQ(dcb.EvtChar, '\n');
        EXPECT_EQ(dcb.EofChar, '\n');
        EXPECT_EQ(dcb.ErrorChar, '?');
        EXPECT_EQ(dcb.XonChar, 17);
        EXPECT_EQ(dcb.XoffChar, 19);
        EXPECT_EQ(dcb.XonLim, 0x2345); // low 16 bits
        EXPECT_EQ(dcb.XoffLim, 300);
        c.Close();
    }
}

TEST_F(SerCommOpen, ResetPortParametersLoadsTheDefaultConfiguration)
{
    TSerComm c;
    c.SetPortNum(1);
    c.SetUserBaudrate(4800);
    c.ResetPortParameters();
    EXPECT_EQ(c.Baudrate(), TSerBaudrate::br9600);
    EXPECT_EQ(c.UserBaudrate(), 0);
    EXPECT_EQ(c.Databits(), TSerDatabits::db8);
    EXPECT_EQ(c.FlowControl().ControlDtr(), TSerControlDtr::dtrEnabled);
    EXPECT_EQ(c.FlowControl().ControlRts(), TSerControlRts::rtsEnabled);
    EXPECT_EQ(c.Buffers().XonLimit(), 2048);
    EXPECT_EQ(c.Buffers().XoffLimit(), 512);

    // On an open port the differing limits are refused, as every change of Buffers is.
    TSerComm open;
    ConfigureAsDialog(open);
    open.Open();
    EXPECT_NO_THROW(open.Properties());
    EXPECT_EQ(CommErrorOf([&] { open.ResetPortParameters(); }), "Can't perform this operation while port is open");

    TSerComm missing;
    missing.SetPortNum(8);
    EXPECT_EQ(CommErrorOf([&] { missing.ResetPortParameters(); }), "Error reading default port parameters.");
}
