#include "tableengine/storage/BaseFile.h"

#include <algorithm>
#include <cstring>

namespace tableengine {

using platform::ERROR_SUCCESS;

TBaseFile::TBaseFile(TDataEngine& engine, std::string fileName) : DataEngine(engine), FileName(std::move(fileName)) {}

TBaseFile::~TBaseFile() = default;

int TBaseFile::AddHandle()
{
    std::lock_guard<std::mutex> guard(LockSection);
    const int h = ++LastHandle;
    HandlesList.push_back(h);
    ++UseCount;
    return h;
}

int TBaseFile::RemoveHandle(int handle)
{
    std::lock_guard<std::mutex> guard(LockSection);
    const auto it = std::find(HandlesList.begin(), HandlesList.end(), handle);
    if (it != HandlesList.end()) {
        HandlesList.erase(it);
        --UseCount;
    }
    return UseCount;
}

// ---- TPhysicalFile

DWORD TPhysicalFile::CreateNew()
{
    const DWORD rc = FFile.Open(FileName, platform::FileAccess::ReadWrite,
                                Exclusive ? platform::FileShare::None : platform::FileShare::ReadWrite,
                                platform::FileDisposition::CreateAlways);
    if (rc == ERROR_SUCCESS) {
        ReadOnly = false;
        FileSize = 0;
    }
    return rc;
}

DWORD TPhysicalFile::Open()
{
    const auto share = Exclusive ? platform::FileShare::None : platform::FileShare::ReadWrite;
    DWORD rc = ERROR_SUCCESS;
    if (!ReadOnly) {
        rc = FFile.Open(FileName, platform::FileAccess::ReadWrite, share, platform::FileDisposition::OpenExisting);
        if (rc != ERROR_SUCCESS && rc != platform::ERROR_SHARING_VIOLATION)
            ReadOnly = true; // e.g. no write permission: try again for reading
    }
    if (ReadOnly)
        rc = FFile.Open(FileName, platform::FileAccess::Read, share, platform::FileDisposition::OpenExisting);
    if (rc == ERROR_SUCCESS)
        FFile.GetSize(FileSize);
    return rc;
}

void TPhysicalFile::Close() { FFile.Close(); }

DWORD TPhysicalFile::Rename(const std::string& newName)
{
    const DWORD rc = platform::RenameFile(FileName, newName);
    if (rc == ERROR_SUCCESS)
        FileName = newName;
    return rc;
}

DWORD TPhysicalFile::Delete()
{
    FFile.Close();
    return platform::DeleteFile(FileName);
}

DWORD TPhysicalFile::Read(void* buffer, std::size_t size, std::size_t& done) { return FFile.Read(buffer, size, done); }

DWORD TPhysicalFile::Write(const void* buffer, std::size_t size)
{
    const DWORD rc = FFile.Write(buffer, size);
    if (rc == ERROR_SUCCESS)
        FileSize = std::max(FileSize, FFile.Position());
    return rc;
}

DWORD TPhysicalFile::Flush() { return FFile.Flush(); }
DWORD TPhysicalFile::Seek(uint64_t position) { return FFile.Seek(position); }
DWORD TPhysicalFile::Lock(uint64_t offset, uint64_t length) { return FFile.LockRange(offset, length); }
DWORD TPhysicalFile::Unlock(uint64_t offset, uint64_t length) { return FFile.UnlockRange(offset, length); }

DWORD TPhysicalFile::GetSize(uint64_t& size)
{
    const DWORD rc = FFile.GetSize(size);
    if (rc == ERROR_SUCCESS)
        FileSize = size;
    return rc;
}

// ---- TMemoryFile

DWORD TMemoryFile::CreateNew()
{
    FBuffers.clear();
    FileSize = 0;
    FPosition = 0;
    ReadOnly = false;
    return ERROR_SUCCESS;
}

DWORD TMemoryFile::Open()
{
    FPosition = 0;
    return ERROR_SUCCESS;
}

void TMemoryFile::Close()
{
    LocksList.clear();
    FPosition = 0;
}

DWORD TMemoryFile::Rename(const std::string& newName)
{
    FileName = newName;
    return ERROR_SUCCESS;
}

DWORD TMemoryFile::Delete()
{
    FBuffers.clear();
    FileSize = 0;
    return ERROR_SUCCESS;
}

DWORD TMemoryFile::Read(void* buffer, std::size_t size, std::size_t& done)
{
    done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < size && FPosition < FileSize) {
        const std::size_t chunk = static_cast<std::size_t>(FPosition / ChunkSize);
        const std::size_t at = static_cast<std::size_t>(FPosition % ChunkSize);
        const std::size_t n = static_cast<std::size_t>(
            std::min<uint64_t>({uint64_t(size - done), uint64_t(ChunkSize - at), FileSize - FPosition}));
        std::memcpy(out + done, FBuffers[chunk].data() + at, n);
        done += n;
        FPosition += n;
    }
    return ERROR_SUCCESS;
}

