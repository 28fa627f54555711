// Decoding and encoding of index pages in every entry layout, and refusal of entries that overrun a page.
#include "tableengine/format/IndexHeader.h"
#include "tableengine/format/PageEntries.h"

#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstring>
#include <vector>

using namespace tableengine;

namespace {

using Bytes = std::vector<uint8_t>;

TIndexDefinition Definition(uint16_t keySize, bool unique, uint8_t compression, bool noStatistics = false)
{
    TIndexDefinition d{};
    d.KeySize = keySize;
    d.KeyUnique = unique;
    d.KeyCompressionType = compression;
    d.NoKeyStatistics = noStatistics;
    return d;
}

Bytes Page(size_t size, uint8_t type, uint16_t keys, const Bytes& entries, uint16_t compressed = 0)
{
    Bytes raw(size, 0);
    TPageHeader h{};
    h.PageType = type;
    h.NumberOfKeys = keys;
    h.LeftNumber = 7;
    h.RightNumber = 9;
    h.CompressedSize = compressed;
    std::memcpy(raw.data(), &h, sizeof h);
    std::copy(entries.begin(), entries.end(), raw.begin() + PageHeaderSize);
    return raw;
}

Bytes Key(std::span<const uint8_t> k) { return Bytes(k.begin(), k.end()); }

} // namespace

TEST(IndexPage, DuplicateByteEntriesTakeTheirPrefixFromThePreviousKey)
{
    // Two unique 6-byte keys sharing three bytes: 00 + whole key + record, then 03 + 3 bytes + record.
    const auto def = Definition(6, true, icDuplicateByte);
    const Bytes entries = {0x00, 0x41, 0x42, 0x43, 0x44, 0x00, 0x00, 1, 0, 0, 0,
                           0x03, 0x45, 0x00, 0x00, 2, 0, 0, 0};
    TPageEntries page;
    page.Bind(&def);
    ASSERT_EQ(page.Decode(Page(1024, ptRootLeaf, 2, entries, 19)), 0);
    EXPECT_EQ(page.GetLeftNumber(), 7);
    EXPECT_EQ(page.GetRightNumber(), 9);
    EXPECT_EQ(Key(page.GetKey(1)), (Bytes{0x41, 0x42, 0x43, 0x44, 0, 0}));
    EXPECT_EQ(Key(page.GetKey(2)), (Bytes{0x41, 0x42, 0x43, 0x45, 0, 0}));
    EXPECT_EQ(page.GetRecordNumber(1), 1);
    EXPECT_EQ(page.GetRecordNumber(2), 2);
    EXPECT_EQ(page.GetDuplicateCount(2), 3);
    EXPECT_EQ(page.GetTotalLowerKeyCount(), 2);
    EXPECT_EQ(page.GetPageKeyCount(2), 1);
    EXPECT_EQ(page.GetRecordNumber(3), 0);
    EXPECT_TRUE(page.GetKey(3).empty());
}

