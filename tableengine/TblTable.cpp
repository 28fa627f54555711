#include "tableengine/TblTable.h"

#include "tableengine/TblDatabase.h"
#include "tableengine/TblEngineInstance.h"
#include "tableengine/TblNames.h"
#include "tableengine/TblSession.h"
#include "tableengine/cursor/DataCursor.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/EngineError.h"

#include <exception>
#include <string>

namespace tableengine {

using namespace tbl;

TTblTable::TTblTable() = default;

TTblTable::~TTblTable()
{
    try {
        Close();
    } catch (...) {
        // closing releases what the table holds; errors have no one to go to here
    }
}

void TTblTable::CheckActive() const
{
    if (!Active())
        Fail("Cannot perform this operation on a closed dataset");
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
    CheckActive();
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

// To the first (or last) record; with none, both ends are reached.
void TTblTable::MoveToEdge(bool last)
{
    CheckActive();
    if (last)
        FCursor->SetToEnd();
    else
        FCursor->SetToBegin();
    FHasRecord = false;
    Fetch(last ? FCursor->GetPriorRecord(FScratch.data()) : FCursor->GetNextRecord(FScratch.data()));
    (last ? FEof : FBof) = true;
    if (!FHasRecord)
        (last ? FBof : FEof) = true;
}

// One record on (or back); at the end it stays where it is.
void TTblTable::Move(bool back)
{
    CheckActive();
    if (back ? FBof : FEof)
        return;
    (back ? FEof : FBof) = false;
    Fetch(back ? FCursor->GetPriorRecord(FScratch.data()) : FCursor->GetNextRecord(FScratch.data()));
}

void TTblTable::First() { MoveToEdge(false); }

void TTblTable::Next() { Move(false); }

void TTblTable::Prior() { Move(true); }

void TTblTable::Last() { MoveToEdge(true); }

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
