// The block cache of one file. The rule every decoder of a table's files keeps, here for runs of blocks: a
// run is bounded by the read-ahead and by the blocks the checked header claims; a block beyond the file is
// a short read (9217); decoding a block lets no library exception out (DecodeGuard.h).
#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/CacheReader.h"
#include "tableengine/storage/BufferedFile.h"

#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/storage/DecodeGuard.h"

#include <algorithm>
#include <cstring>

namespace tableengine {

// ---- TBuffer

TBuffer::TBuffer(TBufferedFile& file) : FBufferedFile(&file)
{
    FBuffer.assign(file.GetBufferSize(), 0);
    FSize = FBuffer.size();
}

TBuffer::~TBuffer() = default;

void TBuffer::Copy(const TBuffer& other)
{
    FIsDirty = other.FIsDirty;
    FNumber = other.FNumber;
    FBuffer = other.FBuffer;
    FSize = other.FSize;
}

void TBuffer::CopyBuffer(const uint8_t* source, std::size_t size)
{
    const std::size_t n = std::min(size, FBuffer.size());
    std::memcpy(FBuffer.data(), source, n);
    FIsDirty = true;
}

void TBuffer::CopyToBuffer(uint8_t* destination, std::size_t size) const
{
    std::memcpy(destination, FBuffer.data(), std::min(size, FBuffer.size()));
}

void TBuffer::Initialize(int /*slot*/)
{
    std::fill(FBuffer.begin(), FBuffer.end(), uint8_t(0));
    FIsDirty = false;
    FWriteFlag = false;
    FReadFlag = false;
    FNumber = 0;
}

bool TBuffer::SkipRead()
{
    if (FUseCount > 0 || FIsDirty)
        return true;
    if (FReadFlag) {
        FReadFlag = false;
        return true;
    }
    return false;
}

void TBuffer::Read(const uint8_t* raw, std::size_t size)
{
    if (!SkipRead())
        CopyIn(raw, size);
}

void TBuffer::CopyIn(const uint8_t* raw, std::size_t size)
{
    const std::size_t n = std::min(size, FBuffer.size());
    std::memcpy(FBuffer.data(), raw, n);
    std::fill(FBuffer.begin() + static_cast<std::ptrdiff_t>(n), FBuffer.end(), uint8_t(0));
}

void TBuffer::Write(uint8_t* raw, std::size_t size) const
{
    const std::size_t n = std::min(size, FBuffer.size());
    std::memcpy(raw, FBuffer.data(), n);
}

bool TBuffer::IsEqualTo(const TBuffer& other) const { return FBuffer == other.FBuffer; }

bool TBuffer::IsEqualToBuffer(const uint8_t* source, std::size_t size) const
{
    return size == FBuffer.size() && std::memcmp(source, FBuffer.data(), size) == 0;
}

// ---- TBufferedFile

TBufferedFile::TBufferedFile(TDataEngine& engine, TDataTable* table) : TEngineFile(engine), FDataTable(table) {}

TBufferedFile::~TBufferedFile() = default;

std::unique_ptr<TBuffer> TBufferedFile::CreateBuffer() { return std::make_unique<TBuffer>(*this); }

uint32_t TBufferedFile::MaxBuffersFor(uint32_t byteBudget, uint32_t countLimit, uint32_t bufferSize,
                                      uint32_t objectSize)
{
    uint32_t n = bufferSize == 0 ? countLimit : byteBudget / (bufferSize + objectSize);
    n = std::min(n, countLimit);
    return std::max(n, 1u);
}

bool TBufferedFile::CheckForChanges()
{
    const int32_t stamp = GetLastUpdateStamp();
    {
        std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
        ReadHeader();
    }
    return GetLastUpdateStamp() != stamp;
}

void TBufferedFile::CheckVersionAndSignature(uint8_t versionNum, const TMD5Digest& signature)
{
    if (versionNum != DataVersionNum)
        RaiseError(IsOlderVersion(versionNum) ? TBL_OLDVERSION : TBL_BADSIGNATURE);
    TMD5Digest standard{};
    std::memcpy(&standard, StandardSignatureBytes, sizeof standard);
    if (signature != DataEngine().SignatureDigest && signature != standard)
        RaiseError(TBL_BADSIGNATURE);
}

void TBufferedFile::CheckMaximumFileSize()
{
    if (GetFileSize() > DataEngine().MaximumFileSize)
        RaiseError(TBL_TABLEFULL);
}

uint32_t TBufferedFile::GetReadAheadCount(TCacheReader* /*cursor*/, int /*direction*/) { return 1; }

bool TBufferedFile::ShortReadAccepted() const
{
    return FDataTable != nullptr && (FDataTable->Exclusive || FDataTable->InTransaction) && FDataTable->WrittenTo;
}

void TBufferedFile::InitializeBuffers()
{
    FCacheHits = FCacheMisses = FReads = FTotalReads = FWrites = 0;
    FCapacity = GetMaxBuffers();
    FReadAheadBuffers = GetReadAheadBuffers();
    FOwned.reserve(FCapacity);
    FWriteBuffers.reserve(FCapacity);
}

uint64_t TBufferedFile::GetFileSize() const
{
    const int32_t used = GetIOBlocksUsed();
    return GetHeaderSize() + uint64_t(used > 0 ? used : 0) * GetIOBlockSize();
}

void TBufferedFile::CloseFile()
{
    FreeBuffers();
    TEngineFile::CloseFile();
}

TBuffer* TBufferedFile::FindCached(int32_t number) const
{
    const std::size_t pos = InsertPosition(number);
    return pos < FBuffers.size() && FBuffers[pos]->FNumber == number ? FBuffers[pos] : nullptr;
}

std::vector<int32_t> TBufferedFile::RecencyOrder() const
{
    std::vector<int32_t> out;
    for (TBuffer* b = FFirstBuffer; b != nullptr; b = b->FNextBuffer)
        out.push_back(b->FNumber);
    return out;
}

std::size_t TBufferedFile::InsertPosition(int32_t number) const
{
    // Binary search: the index of the buffer with the number, else of the first with a higher one. Reading
    // on in block order meets the ends of the list (evicting the lowest number, adding above the highest):
    // they are looked at first.
    if (FBuffers.empty() || FBuffers.back()->FNumber < number)
        return FBuffers.size();
    if (FBuffers.front()->FNumber >= number)
        return 0;
    std::size_t low = 0;
    std::size_t high = FBuffers.size();
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (FBuffers[mid]->FNumber < number)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void TBufferedFile::Unlink(TBuffer* b)
{
    if (b->FPrevBuffer != nullptr)
        b->FPrevBuffer->FNextBuffer = b->FNextBuffer;
    else if (FFirstBuffer == b)
        FFirstBuffer = b->FNextBuffer;
    if (b->FNextBuffer != nullptr)
        b->FNextBuffer->FPrevBuffer = b->FPrevBuffer;
    else if (FLastBuffer == b)
        FLastBuffer = b->FPrevBuffer;
    b->FPrevBuffer = b->FNextBuffer = nullptr;
}

void TBufferedFile::LinkFront(TBuffer* b)
{
    b->FPrevBuffer = nullptr;
    b->FNextBuffer = FFirstBuffer;
    if (FFirstBuffer != nullptr)
        FFirstBuffer->FPrevBuffer = b;
    FFirstBuffer = b;
    if (FLastBuffer == nullptr)
        FLastBuffer = b;
}

void TBufferedFile::MoveToFront(TBuffer* b)
{
    if (FFirstBuffer == b)
        return;
    Unlink(b);
    LinkFront(b);
}

void TBufferedFile::InsertSorted(TBuffer* b, std::size_t pos)
{
    const int32_t number = b->FNumber;
    const std::size_t size = FBuffers.size();
    if (pos == size && (size == 0 || FBuffers.back()->FNumber < number)) {
        // Reading on in block order: the new block is the highest.
        try {
            FBuffers.push_back(b);
        } catch (...) {
            Discard(b);
            throw;
        }
        return;
    }
    const bool fits = pos <= size && (pos == 0 || FBuffers[pos - 1]->FNumber < number) &&
                      (pos == size || FBuffers[pos]->FNumber > number);
    if (!fits) {
        pos = InsertPosition(number);
        if (pos < FBuffers.size() && FBuffers[pos]->FNumber == number) {
            Discard(b);
            RaiseBufferCorrupt();
        }
    }
    try {
        if (pos == FBuffers.size())
            FBuffers.push_back(b);
        else
            FBuffers.insert(pos, b);
    } catch (...) {
        Discard(b);
        throw;
    }
}

std::size_t TBufferedFile::RemoveFromSorted(TBuffer* b)
{
    // Reading on in block order evicts the lowest block.
    const std::size_t pos = !FBuffers.empty() && FBuffers.front() == b ? 0 : InsertPosition(b->FNumber);
    if (pos >= FBuffers.size() || FBuffers[pos] != b || b->FOwnedIndex >= FOwned.size() ||
        FOwned[b->FOwnedIndex].get() != b)
        RaiseBufferCorrupt();
    if (pos == 0)
        FBuffers.pop_front();
    else
        FBuffers.erase(pos);
    return pos;
}

void TBufferedFile::Discard(TBuffer* b)
{
    Unlink(b);
    const std::size_t at = b->FOwnedIndex;
    if (at >= FOwned.size() || FOwned[at].get() != b)
        return;
    if (at + 1 < FOwned.size()) {
        FOwned[at] = std::move(FOwned.back());
        FOwned[at]->FOwnedIndex = at;
    }
    FOwned.pop_back();
}

TBuffer* TBufferedFile::EvictCandidate() const
{
    for (TBuffer* b = FLastBuffer; b != nullptr; b = b->FPrevBuffer)
        if (!b->FIsDirty && b->FUseCount == 0)
            return b;
    return nullptr;
}

TBuffer* TBufferedFile::GetBufferForBlock(int slot, int32_t number, std::size_t& pos)
{
    TBuffer* b = nullptr;
    if (FBuffers.size() >= FCapacity) {
        if (Exclusive) {
            if (!FBufferAll) {
                b = EvictCandidate();
                if (b == nullptr && FlushBuffers())
                    b = EvictCandidate();
            }
        } else if (FWriteBuffers.size() + FReadAheadBuffers < FBuffers.size()) {
            b = EvictCandidate();
        }
        if (b != nullptr) {
            // The evicted buffer stays owned and takes the new number.
            if (RemoveFromSorted(b) < pos)
                --pos;
            Unlink(b);
        } else {
            FCapacity += GetBufferExpand();
        }
    }
    if (b == nullptr) {
        std::unique_ptr<TBuffer> created = CreateBuffer();
        b = created.get();
        b->FOwnedIndex = FOwned.size();
        FOwned.push_back(std::move(created));
    }
    b->Initialize(slot);
    b->FNumber = number;
    LinkFront(b);
    return b;
}

bool TBufferedFile::DetectChanges(TCacheReader* cursor, bool& locked)
{
    locked = false;
    if (FDataTable == nullptr || FDataTable->StrictChangeDetection())
        return false;
    if (cursor != nullptr && cursor->WithoutChangeDetection())
        return false;
    if (cursor != nullptr && cursor->FOperationDepth > 0) {
        // Inside a navigation operation: the first miss takes the lock and checks; the operation's end
        // releases it, and later misses read under it without another check.
        if (cursor->FOperationLocked)
            return false;
        const bool changed = FDataTable->ReadLockTable();
        cursor->FOperationLocked = true;
        return changed;
    }
    const bool changed = FDataTable->ReadLockTable();
    locked = true;
    return changed;
}

// Keeps the buffers of a run in use while the run is walked, so that none of them is evicted for another.
// The list is the file's own, kept between reads so that a read allocates nothing.
struct TBufferedFile::Pin {
    std::vector<TBuffer*>& held;
    explicit Pin(std::vector<TBuffer*>& list) : held(list) { held.clear(); }
    ~Pin()
    {
        for (TBuffer* b : held)
            --b->FUseCount;
        held.clear();
    }
    void add(TBuffer* b)
    {
        ++b->FUseCount;
        held.push_back(b);
    }
};

void TBufferedFile::ReadBlocks(int slot, int32_t first, uint32_t count)
{
    ++FCacheMisses;
    const uint32_t bs = GetIOBlockSize();
    if (bs == 0)
        RaiseBufferCorrupt();
    const std::size_t size = std::size_t(count) * bs;
    const uint64_t pos = GetHeaderSize() + uint64_t(first - 1) * bs;
    // count is bounded by the read-ahead and the blocks the checked header claims, bs by the header checks.
    if (FReadBuffer.size() < size)
        DecodeGuarded(*this, [&] { FReadBuffer.resize(size); });
    std::size_t got = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
        struct Progress {
            TBufferedFile& f;
            ~Progress()
            {
                f.FReadSize = 0;
                f.FReadFilePos = 0;
            }
        } progress{*this};
        FReadSize = size;
        FReadFilePos = pos;
        got = Read(pos, FReadBuffer.data(), size);
    }
    if (got < size && !ShortReadAccepted())
        RaiseError(TBL_READERR);
    ++FReads;
    FTotalReads += got;
    const std::size_t whole = got / bs;
    Pin pin(FPinned);
    // The run's blocks are consecutive, so each one's place in the sorted list follows the previous one's.
    std::size_t at = InsertPosition(first);
    for (std::size_t i = 0; i < whole; ++i, ++at) {
        const int32_t n = first + static_cast<int32_t>(i);
        const uint8_t* raw = FReadBuffer.data() + i * bs;
        TBuffer* b = at < FBuffers.size() && FBuffers[at]->FNumber == n ? FBuffers[at] : nullptr;
        if (b == nullptr) {
            b = GetBufferForBlock(slot, n, at);
            InsertSorted(b, at);
        }
        DecodeGuarded(*this, [&] { b->Read(raw, bs); });
        pin.add(b);
    }
}

TBuffer* TBufferedFile::GetBuffer(TCacheReader* cursor, int slot, int direction, bool readAhead, int32_t number,
                                  bool append)
{
    if (number <= 0)
        RaiseBufferCorrupt();
    if (append && number == GetIOBlocksUsed() + 1) {
        CheckMaximumFileSize();
        std::size_t pos = FBuffers.size();
        TBuffer* b = GetBufferForBlock(slot, number, pos);
        InsertSorted(b, pos);
        ++b->FUseCount;
        ++FCacheHits;
        IncIOBlocksUsed();
        return b;
    }
    // The most recent block (the current leaf, the current record), then the block right after the previous
    // hit in the sorted list (reading on in block order), then the other recent ones, then a search.
    TBuffer* found = nullptr;
    if (FFirstBuffer != nullptr && FFirstBuffer->FNumber == number) {
        found = FFirstBuffer;
    } else if (FLastHit + 1 < FBuffers.size() && FBuffers[FLastHit + 1]->FNumber == number) {
        found = FBuffers[++FLastHit];
    } else {
        TBuffer* b = FFirstBuffer;
        const uint32_t mru = GetMRUBuffers();
        for (uint32_t i = 0; i < mru && b != nullptr && found == nullptr; ++i, b = b->FNextBuffer)
            if (b->FNumber == number)
                found = b;
    }
    if (found == nullptr) {
        FLastHit = InsertPosition(number);
        if (FLastHit < FBuffers.size() && FBuffers[FLastHit]->FNumber == number)
            found = FBuffers[FLastHit];
    }
    if (found != nullptr) {
        MoveToFront(found);
        ++FCacheHits;
        ++found->FUseCount;
        return found;
    }

    // A miss: the moment to notice another process's change.
    bool locked = false;
    struct Unlock {
        TDataTable* table;
        bool& locked;
        ~Unlock()
        {
            if (locked)
                table->ReadUnlockTable();
        }
    } unlock{FDataTable, locked};
    if (DetectChanges(cursor, locked))
        return nullptr;

    const int32_t used = GetIOBlocksUsed();
    uint32_t c = 1;
    if (readAhead && direction != rdNone) {
        c = std::max(1u, std::min(GetReadAheadCount(cursor, direction), FReadAheadBuffers));
        if (direction == rdForward) {
            const std::size_t pos = InsertPosition(number);
            if (pos < FBuffers.size() && pos > 0)
                c = std::min<uint32_t>(c, static_cast<uint32_t>(FBuffers[pos]->FNumber - number));
            if (used >= number)
                c = std::min<uint32_t>(c, static_cast<uint32_t>(used - number + 1));
            else
                c = 1;
        } else if (direction == rdBackward) {
            c = std::min<uint32_t>(c, static_cast<uint32_t>(number));
        }
        c = std::max(c, 1u);
    }
    const int32_t first = direction == rdBackward ? number - static_cast<int32_t>(c) + 1 : number;
    ReadBlocks(slot, first, c);

    TBuffer* result = FindCached(number);
    if (result == nullptr)
        RaiseBufferCorrupt();
    ++result->FUseCount;
    return result;
}

void TBufferedFile::PutBuffer(TBuffer* buffer)
{
    if (buffer == nullptr)
        return;
    if (buffer->FUseCount > 0)
        --buffer->FUseCount;
    if (buffer->FDetached) {
        if (buffer->FUseCount == 0) {
            const auto it = std::find_if(FDetached.begin(), FDetached.end(),
                                         [&](const std::unique_ptr<TBuffer>& p) { return p.get() == buffer; });
            if (it != FDetached.end())
                FDetached.erase(it);
        }
        return;
    }
    if (buffer->FIsDirty && !buffer->FWriteFlag) {
        buffer->FWriteFlag = true;
        FWriteBuffers.push_back(buffer);
    }
}

bool TBufferedFile::FlushBuffers()
{
    if (Exclusive) {
        FWriteBuffers.clear();
        for (TBuffer* b : FBuffers)
            if (b->FWriteFlag && b->FUseCount == 0)
                FWriteBuffers.push_back(b);
    }
    if (FWriteBuffers.empty())
        return false;
    const uint32_t bs = GetIOBlockSize();
    std::size_t i = 0;
    while (i < FWriteBuffers.size()) {
        std::size_t j = i;
        while (j + 1 < FWriteBuffers.size() && FWriteBuffers[j + 1]->FNumber == FWriteBuffers[j]->FNumber + 1)
            ++j;
        const std::size_t run = j - i + 1;
        FWriteBuffer.assign(run * bs, 0);
        for (std::size_t k = 0; k < run; ++k) {
            TBuffer* b = FWriteBuffers[i + k];
            if (b->FUseCount > 0)
                RaiseBufferCorrupt();
            b->Write(FWriteBuffer.data() + k * bs, bs);
        }
        const uint64_t pos = GetHeaderSize() + uint64_t(FWriteBuffers[i]->FNumber - 1) * bs;
        {
            std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
            for (std::size_t k = 0; k < run; ++k) {
                const uint64_t p = pos + k * bs;
                if (FReadSize > 0 && p >= FReadFilePos && p + bs <= FReadFilePos + FReadSize)
                    FWriteBuffers[i + k]->FReadFlag = true;
            }
            Write(pos, FWriteBuffer.data(), run * bs);
        }
        ++FWrites;
        for (std::size_t k = 0; k < run; ++k) {
            FWriteBuffers[i + k]->FIsDirty = false;
            FWriteBuffers[i + k]->FWriteFlag = false;
        }
        i = j + 1;
    }
    if (FDataTable != nullptr)
        FDataTable->WrittenTo = true;
    FWriteBuffers.clear();
    return true;
}

void TBufferedFile::FreeBuffers()
{
    for (auto& b : FOwned) {
        if (b->FUseCount > 0) {
            // Still held by a caller: it stays valid until given back.
            b->FDetached = true;
            b->FPrevBuffer = b->FNextBuffer = nullptr;
            FDetached.push_back(std::move(b));
        }
    }
    FOwned.clear();
    FBuffers.clear();
    FFirstBuffer = FLastBuffer = nullptr;
    FWriteBuffers.clear();
}

void TBufferedFile::AdjustBuffers()
{
    const std::size_t max = GetMaxBuffers();
    bool flushed = false;
    while (FBuffers.size() > max) {
        TBuffer* victim = EvictCandidate();
        if (victim == nullptr && Exclusive && !flushed) {
            flushed = true;
            FlushBuffers();
            victim = EvictCandidate();
        }
        if (victim == nullptr)
            break;
        RemoveFromSorted(victim);
        Discard(victim);
    }
    FCapacity = std::max(FBuffers.size(), max);
}

} // namespace tableengine
