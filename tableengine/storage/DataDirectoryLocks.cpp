#include "tableengine/storage/DataDirectoryLocks.h"

#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataSession.h"

#include "platform/File.h"
#include "platform/Handles.h"
#include "platform/Text.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace tableengine {
namespace {

void pause(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool endsWithNoCase(const std::string& s, const std::string& suffix)
{
    if (suffix.empty() || s.size() <= suffix.size())
        return false;
    return CompareNameNoCase(s.substr(s.size() - suffix.size()), suffix) == 0;
}

void putInt32(std::vector<uint8_t>& out, std::size_t at, int32_t v) { std::memcpy(out.data() + at, &v, 4); }

} // namespace

// ---- TDataTableLocks

TDataTableLocks::TDataTableLocks(TDataDirectoryLocks& locks, int32_t tableID, std::string tableName)
    : DataDirectoryLocks(locks), TableID(tableID), TableName(std::move(tableName))
{
}

uint64_t TDataTableLocks::ReadRangeBase() const
{
    const TDataEngine& e = DataDirectoryLocks.DataDirectory.DataSession.DataEngine;
    return e.ReadLockByte - uint64_t(TableID) * e.ReadLockRange;
}

uint64_t TDataTableLocks::WriteRangeBase() const
{
    const TDataEngine& e = DataDirectoryLocks.DataDirectory.DataSession.DataEngine;
    return e.WriteLockByte - uint64_t(TableID) * e.WriteLockRange;
}

bool TDataTableLocks::IsReadLocked() const
{
    std::lock_guard<std::mutex> guard(FSection);
    return (LockStates & lsReadLocked) != 0;
}

void TDataTableLocks::ReadLock()
{
    std::lock_guard<std::mutex> guard(FSection);
    if (FReadLockCount > 0 || LockStates != 0) {
        ++FReadLockCount; // already covered: takes nothing
        return;
    }
    TDataEngine& e = DataDirectoryLocks.DataDirectory.DataSession.DataEngine;
    if (DataDirectoryLocks.HasLockFile()) {
        const TEngineSettings& s = e.Settings();
        if (!DataDirectoryLocks.LockSlotIn(ReadRangeBase(), s.TableReadLockRetryCount, s.TableReadLockWaitTime,
                                           ReadLockSlot)) {
            TErrorContext c;
            c.TableName = TableName;
            c.DatabaseName = DataDirectoryLocks.DataDirectory.DatabaseName();
            e.RaiseError(TBL_READLOCK, c);
        }
    }
    LockStates |= lsReadLocked;
    FReadLockCount = 1;
}

void TDataTableLocks::ReadUnlock()
{
    std::lock_guard<std::mutex> guard(FSection);
    if (FReadLockCount == 0)
        return;
    if (--FReadLockCount > 0)
        return;
    if ((LockStates & lsReadLocked) == 0)
        return;
    LockStates = static_cast<uint8_t>(LockStates & ~lsReadLocked);
    if (DataDirectoryLocks.HasLockFile() && !DataDirectoryLocks.UnlockSlotIn(ReadRangeBase(), ReadLockSlot)) {
        TDataEngine& e = DataDirectoryLocks.DataDirectory.DataSession.DataEngine;
        TErrorContext c;
        c.TableName = TableName;
        c.DatabaseName = DataDirectoryLocks.DataDirectory.DatabaseName();
        e.RaiseError(TBL_READUNLOCK, c);
    }
}

bool TDataTableLocks::WriteLock()
{
    std::lock_guard<std::mutex> guard(FSection);
    if ((LockStates & lsWriteLocked) != 0)
        return true;
    if (DataDirectoryLocks.HasLockFile()) {
        const TDataEngine& e = DataDirectoryLocks.DataDirectory.DataSession.DataEngine;
        const TEngineSettings& s = e.Settings();
        if (!DataDirectoryLocks.LockRange(WriteRangeBase(), e.WriteLockRange, s.TableWriteLockRetryCount,
                                          s.TableWriteLockWaitTime))
            return false;
    }
    LockStates |= lsWriteLocked;
    return true;
}

void TDataTableLocks::WriteUnlock()
{
    std::lock_guard<std::mutex> guard(FSection);
    if ((LockStates & lsWriteLocked) == 0)
        return;
    LockStates = static_cast<uint8_t>(LockStates & ~lsWriteLocked);
    if (DataDirectoryLocks.HasLockFile()) {
        const TDataEngine& e = DataDirectoryLocks.DataDirectory.DataSession.DataEngine;
        DataDirectoryLocks.UnlockRange(WriteRangeBase(), e.WriteLockRange);
    }
}

// ---- TDataDirectoryLocks

TDataDirectoryLocks::TDataDirectoryLocks(TDataDirectory& directory) : DataDirectory(directory) {}

TDataDirectoryLocks::~TDataDirectoryLocks() { Close(); }

void TDataDirectoryLocks::RaiseError(uint16_t code) const
{
    TErrorContext c;
    c.DatabaseName = DataDirectory.DatabaseName();
    DataDirectory.DataSession.DataEngine.RaiseError(code, c);
}

bool TDataDirectoryLocks::LockSlotIn(uint64_t base, uint32_t retries, uint32_t waitMs, uint32_t& slot)
{
    TDataEngine& e = DataDirectory.DataSession.DataEngine;
    for (uint32_t attempt = 0;; ++attempt) {
        slot = e.Random(65535);
        if (slot == 0)
            slot = 1;
        if (LockFile->LockRegion(true, 1, base + slot - 1))
            return true;
        if (attempt >= retries)
            return false;
        pause(waitMs);
    }
}

bool TDataDirectoryLocks::UnlockSlotIn(uint64_t base, uint32_t slot)
{
    return LockFile->LockRegion(false, 1, base + slot - 1);
}

bool TDataDirectoryLocks::LockRange(uint64_t base, uint64_t length, uint32_t retries, uint32_t waitMs)
{
    for (uint32_t attempt = 0;; ++attempt) {
        if (LockFile->LockRegion(true, length, base))
            return true;
        if (attempt >= retries)
            return false;
        pause(waitMs);
    }
}

bool TDataDirectoryLocks::UnlockRange(uint64_t base, uint64_t length) { return LockFile->LockRegion(false, length, base); }

void TDataDirectoryLocks::LockShared()
{
    if (!HasLockFile())
        return;
    const TDataEngine& e = DataDirectory.DataSession.DataEngine;
    const TEngineSettings& s = e.Settings();
    if (!LockSlotIn(e.FileLockByte - e.FileLockRange, s.DirectoryLockRetryCount, s.DirectoryLockWaitTime, LockSlot))
        RaiseError(TBL_LOCKREADLOCK);
}

void TDataDirectoryLocks::UnlockShared()
{
    if (!HasLockFile())
        return;
    const TDataEngine& e = DataDirectory.DataSession.DataEngine;
    if (!UnlockSlotIn(e.FileLockByte - e.FileLockRange, LockSlot))
        RaiseError(TBL_LOCKREADUNLOCK);
}

void TDataDirectoryLocks::LockExclusive()
{
    if (!HasLockFile())
        return;
    const TDataEngine& e = DataDirectory.DataSession.DataEngine;
    const TEngineSettings& s = e.Settings();
    if (!LockRange(e.FileLockByte - e.FileLockRange, e.FileLockRange, s.DirectoryLockRetryCount,
                   s.DirectoryLockWaitTime))
        RaiseError(TBL_LOCKWRITELOCK);
}

void TDataDirectoryLocks::UnlockExclusive()
{
    if (!HasLockFile())
        return;
    const TDataEngine& e = DataDirectory.DataSession.DataEngine;
    if (!UnlockRange(e.FileLockByte - e.FileLockRange, e.FileLockRange))
        RaiseError(TBL_LOCKWRITEUNLOCK);
}

std::vector<uint8_t> TDataDirectoryLocks::BuildList(const std::vector<std::string>& names, int32_t counter) const
{
    std::size_t size = 4;
    for (const std::string& n : names)
        size += 1 + n.size();
    std::vector<uint8_t> out(4 + size, 0);
    putInt32(out, 0, counter);
    putInt32(out, 4, static_cast<int32_t>(size));
    std::size_t at = 8;
    for (const std::string& n : names) {
        out[at++] = static_cast<uint8_t>(n.size());
        std::memcpy(out.data() + at, n.data(), n.size());
        at += n.size();
    }
    return out;
}

std::vector<std::string> TDataDirectoryLocks::TableNames() const
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    std::vector<std::string> out;
    for (const auto& t : DataTableLocksList)
        out.push_back(t->TableName);
    return out;
}

