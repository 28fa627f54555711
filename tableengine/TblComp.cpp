#include "tableengine/TblComp.h"

#include "tableengine/cursor/DataCursor.h"
#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/DataSession.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/DataTypes.h"
#include "tableengine/format/EngineError.h"

#include "platform/Paths.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace tableengine {
namespace {

// Path parts are joined with the native delimiter. The other slash in a name or directory means the same:
// Windows takes both, and on POSIX a backslash is how a path written for Windows reaches us.
constexpr char16_t PathDelimiter = platform::PathDelim;
constexpr char16_t OtherDelimiter = PathDelimiter == u'/' ? u'\\' : u'/';

Text NativeDelimiters(Text s)
{
    std::replace(s.begin(), s.end(), OtherDelimiter, PathDelimiter);
    return s;
}

bool HasPathDelimiter(const Text& s)
{
    return s.find(u':') != Text::npos || s.find(PathDelimiter) != Text::npos;
}

bool SameNoCase(const Text& a, const Text& b) { return platform::CompareTextNoCase(a, b) == 0; }

std::string Utf8(const Text& t) { return platform::TextToUtf8(t); }

[[noreturn]] void Fail(const std::string& message) { throw EDatabaseError(message); }

std::string Quoted(const char* pattern, const Text& value)
{
    std::string s(pattern);
    const auto at = s.find("%s");
    return at == std::string::npos ? s : s.replace(at, 2, Utf8(value));
}

constexpr char OpenDatabaseMessage[] = "Cannot perform this operation on an open database";
constexpr char OpenDataSetMessage[] = "Cannot perform this operation on an open dataset";

} // namespace

// ---- engine

TTblEngineInstance& TTblEngineInstance::Instance()
{
    static TTblEngineInstance instance;
    return instance;
}

TTblEngineInstance::TTblEngineInstance() = default;

TDataEngine& TTblEngineInstance::DataEngine()
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (!FDataEngine)
        FDataEngine = std::make_unique<TDataEngine>();
    return *FDataEngine;
}

void TTblEngineInstance::SetActive(bool active)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (active == FActive)
        return;
    if (active) {
        DataEngine().Initialize(Settings);
        FActive = true;
        if (OnStartup)
            OnStartup();
    } else {
        for (TTblSession* s : std::vector<TTblSession*>(FSessions))
            s->SetActive(false);
        FDataEngine.reset();
        FActive = false;
        if (OnShutdown)
            OnShutdown();
    }
}

void TTblEngineInstance::AddSession(TTblSession* session)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    FSessions.push_back(session);
}

void TTblEngineInstance::RemoveSession(TTblSession* session)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    std::erase(FSessions, session);
}

TTblSession* TTblEngineInstance::FindSession(const Text& name) const
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    for (TTblSession* s : FSessions)
        if (SameNoCase(s->SessionName(), name))
            return s;
    return nullptr;
}

int TTblEngineInstance::NextSessionNumber()
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    return ++FSessionNumbers;
}

// ---- session

TTblSession::TTblSession() { TTblEngineInstance::Instance().AddSession(this); }

TTblSession::~TTblSession()
{
    SetActive(false);
    for (TTblDatabase* db : std::vector<TTblDatabase*>(FDatabases))
        if (!db->Temporary)
            Detach(db);
    FTemporaries.clear();
    TTblEngineInstance::Instance().RemoveSession(this);
}

TTblSession& TTblSession::Default()
{
    static TTblSession* session = [] {
        static TTblSession s;
        s.SetSessionName(u"Default");
        return &s;
    }();
    return *session;
}

void TTblSession::SetSessionName(const Text& name)
{
    if (Active())
        Fail("Cannot perform this operation on an active session");
    FSessionName = name;
}

