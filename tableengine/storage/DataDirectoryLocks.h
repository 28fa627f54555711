// The lock protocol of a directory, shared by every process that uses its tables: the hidden lock file
// lists the directory's table names (a table's id is its 1-based position), and byte-range locks far beyond
// the end of that file let many readers and one writer share a table. A reader holds one random byte of a
// range; a writer takes the whole range, which it can only get while no reader holds a byte of it.
#pragma once

#include "tableengine/storage/EngineFile.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tableengine {

class TDataDirectory;
class TDataDirectoryLocks;

enum TLockState : uint8_t { lsReadLocked = 1, lsWriteLocked = 2, lsTransLocked = 4 };

inline constexpr std::size_t MaxTablesPerDirectory = 4096;

class TDataTableLocks {
public:
    TDataTableLocks(TDataDirectoryLocks& locks, int32_t tableID, std::string tableName);

    TDataDirectoryLocks& DataDirectoryLocks;
    const int32_t TableID;
    const std::string TableName;
    uint8_t LockStates = 0;
    uint32_t ReadLockSlot = 0;

    // The shared read lock (10225 when no slot is free within the retries). Nested requests of the process
    // share the one slot: only the last release unlocks it (10226 when that fails).
    void ReadLock();
    void ReadUnlock();
    bool IsReadLocked() const;
    // The exclusive write range (writing paths): false when readers or another writer hold it.
    bool WriteLock();
    void WriteUnlock();

    uint64_t ReadRangeBase() const;
    uint64_t WriteRangeBase() const;

private:
    mutable std::mutex FSection;
    uint32_t FReadLockCount = 0;
};

class TDataDirectoryLocks {
public:
    explicit TDataDirectoryLocks(TDataDirectory& directory);
    ~TDataDirectoryLocks();
    TDataDirectoryLocks(const TDataDirectoryLocks&) = delete;
    TDataDirectoryLocks& operator=(const TDataDirectoryLocks&) = delete;

    TDataDirectory& DataDirectory;
    std::unique_ptr<TEngineFile> LockFile;
    std::vector<uint8_t> LockFileBuffer;
    int32_t UpdateCount = 0;
    uint32_t LockSlot = 0;
    std::vector<std::unique_ptr<TDataTableLocks>> DataTableLocksList; // in file order
    bool ReadOnly = false;

    // Opens (creating it when absent) the lock file; ends read-only, without a lock file, when it cannot.
    void Open();
    void Close();
    bool HasLockFile() const { return LockFile && LockFile->IsOpen; }

    // The entry of a table name (letter case ignored), appended to the file when absent; 9480 past 4096.
    TDataTableLocks& AddDataTable(const std::string& tableName);
    TDataTableLocks* FindDataTable(const std::string& tableName) const;
    std::vector<std::string> TableNames() const;

    // Directory range: a shared slot, or the whole range.
    void LockShared();
    void UnlockShared();
    void LockExclusive();
    void UnlockExclusive();

    // A random slot byte of a range (1..65535 mapped to base .. base+65534); false after the retries.
    bool LockSlotIn(uint64_t base, uint32_t retries, uint32_t waitMs, uint32_t& slot);
    bool UnlockSlotIn(uint64_t base, uint32_t slot);
    bool LockRange(uint64_t base, uint64_t length, uint32_t retries, uint32_t waitMs);
    bool UnlockRange(uint64_t base, uint64_t length);

    [[noreturn]] void RaiseError(uint16_t code) const;

private:
    void ReadList();       // re-reads the list when the counter moved
    void ParseList(const std::vector<uint8_t>& bytes);
    void WriteList();      // counter + 1, list, flush
    std::vector<uint8_t> BuildList(const std::vector<std::string>& names, int32_t counter) const;
    bool CreateLockFile(const std::string& path);
    mutable std::recursive_mutex FSection;
    bool FListFilled = false;
};

} // namespace tableengine
