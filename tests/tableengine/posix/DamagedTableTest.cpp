// Tables written by the table writer and then damaged byte by byte where a reader trusts the file: the leaf
// chain, the child links and entries of index pages, key sizes, BLOB headers and chains, and headers that
// another process changed under an open table. Every damage ends with an engine error, never a hang, a
// silently shorter or longer table, or an allocation sized by a damaged number.
#include "tableengine/NavigationTestSupport.h"

#include "support/ChildProcess.h"

#include "tableengine/storage/BlobFile.h"
#include "tableengine/format/BlobHeader.h"
#include "tableengine/storage/DataDirectoryLocks.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/IndexFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <new>

using namespace navtest;
using namespace tableengine;

namespace {

w::WriterTable Numbers(int rows)
{
    w::WriterTable t;
    t.Fields = {Field("N", w::DataTypes::Integer)};
    t.IndexPageSize = 1024; // 112 five-byte keys per leaf
    for (int i = 1; i <= rows; ++i)
        t.Rows.push_back(Row({std::to_string(i)}));
    return t;
}

// The same rows with a secondary index on N, descending: a second tree of leaves in the same file.
w::WriterTable NumbersTwoIndexes(int rows)
{
    w::WriterTable t = Numbers(rows);
    w::WriterIndex down;
    down.Name = "Down";
    down.Fields = {{"N", true}};
    t.SecondaryIndexes.push_back(down);
    return t;
}

w::WriterTable Memos(int rows, int stamp = 1)
{
    w::WriterTable t;
    t.Fields = {Field("N", w::DataTypes::Integer), Field("Text", w::DataTypes::Blob, 0, w::SubTypes::Memo)};
    t.BlobBlockSize = 64;
    t.UpdateStamp = stamp;
    for (int i = 1; i <= rows; ++i)
        t.Rows.push_back(Row({std::to_string(i), "memo " + std::to_string(i) + std::string(100, 'm')}));
    return t;
}

// One row whose memo is `size` zero bytes stored deflated (deflate's best ratio).
w::WriterTable ZerosMemo(std::size_t size)
{
    w::WriterTable t;
    t.Fields = {Field("N", w::DataTypes::Integer), Field("Text", w::DataTypes::Blob, 0, w::SubTypes::Memo)};
    t.Fields[1].Compression = 9;
    t.Rows.push_back(Row({"1", std::string(size, '\0')}));
    return t;
}

// Reads and patches little-endian values in one file of the table.
class Bytes {
public:
    explicit Bytes(std::filesystem::path path) : FPath(std::move(path)) {}
    template <typename T> T Get(uint64_t at) const
    {
        std::ifstream in(FPath, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(at));
        T v{};
        in.read(reinterpret_cast<char*>(&v), sizeof v);
        return v;
    }
    template <typename T> void Put(uint64_t at, T v) const
    {
        std::FILE* f = std::fopen(FPath.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, static_cast<long>(at), SEEK_SET);
        std::fwrite(&v, sizeof v, 1, f);
        std::fclose(f);
    }

private:
    std::filesystem::path FPath;
};

constexpr uint64_t PageSize = 1024;
uint64_t PageAt(int32_t page) { return IndexFileHeaderSize + uint64_t(page - 1) * PageSize; }
constexpr uint64_t KeysAt = 1;  // page header: type, number of keys, left, right
constexpr uint64_t LeftAt = 3;
constexpr uint64_t RightAt = 7;

// The automatic index of a Numbers table: its root (a node) and the leaves in chain order.
struct Tree {
    int32_t Root = 0;
    std::vector<int32_t> Leaves;
};

Tree ReadTree(const Bytes& idx, int slot = 0)
{
    Tree t;
    t.Root = idx.Get<int32_t>(offsetof(TIndexHeader, RootPages) + 4u * unsigned(slot));
    const uint16_t keySize = idx.Get<uint16_t>(sizeof(TIndexHeader) + unsigned(slot) * sizeof(TIndexDefinition) +
                                               offsetof(TIndexDefinition, KeySize));
    // The root is a node: its first entry is the key, then the child's number.
    for (int32_t leaf = idx.Get<int32_t>(PageAt(t.Root) + 13 + keySize); leaf != 0;
         leaf = idx.Get<int32_t>(PageAt(leaf) + RightAt))
        t.Leaves.push_back(leaf);
    return t;
}

// Rows delivered in the primary index, forward or backward from the table's edge, at most `cap` (a walk that
// does not end is a failure), and the engine error that ended it (0 when the walk reached the end).
struct Walk {
    int Rows = 0;
    uint16_t Code = 0;
};

Walk WalkRows(const std::filesystem::path& folder, bool backward, int cap)
{
    Walk w;
    w.Code = EngineCode([&] {
        Engine engine(folder);
        auto c = engine.Open("T");
        std::vector<uint8_t> buf(c->RecordLength);
        if (backward)
            c->SetToEnd();
        else
            c->SetToBegin();
        while (w.Rows < cap && (backward ? c->GetPriorRecord(buf.data()) : c->GetNextRecord(buf.data())) == 0)
            ++w.Rows;
    });
    return w;
}

Walk WalkForward(const std::filesystem::path& folder, int cap = 100000) { return WalkRows(folder, false, cap); }

Walk WalkBackward(const std::filesystem::path& folder, int cap = 100000) { return WalkRows(folder, true, cap); }

} // namespace

