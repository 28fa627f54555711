// The serial component on real Windows COM ports: simulated instruments of the host, which the test
// fixture of the build (tools/windows/wine-sim-ports.sh, run by ctest on the host) makes COM ports of the
// Wine prefix. SONDRAL_SIM_PORTS names their numbers, "GPS,AIS,SILENT": a GPS log at 4800 bit/s, AIS
// messages at 38400 bit/s, and a port with nothing attached.
#include "../SerialTestSupport.h"
#include "../../platform/SystemUnderTest.h"

#include "platform/Comm.h"
#include "platform/Handles.h"
#include "serial/SerPortNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using namespace serial;
using namespace serial_test;
using namespace std::chrono_literals;

namespace {

constexpr const char* kWineRxFlag =
    "needs real Windows: Wine's serial driver does not handle EV_RXFLAG (\"fixme:comm:wait_on EV_RXFLAG not "
    "handled\") and completes WaitCommEvent on any received byte with an empty event mask";

// The port numbers of SONDRAL_SIM_PORTS; empty when it is not set or not three numbers.
std::vector<int> SimPorts()
{
    const char* value = std::getenv("SONDRAL_SIM_PORTS");
    std::vector<int> ports;
    std::stringstream list(value == nullptr ? "" : value);
    for (std::string item; std::getline(list, item, ',');)
        if (const int port = std::atoi(item.c_str()); port > 0)
            ports.push_back(port);
    return ports.size() == 3 ? ports : std::vector<int>{};
}

class SimulatedPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::vector<int> ports = SimPorts();
        if (ports.empty())
            GTEST_SKIP() << "needs the simulated instruments on COM ports that the ctest fixture "
                            "serial_sim_ports sets up (SONDRAL_SIM_PORTS)";
        gps = ports[0];
        ais = ports[1];
        silent = ports[2];
    }

    // A component on port at rate that monitors no events: the test reads the driver's queue itself.
    static void ConfigurePolled(TSerComm& c, int port, int rate)
    {
        c.SetPortNum(port);
        c.SetMonitorEvents({});
        c.SetUserBaudrate(rate);
    }

    // What the port receives within the time, read from the driver's queue.
    static std::string Receive(TSerComm& c, size_t want, std::chrono::milliseconds time)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + time;
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            if (!c.WaitChar(100))
                continue;
            got += c.ReadText();
        }
        return got;
    }

    // Discards what the line carried before the rate now set: the simulator may have sent at the old rate
    // until it saw the new one (it looks every 10 ms, and sends at most a quarter second's bytes at once).
    static void DiscardTheOldRatesBytes(TSerComm& c)
    {
        PumpFor(100ms);
        c.PurgeRead();
    }

    // The rate the driver reports for the open port (GetCommState).
    static platform::DWORD DriverRate(const TSerComm& c)
    {
        platform::DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        EXPECT_TRUE(platform::GetCommState(c.Handle(), &dcb));
        return dcb.BaudRate;
    }

    static std::string Name(int port) { return "COM" + std::to_string(port); }

    int gps = 0, ais = 0, silent = 0;
};

// Complete sentences with their checksums: what a line at the right rate carries.
bool HasSentence(const std::string& bytes, const std::string& start)
{
    const std::regex sentence("\\" + start + "[^\\r\\n*]*\\*[0-9A-F]{2}\\r\\n");
    return std::regex_search(bytes, sentence);
}

} // namespace

TEST_F(SimulatedPort, OpensClosesAndOpensAgain)
{
    TSerComm c;
    ConfigureAsDialog(c, gps, 4800);
    int opens = 0, closes = 0;
    c.OnOpen = [&](TSerCustomComm&) { ++opens; };
    c.OnClose = [&](TSerCustomComm&) { ++closes; };
    c.Open();
    ASSERT_TRUE(c.Active());
    EXPECT_NE(c.Handle(), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(CommErrorOf([&] { c.Open(); }), "Can't perform this operation while port is open");
    c.Close();
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.Handle(), platform::INVALID_HANDLE_VALUE);
    c.Open();
    EXPECT_TRUE(c.Active());
    c.Close();
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(closes, 2);
}

