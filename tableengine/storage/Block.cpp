// A BLOB block in the cache. The rule every decoder of a table's files keeps, here for a block: the header
// and the data are copied within the block's own bytes; the Length it claims is used only bounded by the
// block's buffer size (BlobChain.cpp, GetBlockData).
#include "tableengine/storage/Block.h"

#include "tableengine/format/DataPassword.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/storage/BlobFile.h"
#include "tableengine/storage/EngineFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tableengine {
namespace {

const TDataPassword* PasswordOf(const TBufferedFile& file)
{
    return file.FDataTable != nullptr ? file.FDataTable->DataPassword.get() : nullptr;
}

} // namespace

TBlock::TBlock(TBufferedFile& file) : TBuffer(file) {}

void TBlock::Copy(const TBuffer& other)
{
    TBuffer::Copy(other);
    if (const auto* block = dynamic_cast<const TBlock*>(&other))
        FHeader = block->FHeader;
}

void TBlock::Initialize(int slot)
{
    TBuffer::Initialize(slot);
    FHeader = TBlockHeader{};
}

void TBlock::Read(const uint8_t* raw, std::size_t size)
{
    if (SkipRead())
        return;
    std::vector<uint8_t> plain(raw, raw + size);
    if (const TDataPassword* password = PasswordOf(*FBufferedFile))
        password->Decrypt(plain.data(), plain.size());
    FHeader = TBlockHeader{};
    if (plain.size() >= BlockHeaderSize)
        std::memcpy(&FHeader, plain.data(), BlockHeaderSize);
    std::fill(FBuffer.begin(), FBuffer.end(), uint8_t{0});
    if (plain.size() > BlockHeaderSize)
        std::memcpy(FBuffer.data(), plain.data() + BlockHeaderSize,
                    std::min(FBuffer.size(), plain.size() - BlockHeaderSize));
}

void TBlock::Write(uint8_t* raw, std::size_t size) const
{
    if (size < BlockHeaderSize)
        return;
    std::memcpy(raw, &FHeader, BlockHeaderSize);
    std::memcpy(raw + BlockHeaderSize, FBuffer.data(), std::min(FBuffer.size(), size - BlockHeaderSize));
    if (const TDataPassword* password = PasswordOf(*FBufferedFile))
        password->Encrypt(raw, size);
}

std::size_t TBlock::GetBlockData(std::size_t offset, std::size_t length, uint8_t* destination) const
{
    if (length > FBuffer.size())
        FBufferedFile->RaiseError(TBL_INVALIDBLOBLEN);
    if (offset >= FBuffer.size())
        return 0;
    const std::size_t n = std::min({length, std::size_t{FHeader.Length}, FBuffer.size() - offset});
    std::memcpy(destination, FBuffer.data() + offset, n);
    return n;
}

} // namespace tableengine

namespace tableengine {


} // namespace tableengine