TEST(DamagedTable, LeafChainAndChildLinksAreCheckedAtEveryStep)
{
    struct Case {
        const char* Name;
        std::function<void(const Bytes&, const Tree&)> Damage;
        uint16_t Code;
    };
    const std::vector<Case> cases = {
        {"right neighbour without keys", [](const Bytes& b, const Tree& t) { b.Put<uint16_t>(PageAt(t.Leaves[1]) + KeysAt, 0); },
         TBL_INDEXCORRUPT},
        {"leaf links to itself", [](const Bytes& b, const Tree& t) { b.Put<int32_t>(PageAt(t.Leaves[0]) + RightAt, t.Leaves[0]); },
         TBL_INDEXCORRUPT},
        {"node page as neighbour", [](const Bytes& b, const Tree& t) { b.Put<int32_t>(PageAt(t.Leaves[0]) + RightAt, t.Root); },
         TBL_INDEXCORRUPT},
        {"neighbour skips a leaf", [](const Bytes& b, const Tree& t) { b.Put<int32_t>(PageAt(t.Leaves[0]) + RightAt, t.Leaves[2]); },
         TBL_INDEXCORRUPT},
        {"two leaves linked in a circle both ways",
         [](const Bytes& b, const Tree& t) {
             b.Put<int32_t>(PageAt(t.Leaves[1]) + RightAt, t.Leaves[0]);
             b.Put<int32_t>(PageAt(t.Leaves[0]) + LeftAt, t.Leaves[1]);
         },
         TBL_INDEXCORRUPT},
        {"chain ends early", [](const Bytes& b, const Tree& t) { b.Put<int32_t>(PageAt(t.Leaves[1]) + RightAt, 0); },
         TBL_INDEXCORRUPT},
        {"first child link names the last leaf",
         [](const Bytes& b, const Tree& t) { b.Put<int32_t>(PageAt(t.Root) + 13 + 5, t.Leaves.back()); }, TBL_INDEXCORRUPT},
        {"child link names the root", [](const Bytes& b, const Tree& t) { b.Put<int32_t>(PageAt(t.Root) + 13 + 5, t.Root); },
         TBL_INDEXCORRUPT},
        {"leaf entry names record 0", [](const Bytes& b, const Tree& t) { b.Put<int32_t>(PageAt(t.Leaves[1]) + 13 + 5, 0); },
         TBL_FILECORRUPT},
        {"lower-key count overwritten", [](const Bytes& b, const Tree& t) { b.Put<int32_t>(PageAt(t.Root) + 13 + 9, 7); },
         TBL_INDEXCORRUPT},
        {"another index's leaf as neighbour",
         [](const Bytes& b, const Tree& t) {
             b.Put<int32_t>(PageAt(t.Leaves[0]) + RightAt, ReadTree(b, 1).Leaves[1]);
         },
         TBL_INDEXCORRUPT},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Name);
        TableFolder folder;
        folder.Write(NumbersTwoIndexes(300), "T");
        const Bytes idx(folder.Path() / "T.idx");
        const Tree tree = ReadTree(idx);
        ASSERT_EQ(tree.Leaves.size(), 3u);
        ASSERT_GE(ReadTree(idx, 1).Leaves.size(), 2u);
        k.Damage(idx, tree);
        const Walk forward = WalkForward(folder.Path());
        const Walk backward = WalkBackward(folder.Path());
        // A direction that meets the damage stops with the error; one that does not meet it reads the whole
        // table. Never a shorter or longer table without an error.
        for (const Walk& walk : {forward, backward})
            EXPECT_TRUE(walk.Code == k.Code || (walk.Code == 0 && walk.Rows == 300))
                << "forward " << forward.Code << " after " << forward.Rows << ", backward " << backward.Code
                << " after " << backward.Rows;
        EXPECT_FALSE(forward.Code == 0 && backward.Code == 0);
    }

    // The undamaged table reads whole both ways (the checks accept every consistent chain).
    TableFolder folder;
    folder.Write(NumbersTwoIndexes(300), "T");
    EXPECT_EQ(WalkForward(folder.Path()).Rows, 300);
    EXPECT_EQ(WalkForward(folder.Path()).Code, 0);
    EXPECT_EQ(WalkBackward(folder.Path()).Rows, 300);
}

