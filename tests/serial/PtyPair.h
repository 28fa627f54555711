// Test support: real pseudo-terminals published as COM ports through a SONDRAL_COM_MAP file, the master
// side's view of the line settings, and a pump for Synchronize calls on the main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace serial_test {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return master_; }
    const std::string& SlavePath() const { return slave_; }

    void Write(const std::string& bytes) const;
    // Reads what the port has sent until want bytes arrived or timeout passed.
    std::string Read(size_t want, std::chrono::milliseconds timeout) const;
    // Discards whatever the port has sent so far.
    void Drain() const;

    // Line settings as the master sees them (termios2 of the terminal pair).
    struct Line {
        uint32_t ispeed = 0, ospeed = 0;
        int dataBits = 0;
        bool parity = false, oddParity = false, twoStopBits = false;
    };
    Line Settings() const;

private:
    int master_ = -1;
    std::string slave_;
};

// A temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Writes "NAME=node" lines to a map file in dir and points SONDRAL_COM_MAP at it.
std::string WriteComMap(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& entries);

// Runs queued Synchronize calls on the main thread until pred holds or timeout passes.
bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
// Runs queued Synchronize calls for the given time.
void PumpFor(std::chrono::milliseconds time);

} // namespace serial_test
