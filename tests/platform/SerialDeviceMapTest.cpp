#include "platform/SerialDeviceMap.h"

#include <gtest/gtest.h>

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