bool TDataDirectoryLocks::CreateLockFile(const std::string& path)
{
    const TDataEngine& e = DataDirectory.DataSession.DataEngine;
    std::vector<std::string> names;
    if (!DataDirectory.InMemory) {
        std::vector<std::string> files;
        if (platform::ListDirectory(DataDirectory.Directory, files) != platform::ERROR_SUCCESS)
            return false;
        const std::string& ext = e.Settings().TableDataExtension;
        for (const std::string& f : files) {
            if (!endsWithNoCase(f, ext))
                continue;
            const std::string name = platform::TextToAnsi(platform::Utf8ToText(f.substr(0, f.size() - ext.size())));
            if (name.size() <= 255 && names.size() < MaxTablesPerDirectory)
                names.push_back(name);
        }
    }
    const std::vector<uint8_t> bytes = BuildList(names, 1);
    if (DataDirectory.InMemory) {
        TEngineFile f(DataDirectory.DataSession.DataEngine);
        f.FileName = path;
        f.InMemory = true;
        f.Hidden = true;
        f.Exclusive = true;
        f.CreateFile();
        f.Write(0, bytes.data(), bytes.size());
        f.CloseFile();
    } else {
        // Created only when absent: a second creator never overwrites a list another process already uses.
        platform::File f;
        if (f.Open(path, platform::FileAccess::ReadWrite, platform::FileShare::None,
                   platform::FileDisposition::CreateNew) != platform::ERROR_SUCCESS)
            return false;
        if (f.WriteAt(0, bytes.data(), bytes.size()) != platform::ERROR_SUCCESS || f.Flush() != platform::ERROR_SUCCESS) {
            f.Close();
            platform::DeleteFile(path);
            return false;
        }
    }
    DataTableLocksList.clear();
    for (std::size_t i = 0; i < names.size(); ++i)
        DataTableLocksList.push_back(std::make_unique<TDataTableLocks>(*this, static_cast<int32_t>(i + 1), names[i]));
    UpdateCount = 1;
    FListFilled = true;
    return true;
}

