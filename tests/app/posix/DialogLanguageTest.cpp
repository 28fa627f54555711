// The dialog in another language: the viewer's ini file beside the executable names language 1 (German),
// and the dialog reads its texts from the translations table shipped beside it. Runs in a copy of this
// test program placed beside a copy of that table.
// POSIX only: the child scans an instrument of nmea-sim on a pseudo-terminal.
#include "NmeaSim.h"

#include "app/StatusTexts.h"
#include "platform/Paths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

using namespace dialogtest;

namespace {

constexpr char ChildVariable[] = "SONDRAL_LANGUAGE_CHILD";

} // namespace

TEST(DialogLanguageChild, Run)
{
    if (!std::getenv(ChildVariable))
        GTEST_SKIP() << "runs only as the child of DialogLanguageTest";
    Application();
    translations::TTaal_dat taal; // the table beside this program
    app::TForm1 form(taal, Options({}, 150));
    StatusRecorder status(form);
    form.show();
    ASSERT_FALSE(taal.IgnoreTaal());
    EXPECT_EQ(form.Start_btn->text(), "Start");
    EXPECT_EQ(form.Button1->text(), "Alle überspringen");
    EXPECT_EQ(form.Button2->text(), "Port überspringen");
    EXPECT_EQ(form.Ok_btn->text(), "Übernehmen");
    EXPECT_EQ(form.Button3->text(), "Schließen");
    EXPECT_EQ(form.Label2->text(), "Empfang .....");
    EXPECT_EQ(form.AisGps->text(), "AIS-Transponder-GPS nutzen");
    EXPECT_EQ(form.lblMainGPS->text(), "Haupt-GPS:");

    bool sawLabel = false;
    status.onPoll = [&](const std::string&) { sawLabel |= form.Label2->isVisible(); };
    form.Start_btn->click();
    status.Poll();
    for (const char* text : {"Empfangsversuch an Schnittstelle COM1 mit Baudrate 4800",
                             "Empfangsversuch an Schnittstelle COM1 mit Baudrate 57600"})
        EXPECT_NE(std::find(status.Seen().begin(), status.Seen().end(), text), status.Seen().end()) << text;
    EXPECT_EQ(status.Seen().back(), "Test beendet!!!");
    // The texts shown before the first attempt, which follow each other without a pause.
    EXPECT_EQ(app::ScanStartsStatus(taal), u"Verfügbare Schnittstellen suchen");
    EXPECT_EQ(app::PortNodesMadeStatus(taal), u"Empfangsversuch an Schnittstelle");
    EXPECT_TRUE(sawLabel);
}

TEST(DialogLanguageTest, GermanFromTheViewerIniAndTheShippedTable)
{
    TempFolder folder("language");
    const std::string copy = InstallCopy(folder, platform::ExecutablePath(), 1);
    NmeaSim sim(folder, {"COM1:silent"});
    const ProgramResult child = RunProgram(copy, {"--gtest_filter=DialogLanguageChild.Run"},
                                           {.env = {std::string(ChildVariable) + "=1", "QT_QPA_PLATFORM=offscreen",
                                                    "SONDRAL_COM_MAP=" + sim.MapFile()}});
    const std::string& out = child.out;
    const std::string& err = child.err;
    EXPECT_EQ(child.exitCode, 0)
        << out << err;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out << err;
}
