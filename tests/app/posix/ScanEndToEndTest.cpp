// Whole scans of simulated instruments (nmea-sim on pseudo-terminals) with short receive windows.
// POSIX only: instruments of nmea-sim on pseudo-terminals, started by the test (under Wine the dialog's
// line-feed reception would not work either: Wine's serial driver does not raise EV_RXFLAG).
#include "NmeaSim.h"

#include "app/SentenceLog.h"
#include "serial/SerComm.h"

#include "treelist/TreeList.h"
#include "treelist/TreeNode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

using namespace dialogtest;
using platform::Text;
using Lines = std::vector<std::string>;

namespace {

class ScanEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { Application(); }

    // The lines of the result tree: depth, a blank and the node's text.
    static Lines Tree(const app::TForm1& form)
    {
        Lines lines;
        for (const treelist::TTreeNode* node : form.ResultList->NodesInTreeOrder())
            lines.push_back(std::to_string(node->Level()) + " " + platform::TextToUtf8(node->Text()));
        return lines;
    }
    static Lines Log(const app::TForm1& form)
    {
        Lines lines;
        for (int k = 0; k < form.ListBox2->count(); ++k)
            lines.push_back(platform::TextToUtf8(app::SentenceOf(*form.ListBox2->item(k))));
        return lines;
    }
    static bool LogHas(const app::TForm1& form, const std::string& part)
    {
        for (const std::string& line : Log(form))
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
    static Lines Rates(const std::string& port)
    {
        Lines r;
        for (const char* rate : {"4800", "9600", "14400", "19200", "38400", "57600"})
            r.push_back(port + " " + rate);
        return r;
    }
    static Lines Cat(Lines a, const Lines& b)
    {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    TempFolder folder{"scan"};
    std::unique_ptr<translations::TTaal_dat> taal = EnglishTaal(folder);
    // A GPS that sends only recognised position, course and speed sentences.
    std::string gpsLog = FilteredLog(folder, "GPSmap-76S.log", {"$GPRMC", "$GPGGA", "$GPVTG"});
};

} // namespace

TEST_F(ScanEndToEndTest, GpsOnSecondPortFoundAt38400AfterFourSilentRates)
{
    NmeaSim sim(folder, {"COM1:silent", "COM2:38400:" + gpsLog});
    ScopedEnv map("SONDRAL_COM_MAP", sim.MapFile());
    app::TForm1 form(*taal, Options({}, 150));
    StatusRecorder status(form);
    form.show();
    form.Start_btn->click();
    status.Poll();

    Lines second = Rates("COM2");
    second.pop_back(); // 57600 is not tried
    EXPECT_EQ(status.Attempts(), Cat(Rates("COM1"), second));
    EXPECT_EQ(Tree(form), (Lines{"0 COM1", "0 COM2", "1 Baud : 38400", "2 NMEA:", "3 Position : RMC",
                                 "3 Course    : RMC", "3 Speed     : RMC"}));
    ASSERT_EQ(form.FoundPorts().size(), 1u);
    EXPECT_EQ(form.FoundPorts()[0].ComPort, 2);
    EXPECT_EQ(form.FoundPorts()[0].Baud, 5);
    EXPECT_TRUE(LogHas(form, "$GPRMC,"));
    EXPECT_EQ(form.StatusText(), u"Test Finished!!!");
    // One GPS: it is selected but the list stays hidden.
    EXPECT_EQ(form.cboMainGPS->count(), 1);
    EXPECT_EQ(form.cboMainGPS->currentText(), "COM2");
    EXPECT_TRUE(form.cboMainGPS->isHidden());
    EXPECT_TRUE(form.lblMainGPS->isHidden());
    EXPECT_TRUE(form.Start_btn->isEnabled());
    EXPECT_TRUE(form.Ok_btn->isEnabled());
    EXPECT_TRUE(form.Label2->isHidden());
    EXPECT_EQ(form.DataConnectionsValue(), u"0;2;0.0.0.0;0;0;COM2;38400;1;1;0;;0;;1;0;53;0;1;;1");
}

TEST_F(ScanEndToEndTest, SkipCurrentInTheFirstWindowMovesToTheNextPort)
{
    NmeaSim sim(folder, {"COM1:silent", "COM2:4800:" + gpsLog});
    ScopedEnv map("SONDRAL_COM_MAP", sim.MapFile());
    app::TForm1 form(*taal, Options({}, 60000));
    StatusRecorder status(form);
    bool skipped1 = false;
    bool skipped2 = false;
    status.onPoll = [&](const std::string& text) {
        if (!form.WaitingSet())
            return;
        if (!skipped1 && text == "Try to receive from port COM1 with baudrate 4800") {
            skipped1 = true;
            EXPECT_TRUE(form.Label2->isVisible());
            EXPECT_FALSE(form.Start_btn->isEnabled());
            EXPECT_FALSE(form.Ok_btn->isEnabled());
            EXPECT_FALSE(form.Button3->isEnabled());
            form.Button2->click();
        } else if (!skipped2 && text == "Try to receive from port COM2 with baudrate 4800" && LogHas(form, "$GP")) {
            // A shortened window is evaluated as usual: the port is found.
            skipped2 = true;
            form.Button2->click();
        }
    };
    form.show();
    form.Start_btn->click();
    status.Poll();
    EXPECT_EQ(status.Attempts(), (Lines{"COM1 4800", "COM2 4800"}));
    ASSERT_GE(Tree(form).size(), 3u);
    EXPECT_EQ(Tree(form)[0], "0 COM1");
    EXPECT_EQ(Tree(form)[1], "0 COM2");
    EXPECT_EQ(Tree(form)[2], "1 Baud : 4800");
    ASSERT_EQ(form.FoundPorts().size(), 1u);
    EXPECT_EQ(form.FoundPorts()[0].Baud, 1);
}

TEST_F(ScanEndToEndTest, SkipAllEndsTheScanAfterTheWindowIsEvaluated)
{
    NmeaSim sim(folder, {"COM1:4800:" + gpsLog, "COM2:4800:" + gpsLog});
    ScopedEnv map("SONDRAL_COM_MAP", sim.MapFile());
    app::TForm1 form(*taal, Options({u"extern"}, 60000));
    StatusRecorder status(form);
    status.onPoll = [&](const std::string&) {
        if (form.WaitingSet() && !form.AbortSet() && LogHas(form, "$GP"))
            form.Button1->click();
    };
    bool finished = false;
    form.OnScanFinished = [&] { finished = true; };
    form.show(); // "extern": the scan starts by itself
    ASSERT_TRUE(RunUntil([&] { return finished; }));
    status.Poll();
    EXPECT_EQ(status.Attempts(), (Lines{"COM1 4800"}));
    EXPECT_EQ(status.Seen().back(), "Test Finished!!!");
    EXPECT_EQ(Tree(form).size(), 2u + 1u + 1u + 3u); // COM1 with its block, COM2 untouched
    EXPECT_EQ(Tree(form).back(), "0 COM2");
    ASSERT_EQ(form.FoundPorts().size(), 1u);
    EXPECT_EQ(form.FoundPorts()[0].ComPort, 1);
    EXPECT_FALSE(form.Start_btn->isHidden());
}

TEST_F(ScanEndToEndTest, UnrecognisedTypesOnlyTryAllRatesAndLeaveTheNodeEmpty)
{
    const std::string satellites = FilteredLog(folder, "bu353s4.log", {"$GPGSV", "$GPGSA"});
    NmeaSim sim(folder, {"COM4:38400:" + satellites});
    ScopedEnv map("SONDRAL_COM_MAP", sim.MapFile());
    app::TForm1 form(*taal, Options({}, 200));
    StatusRecorder status(form);
    form.show();
    form.Start_btn->click();
    status.Poll();
    EXPECT_EQ(status.Attempts(), Rates("COM4"));
    EXPECT_EQ(Tree(form), (Lines{"0 COM4"}));
    EXPECT_TRUE(form.FoundPorts().empty());
    EXPECT_TRUE(LogHas(form, "$GPGSV,") || LogHas(form, "$GPGSA,"));
    EXPECT_TRUE(LogHas(form, "\r\n"));
    EXPECT_EQ(form.DataConnectionsValue(), u"");
}

TEST_F(ScanEndToEndTest, LowPrecisionRmcShowsOnlyTheBaudNode)
{
    NmeaSim sim(folder, {"COM1:9600:" + Fixture("meinberg-gps164.log")});
    ScopedEnv map("SONDRAL_COM_MAP", sim.MapFile());
    app::TForm1 form(*taal, Options({}, 250));
    StatusRecorder status(form);
    form.show();
    form.Start_btn->click();
    status.Poll();
    EXPECT_EQ(status.Attempts(), (Lines{"COM1 4800", "COM1 9600"}));
    EXPECT_EQ(Tree(form), (Lines{"0 COM1", "1 Baud : 9600"}));
    EXPECT_TRUE(form.FoundPorts().empty());
    EXPECT_EQ(form.cboMainGPS->count(), 0);
}

TEST_F(ScanEndToEndTest, VdoTransponderShowsTheAisOptionWhichStaysForTheNextScan)
{
    const std::string transponder = FilteredLog(folder, "saab-r4.log", {"!AIVDO"});
    ASSERT_FALSE(ReadFile(transponder).empty());
    Lines tree;
    {
        NmeaSim sim(folder, {"COM6:9600:" + transponder});
        ScopedEnv map("SONDRAL_COM_MAP", sim.MapFile());
        app::TForm1 form(*taal, Options({}, 250));
        form.show();
        form.Start_btn->click();
        EXPECT_EQ(Tree(form), (Lines{"0 COM6", "1 Baud : 9600", "2 NMEA:", "3 Position : VDO",
                                     "3 Course    : VDO", "3 Speed     : VDO"}));
        EXPECT_FALSE(form.AisGps->isHidden());
        EXPECT_FALSE(form.AisGps->isChecked());
        EXPECT_EQ(form.cboMainGPS->count(), 0);
        EXPECT_EQ(form.DataConnectionsValue(), u"0;2;0.0.0.0;0;0;COM6;9600;1;1;0;;0;;1;0;53;0;1;;1");

        // A second scan, on a machine that now has no ports, starts clean but keeps the AIS option.
        WriteFile(folder / "empty.map", "");
        ScopedEnv none("SONDRAL_COM_MAP", folder / "empty.map");
        form.Start_btn->click();
        EXPECT_TRUE(Tree(form).empty());
        EXPECT_EQ(form.ListBox2->count(), 0);
        EXPECT_TRUE(form.FoundPorts().empty());
        EXPECT_FALSE(form.AisGps->isHidden());
        EXPECT_EQ(form.DataConnectionsValue(), u"");
    }
}

TEST_F(ScanEndToEndTest, TwoGpsPortsFillTheMainGpsListAndASecondScanStartsClean)
{
    NmeaSim sim(folder, {"COM1:9600:" + gpsLog, "COM2:9600:" + gpsLog});
    ScopedEnv map("SONDRAL_COM_MAP", sim.MapFile());
    app::TForm1 form(*taal, Options({}, 300));
    form.show();
    for (int scan = 0; scan < 2; ++scan) {
        SCOPED_TRACE(scan);
        if (scan == 1) {
            // Leftovers that the second scan must remove.
            form.ListBox2->addItem("left over");
            form.cboMainGPS->addItem("COM9");
        }
        form.Start_btn->click();
        EXPECT_EQ(form.cboMainGPS->count(), 2);
        EXPECT_EQ(form.cboMainGPS->itemText(0), "COM1");
        EXPECT_EQ(form.cboMainGPS->itemText(1), "COM2");
        EXPECT_EQ(form.cboMainGPS->currentIndex(), 0);
        EXPECT_FALSE(form.cboMainGPS->isHidden());
        EXPECT_FALSE(form.lblMainGPS->isHidden());
        ASSERT_EQ(form.FoundPorts().size(), 2u);
        EXPECT_EQ(form.FoundPorts()[0].ComPort, 1);
        EXPECT_EQ(form.FoundPorts()[1].ComPort, 2);
        EXPECT_EQ(form.ResultList->topLevelItemCount(), 2);
        EXPECT_FALSE(LogHas(form, "left over"));
        EXPECT_TRUE(form.AisGps->isHidden());
        // The later GPS is written, whatever is selected.
        EXPECT_EQ(form.DataConnectionsValue(), u"0;2;0.0.0.0;0;0;COM2;9600;1;1;0;;0;;1;0;53;0;1;;1");
    }
}

TEST_F(ScanEndToEndTest, NamesWithoutPortNumberAreShownButNeverOpened)
{
    // Each name leads to a talking GPS; none of them may be opened.
    NmeaSim sim(folder, {"COM1:4800:" + gpsLog, "COM2:4800:" + gpsLog, "COM3:4800:" + gpsLog});
    std::string names;
    for (const auto& [name, port] : {std::pair{"LPT1", "COM1"}, {"COMX", "COM2"}, {"COM", "COM3"}}) {
        ASSERT_FALSE(sim.Device(port).empty());
        names += std::string(name) + "=" + sim.Device(port) + "\n";
    }
    WriteFile(folder / "names.map", names);
    ScopedEnv map("SONDRAL_COM_MAP", folder / "names.map");
    app::TForm1 form(*taal, Options({}, 300));
    StatusRecorder status(form);
    form.show();
    form.Start_btn->click();
    status.Poll();
    EXPECT_EQ(Tree(form), (Lines{"0 LPT1", "0 COMX", "0 COM"}));
    EXPECT_TRUE(status.Attempts().empty());
    EXPECT_EQ(form.ListBox2->count(), 0);
    EXPECT_EQ(form.StatusText(), u"Test Finished!!!");
}

TEST_F(ScanEndToEndTest, OnlyTheFirst99Of120PortsGetNodes)
{
    std::string lines;
    for (int k = 1; k <= 120; ++k)
        lines += "COM" + std::to_string(k) + "=" + (folder / ("missing-tty" + std::to_string(k))) + "\n";
    WriteFile(folder / "many.map", lines);
    ScopedEnv map("SONDRAL_COM_MAP", folder / "many.map");
    app::TForm1 form(*taal, Options({}, 300));
    form.show();
    form.Start_btn->click();
    EXPECT_EQ(form.PortNames().size(), 120u);
    const Lines tree = Tree(form);
    ASSERT_EQ(tree.size(), 99u);
    EXPECT_EQ(tree.front(), "0 COM1");
    EXPECT_EQ(tree.back(), "0 COM99");
    EXPECT_EQ(form.StatusText(), u"Test Finished!!!");
}

TEST_F(ScanEndToEndTest, AFailingCloseKeepsTheFoundPort)
{
    // The port's close handler throws on every close: what arrived in the window still makes the port a
    // found port, with its baud node, its block and its record, no further rate is tried, and the scan
    // goes on with the next port. (A window of one second holds several sentences at 4800 bit/s.)
    NmeaSim sim(folder, {"COM1:4800:" + gpsLog, "COM2:silent"});
    ScopedEnv map("SONDRAL_COM_MAP", sim.MapFile());
    app::TForm1 form(*taal, Options({}, 1000));
    int closes = 0;
    form.SerCom().OnClose = [&closes](serial::TSerCustomComm&) {
        ++closes;
        throw std::runtime_error("close failed");
    };
    StatusRecorder status(form);
    form.show();
    form.Start_btn->click();
    status.Poll();
    EXPECT_EQ(status.Attempts(), Cat(Lines{"COM1 4800"}, Rates("COM2")));
    EXPECT_EQ(Tree(form), (Lines{"0 COM1", "1 Baud : 4800", "2 NMEA:", "3 Position : RMC", "3 Course    : RMC",
                                 "3 Speed     : RMC", "0 COM2"}));
    ASSERT_EQ(form.FoundPorts().size(), 1u);
    EXPECT_EQ(form.FoundPorts()[0].ComPort, 1);
    EXPECT_EQ(form.FoundPorts()[0].Baud, 1);
    EXPECT_EQ(closes, 7);
    EXPECT_FALSE(form.SerCom().Active());
    EXPECT_EQ(form.StatusText(), u"Test Finished!!!");
}