TEST(DamagedTable, KeySizeMustMatchTheKeyFields)
{
    for (const uint16_t keySize : {uint16_t{4}, uint16_t{6}, uint16_t{60000}}) {
        SCOPED_TRACE(keySize);
        TableFolder folder;
        folder.Write(Numbers(300), "T");
        Bytes(folder.Path() / "T.idx").Put<uint16_t>(sizeof(TIndexHeader) + offsetof(TIndexDefinition, KeySize), keySize);
        Engine engine(folder.Path());
        EXPECT_EQ(EngineCode([&] { engine.Open("T"); }), TBL_HEADERCORRUPT);
    }
}

TEST(DamagedTable, BlobHeaderAndChainAreBoundedByTheFile)
{
    const auto openAndReadMemos = [](const std::filesystem::path& folder) {
        return EngineCode([&] {
            Engine engine(folder);
            auto c = engine.Open("T");
            std::vector<uint8_t> buf(c->RecordLength);
            c->SetToBegin();
            while (c->GetNextRecord(buf.data()) == 0) {
                c->OpenBlob(2, buf.data());
                c->FreeBlob(2, buf.data());
            }
        });
    };
    {
        // More blocks claimed than the file has: the bound on every chain would be void.
        TableFolder folder;
        folder.Write(Memos(5), "T");
        Bytes(folder.Path() / "T.blb").Put<int32_t>(offsetof(TBlobHeader, NextEndingBlock), 0x7FFFFFF0);
        EXPECT_EQ(openAndReadMemos(folder.Path()), TBL_HEADERCORRUPT);
    }
    {
        // A first block claiming ~2 GiB in a file of a few blocks.
        TableFolder folder;
        folder.Write(Memos(5), "T");
        Bytes(folder.Path() / "T.blb").Put<int32_t>(BlobFileHeaderSize + offsetof(TBlockHeader, TotalLength), 0x7FFFFF00);
        EXPECT_EQ(openAndReadMemos(folder.Path()), TBL_MEMOCORRUPT);
    }
    {
        // A record naming a first block beyond the file.
        TableFolder folder;
        folder.Write(Memos(5), "T");
        Engine probe(folder.Path());
        auto c = probe.Open("T");
        const uint64_t at = DataFileHeaderSize(c->FieldCount) + c->GetFieldDefinition(2).Offset + 1u;
        c->CloseCursor();
        Bytes(folder.Path() / "T.dat").Put<int32_t>(at, 1000);
        EXPECT_EQ(openAndReadMemos(folder.Path()), TBL_READERR);
    }
    {
        // A chain that loops back to its first block.
        TableFolder folder;
        folder.Write(Memos(1), "T");
        const Bytes blb(folder.Path() / "T.blb");
        const uint64_t second = BlobFileHeaderSize + 64;
        blb.Put<int32_t>(second + offsetof(TBlockHeader, NextNumber), 1);
        EXPECT_EQ(openAndReadMemos(folder.Path()), TBL_MEMOCORRUPT);
    }
}

