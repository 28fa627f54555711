#include "PtyFixture.h"

#include "platform/Registry.h"
#include "platform/posix/RegistryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

using namespace platform;
using testing_pty::MapFile;
using testing_pty::TempDir;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("SONDRAL_REGISTRY_USER", (dir_.Path() + "/user").c_str(), 1);
        ::setenv("SONDRAL_REGISTRY_MACHINE", (dir_.Path() + "/machine").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("SONDRAL_REGISTRY_USER");
        ::unsetenv("SONDRAL_REGISTRY_MACHINE");
    }
    TempDir dir_;
};

TEST_F(RegistryTest, ValuesRoundTripThroughTheHiveFile)
{
    EXPECT_FALSE(TRegistryKey::Open(RegRoot::CurrentUser, u"\\Software\\Sondral"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    TRegistryKey key = TRegistryKey::Create(RegRoot::CurrentUser, u"\\Software\\Sondral\\SerCom");
    key.WriteString(u"COMNAME", u"COM5");
    key.WriteInteger(u"BAUDRATE", 8);
    key.WriteString(u"Odd = name\\", u"line one\nline two \u00e9\\=");
    key.WriteString(u"comname", u"COM6"); // same name, other letter case: replaced in place

    const auto again = TRegistryKey::Open(RegRoot::CurrentUser, u"software\\SONDRAL\\sercom\\");
    ASSERT_TRUE(again);
    const std::vector<std::u16string> names = {u"COMNAME", u"BAUDRATE", u"Odd = name\\"};
    EXPECT_EQ(again->ValueNames(), names);
    const auto port = again->ReadValue(u"ComName");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->type, RegValue::Type::String);
    EXPECT_EQ(port->str, u"COM6");
    const auto rate = again->ReadValue(u"BAUDRATE");
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->type, RegValue::Type::Integer);
    EXPECT_EQ(rate->integer, 8u);
    EXPECT_EQ(again->ReadValue(u"Odd = name\\")->str, u"line one\nline two \u00e9\\=");
    EXPECT_FALSE(again->ReadValue(u"missing"));

    const auto parent = TRegistryKey::Open(RegRoot::CurrentUser, u"\\Software");
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->SubKeyNames(), std::vector<std::u16string>{u"Sondral"});
    EXPECT_FALSE(TRegistryKey::Open(RegRoot::LocalMachine, u"\\Software\\Sondral")); // other root
}

TEST_F(RegistryTest, CorruptHiveLinesAreSkipped)
{
    TRegistryKey::Create(RegRoot::CurrentUser, u"A").WriteInteger(u"x", 1);
    {
        std::ofstream out(RegistryFolder(RegRoot::CurrentUser) + "/registry.txt", std::ios::app);
        out << "garbage\nI:y=notanumber\nI:z=99999999999\nS:noequals\n[B]\nS:w=ok\n";
    }
    const auto a = TRegistryKey::Open(RegRoot::CurrentUser, u"A");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ValueNames(), std::vector<std::u16string>{u"x"});
    const auto b = TRegistryKey::Open(RegRoot::CurrentUser, u"B");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->ReadValue(u"w")->str, u"ok");
}

TEST_F(RegistryTest, SerialCommKeyIsSynthesisedFromTheDeviceMap)
{
    const MapFile map({{"COM3", "/dev/pts/7"}, {"COM1", "/dev/ttyUSB0"}});
    const auto key = TRegistryKey::Open(RegRoot::LocalMachine, u"\\hardware\\devicemap\\serialcomm");
    ASSERT_TRUE(key);
    const std::vector<std::u16string> names = {u"\\Device\\pts/7", u"\\Device\\ttyUSB0"};
    EXPECT_EQ(key->ValueNames(), names);
    EXPECT_EQ(key->ReadValue(u"\\Device\\ttyUSB0")->str, u"COM1");
    EXPECT_EQ(key->ReadValue(u"\\device\\PTS/7")->str, u"COM3");
    EXPECT_THROW(TRegistryKey::Create(RegRoot::LocalMachine, u"\\HARDWARE\\DEVICEMAP\\SERIALCOMM")
                     .WriteString(u"x", u"COM9"),
                 std::runtime_error);

    EXPECT_FALSE(TRegistryKey::Open(RegRoot::LocalMachine, u"\\Enum\\BIOS\\*PNP0501"));
    EXPECT_FALSE(TRegistryKey::Open(RegRoot::CurrentUser, u"\\hardware\\devicemap\\serialcomm"));
    const auto root = TRegistryKey::Open(RegRoot::LocalMachine, u"");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->SubKeyNames(), std::vector<std::u16string>{u"HARDWARE"});
}

} // namespace