void TTblSession::SetActive(bool active)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (active == Active())
        return;
    TTblEngineInstance& engine = TTblEngineInstance::Instance();
    if (!active) {
        for (TTblDatabase* db : std::vector<TTblDatabase*>(FDatabases))
            db->SetConnected(false);
        FTemporaries.clear();
        engine.DataEngine().StopDataSession(*Handle);
        Handle = nullptr;
        return;
    }
    engine.SetActive(true);
    try {
        if (OnStartup)
            OnStartup(*this);
        if (FSessionName.empty())
            Fail("Session name is missing");
        if (this != &Default())
            Default().SetActive(true);
        if (SessionNumber < 0)
            SessionNumber = engine.NextSessionNumber();
        // The engine names the data session: the name, "_" and its number.
        TDataSession& s = engine.DataEngine().StartDataSession(Utf8(FSessionName));
        Handle = &s;
        s.PrivateDir = Utf8(PrivateDir);
        s.StrictChangeDetection = StrictChangeDetection;
        s.ForceBufferFlush = ForceBufferFlush;
        s.LockRetryCount = static_cast<uint32_t>(std::max(LockRetryCount, 0));
        s.LockWaitTime = static_cast<uint32_t>(std::max(LockWaitTime, 0));
        s.ProgressSteps = static_cast<uint32_t>(std::max(ProgressSteps, 0));
        s.OnPassword = [this](std::string& password) { return OnPassword && OnPassword(*this, password); };
    } catch (...) {
        if (Handle != nullptr) {
            engine.DataEngine().StopDataSession(*Handle);
            Handle = nullptr;
        }
        throw;
    }
}

void TTblSession::AddPassword(const Text& password)
{
    SetActive(true);
    Handle->AddPassword(platform::TextToAnsi(password));
}

void TTblSession::Attach(TTblDatabase* database)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    FDatabases.push_back(database);
}

void TTblSession::Detach(TTblDatabase* database)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    std::erase(FDatabases, database);
}

TTblDatabase* TTblSession::FindDatabase(const Text& name) const
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    for (TTblDatabase* db : FDatabases)
        if (SameNoCase(db->DatabaseName(), name))
            return db;
    return nullptr;
}

TTblDatabase& TTblSession::OpenDatabase(const Text& name)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    SetActive(true);
    TTblDatabase* db = FindDatabase(NativeDelimiters(name));
    if (db == nullptr) {
        auto temp = std::make_unique<TTblDatabase>(this);
        temp->Temporary = true;
        temp->SetDatabaseName(name);
        if (HasPathDelimiter(temp->DatabaseName()) && !SameNoCase(name, u"Memory"))
            temp->SetDirectory(temp->DatabaseName());
        temp->KeepConnection = KeepConnections;
        db = temp.get();
        FTemporaries.push_back(std::move(temp));
    }
    db->SetConnected(true);
    ++db->RefCount;
    return *db;
}

void TTblSession::CloseDatabase(TTblDatabase& database)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (database.RefCount > 0)
        --database.RefCount;
    if (database.RefCount > 0)
        return;
    if (database.Temporary) {
        std::erase_if(FTemporaries, [&](const auto& p) { return p.get() == &database; });
        return;
    }
    if (!database.KeepConnection)
        database.SetConnected(false);
}

// ---- database

TTblDatabase::TTblDatabase(TTblSession* session) : FSession(session ? session : &TTblSession::Default())
{
    FSessionName = FSession->SessionName();
    FSession->Attach(this);
}

TTblDatabase::~TTblDatabase()
{
    try {
        SetConnected(false);
    } catch (...) {
        // closing a directory does not fail; nothing is left open either way
    }
    FSession->Detach(this);
}

void TTblDatabase::SetDatabaseName(const Text& name)
{
    const Text value = NativeDelimiters(name);
    if (Connected())
        Fail(OpenDatabaseMessage);
    if (TTblDatabase* other = FSession->FindDatabase(value); other != nullptr && other != this) {
        if (other->Temporary && other->RefCount == 0)
            std::erase_if(FSession->FTemporaries, [&](const auto& p) { return p.get() == other; });
        else
            Fail(Quoted("Database name '%s' already exists", value));
    }
    if (!Temporary && HasPathDelimiter(value))
        Fail(Quoted("Database name '%s' is not valid", value));
    FDatabaseName = value;
}

void TTblDatabase::SetDirectory(const Text& directory)
{
    if (Connected())
        Fail(OpenDatabaseMessage);
    Text value = NativeDelimiters(directory);
    const auto first = value.find_first_not_of(u' ');
    value = first == Text::npos ? Text() : value.substr(first);
    while (!value.empty() && (value.back() == u' ' || (value.back() == PathDelimiter && value.size() > 1)))
        value.pop_back();
    FDirectory = value;
}