TEST(DamagedTable, InflatingIsBoundedByDeflatesRatioYetTakesEveryRealValue)
{
    // One MiB of zeros is deflate at its best ratio: the bound on inflating (the stored size times that
    // ratio) still lets it through whole, while a damaged stream can never grow the buffer beyond it.
    TableFolder folder;
    folder.Write(ZerosMemo(1u << 20), "T");
    Engine engine(folder.Path());
    auto c = engine.Open("T");
    std::vector<uint8_t> buf(c->RecordLength);
    c->SetToBegin();
    ASSERT_EQ(c->GetNextRecord(buf.data()), 0);
    EXPECT_EQ(c->OpenBlob(2, buf.data()), 1u << 20);
    c->FreeBlob(2, buf.data());

    // A damaged stream (its bytes flipped after the zlib header) is an engine error, not a huge buffer.
    const Bytes blb(folder.Path() / "T.blb");
    blb.Put<uint8_t>(BlobFileHeaderSize + BlockHeaderSize + 4, 0xFF);
    Engine again(folder.Path());
    auto d = again.Open("T");
    d->SetToBegin();
    ASSERT_EQ(d->GetNextRecord(buf.data()), 0);
    EXPECT_EQ(EngineCode([&] { d->OpenBlob(2, buf.data()); }), TBL_UNCOMPRESS);
}

TEST(DamagedTable, StrictModeReleasesTheReadLockWhenThePreludeFails)
{
    TableFolder folder;
    folder.Write(Numbers(300), "T");
    Engine engine(folder.Path(), /*strict*/ true);
    auto c = engine.Open("T");
    std::vector<uint8_t> buf(c->RecordLength);
    c->SetToBegin();
    ASSERT_EQ(c->GetNextRecord(buf.data()), 0);

    // Another writer leaves a new version whose index is damaged: re-positioning in the prelude fails.
    w::WriterTable changed = Numbers(310);
    changed.UpdateStamp = 7;
    folder.Write(changed, "T", true);
    const Bytes idx(folder.Path() / "T.idx");
    const int32_t root = idx.Get<int32_t>(offsetof(TIndexHeader, RootPages));
    idx.Put<int32_t>(PageAt(root) + 13 + 5, root);

    EXPECT_EQ(EngineCode([&] { c->GetNextRecord(buf.data()); }), TBL_INDEXCORRUPT);
    EXPECT_FALSE(c->DataTable->DataTableLocks->IsReadLocked());
}

TEST(DamagedTable, HeaderChangedByAnotherProcessIsCheckedBeforeUse)
{
    for (const bool strict : {false, true}) {
        SCOPED_TRACE(strict);
        TableFolder folder;
        w::WriterTable t;
        t.Fields = {Field("A", w::DataTypes::String, 10), Field("B", w::DataTypes::String, 10)};
        t.IndexPageSize = 1024;
        for (int i = 0; i < 50; ++i)
            t.Rows.push_back(Row({"a" + std::to_string(i), "b" + std::to_string(i)}));
        folder.Write(t, "T");
        Engine engine(folder.Path(), strict);
        auto c = engine.Open("T");
        std::vector<uint8_t> buf(c->RecordLength);
        c->SetToBegin();
        ASSERT_EQ(c->GetNextRecord(buf.data()), 0);

        // Restructured: A is longer now, so every field after it moved.
        w::WriterTable r = t;
        r.Fields[0].Length = 20;
        r.UpdateStamp = 9;
        folder.Write(r, "T", true);
        // The next miss (default mode) or the next operation (strict) meets the new header; reading on
        // with the old field definitions would deliver B's bytes from the wrong place.
        c->DataTable->DataFile->FreeBuffers();
        c->DataTable->IndexFile->FreeBuffers();
        EXPECT_EQ(EngineCode([&] { c->GetNextRecord(buf.data()); }), TBL_HEADERCORRUPT);
        // And again: the change is not taken over by the failed attempt.
        EXPECT_EQ(EngineCode([&] { c->GetNextRecord(buf.data()); }), TBL_HEADERCORRUPT);
        EXPECT_FALSE(c->DataTable->DataTableLocks->IsReadLocked());
    }
}

