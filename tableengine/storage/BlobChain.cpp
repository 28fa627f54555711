// Loading a BLOB's chain of blocks and inflating it. The rule every decoder of a table's files keeps, here
// for BLOBs: the walk along NextNumber is bounded (a block visited twice, or a number beyond the file's
// blocks, is 8963); the value is allocated only after TotalLength is checked against the bytes the file's
// blocks can hold (NextEndingBlock itself is checked against the file's size when the table opens); the
// inflated size is bounded by what deflate can produce from the stored bytes; a first block beyond the
// file is 9217. Failures are result codes; the caller raises them.
#include "tableengine/storage/BlobChain.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

namespace tableengine {
namespace {

constexpr uint16_t BlobCorrupt = 8963;
constexpr uint16_t EndOfBlob = 8711;
constexpr uint16_t UncompressError = 15002;
constexpr uint16_t ReadError = 9217;
constexpr size_t InflateStep = 65536;
// The most a deflate stream can expand (its best ratio is about 1032:1), plus room for a stream's framing.
constexpr size_t MaxInflateRatio = 1032;
constexpr size_t InflateSlack = 65536;

} // namespace

TChainResult LoadBlobChain(TBlockSource& source, int32_t firstBlock, int32_t expectedSignature)
{
    TChainResult result;
    if (firstBlock == 0)
        return result;
    const int32_t used = source.BlocksUsed();
    if (firstBlock < 0) {
        result.Code = BlobCorrupt;
        return result;
    }
    if (firstBlock > used) {
        // Beyond the file's last block: the read the cache would make comes back short.
        result.Code = ReadError;
        return result;
    }
    std::unique_ptr<TFetchedBlock> block = source.Fetch(firstBlock);
    if (!block) {
        result.Mismatch = true;
        return result;
    }
    if (block->Header.Signature != expectedSignature) {
        block.reset();
        source.DetectChanges();
        result.Mismatch = true;
        return result;
    }
    const size_t bufferSize = source.BufferSize();
    const int32_t total = block->Header.TotalLength;
    // A chain cannot hold more bytes than the file's blocks; such a length (or a negative one) is a
    // damaged first block, refused before anything is allocated.
    if (total < 0 || static_cast<uint64_t>(total) > static_cast<uint64_t>(used) * bufferSize) {
        result.Code = BlobCorrupt;
        return result;
    }
    const auto size = static_cast<size_t>(total);
    result.Bytes.resize(size);
    size_t copied = 0;
    std::unordered_set<int32_t> visited{firstBlock}; // a chain that loops back is damaged
    while (copied < size) {
        if (block->SharedUse) {
            result.Code = BlobCorrupt;
            result.Bytes.clear();
            return result;
        }
        const size_t want = std::min(bufferSize, size - copied);
        const size_t got = std::min({want, size_t{block->Header.Length}, block->Data.size()});
        std::memcpy(result.Bytes.data() + copied, block->Data.data(), got);
        copied += got;
        if (got < want)
            break;
        const int32_t next = block->Header.NextNumber;
        if (copied == size || next == 0)
            break;
        if (next < 0 || next > used || !visited.insert(next).second) {
            result.Code = BlobCorrupt;
            result.Bytes.clear();
            return result;
        }
        std::unique_ptr<TFetchedBlock> following = source.Fetch(next);
        if (!following) {
            result.Mismatch = true;
            result.Bytes.clear();
            return result;
        }
        block = std::move(following); // releases the previous block
    }
    block.reset();
    if (copied < size) {
        result.Code = EndOfBlob;
        result.Bytes.clear();
    }
    return result;
}

uint16_t InflateBlob(std::span<const uint8_t> in, std::vector<uint8_t>& out)
{
    out.clear();
    z_stream stream{};
    if (inflateInit2(&stream, 15) != Z_OK)
        return UncompressError;
    struct End {
        z_stream* s;
        ~End() { inflateEnd(s); }
    } end{&stream};

    // A stream that claims to inflate beyond what deflate can produce from its bytes is damaged; the bound
    // keeps a damaged value from growing the buffer until memory runs out.
    const size_t maxSize = std::min(static_cast<size_t>(std::numeric_limits<int32_t>::max()),
                                    in.size() * MaxInflateRatio + InflateSlack);
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    out.resize(InflateStep);
    size_t produced = 0;
    for (;;) {
        stream.next_out = out.data() + produced;
        stream.avail_out = static_cast<uInt>(out.size() - produced);
        const int rc = inflate(&stream, Z_NO_FLUSH);
        produced = out.size() - stream.avail_out;
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            out.clear();
            return UncompressError;
        }
        if (stream.avail_out != 0) {
            // zlib stopped with room left: the input is exhausted before the stream's end.
            out.clear();
            return UncompressError;
        }
        if (out.size() >= maxSize) {
            out.clear();
            return UncompressError;
        }
        out.resize(std::min(out.size() + InflateStep, maxSize));
    }
    out.resize(produced);
    return 0;
}

} // namespace tableengine