DWORD TMemoryFile::Write(const void* buffer, std::size_t size)
{
    if (ReadOnly)
        return platform::ERROR_ACCESS_DENIED;
    const auto* in = static_cast<const uint8_t*>(buffer);
    const uint64_t end = FPosition + size;
    const std::size_t chunks = static_cast<std::size_t>((end + ChunkSize - 1) / ChunkSize);
    while (FBuffers.size() < chunks)
        FBuffers.emplace_back(ChunkSize, uint8_t(0));
    std::size_t done = 0;
    while (done < size) {
        const std::size_t chunk = static_cast<std::size_t>(FPosition / ChunkSize);
        const std::size_t at = static_cast<std::size_t>(FPosition % ChunkSize);
        const std::size_t n = std::min(size - done, ChunkSize - at);
        std::memcpy(FBuffers[chunk].data() + at, in + done, n);
        done += n;
        FPosition += n;
    }
    FileSize = std::max(FileSize, end);
    return ERROR_SUCCESS;
}

DWORD TMemoryFile::Flush() { return ERROR_SUCCESS; }

DWORD TMemoryFile::Seek(uint64_t position)
{
    FPosition = position;
    return ERROR_SUCCESS;
}

DWORD TMemoryFile::Lock(uint64_t offset, uint64_t length)
{
    if (length == 0 || length - 1 > ~uint64_t(0) - offset)
        return platform::ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(LockSection);
    const uint64_t last = offset + (length - 1);
    auto it = std::lower_bound(LocksList.begin(), LocksList.end(), std::make_pair(offset, uint64_t(0)));
    if (it != LocksList.end() && it->first <= last)
        return platform::ERROR_LOCK_VIOLATION;
    if (it != LocksList.begin()) {
        const auto& prev = *(it - 1);
        if (prev.first + (prev.second - 1) >= offset)
            return platform::ERROR_LOCK_VIOLATION;
    }
    const auto at = it - LocksList.begin(); // growing the list moves it
    if (LocksList.size() == LocksList.capacity())
        LocksList.reserve(LocksList.capacity() + 1024);
    LocksList.insert(LocksList.begin() + at, {offset, length});
    return ERROR_SUCCESS;
}

DWORD TMemoryFile::Unlock(uint64_t offset, uint64_t length)
{
    std::lock_guard<std::mutex> guard(LockSection);
    const auto it = std::lower_bound(LocksList.begin(), LocksList.end(), std::make_pair(offset, uint64_t(0)));
    if (it == LocksList.end() || it->first != offset || it->second != length)
        return platform::ERROR_NOT_LOCKED;
    LocksList.erase(it);
    return ERROR_SUCCESS;
}

DWORD TMemoryFile::GetSize(uint64_t& size)
{
    size = FileSize;
    return ERROR_SUCCESS;
}

} // namespace tableengine
