#include "tableengine/storage/DataEngine.h"

#include "tableengine/storage/BaseFile.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/storage/DataSession.h"

#include "platform/File.h"

#include <algorithm>
#include <chrono>

namespace tableengine {

TDataEngine::TDataEngine() { Initialize(TEngineSettings{}); }

TDataEngine::~TDataEngine() = default;

void TDataEngine::Initialize(const TEngineSettings& settings)
{
    FSettings = settings;
    if (!settings.LargeFileSupport) {
        MaximumFileSize = 4000000000ull;
        MaximumNumRecords = 200000000;
        FileLockByte = 4294967295ull;
    } else {
        MaximumFileSize = 128000000000ull;
        MaximumNumRecords = 1000000000;
        FileLockByte = 9223372036854775807ull;
    }
    RecordLockByte = FileLockByte;
    FileLockRange = 65535;
    TransLockRange = 4096;
    ReadLockRange = 65535;
    WriteLockRange = 65535;
    TransWriteLockRange = 4096ull * 65535ull;
    RecordLockRange = static_cast<uint64_t>(MaximumNumRecords);
    TransLockByte = FileLockByte - FileLockRange;
    ReadLockByte = TransLockByte - TransLockRange;
    WriteLockByte = ReadLockByte;
    TransWriteLockByte = ReadLockByte;
    SemaphoreLockByte = RecordLockByte - RecordLockRange;
    SemaphoreLockRange = 1024;
    SignatureDigest = MD5Digest(settings.EngineSignature);
    std::lock_guard<std::mutex> guard(FRandomSection);
    FRandom.seed(static_cast<std::mt19937::result_type>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^
        std::chrono::system_clock::now().time_since_epoch().count()));
}

void TDataEngine::SetOSErrorNumber(int32_t n)
{
    std::lock_guard<std::mutex> guard(FErrorSection);
    FOSErrorNumber = n;
}

void TDataEngine::SetSocketErrorNumber(int32_t n)
{
    std::lock_guard<std::mutex> guard(FErrorSection);
    FSocketErrorNumber = n;
}

int32_t TDataEngine::OSErrorNumber() const
{
    std::lock_guard<std::mutex> guard(FErrorSection);
    return FOSErrorNumber;
}

int32_t TDataEngine::SocketErrorNumber() const
{
    std::lock_guard<std::mutex> guard(FErrorSection);
    return FSocketErrorNumber;
}

void TDataEngine::RaiseError(uint16_t code, const TErrorContext& context)
{
    std::lock_guard<std::mutex> guard(FErrorSection); // left while the exception unwinds
    FLastError = TLastError{};
    FLastError.Code = code;
    FLastError.OSError = FOSErrorNumber;
    FLastError.SocketError = FSocketErrorNumber;
    FLastError.Context = context;
    FOSErrorNumber = 0;
    FSocketErrorNumber = 0;

    const std::string text = FormatErrorString(code, FLastError);
    ETblEngineError e("Table Engine Error # " + std::to_string(code) + " " + text);
    e.ErrorCode = code;
    e.OSErrorCode = FLastError.OSError;
    e.SocketErrorCode = FLastError.SocketError;
    e.ErrorRemoteName = context.RemoteName;
    e.ErrorUserName = context.UserName;
    e.ErrorDatabaseName = context.DatabaseName;
    e.ErrorTableName = context.TableName;
    e.ErrorFieldName = context.FieldName;
    e.ErrorIndexName = context.IndexName;
    e.ErrorMessage = context.Message;
    e.ErrorProcedureName = context.ProcedureName;
    e.ErrorEventName = context.EventName;
    e.ErrorLine = context.Line;
    e.ErrorColumn = context.Column;
    throw e;
}

std::string TDataEngine::GetErrorString(uint16_t code) const
{
    std::lock_guard<std::mutex> guard(FErrorSection);
    return FormatErrorString(code, FLastError);
}

TLastError TDataEngine::LastError() const
{
    std::lock_guard<std::mutex> guard(FErrorSection);
    return FLastError;
}

