#include "app/FoundPortBlock.h"
#include "app/SourceSelection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using app::TSourceChoice;
using platform::Text;

namespace {

struct Case {
    const char* name;
    std::vector<Text> present;
    bool lowPrecisionRmc;
    bool selected;
    std::vector<Text> lines; // the NMEA node's source lines
    bool mainGps;
    bool aisGps;
};

TSourceChoice Select(const std::vector<Text>& present, bool lowPrecisionRmc, bool& selected)
{
    TSourceChoice choice;
    selected = app::SelectSources(
        choice,
        [&](platform::TextView type) { return std::find(present.begin(), present.end(), type) != present.end(); },
        lowPrecisionRmc);
    return choice;
}

} // namespace

TEST(SelectSourcesTest, ChoicesAndBlockLinesPerReceivedTypes)
{
    const Case cases[] = {
        {"full-precision RMC", {u"RMC"}, false, true,
         {u"Position : RMC", u"Course    : RMC", u"Speed     : RMC"}, true, false},
        {"low-precision RMC alone", {u"RMC"}, true, false, {}, false, false},
        {"low-precision RMC with GGA and VTG", {u"GGA", u"RMC", u"VTG"}, true, true,
         {u"Position : GGA", u"Course    : VTG", u"Speed     : VTG"}, true, false},
        {"RMC wins over GGA and VTG", {u"GGA", u"RMC", u"VTG"}, false, true,
         {u"Position : RMC", u"Course    : RMC", u"Speed     : RMC"}, true, false},
        {"VHW alone", {u"VHW"}, false, true, {u"Waterspeed: VHW", u"Heading   : VHW"}, false, false},
        {"HDM alone", {u"HDM"}, false, true, {u"Course    : HDM", u"Heading   : HDM"}, false, false},
        {"VDO alone", {u"VDO"}, false, true,
         {u"Position : VDO", u"Course    : VDO", u"Speed     : VDO"}, false, true},
        {"VDM alone", {u"VDM"}, false, true, {u"AIS       : VDM"}, false, false},
        {"DBS alone", {u"DBS"}, false, true, {u"Depth     : DBS"}, false, false},
        {"GLL with VBW", {u"GLL", u"VBW"}, false, true, {u"Position : GLL", u"Speed     : VBW"}, true, false},
        {"depth preference", {u"DBE", u"DBS", u"DPT"}, false, true, {u"Depth     : DPT"}, false, false},
        {"heading preference", {u"HDG", u"HDM", u"HDT"}, false, true,
         {u"Course    : HDM", u"Heading   : HDG"}, false, false},
        {"everything", {u"DBT", u"GGA", u"HDT", u"ROT", u"VDM", u"VDO", u"VHW", u"VTG"}, false, true,
         {u"Position : GGA", u"Course    : VTG", u"Speed     : VTG", u"Depth     : DBT", u"Waterspeed: VHW",
          u"AIS       : VDM", u"Heading   : VHW", u"Rotation  : ROT"},
         true, false},
        {"GGA with own-ship VDO course", {u"GGA", u"VDO"}, false, true,
         {u"Position : GGA", u"Course    : VDO", u"Speed     : VDO"}, true, true},
        {"nothing present", {}, false, false, {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool selected = false;
        const TSourceChoice choice = Select(c.present, c.lowPrecisionRmc, selected);
        EXPECT_EQ(selected, c.selected);
        EXPECT_EQ(app::SourceLines(choice), c.lines);
        EXPECT_EQ(app::IsMainGpsCandidate(choice), c.mainGps);
        EXPECT_EQ(app::ShowsAisGps(choice), c.aisGps);
    }
}

TEST(SelectSourcesTest, NeverEmptiesAText)
{
    TSourceChoice choice;
    choice.DepthNMEA = u"DBT";
    choice.PositionNMEA = u"GLL";
    const bool selected = app::SelectSources(
        choice, [](platform::TextView type) { return type == u"ROT"; }, false);
    EXPECT_TRUE(selected);
    EXPECT_EQ(choice.DepthNMEA, u"DBT");
    EXPECT_EQ(choice.PositionNMEA, u"GLL");
    EXPECT_EQ(choice.RotationNMEA, u"ROT");
}

TEST(SelectSourcesTest, BlockTexts)
{
    EXPECT_EQ(app::BaudNodeText(38400), u"Baud : 38400");
    EXPECT_EQ(app::NmeaNodeText(), u"NMEA:");
    EXPECT_EQ(app::UnusedLine({u"GSA", u"GSV"}), u"Unused   : GSA, GSV, ");
    EXPECT_EQ(app::UnusedLine({}), u"");
    // Blank choices make no line and no main-GPS candidate.
    TSourceChoice blank;
    blank.PositionNMEA = u"  ";
    EXPECT_TRUE(app::SourceLines(blank).empty());
    EXPECT_FALSE(app::IsMainGpsCandidate(blank));
}
