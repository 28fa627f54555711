// Sondral.exe --report, run as a process, scanning the simulated instruments of the host that the ctest
// fixture serial_sim_ports makes COM ports of the Wine prefix (SONDRAL_SIM_PORTS: GPS at 4800 bit/s, AIS at
// 38400 bit/s, nothing attached).
#include "../DialogTestSupport.h"
#include "../../platform/SystemUnderTest.h"

#include <algorithm>
#include <sstream>

using namespace dialogtest;

namespace {

class SimulatedPortReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::stringstream list(std::getenv("SONDRAL_SIM_PORTS") ? std::getenv("SONDRAL_SIM_PORTS") : "");
        for (std::string item; std::getline(list, item, ',');)
            ports.push_back("COM" + item);
        if (ports.size() != 3)
            GTEST_SKIP() << "needs the simulated instruments on COM ports that the ctest fixture "
                            "serial_sim_ports sets up (SONDRAL_SIM_PORTS)";
    }

    // Runs the report and sorts its lines.
    void Report()
    {
        TempFolder folder("report");
        const ProgramResult r = RunProgram(std::string(SONDRAL_BINARY_DIR) + "/app/Sondral",
                                           {"--report", "--window-ms", "300"},
                                           {.env = {"ALLUSERSPROFILE=" + folder.Path().string()}});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // A Windows program's text output: lines end in CR LF.
        std::stringstream out(r.out);
        for (std::string line; std::getline(out, line);) {
            ASSERT_FALSE(line.empty() || line.back() != '\r') << "line without CR LF: " << line;
            line.pop_back();
            (line.rfind("node ", 0) == 0 ? nodes : line.rfind("log ", 0) == 0 ? logs : tail).push_back(line);
        }
    }

    // The node lines from the port's node up to the next port's.
    std::vector<std::string> NodesOf(const std::string& port) const
    {
        auto first = std::find(nodes.begin(), nodes.end(), "node 0 " + port);
        if (first == nodes.end())
            return {};
        auto last = std::find_if(first + 1, nodes.end(), [](const std::string& n) { return n.rfind("node 0 ", 0) == 0; });
        return {first, last};
    }

    std::vector<std::string> ports;
    std::vector<std::string> nodes, logs, tail;
};

} // namespace

TEST_F(SimulatedPortReport, EveryPortOfTheDeviceMapIsScannedToTheEnd)
{
    ASSERT_NO_FATAL_FAILURE(Report());
    for (const std::string& port : ports)
        EXPECT_FALSE(NodesOf(port).empty()) << port << " has no node";
    EXPECT_NE(std::find(tail.begin(), tail.end(), "status Test Finished!!!"), tail.end());
    // The port with nothing attached has nothing below its node.
    EXPECT_EQ(NodesOf(ports[2]), std::vector<std::string>{"node 0 " + ports[2]});
}

TEST_F(SimulatedPortReport, TheGpsAndTheAisInstrumentAreFound)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "needs real Windows: Wine's serial driver does not handle EV_RXFLAG (\"fixme:comm:wait_on "
                        "EV_RXFLAG not handled\") and completes WaitCommEvent on any received byte with an empty "
                        "event mask, so the dialog, which waits for the line feed, receives no sentence";
    ASSERT_NO_FATAL_FAILURE(Report());
    const std::vector<std::string> gps = NodesOf(ports[0]);
    EXPECT_NE(std::find(gps.begin(), gps.end(), "node 1 Baud : 4800"), gps.end());
    EXPECT_NE(std::find(gps.begin(), gps.end(), "node 3 Position : RMC"), gps.end());
    const std::vector<std::string> ais = NodesOf(ports[1]);
    EXPECT_NE(std::find(ais.begin(), ais.end(), "node 1 Baud : 38400"), ais.end());
    EXPECT_NE(std::find(ais.begin(), ais.end(), "node 3 AIS       : VDM"), ais.end());
    EXPECT_FALSE(logs.empty());
}
