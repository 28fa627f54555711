// A cursor on a table: what one table component holds while open (record buffers, stamps, read-ahead
// hints), field access, and the cursor's side of the read lock. Its two parts do the walk over the index
// (TCursorNavigation) and the BLOBs (TCursorBlobs); the cursor is the reader the block cache serves.
#pragma once

#include "tableengine/cursor/CursorBlobs.h"
#include "tableengine/cursor/CursorNavigation.h"
#include "tableengine/format/DataHeader.h"
#include "tableengine/format/FieldValues.h"
#include "tableengine/storage/CacheReader.h"
#include "tableengine/storage/DataDirectory.h"

#include "platform/Locale.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tableengine {

class TDataDirectory;
class TDataEngine;
class TDataTable;

class TDataCursor : public TCacheReader, public TDirectoryCursor {
public:
    TDataCursor(TDataDirectory& directory, std::string tableName, bool exclusive, bool readOnly,
                bool temporary = false);
    ~TDataCursor();
    TDataCursor(const TDataCursor&) = delete;
    TDataCursor& operator=(const TDataCursor&) = delete;

    // The cursor's directory; null once the directory was closed (the cursor is closed with it).
    TDataDirectory* DataDirectory() const { return FDataDirectory; }
    const std::string TableName;
    TDataTable* DataTable = nullptr;
    bool IsOpen = false;

    uint16_t FieldCount = 0;
    uint16_t RecordLength = 0;
    std::shared_ptr<const platform::Locale> Locale;
    int32_t FLastDataUpdateStamp = 0;
    int32_t FLastIndexUpdateStamp = 0;
    int32_t FLastBlobUpdateStamp = 0;
    std::vector<uint8_t> CurrentRecordBuffer;
    std::vector<uint8_t> LastRecordBuffer;
    std::vector<uint8_t> ScratchRecordBuffer;
    std::vector<uint8_t> HashRecordBuffer;
    std::vector<uint8_t> PageBuffer;
    int32_t FRecordsToRead = 1;
    int32_t FTotalReadAheads = 0;
    int32_t FTotalSizeReadAheads = 0;

    void OpenCursor();
    void CloseCursor();

    bool Exclusive() const { return FExclusive; }
    bool ReadOnly() const { return FReadOnly; }
    bool MarkedReadOnly() const;
    bool WithoutChangeDetection() const override;
    int32_t RecordRun(int direction) override { return FNavigation.RecordRun(direction); }

    // Raises the code with the cursor's table and directory unless it is 0.
    void CheckError(uint16_t code, const std::string& message = {}) const;

    // The read lock around every read; true when the table changed since the cursor last looked.
    bool ReadLockTable();
    void ReadUnlockTable();
    void SynchLastUpdateStamps();
    bool PerformChangeDetection() const;

    // The definition of field 1..FieldCount (-1, -2: the pseudo fields); 9985 for another number.
    const TFieldDefinition& GetFieldDefinition(int fieldNum) const;
    // Field access on a record buffer of RecordLength bytes: blank flag, and (when value is given) the value
    // area copied out (DataSize bytes; a BLOB field's 4-byte block number). Returns the bytes copied.
    std::size_t GetField(int fieldNum, const uint8_t* record, bool& blank, uint8_t* value = nullptr) const;
    // The same value as GetField copies out, pointing into the record buffer instead of copying it.
    TFieldValue GetFieldValue(int fieldNum, const uint8_t* record) const;
    // The same for a field definition of this table (from GetFieldDefinition of a field 1..FieldCount), without
    // looking it up again.
    TFieldValue GetFieldValue(const TFieldDefinition& definition, const uint8_t* record) const;

    // Reads record `number` through the cache into a RecordLength buffer under the read lock; 0 or a code
    // from the cache (8962 for a bad number, 9217 for one beyond the file). Repeats once after a change.
    void ReadRecord(int32_t number, uint8_t* buffer, int direction = 0, bool readAhead = false);

    // Called by a directory that goes while the cursor still exists.
    void DirectoryClosed() override;

    // The walk over the active index (see TCursorNavigation).
    TCursorNavigation& Navigation() { return FNavigation; }
    const TCursorNavigation& Navigation() const { return FNavigation; }
    void SetIndexPos(int slot) { FNavigation.SetIndexPos(slot); }
    void SetIndexName(const std::string& name) { FNavigation.SetIndexName(name); }
    void SetToBegin() { FNavigation.SetToBegin(); }
    void SetToEnd() { FNavigation.SetToEnd(); }
    uint16_t GetNextRecord(uint8_t* buffer) { return FNavigation.GetNextRecord(buffer); }
    uint16_t GetPriorRecord(uint8_t* buffer) { return FNavigation.GetPriorRecord(buffer); }
    uint16_t GetCurrentRecord(uint8_t* buffer) { return FNavigation.GetCurrentRecord(buffer); }
    int32_t GetRecordCount() const { return FNavigation.GetRecordCount(); }
    int32_t GetRecordNumber() const { return FNavigation.GetRecordNumber(); }

    // The open BLOBs of record buffers (see TCursorBlobs).
    uint32_t OpenBlob(int fieldNum, uint8_t* record, uint8_t mode = bomRead, bool engineAllocated = false)
    {
        return FBlobs.OpenBlob(fieldNum, record, mode, engineAllocated);
    }
    std::size_t GetBlob(int fieldNum, const uint8_t* record, std::size_t length, uint8_t* destination,
                        std::size_t offset)
    {
        return FBlobs.GetBlob(fieldNum, record, length, destination, offset);
    }
    uint32_t GetBlobSize(int fieldNum, const uint8_t* record) { return FBlobs.GetBlobSize(fieldNum, record); }
    void FreeBlob(int fieldNum, uint8_t* record) { FBlobs.FreeBlob(fieldNum, record); }
    bool ValidBlobHandle(int fieldNum, const uint8_t* record) const { return FBlobs.ValidBlobHandle(fieldNum, record); }
    std::size_t OpenBlobCount() const { return FBlobs.OpenBlobCount(); }

private:
    TFieldValue FieldValueOf(const TFieldDefinition& d, bool pseudo, const uint8_t* record) const;
    TDataDirectory* FDataDirectory;
    TDataEngine& FDataEngine;
    bool FExclusive;
    bool FReadOnly;
    bool FTemporary;
    TCursorNavigation FNavigation{*this};
    TCursorBlobs FBlobs{*this, FNavigation};
};

} // namespace tableengine
