// The engine core, one per process: settings and the values derived from them, the lock byte layout, the
// list of open base files (one per path), the sessions, and the error state behind every raised error.
#pragma once

#include "tableengine/format/DataHeader.h"
#include "tableengine/format/EngineError.h"
#include "tableengine/storage/EngineSettings.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <vector>

namespace tableengine {

class TBaseFile;
class TMemoryFile;
class TDataSession;

class TDataEngine {
public:
    TDataEngine();
    ~TDataEngine();
    TDataEngine(const TDataEngine&) = delete;
    TDataEngine& operator=(const TDataEngine&) = delete;

    // Takes the settings and derives the limits, the lock layout and the signature digest; seeds the random
    // generator used for lock slots.
    void Initialize(const TEngineSettings& settings);
    const TEngineSettings& Settings() const { return FSettings; }

    // Derived values.
    uint64_t MaximumFileSize = 0;
    int32_t MaximumNumRecords = 0;
    uint64_t FileLockByte = 0;
    uint64_t RecordLockByte = 0;
    uint64_t FileLockRange = 0;
    uint64_t TransLockRange = 0;
    uint64_t ReadLockRange = 0;
    uint64_t WriteLockRange = 0;
    uint64_t TransWriteLockRange = 0;
    uint64_t RecordLockRange = 0;
    uint64_t TransLockByte = 0;
    uint64_t ReadLockByte = 0;
    uint64_t WriteLockByte = 0;
    uint64_t TransWriteLockByte = 0;
    uint64_t SemaphoreLockByte = 0;
    uint64_t SemaphoreLockRange = 0;
    TMD5Digest SignatureDigest{};

    // Error state. The OS and socket numbers are set by the operation that failed and taken into the next
    // raised error.
    void SetOSErrorNumber(int32_t n);
    void SetSocketErrorNumber(int32_t n);
    int32_t OSErrorNumber() const;
    int32_t SocketErrorNumber() const;
    [[noreturn]] void RaiseError(uint16_t code, const TErrorContext& context = {});
    // The message text of a code with placeholders from the last-error state, at most 254 characters.
    std::string GetErrorString(uint16_t code) const;
    TLastError LastError() const;

    // Opens a file for one engine file: returns the handle number (above 0) or a negated engine code (the OS
    // number is then in OSErrorNumber). readOnly is in/out; markedReadOnly and baseFile are out.
    int OpenFile(const std::string& path, bool inMemory, bool hidden, bool temporary, bool exclusive,
                 bool& readOnly, bool& markedReadOnly, std::shared_ptr<TBaseFile>& baseFile);
    // Creates a new file (create-always) and opens it like OpenFile.
    int CreateFile(const std::string& path, bool inMemory, bool hidden, bool temporary, bool exclusive,
                   std::shared_ptr<TBaseFile>& baseFile);
    // Returns the handle; the last close of a path closes it (deleting a temporary file) and drops it.
    void CloseFile(const std::shared_ptr<TBaseFile>& baseFile, int handle);
    bool FileExists(const std::string& path, bool inMemory) const;
    bool DeleteMemoryFile(const std::string& path);
    std::size_t OpenBaseFileCount() const;

    // Uniform random number 0 .. range-1.
    uint32_t Random(uint32_t range);

    // Sessions.
    TDataSession& StartDataSession(const std::string& name);
    void StopDataSession(TDataSession& session);
    std::size_t SessionCount() const;

private:
    TEngineSettings FSettings;

    mutable std::mutex FErrorSection;
    int32_t FOSErrorNumber = 0;
    int32_t FSocketErrorNumber = 0;
    TLastError FLastError;

    mutable std::shared_mutex FFilesSection;
    std::map<std::string, std::shared_ptr<TBaseFile>> FFiles; // by path
    mutable std::shared_mutex FMemoryFilesSection;
    std::map<std::string, std::shared_ptr<TMemoryFile>> FMemoryFiles; // kept until deleted

    std::mutex FRandomSection;
    std::mt19937 FRandom;

    mutable std::mutex FSessionsSection;
    std::vector<std::unique_ptr<TDataSession>> FSessions;
    uint32_t FNextSessionID = 1;
};

} // namespace tableengine
