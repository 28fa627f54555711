// Random ini file content, then the DataConnections write Accept makes. Afterwards the key reads back the
// value written, and the file differs from the old one in one place only: either one stretch within a line
// was replaced (the old value), or new text was inserted (a key line, or a section with it) that is made
// of nothing but the section header, the key, the value and line ends. Violations abort.
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

// The file lives on a memory file system where there is one, so that the flush of every write is cheap.
const std::string& FilePath()
{
    static const std::string path = [] {
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
        std::string templ = (base / "sondral-fuzz-ini-XXXXXX").string();
        if (!::mkdtemp(templ.data()))
            std::abort();
        return templ + "/opencpn.ini";
    }();
    return path;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Check(fd >= 0, "fixture file opens");
    Check(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "fixture file written");
    ::close(fd);
}

std::string ReadFile(const std::string& path)
{
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Check(fd >= 0, "file still there");
    char buf[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return out;
}

// A DataConnections value: connection records of printable ASCII joined by '|', never blank at either end
// (the file keeps values trimmed).
std::string MakeValue(FuzzedDataProvider& in)
{
    std::string v = in.ConsumeBool() ? std::string() : std::string("0;2;0.0.0.0;0;0;COM4;4800;1;1;0;;0;;1;0;53;0;1;;1");
    const size_t extra = in.ConsumeIntegralInRange<size_t>(0, 40);
    for (size_t i = 0; i < extra; ++i)
        v.push_back(static_cast<char>(in.ConsumeIntegralInRange<int>(0x20, 0x7e)));
    while (!v.empty() && v.front() == ' ')
        v.erase(0, 1);
    while (!v.empty() && v.back() == ' ')
        v.pop_back();
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string value = MakeValue(in);
    const std::string old = in.ConsumeRemainingBytesAsString();
    const std::string& path = FilePath();
    WriteFile(path, old);

    platform::TIniFile ini(path);
    const platform::Text section = u"Settings/NMEADataSource";
    const platform::Text key = u"DataConnections";
    try {
        ini.WriteString(section, key, platform::Utf8ToText(value));
    } catch (const platform::EIniFileException&) {
        Check(false, "a writable file is written");
    }
    Check(platform::TextToUtf8(ini.ReadString(section, key, u"\x01missing")) == value, "the key reads back the value");

    const std::string now = ReadFile(path);
    size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const std::string_view removed = std::string_view(old).substr(prefix, old.size() - prefix - suffix);
    const std::string_view inserted = std::string_view(now).substr(prefix, now.size() - prefix - suffix);
    if (!removed.empty()) {
        Check(removed.find('\n') == std::string_view::npos && inserted.find('\n') == std::string_view::npos,
              "a replacement stays within one line");
        // The changed line is the key's: its name before the '=' is DataConnections in some letter case.
        const size_t lineStart = now.rfind('\n', prefix == 0 ? 0 : prefix - 1);
        const size_t begin = (lineStart == std::string::npos || prefix == 0) ? 0 : lineStart + 1;
        const size_t eq = now.find('=', begin);
        Check(eq != std::string::npos && eq <= prefix, "the changed stretch follows the key's '='");
        std::string name = now.substr(begin, eq - begin);
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
        while (!name.empty() && blank(name.front()))
            name.erase(0, 1);
        while (!name.empty() && blank(name.back()))
            name.pop_back();
        for (char& c : name)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        Check(name == "dataconnections" ||
                  std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }),
              "the changed line is the DataConnections line");
    } else {
        const std::string allowed = "[Settings/NMEADataSource]DataConnections=\r\n" + value;
        Check(inserted.find_first_not_of(allowed) == std::string_view::npos, "only the new entry is inserted");
    }
    Check(inserted.find("\n\n\n") == std::string_view::npos, "no run of blank lines added");
    return 0;
}
