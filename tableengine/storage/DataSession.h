// A session of the engine: its settings, its known table passwords and password callback, and its open
// directories (one TDataDirectory per path, counted by use).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tableengine {

class TDataEngine;
class TDataDirectory;

class TDataSession {
public:
    TDataSession(TDataEngine& engine, std::string name, uint32_t sessionID);
    ~TDataSession();
    TDataSession(const TDataSession&) = delete;
    TDataSession& operator=(const TDataSession&) = delete;

    TDataEngine& DataEngine;
    const std::string Name;
    const uint32_t SessionID;
    std::string PrivateDir;
    bool StrictChangeDetection = false;
    bool ForceBufferFlush = false;
    uint32_t LockRetryCount = 15;
    uint32_t LockWaitTime = 100;
    uint32_t ProgressSteps = 20;

    // Passwords (ANSI) tried for encrypted tables, in the order added.
    void AddPassword(const std::string& password);
    void RemovePassword(const std::string& password);
    std::vector<std::string> Passwords() const;
    // Asked when no known password fits; answers true with a password to try (which is then known).
    std::function<bool(std::string& password)> OnPassword;

    // The directory for a path (trimmed, one trailing delimiter; empty = current directory), shared while
    // open. The name "Memory" (letter case ignored) selects the in-memory directory.
    TDataDirectory& OpenDataDirectory(const std::string& name, const std::string& path, bool keepTablesOpen);
    void CloseDataDirectory(TDataDirectory& directory);
    std::size_t DirectoryCount() const;

private:
    mutable std::mutex FSection;
    std::vector<std::string> FPasswords;
    std::vector<std::unique_ptr<TDataDirectory>> FDirectories;
};

} // namespace tableengine
