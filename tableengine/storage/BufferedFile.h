// The block cache shared by the data, index and BLOB files: after its header each file is an array of
// equal-sized blocks numbered from 1, and every block is read and written through one TBufferedFile per
// open file. A recency list (most recent first) and a list sorted by block number find cached blocks; a miss
// reads a bounded run of consecutive blocks with one file read, and in shared mode is the moment at which
// changes made by other processes are detected.
//
// A table's caches are used by one thread at a time (the engine runs on its caller's thread).
#pragma once

#include "tableengine/format/DataHeader.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/storage/BufferRing.h"
#include "tableengine/storage/EngineFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tableengine {

class TBufferedFile;
class TDataTable;
class TCacheReader;

enum TReadDirection : int { rdNone = 0, rdForward = 1, rdBackward = 2 };

// One cached block.
class TBuffer {
public:
    explicit TBuffer(TBufferedFile& file);
    virtual ~TBuffer();
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    TBufferedFile* FBufferedFile;
    bool FIsDirty = false;
    bool FWriteFlag = false;
    bool FReadFlag = false;
    uint16_t FUseCount = 0;
    int32_t FNumber = 0;
    std::vector<uint8_t> FBuffer; // allocated size = FBuffer.size()
    std::size_t FSize = 0;        // used size
    TBuffer* FNextBuffer = nullptr;
    TBuffer* FPrevBuffer = nullptr;
    // Dropped from the cache while a user still held it; freed by the last PutBuffer.
    bool FDetached = false;
    std::size_t FOwnedIndex = 0; // position in the file's FOwned while cached

    std::size_t BufferSize() const { return FBuffer.size(); }
    const uint8_t* Data() const { return FBuffer.data(); }
    uint8_t* Data() { return FBuffer.data(); }

    virtual void Copy(const TBuffer& other);
    virtual void CopyBuffer(const uint8_t* source, std::size_t size); // marks dirty
    virtual void CopyToBuffer(uint8_t* destination, std::size_t size) const;
    virtual void Initialize(int slot);                                 // content zeroed, flags cleared
    virtual void Read(const uint8_t* raw, std::size_t size);           // raw block -> buffer
    virtual void Write(uint8_t* raw, std::size_t size) const;          // buffer -> raw block
    virtual bool IsEqualTo(const TBuffer& other) const;
    virtual bool IsEqualToBuffer(const uint8_t* source, std::size_t size) const;

protected:
    // The guard of every Read: a buffer in use, dirty or just written is left as it is (clearing FReadFlag).
    bool SkipRead();
    // The raw bytes copied in, the rest of the buffer zeroed.
    void CopyIn(const uint8_t* raw, std::size_t size);
};

class TBufferedFile : public TEngineFile {
public:
    TBufferedFile(TDataEngine& engine, TDataTable* table);
    ~TBufferedFile() override;

    TDataTable* FDataTable;
    std::vector<uint8_t> FReadBuffer;
    std::size_t FReadSize = 0;
    uint64_t FReadFilePos = 0;
    std::vector<uint8_t> FWriteBuffer;
    TBuffer* FFirstBuffer = nullptr;
    TBuffer* FLastBuffer = nullptr;
    // The cached buffers in ascending FNumber, owned by FOwned. A ring: reading on evicts the lowest
    // numbers and appends new ones, and both ends change without moving the other entries.
    TBufferRing<TBuffer*> FBuffers;
    std::size_t FLastHit = 0; // position in FBuffers of the last block found there (a hint only)
    std::size_t FCapacity = 1;                       // the cache size
    std::vector<TBuffer*> FWriteBuffers;
    uint64_t FCacheHits = 0;
    uint64_t FCacheMisses = 0;
    uint64_t FReads = 0;
    uint64_t FTotalReads = 0; // bytes
    uint64_t FWrites = 0;
    uint32_t FReadAheadBuffers = 1;
    bool FBufferAll = false;

    virtual std::unique_ptr<TBuffer> CreateBuffer();
    [[noreturn]] virtual void RaiseBufferCorrupt() = 0;
    // The table-full error once the file passed the engine's size limit.
    virtual void CheckMaximumFileSize();
    virtual void IncIOBlocksUsed() = 0;
    virtual uint32_t GetMaxBuffers() = 0;
    virtual uint32_t GetReadAheadBuffers() { return 1; }
    virtual uint32_t GetIOBlockSize() const = 0;
    virtual uint32_t GetBufferSize() const = 0;
    virtual uint64_t GetHeaderSize() const = 0;
    virtual int32_t GetIOBlocksUsed() const = 0;
    virtual int32_t GetLastUpdateStamp() const = 0;
    virtual uint32_t GetMRUBuffers() const = 0;
    virtual uint32_t GetBufferExpand() const = 0;
    virtual uint32_t GetReadAheadCount(TCacheReader* cursor, int direction);
    virtual void InitializeBuffers();
    virtual void ReadHeader() = 0;
    virtual void CheckHeader() = 0;
    // Re-reads the header under the file's section; true when its update stamp moved.
    virtual bool CheckForChanges();

