// Real pseudo-terminals and device-map files for the serial driver tests.
#pragma once

#include "platform/Comm.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_pty {

// The master side of a pseudo-terminal; the slave is what the driver opens.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    int Master() const { return master_; }
    const std::string& Slave() const { return slave_; }
    void Send(std::string_view bytes) const;
    // Reads until n bytes arrived or timeoutMs passed without any byte.
    std::string Receive(size_t n, int timeoutMs = 3000) const;
    // The instrument goes away: the slave side hangs up.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slave_;
};

// A temporary folder removed with everything in it.
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

// Writes a map file and points SONDRAL_COM_MAP at it for the object's lifetime.
class MapFile {
public:
    explicit MapFile(const std::vector<std::pair<std::string, std::string>>& entries);
    explicit MapFile(const std::string& text);
    ~MapFile();
    MapFile(const MapFile&) = delete;
    MapFile& operator=(const MapFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    TempDir dir_;
    std::string path_;
};

std::u16string U16(std::string_view ascii);

} // namespace testing_pty
