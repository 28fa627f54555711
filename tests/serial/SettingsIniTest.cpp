// The settings store in ini mode: what a component saves, what it loads back, and what it refuses.
#include "ConfiguredSettings.h"

#include "platform/Paths.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace serial;
using namespace serial_test;

namespace {

class SettingsFixture : public ::testing::Test {
protected:
    TempFolder dir;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST_F(SettingsFixture, IniModeSavesAndLoads)
{
    const std::string file = dir.Path() + "/port.ini";
    TSerComm saved;
    Configure(saved);
    saved.SettingsStore().SetKey(platform::Utf8ToText(file));
    saved.SettingsStore().SetSection(u"Port");
    saved.SaveSettings();
    EXPECT_EQ(ReadFile(file), "[Port]\n"
                              "BAUDRATE=10\nPARITY=3\nDATABITS=2\nPORTNUM=12\nSTOPBITS=1\n"
                              "COMNAME=COM12\nFLOWCONTROL=2\nFLAG=1\n");

    TSerComm loaded;
    loaded.SetSettingsStore(saved.SettingsStore());
    EXPECT_TRUE(loaded.LoadSettings());
    ExpectConfigured(loaded);

    // A user rate is saved as brUser; loading leaves UserBaudrate alone.
    TSerComm user;
    user.SetUserBaudrate(4800);
    user.SetSettingsStore(saved.SettingsStore());
    user.SaveSettings();
    TSerComm back;
    back.SetUserBaudrate(9600);
    back.SetSettingsStore(saved.SettingsStore());
    ASSERT_TRUE(back.LoadSettings());
    EXPECT_EQ(back.Baudrate(), TSerBaudrate::brUser);
    EXPECT_EQ(back.UserBaudrate(), 9600);
}


TEST_F(SettingsFixture, IniWithoutACompleteSetLoadsNothing)
{
    for (const char* content : {"[Port]\nBAUDRATE=3\n", "[Port]\nBAUDRATE=3\nFLAG=0\n", ""}) {
        const std::string file = dir.Path() + "/partial.ini";
        std::ofstream(file, std::ios::trunc) << content;
        TSerComm c;
        c.SettingsStore().SetKey(platform::Utf8ToText(file));
        c.SettingsStore().SetSection(u"Port");
        EXPECT_FALSE(c.LoadSettings());
        EXPECT_EQ(c.Baudrate(), TSerBaudrate::br1200);
    }
}


TEST_F(SettingsFixture, StoredOrdinalsOutsideTheirTablesAreRefused)
{
    const std::string file = dir.Path() + "/bad.ini";
    std::ofstream(file, std::ios::trunc) << "[Port]\nBAUDRATE=9600\nPARITY=5\nDATABITS=-1\nPORTNUM=-3\n"
                                            "STOPBITS=0x2\nFLOWCONTROL=7\nFLAG=1\n";
    TSerComm c;
    c.FlowControl().SetControlDtr(TSerControlDtr::dtrEnabled);
    c.SettingsStore().SetKey(platform::Utf8ToText(file));
    c.SettingsStore().SetSection(u"port"); // sections compare without regard to case
    ASSERT_TRUE(c.LoadSettings());
    EXPECT_EQ(c.Baudrate(), TSerBaudrate::br1200);
    EXPECT_EQ(c.Parity(), TSerParity::paNone);
    EXPECT_EQ(c.Databits(), TSerDatabits::db8);
    EXPECT_EQ(c.PortNum(), 0);
    EXPECT_EQ(c.Stopbits(), TSerStopbits::sb2); // hexadecimal is read
    EXPECT_EQ(c.FlowControl().ControlDtr(), TSerControlDtr::dtrEnabled); // unknown flow code: unchanged
}


TEST_F(SettingsFixture, IniModeDefaultsToTheProgramNameAndComponentName)
{
    TSerComm c;
    c.SetName(u"SerCom");
    c.SaveSettings();
    std::string expected = platform::ExecutablePath();
    const auto name = expected.find_last_of("/\\");
    expected = expected.substr(0, expected.find_last_of('.') > name
                                      ? expected.find_last_of('.')
                                      : expected.size()) + ".INI";
    EXPECT_EQ(c.SettingsStore().Key(), platform::Utf8ToText(expected));
    EXPECT_EQ(c.SettingsStore().Section(), u"SerCom");
    EXPECT_NE(ReadFile(expected).find("[SerCom]\nBAUDRATE=4\n"), std::string::npos);
    std::filesystem::remove(expected);
}