    // Fetches block `number` for use (give it back with PutBuffer), or null when the miss found that another
    // process changed the table (all cached blocks of the table were dropped). `append` asks for the block
    // after the last one (writing paths); readers never append, so a block beyond the end is a read error.
    TBuffer* GetBuffer(TCacheReader* cursor, int slot, int direction, bool readAhead, int32_t number,
                       bool append = false);
    void PutBuffer(TBuffer* buffer);
    bool FlushBuffers();
    void FreeBuffers();
    void AdjustBuffers();
    uint64_t GetFileSize() const;

    void CloseFile() override;

    std::size_t CachedBuffers() const { return FBuffers.size(); }
    TBuffer* FindCached(int32_t number) const;
    // Block numbers in recency order, most recent first (for statistics and tests).
    std::vector<int32_t> RecencyOrder() const;

protected:
    // The file header at offset 0, decrypted with the table's password when there is one, not dirty.
    template <class THeader>
    THeader ReadFileHeader(const TDataPassword* password)
    {
        THeader h{};
        ReadExact(0, &h, sizeof h);
        if (password != nullptr)
            password->Decrypt(reinterpret_cast<uint8_t*>(&h), sizeof h);
        h.IsDirty = 0;
        return h;
    }
    // A header's version (an older one: the old-version error) and signature (the engine's own or the
    // standard one).
    void CheckVersionAndSignature(uint8_t versionNum, const TMD5Digest& signature);
    // Integer division of a byte budget by the size of one cached block, capped at the count limit and
    // raised to at least 1; a zero buffer size takes the count limit.
    static uint32_t MaxBuffersFor(uint32_t byteBudget, uint32_t countLimit, uint32_t bufferSize, uint32_t objectSize);
    // Whether a short read is accepted (blocks appended in memory may not be in the file yet).
    virtual bool ShortReadAccepted() const;

private:
    struct Pin;
    std::size_t InsertPosition(int32_t number) const;
    void MoveToFront(TBuffer* b);
    void Unlink(TBuffer* b);
    void LinkFront(TBuffer* b);
    // A buffer for block `number`: new, or the least recently used clean one taken out of FBuffers; owned,
    // initialised, numbered and at the front of the recency list, not yet in FBuffers. `pos`, a position in
    // FBuffers, stays on the same neighbour when the eviction removed an entry before it.
    TBuffer* GetBufferForBlock(int slot, int32_t number, std::size_t& pos);
    TBuffer* EvictCandidate() const;
    // Puts b into FBuffers at `pos` when that keeps the list sorted (else at its searched place); a block
    // already there is a corrupt cache: b is dropped and the file's corrupt error raised.
    void InsertSorted(TBuffer* b, std::size_t pos);
    std::size_t RemoveFromSorted(TBuffer* b); // its former position
    void Discard(TBuffer* b);                 // drops an owned buffer that is in no list but the recency list
    void ReadBlocks(int slot, int32_t first, uint32_t count);
    bool DetectChanges(TCacheReader* cursor, bool& locked);
    std::vector<std::unique_ptr<TBuffer>> FOwned; // the cached buffers, in no order
    std::vector<std::unique_ptr<TBuffer>> FDetached;
    std::vector<TBuffer*> FPinned;   // the buffers of the run being read (ReadBlocks)
};

// Holds a fetched buffer and gives it back on every path.
class TBufferLease {
public:
    TBufferLease() = default;
    TBufferLease(TBufferedFile& file, TBuffer* buffer) : FFile(&file), FBufferPtr(buffer) {}
    ~TBufferLease() { Release(); }
    TBufferLease(TBufferLease&& o) noexcept : FFile(o.FFile), FBufferPtr(o.FBufferPtr) { o.FBufferPtr = nullptr; }
    TBufferLease& operator=(TBufferLease&& o) noexcept
    {
        if (this != &o) {
            Release();
            FFile = o.FFile;
            FBufferPtr = o.FBufferPtr;
            o.FBufferPtr = nullptr;
        }
        return *this;
    }
    TBufferLease(const TBufferLease&) = delete;
    TBufferLease& operator=(const TBufferLease&) = delete;
    TBuffer* get() const { return FBufferPtr; }
    TBuffer* operator->() const { return FBufferPtr; }
    explicit operator bool() const { return FBufferPtr != nullptr; }
    void Release()
    {
        if (FBufferPtr != nullptr && FFile != nullptr)
            FFile->PutBuffer(FBufferPtr);
        FBufferPtr = nullptr;
    }

private:
    TBufferedFile* FFile = nullptr;
    TBuffer* FBufferPtr = nullptr;
};

} // namespace tableengine
