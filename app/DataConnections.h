// The chart program's serial data connections built from the found-port records, and where they go.
#pragma once

#include "app/Values.h"
#include "platform/Text.h"

#include <string>
#include <vector>

namespace app {

inline constexpr char DataFolderName[] = "Brixel2022";
inline constexpr char16_t DataConnectionsSection[] = u"Settings/NMEADataSource";
inline constexpr char16_t DataConnectionsKey[] = u"DataConnections";

// One connection description of 20 ";"-separated fields; first tells whether it opens the value.
platform::Text ConnectionDescription(platform::TextView portName, int baudRate, bool first);
// The AIS connection (the last VDO/VDM record), then "|" and the GPS connection (the last RMC/GGA/GLL
// record); empty when neither was found.
platform::Text BuildDataConnections(const std::vector<TValues>& foundPorts);
// allUsersProfile + "/" + DataFolderName + "/opencpn.ini".
std::string ChartConfigPath(const std::string& allUsersProfile);
// Writes the value under its key, keeping all other content; throws "Unable to write to <path>".
void WriteDataConnections(const std::string& path, platform::TextView value);

} // namespace app