int TDataEngine::OpenFile(const std::string& path, bool inMemory, bool hidden, bool temporary, bool exclusive,
                          bool& readOnly, bool& markedReadOnly, std::shared_ptr<TBaseFile>& baseFile)
{
    baseFile.reset();
    markedReadOnly = false;
    if (inMemory) {
        std::unique_lock<std::shared_mutex> guard(FMemoryFilesSection);
        const auto it = FMemoryFiles.find(path);
        if (it == FMemoryFiles.end()) {
            SetOSErrorNumber(static_cast<int32_t>(platform::ERROR_FILE_NOT_FOUND));
            return -TBL_OSENOENT;
        }
        const std::shared_ptr<TMemoryFile>& f = it->second;
        if (f->UseCount > 0 && (f->Exclusive || exclusive)) {
            SetOSErrorNumber(static_cast<int32_t>(platform::ERROR_SHARING_VIOLATION));
            return -TBL_OSEACCES;
        }
        if (f->UseCount == 0) {
            f->Exclusive = exclusive;
            f->Hidden = hidden;
            f->Temporary = temporary;
            f->ReadOnly = readOnly;
            f->Open();
        }
        readOnly = readOnly || f->ReadOnly;
        markedReadOnly = f->MarkedReadOnly;
        baseFile = f;
        return f->AddHandle();
    }

    std::unique_lock<std::shared_mutex> guard(FFilesSection);
    const auto it = FFiles.find(path);
    if (it != FFiles.end() && it->second->UseCount > 0) {
        const std::shared_ptr<TBaseFile>& f = it->second;
        if (f->Exclusive || exclusive) {
            SetOSErrorNumber(static_cast<int32_t>(platform::ERROR_SHARING_VIOLATION));
            return -TBL_OSEACCES;
        }
        readOnly = readOnly || f->ReadOnly;
        markedReadOnly = f->MarkedReadOnly;
        baseFile = f;
        return f->AddHandle();
    }
    platform::FileAttributes attributes;
    DWORD rc = platform::GetFileAttributes(path, attributes);
    if (rc == platform::ERROR_SUCCESS && attributes.Directory)
        rc = platform::ERROR_ACCESS_DENIED;
    if (rc != platform::ERROR_SUCCESS) {
        SetOSErrorNumber(static_cast<int32_t>(rc));
        return -static_cast<int>(OSErrorToEngineCode(rc));
    }
    auto f = std::make_shared<TPhysicalFile>(*this, path);
    f->Exclusive = exclusive;
    f->Hidden = hidden;
    f->Temporary = temporary;
    f->ReadOnly = readOnly || attributes.ReadOnly;
    f->MarkedReadOnly = attributes.ReadOnly;
    rc = f->Open();
    if (rc != platform::ERROR_SUCCESS) {
        SetOSErrorNumber(static_cast<int32_t>(rc));
        return -static_cast<int>(OSErrorToEngineCode(rc));
    }
    FFiles[path] = f;
    readOnly = f->ReadOnly;
    markedReadOnly = f->MarkedReadOnly;
    baseFile = f;
    return f->AddHandle();
}

int TDataEngine::CreateFile(const std::string& path, bool inMemory, bool hidden, bool temporary, bool exclusive,
                            std::shared_ptr<TBaseFile>& baseFile)
{
    baseFile.reset();
    if (inMemory) {
        std::unique_lock<std::shared_mutex> guard(FMemoryFilesSection);
        auto& slot = FMemoryFiles[path];
        if (slot && slot->UseCount > 0) {
            SetOSErrorNumber(static_cast<int32_t>(platform::ERROR_SHARING_VIOLATION));
            return -TBL_OSEACCES;
        }
        if (!slot)
            slot = std::make_shared<TMemoryFile>(*this, path);
        slot->Exclusive = exclusive;
        slot->Hidden = hidden;
        slot->Temporary = temporary;
        slot->MarkedReadOnly = false;
        slot->CreateNew();
        baseFile = slot;
        return slot->AddHandle();
    }
    std::unique_lock<std::shared_mutex> guard(FFilesSection);
    const auto it = FFiles.find(path);
    if (it != FFiles.end() && it->second->UseCount > 0) {
        SetOSErrorNumber(static_cast<int32_t>(platform::ERROR_SHARING_VIOLATION));
        return -TBL_OSEACCES;
    }
    auto f = std::make_shared<TPhysicalFile>(*this, path);
    f->Exclusive = exclusive;
    f->Hidden = hidden;
    f->Temporary = temporary;
    const DWORD rc = f->CreateNew();
    if (rc != platform::ERROR_SUCCESS) {
        SetOSErrorNumber(static_cast<int32_t>(rc));
        return -static_cast<int>(OSErrorToEngineCode(rc));
    }
    FFiles[path] = f;
    baseFile = f;
    return f->AddHandle();
}

