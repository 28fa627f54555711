#include "platform/SerialDeviceMap.h"

#include "platform/Comm.h"
#include "platform/SerialLine.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
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

bool IsRealUartNode(const std::string& name)
{
    const std::string node = "/dev/" + name;
    const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const bool real = serial_line::IsRealUart(fd);
        ::close(fd);
        return real;
    }
    // Held exclusively by someone else: the serial core's own record of the UART type tells instead.
    const std::string type(Trim(ReadSmallFile("/sys/class/tty/" + name + "/type")));
    return !type.empty() && type != "0";
}

std::vector<TtyDevice> ScanSysClassTty()
{
    std::vector<TtyDevice> devices;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/tty", ec)) {
        TtyDevice d;
        d.name = entry.path().filename().string();
        std::error_code ec2;
        const bool hasDevice = std::filesystem::exists(entry.path() / "device", ec2);
        if (!hasDevice)
            continue; // virtual consoles, ptmx, console
        const auto [kind, number] = KindAndNumber(d.name);
        d.isSerial = kind == "ttyS" ? IsRealUartNode(d.name) : true;
        devices.push_back(std::move(d));
    }
    return devices;
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

std::vector<std::pair<std::string, std::string>> SerialDeviceMap()
{
    if (const char* file = std::getenv("SONDRAL_COM_MAP"); file != nullptr && *file != '\0')
        return ParseSerialDeviceMap(ReadSmallFile(file));
    return BuildSerialDeviceMap(ScanSysClassTty());
}

std::optional<std::string> SerialDeviceNode(std::u16string_view name)
{
    if (name.size() >= 4 && name.substr(0, 4) == u"\\\\.\\")
        name.remove_prefix(4);
    for (const auto& [port, node] : SerialDeviceMap()) {
        if (EqualNoCase(port, name))
            return node;
    }
    return std::nullopt;
}

} // namespace platform
