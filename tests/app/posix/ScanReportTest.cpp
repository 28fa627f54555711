// The program run without a user: --report prints the scan's result in a fixed format.
// POSIX only: instruments of nmea-sim on pseudo-terminals, a port held by a forked child, line settings
// through termios.
#include "NmeaSim.h"

#include "support/ChildProcess.h"

#include <algorithm>

#include <termios.h>

using namespace dialogtest;

namespace {

std::string Sondral()
{
    return std::string(SONDRAL_BINARY_DIR) + "/app/Sondral";
}

// Runs the program with arguments and extra environment; its exit status, its output in out and err.
int RunSondral(const std::vector<std::string>& args, const std::vector<std::string>& env, std::string& out,
               std::string& err)
{
    const ProgramResult r = RunProgram(Sondral(), args, {.env = env});
    out = r.out;
    err = r.err;
    return r.exitCode;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(ScanReportTest, ReportOfGpsAndAisScan)
{
    TempFolder folder("report");
    const std::string gps = FilteredLog(folder, "GPSmap-76S.log", {"$GPRMC", "$GPGGA", "$GPVTG"});
    NmeaSim sim(folder, {"COM1:silent", "COM3:9600:" + gps, "COM5:9600:" + Fixture("ais-raw-messages.log")});
    fs::create_directories(folder.Path() / "Brixel2022");
    std::string out;
    std::string err;
    const int rc = RunSondral({"--report", "--window-ms", "400"},
                              {"SONDRAL_COM_MAP=" + sim.MapFile(), "ALLUSERSPROFILE=" + folder.Path().string(),
                               "QT_QPA_PLATFORM=offscreen"},
                              out, err);
    ASSERT_EQ(rc, 0) << err;
    const std::vector<std::string> lines = SplitLines(out);

    std::vector<std::string> nodes;
    std::vector<std::string> tail;
    bool sawGpsSentence = false;
    for (const std::string& line : lines) {
        if (line.rfind("node ", 0) == 0)
            nodes.push_back(line);
        else if (line.rfind("log ", 0) == 0) {
            EXPECT_EQ(line.find('\n'), std::string::npos);
            EXPECT_TRUE(line.empty() || line.back() != '\r') << line;
            sawGpsSentence |= line.rfind("log $GP", 0) == 0;
        } else
            tail.push_back(line);
    }
    EXPECT_EQ(nodes, (std::vector<std::string>{
                         "node 0 COM1", "node 0 COM3", "node 1 Baud : 9600", "node 2 NMEA:",
                         "node 3 Position : RMC", "node 3 Course    : RMC", "node 3 Speed     : RMC",
                         "node 0 COM5", "node 1 Baud : 9600", "node 2 NMEA:",
                         "node 3 AIS       : VDM"}));
    EXPECT_TRUE(sawGpsSentence);
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "status Test Finished!!!", "main-gps COM3", "main-gps-visible no", "ais-gps-visible no",
                        "data-connections 0;2;0.0.0.0;0;0;COM5;9600;1;1;0;;0;;1;0;53;0;1;;1|"
                        "0;2;0.0.0.0;0;0;COM3;9600;1;0;0;;0;;1;0;53;0;1;;1"}));
    // Nothing is written in report mode.
    EXPECT_FALSE(fs::exists(folder.Path() / "Brixel2022" / "opencpn.ini"));
}

TEST(ScanReportTest, EmptyResultAndInvalidOptions)
{
    TempFolder folder("report-empty");
    WriteFile(folder / "empty.map", "");
    std::string out;
    std::string err;
    ASSERT_EQ(RunSondral({"--report"},
                         {"SONDRAL_COM_MAP=" + (folder / "empty.map"), "QT_QPA_PLATFORM=offscreen"}, out, err),
              0)
        << err;
    EXPECT_EQ(out, "status Test Finished!!!\nmain-gps-visible no\nais-gps-visible no\ndata-connections \n");

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--window-ms"}, {"--window-ms", "0"}, {"--report", "--window-ms", "x"}}) {
        out.clear();
        err.clear();
        EXPECT_EQ(RunSondral(bad, {}, out, err), 2) << bad.back();
        EXPECT_NE(err.find("usage:"), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }

    // Options that are not ours, Qt's own among them, are ignored: the scan runs as without them.
    out.clear();
    err.clear();
    ASSERT_EQ(RunSondral({"-style", "fusion", "--bogus", "--report", "-display", ":99"},
                         {"SONDRAL_COM_MAP=" + (folder / "empty.map"), "QT_QPA_PLATFORM=offscreen"}, out, err),
              0)
        << err;
    EXPECT_EQ(out, "status Test Finished!!!\nmain-gps-visible no\nais-gps-visible no\ndata-connections \n");
}