void TTblDatabase::SetConnected(bool connected)
{
    if (connected == Connected())
        return;
    if (!connected) {
        TDataDirectory* dir = Handle;
        Handle = nullptr;
        if (FSession->Handle != nullptr)
            FSession->Handle->CloseDataDirectory(*dir);
        return;
    }
    if (BeforeConnect)
        BeforeConnect(*this);
    if (FDatabaseName.empty())
        Fail("Database name is missing");
    FSession->SetActive(true);
    TDataSession& session = *FSession->Handle;
    if (SameNoCase(FDatabaseName, u"Memory")) {
        Handle = &session.OpenDataDirectory("Memory", "", KeepTablesOpen);
        return;
    }
    Text name = FDatabaseName;
    while (!name.empty() && name.front() == PathDelimiter)
        name.erase(name.begin());
    while (!name.empty() && name.back() == PathDelimiter)
        name.pop_back();
    Handle = &session.OpenDataDirectory(Utf8(name), Utf8(FDirectory), KeepTablesOpen);
}

void TTblDatabase::RegisterDataSet(TTblTable* table) { FDataSets.push_back(table); }

void TTblDatabase::UnregisterDataSet(TTblTable* table) { std::erase(FDataSets, table); }

// ---- fields

TTblField::TTblField(TTblTable& table, int fieldNum, std::string name, TFieldType type, uint16_t size, bool required,
                     const TFieldDefinition* definition, std::size_t recordLength)
    : FTable(table), FFieldNum(fieldNum), FName(std::move(name)), FType(type), FSize(size), FRequired(required),
      FDefinition(definition)
{
    // The same bounds the cursor's value decoding checks; a definition outside them keeps that path and its
    // error.
    if (definition == nullptr || definition->Offset >= recordLength ||
        std::size_t(definition->Offset) + 1 + definition->DataSize > recordLength)
        return;
    FBlankAt = definition->Offset;
    FValueSize = definition->DataSize;
    if (definition->DataType == dtString)
        FDirect = drString;
    else if (definition->DataType == dtInteger && FValueSize >= sizeof(int32_t) && type != ftMemo &&
             type != ftBlob && type != ftGraphic && type != ftFmtMemo)
        FDirect = drInteger;
}

Text TTblField::FieldName() const { return platform::AnsiToText(FName); }

bool TTblField::IsNull() const
{
    if (!FTable.HasRecord())
        return true;
    bool blank = true;
    FTable.Handle()->GetField(FFieldNum, FTable.ActiveBuffer().data(), blank);
    return blank;
}

int32_t TTblField::AsInteger() const
{
    if (FDirect == drInteger) {
        if (!FTable.HasRecord())
            return 0;
        const uint8_t* record = FTable.ActiveBuffer().data();
        int32_t value = 0;
        if (record[FBlankAt] != 0)
            std::memcpy(&value, record + FBlankAt + 1, sizeof value);
        return value;
    }
    if (FType == ftMemo || FType == ftBlob || FType == ftGraphic || FType == ftFmtMemo) {
        const auto text = AsString();
        const auto n = platform::TextToInt(text);
        if (text.empty())
            return 0;
        if (!n)
            throw EConvertError("'" + platform::TextToUtf8(text) + "' is not a valid integer value");
        return static_cast<int32_t>(*n);
    }
    if (!FTable.HasRecord())
        return 0;
    const TDataCursor& c = *FTable.Handle();
    const uint8_t* record = FTable.ActiveBuffer().data();
    return tableengine::AsInteger(FDefinition != nullptr ? c.GetFieldValue(*FDefinition, record)
                                                          : c.GetFieldValue(FFieldNum, record));
}

