// The found-port record: what one port delivered at the rate at which it was found.
#pragma once

#include "platform/Text.h"

namespace app {

// The sentence type chosen for each kind of navigation data; empty when none was chosen.
struct TSourceChoice {
    platform::Text PositionNMEA;
    platform::Text KoersNMEA;
    platform::Text SpeedNMEA;
    platform::Text DepthNMEA;
    platform::Text WaterSpeedNMEA;
    platform::Text AISNMEA;
    platform::Text HeadingNMEA;
    platform::Text RotationNMEA;

    void Clear() { *this = TSourceChoice(); }
    bool operator==(const TSourceChoice&) const = default;
};

struct TValues {
    platform::Text PositionNMEA;
    platform::Text KoersNMEA;
    platform::Text SpeedNMEA;
    platform::Text DepthNMEA;
    platform::Text WaterSpeedNMEA;
    platform::Text AISNMEA;
    platform::Text HeadingNMEA;
    platform::Text RotationNMEA;
    int Baud = 0;    // index 1 to 6 into BaudRates, not the rate itself
    int ComPort = 0; // port number
    bool CheckTwoDecimalRMC = false;
};

} // namespace app
