// Port names from the emulated device map, and the settings store in registry mode (the registry's file
// hives) and on an open pseudo-terminal.
// POSIX only: the device map is a SONDRAL_COM_MAP file and the registry the file hives of the emulation
// (on Windows these would be the machine's real registry).
#include "PortFixture.h"
#include "../ConfiguredSettings.h"

#include "platform/Paths.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "serial/SerPortNames.h"

#include <cstdlib>
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

class EmulatedStoreSettings : public PortFixture {
protected:
    void SetUp() override
    {
        PortFixture::SetUp();
        setenv("SONDRAL_REGISTRY_USER", (dir.Path() + "/user").c_str(), 1);
        setenv("SONDRAL_REGISTRY_MACHINE", (dir.Path() + "/machine").c_str(), 1);
    }
};

} // namespace

TEST_F(EmulatedStoreSettings, RegistryModeSavesAndLoads)
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

TEST_F(EmulatedStoreSettings, LoadingIntoAnOpenPortStopsAtThePortNumber)
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