Text TTblField::AsString() const
{
    if (!FTable.HasRecord())
        return {};
    if (FDirect == drString) {
        // Up to the first zero byte, decoded with the ANSI code page, straight into the returned text.
        const uint8_t* record = FTable.ActiveBuffer().data();
        if (record[FBlankAt] == 0)
            return {};
        const auto* text = reinterpret_cast<const char*>(record + FBlankAt + 1);
        const auto* end = static_cast<const char*>(std::memchr(text, 0, FValueSize));
        return platform::AnsiToText(std::string_view(text, end != nullptr ? std::size_t(end - text) : FValueSize));
    }
    TDataCursor& c = *FTable.Handle();
    const TFieldDefinition& d = FDefinition != nullptr ? *FDefinition : c.GetFieldDefinition(FFieldNum);
    if (d.DataType == dtBlob) {
        if (FType != ftMemo && FType != ftFmtMemo)
            return {};
        TTblBlobStream stream(FTable, FFieldNum);
        std::string bytes(static_cast<std::size_t>(stream.Size()), '\0');
        const std::size_t got = stream.Read(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
        bytes.resize(got);
        return platform::AnsiToText(bytes);
    }
    return tableengine::AsString(c.GetFieldValue(d, FTable.ActiveBuffer().data()));
}

// ---- BLOB stream

TTblBlobStream::TTblBlobStream(TTblTable& table, int fieldNum) : FTable(table), FFieldNum(fieldNum)
{
    if (!table.Active() || !table.HasRecord())
        Fail("No current record");
    table.Handle()->OpenBlob(fieldNum, table.ActiveBuffer().data(), bomRead);
}

TTblBlobStream::~TTblBlobStream()
{
    try {
        if (FTable.Active())
            FTable.Handle()->FreeBlob(FFieldNum, FTable.ActiveBuffer().data());
    } catch (...) {
        // the handle is the stream's own; freeing it cannot meet another state
    }
}

std::size_t TTblBlobStream::Read(uint8_t* buffer, std::size_t count)
{
    const std::size_t got = FTable.Handle()->GetBlob(FFieldNum, FTable.ActiveBuffer().data(), count, buffer,
                                                     static_cast<std::size_t>(std::max<int64_t>(FPosition, 0)));
    FPosition += static_cast<int64_t>(got);
    return got;
}

int64_t TTblBlobStream::Seek(int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case soBeginning: FPosition = offset; break;
    case soCurrent: FPosition += offset; break;
    case soEnd: FPosition = Size() + offset; break;
    }
    FPosition = std::max<int64_t>(FPosition, 0);
    return FPosition;
}

int64_t TTblBlobStream::Size() const
{
    return FTable.Handle()->GetBlobSize(FFieldNum, FTable.ActiveBuffer().data());
}

// ---- table

TTblTable::TTblTable() = default;

TTblTable::~TTblTable()
{
    try {
        Close();
    } catch (...) {
        // closing releases what the table holds; errors have no one to go to here
    }
}

void TTblTable::CheckInactive(const char* message) const
{
    if (Active())
        Fail(message);
}

void TTblTable::SetDatabaseName(const Text& name)
{
    CheckInactive(OpenDatabaseMessage);
    // Spelled as the database spells its name, so that the table finds the database made for the same name.
    FDatabaseName = NativeDelimiters(name);
}

void TTblTable::SetSessionName(const Text& name)
{
    CheckInactive(OpenDataSetMessage);
    FSessionName = name;
}

void TTblTable::SetTableName(const Text& name)
{
    const Text value = NativeDelimiters(name);
    if (value == FTableName)
        return;
    CheckInactive(OpenDataSetMessage);
    const auto at = value.rfind(PathDelimiter);
    if (at != Text::npos) {
        FDatabaseName = value.substr(0, at);
        FTableName = value.substr(at + 1);
    } else {
        FTableName = value;
    }
}

void TTblTable::SetIndexName(const Text& name)
{
    FIndexName = name;
    if (Active()) {
        FCursor->SetIndexName(platform::TextToAnsi(name));
        First();
    }
}

void TTblTable::Open()
{
    if (Active())
        return;
    TTblSession* session = FSessionName.empty() ? &TTblSession::Default()
                                                : TTblEngineInstance::Instance().FindSession(FSessionName);
    if (session == nullptr)
        Fail(Quoted("Session name '%s' is not valid", FSessionName));
    session->SetActive(true);
    TTblDatabase& db = session->OpenDatabase(FDatabaseName);
    db.RegisterDataSet(this);
    try {
        if (FTableName.empty())
            Fail("Missing table name");
        Text name = FTableName;
        if (name.size() >= 4 && SameNoCase(name.substr(name.size() - 4), u".dat"))
            name.resize(name.size() - 4);
        if (name.size() > 60)
            name.resize(60);
        auto cursor = std::make_unique<TDataCursor>(*db.Handle, platform::TextToAnsi(name), Exclusive, ReadOnly);
        cursor->OpenCursor();
        if (!FIndexName.empty())
            cursor->SetIndexName(platform::TextToAnsi(FIndexName));
        const TDataFile& data = *cursor->DataTable->DataFile;
        for (int num = 1; num <= data.FieldCount(); ++num) {
            const TFieldDefinition& d = cursor->GetFieldDefinition(num);
            if (d.Hidden != 0)
                continue;
            FFields.push_back(std::make_unique<TTblField>(*this, num, ReadShortString(d.FieldName, sizeof d.FieldName, 60),
                                                          FieldTypeOf(d), FieldSizeOf(d), FieldRequired(d), &d,
                                                          cursor->RecordLength));
        }
        FRecord.assign(cursor->RecordLength, 0);
        FScratch.assign(cursor->RecordLength, 0);
        FCursor = std::move(cursor);
        FDatabase = &db;
        FHasRecord = false;
        FBof = true;
        FEof = false;
        FCursor->SetToBegin();
    } catch (...) {
        FFields.clear();
        FCursor.reset();
        db.UnregisterDataSet(this);
        session->CloseDatabase(db);
        throw;
    }
}

