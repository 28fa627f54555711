#include "app/DataModuleStart.h"

#include "platform/ui/Application.h"
#include "translations/Taal.h"

namespace app {

std::unique_ptr<translations::TTaal_dat> CreateTaal_dat(platform::ui::TApplication& application)
{
    auto taal = std::make_unique<translations::TTaal_dat>();
    if (taal->ConnectError())
        application.HandleException(taal->ConnectError());
    return taal;
}

} // namespace app