TEST_F(SimulatedPort, TheRegistryDeviceMapListsThePorts)
{
    std::vector<platform::Text> names;
    GetComPortNames(names);
    for (int port : {gps, ais, silent})
        EXPECT_NE(std::find(names.begin(), names.end(), platform::Utf8ToText(Name(port))), names.end())
            << Name(port) << " not listed";
    // Each name once, although the simulator's ports are also Wine's own serial ports.
    std::vector<platform::Text> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

// The instrument sends its sentences only while the line runs at its rate; at another rate the
// simulator sends what a UART would receive then: bytes without sentences.
TEST_F(SimulatedPort, SentencesArriveAtTheInstrumentsRateOnly)
{
    const struct {
        int port;
        int rate;
        const char* start;
        bool sentences;
    } cases[] = {
        {gps, 4800, "$GP", true},
        {gps, 38400, "$GP", false},
        {ais, 38400, "!AIVDM", true},
        {ais, 4800, "!AIVDM", false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(Name(k.port) + " at " + std::to_string(k.rate));
        TSerComm c;
        ConfigurePolled(c, k.port, k.rate);
        c.Open();
        ASSERT_TRUE(c.Active());
        EXPECT_EQ(DriverRate(c), static_cast<platform::DWORD>(k.rate));
        DiscardTheOldRatesBytes(c);
        const std::string got = Receive(c, 600, 6s);
        EXPECT_GE(got.size(), 100u) << "the simulator sends at every rate";
        EXPECT_EQ(HasSentence(got, k.start), k.sentences) << got.substr(0, 200);
        c.Close();
    }
}

TEST_F(SimulatedPort, ARateSetWhileOpenReachesTheDriver)
{
    TSerComm c;
    ConfigurePolled(c, gps, 38400);
    c.Open();
    ASSERT_EQ(DriverRate(c), 38400u);
    c.SetUserBaudrate(4800);
    EXPECT_EQ(DriverRate(c), 4800u);
    DiscardTheOldRatesBytes(c);
    EXPECT_TRUE(HasSentence(Receive(c, 600, 6s), "$GP"));
}

TEST_F(SimulatedPort, NothingArrivesFromAPortWithNothingAttached)
{
    TSerComm c;
    ConfigurePolled(c, silent, 4800);
    c.Open();
    ASSERT_TRUE(c.Active());
    EXPECT_FALSE(c.WaitChar(500));
    EXPECT_EQ(c.ReadBufUsed(), 0);
    EXPECT_EQ(c.GetComStatus().Errors, 0u);
}

// A read of an empty queue returns nothing: at once (the port's time-outs let ReadFile return what is
// queued), or where the read goes pending, after the read time-out, when the component aborts it with
// PurgeComm and waits for the driver to complete the record.
TEST_F(SimulatedPort, AReadOfAnEmptyQueueEndsAfterTheReadTimeout)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "needs real Windows: Wine's PurgeComm(PURGE_RXABORT) does not end a pending overlapped "
                        "ReadFile, so the read's completion is never signalled";
    TSerComm c;
    ConfigurePolled(c, silent, 4800);
    c.Buffers().SetReadTimeout(200);
    c.Open();
    ASSERT_TRUE(c.Active());
    char buffer[16];
    EXPECT_EQ(c.ReadBuf(buffer, sizeof buffer), 0);
    EXPECT_TRUE(c.Active());
}

TEST_F(SimulatedPort, PurgeDiscardsWhatIsQueued)
{
    TSerComm c;
    ConfigurePolled(c, gps, 4800);
    c.Open();
    ASSERT_TRUE(c.Active());
    // 4800 bit/s carry 480 bytes a second: wait until a good part of a second is queued.
    ASSERT_TRUE(PumpUntil([&] { return c.ReadBufUsed() >= 400; }, 10s)) << c.ReadBufUsed();
    const int before = c.ReadBufUsed();
    c.PurgeRead();
    EXPECT_LT(c.ReadBufUsed(), before / 2);
}

// ceRxChar: the event thread waits with WaitCommEvent on an OVERLAPPED and reads what arrived.
TEST_F(SimulatedPort, ReceivedCharactersRaiseTheRxCharEvent)
{
    TSerComm c;
    ConfigurePolled(c, ais, 38400);
    c.SetMonitorEvents({TSerCommEvent::ceRxChar});
    std::string got;
    c.OnRxChar = [&](TSerCustomComm& s, int count) {
        EXPECT_GT(count, 0);
        got += s.ReadText();
    };
    c.Open();
    ASSERT_TRUE(c.Active());
    EXPECT_TRUE(PumpUntil([&] { return HasSentence(got, "!AIVDM"); }, 10s)) << got.substr(0, 200);
    c.Close();
}

// The dialog's way of receiving: only ceRxFlag, one event for each line feed.
TEST_F(SimulatedPort, EachLineFeedRaisesTheRxFlagEvent)
{
    if (RunningUnderWine())
        GTEST_SKIP() << kWineRxFlag;
    TSerComm c;
    ConfigureAsDialog(c, gps, 4800);
    int flags = 0;
    std::string got;
    c.OnRxFlag = [&](TSerCustomComm& s) {
        ++flags;
        got += s.ReadText();
    };
    c.Open();
    ASSERT_TRUE(PumpUntil([&] { return flags >= 3; }, 10s));
    c.Close();
    EXPECT_TRUE(HasSentence(got, "$GP")) << got.substr(0, 200);
}

TEST_F(SimulatedPort, AMissingPortGivesTheNotFoundMessage)
{
    for (int port : {97, 0}) {
        TSerComm c;
        c.SetPortNum(port);
        EXPECT_EQ(CommErrorOf([&] { c.Open(); }),
                  "Specified device not found (\\\\.\\COM" + std::to_string(port) + ").");
        EXPECT_FALSE(c.Active());
    }
}

TEST_F(SimulatedPort, ASecondOpenOfAnOpenPortIsRefused)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "needs real Windows: Wine lets a second CreateFileW open a COM port that is open";
    TSerComm first;
    ConfigureAsDialog(first, gps, 4800);
    first.Open();
    ASSERT_TRUE(first.Active());
    TSerComm second;
    ConfigureAsDialog(second, gps, 4800);
    EXPECT_EQ(CommErrorOf([&] { second.Open(); }),
              "Can't open specified device \\\\.\\" + Name(gps) + " (Error 5, Access is denied)");
    EXPECT_FALSE(second.Active());
}

// Runs only as the fixture's helper (tools/windows/wine-sim-ports.sh): a Wine process that lives while the
// file SONDRAL_HOLD_WHILE exists, so that the Wine server does not end between the tests. Its registry
// key HARDWARE, where the simulator ports are listed, is volatile and would go with it.
TEST(WineSessionHolder, HoldWhileTheFileExists)
{
    const char* file = std::getenv("SONDRAL_HOLD_WHILE");
    if (file == nullptr)
        GTEST_SKIP() << "runs only as the helper process of the ctest fixture serial_sim_ports";
    // At most an hour: a fixture whose cleanup never ran must not leave it behind for good.
    for (int k = 0; k < 36000 && std::filesystem::exists(file); ++k)
        platform::Sleep(100);
}