void TDataEngine::CloseFile(const std::shared_ptr<TBaseFile>& baseFile, int handle)
{
    if (!baseFile)
        return;
    const bool memory = dynamic_cast<TMemoryFile*>(baseFile.get()) != nullptr;
    if (memory) {
        std::unique_lock<std::shared_mutex> guard(FMemoryFilesSection);
        if (baseFile->RemoveHandle(handle) == 0) {
            std::lock_guard<std::recursive_mutex> file(baseFile->FileSection);
            baseFile->Close();
            if (baseFile->Temporary)
                FMemoryFiles.erase(baseFile->FileName);
        }
        return;
    }
    std::unique_lock<std::shared_mutex> guard(FFilesSection);
    if (baseFile->RemoveHandle(handle) == 0) {
        {
            std::lock_guard<std::recursive_mutex> file(baseFile->FileSection);
            if (baseFile->Temporary)
                baseFile->Delete();
            baseFile->Close();
        }
        const auto it = FFiles.find(baseFile->FileName);
        if (it != FFiles.end() && it->second == baseFile)
            FFiles.erase(it);
    }
}

bool TDataEngine::FileExists(const std::string& path, bool inMemory) const
{
    if (inMemory) {
        std::shared_lock<std::shared_mutex> guard(FMemoryFilesSection);
        return FMemoryFiles.count(path) != 0;
    }
    return platform::FileExists(path);
}

bool TDataEngine::DeleteMemoryFile(const std::string& path)
{
    std::unique_lock<std::shared_mutex> guard(FMemoryFilesSection);
    const auto it = FMemoryFiles.find(path);
    if (it == FMemoryFiles.end() || it->second->UseCount > 0)
        return false;
    FMemoryFiles.erase(it);
    return true;
}

std::size_t TDataEngine::OpenBaseFileCount() const
{
    std::shared_lock<std::shared_mutex> guard(FFilesSection);
    return FFiles.size();
}

uint32_t TDataEngine::Random(uint32_t range)
{
    if (range == 0)
        return 0;
    std::lock_guard<std::mutex> guard(FRandomSection);
    return std::uniform_int_distribution<uint32_t>(0, range - 1)(FRandom);
}

TDataSession& TDataEngine::StartDataSession(const std::string& name)
{
    std::lock_guard<std::mutex> guard(FSessionsSection);
    const uint32_t id = FNextSessionID++;
    FSessions.push_back(std::make_unique<TDataSession>(*this, name + "_" + std::to_string(id), id));
    return *FSessions.back();
}

void TDataEngine::StopDataSession(TDataSession& session)
{
    std::unique_ptr<TDataSession> gone;
    {
        std::lock_guard<std::mutex> guard(FSessionsSection);
        const auto it = std::find_if(FSessions.begin(), FSessions.end(),
                                     [&](const std::unique_ptr<TDataSession>& s) { return s.get() == &session; });
        if (it == FSessions.end())
            return;
        gone = std::move(*it);
        FSessions.erase(it);
    }
}

std::size_t TDataEngine::SessionCount() const
{
    std::lock_guard<std::mutex> guard(FSessionsSection);
    return FSessions.size();
}

} // namespace tableengine