void TDataDirectoryLocks::Open()
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    TDataEngine& e = DataDirectory.DataSession.DataEngine;
    const bool memory = DataDirectory.InMemory;
    const std::string path = DataDirectory.Directory + e.Settings().LockFileName;
    const uint32_t attempts = memory ? 32768 : 10;
    const uint32_t wait = memory ? 5 : 100;
    LockFile = std::make_unique<TEngineFile>(e);
    LockFile->FileName = path;
    LockFile->InMemory = memory;
    LockFile->Hidden = true;
    LockFile->ProperName = e.Settings().LockFileName;
    LockFile->DatabaseName = DataDirectory.DatabaseName();
    FListFilled = false;
    ReadOnly = false;

    uint32_t attempt = 0;
    while (!e.FileExists(path, memory) && attempt <= attempts) {
        ++attempt;
        bool created = false;
        try {
            created = CreateLockFile(path);
        } catch (const std::exception&) {
            created = false;
        }
        if (!created)
            pause(wait);
    }
    while (e.FileExists(path, memory) && attempt <= attempts) {
        ++attempt;
        try {
            if (!memory) {
                platform::FileAttributes a;
                if (platform::GetFileAttributes(path, a) == platform::ERROR_SUCCESS && a.ReadOnly)
                    LockFile->ReadOnly = true;
            }
            LockFile->OpenFile();
            ReadOnly = LockFile->ReadOnly || LockFile->MarkedReadOnly;
            if (FListFilled)
                break;
            LockShared();
            try {
                ReadList();
            } catch (...) {
                UnlockShared();
                throw;
            }
            UnlockShared();
            break;
        } catch (const std::exception&) {
            LockFile->CloseFile();
            pause(wait);
        }
    }
    if (!LockFile->IsOpen)
        ReadOnly = true; // no lock file: every lock request succeeds without doing anything
}