namespace {

// The node lines of a report.
std::vector<std::string> Nodes(const std::string& out)
{
    std::vector<std::string> nodes;
    for (const std::string& line : SplitLines(out))
        if (line.rfind("node ", 0) == 0)
            nodes.push_back(line);
    return nodes;
}

bool LogHas(const std::string& out, const std::string& part)
{
    for (const std::string& line : SplitLines(out))
        if (line.rfind("log ", 0) == 0 && line.find(part) != std::string::npos)
            return true;
    return false;
}

// The output rate of a terminal line, as the program holding it has set it.
speed_t LineRate(int fd)
{
    termios t{};
    return ::tcgetattr(fd, &t) == 0 ? ::cfgetospeed(&t) : B0;
}

// A short report over the ports of a device-map file.
int RunShortReport(const std::string& mapFile, std::string& out, std::string& err)
{
    return RunSondral({"--report", "--window-ms", "300"},
                      {"SONDRAL_COM_MAP=" + mapFile, "QT_QPA_PLATFORM=offscreen"}, out, err);
}

const std::vector<std::string> kGpsBlock = {"node 1 Baud : 4800", "node 2 NMEA:", "node 3 Position : RMC",
                                            "node 3 Course    : RMC", "node 3 Speed     : RMC"};

} // namespace

TEST(ScanReportTest, PortHeldByAnotherProgramIsNotOpenedAndKeepsItsRate)
{
    TempFolder folder("report-held");
    const std::string gps = FilteredLog(folder, "GPSmap-76S.log", {"$GPRMC", "$GPGGA", "$GPVTG"});
    NmeaSim sim(folder, {"COM1:4800:" + gps, "COM2:9600:" + Fixture("ais-raw-messages.log")});
    const std::string held = sim.Device("COM2");
    // The chart program has COM2 open at 9600 bit/s, without any lock, and reads its AIS data.
    support::ChildProcess chart([&](support::ChildProcess& self) {
        const int fd = ::open(held.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0)
            return 1;
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, B9600);
        ::tcsetattr(fd, TCSANOW, &t);
        self.Tell('o');
        self.Hear();
        const bool rateKept = LineRate(fd) == B9600;
        ::close(fd);
        return rateKept ? 0 : 3;
    });
    ASSERT_EQ(chart.WaitFor(), 'o');
    std::string out;
    std::string err;
    ASSERT_EQ(RunShortReport(sim.MapFile(), out, err), 0) << err;
    std::vector<std::string> expected = {"node 0 COM1"};
    expected.insert(expected.end(), kGpsBlock.begin(), kGpsBlock.end());
    expected.push_back("node 0 COM2"); // listed, never opened
    EXPECT_EQ(Nodes(out), expected);
    EXPECT_FALSE(LogHas(out, "!AIVDM")) << "the scan read from the held port";
    chart.Send('x');
    EXPECT_EQ(chart.Join(), 0) << "the held port's rate was changed";
}

TEST(ScanReportTest, LineLeftAtRateZeroIsScanned)
{
    TempFolder folder("report-rate0");
    const std::string gps = FilteredLog(folder, "GPSmap-76S.log", {"$GPRMC", "$GPGGA", "$GPVTG"});
    NmeaSim sim(folder, {"COM1:4800:" + gps});
    {
        // Another program hung the line up (rate 0) and ended.
        const int fd = ::open(sim.Device("COM1").c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        ::cfsetspeed(&t, B0);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
        ASSERT_EQ(LineRate(fd), B0);
        ::close(fd);
    }
    std::string out;
    std::string err;
    ASSERT_EQ(RunShortReport(sim.MapFile(), out, err), 0) << err;
    std::vector<std::string> expected = {"node 0 COM1"};
    expected.insert(expected.end(), kGpsBlock.begin(), kGpsBlock.end());
    EXPECT_EQ(Nodes(out), expected);
}

TEST(ScanReportTest, InstrumentThatVanishesMidScanDoesNotStopTheScan)
{
    TempFolder folder("report-vanish");
    const std::string gps = FilteredLog(folder, "GPSmap-76S.log", {"$GPRMC", "$GPGGA", "$GPVTG"});
    TempFolder first("report-vanish-1");
    TempFolder second("report-vanish-2");
    // COM1 talks at the last rate tried, so the scan is still on it when it is unplugged.
    auto unplugged = std::make_unique<NmeaSim>(first, std::vector<std::string>{"COM1:57600:" + gps});
    NmeaSim stays(second, {"COM2:4800:" + gps});
    WriteFile(folder / "com.map", ReadFile(unplugged->MapFile()) + ReadFile(stays.MapFile()));
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        unplugged.reset();
    });
    std::string out;
    std::string err;
    const int rc = RunShortReport(folder / "com.map", out, err);
    unplug.join();
    ASSERT_EQ(rc, 0) << err;
    std::vector<std::string> expected = {"node 0 COM1", "node 0 COM2"};
    expected.insert(expected.end(), kGpsBlock.begin(), kGpsBlock.end());
    EXPECT_EQ(Nodes(out), expected);
    const std::vector<std::string> lines = SplitLines(out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "status Test Finished!!!"), lines.end());
}
