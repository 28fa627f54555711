// The six rates the scan tries, indexed 1 to 6; the first rate that brings data wins.
#pragma once

#include <array>
#include <cstddef>

namespace app {

inline constexpr int BaudRateCount = 6;
inline constexpr std::array<int, BaudRateCount> BaudRateTable{4800, 9600, 14400, 19200, 38400, 57600};

// BaudRates[i] for i from 1 to 6; 0 for any other index.
constexpr int BaudRates(int index)
{
    return index >= 1 && index <= BaudRateCount ? BaudRateTable[static_cast<std::size_t>(index - 1)] : 0;
}

} // namespace app