TEST(DamagedTable, DefaultModeHoldsTheReadLockFromTheFirstMissToTheOperationsEnd)
{
    TableFolder folder;
    folder.Write(Numbers(300), "T");
    Engine engine(folder.Path());
    auto c = engine.Open("T");
    TDataFile& data = *c->DataTable->DataFile;
    TDataTableLocks& locks = *c->DataTable->DataTableLocks;
    data.FreeBuffers();
    {
        TCursorNavigation::TNavigationScope scope(c->Navigation());
        EXPECT_FALSE(locks.IsReadLocked()); // default mode: the prelude takes nothing
        TBufferLease first(data, data.GetRecord(c.get(), rdNone, false, 1));
        ASSERT_TRUE(first);
        EXPECT_TRUE(locks.IsReadLocked()); // the first miss took it ...
        // ... and a second miss reads under it without another check: a stamp that moved meanwhile (which
        // no writer could have done while the lock is held) is not looked at again.
        Bytes(folder.Path() / "T.dat").Put<int32_t>(0, 77);
        TBufferLease second(data, data.GetRecord(c.get(), rdNone, false, 200));
        EXPECT_TRUE(second);
        EXPECT_TRUE(locks.IsReadLocked());
    }
    EXPECT_FALSE(locks.IsReadLocked()); // released with the operation
    // The next operation's first miss sees the new stamp.
    data.FreeBuffers();
    std::vector<uint8_t> buf(c->RecordLength);
    c->GetNextRecord(buf.data());
    EXPECT_EQ(c->FLastDataUpdateStamp, 77);
    EXPECT_FALSE(locks.IsReadLocked());
}

TEST(DamagedTable, BlobMismatchRepositionsAndRefreshesTheCount)
{
    TableFolder folder;
    folder.Write(Memos(5), "T");
    Engine engine(folder.Path());
    auto c = engine.Open("T");
    std::vector<uint8_t> buf(c->RecordLength);
    c->SetToBegin();
    ASSERT_EQ(c->GetNextRecord(buf.data()), 0);
    ASSERT_EQ(c->GetNextRecord(buf.data()), 0);
    EXPECT_EQ(c->GetRecordCount(), 5);

    // Another process rewrites the table with more rows; record 2's memo now starts elsewhere.
    w::WriterTable more = Memos(8, 5);
    more.Rows.insert(more.Rows.begin(), Row({"0", std::string(300, 'z')}));
    folder.Write(more, "T", true);
    c->DataTable->BlobFile->FreeBuffers();

    const uint32_t size = c->OpenBlob(2, buf.data());
    c->FreeBlob(2, buf.data());
    EXPECT_GT(size, 0u);
    EXPECT_EQ(c->GetRecordCount(), 9); // taken over with the new stamps
    EXPECT_EQ(c->GetRecordNumber(), 2);
}

TEST(DamagedTable, AFailingReadIsTheSystemsErrorNotAShortRead)
{
    // Reading the memory of a process at address 0 fails with an I/O error: a real read error of a file the
    // table open can open and lock.
    TableFolder folder;
    folder.Write(Numbers(10), "T");
    std::filesystem::remove(folder.Path() / "T.dat");
    std::filesystem::create_symlink("/proc/self/mem", folder.Path() / "T.dat");
    Engine engine(folder.Path());
    try {
        engine.Open("T");
        ADD_FAILURE() << "opened a table whose data file cannot be read";
    } catch (const ETblEngineError& e) {
        EXPECT_EQ(e.ErrorCode, TBL_OSUNKNOWN) << e.what();
        EXPECT_EQ(e.OSErrorCode, 31) << e.what(); // the system's I/O error, as the mapping table names it
    }
}

TEST(DamagedTable, MemoryThatRunsOutWhileDecodingIsAnEngineError)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "an address-space limit cannot be set under a sanitizer's shadow memory";
#endif
    // A whole, undamaged 32 MiB memo (stored deflated in about 32 KiB) read by a process whose address space
    // leaves it 8 MiB more: inflating runs out of memory, which must come out as 11016, not as std::bad_alloc.
    TableFolder folder;
    folder.Write(ZerosMemo(32u << 20), "T");
    support::ChildProcess child([&](support::ChildProcess&) {
        Engine engine(folder.Path());
        auto c = engine.Open("T");
        std::vector<uint8_t> buf(c->RecordLength);
        c->SetToBegin();
        if (c->GetNextRecord(buf.data()) != 0)
            return 4;
        long pages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        if (pages <= 0)
            return 5;
        const rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(8) << 20);
        const rlimit as{limit, limit};
        if (setrlimit(RLIMIT_AS, &as) != 0)
            return 6;
        try {
            c->OpenBlob(2, buf.data());
            return 3; // it fit after all: the limit did not hold
        } catch (const ETblEngineError& e) {
            return e.ErrorCode == TBL_OSENOMEM ? 0 : 1;
        } catch (const std::bad_alloc&) {
            return 2;
        }
    });
    EXPECT_EQ(child.Join(), 0) << "1: another engine error, 2: std::bad_alloc escaped, 3: no shortage";
}
