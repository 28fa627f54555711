#include "app/StatusTexts.h"

namespace app {

using platform::Text;

namespace {

Text Pick(const translations::TTaal_dat& taal, int id, const char16_t* english)
{
    return taal.IgnoreTaal() ? Text(english) : taal.GetTaal(id);
}

} // namespace

Text ScanStartsStatus(const translations::TTaal_dat& taal)
{
    return Pick(taal, 1060, u"Find available ports");
}

Text PortNodesMadeStatus(const translations::TTaal_dat& taal)
{
    return Pick(taal, 1061, u"Try to receive from port");
}

Text AttemptStatus(const translations::TTaal_dat& taal, platform::TextView portName, int rate)
{
    Text status = Pick(taal, 1061, u"Try to receive from port");
    status += u" ";
    status += portName;
    status += u" " + Pick(taal, 1062, u"with baudrate") + u" " + platform::IntToText(rate);
    return status;
}

Text ScanEndsStatus(const translations::TTaal_dat& taal)
{
    return Pick(taal, 1063, u"Test Finished") + u"!!!";
}

} // namespace app
