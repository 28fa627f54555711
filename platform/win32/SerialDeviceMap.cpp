#include "platform/Comm.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace platform {

// The serial drivers' own list: HKLM\HARDWARE\DEVICEMAP\SERIALCOMM holds one value per port, named by the
// driver's device ("\Device\Serial0") with the port name ("COM1") as its data; in the key's order.
std::vector<std::pair<std::string, std::string>> SerialDeviceMap()
{
    std::vector<std::pair<std::string, std::string>> map;
    const auto key = TRegistryKey::Open(RegRoot::LocalMachine, u"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!key)
        return map;
    for (const std::u16string& device : key->ValueNames()) {
        const auto value = key->ReadValue(device);
        if (value && value->type == RegValue::Type::String && !value->str.empty())
            map.emplace_back(TextToUtf8(value->str), TextToUtf8(device));
    }
    return map;
}

} // namespace platform
