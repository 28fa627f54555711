// A cursor's open BLOBs. The rule every decoder of a table's files keeps, here for BLOB values: loading is
// bounded as BlobChain.cpp states, a handle is taken from a field value only when it can name one, and
// loading lets no library exception out (DecodeGuard.h).
#include "tableengine/cursor/CursorBlobs.h"

#include "tableengine/format/ByteOrder.h"

#include "tableengine/storage/BlobChain.h"
#include "tableengine/cursor/CursorNavigation.h"
#include "tableengine/storage/BlobFile.h"
#include "tableengine/storage/Block.h"
#include "tableengine/cursor/DataCursor.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/DataTypes.h"
#include "tableengine/storage/DecodeGuard.h"
#include "tableengine/format/EngineError.h"
#include "tableengine/storage/IndexFile.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tableengine {
namespace {

// The BLOB file's cache as the chain loader sees it.
class TCachedBlocks : public TBlockSource {
public:
    TCachedBlocks(TDataCursor& cursor, TCursorNavigation& navigation, TBlobFile& file)
        : FCursor(cursor), FNavigation(navigation), FFile(file)
    {
    }

    class THeld : public TFetchedBlock {
    public:
        THeld(TBlobFile& file, TBlock* block) : FFile(file), FBlock(block)
        {
            Header = block->FHeader;
            Data = {block->FBuffer.data(), block->FBuffer.size()};
            SharedUse = block->FUseCount > 1;
        }
        ~THeld() override { FFile.PutBuffer(FBlock); }
        THeld(const THeld&) = delete;
        THeld& operator=(const THeld&) = delete;

    private:
        TBlobFile& FFile;
        TBlock* FBlock;
    };

    std::unique_ptr<TFetchedBlock> Fetch(int32_t number) override
    {
        TBuffer* b = FFile.GetBuffer(&FCursor, 0, rdForward, true, number);
        if (b == nullptr) {
            // The miss found another process's change: the cursor follows it before the record is re-read.
            FNavigation.RefreshAfterChange();
            return nullptr;
        }
        return std::make_unique<THeld>(FFile, static_cast<TBlock*>(b));
    }
    int32_t BlocksUsed() const override { return FFile.GetIOBlocksUsed(); }
    std::size_t BufferSize() const override { return FFile.GetBufferSize(); }
    void DetectChanges() override
    {
        TDataTable& table = *FCursor.DataTable;
        const bool changed = table.ReadLockTable() || FCursor.PerformChangeDetection();
        struct Unlock {
            TDataTable& t;
            ~Unlock() { t.ReadUnlockTable(); }
        } unlock{table};
        // Another process changed the table: the position and the count follow it, as after any other
        // change the cursor notices.
        if (changed)
            FNavigation.RefreshAfterChange();
    }

private:
    TDataCursor& FCursor;
    TCursorNavigation& FNavigation;
    TBlobFile& FFile;
};

} // namespace

TCursorBlobs::TCursorBlobs(TDataCursor& cursor, TCursorNavigation& navigation)
    : FCursor(cursor), FNavigation(navigation)
{
}

TCursorBlobs::~TCursorBlobs() = default;

const TFieldDefinition& TCursorBlobs::BlobField(int fieldNum) const
{
    const TFieldDefinition& field = Cursor().GetFieldDefinition(fieldNum);
    if (field.DataType != dtBlob)
        Cursor().DataTable->RaiseError(TBL_NOTABLOB);
    return field;
}

int TCursorBlobs::HandleOf(int32_t value)
{
    // A field value -h names handle h; anything else (a block number, or a negative value no handle can
    // have, INT32_MIN included) names none.
    return value < 0 && value >= -BlobHandleCapacity ? -value : 0;
}

TBlobBuffer& TCursorBlobs::FindBlobBuffer(int handle)
{
    if (handle < 1 || handle > BlobHandleCapacity || !FBlobBuffers[static_cast<size_t>(handle - 1)])
        Cursor().DataTable->RaiseError(TBL_INVALIDBLOBHANDLE);
    return *FBlobBuffers[static_cast<size_t>(handle - 1)];
}

bool TCursorBlobs::ValidBlobHandle(int fieldNum, const uint8_t* record) const
{
    const TFieldDefinition& field = BlobField(fieldNum);
    const int32_t value = GetInt32(record + field.Offset + 1);
    if (value >= 0 || value < -BlobHandleCapacity)
        return false;
    return FBlobBuffers[static_cast<size_t>(-value - 1)] != nullptr;
}

std::size_t TCursorBlobs::OpenBlobCount() const
{
    return static_cast<std::size_t>(
        std::count_if(FBlobBuffers.begin(), FBlobBuffers.end(), [](const auto& b) { return b != nullptr; }));
}

void TCursorBlobs::FreeAllBlobs()
{
    for (auto& b : FBlobBuffers)
        b.reset();
}

void TCursorBlobs::LoadBlob(TBlobBuffer& blob, uint8_t* record)
{
    TDataCursor& c = Cursor();
    TDataTable& table = *c.DataTable;
    if (!table.BlobFile)
        table.RaiseError(TBL_MEMOCORRUPT);
    DecodeGuarded(*table.BlobFile, [&] { LoadChain(blob, record); });
}

