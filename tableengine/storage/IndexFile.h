// The index file of a table as far as opening, checking, change detection and the page cache go; the pages
// themselves are read through the cache of TBufferedFile.
#pragma once

#include "tableengine/storage/BufferedFile.h"
#include "tableengine/format/IndexHeader.h"

#include <array>
#include <cstdint>
#include <string>

namespace tableengine {

class TDataPassword;
class TDataFile;

class TIndexFile : public TBufferedFile {
public:
    TIndexFile(TDataEngine& engine, TDataTable* table);
    ~TIndexFile() override;

    TIndexHeader FHeader{};
    bool FIndexesAreDirty = false;
    std::array<TIndexDefinition, IndexSlotCount> FIndexDefinitions{};
    int32_t FPageSize = 0;            // the data header's IndexPageSize
    const TDataFile* FDataFile = nullptr; // for the field definitions the keys name
    const TDataPassword* Password = nullptr;

    void OpenFile() override;
    void ReadHeader() override;
    void CheckHeader() override;
    // Writes a new index file holding only the default definitions: the automatic primary index on the
    // record id and the text-index slot.
    void CreateDefault();

    TIndexHeader GetHeader() const { return FHeader; }
    uint8_t GetIndexCount() const { return FHeader.IndexCount; }
    const TIndexDefinition& GetIndexDefinition(int slot) const;
    int32_t GetRootPageNumber(int slot) const;
    int32_t GetDataRootPageNumber(int slot) const;
    int32_t GetNextFreePageNumber() const;
    bool GetAutoPrimaryIndex() const { return FIndexDefinitions[0].KeyFields[0] == 0xFFFF; }
    bool IndexExists(const std::string& name) const;

    std::unique_ptr<TBuffer> CreateBuffer() override;
    [[noreturn]] void RaiseBufferCorrupt() override;
    void IncIOBlocksUsed() override;
    uint32_t GetMaxBuffers() override;
    uint32_t GetIOBlockSize() const override { return static_cast<uint32_t>(FPageSize); }
    uint32_t GetBufferSize() const override { return FPageSize > 13 ? static_cast<uint32_t>(FPageSize) - 13u : 0u; }
    uint64_t GetHeaderSize() const override { return IndexFileHeaderSize; }
    int32_t GetIOBlocksUsed() const override { return FHeader.NextEndingPage - 1; }
    int32_t GetLastUpdateStamp() const override { return FHeader.UpdateStamp; }
    uint32_t GetMRUBuffers() const override { return 2; }
    uint32_t GetBufferExpand() const override { return 4; }

    // The two default definitions.
    static TIndexDefinition AutoPrimaryIndex();
    static TIndexDefinition TextIndexDefinition();
};

} // namespace tableengine
