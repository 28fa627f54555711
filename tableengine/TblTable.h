// The table data set: opens a table of a database through its session, reads it in the order of its active
// index with its field list, and can hold the table's read lock over many rows.
#pragma once

#include "tableengine/TblBlobStream.h"
#include "tableengine/TblField.h"

#include "platform/Text.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tableengine {

class TDataCursor;
class TTblDatabase;

using platform::Text;

enum TDataSetState { dsInactive, dsBrowse };

class TTblTable {
public:
    TTblTable();
    ~TTblTable();
    TTblTable(const TTblTable&) = delete;
    TTblTable& operator=(const TTblTable&) = delete;

    bool Exclusive = false;
    bool ReadOnly = false;

    const Text& DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const Text& name);
    const Text& SessionName() const { return FSessionName; }
    void SetSessionName(const Text& name);
    const Text& TableName() const { return FTableName; }
    void SetTableName(const Text& name);
    const Text& IndexName() const { return FIndexName; }
    void SetIndexName(const Text& name);

    void Open();
    void Close();
    bool Active() const { return FCursor != nullptr; }
    TDataSetState State() const { return Active() ? dsBrowse : dsInactive; }
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return FEof; }
    bool Bof() const { return FBof; }
    int32_t RecordCount() const;
    // Holds the table's read lock from now until ReleaseReadLock or Close, for reading many rows in one go:
    // no other process writes the table meanwhile, so the rows come from one state of it, and the reads
    // inside take no lock of their own. A change made before is noticed at once. Not for a table kept open
    // and idle: writers wait while it is held.
    void HoldReadLock();
    void ReleaseReadLock();

    int FieldCount() const { return static_cast<int>(FFields.size()); }
    TTblField& Fields(int index);
    TTblField* FindField(const Text& name);

    TDataCursor* Handle() const { return FCursor.get(); }
    TTblDatabase* Database() const { return FDatabase; }
    // The active record's buffer (the record the cursor last delivered).
    std::vector<uint8_t>& ActiveBuffer() { return FRecord; }
    bool HasRecord() const { return FHasRecord; }
    std::unique_ptr<TTblBlobStream> CreateBlobStream(int fieldNum);

private:
    void CheckActive() const;
    void CheckInactive(const char* message) const;
    void Fetch(uint16_t answer);
    void MoveToEdge(bool last);
    void Move(bool back);
    Text FDatabaseName;
    Text FSessionName;
    Text FTableName;
    Text FIndexName;
    TTblDatabase* FDatabase = nullptr;
    std::unique_ptr<TDataCursor> FCursor;
    std::vector<std::unique_ptr<TTblField>> FFields;
    std::vector<uint8_t> FRecord;
    std::vector<uint8_t> FScratch;
    bool FHasRecord = false;
    bool FEof = true;
    bool FBof = true;
    bool FReadLockHeld = false;
};

} // namespace tableengine
