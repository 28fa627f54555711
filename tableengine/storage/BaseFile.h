// The file shared by every open of one path in the process (TBaseFile), on disk (TPhysicalFile) or in memory
// (TMemoryFile). Operations return Windows error numbers; the engine turns them into engine codes.
#pragma once

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tableengine {

using platform::DWORD;
class TDataEngine;

class TBaseFile {
public:
    TBaseFile(TDataEngine& engine, std::string fileName);
    virtual ~TBaseFile();
    TBaseFile(const TBaseFile&) = delete;
    TBaseFile& operator=(const TBaseFile&) = delete;

    TDataEngine& DataEngine;
    std::mutex LockSection;             // guards the handle and lock lists
    std::recursive_mutex FileSection;   // held across every seek-and-transfer pair and every lock call
    bool Exclusive = false;
    bool ReadOnly = false;
    bool MarkedReadOnly = false;
    bool Temporary = false;
    bool Hidden = false;
    std::string FileName;
    uint64_t FileSize = 0;
    int UseCount = 0;
    std::vector<int> HandlesList;
    int LastHandle = 0;

    virtual DWORD CreateNew() = 0;   // create-always, read/write
    virtual DWORD Open() = 0;        // existing file with the flags above
    virtual void Close() = 0;
    virtual DWORD Rename(const std::string& newName) = 0;
    virtual DWORD Delete() = 0;
    virtual DWORD Read(void* buffer, std::size_t size, std::size_t& done) = 0;
    virtual DWORD Write(const void* buffer, std::size_t size) = 0;
    virtual DWORD Flush() = 0;
    virtual DWORD Seek(uint64_t position) = 0;
    virtual DWORD Lock(uint64_t offset, uint64_t length) = 0;
    virtual DWORD Unlock(uint64_t offset, uint64_t length) = 0;
    virtual DWORD GetSize(uint64_t& size) = 0;

    // Next handle number for one more open; returns it and raises the use count.
    int AddHandle();
    // Gives a handle back; returns the remaining use count.
    int RemoveHandle(int handle);
};

class TPhysicalFile final : public TBaseFile {
public:
    using TBaseFile::TBaseFile;
    DWORD CreateNew() override;
    DWORD Open() override;
    void Close() override;
    DWORD Rename(const std::string& newName) override;
    DWORD Delete() override;
    DWORD Read(void* buffer, std::size_t size, std::size_t& done) override;
    DWORD Write(const void* buffer, std::size_t size) override;
    DWORD Flush() override;
    DWORD Seek(uint64_t position) override;
    DWORD Lock(uint64_t offset, uint64_t length) override;
    DWORD Unlock(uint64_t offset, uint64_t length) override;
    DWORD GetSize(uint64_t& size) override;
    bool IsOpen() const { return FFile.IsOpen(); }

private:
    platform::File FFile;
};

// Content in memory, kept by the engine while the engine lives (or until deleted). Its byte-range locks are
// recorded in LocksList: sorted, overlaps refused, grown 1024 entries at a time.
class TMemoryFile final : public TBaseFile {
public:
    using TBaseFile::TBaseFile;
    DWORD CreateNew() override;
    DWORD Open() override;
    void Close() override;
    DWORD Rename(const std::string& newName) override;
    DWORD Delete() override;
    DWORD Read(void* buffer, std::size_t size, std::size_t& done) override;
    DWORD Write(const void* buffer, std::size_t size) override;
    DWORD Flush() override;
    DWORD Seek(uint64_t position) override;
    DWORD Lock(uint64_t offset, uint64_t length) override;
    DWORD Unlock(uint64_t offset, uint64_t length) override;
    DWORD GetSize(uint64_t& size) override;

    std::vector<std::pair<uint64_t, uint64_t>> LocksList; // (offset, length), ascending

private:
    static constexpr std::size_t ChunkSize = 65536;
    std::vector<std::vector<uint8_t>> FBuffers; // the content in chunks of ChunkSize bytes
    uint64_t FPosition = 0;
};

} // namespace tableengine
