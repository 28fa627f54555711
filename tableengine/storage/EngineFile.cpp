#include "tableengine/storage/EngineFile.h"

#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/DataEngine.h"

namespace tableengine {

TEngineFile::TEngineFile(TDataEngine& engine) : FDataEngine(engine) {}

TEngineFile::~TEngineFile()
{
    // Engine files are closed explicitly; this only returns a handle an exception left behind.
    if (IsOpen && BaseFile)
        FDataEngine.CloseFile(BaseFile, Handle);
}

TErrorContext TEngineFile::ErrorContext() const
{
    TErrorContext c;
    c.TableName = ProperName.empty() ? FileName : ProperName;
    c.DatabaseName = DatabaseName;
    return c;
}

void TEngineFile::RaiseError(uint16_t code) const { FDataEngine.RaiseError(code, ErrorContext()); }

void TEngineFile::RaiseOSError(uint32_t osError) const
{
    FDataEngine.SetOSErrorNumber(static_cast<int32_t>(osError));
    RaiseError(OSErrorToEngineCode(osError));
}

void TEngineFile::OpenFile()
{
    if (IsOpen)
        return;
    if (!FDataEngine.FileExists(FileName, InMemory)) {
        FDataEngine.SetOSErrorNumber(static_cast<int32_t>(platform::ERROR_FILE_NOT_FOUND));
        RaiseError(TBL_OSENOENT);
    }
    bool readOnly = ReadOnly;
    bool marked = false;
    std::shared_ptr<TBaseFile> base;
    const int h = FDataEngine.OpenFile(FileName, InMemory, Hidden, Temporary, Exclusive, readOnly, marked, base);
    if (h <= 0)
        RaiseError(static_cast<uint16_t>(-h));
    BaseFile = std::move(base);
    Handle = h;
    ReadOnly = readOnly || marked;
    MarkedReadOnly = marked;
    IsOpen = true;
}

void TEngineFile::CreateFile()
{
    CloseFile();
    std::shared_ptr<TBaseFile> base;
    const int h = FDataEngine.CreateFile(FileName, InMemory, Hidden, Temporary, Exclusive, base);
    if (h <= 0)
        RaiseError(static_cast<uint16_t>(-h));
    BaseFile = std::move(base);
    Handle = h;
    ReadOnly = false;
    MarkedReadOnly = false;
    IsOpen = true;
}

void TEngineFile::CloseFile()
{
    if (!IsOpen)
        return;
    IsOpen = false;
    std::shared_ptr<TBaseFile> base = std::move(BaseFile);
    BaseFile.reset();
    FDataEngine.CloseFile(base, Handle);
    Handle = 0;
}

void TEngineFile::DeleteFile()
{
    CloseFile();
    if (InMemory) {
        FDataEngine.DeleteMemoryFile(FileName);
        return;
    }
    const DWORD rc = platform::DeleteFile(FileName);
    if (rc != platform::ERROR_SUCCESS)
        RaiseOSError(rc);
}

std::size_t TEngineFile::Read(uint64_t position, void* buffer, std::size_t size)
{
    if (!IsOpen)
        RaiseError(TBL_OSEBADF);
    std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
    DWORD rc = BaseFile->Seek(position);
    std::size_t done = 0;
    if (rc == platform::ERROR_SUCCESS)
        rc = BaseFile->Read(buffer, size, done);
    // A failing read is the system's error, mapped like any other; only a short read is 9217.
    if (rc != platform::ERROR_SUCCESS)
        RaiseOSError(rc);
    return done;
}

void TEngineFile::ReadExact(uint64_t position, void* buffer, std::size_t size)
{
    if (Read(position, buffer, size) != size)
        RaiseError(TBL_READERR);
}

void TEngineFile::Write(uint64_t position, const void* buffer, std::size_t size)
{
    if (!IsOpen)
        RaiseError(TBL_OSEBADF);
    std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
    DWORD rc = BaseFile->Seek(position);
    if (rc == platform::ERROR_SUCCESS)
        rc = BaseFile->Write(buffer, size);
    if (rc != platform::ERROR_SUCCESS) {
        FDataEngine.SetOSErrorNumber(static_cast<int32_t>(rc));
        RaiseError(TBL_WRITEERR);
    }
}

void TEngineFile::Flush()
{
    if (!IsOpen)
        return;
    std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
    const DWORD rc = BaseFile->Flush();
    if (rc != platform::ERROR_SUCCESS) {
        FDataEngine.SetOSErrorNumber(static_cast<int32_t>(rc));
        RaiseError(TBL_WRITEERR);
    }
}

uint64_t TEngineFile::Size() const
{
    if (!IsOpen)
        return 0;
    std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
    uint64_t size = 0;
    const DWORD rc = BaseFile->GetSize(size);
    if (rc != platform::ERROR_SUCCESS)
        RaiseOSError(rc);
    return size;
}

bool TEngineFile::LockRegion(bool lock, uint64_t length, uint64_t offset)
{
    if (!IsOpen || !BaseFile)
        return false;
    std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
    const DWORD rc = lock ? BaseFile->Lock(offset, length) : BaseFile->Unlock(offset, length);
    return rc == platform::ERROR_SUCCESS;
}

} // namespace tableengine
