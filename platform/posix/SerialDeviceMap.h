// The rules behind SerialDeviceMap (Comm.h), exposed for tests and tools.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

using SerialMap = std::vector<std::pair<std::string, std::string>>;

// The lines NAME=/dev/... of a map file in file order; blank lines and lines starting with '#' are skipped,
// as are lines without '=' or with an empty name or node. Blanks around name and node are trimmed.
SerialMap ParseSerialDeviceMap(std::string_view text);

// One terminal device found under /sys/class/tty.
struct TtyDevice {
    std::string name;      // "ttyS0", "ttyUSB1", "rfcomm0", ...
    bool isSerial = false; // has a device behind it (a real UART for ttyS<k>)
};

// The terminal devices of a sysfs tty class folder (/sys/class/tty), read without opening any node:
// entries without a device behind them (virtual consoles, ptmx) are left out; ttyS<k> counts as serial
// only where the serial core's type attribute reports a UART (not 0).
std::vector<TtyDevice> ScanTtyClass(const std::string& root);

// The automatic map: ttyS<k> that are real UARTs as COM<k+1> (k < 32), then every other serial device,
// ordered by kind name and number, as COM33, COM34, ...
SerialMap BuildSerialDeviceMap(std::vector<TtyDevice> devices);

// The node of a port name ("COM3", "\\.\COM3"; letter case ignored) in the map of the last listing
// (SerialDeviceMap); a name it lacks builds the map anew. A map file is read each time.
std::optional<std::string> SerialDeviceNode(std::u16string_view name);

} // namespace platform
