#include "app/DataConnections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using app::TValues;
using platform::Text;

namespace {

TValues Record(int comPort, int baudIndex, Text position, Text ais = {}, Text depth = {})
{
    TValues v;
    v.ComPort = comPort;
    v.Baud = baudIndex;
    v.PositionNMEA = std::move(position);
    v.AISNMEA = std::move(ais);
    v.DepthNMEA = std::move(depth);
    return v;
}

const Text Gps3 = u"0;2;0.0.0.0;0;0;COM3;4800;1;1;0;;0;;1;0;53;0;1;;1";

} // namespace

TEST(AcceptDataConnectionsTest, ValuePerFoundPorts)
{
    struct Case {
        const char* name;
        std::vector<TValues> found;
        Text value;
    };
    const Case cases[] = {
        {"GPS on COM3 and AIS receiver on COM5",
         {Record(3, 1, u"RMC"), Record(5, 5, u"", u"VDM")},
         u"0;2;0.0.0.0;0;0;COM5;38400;1;1;0;;0;;1;0;53;0;1;;1|0;2;0.0.0.0;0;0;COM3;4800;1;0;0;;0;;1;0;53;0;1;;1"},
        {"only the GPS", {Record(3, 1, u"RMC")}, Gps3},
        {"AIS transponder with VDO position", {Record(4, 3, u"VDO")},
         u"0;2;0.0.0.0;0;0;COM4;14400;1;1;0;;0;;1;0;53;0;1;;1"},
        {"one port with GGA and VDM is AIS only", {Record(2, 2, u"GGA", u"VDM")},
         u"0;2;0.0.0.0;0;0;COM2;9600;1;1;0;;0;;1;0;53;0;1;;1"},
        {"two GPS ports: the later wins", {Record(1, 1, u"GGA"), Record(2, 4, u"RMC")},
         u"0;2;0.0.0.0;0;0;COM2;19200;1;1;0;;0;;1;0;53;0;1;;1"},
        {"GLL position", {Record(3, 1, u"GLL")}, Gps3},
        {"depth only", {Record(3, 1, u"", u"", u"DBT")}, u""},
        {"nothing found", {}, u""},
        {"two AIS ports and a GPS: last AIS wins",
         {Record(7, 5, u"", u"VDM"), Record(3, 1, u"GGA"), Record(8, 6, u"VDO")},
         u"0;2;0.0.0.0;0;0;COM8;57600;1;1;0;;0;;1;0;53;0;1;;1|0;2;0.0.0.0;0;0;COM3;4800;1;0;0;;0;;1;0;53;0;1;;1"},
        {"two-digit port", {Record(12, 1, u"RMC")}, u"0;2;0.0.0.0;0;0;COM12;4800;1;1;0;;0;;1;0;53;0;1;;1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(app::BuildDataConnections(c.found), c.value);
    }
}

TEST(AcceptDataConnectionsTest, DescriptionHasTwentyFields)
{
    const Text d = app::ConnectionDescription(u"COM9", 9600, false);
    EXPECT_EQ(std::count(d.begin(), d.end(), u';'), 19);
    EXPECT_EQ(d, u"0;2;0.0.0.0;0;0;COM9;9600;1;0;0;;0;;1;0;53;0;1;;1");
}

TEST(AcceptDataConnectionsTest, ConfigPathUnderAllUsersProfile)
{
    EXPECT_EQ(app::ChartConfigPath("/srv/profile"), "/srv/profile/Brixel2022/opencpn.ini");
    EXPECT_EQ(app::ChartConfigPath(""), "/Brixel2022/opencpn.ini");
}
