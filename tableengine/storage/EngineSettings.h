// The engine's settings with their defaults, as the engine component hands them to TDataEngine::Initialize.
#pragma once

#include <cstdint>
#include <string>

namespace tableengine {

struct TEngineSettings {
    std::string EngineSignature = "TABLE_SIG";
    bool LargeFileSupport = false;
    std::string LockFileName = "tables.lck";
    std::string TableDataExtension = ".dat";
    std::string TableIndexExtension = ".idx";
    std::string TableBlobExtension = ".blb";
    std::string TableDataTempExtension = ".dat";
    std::string TableIndexTempExtension = ".idx";
    std::string TableBlobTempExtension = ".blb";
    uint32_t MaxTableDataBufferSize = 32768;
    uint32_t MaxTableDataBufferCount = 8192;
    uint32_t MaxTableIndexBufferSize = 65536;
    uint32_t MaxTableIndexBufferCount = 8192;
    uint32_t MaxTableBlobBufferSize = 32768;
    uint32_t MaxTableBlobBufferCount = 8192;
    uint32_t TableReadLockWaitTime = 3; // ms
    uint32_t TableReadLockRetryCount = 32768;
    uint32_t TableWriteLockWaitTime = 3;
    uint32_t TableWriteLockRetryCount = 32768;
    uint32_t TableTransLockWaitTime = 3;
    uint32_t TableTransLockRetryCount = 32768;
    uint32_t TableMaxReadLockCount = 100;
    // Directory lock range (the lock file's list) retries and pause; fixed by the protocol.
    uint32_t DirectoryLockRetryCount = 32768;
    uint32_t DirectoryLockWaitTime = 3;
};

} // namespace tableengine