void TDataDirectoryLocks::Close()
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (LockFile)
        LockFile->CloseFile();
}

void TDataDirectoryLocks::ParseList(const std::vector<uint8_t>& bytes)
{
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < bytes.size() && names.size() < MaxTablesPerDirectory) {
        const std::size_t n = bytes[at];
        if (at + 1 + n > bytes.size())
            break; // a list cut short: keep the names that are whole
        names.emplace_back(reinterpret_cast<const char*>(bytes.data() + at + 1), n);
        at += 1 + n;
    }
    // Ids only grow by appending, so entries already handed out keep their objects.
    std::size_t keep = 0;
    while (keep < DataTableLocksList.size() && keep < names.size() &&
           DataTableLocksList[keep]->TableName == names[keep])
        ++keep;
    for (std::size_t i = keep; i < names.size(); ++i) {
        if (i < DataTableLocksList.size())
            continue; // a rewritten list that disagrees: the entries in use stay as they are
        DataTableLocksList.push_back(std::make_unique<TDataTableLocks>(*this, static_cast<int32_t>(i + 1), names[i]));
    }
}

void TDataDirectoryLocks::ReadList()
{
    if (!HasLockFile())
        return;
    uint8_t head[8] = {};
    const std::size_t got = LockFile->Read(0, head, sizeof head);
    int32_t counter = 0;
    int32_t size = 0;
    if (got >= 4)
        std::memcpy(&counter, head, 4);
    if (got >= 8)
        std::memcpy(&size, head + 4, 4);
    if (counter == UpdateCount && (FListFilled || !DataTableLocksList.empty()))
        return;
    std::vector<uint8_t> bytes;
    if (got == 8 && size > 4) {
        const std::size_t want = std::min<std::size_t>(static_cast<std::size_t>(size) - 4, MaxTablesPerDirectory * 256);
        bytes.resize(want);
        bytes.resize(LockFile->Read(8, bytes.data(), want));
    }
    ParseList(bytes);
    UpdateCount = counter;
    FListFilled = true;
}

void TDataDirectoryLocks::WriteList()
{
    const int32_t counter = UpdateCount >= 2147483647 ? 1 : UpdateCount + 1;
    std::vector<std::string> names;
    for (const auto& t : DataTableLocksList)
        names.push_back(t->TableName);
    const std::vector<uint8_t> bytes = BuildList(names, counter);
    LockFile->Write(0, bytes.data(), bytes.size());
    LockFile->Flush();
    UpdateCount = counter;
}

TDataTableLocks* TDataDirectoryLocks::FindDataTable(const std::string& tableName) const
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    for (const auto& t : DataTableLocksList)
        if (CompareNameNoCase(t->TableName, tableName) == 0)
            return t.get();
    return nullptr;
}

TDataTableLocks& TDataDirectoryLocks::AddDataTable(const std::string& tableName)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    const bool file = HasLockFile() && !ReadOnly;
    if (file)
        LockExclusive();
    TDataTableLocks* found = nullptr;
    try {
        if (file)
            ReadList();
        found = FindDataTable(tableName);
        if (found == nullptr) {
            if (DataTableLocksList.size() >= MaxTablesPerDirectory || tableName.size() > 255)
                RaiseError(TBL_DATABASEFULL);
            DataTableLocksList.push_back(std::make_unique<TDataTableLocks>(
                *this, static_cast<int32_t>(DataTableLocksList.size() + 1), tableName));
            found = DataTableLocksList.back().get();
            if (file)
                WriteList();
        }
    } catch (...) {
        if (file) {
            const TDataEngine& e = DataDirectory.DataSession.DataEngine;
            UnlockRange(e.FileLockByte - e.FileLockRange, e.FileLockRange);
        }
        throw;
    }
    if (file)
        UnlockExclusive();
    return *found;
}

} // namespace tableengine
