// The program run without a user: --report prints the scan's result in a fixed format.
#include "DialogTestSupport.h"

using namespace dialogtest;

namespace {

std::string Sondral()
{
    return std::string(SONDRAL_BINARY_DIR) + "/app/Sondral";
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
    const int rc = RunProgram(Sondral(), {"--report", "--window-ms", "400"},
                              {"SONDRAL_COM_MAP=" + sim.MapFile(), "ALLUSERSPROFILE=" + folder.Path().string(),
                               "QT_QPA_PLATFORM=offscreen"},
                              &out, &err);
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
    ASSERT_EQ(RunProgram(Sondral(), {"--report"},
                         {"SONDRAL_COM_MAP=" + (folder / "empty.map"), "QT_QPA_PLATFORM=offscreen"}, &out, &err),
              0)
        << err;
    EXPECT_EQ(out, "status Test Finished!!!\nmain-gps-visible no\nais-gps-visible no\ndata-connections \n");

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--window-ms"}, {"--window-ms", "0"}, {"--report", "--window-ms", "x"}}) {
        out.clear();
        err.clear();
        EXPECT_EQ(RunProgram(Sondral(), bad, {}, &out, &err), 2) << bad.back();
        EXPECT_NE(err.find("usage:"), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }

    // Options that are not ours, Qt's own among them, are ignored: the scan runs as without them.
    out.clear();
    err.clear();
    ASSERT_EQ(RunProgram(Sondral(), {"-style", "fusion", "--bogus", "--report", "-display", ":99"},
                         {"SONDRAL_COM_MAP=" + (folder / "empty.map"), "QT_QPA_PLATFORM=offscreen"}, &out, &err),
              0)
        << err;
    EXPECT_EQ(out, "status Test Finished!!!\nmain-gps-visible no\nais-gps-visible no\ndata-connections \n");
}
