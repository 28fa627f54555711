#include "app/SourceSelection.h"

#include <initializer_list>
#include <string_view>

namespace app {

using platform::Text;

namespace {

// The first present type of the preference order goes into target.
bool Choose(Text& target, const TTypePresent& present, std::initializer_list<std::u16string_view> order)
{
    for (std::u16string_view type : order) {
        if (present(type)) {
            target = Text(type);
            return true;
        }
    }
    return false;
}

} // namespace

bool SelectSources(TSourceChoice& choice, const TTypePresent& present, bool checkTwoDecimalRMC)
{
    bool any = false;
    if (present(u"RMC") && !checkTwoDecimalRMC) {
        choice.KoersNMEA = u"RMC";
        choice.SpeedNMEA = u"RMC";
        choice.PositionNMEA = u"RMC";
        any = true;
    } else {
        any |= Choose(choice.PositionNMEA, present, {u"GGA", u"GLL", u"VDO"});
        any |= Choose(choice.KoersNMEA, present, {u"VTG", u"HDM", u"VDO"});
        any |= Choose(choice.SpeedNMEA, present, {u"VTG", u"VBW", u"VDO"});
    }
    any |= Choose(choice.WaterSpeedNMEA, present, {u"VHW"});
    any |= Choose(choice.DepthNMEA, present, {u"DBT", u"DPT", u"DBE", u"DBS"});
    any |= Choose(choice.AISNMEA, present, {u"VDM"});
    any |= Choose(choice.HeadingNMEA, present, {u"VHW", u"HDG", u"HDT", u"HDM"});
    any |= Choose(choice.RotationNMEA, present, {u"ROT"});
    return any;
}

} // namespace app
