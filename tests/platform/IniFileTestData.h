// The chart program's configuration file and the helpers shared by the ini module's tests.
#pragma once

#include "platform/IniFile.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace ini_test {

using platform::Text;
using platform::TextView;

inline const std::string kFixture = std::string(SONDRAL_FIXTURES) + "/ini/chartprogram.ini";
inline const std::string kOldConnections = "DataConnections=0;2;0.0.0.0;0;0;COM4;4800;1;1;0;;0;;1;0;53;0;1;;1";
inline const Text kNewConnections = u"0;2;0.0.0.0;0;0;COM5;38400;1;1;0;;0;;1;0;53;0;1;;1|"
                                    u"0;2;0.0.0.0;0;0;COM3;4800;1;0;0;;0;;1;0;53;0;1;;1";

inline std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string WriteAndReport(const std::string& path, TextView section, TextView key, TextView value)
{
    try {
        platform::TIniFile(path).WriteString(section, key, value);
        return "written";
    } catch (const platform::EIniFileException& e) {
        return e.what();
    }
}

} // namespace ini_test
