// A table of a directory, one per table name and process, shared by all cursors on it: its three files, its
// entry in the lock protocol, its password and locale.
#pragma once

#include "tableengine/format/EngineError.h"
#include "tableengine/format/DataHeader.h"

#include "platform/Locale.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tableengine {

class TDataDirectory;
class TDataTableLocks;
class TDataFile;
class TIndexFile;
class TBlobFile;
class TDataPassword;

class TDataTable {
public:
    TDataTable(TDataDirectory& directory, std::string tableName, std::string errorTableName, bool exclusive,
               bool temporary, bool readOnly);
    ~TDataTable();
    TDataTable(const TDataTable&) = delete;
    TDataTable& operator=(const TDataTable&) = delete;

    TDataDirectory& DataDirectory;
    int UseCount = 0;
    int ClientUseCount = 0;
    const std::string TableName;
    std::string ErrorTableName;
    bool IsOpen = false;
    bool Exclusive = false;
    bool ReadOnly = false;
    bool MarkedReadOnly = false;
    bool Temporary = false;
    bool SystemOpen = false;
    TDataTableLocks* DataTableLocks = nullptr;
    std::vector<uint8_t> RecordLocks;            // 8192 bits
    std::vector<uint8_t> TransactionRecordLocks; // 8192 bits
    bool TableLock = false;
    bool TransactionTableLock = false;
    std::vector<uint8_t> SemaphoreLocks;
    std::unique_ptr<TDataFile> DataFile;
    std::unique_ptr<TIndexFile> IndexFile;
    std::unique_ptr<TBlobFile> BlobFile;
    bool MissingIndex = false;
    // Set while a re-created index file still has to be filled by the cursor that opened the table. For a
    // table that takes locks, the table write lock is held from before the file is re-created until it has
    // been filled, so that no other process reads the half-made index or re-creates it at the same time.
    bool IndexRebuildPending = false;
    bool InTransaction = false;
    bool WrittenTo = false;
    std::unique_ptr<TDataPassword> DataPassword;
    std::shared_ptr<const platform::Locale> Locale;

    std::string DataFileName;
    std::string IndexFileName;
    std::string BlobFileName;

    // Opens the files (or only counts one more user), takes the table's lock entry, and checks the headers
    // under the read lock. Any failure closes the table again.
    void OpenTable(bool headerChecks = true, bool systemOpen = false);
    // One user less; the last one releases locks and closes the files.
    void CloseTable();

    // The read lock with change detection: true when the data header's UpdateStamp moved, in which case all
    // cached blocks of the three files were dropped and the other headers re-read. Balanced by
    // ReadUnlockTable.
    bool ReadLockTable();
    void ReadUnlockTable();
    // Whether the data header was re-read while the read slot has been held without a break.
    bool FHeaderCurrent = false;
    bool StrictChangeDetection() const;
    // Gives the filled, flushed index of a rebuild its file name (it was built under a temporary one) and
    // opens it there.
    void InstallRebuiltIndex();
    // Releases the write lock of a pending index rebuild (nothing when none is held) and clears the flag; the
    // file of a rebuild that did not reach InstallRebuiltIndex is removed.
    void EndIndexRebuild();

    // The password whose digest the stored digest belongs to: known passwords first, then the session's
    // callback while it supplies new ones; 10498 when none fits.
    const TDataPassword& VerifyPassword(const TMD5Digest& stored);

    int32_t DataUpdateStamp() const;
    int32_t IndexUpdateStamp() const;
    int32_t BlobUpdateStamp() const;

    TErrorContext ErrorContext() const;
    [[noreturn]] void RaiseError(uint16_t code) const;

    // File name of the table for an extension: trimmed name, a data extension in any letter case replaced.
    std::string TableFileName(const std::string& extension) const;

private:
    void AssignFiles();
    void OpenMissingIndex();
    void CloseFiles();
    void CheckHeaders(bool indexRecreated);
    TDataTableLocks* FIndexRebuildLocks = nullptr; // write-locked while IndexRebuildPending
};

} // namespace tableengine
