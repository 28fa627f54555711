// Loading the stored bytes of one BLOB from its chain of blocks, and inflating compressed values.
#pragma once

#include "tableengine/format/BlobHeader.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tableengine {

// A block held for reading; destroying it gives it back to its cache.
class TFetchedBlock {
public:
    virtual ~TFetchedBlock() = default;
    TBlockHeader Header{};
    std::span<const uint8_t> Data; // the block's data bytes (BlobBlockSize - 18)
    bool SharedUse = false;        // another user of the cache holds the block at the same time
};

// Where the chain's blocks come from: the BLOB file's cache.
class TBlockSource {
public:
    virtual ~TBlockSource() = default;
    // nullptr is a change report: the cache found the table changed and delivered nothing.
    virtual std::unique_ptr<TFetchedBlock> Fetch(int32_t number) = 0;
    virtual int32_t BlocksUsed() const = 0;
    virtual size_t BufferSize() const = 0;
    // Runs the table's change detection (a first block whose signature is not the expected one).
    virtual void DetectChanges() = 0;
};

struct TChainResult {
    uint16_t Code = 0;     // 0, 8963 (corrupt chain) or 8711 (chain ends before its total length)
    bool Mismatch = false; // the chain no longer matches the record: re-read the record and load again
    std::vector<uint8_t> Bytes;
};

TChainResult LoadBlobChain(TBlockSource& source, int32_t firstBlock, int32_t expectedSignature);

// Inflates one zlib stream (15-bit window). Returns 0, or 15002 for a stream that is damaged, truncated
// or would inflate beyond the 32-bit size of a BLOB.
uint16_t InflateBlob(std::span<const uint8_t> in, std::vector<uint8_t>& out);

} // namespace tableengine
