#include "platform/posix/SerialDeviceMap.h"

#include "platform/Comm.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <mutex>

namespace platform {
namespace {

std::string_view Trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// "ttyUSB12" -> ("ttyUSB", 12); a name without trailing digits has number -1.
std::pair<std::string, long> KindAndNumber(const std::string& name)
{
    size_t end = name.size();
    while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9')
        --end;
    if (end == name.size() || name.size() - end > 9)
        return {name, -1};
    return {name.substr(0, end), std::stol(name.substr(end))};
}

std::string ReadSmallFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char buf[4096];
    while (in && text.size() < (1u << 20)) {
        in.read(buf, sizeof buf);
        text.append(buf, static_cast<size_t>(in.gcount()));
    }
    return text;
}

// The serial core's record of the UART type (PORT_UNKNOWN is 0): read from sysfs, so that listing the
// ports opens no device node (an open raises DTR and RTS on the line).
bool IsRealUart(const std::filesystem::path& ttyDir)
{
    const std::string type(Trim(ReadSmallFile(ttyDir / "type")));
    return !type.empty() && type != "0";
}

bool EqualNoCase(std::string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = static_cast<unsigned char>(a[i]);
        char16_t y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char16_t>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char16_t>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

SerialMap ParseSerialDeviceMap(std::string_view text)
{
    SerialMap map;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view l = Trim(line);
        if (l.empty() || l.front() == '#')
            continue;
        const size_t eq = l.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view name = Trim(l.substr(0, eq));
        const std::string_view node = Trim(l.substr(eq + 1));
        if (name.empty() || node.empty())
            continue;
        map.emplace_back(std::string(name), std::string(node));
    }
    return map;
}

SerialMap BuildSerialDeviceMap(std::vector<TtyDevice> devices)
{
    std::vector<std::pair<long, std::string>> uarts;
    std::vector<std::tuple<std::string, long, std::string>> others;
    for (const TtyDevice& d : devices) {
        if (!d.isSerial)
            continue;
        const auto [kind, number] = KindAndNumber(d.name);
        if (kind == "ttyS" && number >= 0 && number < 32)
            uarts.emplace_back(number, d.name);
        else if (kind != "ttyS")
            others.emplace_back(kind, number, d.name);
    }
    std::sort(uarts.begin(), uarts.end());
    std::sort(others.begin(), others.end());
    SerialMap map;
    for (const auto& [k, name] : uarts)
        map.emplace_back("COM" + std::to_string(k + 1), "/dev/" + name);
    long com = 33;
    for (const auto& [kind, number, name] : others)
        map.emplace_back("COM" + std::to_string(com++), "/dev/" + name);
    return map;
}

std::vector<TtyDevice> ScanTtyClass(const std::string& root)
{
    std::vector<TtyDevice> devices;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(root, ec)) {
        TtyDevice d;
        d.name = entry.path().filename().string();
        std::error_code ec2;
        const bool hasDevice = std::filesystem::exists(entry.path() / "device", ec2);
        if (!hasDevice)
            continue; // virtual consoles, ptmx, console
        const auto [kind, number] = KindAndNumber(d.name);
        d.isSerial = kind == "ttyS" ? IsRealUart(entry.path()) : true;
        devices.push_back(std::move(d));
    }
    return devices;
}

namespace {

// The map of the last listing, which Open looks names up in; a name that it lacks (a device plugged in
// since) rebuilds it once.
struct LastMap {
    std::mutex mutex;
    std::optional<SerialMap> map;
};

LastMap& Last()
{
    static LastMap last;
    return last;
}

SerialMap BuildMap()
{
    if (const char* file = std::getenv("SONDRAL_COM_MAP"); file != nullptr && *file != '\0')
        return ParseSerialDeviceMap(ReadSmallFile(file));
    return BuildSerialDeviceMap(ScanTtyClass("/sys/class/tty"));
}

std::optional<std::string> Find(const SerialMap& map, std::u16string_view name)
{
    for (const auto& [port, node] : map) {
        if (EqualNoCase(port, name))
            return node;
    }
    return std::nullopt;
}

} // namespace

std::vector<std::pair<std::string, std::string>> SerialDeviceMap()
{
    SerialMap map = BuildMap();
    const std::lock_guard lock(Last().mutex);
    Last().map = map;
    return map;
}

std::optional<std::string> SerialDeviceNode(std::u16string_view name)
{
    if (name.size() >= 4 && name.substr(0, 4) == u"\\\\.\\")
        name.remove_prefix(4);
    // A map file is read each time: it is small, and tests and tools rewrite it.
    const char* file = std::getenv("SONDRAL_COM_MAP");
    if (file != nullptr && *file != '\0')
        return Find(ParseSerialDeviceMap(ReadSmallFile(file)), name);
    {
        const std::lock_guard lock(Last().mutex);
        if (Last().map) {
            if (auto node = Find(*Last().map, name))
                return node;
        }
    }
    return Find(SerialDeviceMap(), name);
}

} // namespace platform
