// Loading BLOB chains: block boundaries, signature and change checks, damaged chains, and inflation.
#include "tableengine/storage/BlobChain.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>

using namespace tableengine;

namespace {

using Bytes = std::vector<uint8_t>;

// Blocks held in memory with the cache's fetch contract; counts fetches and blocks still held.
class MemoryBlocks : public TBlockSource {
public:
    explicit MemoryBlocks(size_t blockSize) : FBufferSize(blockSize - BlockHeaderSize) {}

    struct Held : TFetchedBlock {
        explicit Held(int& counter) : FCounter(counter) { ++FCounter; }
        ~Held() override { --FCounter; }
        int& FCounter;
    };

    // Writes a chain starting at block `first`, using consecutive block numbers.
    void Write(int32_t first, const Bytes& stored, int32_t signature)
    {
        size_t pos = 0;
        int32_t n = first;
        int32_t prev = 0;
        do {
            const size_t len = std::min(FBufferSize, stored.size() - pos);
            Block& b = FBlocks[n];
            b.data.assign(FBufferSize, 0);
            std::copy(stored.begin() + static_cast<long>(pos), stored.begin() + static_cast<long>(pos + len),
                      b.data.begin());
            b.header.PrevNumber = prev;
            b.header.Length = static_cast<uint16_t>(len);
            b.header.Signature = n == first ? signature : 0;
            b.header.TotalLength = n == first ? static_cast<int32_t>(stored.size()) : 0;
            pos += len;
            b.header.NextNumber = pos < stored.size() ? n + 1 : 0;
            prev = n;
            ++n;
        } while (pos < stored.size());
        FUsed = std::max(FUsed, n - 1);
    }

    std::unique_ptr<TFetchedBlock> Fetch(int32_t number) override
    {
        ++fetches;
        if (changeAtFetch == fetches)
            return nullptr;
        auto it = FBlocks.find(number);
        if (it == FBlocks.end())
            throw std::runtime_error("block beyond the file");
        auto held = std::make_unique<Held>(heldBlocks);
        held->Header = it->second.header;
        held->Data = it->second.data;
        held->SharedUse = number == sharedBlock;
        return held;
    }
    int32_t BlocksUsed() const override { return FUsed; }
    size_t BufferSize() const override { return FBufferSize; }
    void DetectChanges() override { ++changeDetections; }

    struct Block {
        TBlockHeader header{};
        Bytes data;
    };
    std::map<int32_t, Block> FBlocks;
    size_t FBufferSize;
    int32_t FUsed = 0;
    int fetches = 0;
    int changeAtFetch = 0;
    int heldBlocks = 0;
    int changeDetections = 0;
    int32_t sharedBlock = 0;
};

Bytes Pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

} // namespace

TEST(BlobChain, ValuesAtBlockBoundaries)
{
    // 64-byte blocks: 46 data bytes each. Exactly one block, one byte more, and many blocks.
    for (size_t size : {size_t{1}, size_t{46}, size_t{47}, size_t{46 * 5 + 13}}) {
        SCOPED_TRACE(size);
        MemoryBlocks blocks(64);
        const Bytes value = Pattern(size);
        blocks.Write(3, value, 77);
        const TChainResult r = LoadBlobChain(blocks, 3, 77);
        EXPECT_EQ(r.Code, 0);
        EXPECT_FALSE(r.Mismatch);
        EXPECT_EQ(r.Bytes, value);
        EXPECT_EQ(blocks.fetches, static_cast<int>((size + 45) / 46));
        EXPECT_EQ(blocks.heldBlocks, 0);
    }
    MemoryBlocks one(64);
    one.Write(1, Pattern(46), 5);
    EXPECT_EQ(one.FBlocks[1].header.NextNumber, 0);
    MemoryBlocks two(64);
    two.Write(1, Pattern(47), 5);
    EXPECT_EQ(two.FBlocks[2].header.Length, 1);
}

