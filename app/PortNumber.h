// The port number in a port name: COM3 gives 3; a name that is not "COM" and a number gives 0.
#pragma once

#include "platform/Text.h"

namespace app {

int PortNumberFromName(platform::TextView name);

} // namespace app
