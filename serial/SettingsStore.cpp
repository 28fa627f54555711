#include "serial/SettingsStore.h"

#include "platform/Paths.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "serial/SerComm.h"

#include <optional>

namespace serial {

using namespace platform;

void TSettingsStore::Assign(const TSerPersistent& Source)
{
    const auto* src = dynamic_cast<const TSettingsStore*>(&Source);
    if (src == nullptr)
        return;
    FKey = src->FKey;
    FLocation = src->FLocation;
    FRegRoot = src->FRegRoot;
    FSection = src->FSection;
}

namespace {

// Flow-control code of the stored settings: 1 hardware lines enabled, 2 XON/XOFF, 0 none.
int64_t FlowCode(const TSerFlowControl& flow)
{
    if (flow.ControlDtr() == TSerControlDtr::dtrEnabled || flow.ControlRts() == TSerControlRts::rtsEnabled)
        return 1;
    if (flow.XonXoffOut() || flow.XonXoffIn())
        return 2;
    return 0;
}

RegRoot RootOf(TRegRootKey key)
{
    return key == TRegRootKey::rrLOCALMACHINE ? RegRoot::LocalMachine : RegRoot::CurrentUser;
}

// The subkey Section lies beneath Key, for saving and loading alike.
Text RegistryPath(const TSettingsStore& store)
{
    if (store.Key().empty())
        return store.Section();
    if (store.Section().empty())
        return store.Key();
    return store.Key() + u"\\" + store.Section();
}

// The program's path with its extension replaced by ".INI".
Text DefaultIniName()
{
    std::string path = ExecutablePath();
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        path.erase(dot);
    return Utf8ToText(path + ".INI");
}

// A registry value as the registry-ini accessor reads an integer: string data parsed as decimal or
// "0x" hexadecimal, integer data as is; anything else 0.
int64_t ReadRegInteger(const TRegistryKey& key, const char16_t* name)
{
    const std::optional<RegValue> v = key.ReadValue(name);
    if (!v)
        return 0;
    if (v->type == RegValue::Type::Integer)
        return v->integer;
    const std::string s = TextToUtf8(v->str);
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        int64_t value = 0;
        for (size_t i = 2; i < s.size(); ++i) {
            const char c = s[i];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0 || value > (int64_t(1) << 40))
                return 0;
            value = value * 16 + digit;
        }
        return value;
    }
    return StrToInt(s).value_or(0);
}

bool InRange(int64_t ordinal, int count)
{
    return ordinal >= 0 && ordinal < count;
}

} // namespace

void TSerCustomComm::SaveSettings()
{
    const int64_t flow = FlowCode(FFlowControl);
    const std::pair<const char16_t*, int64_t> values[] = {
        {u"BAUDRATE", static_cast<int64_t>(FBaudrate)},
        {u"PARITY", static_cast<int64_t>(FParity)},
        {u"DATABITS", static_cast<int64_t>(FDatabits)},
        {u"PORTNUM", FPortNum},
    };
    const Text comName = u"COM" + IntToText(FPortNum);

    if (FSettingsStore.Location() == TSettingsLocation::slRegistry) {
        TRegistryKey key = TRegistryKey::Create(RootOf(FSettingsStore.RegRoot()), RegistryPath(FSettingsStore));
        for (const auto& [name, value] : values)
            key.WriteString(name, IntToText(value));
        key.WriteString(u"STOPBITS", IntToText(static_cast<int64_t>(FStopbits)));
        key.WriteString(u"COMNAME", comName);
        key.WriteString(u"FLOWCONTROL", IntToText(flow));
        key.WriteString(u"FLAG", u"1");
        return;
    }

    if (FSettingsStore.Key().empty())
        FSettingsStore.SetKey(DefaultIniName());
    if (FSettingsStore.Section().empty())
        FSettingsStore.SetSection(Name());
    TIniFile ini(TextToUtf8(FSettingsStore.Key()));
    const Text& section = FSettingsStore.Section();
    for (const auto& [name, value] : values)
        ini.WriteInteger(section, name, value);
    ini.WriteInteger(section, u"STOPBITS", static_cast<int64_t>(FStopbits));
    ini.WriteString(section, u"COMNAME", comName);
    ini.WriteInteger(section, u"FLOWCONTROL", flow);
    ini.WriteInteger(section, u"FLAG", 1);
}

