// The names of the machine's serial ports, as the platform's device registry lists them.
#pragma once

#include "platform/Text.h"

#include <vector>

namespace serial {

// Replaces Value with the port names: those of "\Enum\BIOS\*PNP0501" in registry order, then the
// string data of "\hardware\devicemap\serialcomm" not yet listed (compared without regard to case).
void GetComPortNames(std::vector<platform::Text>& Value);

} // namespace serial
