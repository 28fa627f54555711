// The BLOB file's header. The rule every decoder of a table's files keeps, here for the BLOB header: the
// block count it claims is checked against the file's size (8961), since every bound on a chain (its
// blocks, its total length) is taken from it.
#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/CacheReader.h"
#include "tableengine/storage/BlobFile.h"
#include "tableengine/storage/Block.h"
#include "tableengine/storage/DataTable.h"

#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/format/DataPassword.h"

#include <algorithm>
#include <cstring>

namespace tableengine {

TBlobFile::TBlobFile(TDataEngine& engine, TDataTable* table) : TBufferedFile(engine, table) {}

TBlobFile::~TBlobFile() = default;

std::unique_ptr<TBuffer> TBlobFile::CreateBuffer() { return std::make_unique<TBlock>(*this); }

void TBlobFile::RaiseBufferCorrupt() { RaiseError(TBL_MEMOCORRUPT); }

void TBlobFile::IncIOBlocksUsed()
{
    ++FHeader.NextEndingBlock;
    FHeader.IsDirty = 1;
}

uint32_t TBlobFile::GetMaxBuffers()
{
    const TEngineSettings& s = DataEngine().Settings();
    return MaxBuffersFor(s.MaxTableBlobBufferSize, s.MaxTableBlobBufferCount, GetBufferSize(), 64);
}

uint32_t TBlobFile::GetReadAheadCount(TCacheReader* cursor, int /*direction*/)
{
    // One block per read.
    const int32_t wanted = cursor != nullptr ? cursor->FReadAheadBlocks : 1;
    return static_cast<uint32_t>(std::clamp(wanted, 1, 1));
}

void TBlobFile::ReadHeader() { FHeader = ReadFileHeader<TBlobHeader>(Password); }

void TBlobFile::OpenFile()
{
    TEngineFile::OpenFile();
    FHeader = TBlobHeader{};
    ReadHeader();
    CheckVersionAndSignature(FHeader.VersionNum, FHeader.FileSignature);
    if (FBlockSize < MinBlobBlockSize || FBlockSize > MaxBlobBlockSize || FBlockSize % 8 != 0)
        RaiseError(TBL_HEADERCORRUPT);
    InitializeBuffers();
}

void TBlobFile::CheckHeader()
{
    const int32_t ending = FHeader.NextEndingBlock;
    const int32_t free = FHeader.NextFreeBlock;
    if (ending < 1)
        RaiseError(TBL_HEADERCORRUPT);
    if (ending == 1 ? free != 0 : (free < 0 || free > ending - 1))
        RaiseError(TBL_HEADERCORRUPT);
    // The blocks the header claims must be in the file: every bound on a chain (its blocks, its total
    // length) is taken from NextEndingBlock.
    const uint64_t size = Size();
    if (uint64_t(ending - 1) * GetIOBlockSize() > (size > GetHeaderSize() ? size - GetHeaderSize() : 0))
        RaiseError(TBL_HEADERCORRUPT);
}

} // namespace tableengine
