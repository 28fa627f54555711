// Accept after a real scan: the value written into the chart program's configuration file, the file's other
// content kept, and a failed write reported in the error box with the dialog left open.
// POSIX only: it scans instruments of nmea-sim on pseudo-terminals, through the emulated device map.
#include "NmeaSim.h"

#include <QPushButton>

using namespace dialogtest;

namespace {

class AcceptDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application();
        const std::string gps = FilteredLog(folder, "GPSmap-76S.log", {"$GPRMC", "$GPGGA", "$GPVTG"});
        sim = std::make_unique<NmeaSim>(
            folder, std::vector<std::string>{"COM3:9600:" + gps, "COM5:9600:" + Fixture("ais-raw-messages.log")});
        map = std::make_unique<ScopedEnv>("SONDRAL_COM_MAP", sim->MapFile());
        form = std::make_unique<app::TForm1>(*taal, Options({}, 300));
        form->show();
        form->Start_btn->click();
        ASSERT_EQ(form->FoundPorts().size(), 2u);
    }
    void TearDown() override { Application().SetErrorBoxHook(nullptr); }

    TempFolder folder{"accept"};
    std::unique_ptr<translations::TTaal_dat> taal = EnglishTaal(folder);
    std::unique_ptr<NmeaSim> sim;
    std::unique_ptr<ScopedEnv> map;
    std::unique_ptr<app::TForm1> form;
};

const std::string Expected = "0;2;0.0.0.0;0;0;COM5;9600;1;1;0;;0;;1;0;53;0;1;;1|"
                             "0;2;0.0.0.0;0;0;COM3;9600;1;0;0;;0;;1;0;53;0;1;;1";

} // namespace

TEST_F(AcceptDialogTest, WritesTheValueAndKeepsTheRestOfTheFile)
{
    const fs::path profile = folder.Path() / "profile";
    fs::create_directories(profile / "Brixel2022");
    const std::string original = ReadFile(std::string(SONDRAL_FIXTURES) + "/ini/chartprogram.ini");
    const std::string oldLine = "DataConnections=0;2;0.0.0.0;0;0;COM4;4800;1;1;0;;0;;1;0;53;0;1;;1";
    ASSERT_NE(original.find(oldLine), std::string::npos);
    WriteFile((profile / "Brixel2022" / "opencpn.ini").string(), original);

    ScopedEnv all("ALLUSERSPROFILE", profile.string());
    form->Ok_btn->click();

    std::string expected = original;
    expected.replace(expected.find(oldLine), oldLine.size(), "DataConnections=" + Expected);
    EXPECT_EQ(ReadFile((profile / "Brixel2022" / "opencpn.ini").string()), expected);
    EXPECT_TRUE(form->isHidden());
}

TEST_F(AcceptDialogTest, CreatesAMissingFile)
{
    const fs::path profile = folder.Path() / "fresh";
    fs::create_directories(profile / "Brixel2022");
    ScopedEnv all("ALLUSERSPROFILE", profile.string());
    form->Ok_btn->click();
    const std::string written = ReadFile((profile / "Brixel2022" / "opencpn.ini").string());
    EXPECT_NE(written.find("[Settings/NMEADataSource]"), std::string::npos) << written;
    EXPECT_NE(written.find("DataConnections=" + Expected), std::string::npos) << written;
}

TEST_F(AcceptDialogTest, FailedWriteShowsTheErrorAndKeepsTheDialogOpen)
{
    const fs::path profile = folder.Path() / "no-data-folder";
    fs::create_directories(profile);
    std::vector<std::string> boxes;
    Application().SetErrorBoxHook(
        [&](const QString&, const QString& message) { boxes.push_back(message.toStdString()); });
    ScopedEnv all("ALLUSERSPROFILE", profile.string());
    form->Ok_btn->click();
    const std::string path = (profile / "Brixel2022" / "opencpn.ini").string();
    EXPECT_EQ(boxes, std::vector<std::string>{"Unable to write to " + path});
    EXPECT_FALSE(form->isHidden());
    EXPECT_TRUE(form->Ok_btn->isEnabled());
    // The data folder is never created here; once it exists, the user can try again.
    EXPECT_FALSE(fs::exists(profile / "Brixel2022"));
    fs::create_directories(profile / "Brixel2022");
    form->Ok_btn->click();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(form->isHidden());
    EXPECT_NE(ReadFile(path).find(Expected), std::string::npos);
}
