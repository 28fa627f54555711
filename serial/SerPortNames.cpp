#include "serial/SerPortNames.h"

#include "platform/Registry.h"

#include <algorithm>
#include <optional>

namespace serial {

using namespace platform;

void GetComPortNames(std::vector<Text>& Value)
{
    Value.clear();

    const Text bios = u"\\Enum\\BIOS\\*PNP0501";
    if (const std::optional<TRegistryKey> key = TRegistryKey::Open(RegRoot::LocalMachine, bios)) {
        for (const Text& sub : key->SubKeyNames()) {
            const std::optional<TRegistryKey> port = TRegistryKey::Open(RegRoot::LocalMachine, bios + u"\\" + sub);
            if (!port)
                continue;
            const std::optional<RegValue> name = port->ReadValue(u"PortName");
            if (name && name->type == RegValue::Type::String)
                Value.push_back(name->str);
        }
    }

    if (const std::optional<TRegistryKey> key =
            TRegistryKey::Open(RegRoot::LocalMachine, u"\\hardware\\devicemap\\serialcomm")) {
        for (const Text& valueName : key->ValueNames()) {
            const std::optional<RegValue> data = key->ReadValue(valueName);
            if (!data || data->type != RegValue::Type::String)
                continue;
            const bool known = std::any_of(Value.begin(), Value.end(), [&](const Text& t) {
                return CompareTextNoCase(t, data->str) == 0;
            });
            if (!known)
                Value.push_back(data->str);
        }
    }
}

} // namespace serial
