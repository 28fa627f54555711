// The open BLOBs of a cursor: each BLOB of a record buffer is loaded whole into memory when opened, shared
// through the negative handle that then stands in the record's block-number slot, and released by FreeBlob.
// A part of the cursor (TDataCursor) it is made with, next to the cursor's navigation, whose operation scope
// every load runs in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tableengine {

class TCursorNavigation;
class TDataCursor;
struct TFieldDefinition;

inline constexpr int BlobHandleCapacity = 256;
enum TBlobOpenMode : uint8_t { bomRead = 1, bomWrite = 2 };

struct TBlobBuffer {
    int FHandle = 0;
    bool FIsDirty = false;
    int32_t FSignature = 0;
    const TFieldDefinition* FFieldDefinition = nullptr;
    int32_t FBlockNumber = 0;
    int32_t FRecordNumber = 0;
    std::vector<uint8_t> FBuffer; // the whole value, decompressed
    std::vector<uint8_t> FOldBuffer;
    uint8_t FOpenMode = bomRead;
    int FUseCount = 0;
    bool FEngineAllocated = false;
    std::size_t Size() const { return FBuffer.size(); }
};

class TCursorBlobs {
public:
    TCursorBlobs(TDataCursor& cursor, TCursorNavigation& navigation);
    ~TCursorBlobs();
    TCursorBlobs(const TCursorBlobs&) = delete;
    TCursorBlobs& operator=(const TCursorBlobs&) = delete;

    // Opens the BLOB of a field (engine field number) in a record buffer, or shares it when the buffer
    // already holds its handle; answers its size in bytes.
    uint32_t OpenBlob(int fieldNum, uint8_t* record, uint8_t mode = bomRead, bool engineAllocated = false);
    // Copies min(length, size - offset) bytes from byte offset of the open BLOB; 0 when offset >= size.
    std::size_t GetBlob(int fieldNum, const uint8_t* record, std::size_t length, uint8_t* destination,
                        std::size_t offset);
    uint32_t GetBlobSize(int fieldNum, const uint8_t* record);
    // Ends one open request; the last one puts the block number back into the record buffer.
    void FreeBlob(int fieldNum, uint8_t* record);
    bool ValidBlobHandle(int fieldNum, const uint8_t* record) const;
    // The open BLOB with that handle, or 10030.
    TBlobBuffer& FindBlobBuffer(int handle);
    // The handle a BLOB field value names (0 for none).
    static int HandleOf(int32_t value);
    // Frees every open BLOB (closing the cursor).
    void FreeAllBlobs();
    std::size_t OpenBlobCount() const;

private:
    TDataCursor& Cursor() { return FCursor; }
    const TDataCursor& Cursor() const { return FCursor; }
    const TFieldDefinition& BlobField(int fieldNum) const;
    // Loads (and inflates) the BLOB's value; any failure is an engine error.
    void LoadBlob(TBlobBuffer& blob, uint8_t* record);
    void LoadChain(TBlobBuffer& blob, uint8_t* record);

    TDataCursor& FCursor;
    TCursorNavigation& FNavigation;
    std::array<std::unique_ptr<TBlobBuffer>, BlobHandleCapacity> FBlobBuffers;
};

} // namespace tableengine