void TCursorBlobs::LoadChain(TBlobBuffer& blob, uint8_t* record)
{
    TDataCursor& c = Cursor();
    TDataTable& table = *c.DataTable;
    TCachedBlocks source(c, FNavigation, *table.BlobFile);
    TChainResult chain = LoadBlobChain(source, blob.FBlockNumber, blob.FSignature);
    if (chain.Mismatch) {
        // The chain no longer belongs to this record: fetch the record as it is now.
        TDataFile& data = *table.DataFile;
        TRecord* current = data.GetRecord(&c, rdNone, false, blob.FRecordNumber);
        if (current == nullptr)
            current = data.GetRecord(&c, rdNone, false, blob.FRecordNumber);
        if (current == nullptr)
            table.RaiseError(TBL_KEYORRECDELETED);
        TBufferLease hold(data, current);
        if (current->Status() == RecordDeleted || current->RecordID() != GetInt32(record + RecordIDOffset))
            table.RaiseError(TBL_KEYORRECDELETED);
        const std::size_t at = blob.FFieldDefinition->Offset + 1u;
        if (current->FBuffer.size() < at + 8)
            table.RaiseError(TBL_FILECORRUPT);
        blob.FBlockNumber = GetInt32(current->FBuffer.data() + at);
        blob.FSignature = GetInt32(current->FBuffer.data() + at + 4);
        PutInt32(record + at, blob.FBlockNumber);
        PutInt32(record + at + 4, blob.FSignature);
        hold.Release();
        chain = LoadBlobChain(source, blob.FBlockNumber, blob.FSignature);
        if (chain.Mismatch)
            table.RaiseError(TBL_MEMOCORRUPT);
    }
    if (chain.Code != 0)
        table.RaiseError(chain.Code);
    blob.FBuffer = std::move(chain.Bytes);
    if (blob.FFieldDefinition->Compression != 0 && !blob.FBuffer.empty()) {
        std::vector<uint8_t> inflated;
        if (InflateBlob(blob.FBuffer, inflated) != 0)
            table.RaiseError(TBL_UNCOMPRESS);
        blob.FBuffer = std::move(inflated);
    }
}

uint32_t TCursorBlobs::OpenBlob(int fieldNum, uint8_t* record, uint8_t mode, bool engineAllocated)
{
    TDataCursor& c = Cursor();
    const TFieldDefinition& field = BlobField(fieldNum);
    uint8_t* slot = record + field.Offset + 1;
    const int32_t value = GetInt32(slot);
    if (value < 0) {
        if (value < -BlobHandleCapacity || !FBlobBuffers[static_cast<size_t>(-value - 1)])
            c.DataTable->RaiseError(TBL_INVALIDBLOBOFFSET);
        TBlobBuffer& open = *FBlobBuffers[static_cast<size_t>(-value - 1)];
        if (open.FEngineAllocated && !engineAllocated && mode == bomWrite)
            open.FEngineAllocated = false;
        else
            ++open.FUseCount;
        return static_cast<uint32_t>(open.Size());
    }

    const auto freeSlot = std::find(FBlobBuffers.begin(), FBlobBuffers.end(), nullptr);
    if (freeSlot == FBlobBuffers.end())
        throw EDatabaseError("Handle objects container capacity (" + std::to_string(BlobHandleCapacity) +
                             ") exceeded");
    auto blob = std::make_unique<TBlobBuffer>();
    blob->FHandle = static_cast<int>(freeSlot - FBlobBuffers.begin()) + 1;
    blob->FFieldDefinition = &field;
    blob->FBlockNumber = value;
    blob->FRecordNumber = GetInt32(record + RecordNumberOffset);
    blob->FOpenMode = mode;
    blob->FEngineAllocated = engineAllocated;
    blob->FSignature = GetInt32(slot + 4);
    {
        TCursorNavigation::TNavigationScope scope(FNavigation);
        LoadBlob(*blob, record);
    }
    blob->FUseCount = 1;
    const TIndexDefinition& text = c.DataTable->IndexFile->GetIndexDefinition(TextIndexSlot);
    for (size_t i = 0; i < std::min<size_t>(text.KeyFieldCount, MaxKeyFieldCount); ++i)
        if (text.KeyFields[i] == field.FieldNum)
            blob->FOldBuffer = blob->FBuffer;
    const auto size = static_cast<uint32_t>(blob->Size());
    PutInt32(slot, -blob->FHandle);
    record[field.Offset] = size > 0 ? 1 : 0;
    *freeSlot = std::move(blob);
    return size;
}

std::size_t TCursorBlobs::GetBlob(int fieldNum, const uint8_t* record, std::size_t length, uint8_t* destination,
                                  std::size_t offset)
{
    const TFieldDefinition& field = BlobField(fieldNum);
    const int32_t value = GetInt32(record + field.Offset + 1);
    const TBlobBuffer& blob = FindBlobBuffer(HandleOf(value));
    if (offset >= blob.Size())
        return 0;
    const std::size_t n = std::min(length, blob.Size() - offset);
    std::memcpy(destination, blob.FBuffer.data() + offset, n);
    return n;
}

uint32_t TCursorBlobs::GetBlobSize(int fieldNum, const uint8_t* record)
{
    const TFieldDefinition& field = BlobField(fieldNum);
    const int32_t value = GetInt32(record + field.Offset + 1);
    return static_cast<uint32_t>(FindBlobBuffer(HandleOf(value)).Size());
}

void TCursorBlobs::FreeBlob(int fieldNum, uint8_t* record)
{
    const TFieldDefinition& field = BlobField(fieldNum);
    uint8_t* slot = record + field.Offset + 1;
    const int32_t value = GetInt32(slot);
    TBlobBuffer& blob = FindBlobBuffer(HandleOf(value));
    if (--blob.FUseCount > 0)
        return;
    PutInt32(slot, blob.FBlockNumber);
    FBlobBuffers[static_cast<size_t>(blob.FHandle - 1)].reset();
}

} // namespace tableengine
