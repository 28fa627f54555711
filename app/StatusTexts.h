// The texts the dialog writes into its status bar: built-in English, or assembled from the language
// table when translations are in use.
#pragma once

#include "platform/Text.h"
#include "translations/Taal.h"

namespace app {

platform::Text ScanStartsStatus(const translations::TTaal_dat& taal);
platform::Text PortNodesMadeStatus(const translations::TTaal_dat& taal);
platform::Text AttemptStatus(const translations::TTaal_dat& taal, platform::TextView portName, int rate);
platform::Text ScanEndsStatus(const translations::TTaal_dat& taal);

} // namespace app
