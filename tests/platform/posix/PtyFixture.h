// Real pseudo-terminals and device-map files for the serial driver tests.
#pragma once

#include "support/Pty.h"
#include "support/TempFolder.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_pty {

using Pty = test_support::Pty;
using TempDir = TempFolder;

// Writes a map file and points SONDRAL_COM_MAP at it for the object's lifetime.
class MapFile {
public:
    explicit MapFile(const std::vector<std::pair<std::string, std::string>>& entries)
        : MapFile(test_support::ComMapText(entries))
    {
    }
    explicit MapFile(const std::string& text) : path_(test_support::WriteComMap(dir_.Path(), text)) {}
    ~MapFile() { ::unsetenv("SONDRAL_COM_MAP"); }
    MapFile(const MapFile&) = delete;
    MapFile& operator=(const MapFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    TempFolder dir_;
    std::string path_;
};

inline std::u16string U16(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

} // namespace testing_pty
