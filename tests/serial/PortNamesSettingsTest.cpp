// Port names from the device map, and the settings store in ini and registry mode.
#include "PortFixture.h"

#include "platform/Paths.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "serial/SerPortNames.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace serial;
using namespace serial_test;
using platform::Text;

TEST(SerPortNames, ListsTheDeviceMapInItsOrder)
{
    TempDir dir;
    PtyPair a, b;
    WriteComMap(dir, {{"COM3", b.SlavePath()}, {"COM1", a.SlavePath()}});
    std::vector<Text> names = {u"stale"};
    GetComPortNames(names);
    EXPECT_EQ(names, (std::vector<Text>{u"COM3", u"COM1"}));
    GetComPortNames(names); // cleared first, not doubled
    EXPECT_EQ(names, (std::vector<Text>{u"COM3", u"COM1"}));

    WriteComMap(dir, {});
    GetComPortNames(names);
    EXPECT_TRUE(names.empty());
}

namespace {

class SettingsFixture : public PortFixture {
protected:
    void SetUp() override
    {
        PortFixture::SetUp();
        setenv("SONDRAL_REGISTRY_USER", (dir.Path() + "/user").c_str(), 1);
        setenv("SONDRAL_REGISTRY_MACHINE", (dir.Path() + "/machine").c_str(), 1);
    }

    // A component whose saved settings differ from every default.
    static void Configure(TSerComm& c)
    {
        c.SetBaudrate(TSerBaudrate::br38400);
        c.SetParity(TSerParity::paMark);
        c.SetDatabits(TSerDatabits::db6);
        c.SetPortNum(12);
        c.SetStopbits(TSerStopbits::sb15);
        c.FlowControl().SetXonXoffIn(true);
    }

    static void ExpectConfigured(const TSerComm& c)
    {
        EXPECT_EQ(c.Baudrate(), TSerBaudrate::br38400);
        EXPECT_EQ(c.Parity(), TSerParity::paMark);
        EXPECT_EQ(c.Databits(), TSerDatabits::db6);
        EXPECT_EQ(c.PortNum(), 12);
        EXPECT_EQ(c.Stopbits(), TSerStopbits::sb15);
        // Flow code 2: XON/XOFF both ways, lines disabled.
        EXPECT_TRUE(c.FlowControl().XonXoffIn());
        EXPECT_TRUE(c.FlowControl().XonXoffOut());
        EXPECT_EQ(c.FlowControl().ControlDtr(), TSerControlDtr::dtrDisabled);
    }
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
    expected = expected.substr(0, expected.find_last_of('.') > expected.find_last_of('/')
                                      ? expected.find_last_of('.')
                                      : expected.size()) + ".INI";
    EXPECT_EQ(c.SettingsStore().Key(), platform::Utf8ToText(expected));
    EXPECT_EQ(c.SettingsStore().Section(), u"SerCom");
    EXPECT_NE(ReadFile(expected).find("[SerCom]\nBAUDRATE=4\n"), std::string::npos);
    std::filesystem::remove(expected);
}

TEST_F(SettingsFixture, RegistryModeSavesAndLoads)
{
    for (TRegRootKey root : {TRegRootKey::rrCURRENTUSER, TRegRootKey::rrLOCALMACHINE}) {
        TSerComm saved;
        Configure(saved);
        saved.FlowControl().SetXonXoffIn(false);
        saved.FlowControl().SetControlRts(TSerControlRts::rtsEnabled);
        saved.SettingsStore().SetLocation(TSettingsLocation::slRegistry);
        saved.SettingsStore().SetRegRoot(root);
        saved.SettingsStore().SetKey(u"Software\\Sondral");
        saved.SettingsStore().SetSection(u"Port");
        saved.SaveSettings();

        const auto key = platform::TRegistryKey::Open(
            root == TRegRootKey::rrCURRENTUSER ? platform::RegRoot::CurrentUser : platform::RegRoot::LocalMachine,
            u"Software\\Sondral\\Port");
        ASSERT_TRUE(key.has_value());
        EXPECT_EQ(key->ValueNames(), (std::vector<Text>{u"BAUDRATE", u"PARITY", u"DATABITS", u"PORTNUM",
                                                        u"STOPBITS", u"COMNAME", u"FLOWCONTROL", u"FLAG"}));
        EXPECT_EQ(key->ReadValue(u"COMNAME")->str, u"COM12");
        EXPECT_EQ(key->ReadValue(u"BAUDRATE")->str, u"10");

        TSerComm loaded;
        loaded.FlowControl().SetXonXoffOut(true);
        loaded.SetSettingsStore(saved.SettingsStore());
        ASSERT_TRUE(loaded.LoadSettings());
        EXPECT_EQ(loaded.Baudrate(), TSerBaudrate::br38400);
        EXPECT_EQ(loaded.PortNum(), 12);
        EXPECT_EQ(loaded.Stopbits(), TSerStopbits::sb15);
        // Flow code 1: lines enabled, XON/XOFF off.
        EXPECT_EQ(loaded.FlowControl().ControlDtr(), TSerControlDtr::dtrEnabled);
        EXPECT_EQ(loaded.FlowControl().ControlRts(), TSerControlRts::rtsEnabled);
        EXPECT_FALSE(loaded.FlowControl().XonXoffOut());

        TSerComm missing;
        missing.SettingsStore().SetLocation(TSettingsLocation::slRegistry);
        missing.SettingsStore().SetRegRoot(root);
        missing.SettingsStore().SetKey(u"Software\\Nothing");
        EXPECT_FALSE(missing.LoadSettings());
    }
}

TEST_F(SettingsFixture, LoadingIntoAnOpenPortStopsAtThePortNumber)
{
    const std::string file = dir.Path() + "/open.ini";
    TSerComm saved;
    Configure(saved);
    saved.SettingsStore().SetKey(platform::Utf8ToText(file));
    saved.SettingsStore().SetSection(u"Port");
    saved.SaveSettings();

    TSerComm c;
    ConfigureAsDialog(c);
    c.SetSettingsStore(saved.SettingsStore());
    c.Open();
    EXPECT_EQ(CommErrorOf([&] { c.LoadSettings(); }), "Can't perform this operation while port is open");
    EXPECT_EQ(c.Baudrate(), TSerBaudrate::br38400);
    EXPECT_EQ(c.Parity(), TSerParity::paMark);
    EXPECT_EQ(c.Databits(), TSerDatabits::db6);
    EXPECT_EQ(c.PortNum(), 1);
    EXPECT_EQ(c.Stopbits(), TSerStopbits::sb1);
    EXPECT_FALSE(c.FlowControl().XonXoffIn());
    EXPECT_EQ(pty.Settings().ospeed, 38400u); // the open port was reconfigured at once
}
