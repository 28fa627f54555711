// The BLOB file of a table as far as opening, checking, change detection and the block cache go.
#pragma once

#include "tableengine/format/BlobHeader.h"
#include "tableengine/storage/BufferedFile.h"

#include <cstdint>

namespace tableengine {

class TDataPassword;

class TBlobFile : public TBufferedFile {
public:
    TBlobFile(TDataEngine& engine, TDataTable* table);
    ~TBlobFile() override;

    TBlobHeader FHeader{};
    int32_t FBlockSize = 0; // the data header's BlobBlockSize
    const TDataPassword* Password = nullptr; // header and blocks are encrypted with the table

    void OpenFile() override;
    void ReadHeader() override;
    void CheckHeader() override;

    TBlobHeader GetHeader() const { return FHeader; }
    int32_t GetNextFreeBlockNumber() const
    {
        return FHeader.NextFreeBlock != 0 ? FHeader.NextFreeBlock : FHeader.NextEndingBlock;
    }

    std::unique_ptr<TBuffer> CreateBuffer() override;
    [[noreturn]] void RaiseBufferCorrupt() override;
    void IncIOBlocksUsed() override;
    uint32_t GetMaxBuffers() override;
    uint32_t GetIOBlockSize() const override { return static_cast<uint32_t>(FBlockSize); }
    uint32_t GetBufferSize() const override { return FBlockSize > 18 ? static_cast<uint32_t>(FBlockSize) - 18u : 0u; }
    uint64_t GetHeaderSize() const override { return BlobFileHeaderSize; }
    int32_t GetIOBlocksUsed() const override { return FHeader.NextEndingBlock - 1; }
    int32_t GetLastUpdateStamp() const override { return FHeader.UpdateStamp; }
    uint32_t GetMRUBuffers() const override { return 4; }
    uint32_t GetBufferExpand() const override { return 32; }
    uint32_t GetReadAheadCount(TCacheReader* cursor, int direction) override;
};

} // namespace tableengine