void TTblTable::Close()
{
    if (!Active())
        return;
    // The table closes also when giving back a held lock fails; that failure is reported afterwards.
    std::exception_ptr unlockFailure;
    try {
        ReleaseReadLock();
    } catch (...) {
        unlockFailure = std::current_exception();
    }
    FFields.clear();
    FCursor->CloseCursor();
    FCursor.reset();
    FHasRecord = false;
    FEof = true;
    FBof = true;
    TTblDatabase* db = FDatabase;
    FDatabase = nullptr;
    db->UnregisterDataSet(this);
    // Every open raised the database's count once; a temporary database goes with the last of its tables.
    db->Session().CloseDatabase(*db);
    if (unlockFailure)
        std::rethrow_exception(unlockFailure);
}

void TTblTable::HoldReadLock()
{
    if (!Active())
        Fail("Cannot perform this operation on a closed dataset");
    TDataCursor& c = *FCursor;
    if (FReadLockHeld || c.Exclusive() || c.MarkedReadOnly())
        return;
    // A change found here dropped the table's cached blocks; the cursor's stamps still differ from the
    // table's, so its next move re-finds its place as after any change.
    c.DataTable->ReadLockTable();
    FReadLockHeld = true;
}

void TTblTable::ReleaseReadLock()
{
    if (!FReadLockHeld)
        return;
    FReadLockHeld = false;
    FCursor->DataTable->ReadUnlockTable();
}

void TTblTable::Fetch(uint16_t answer)
{
    if (answer == NavRecord) {
        FRecord.swap(FScratch);
        FHasRecord = true;
        FEof = false;
        FBof = false;
    } else if (answer == TBL_EOF) {
        FEof = true;
    } else if (answer == TBL_BOF) {
        FBof = true;
    } else {
        FCursor->CheckError(answer);
    }
}

void TTblTable::First()
{
    if (!Active())
        Fail("Cannot perform this operation on a closed dataset");
    FCursor->SetToBegin();
    FHasRecord = false;
    Fetch(FCursor->GetNextRecord(FScratch.data()));
    FBof = true;
    if (!FHasRecord)
        FEof = true;
}

void TTblTable::Next()
{
    if (!Active())
        Fail("Cannot perform this operation on a closed dataset");
    if (FEof)
        return;
    FBof = false;
    Fetch(FCursor->GetNextRecord(FScratch.data()));
}

void TTblTable::Prior()
{
    if (!Active())
        Fail("Cannot perform this operation on a closed dataset");
    if (FBof)
        return;
    FEof = false;
    Fetch(FCursor->GetPriorRecord(FScratch.data()));
}

void TTblTable::Last()
{
    if (!Active())
        Fail("Cannot perform this operation on a closed dataset");
    FCursor->SetToEnd();
    FHasRecord = false;
    Fetch(FCursor->GetPriorRecord(FScratch.data()));
    FEof = true;
    if (!FHasRecord)
        FBof = true;
}

int32_t TTblTable::RecordCount() const { return Active() ? FCursor->GetRecordCount() : 0; }

TTblField& TTblTable::Fields(int index)
{
    if (index < 0 || index >= FieldCount())
        Fail("List index out of bounds (" + std::to_string(index) + ")");
    return *FFields[static_cast<std::size_t>(index)];
}

TTblField* TTblTable::FindField(const Text& name)
{
    for (auto& f : FFields)
        if (SameNoCase(f->FieldName(), name))
            return f.get();
    return nullptr;
}

std::unique_ptr<TTblBlobStream> TTblTable::CreateBlobStream(int fieldNum)
{
    return std::make_unique<TTblBlobStream>(*this, fieldNum);
}

} // namespace tableengine
