// The registry interface on the system's registry, and the COM port list from the serial drivers' device map.
#include "platform/Comm.h"
#include "platform/Registry.h"

#include <windows.h> // after our headers, which name Windows's constants themselves

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace {

const wchar_t* const kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
const wchar_t* const kTestDevice = L"\\Device\\SondralTest7";

// Adds a port to the device map for the test's lifetime, as a serial driver does when it starts.
class DeviceMapEntry {
public:
    explicit DeviceMapEntry(const wchar_t* port)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return;
        const auto bytes = static_cast<DWORD>((wcslen(port) + 1) * sizeof(wchar_t));
        added_ = RegSetValueExW(key, kTestDevice, 0, REG_SZ, reinterpret_cast<const BYTE*>(port), bytes) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~DeviceMapEntry()
    {
        if (added_)
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSerialComm, kTestDevice);
    }
    DeviceMapEntry(const DeviceMapEntry&) = delete;
    DeviceMapEntry& operator=(const DeviceMapEntry&) = delete;
    bool Added() const { return added_; }

private:
    bool added_ = false;
};

TEST(RegistryDeviceMap, PortsOfTheSerialDriversAreListedWithTheirDevices)
{
    const DeviceMapEntry entry(L"COM77");
    if (!entry.Added())
        GTEST_SKIP() << "the device map cannot be written here (needs administrator rights on Windows)";
    const auto map = platform::SerialDeviceMap();
    const std::pair<std::string, std::string> expected{"COM77", "\\Device\\SondralTest7"};
    EXPECT_NE(std::find(map.begin(), map.end(), expected), map.end());

    // The serial component reads the same key through the registry interface, in either spelling.
    const auto key = platform::TRegistryKey::Open(platform::RegRoot::LocalMachine, u"\\hardware\\devicemap\\serialcomm\\");
    ASSERT_TRUE(key);
    const auto value = key->ReadValue(u"\\Device\\SondralTest7");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, platform::RegValue::Type::String);
    EXPECT_EQ(value->str, u"COM77");
    const auto names = key->ValueNames();
    EXPECT_NE(std::find(names.begin(), names.end(), u"\\Device\\SondralTest7"), names.end());
}

TEST(RegistryDeviceMap, KeysAndValuesRoundTripUnderTheCurrentUser)
{
    const std::u16string path = u"Software\\Sondral tests\\Settings " + std::u16string(1, u'\u00E9');
    {
        platform::TRegistryKey key = platform::TRegistryKey::Create(platform::RegRoot::CurrentUser, path);
        key.WriteString(u"Port", u"COM\u00E95");
        key.WriteInteger(u"BaudRate", 38400);
        key.WriteString(u"Port", u"COM3"); // replaced, not added
    }
    const auto key = platform::TRegistryKey::Open(platform::RegRoot::CurrentUser, u"\\software\\SONDRAL TESTS\\settings \u00C9");
    ASSERT_TRUE(key);
    std::vector<std::u16string> names = key->ValueNames(); // in the registry's order
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"BaudRate", u"Port"}));
    EXPECT_EQ(key->ReadValue(u"port")->str, u"COM3");
    EXPECT_EQ(key->ReadValue(u"BaudRate")->integer, 38400u);
    EXPECT_EQ(key->ReadValue(u"BaudRate")->type, platform::RegValue::Type::Integer);
    EXPECT_FALSE(key->ReadValue(u"Missing"));
    const auto parent = platform::TRegistryKey::Open(platform::RegRoot::CurrentUser, u"Software\\Sondral tests");
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->SubKeyNames(), (std::vector<std::u16string>{path.substr(path.rfind(u'\\') + 1)}));
    EXPECT_FALSE(platform::TRegistryKey::Open(platform::RegRoot::CurrentUser, u"Software\\Sondral tests\\none"));
    EXPECT_EQ(platform::GetLastError(), 2u);
    EXPECT_THROW(platform::TRegistryKey::Create(platform::RegRoot::CurrentUser, u"").WriteString(u"x", u"y"),
                 std::runtime_error);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Sondral tests");
}

} // namespace