bool TSerCustomComm::LoadSettings()
{
    struct Stored {
        int64_t baud = 0, parity = 0, databits = 0, portnum = 0, stopbits = 0, flow = 0;
    } s;

    if (FSettingsStore.Location() == TSettingsLocation::slRegistry) {
        const std::optional<TRegistryKey> key =
            TRegistryKey::Open(RootOf(FSettingsStore.RegRoot()), RegistryPath(FSettingsStore));
        if (!key || ReadRegInteger(*key, u"FLAG") != 1)
            return false;
        s.baud = ReadRegInteger(*key, u"BAUDRATE");
        s.parity = ReadRegInteger(*key, u"PARITY");
        s.databits = ReadRegInteger(*key, u"DATABITS");
        s.portnum = ReadRegInteger(*key, u"PORTNUM");
        s.stopbits = ReadRegInteger(*key, u"STOPBITS");
        s.flow = ReadRegInteger(*key, u"FLOWCONTROL");
    } else {
        if (FSettingsStore.Key().empty())
            FSettingsStore.SetKey(DefaultIniName());
        if (FSettingsStore.Section().empty())
            FSettingsStore.SetSection(Name());
        const TIniFile ini(TextToUtf8(FSettingsStore.Key()));
        const Text& section = FSettingsStore.Section();
        if (ini.ReadInteger(section, u"FLAG", 0) != 1)
            return false;
        s.baud = ini.ReadInteger(section, u"BAUDRATE", 0);
        s.parity = ini.ReadInteger(section, u"PARITY", 0);
        s.databits = ini.ReadInteger(section, u"DATABITS", 0);
        s.portnum = ini.ReadInteger(section, u"PORTNUM", 0);
        s.stopbits = ini.ReadInteger(section, u"STOPBITS", 0);
        s.flow = ini.ReadInteger(section, u"FLOWCONTROL", 0);
    }

    // A stored ordinal outside its table is no valid setting: it is refused and the property keeps its
    // value, so no table is ever indexed outside its range.
    if (InRange(s.baud, SerBaudrateCount))
        SetBaudrate(static_cast<TSerBaudrate>(s.baud));
    if (InRange(s.parity, SerParityCount))
        SetParity(static_cast<TSerParity>(s.parity));
    if (InRange(s.databits, SerDatabitsCount))
        SetDatabits(static_cast<TSerDatabits>(s.databits));
    if (s.portnum >= 0 && s.portnum <= 0x7FFFFFFF)
        SetPortNum(static_cast<TSerPortInt>(s.portnum));
    if (InRange(s.stopbits, SerStopbitsCount))
        SetStopbits(static_cast<TSerStopbits>(s.stopbits));

    switch (s.flow) {
    case 0:
        FFlowControl.SetControlDtr(TSerControlDtr::dtrDisabled);
        FFlowControl.SetControlRts(TSerControlRts::rtsDisabled);
        FFlowControl.SetXonXoffOut(false);
        FFlowControl.SetXonXoffIn(false);
        break;
    case 1:
        FFlowControl.SetControlDtr(TSerControlDtr::dtrEnabled);
        FFlowControl.SetControlRts(TSerControlRts::rtsEnabled);
        FFlowControl.SetXonXoffOut(false);
        FFlowControl.SetXonXoffIn(false);
        break;
    case 2:
        FFlowControl.SetControlDtr(TSerControlDtr::dtrDisabled);
        FFlowControl.SetControlRts(TSerControlRts::rtsDisabled);
        FFlowControl.SetXonXoffOut(true);
        FFlowControl.SetXonXoffIn(true);
        break;
    default:
        break; // unknown code: flow control unchanged
    }
    return true;
}

} // namespace serial
