// Test support: real pseudo-terminals published as COM ports through a SONDRAL_COM_MAP file, with the
// master side's view of the line settings.
#pragma once

#include "support/Pty.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace serial_test {

// A pseudo-terminal (support/Pty.h) with the master side's view of the line settings.
class PtyPair : public test_support::Pty {
public:
    const std::string& SlavePath() const { return Slave(); }
    void Write(const std::string& bytes) const { Send(bytes); }
    std::string Read(size_t want, std::chrono::milliseconds timeout) const { return Receive(want, timeout); }

    // Line settings as the master sees them (termios2 of the terminal pair).
    struct Line {
        uint32_t ispeed = 0, ospeed = 0;
        int dataBits = 0;
        bool parity = false, oddParity = false, twoStopBits = false;
    };
    Line Settings() const;
};

using TempDir = TempFolder;

// Writes "NAME=node" lines to a map file in dir and points SONDRAL_COM_MAP at it.
inline std::string WriteComMap(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& entries)
{
    return test_support::WriteComMap(dir.Path(), test_support::ComMapText(entries));
}

} // namespace serial_test