TEST(IndexPage, TrailingByteUniqueAndNonUniqueKeys)
{
    // Unique: key 01 41 42 00 00 00 is stored as T = 3, 01 41 42, record number.
    const auto unique = Definition(6, true, icTrailingByte);
    TPageEntries page;
    page.Bind(&unique);
    ASSERT_EQ(page.Decode(Page(1024, ptRootLeaf, 1, {0x03, 0x01, 0x41, 0x42, 5, 0, 0, 0}, 8)), 0);
    EXPECT_EQ(Key(page.GetKey(1)), (Bytes{0x01, 0x41, 0x42, 0, 0, 0}));
    EXPECT_EQ(page.GetRecordNumber(1), 5);
    EXPECT_EQ(page.GetTrailingCount(1), 3);

    // Non-unique: the 4 suffix bytes are always stored, even when zero; T counts only in front of them.
    const auto multi = Definition(10, false, icTrailingByte);
    page.Bind(&multi);
    ASSERT_EQ(page.Decode(Page(1024, ptRootLeaf, 1, {0x04, 0x01, 0x41, 0x00, 0x00, 0x00, 0x00, 6, 0, 0, 0})), 0);
    EXPECT_EQ(Key(page.GetKey(1)), (Bytes{0x01, 0x41, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(page.GetRecordNumber(1), 6);
}

TEST(IndexPage, EncodeDecodeRoundTripForEveryKindWithLongPrefixesAndZeroRuns)
{
    // A 300-byte key (longer than 254): D and T are capped at 254 and the entries still round-trip.
    for (bool unique : {true, false}) {
        for (uint8_t kind : {icNone, icDuplicateByte, icTrailingByte, icFull}) {
            SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " unique " << unique);
            const auto def = Definition(300, unique, kind);
            TPageEntries built;
            built.Bind(&def);
            built.SetPageType(ptLeaf);
            std::vector<Bytes> keys;
            for (int i = 0; i < 3; ++i) {
                Bytes k(300, 0);
                std::fill(k.begin(), k.begin() + 280, uint8_t{0x41}); // long shared prefix
                k[280] = static_cast<uint8_t>(0x30 + i);
                if (!unique) {
                    k[299] = static_cast<uint8_t>(i); // record-ID suffix, zero for the first key
                }
                keys.push_back(k);
                built.AppendEntry(k, 100 + i);
            }
            if (kind == icDuplicateByte || kind == icFull) {
                EXPECT_EQ(built.GetDuplicateCount(2), 254);
            }
            Bytes raw(4096, 0);
            ASSERT_TRUE(built.Encode(raw));
            TPageEntries read;
            read.Bind(&def);
            ASSERT_EQ(read.Decode(raw), 0);
            ASSERT_EQ(read.GetNumberOfKeys(), 3);
            EXPECT_EQ(read.GetCompressedSize(), built.GetCompressedSize());
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(Key(read.GetKey(i + 1)), keys[static_cast<size_t>(i)]);
                EXPECT_EQ(read.GetRecordNumber(i + 1), 100 + i);
            }
            if (kind != icNone) {
                // The packed page is smaller than the uncompressed form.
                EXPECT_LT(built.GetCompressedSize(), 3 * (300 + 4));
            }
        }
    }
}

TEST(IndexPage, FullCompressionFirstEntryIgnoresItsDuplicateByte)
{
    // Unique 5-byte keys; the first entry's stored D (9) is ignored and taken as 0.
    const auto def = Definition(5, true, icFull);
    const Bytes entries = {9, 0, 0x01, 0x41, 0x42, 0x43, 0x44, 1, 0, 0, 0,
                           3, 1, 0x45, 2, 0, 0, 0};
    TPageEntries page;
    page.Bind(&def);
    ASSERT_EQ(page.Decode(Page(1024, ptLeaf, 2, entries)), 0);
    EXPECT_EQ(Key(page.GetKey(1)), (Bytes{0x01, 0x41, 0x42, 0x43, 0x44}));
    EXPECT_EQ(page.GetDuplicateCount(1), 0);
    EXPECT_EQ(Key(page.GetKey(2)), (Bytes{0x01, 0x41, 0x42, 0x45, 0x00}));
}

TEST(IndexPage, NodeEntriesWithAndWithoutStatistics)
{
    const auto def = Definition(5, true, icFull);
    TPageEntries page;
    page.Bind(&def);
    const Bytes stats = {1, 0x80, 0, 0, 1, 4, 0, 0, 0, 10, 0, 0, 0,
                         1, 0x80, 0, 0, 11, 5, 0, 0, 0, 3, 0, 0, 0};
    ASSERT_EQ(page.Decode(Page(1024, ptRootNode, 2, stats)), 0);
    EXPECT_TRUE(page.IsNode());
    EXPECT_EQ(page.GetRecordNumber(2), 5);
    EXPECT_EQ(page.GetLowerKeyCount(1), 10);
    EXPECT_EQ(page.GetTotalLowerKeyCount(), 13);
    EXPECT_EQ(page.GetPageKeyCount(2), 10);

    const auto noStats = Definition(5, true, icNone, true);
    page.Bind(&noStats);
    const Bytes plain = {1, 0x80, 0, 0, 1, 4, 0, 0, 0, 1, 0x80, 0, 0, 11, 5, 0, 0, 0};
    ASSERT_EQ(page.Decode(Page(1024, ptNode, 2, plain)), 0);
    EXPECT_EQ(page.GetRecordNumber(1), 4);
    EXPECT_EQ(Key(page.GetKey(2)), (Bytes{1, 0x80, 0, 0, 11}));
}

TEST(IndexPage, EntriesRunningPastThePageAreIndexCorruption)
{
    struct Case {
        const char* what;
        TIndexDefinition def;
        uint8_t type;
        uint16_t keys;
        Bytes entries;
    };
    const std::vector<Case> cases = {
        {"key count far beyond the page", Definition(5, true, icNone), ptLeaf, 60000, {}},
        {"last uncompressed entry cut by the page end", Definition(100, true, icNone), ptLeaf, 10, {}},
        {"node count beyond the page", Definition(8, true, icNone), ptNode, 100, {}},
        {"D larger than the key", Definition(6, true, icDuplicateByte), ptLeaf, 2,
         {0, 1, 2, 3, 4, 5, 6, 1, 0, 0, 0, 7, 1, 0, 0, 0}},
        {"T larger than the key", Definition(6, true, icTrailingByte), ptLeaf, 1, {7, 1, 0, 0, 0}},
        {"T reaching into the record-ID suffix", Definition(8, false, icTrailingByte), ptLeaf, 1,
         {5, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"D + T larger than the key", Definition(6, true, icFull), ptLeaf, 2,
         {0, 0, 1, 2, 3, 4, 5, 6, 1, 0, 0, 0, 4, 3, 1, 0, 0, 0}},
        {"unknown page type", Definition(5, true, icNone), 9, 1, {1, 2, 3, 4, 5, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TPageEntries page;
        page.Bind(&c.def);
        // 1024-byte page; for the cut entry, 10 entries of 104 bytes need 1040 > 1011 bytes.
        const Bytes raw = Page(1024, c.type, c.keys, c.entries);
        EXPECT_EQ(page.Decode(raw), 8965);
        EXPECT_TRUE(page.GetKey(1).empty());
        EXPECT_EQ(page.GetRecordNumber(1), 0);
    }
    // A compressed entry cut short by the end of the page bytes: D/T bytes say more than what is left.
    const auto def = Definition(200, true, icTrailingByte);
    Bytes raw(1024, 0);
    TPageHeader h{};
    h.PageType = ptLeaf;
    h.NumberOfKeys = 5;
    std::memcpy(raw.data(), &h, sizeof h);
    for (size_t i = 0; i < 5; ++i)
        raw[PageHeaderSize + i * 205] = 0; // T = 0: each entry takes 205 bytes, the fifth does not fit
    TPageEntries page;
    page.Bind(&def);
    EXPECT_EQ(page.Decode(raw), 8965);
    // A header shorter than 13 bytes.
    EXPECT_EQ(page.Decode(Bytes(12, 0)), 8965);
}

// Long compressed keys: an entry stores all but at most 255 leading and 255 trailing bytes of its key, so a
// count of keys the page cannot hold at that size is refused before the expanded entries are allocated
// (2700 entries of a 4110-byte key would be 11 MB, from one 16 KiB page). Measured in a child process by
// its peak resident size, which the allocation would raise.
TEST(IndexPage, ACountLongCompressedKeysCannotFillIsRefusedBeforeAllocating)
{
    for (const uint8_t kind : {uint8_t{icDuplicateByte}, uint8_t{icTrailingByte}, uint8_t{icFull}}) {
        SCOPED_TRACE(int(kind));
        support::ChildProcess child([&](support::ChildProcess&) {
            const auto def = Definition(4110, true, kind);
            const Bytes raw = Page(16384, ptLeaf, 2700, {});
            TPageEntries page;
            page.Bind(&def);
            rusage before{};
            getrusage(RUSAGE_SELF, &before);
            const uint16_t code = page.Decode(raw);
            rusage after{};
            getrusage(RUSAGE_SELF, &after);
            if (code != 8965)
                return 2;
            return after.ru_maxrss - before.ru_maxrss > 2048 ? 1 : 0; // KiB
        });
        EXPECT_EQ(child.Join(), 0) << "1: the entries were allocated, 2: not refused";
    }
    // Keys of one page that really are that compressed still decode: four 4110-byte keys (the most a page
    // holds at 255 shared bytes each), each sharing its first 255 bytes with the one before it.
    const auto def = Definition(4110, true, icDuplicateByte);
    Bytes entries;
    for (uint8_t k = 0; k < 4; ++k) {
        const size_t d = k == 0 ? 0 : 255;
        entries.push_back(static_cast<uint8_t>(d));
        Bytes rest(4110 - d, 0x41);
        rest.back() = static_cast<uint8_t>(0x41 + k);
        entries.insert(entries.end(), rest.begin(), rest.end());
        for (const uint8_t b : {uint8_t(k + 1), uint8_t{0}, uint8_t{0}, uint8_t{0}})
            entries.push_back(b);
    }
    TPageEntries page;
    page.Bind(&def);
    ASSERT_LE(entries.size(), 16384u - PageHeaderSize);
    ASSERT_EQ(page.Decode(Page(16384, ptLeaf, 4, entries)), 0);
    EXPECT_EQ(page.GetRecordNumber(4), 4);
    EXPECT_EQ(page.GetKey(4)[4109], 0x44);
}

TEST(IndexPage, DataPagesAndEmptyPagesCarryNoEntries)
{
    TPageEntries page;
    page.Bind(nullptr);
    Bytes raw = Page(1024, ptData, 3, {1, 2, 3});
    ASSERT_EQ(page.Decode(raw), 0);
    EXPECT_EQ(page.GetRawData().size(), 1024u - PageHeaderSize);
    EXPECT_EQ(page.GetRawData()[2], 3);
    EXPECT_TRUE(page.GetKey(1).empty());

    const auto def = Definition(5, true, icNone);
    page.Bind(&def);
    ASSERT_EQ(page.Decode(Page(1024, ptLeaf, 0, {})), 0);
    EXPECT_EQ(page.GetNumberOfKeys(), 0);
    EXPECT_EQ(page.GetRecordNumber(1), 0);
}
