// The table engine's components: the engine facade and its one instance, sessions (the default one named
// "Default"), databases bound to a directory, and the table data set that reads a table in index order
// with its field list. Used from the main thread; the lists are guarded all the same.
#pragma once

#include "tableengine/storage/EngineSettings.h"
#include "tableengine/format/FieldValues.h"

#include "platform/Text.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tableengine {

class TDataEngine;
class TDataSession;
class TDataDirectory;
class TDataCursor;
class TTblSession;
class TTblDatabase;
class TTblTable;

using platform::Text;

enum TEngineType { etClient, etServer };
enum TLockProtocol { lpPessimistic, lpOptimistic };
enum TSessionType { stLocal, stRemote };
enum TDataSetState { dsInactive, dsBrowse };

// The one engine of the process, shared by every engine component.
class TTblEngineInstance {
public:
    static TTblEngineInstance& Instance();

    TEngineSettings Settings;
    TEngineType EngineType = etClient;
    bool FilterRecordCounts = true;
    std::function<void()> OnStartup;
    std::function<void()> OnShutdown;

    bool Active() const { return FActive; }
    void SetActive(bool active);
    TDataEngine& DataEngine();

    void AddSession(TTblSession* session);
    void RemoveSession(TTblSession* session);
    TTblSession* FindSession(const Text& name) const;
    int NextSessionNumber();

private:
    TTblEngineInstance();
    mutable std::recursive_mutex FSection;
    bool FActive = false;
    std::unique_ptr<TDataEngine> FDataEngine;
    std::vector<TTblSession*> FSessions;
    int FSessionNumbers = 0;
};

// The engine component: every property reads and writes the instance.
class TTblEngine {
public:
    bool Active() const { return TTblEngineInstance::Instance().Active(); }
    void SetActive(bool active) { TTblEngineInstance::Instance().SetActive(active); }
    TEngineSettings& Settings() { return TTblEngineInstance::Instance().Settings; }
};

class TTblSession {
public:
    TTblSession();
    ~TTblSession();
    TTblSession(const TTblSession&) = delete;
    TTblSession& operator=(const TTblSession&) = delete;

    // The default session "Default", created with the engine at first use.
    static TTblSession& Default();

    TDataSession* Handle = nullptr;
    bool KeepConnections = true;
    int SessionNumber = -1;
    Text PrivateDir;
    int ProgressSteps = 20;
    bool ForceBufferFlush = false;
    bool StrictChangeDetection = false;
    int LockRetryCount = 15;
    int LockWaitTime = 100;
    TLockProtocol LockProtocol = lpPessimistic;
    TSessionType SessionType = stLocal;
    std::function<void(TTblSession&)> OnStartup;
    std::function<bool(TTblSession&, std::string& password)> OnPassword;

    const Text& SessionName() const { return FSessionName; }
    void SetSessionName(const Text& name);
    bool Active() const { return Handle != nullptr; }
    void SetActive(bool active);
    void AddPassword(const Text& password);

    const std::vector<TTblDatabase*>& Databases() const { return FDatabases; }
    TTblDatabase* FindDatabase(const Text& name) const;
    // The database a table opens through (a temporary one when none has the name), connected and counted.
    TTblDatabase& OpenDatabase(const Text& name);
    void CloseDatabase(TTblDatabase& database);

private:
    friend class TTblDatabase;
    void Attach(TTblDatabase* database);
    void Detach(TTblDatabase* database);
    mutable std::recursive_mutex FSection;
    Text FSessionName;
    std::vector<TTblDatabase*> FDatabases;
    std::vector<std::unique_ptr<TTblDatabase>> FTemporaries;
};

class TTblDatabase {
public:
    // Attaches to the session (the default session when none is given).
    explicit TTblDatabase(TTblSession* session = nullptr);
    ~TTblDatabase();
    TTblDatabase(const TTblDatabase&) = delete;
    TTblDatabase& operator=(const TTblDatabase&) = delete;

    bool KeepConnection = true;
    bool KeepTablesOpen = false;
    bool Temporary = false;
    int RefCount = 0;
    TDataDirectory* Handle = nullptr;
    std::function<void(TTblDatabase&)> BeforeConnect;

    TTblSession& Session() const { return *FSession; }
    const Text& SessionName() const { return FSessionName; }
    const Text& DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const Text& name);
    const Text& Directory() const { return FDirectory; }
    void SetDirectory(const Text& directory);
    bool Connected() const { return Handle != nullptr; }
    void SetConnected(bool connected);

    void RegisterDataSet(TTblTable* table);
    void UnregisterDataSet(TTblTable* table);
    std::size_t DataSetCount() const { return FDataSets.size(); }

private:
    TTblSession* FSession;
    Text FSessionName;
    Text FDatabaseName;
    Text FDirectory;
    std::vector<TTblTable*> FDataSets;
};

// One field of an open table.
class TTblField {
public:
    // definition: the engine's definition of the field, valid while the table is open; recordLength: the
    // length of the table's records, for reading string and integer values straight from the record.
    TTblField(TTblTable& table, int fieldNum, std::string name, TFieldType type, uint16_t size, bool required,
              const TFieldDefinition* definition = nullptr, std::size_t recordLength = 0);

    int FieldNum() const { return FFieldNum; }
    Text FieldName() const;
    TFieldType DataType() const { return FType; }
    uint16_t Size() const { return FSize; }
    bool Required() const { return FRequired; }

    bool IsNull() const;
    int32_t AsInteger() const;
    Text AsString() const;

private:
    TTblTable& FTable;
    int FFieldNum;
    std::string FName;
    TFieldType FType;
    uint16_t FSize;
    bool FRequired;
    const TFieldDefinition* FDefinition;
    // A string or integer field whose value area lies inside the record is read without the general value
    // decoding: its blank flag at FBlankAt, its FValueSize value bytes from FBlankAt + 1.
    enum TDirectRead : uint8_t { drNone, drString, drInteger };
    TDirectRead FDirect = drNone;
    std::size_t FBlankAt = 0;
    std::size_t FValueSize = 0;
};

// Reads the BLOB of a field of the table's active record; freed when destroyed.
class TTblBlobStream {
public:
    TTblBlobStream(TTblTable& table, int fieldNum);
    ~TTblBlobStream();
    TTblBlobStream(const TTblBlobStream&) = delete;
    TTblBlobStream& operator=(const TTblBlobStream&) = delete;

    std::size_t Read(uint8_t* buffer, std::size_t count);
    enum TSeekOrigin { soBeginning, soCurrent, soEnd };
    int64_t Seek(int64_t offset, TSeekOrigin origin);
    int64_t Size() const;

private:
    TTblTable& FTable;
    int FFieldNum;
    int64_t FPosition = 0;
};

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
    void CheckInactive(const char* message) const;
    void Fetch(uint16_t answer);
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
