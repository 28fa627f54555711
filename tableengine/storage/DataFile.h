// The data file of a table: header, field definitions (with the two pseudo fields), and the record slots
// read through the block cache, decrypted when the table is encrypted.
#pragma once

#include "tableengine/storage/BufferedFile.h"
#include "tableengine/format/DataHeader.h"

#include "platform/Locale.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tableengine {

class TDataPassword;
class TDataFile;

// One record slot in the cache.
class TRecord : public TBuffer {
public:
    using TBuffer::TBuffer;
    void Read(const uint8_t* raw, std::size_t size) override;
    void Write(uint8_t* raw, std::size_t size) const override;

    uint8_t Status() const { return FBuffer.empty() ? uint8_t(0) : FBuffer[RecordStatusOffset]; }
    int32_t RecordNumber() const { return ReadInt32(RecordNumberOffset); } // own number, or next free
    int32_t RecordID() const { return ReadInt32(RecordIDOffset); }

private:
    int32_t ReadInt32(std::size_t at) const;
};

class TDataFile : public TBufferedFile {
public:
    TDataFile(TDataEngine& engine, TDataTable* table);
    ~TDataFile() override;

    TDataHeader Header{};
    bool FieldsAreDirty = false;
    std::vector<TFieldDefinition> FieldDefinitions; // positions 1..FieldCount at index 0..FieldCount-1
    TFieldDefinition RecordIDField{};
    TFieldDefinition RecordHashField{};
    // The cipher of an encrypted table (owned by the table); null when not encrypted.
    const TDataPassword* Password = nullptr;

    // Opens the file and loads header and definitions: 12035/12036 for a wrong version or signature, 8961 for
    // too many fields, 10498 without a fitting password, 9217 for a file shorter than header or definitions.
    void OpenFile() override;
    // What OpenFile does after opening: for a file that is open already (a table opens its data file first
    // and reads it only once it holds the table's read lock).
    void LoadHeaders();
    void ReadHeader() override;
    void CheckHeader() override;
    // The collation and case rules of the header's LocaleID (0: the default ones); the locale error when the
    // platform has none for it.
    std::shared_ptr<const platform::Locale> LoadLocale();

    // 1..FieldCount, or -1 "RecordID" and -2 "RecordHash"; null otherwise.
    const TFieldDefinition* GetFieldDefinitionByPos(int position) const;

    // A record through the cache (null on a change report); give it back with PutRecord.
    TRecord* GetRecord(TCacheReader* cursor, int direction, bool readAhead, int32_t number);
    void PutRecord(TRecord* record) { PutBuffer(record); }

    int32_t RecordCount() const { return Header.RecordCount; }
    uint16_t FieldCount() const { return Header.FieldCount; }
    uint16_t BlobFieldCount() const { return Header.BlobFieldCount; }
    uint16_t RecordLength() const { return Header.RecordLength; }
    int32_t BlobBlockSize() const { return Header.BlobBlockSize; }
    int32_t IndexPageSize() const { return Header.IndexPageSize; }
    int32_t LocaleID() const { return Header.LocaleID; }
    uint16_t UserMajorVersion() const { return Header.UserMajorVersion; }
    uint16_t UserMinorVersion() const { return Header.UserMinorVersion; }
    uint8_t VersionNum() const { return Header.VersionNum; }
    std::string Description() const;
    double LastUpdated() const { return Header.LastUpdated; }
    bool Encrypted() const { return Header.Encrypted != 0; }
    int32_t NextFreeRecord() const { return Header.NextFreeRecord; }
    int32_t NextEndingRecord() const { return Header.NextEndingRecord; }
    int32_t LastRecordID() const { return Header.LastRecordID; }
    int32_t LastAutoIncID() const { return Header.LastAutoIncID; }
    int32_t LastBlobSignature() const { return Header.LastBlobSignature; }

    std::unique_ptr<TBuffer> CreateBuffer() override;
    [[noreturn]] void RaiseBufferCorrupt() override;
    void CheckMaximumFileSize() override;
    void IncIOBlocksUsed() override;
    uint32_t GetMaxBuffers() override;
    uint32_t GetReadAheadBuffers() override;
    uint32_t GetIOBlockSize() const override { return Header.RecordLength; }
    uint32_t GetBufferSize() const override { return Header.RecordLength; }
    uint64_t GetHeaderSize() const override { return DataFileHeaderSize(Header.FieldCount); }
    int32_t GetIOBlocksUsed() const override { return Header.NextEndingRecord - 1; }
    int32_t GetLastUpdateStamp() const override { return Header.UpdateStamp; }
    uint32_t GetMRUBuffers() const override { return 4; }
    uint32_t GetBufferExpand() const override { return 64; }
    uint32_t GetReadAheadCount(TCacheReader* cursor, int direction) override;

    // After CheckForChanges reported a change: the header as re-read must describe the same table as the
    // one the open checked (structure, field definitions, slots that fit the file); another process that
    // restructured the table, or a damaged header, gives 8961.
    void CheckChangedHeader(const TDataHeader& before);

private:
    void LoadFieldDefinitions();
    std::vector<uint8_t> ReadFieldArea(std::size_t count);
    void CheckSlots();
    std::vector<uint8_t> FFieldArea; // the field definitions as read at open (decrypted)
};


} // namespace tableengine