TEST(BlobChain, EmptyValueTouchesNoBlock)
{
    MemoryBlocks blocks(64);
    const TChainResult r = LoadBlobChain(blocks, 0, 12);
    EXPECT_EQ(r.Code, 0);
    EXPECT_TRUE(r.Bytes.empty());
    EXPECT_EQ(blocks.fetches, 0);
}

TEST(BlobChain, SignatureMismatchAndChangeReportsAskForARereadOfTheRecord)
{
    MemoryBlocks blocks(64);
    blocks.Write(1, Pattern(100), 9);
    TChainResult r = LoadBlobChain(blocks, 1, 8);
    EXPECT_TRUE(r.Mismatch);
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(blocks.changeDetections, 1);
    EXPECT_EQ(blocks.heldBlocks, 0);

    for (int at : {1, 2}) {
        MemoryBlocks changed(64);
        changed.Write(1, Pattern(100), 9);
        changed.changeAtFetch = at;
        r = LoadBlobChain(changed, 1, 9);
        EXPECT_TRUE(r.Mismatch);
        EXPECT_TRUE(r.Bytes.empty());
        EXPECT_EQ(changed.heldBlocks, 0);
    }
}

TEST(BlobChain, DamagedChainsAreRefused)
{
    struct Case {
        const char* what;
        void (*damage)(MemoryBlocks&);
        uint16_t code;
    };
    const std::vector<Case> cases = {
        {"chain ends before its total length",
         [](MemoryBlocks& b) { b.FBlocks[2].header.NextNumber = 0; }, 8711},
        {"short block inside the chain", [](MemoryBlocks& b) { b.FBlocks[2].header.Length = 10; }, 8711},
        {"next block number beyond the file", [](MemoryBlocks& b) { b.FBlocks[1].header.NextNumber = 99; }, 8963},
        {"negative next block number", [](MemoryBlocks& b) { b.FBlocks[1].header.NextNumber = -4; }, 8963},
        {"total length larger than the whole file",
         [](MemoryBlocks& b) { b.FBlocks[1].header.TotalLength = 0x7FFFFFFF; }, 8963},
        {"negative total length", [](MemoryBlocks& b) { b.FBlocks[1].header.TotalLength = -1; }, 8963},
        {"block held by another user", [](MemoryBlocks& b) { b.sharedBlock = 2; }, 8963},
        {"chain looping back to its first block", [](MemoryBlocks& b) { b.FBlocks[2].header.NextNumber = 1; },
         8963},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryBlocks blocks(64);
        blocks.Write(1, Pattern(120), 4); // blocks 1..3
        c.damage(blocks);
        const TChainResult r = LoadBlobChain(blocks, 1, 4);
        EXPECT_FALSE(r.Mismatch);
        EXPECT_EQ(r.Code, c.code);
        EXPECT_EQ(blocks.heldBlocks, 0);
    }
    MemoryBlocks blocks(64);
    blocks.Write(1, Pattern(10), 4);
    EXPECT_EQ(LoadBlobChain(blocks, 5, 4).Code, 9217); // first block beyond the file: the read comes back short
}

TEST(BlobChain, InflatesCompressedValuesAndRefusesBrokenStreams)
{
    std::string text;
    for (int i = 0; i < 30000; ++i)
        text += "line " + std::to_string(i) + "\n"; // well above one 64 KiB output step
    uLongf packedSize = compressBound(static_cast<uLong>(text.size()));
    Bytes packed(packedSize);
    ASSERT_EQ(compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
                        static_cast<uLong>(text.size()), 6),
              Z_OK);
    packed.resize(packedSize);
    Bytes out;
    ASSERT_EQ(InflateBlob(packed, out), 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), text);

    Bytes truncated(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2));
    EXPECT_EQ(InflateBlob(truncated, out), 15002);
    EXPECT_TRUE(out.empty());
    Bytes garbage = Pattern(100);
    EXPECT_EQ(InflateBlob(garbage, out), 15002);
    Bytes corrupt = packed;
    corrupt[packed.size() - 1] ^= 0xFF; // Adler-32 trailer
    EXPECT_EQ(InflateBlob(corrupt, out), 15002);
}
