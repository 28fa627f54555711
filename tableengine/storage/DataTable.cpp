#include "tableengine/storage/DataTable.h"

#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/BlobFile.h"
#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataDirectoryLocks.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/storage/DataSession.h"
#include "tableengine/storage/IndexFile.h"

#include "platform/File.h"
#include "platform/TemporaryFiles.h"
#include "platform/Text.h"

#include <algorithm>

namespace tableengine {

TDataTable::TDataTable(TDataDirectory& directory, std::string tableName, std::string errorTableName, bool exclusive,
                       bool temporary, bool readOnly)
    : DataDirectory(directory), TableName(std::move(tableName)), ErrorTableName(std::move(errorTableName)),
      Exclusive(exclusive), ReadOnly(readOnly), Temporary(temporary), RecordLocks(8192 / 8, 0),
      TransactionRecordLocks(8192 / 8, 0)
{
    TDataEngine& e = DataDirectory.DataSession.DataEngine;
    SemaphoreLocks.assign(static_cast<std::size_t>((e.SemaphoreLockRange + 7) / 8), 0);
    DataFile = std::make_unique<TDataFile>(e, this);
    IndexFile = std::make_unique<TIndexFile>(e, this);
    BlobFile = std::make_unique<TBlobFile>(e, this);
}

TDataTable::~TDataTable()
{
    if (DataTableLocks != nullptr) {
        while (DataTableLocks->IsReadLocked())
            try {
                DataTableLocks->ReadUnlock();
            } catch (const std::exception&) {
                break;
            }
    }
    CloseFiles();
}

TErrorContext TDataTable::ErrorContext() const
{
    TErrorContext c;
    c.TableName = ErrorTableName.empty() ? TableName : ErrorTableName;
    c.DatabaseName = DataDirectory.DatabaseName();
    return c;
}

void TDataTable::RaiseError(uint16_t code) const { DataDirectory.DataSession.DataEngine.RaiseError(code, ErrorContext()); }

bool TDataTable::StrictChangeDetection() const { return DataDirectory.DataSession.StrictChangeDetection; }

std::string TDataTable::TableFileName(const std::string& extension) const
{
    const TEngineSettings& s = DataDirectory.DataSession.DataEngine.Settings();
    std::string name = TrimBlanks(TableName);
    const std::string& dataExt = s.TableDataExtension;
    if (name.size() > dataExt.size() && CompareNameNoCase(name.substr(name.size() - dataExt.size()), dataExt) == 0)
        name.resize(name.size() - dataExt.size());
    // Table names are ANSI text; the file system names files in UTF-8.
    return DataDirectory.Directory + platform::TextToUtf8(platform::AnsiToText(name)) + extension;
}

void TDataTable::AssignFiles()
{
    const TEngineSettings& s = DataDirectory.DataSession.DataEngine.Settings();
    DataFileName = TableFileName(Temporary ? s.TableDataTempExtension : s.TableDataExtension);
    IndexFileName = TableFileName(Temporary ? s.TableIndexTempExtension : s.TableIndexExtension);
    BlobFileName = TableFileName(Temporary ? s.TableBlobTempExtension : s.TableBlobExtension);
    const TErrorContext c = ErrorContext();
    const std::pair<TEngineFile*, const std::string*> files[] = {
        {DataFile.get(), &DataFileName}, {IndexFile.get(), &IndexFileName}, {BlobFile.get(), &BlobFileName}};
    for (auto [f, name] : files) {
        f->FileName = *name;
        f->ProperName = c.TableName;
        f->DatabaseName = c.DatabaseName;
        f->Exclusive = Exclusive;
        f->ReadOnly = ReadOnly;
        f->InMemory = DataDirectory.InMemory;
        f->Temporary = Temporary;
    }
}

void TDataTable::CloseFiles()
{
    IndexFile->CloseFile();
    BlobFile->CloseFile();
    DataFile->CloseFile();
}

const TDataPassword& TDataTable::VerifyPassword(const TMD5Digest& stored)
{
    if (DataPassword && DataPassword->Matches(stored))
        return *DataPassword;
    TDataSession& session = DataDirectory.DataSession;
    for (const std::string& p : session.Passwords()) {
        auto candidate = std::make_unique<TDataPassword>(p);
        if (candidate->Matches(stored)) {
            DataPassword = std::move(candidate);
            return *DataPassword;
        }
    }
    if (session.OnPassword) {
        std::vector<std::string> tried = session.Passwords();
        std::string p;
        // Ask while the callback keeps supplying new passwords.
        while (session.OnPassword(p) && std::find(tried.begin(), tried.end(), p) == tried.end()) {
            tried.push_back(p);
            auto candidate = std::make_unique<TDataPassword>(p);
            if (candidate->Matches(stored)) {
                session.AddPassword(p);
                DataPassword = std::move(candidate);
                return *DataPassword;
            }
        }
    }
    RaiseError(TBL_NOTSUFFTABLERIGHTS);
}

void TDataTable::CheckHeaders(bool indexRecreated)
{
    Locale = DataFile->LoadLocale();
    DataFile->CheckHeader();
    if (!indexRecreated)
        IndexFile->CheckHeader();
    if (BlobFile->IsOpen)
        BlobFile->CheckHeader();
}

void TDataTable::OpenTable(bool headerChecks, bool systemOpen)
{
    if (IsOpen) {
        ++UseCount;
        return;
    }
    ++UseCount;
    IsOpen = true;
    SystemOpen = systemOpen;
    bool readLocked = false;
    try {
        AssignFiles();
        // The data file is opened before anything is read from it, because whether the table takes locks
        // depends on its read-only attribute; the headers of all three files are then read under the table's
        // read lock, so that a writer in another process is never met half-way through a rewrite.
        DataFile->TEngineFile::OpenFile();
        DataTableLocks = nullptr;
        if (!Exclusive && !DataFile->MarkedReadOnly) {
            DataTableLocks = &DataDirectory.Locks->AddDataTable(TableName);
            DataTableLocks->ReadLock();
            readLocked = true;
        }
        DataFile->LoadHeaders();
        IndexFile->FDataFile = DataFile.get();
        try {
            IndexFile->FPageSize = DataFile->IndexPageSize();
            IndexFile->Password = DataFile->Password;
            IndexFile->OpenFile();
        } catch (const ETblEngineError& e) {
            if (e.ErrorCode != TBL_OSENOENT && e.ErrorCode != TBL_READERR)
                throw;
            IndexFile->CloseFile();
            if (readLocked) {
                // The write lock is granted only to a process that holds no read slot of the table.
                readLocked = false;
                DataTableLocks->ReadUnlock();
            }
            OpenMissingIndex();
        }
        const bool recreated = MissingIndex;
        if (DataFile->BlobFieldCount() > 0) {
            BlobFile->FBlockSize = DataFile->BlobBlockSize();
            BlobFile->Password = DataFile->Password;
            BlobFile->OpenFile();
        }
        ReadOnly = DataFile->ReadOnly || IndexFile->ReadOnly || (BlobFile->IsOpen && BlobFile->ReadOnly);
        MarkedReadOnly =
            DataFile->MarkedReadOnly || IndexFile->MarkedReadOnly || (BlobFile->IsOpen && BlobFile->MarkedReadOnly);
        if (MarkedReadOnly)
            ReadOnly = true;
        if (headerChecks)
            CheckHeaders(recreated);
        if (readLocked) {
            readLocked = false;
            DataTableLocks->ReadUnlock();
        }
        if (MarkedReadOnly)
            DataTableLocks = nullptr; // files marked read-only are read without locks
        // A write lock taken for a missing index is kept only while the index still has to be filled.
        if (!IndexRebuildPending)
            EndIndexRebuild();
    } catch (...) {
        if (readLocked) {
            try {
                DataTableLocks->ReadUnlock();
            } catch (const std::exception&) {
                // the open fails with the first error
            }
        }
        UseCount = 0;
        IsOpen = false;
        CloseFiles();
        EndIndexRebuild();
        DataTableLocks = nullptr;
        MissingIndex = false;
        throw;
    }
}

void TDataTable::OpenMissingIndex()
{
    // Whoever gets the write lock first makes the file; a process that waited for it finds the file made and
    // filled, and opens it like any other. The lock is held until the open has read everything (and, for a
    // new file, until it has been filled), so what changed while no lock was held is read again under it.
    if (!Exclusive && !DataFile->MarkedReadOnly) {
        TDataTableLocks& locks = DataDirectory.Locks->AddDataTable(TableName);
        if (!locks.WriteLock())
            RaiseError(TBL_WRITELOCK);
        FIndexRebuildLocks = &locks;
        DataFile->LoadHeaders();
        IndexFile->FPageSize = DataFile->IndexPageSize();
        IndexFile->Password = DataFile->Password;
        try {
            IndexFile->OpenFile();
            return;
        } catch (const ETblEngineError& e) {
            IndexFile->CloseFile();
            if (e.ErrorCode != TBL_OSENOENT && e.ErrorCode != TBL_READERR)
                throw;
        }
    }
    MissingIndex = true;
    IndexRebuildPending = true;
    // On disk the new index is made under a temporary name and takes the index file's name only once it is
    // complete (InstallRebuiltIndex), so that a process killed before that leaves the index missing, and the
    // next open rebuilds it. Files of rebuilds whose process is gone are removed first.
    if (!DataDirectory.InMemory) {
        platform::RemoveAbandonedTemporaryFiles(IndexFileName);
        IndexFile->FileName = platform::TemporaryFileName(IndexFileName);
    }
    IndexFile->CreateDefault();
    IndexFile->OpenFile();
}

void TDataTable::InstallRebuiltIndex()
{
    if (IndexFile->FileName == IndexFileName)
        return; // built in place (in memory)
    const std::string temporary = IndexFile->FileName;
    IndexFile->CloseFile();
    IndexFile->FileName = IndexFileName;
    const DWORD rc = platform::RenameFile(temporary, IndexFileName);
    if (rc != platform::ERROR_SUCCESS) {
        (void)platform::DeleteFile(temporary);
        DataDirectory.DataSession.DataEngine.SetOSErrorNumber(static_cast<int32_t>(rc));
        RaiseError(TBL_WRITEERR);
    }
    (void)platform::FlushFolderOf(IndexFileName); // the file is complete under either name
    IndexFile->OpenFile();
}

void TDataTable::EndIndexRebuild()
{
    if (IndexRebuildPending && IndexFile->FileName != IndexFileName) {
        // A rebuild that did not finish: its file goes, and the index stays missing.
        const std::string temporary = IndexFile->FileName;
        IndexFile->CloseFile();
        IndexFile->FileName = IndexFileName;
        (void)platform::DeleteFile(temporary);
    }
    IndexRebuildPending = false;
    if (FIndexRebuildLocks != nullptr) {
        TDataTableLocks* locks = FIndexRebuildLocks;
        FIndexRebuildLocks = nullptr;
        locks->WriteUnlock();
    }
}

void TDataTable::CloseTable()
{
    if (UseCount <= 0)
        return;
    if (--UseCount > 0)
        return;
    InTransaction = false; // nothing is pending on the read path
    try {
        if (Exclusive && !ReadOnly) {
            DataFile->FlushBuffers();
            IndexFile->FlushBuffers();
            if (BlobFile->IsOpen)
                BlobFile->FlushBuffers();
        }
    } catch (const std::exception&) {
        // closing goes on: the files are released below
    }
    if (DataTableLocks != nullptr) {
        while (DataTableLocks->IsReadLocked()) {
            try {
                DataTableLocks->ReadUnlock();
            } catch (const std::exception&) {
                break;
            }
        }
        DataTableLocks->WriteUnlock();
    }
    EndIndexRebuild();
    TableLock = false;
    std::fill(RecordLocks.begin(), RecordLocks.end(), uint8_t(0));
    std::fill(SemaphoreLocks.begin(), SemaphoreLocks.end(), uint8_t(0));
    if (!(DataDirectory.KeepTablesOpen && !SystemOpen && !Exclusive))
        CloseFiles();
    else {
        DataFile->FreeBuffers();
        IndexFile->FreeBuffers();
        BlobFile->FreeBuffers();
    }
    MissingIndex = false;
    WrittenTo = false;
    IsOpen = false;
}

bool TDataTable::ReadLockTable()
{
    if (DataTableLocks == nullptr)
        return false;
    // A slot held without a break since the header was last re-read (a reader holding the lock around many
    // reads) keeps every writer out, so the header cannot have moved and is not read again.
    const bool unbroken = !TableLock && FHeaderCurrent && DataTableLocks->IsReadLocked() &&
                          DataTableLocks->DataDirectoryLocks.HasLockFile();
    if (!TableLock)
        DataTableLocks->ReadLock();
    if (unbroken)
        return false;
    try {
        const TDataHeader before = DataFile->Header;
        if (!DataFile->CheckForChanges()) {
            FHeaderCurrent = !TableLock;
            return false;
        }
        DataFile->FreeBuffers();
        IndexFile->FreeBuffers();
        BlobFile->FreeBuffers();
        // The headers as another process left them are checked as at open before anything is read with them.
        // A header that fails keeps the old stamp held, so that every later lock meets the change again.
        try {
            DataFile->CheckChangedHeader(before);
            IndexFile->ReadHeader();
            IndexFile->CheckHeader();
            if (DataFile->BlobFieldCount() > 0 && BlobFile->IsOpen) {
                BlobFile->ReadHeader();
                BlobFile->CheckHeader();
            }
        } catch (...) {
            DataFile->Header = before;
            throw;
        }
        FHeaderCurrent = !TableLock;
        return true;
    } catch (...) {
        FHeaderCurrent = false;
        if (!TableLock)
            DataTableLocks->ReadUnlock();
        throw;
    }
}

void TDataTable::ReadUnlockTable()
{
    if (DataTableLocks == nullptr || TableLock)
        return;
    DataTableLocks->ReadUnlock();
    if (!DataTableLocks->IsReadLocked())
        FHeaderCurrent = false;
}

int32_t TDataTable::DataUpdateStamp() const { return DataFile->Header.UpdateStamp; }
int32_t TDataTable::IndexUpdateStamp() const { return IndexFile->FHeader.UpdateStamp; }
int32_t TDataTable::BlobUpdateStamp() const { return BlobFile->FHeader.UpdateStamp; }

} // namespace tableengine
