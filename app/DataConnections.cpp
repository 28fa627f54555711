#include "app/DataConnections.h"

#include "app/BaudRates.h"
#include "platform/IniFile.h"

namespace app {

using platform::Text;

Text ConnectionDescription(platform::TextView portName, int baudRate, bool first)
{
    Text d = u"0;2;0.0.0.0;0;0;";
    d += portName;
    d += u";" + platform::IntToText(baudRate);
    d += first ? u";1;1;0;;0;;1;0;53;0;1;;1" : u";1;0;0;;0;;1;0;53;0;1;;1";
    return d;
}

Text BuildDataConnections(const std::vector<TValues>& foundPorts)
{
    struct Port {
        Text name;
        int rate = 0;
        bool found = false;
    };
    Port ais;
    Port gps;
    for (const TValues& v : foundPorts) {
        Port* target = nullptr;
        if (v.PositionNMEA == u"VDO" || v.AISNMEA == u"VDM")
            target = &ais;
        else if (v.PositionNMEA == u"RMC" || v.PositionNMEA == u"GGA" || v.PositionNMEA == u"GLL")
            target = &gps;
        if (target)
            *target = Port{u"COM" + platform::IntToText(v.ComPort), BaudRates(v.Baud), true};
    }
    if (ais.found) {
        Text value = ConnectionDescription(ais.name, ais.rate, true);
        if (gps.found)
            value += u"|" + ConnectionDescription(gps.name, gps.rate, false);
        return value;
    }
    if (gps.found)
        return ConnectionDescription(gps.name, gps.rate, true);
    return {};
}

std::string ChartConfigPath(const std::string& allUsersProfile)
{
    return allUsersProfile + "/" + DataFolderName + "/opencpn.ini";
}

void WriteDataConnections(const std::string& path, platform::TextView value)
{
    platform::TIniFile ini(path);
    ini.WriteString(DataConnectionsSection, DataConnectionsKey, value);
}

} // namespace app
