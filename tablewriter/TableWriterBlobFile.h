// The BLOB file of a table being written: chains of blocks with the BLOB's signature and total length in
// the first block, the free chain, and zlib compression of a value.
#pragma once

#include "tableengine/format/BlobHeader.h"
#include "tableengine/format/TableWriterBytes.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tableengine::writer {

inline constexpr size_t kBlockHeaderSize = BlockHeaderSize;

// One zlib stream: deflate at this level, 15-bit window, memory level 8, default strategy.
Bytes DeflateValue(std::string_view value, int level);

class BlobFileBuilder {
public:
    explicit BlobFileBuilder(int32_t blockSize);

    // Stores the bytes as one chain of new blocks; answers the first block number (0 for no bytes).
    int32_t Store(std::string_view stored, int32_t signature);
    // Puts every block of the chain that starts at first on the free chain, in chain order.
    void Release(int32_t first);

    int32_t NextFreeBlock() const { return nextFree_; }
    int32_t NextEndingBlock() const { return static_cast<int32_t>(blocks_.size()) + 1; }
    // The blocks 1.. in file order (each BlockSize bytes, plain).
    const std::vector<Bytes>& Blocks() const { return blocks_; }

private:
    int32_t blockSize_;
    std::vector<Bytes> blocks_;
    int32_t nextFree_ = 0;
};

} // namespace tableengine::writer
