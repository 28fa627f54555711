#include "platform/Registry.h"
#include "platform/posix/RegistryFolder.h"

#include "platform/Comm.h"
#include "platform/Text.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {

// A hive is one text file, "registry.txt" in the root's folder, UTF-8:
//   [Software\Sondral]          a key (its full path)
//   S:Name=text                 a string value of the key above
//   I:Count=42                  an integer value
// Backslash, line ends and '=' inside names and texts are escaped (\\, \n, \r, \=). Lines that do not
// parse are skipped. Every change rewrites the file through a temporary file and a rename.
struct HiveKey {
    std::u16string path; // parts joined by '\', as first created
    std::vector<std::pair<std::u16string, RegValue>> values;
};
using Hive = std::vector<HiveKey>;

constexpr size_t kMaxHiveBytes = 16u << 20;

bool SameName(std::u16string_view a, std::u16string_view b) { return CompareTextNoCase(a, b) == 0; }

std::vector<std::u16string> SplitPath(const std::u16string& path)
{
    std::vector<std::u16string> parts;
    std::u16string part;
    for (const char16_t c : path) {
        if (c == u'\\') {
            if (!part.empty())
                parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(std::move(part));
    return parts;
}

std::u16string JoinPath(const std::vector<std::u16string>& parts, size_t count)
{
    std::u16string path;
    for (size_t i = 0; i < count && i < parts.size(); ++i) {
        if (i > 0)
            path += u'\\';
        path += parts[i];
    }
    return path;
}

std::u16string Normalize(const std::u16string& path)
{
    const auto parts = SplitPath(path);
    return JoinPath(parts, parts.size());
}

std::string Escape(const std::u16string& text)
{
    std::string out;
    for (const char c : TextToUtf8(text)) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '=': out += "\\="; break;
        default: out += c; break;
        }
    }
    return out;
}

std::u16string Unescape(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char n = text[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += text[i];
        }
    }
    return Utf8ToText(out);
}

// Position of the first '=' that is not escaped.
size_t FindSeparator(std::string_view line)
{
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '=')
            return i;
    }
    return std::string_view::npos;
}

std::string HiveFile(RegRoot root) { return RegistryFolder(root) + "/registry.txt"; }

Hive LoadHive(RegRoot root)
{
    Hive hive;
    std::ifstream in(HiveFile(root), std::ios::binary);
    std::string line;
    size_t total = 0;
    while (std::getline(in, line) && total < kMaxHiveBytes) {
        total += line.size() + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            hive.push_back({Normalize(Unescape(std::string_view(line).substr(1, line.size() - 2))), {}});
            continue;
        }
        if (hive.empty() || line.size() < 3 || line[1] != ':' || (line[0] != 'S' && line[0] != 'I'))
            continue;
        const std::string_view body = std::string_view(line).substr(2);
        const size_t eq = FindSeparator(body);
        if (eq == std::string_view::npos)
            continue;
        RegValue value;
        if (line[0] == 'S') {
            value.str = Unescape(body.substr(eq + 1));
        } else {
            const auto n = StrToInt(body.substr(eq + 1));
            if (!n || *n < 0 || *n > 0xFFFFFFFFll)
                continue;
            value.type = RegValue::Type::Integer;
            value.integer = static_cast<uint32_t>(*n);
        }
        auto& values = hive.back().values;
        const std::u16string name = Unescape(body.substr(0, eq));
        bool replaced = false;
        for (auto& [n, v] : values) {
            if (SameName(n, name)) {
                v = value;
                replaced = true;
            }
        }
        if (!replaced)
            values.emplace_back(name, std::move(value));
    }
    return hive;
}

void SaveHive(RegRoot root, const Hive& hive)
{
    std::ostringstream text;
    text << "# Sondral registry hive\n";
    for (const HiveKey& key : hive) {
        text << '[' << Escape(key.path) << "]\n";
        for (const auto& [name, value] : key.values) {
            if (value.type == RegValue::Type::String)
                text << "S:" << Escape(name) << '=' << Escape(value.str) << '\n';
            else
                text << "I:" << Escape(name) << '=' << value.integer << '\n';
        }
    }
    const std::string data = text.str();
    const std::string file = HiveFile(root);
    const std::string temp = file + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("Unable to write to " + file);
    bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw std::runtime_error("Unable to write to " + file);
    }
}

