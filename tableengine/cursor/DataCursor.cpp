#include "tableengine/storage/BaseFile.h"
#include "tableengine/cursor/DataCursor.h"

#include "tableengine/storage/BufferedFile.h"
#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/DataSession.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/DataTypes.h"
#include "tableengine/storage/IndexFile.h"
#include "tableengine/storage/BlobFile.h"

#include <cstring>

namespace tableengine {

TDataCursor::TDataCursor(TDataDirectory& directory, std::string tableName, bool exclusive, bool readOnly,
                         bool temporary)
    : TableName(std::move(tableName)), FDataDirectory(&directory), FDataEngine(directory.DataSession.DataEngine),
      FExclusive(exclusive), FReadOnly(readOnly), FTemporary(temporary)
{
    FDataDirectory->AddCursor(this);
}

TDataCursor::~TDataCursor()
{
    CloseCursor();
    if (FDataDirectory != nullptr)
        FDataDirectory->RemoveCursor(this);
}

void TDataCursor::DirectoryClosed()
{
    CloseCursor();
    FDataDirectory = nullptr;
}

bool TDataCursor::MarkedReadOnly() const { return DataTable != nullptr && DataTable->MarkedReadOnly; }

bool TDataCursor::WithoutChangeDetection() const { return FExclusive || MarkedReadOnly(); }

void TDataCursor::OpenCursor()
{
    if (IsOpen)
        return;
    if (FDataDirectory == nullptr)
        throw EDatabaseError("Cannot perform this operation on a closed database");
    try {
        DataTable = &FDataDirectory->OpenDataTable(TableName, TableName, true, false, FExclusive, FTemporary);
        IsOpen = true;
        const TDataFile& df = *DataTable->DataFile;
        FieldCount = df.FieldCount();
        RecordLength = df.RecordLength();
        Locale = DataTable->Locale;
        SynchLastUpdateStamps();
        CurrentRecordBuffer.assign(RecordLength, 0);
        LastRecordBuffer.assign(RecordLength, 0);
        ScratchRecordBuffer.assign(RecordLength, 0);
        HashRecordBuffer.assign(RecordLength, 0);
        PageBuffer.assign(static_cast<std::size_t>(std::max(df.IndexPageSize(), 0)), 0);
        FRecordsToRead = FReadAheadRecords = FReadAheadBlocks = 1;
        FNavigation.InitializeNavigation();
    } catch (...) {
        CloseCursor();
        throw;
    }
}

void TDataCursor::CloseCursor()
{
    FBlobs.FreeAllBlobs();
    if (DataTable != nullptr) {
        TDataTable* t = DataTable;
        DataTable = nullptr;
        FDataDirectory->CloseDataTable(*t);
    }
    IsOpen = false;
    FieldCount = 0;
    RecordLength = 0;
}

void TDataCursor::CheckError(uint16_t code, const std::string& message) const
{
    if (code == TBL_NONE)
        return;
    TErrorContext c;
    c.TableName = TableName;
    if (DataTable != nullptr)
        c = DataTable->ErrorContext();
    else if (FDataDirectory != nullptr)
        c.DatabaseName = FDataDirectory->DatabaseName();
    c.Message = message;
    FDataEngine.RaiseError(code, c);
}

void TDataCursor::SynchLastUpdateStamps()
{
    if (DataTable == nullptr)
        return;
    FLastDataUpdateStamp = DataTable->DataUpdateStamp();
    FLastIndexUpdateStamp = DataTable->IndexUpdateStamp();
    FLastBlobUpdateStamp = DataTable->BlobUpdateStamp();
}

bool TDataCursor::PerformChangeDetection() const
{
    return DataTable != nullptr &&
           (FLastDataUpdateStamp != DataTable->DataUpdateStamp() ||
            FLastIndexUpdateStamp != DataTable->IndexUpdateStamp() ||
            FLastBlobUpdateStamp != DataTable->BlobUpdateStamp());
}

bool TDataCursor::ReadLockTable()
{
    if (DataTable == nullptr || WithoutChangeDetection())
        return false;
    const bool changed = DataTable->ReadLockTable();
    if (changed || PerformChangeDetection()) {
        SynchLastUpdateStamps();
        return true;
    }
    return false;
}

void TDataCursor::ReadUnlockTable()
{
    if (DataTable == nullptr || WithoutChangeDetection())
        return;
    DataTable->ReadUnlockTable();
}

const TFieldDefinition& TDataCursor::GetFieldDefinition(int fieldNum) const
{
    const TFieldDefinition* d = nullptr;
    if (DataTable != nullptr && (fieldNum == -1 || fieldNum == -2 || (fieldNum >= 1 && fieldNum <= FieldCount)))
        d = DataTable->DataFile->GetFieldDefinitionByPos(fieldNum);
    if (d == nullptr) {
        TErrorContext c;
        if (DataTable != nullptr)
            c = DataTable->ErrorContext();
        else
            c.TableName = TableName;
        c.FieldName = std::to_string(fieldNum);
        FDataEngine.RaiseError(TBL_OUTOFRANGE, c);
    }
    return *d;
}

std::size_t TDataCursor::GetField(int fieldNum, const uint8_t* record, bool& blank, uint8_t* value) const
{
    const TFieldValue v = GetFieldValue(fieldNum, record);
    blank = v.Blank;
    if (value != nullptr)
        std::memcpy(value, v.Data, v.Size);
    return v.Size;
}

TFieldValue TDataCursor::GetFieldValue(int fieldNum, const uint8_t* record) const
{
    return FieldValueOf(GetFieldDefinition(fieldNum), fieldNum < 0, record);
}

TFieldValue TDataCursor::GetFieldValue(const TFieldDefinition& definition, const uint8_t* record) const
{
    return FieldValueOf(definition, false, record);
}

TFieldValue TDataCursor::FieldValueOf(const TFieldDefinition& d, bool pseudo, const uint8_t* record) const
{
    const std::size_t start = pseudo ? d.Offset : std::size_t(d.Offset) + 1;
    std::size_t size = d.DataSize;
    // Offsets come from the file: a definition reaching past the record is a corrupt header.
    if (start + size > RecordLength || (!pseudo && d.Offset >= RecordLength))
        DataTable->RaiseError(TBL_HEADERCORRUPT);
    if (!pseudo && d.DataType == dtBlob)
        size = std::min<std::size_t>(size, 4);
    TFieldValue v;
    v.Definition = &d;
    v.Blank = pseudo ? false : record[d.Offset] == 0;
    v.Data = record + start;
    v.Size = size;
    return v;
}

void TDataCursor::ReadRecord(int32_t number, uint8_t* buffer, int direction, bool readAhead)
{
    if (DataTable == nullptr)
        CheckError(TBL_NOCURRREC);
    for (int attempt = 0; attempt < 3; ++attempt) {
        ReadLockTable();
        struct Unlock {
            TDataCursor& c;
            ~Unlock() { c.ReadUnlockTable(); }
        } unlock{*this};
        TRecord* r = DataTable->DataFile->GetRecord(this, direction, readAhead, number);
        if (r == nullptr)
            continue; // another process changed the table: the cache was dropped, read again
        TBufferLease lease(*DataTable->DataFile, r);
        if (r->BufferSize() < RecordLength)
            DataTable->RaiseError(TBL_FILECORRUPT);
        std::memcpy(buffer, r->Data(), RecordLength);
        return;
    }
    DataTable->RaiseError(TBL_FILECORRUPT);
}

} // namespace tableengine
