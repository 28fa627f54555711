#include "platform/posix/SerialDeviceMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace platform;

TEST(AutomaticSerialMapTest, UartsByNumberThenOtherDevicesByKindAndNumber)
{
    const std::vector<TtyDevice> devices = {
        {"ttyUSB10", true}, {"ttyS1", true},  {"ttyS0", false}, {"ttyACM0", true}, {"ttyUSB2", true},
        {"rfcomm0", true},  {"ttyS10", true}, {"ttyAMA0", true}, {"ttyUSB0", false},
    };
    const SerialMap expected = {
        {"COM2", "/dev/ttyS1"},     {"COM11", "/dev/ttyS10"},   {"COM33", "/dev/rfcomm0"},
        {"COM34", "/dev/ttyACM0"},  {"COM35", "/dev/ttyAMA0"},  {"COM36", "/dev/ttyUSB2"},
        {"COM37", "/dev/ttyUSB10"},
    };
    EXPECT_EQ(BuildSerialDeviceMap(devices), expected);
}

TEST(SerialDeviceMapSysfsTest, UartTypeComesFromSysfsAndNoNodeIsOpened)
{
    // A tty class folder as the kernel shows it; none of these names has a node in /dev, so a scan that
    // opened nodes would find nothing real.
    const auto root = std::filesystem::temp_directory_path() / ("sondral-tty-" + std::to_string(::getpid()));
    const auto add = [&](const std::string& name, bool device, const char* type) {
        std::filesystem::create_directories(root / name);
        if (device)
            std::filesystem::create_directories(root / name / "device");
        if (type != nullptr)
            std::ofstream(root / name / "type") << type << "\n";
    };
    add("ttyS70", true, "4");  // a 16550A
    add("ttyS71", true, "0");  // no UART behind the node
    add("ttyS72", true, nullptr);
    add("ttyUSB70", true, nullptr);
    add("tty70", false, nullptr); // a virtual console
    std::vector<TtyDevice> devices = ScanTtyClass(root.string());
    std::sort(devices.begin(), devices.end(), [](const TtyDevice& a, const TtyDevice& b) { return a.name < b.name; });
    std::vector<std::pair<std::string, bool>> seen;
    for (const TtyDevice& d : devices)
        seen.emplace_back(d.name, d.isSerial);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{
                        {"ttyS70", true}, {"ttyS71", false}, {"ttyS72", false}, {"ttyUSB70", true}}));
    std::filesystem::remove_all(root);
}
