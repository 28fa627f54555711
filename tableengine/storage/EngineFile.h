// One open of one file by one engine object (a table's data, index or BLOB file, a directory's lock file).
// All opens of a path in the process share one base file and so one operating-system handle.
#pragma once

#include "tableengine/format/EngineError.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tableengine {

class TDataEngine;
class TBaseFile;

class TEngineFile {
public:
    explicit TEngineFile(TDataEngine& engine);
    virtual ~TEngineFile();
    TEngineFile(const TEngineFile&) = delete;
    TEngineFile& operator=(const TEngineFile&) = delete;

    bool InMemory = false;
    std::shared_ptr<TBaseFile> BaseFile;
    std::string FileName;
    int Handle = 0;
    bool Exclusive = false;
    bool ReadOnly = false;
    bool MarkedReadOnly = false;
    bool IsOpen = false;
    bool Temporary = false;
    bool Hidden = false;
    // The name errors carry (for a table's files the table name) and the database (directory without its
    // trailing delimiter).
    std::string ProperName;
    std::string DatabaseName;

    TDataEngine& DataEngine() const { return FDataEngine; }

    // Opens FileName: 11010 when it does not exist, 11013 when it is held exclusively (here or elsewhere),
    // another engine code for any other failure.
    virtual void OpenFile();
    virtual void CloseFile();
    // Creates FileName anew (create-always) and opens it.
    virtual void CreateFile();
    virtual void DeleteFile();

    // Reads up to size bytes at a position under the file's section; returns the bytes delivered.
    virtual std::size_t Read(uint64_t position, void* buffer, std::size_t size);
    // Reads exactly size bytes or raises 9217.
    void ReadExact(uint64_t position, void* buffer, std::size_t size);
    virtual void Write(uint64_t position, const void* buffer, std::size_t size);
    virtual void Flush();
    uint64_t Size() const;

    // Locks or unlocks a byte range; true when granted, always false when the file is not open.
    bool LockRegion(bool lock, uint64_t length, uint64_t offset);

    TErrorContext ErrorContext() const;
    [[noreturn]] void RaiseError(uint16_t code) const;

private:
    [[noreturn]] void RaiseOSError(uint32_t osError) const;
    TDataEngine& FDataEngine;
};

} // namespace tableengine
