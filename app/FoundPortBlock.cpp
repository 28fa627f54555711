#include "app/FoundPortBlock.h"

#include <algorithm>

namespace app {

using platform::Text;

namespace {

bool BlankText(const Text& text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c <= u' '; });
}

} // namespace

Text BaudNodeText(int rate)
{
    return u"Baud : " + platform::IntToText(rate);
}

Text NmeaNodeText()
{
    return u"NMEA:";
}

std::vector<Text> SourceLines(const TSourceChoice& choice)
{
    const std::pair<const Text*, const char16_t*> rows[] = {
        {&choice.PositionNMEA, u"Position : "},  {&choice.KoersNMEA, u"Course    : "},
        {&choice.SpeedNMEA, u"Speed     : "},    {&choice.DepthNMEA, u"Depth     : "},
        {&choice.WaterSpeedNMEA, u"Waterspeed: "}, {&choice.AISNMEA, u"AIS       : "},
        {&choice.HeadingNMEA, u"Heading   : "},  {&choice.RotationNMEA, u"Rotation  : "},
    };
    std::vector<Text> lines;
    for (const auto& [chosen, label] : rows)
        if (!BlankText(*chosen))
            lines.push_back(label + *chosen);
    return lines;
}

Text UnusedLine(const std::vector<Text>& unusedTypes)
{
    if (unusedTypes.empty())
        return {};
    Text line = u"Unused   : ";
    for (const Text& type : unusedTypes)
        line += type + u", ";
    return line;
}

bool IsMainGpsCandidate(const TSourceChoice& choice)
{
    return !BlankText(choice.PositionNMEA) && choice.PositionNMEA != u"VDO";
}

bool ShowsAisGps(const TSourceChoice& choice)
{
    return choice.PositionNMEA == u"VDO" || choice.KoersNMEA == u"VDO" || choice.SpeedNMEA == u"VDO";
}

} // namespace app