// Serialises read-modify-write cycles of a hive, between threads and between processes.
class HiveLock {
public:
    explicit HiveLock(RegRoot root) : guard_(Mutex())
    {
        const std::string folder = RegistryFolder(root);
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        fd_ = ::open((folder + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0)
            throw std::runtime_error("Unable to write to " + folder);
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~HiveLock() { ::close(fd_); }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

private:
    static std::mutex& Mutex()
    {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> guard_;
    int fd_ = -1;
};

HiveKey* FindKey(Hive& hive, const std::u16string& path)
{
    for (HiveKey& k : hive) {
        if (SameName(k.path, path))
            return &k;
    }
    return nullptr;
}

// The synthesised part of the local-machine root: "hardware\devicemap\serialcomm" from the device map.
enum class Synth { None, Hardware, DeviceMap, SerialComm, Missing };

Synth Synthesised(RegRoot root, const std::u16string& path)
{
    if (root != RegRoot::LocalMachine)
        return Synth::None;
    const auto parts = SplitPath(path);
    if (parts.empty() || !SameName(parts[0], u"hardware"))
        return Synth::None;
    if (parts.size() == 1)
        return Synth::Hardware;
    if (!SameName(parts[1], u"devicemap"))
        return Synth::Missing;
    if (parts.size() == 2)
        return Synth::DeviceMap;
    if (parts.size() == 3 && SameName(parts[2], u"serialcomm"))
        return Synth::SerialComm;
    return Synth::Missing;
}

std::vector<std::pair<std::u16string, std::u16string>> SerialCommValues()
{
    std::vector<std::pair<std::u16string, std::u16string>> values;
    for (const auto& [name, node] : SerialDeviceMap()) {
        const std::string device = node.rfind("/dev/", 0) == 0 ? node.substr(5) : node;
        std::u16string valueName = u"\\Device\\" + Utf8ToText(device);
        bool seen = false;
        for (const auto& v : values)
            seen = seen || SameName(v.first, valueName);
        if (!seen)
            values.emplace_back(std::move(valueName), Utf8ToText(name));
    }
    return values;
}

[[noreturn]] void ReadOnly(const std::u16string& path)
{
    throw std::runtime_error("Registry key " + TextToUtf8(path) + " is read-only");
}

} // namespace

std::string RegistryFolder(RegRoot root)
{
    if (root == RegRoot::CurrentUser) {
        if (const char* dir = std::getenv("SONDRAL_REGISTRY_USER"); dir != nullptr && *dir != '\0')
            return dir;
        if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0')
            return std::string(xdg) + "/sondral/registry";
        const char* home = std::getenv("HOME");
        return std::string(home != nullptr ? home : "") + "/.config/sondral/registry";
    }
    if (const char* dir = std::getenv("SONDRAL_REGISTRY_MACHINE"); dir != nullptr && *dir != '\0')
        return dir;
    return "/var/lib/sondral/registry";
}

std::optional<TRegistryKey> TRegistryKey::Open(RegRoot root, const std::u16string& path)
{
    const std::u16string p = Normalize(path);
    const Synth s = Synthesised(root, p);
    if (s == Synth::Missing) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    if (s != Synth::None || p.empty())
        return TRegistryKey(root, p);
    Hive hive = LoadHive(root);
    if (const HiveKey* k = FindKey(hive, p))
        return TRegistryKey(root, k->path);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return std::nullopt;
}

TRegistryKey TRegistryKey::Create(RegRoot root, const std::u16string& path)
{
    const std::u16string p = Normalize(path);
    const Synth s = Synthesised(root, p);
    if (s == Synth::Missing)
        ReadOnly(p);
    if (s != Synth::None || p.empty())
        return TRegistryKey(root, p);
    const HiveLock lock(root);
    Hive hive = LoadHive(root);
    const auto parts = SplitPath(p);
    bool changed = false;
    for (size_t n = 1; n <= parts.size(); ++n) {
        const std::u16string partial = JoinPath(parts, n);
        if (!FindKey(hive, partial)) {
            hive.push_back({partial, {}});
            changed = true;
        }
    }
    if (changed)
        SaveHive(root, hive);
    return TRegistryKey(root, FindKey(hive, p)->path);
}

std::vector<std::u16string> TRegistryKey::SubKeyNames() const
{
    switch (Synthesised(root_, path_)) {
    case Synth::Hardware: return {u"DEVICEMAP"};
    case Synth::DeviceMap: return {u"SERIALCOMM"};
    case Synth::SerialComm:
    case Synth::Missing: return {};
    case Synth::None: break;
    }
    std::vector<std::u16string> names;
    const auto add = [&](const std::u16string& name) {
        for (const auto& n : names) {
            if (SameName(n, name))
                return;
        }
        names.push_back(name);
    };
    if (root_ == RegRoot::LocalMachine && path_.empty())
        add(u"HARDWARE");
    const size_t depth = SplitPath(path_).size();
    for (const HiveKey& k : LoadHive(root_)) {
        const auto parts = SplitPath(k.path);
        if (parts.size() == depth + 1 && SameName(JoinPath(parts, depth), path_))
            add(parts.back());
    }
    return names;
}

std::vector<std::u16string> TRegistryKey::ValueNames() const
{
    std::vector<std::u16string> names;
    const Synth s = Synthesised(root_, path_);
    if (s == Synth::SerialComm) {
        for (const auto& [name, value] : SerialCommValues())
            names.push_back(name);
        return names;
    }
    if (s != Synth::None)
        return names;
    Hive hive = LoadHive(root_);
    if (const HiveKey* k = FindKey(hive, path_)) {
        for (const auto& [name, value] : k->values)
            names.push_back(name);
    }
    return names;
}

std::optional<RegValue> TRegistryKey::ReadValue(const std::u16string& name) const
{
    const Synth s = Synthesised(root_, path_);
    if (s == Synth::SerialComm) {
        for (const auto& [n, port] : SerialCommValues()) {
            if (SameName(n, name)) {
                RegValue v;
                v.str = port;
                return v;
            }
        }
    } else if (s == Synth::None) {
        Hive hive = LoadHive(root_);
        if (const HiveKey* k = FindKey(hive, path_)) {
            for (const auto& [n, v] : k->values) {
                if (SameName(n, name))
                    return v;
            }
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return std::nullopt;
}

static void WriteValue(RegRoot root, const std::u16string& path, const std::u16string& name, const RegValue& value)
{
    if (Synthesised(root, path) != Synth::None)
        ReadOnly(path);
    if (path.empty())
        throw std::runtime_error("Values cannot be written at a registry root");
    const HiveLock lock(root);
    Hive hive = LoadHive(root);
    HiveKey* key = FindKey(hive, path);
    if (key == nullptr) { // removed by someone else meanwhile: create it again
        const auto parts = SplitPath(path);
        for (size_t n = 1; n <= parts.size(); ++n) {
            if (!FindKey(hive, JoinPath(parts, n)))
                hive.push_back({JoinPath(parts, n), {}});
        }
        key = FindKey(hive, path);
    }
    bool replaced = false;
    for (auto& [n, v] : key->values) {
        if (SameName(n, name)) {
            v = value;
            replaced = true;
        }
    }
    if (!replaced)
        key->values.emplace_back(name, value);
    SaveHive(root, hive);
}

void TRegistryKey::WriteString(const std::u16string& name, const std::u16string& value)
{
    RegValue v;
    v.str = value;
    WriteValue(root_, path_, name, v);
}

void TRegistryKey::WriteInteger(const std::u16string& name, uint32_t value)
{
    RegValue v;
    v.type = RegValue::Type::Integer;
    v.integer = value;
    WriteValue(root_, path_, name, v);
}

} // namespace platform
