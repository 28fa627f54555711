// Several processes on one table: readers walking it in index order while a writer process rewrites it
// again and again with the table writer, under the engine's lock protocol (the table's write range) and
// with a higher update stamp each time; readers with strict change detection and with the default one. Every version has the same keys and rows whose fields name their
// version, so each walk can be checked: every key once and in order, every record's
// hash matching its bytes, every row's fields of one version. And a reader held off by a writer's range
// gets 10225 once its retries are used up, instead of waiting for ever. The other processes are this test
// program in child roles (ChildProcessRole.h), on every platform.
#include "tableengine/NavigationTestSupport.h"

#include "support/ChildProcessRole.h"

#include "tableengine/storage/DataDirectoryLocks.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/storage/EngineFile.h"

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>

using namespace navtest;
using namespace tableengine;
using Clock = std::chrono::steady_clock;
using support::Arguments;
using support::ChildLink;

namespace {

constexpr int kRows = 400; // several leaves of 1024-byte pages

w::WriterTable Version(int version)
{
    w::WriterTable t;
    t.Fields = {Field("Nr", w::DataTypes::Integer), Field("Text", w::DataTypes::String, 40),
                Field("Check", w::DataTypes::Integer)};
    t.PrimaryKey = w::WriterIndex{"", {{"Nr", false}}, true, false, false, w::KeyCompression::Full, false};
    t.IndexPageSize = 1024;
    t.UpdateStamp = version + 1;
    for (int nr = 1; nr <= kRows; ++nr)
        t.Rows.push_back(Row({std::to_string(nr), "row " + std::to_string(nr) + " of version " + std::to_string(version),
                              std::to_string(nr * 1000 + version)}));
    return t;
}

int32_t IntField(const TDataCursor& c, const std::vector<uint8_t>& record, int field)
{
    bool blank = true;
    int32_t v = 0;
    uint8_t value[4] = {};
    c.GetField(field, record.data(), blank, value);
    std::memcpy(&v, value, 4);
    return blank ? -1 : v;
}

std::string TextField(const TDataCursor& c, const std::vector<uint8_t>& record, int field)
{
    bool blank = true;
    std::vector<char> value(c.GetFieldDefinition(field).DataSize + 1u, '\0');
    c.GetField(field, record.data(), blank, reinterpret_cast<uint8_t*>(value.data()));
    return blank ? std::string() : std::string(value.data());
}

// One walk in key order. Returns an empty string when it was consistent, else what was wrong.
std::string CheckedWalk(TDataCursor& c, int& versionsSeen)
{
    std::vector<uint8_t> buf(c.RecordLength);
    try {
        c.SetToBegin();
    } catch (const ETblEngineError& e) {
        return std::string("SetToBegin: ") + e.what();
    }
    int expected = 1;
    int lastVersion = -1;
    for (;;) {
        uint16_t answer = 0;
        try {
            answer = c.GetNextRecord(buf.data());
        } catch (const ETblEngineError& e) {
            return "GetNextRecord after key " + std::to_string(expected - 1) + ": " + e.what();
        }
        if (answer != NavRecord)
            break;
        const int32_t nr = IntField(c, buf, 1);
        if (nr != expected)
            return "key " + std::to_string(nr) + " where " + std::to_string(expected) + " was due";
        ++expected;
        const TMD5Digest hash =
            MD5Digest(std::string_view(reinterpret_cast<const char*>(buf.data()) + RecordFieldsOffset,
                                       buf.size() - RecordFieldsOffset));
        if (std::memcmp(&hash, buf.data() + RecordHashOffset, sizeof hash) != 0)
            return "torn record " + std::to_string(nr) + ": its hash does not match";
        const int32_t check = IntField(c, buf, 3);
        const int version = check - nr * 1000;
        const std::string text = TextField(c, buf, 2);
        if (text != "row " + std::to_string(nr) + " of version " + std::to_string(version))
            return "record " + std::to_string(nr) + " mixes versions: '" + text + "', check " + std::to_string(check);
        if (version != lastVersion)
            ++versionsSeen;
        lastVersion = version;
    }
    if (expected != kRows + 1)
        return "walk ended after key " + std::to_string(expected - 1);
    return {};
}

// The writer's side of the protocol: the table's write range, which is the range of its readers' slots,
// so that it is granted only while no reader is inside a read, and holds every reader off until released.
class WriterLock {
public:
    explicit WriterLock(TDataCursor& c) : FLocks(*c.DataTable->DataTableLocks) { FHeld = FLocks.WriteLock(); }
    ~WriterLock() { FLocks.WriteUnlock(); }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;
    bool Held() const { return FHeld; }

private:
    TDataTableLocks& FLocks;
    bool FHeld = false;
};

// An engine on the folder. With strict change detection every navigation step runs under the table's read
// lock; with the default one an operation takes it at its first cache miss and holds it to its end, so
// that blocks read from the file within one operation all come from one version.
struct EngineOn {
    explicit EngineOn(const std::filesystem::path& folder, const TEngineSettings& settings = {}, bool strict = true)
    {
        Engine.Initialize(settings);
        Session = &Engine.StartDataSession("Default");
        Session->StrictChangeDetection = strict;
        Directory = &Session->OpenDataDirectory("Test", folder.string(), false);
    }
    ~EngineOn() { Session->CloseDataDirectory(*Directory); }
    TDataEngine Engine;
    TDataSession* Session = nullptr;
    TDataDirectory* Directory = nullptr;
};

// The writer process: opens the table, says 'r' and waits for 'g', then writes version after version, each
// under the table's write range, leaving `gap` after each. Readers holding their slots can keep it waiting on
// a loaded machine: it goes on past `runFor` until it has written a few versions, within a hard limit.
int RewriteAgainAndAgain(ChildLink& self, const std::filesystem::path& folder, std::chrono::milliseconds runFor,
                         std::chrono::microseconds gap)
{
    EngineOn e(folder);
    TDataCursor c(*e.Directory, "T", false, false);
    c.OpenCursor();
    self.Tell('r');
    if (self.Hear() != 'g')
        return 5;
    int version = 0;
    const auto end = Clock::now() + runFor;
    const auto hardEnd = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < end || (version < 3 && Clock::now() < hardEnd)) {
        ++version;
        {
            WriterLock lock(c);
            if (!lock.Held())
                return 2;
            w::WriteTableFiles(Version(version), folder, "T", true);
        }
        if (gap.count() > 0)
            std::this_thread::sleep_for(gap);
    }
    std::fprintf(stderr, "writer: %d versions\n", version);
    return version > 1 ? 0 : 3;
}

// The roles' arguments: the table folder, the run time in milliseconds, and (readers, openers) "strict" or
// "default" change detection.
std::chrono::milliseconds RunFor(const Arguments& a) { return std::chrono::milliseconds(std::stoi(a.at(1))); }
bool Strict(const Arguments& a) { return a.at(2) == "strict"; }

const support::ChildRole rewriter("ConcurrentWalk.Rewriter", [](ChildLink& self, const Arguments& a) {
    return RewriteAgainAndAgain(self, a.at(0), RunFor(a), std::chrono::microseconds(0));
});

// A gap after each rewrite leaves room for the openers.
const support::ChildRole rewriterWithGaps("ConcurrentWalk.RewriterWithGaps", [](ChildLink& self, const Arguments& a) {
    return RewriteAgainAndAgain(self, a.at(0), RunFor(a), std::chrono::microseconds(500));
});

const support::ChildRole walker("ConcurrentWalk.Walker", [](ChildLink& self, const Arguments& a) {
    // Opened before the writer starts; opens during rewrites are the test below.
    EngineOn e(a.at(0), {}, Strict(a));
    TDataCursor c(*e.Directory, "T", false, true);
    c.OpenCursor();
    self.Tell('r');
    if (self.Hear() != 'g') // together with the writer: the run times overlap however slowly processes start
        return 5;
    int walks = 0, versionsSeen = 0;
    const auto end = Clock::now() + RunFor(a);
    while (Clock::now() < end || walks < 2) {
        const std::string fault = CheckedWalk(c, versionsSeen);
        if (!fault.empty()) {
            std::fprintf(stderr, "reader: %s\n", fault.c_str());
            return 1;
        }
        ++walks;
    }
    std::fprintf(stderr, "reader: %d walks, %d version runs\n", walks, versionsSeen);
    return walks > 0 && versionsSeen > 1 ? 0 : 4; // it saw the table change
});

// Three readers walk the table over and over while the writer rewrites it; every walk must be consistent
// (see CheckedWalk) and each reader must have seen the table change.
void ReadersSeeWholeVersions(bool strict)
{
    TableFolder folder;
    folder.Write(Version(0), "T");
    const auto runFor = std::chrono::milliseconds(2500);

    const std::string folderPath = folder.Path().string();
    const std::string ms = std::to_string(runFor.count());
    support::RoleProcess writer(rewriter, {folderPath, ms});
    ASSERT_EQ(writer.WaitFor(), 'r');

    std::vector<std::unique_ptr<support::RoleProcess>> readers;
    for (int i = 0; i < 3; ++i)
        readers.push_back(
            std::make_unique<support::RoleProcess>(walker, Arguments{folderPath, ms, strict ? "strict" : "default"}));
    for (auto& r : readers)
        ASSERT_EQ(r->WaitFor(), 'r');
    writer.Send('g');
    for (auto& r : readers)
        r->Send('g');
    for (auto& r : readers)
        EXPECT_EQ(r->Join(), 0) << "1: an inconsistent walk, 4: no change seen, 98: an engine error";
    EXPECT_EQ(writer.Join(), 0);

    // Afterwards the table is the writer's last version throughout.
    EngineOn e(folder.Path());
    TDataCursor c(*e.Directory, "T", false, true);
    c.OpenCursor();
    int versionsSeen = 0;
    EXPECT_EQ(CheckedWalk(c, versionsSeen), "");
    EXPECT_EQ(versionsSeen, 1);
}

} // namespace

TEST(ConcurrentWalk, ReadersSeeWholeVersionsWhileAWriterRewritesTheTable) { ReadersSeeWholeVersions(true); }

// The default mode checks for a change only at a cache miss; a reader's hits still deliver the version it
// last read, and every miss (taken under the read lock) either finds the same version or drops the cache
// and re-finds its place in the new one.
TEST(ConcurrentWalk, DefaultModeReadersSeeWholeVersionsWhileAWriterRewritesTheTable)
{
    ReadersSeeWholeVersions(false);
}

namespace {

const support::ChildRole heldWriter("ConcurrentWalk.HeldWriter", [](ChildLink& self, const Arguments& a) {
    EngineOn e(a.at(0));
    TDataCursor c(*e.Directory, "T", false, false);
    c.OpenCursor();
    if (self.Hear() != 'l')
        return 2;
    WriterLock lock(c);
    self.Tell(lock.Held() ? 'h' : 'n');
    self.Hear(); // holds the ranges until the reader is done
    return 0;
});

} // namespace

TEST(ConcurrentWalk, ReaderHeldOffByAWriterGetsReadLockErrorAfterItsRetries)
{
    TableFolder folder;
    folder.Write(Version(0), "T");

    support::RoleProcess writer(heldWriter, {folder.Path().string()});

    TEngineSettings impatient;
    impatient.TableReadLockRetryCount = 50;
    impatient.TableReadLockWaitTime = 2;
    EngineOn e(folder.Path(), impatient);
    TDataCursor c(*e.Directory, "T", false, true);
    c.OpenCursor();
    ASSERT_TRUE(e.Directory->Locks->HasLockFile()) << "the directory's lock file is not open";
    writer.Send('l');
    ASSERT_EQ(writer.WaitFor(), 'h');

    std::vector<uint8_t> buf(c.RecordLength);
    uint16_t code = 0;
    const auto start = Clock::now();
    try {
        c.SetToBegin();
        c.GetNextRecord(buf.data());
    } catch (const ETblEngineError& err) {
        code = err.ErrorCode;
    }
    const auto waited = Clock::now() - start;
    writer.Send('d');
    EXPECT_EQ(writer.Join(), 0);
    EXPECT_EQ(code, TBL_READLOCK);
    EXPECT_LT(waited, std::chrono::seconds(30)) << "the reader waited far beyond its retries";

    // With the writer gone the same cursor reads again.
    int versionsSeen = 0;
    EXPECT_EQ(CheckedWalk(c, versionsSeen), "");
}

namespace {

const support::ChildRole opener("ConcurrentWalk.Opener", [](ChildLink& self, const Arguments& a) {
    EngineOn e(a.at(0), {}, Strict(a));
    self.Tell('r');
    if (self.Hear() != 'g')
        return 5;
    int opens = 0, versionsSeen = 0;
    std::set<int> versions;
    const auto end = Clock::now() + RunFor(a);
    while (Clock::now() < end || opens < 5) {
        // Each open reads the files afresh: the table is closed completely in between.
        TDataCursor c(*e.Directory, "T", false, true);
        std::vector<uint8_t> first(c.RecordLength);
        try {
            c.OpenCursor();
            first.assign(c.RecordLength, 0);
            if (c.GetNextRecord(first.data()) != NavRecord) {
                std::fprintf(stderr, "opener: open %d: no first record\n", opens + 1);
                return 1;
            }
        } catch (const ETblEngineError& err) {
            std::fprintf(stderr, "opener: open %d: %s\n", opens + 1, err.what());
            return 1;
        }
        const int version = IntField(c, first, 3) - 1000;
        if (IntField(c, first, 1) != 1 || TextField(c, first, 2) != "row 1 of version " + std::to_string(version)) {
            std::fprintf(stderr, "opener: open %d: first record '%s'\n", opens + 1, TextField(c, first, 2).c_str());
            return 1;
        }
        versions.insert(version);
        if (opens % 10 == 0) {
            const std::string fault = CheckedWalk(c, versionsSeen);
            if (!fault.empty()) {
                std::fprintf(stderr, "opener: after open %d: %s\n", opens + 1, fault.c_str());
                return 1;
            }
        }
        ++opens;
    }
    std::fprintf(stderr, "opener: %d opens, %zu versions\n", opens, versions.size());
    return versions.size() > 1 ? 0 : 4;
});

// Opens beside a writer process that rewrites the table again and again: an open reads the three headers
// and the field definitions only under the table's read lock, so each open sees one whole version (no short
// file, no header of one version with definitions of another). Every open reads the first record, every
// tenth walks the whole table.
void OpensDuringRewritesReadWholeVersions(bool strict)
{
    TableFolder folder;
    folder.Write(Version(0), "T");
    const auto runFor = std::chrono::milliseconds(2000);

    const std::string folderPath = folder.Path().string();
    const std::string ms = std::to_string(runFor.count());
    support::RoleProcess writer(rewriterWithGaps, {folderPath, ms});
    ASSERT_EQ(writer.WaitFor(), 'r');

    std::vector<std::unique_ptr<support::RoleProcess>> openers;
    for (int i = 0; i < 2; ++i)
        openers.push_back(
            std::make_unique<support::RoleProcess>(opener, Arguments{folderPath, ms, strict ? "strict" : "default"}));
    for (auto& o : openers)
        ASSERT_EQ(o->WaitFor(), 'r');
    writer.Send('g');
    for (auto& o : openers)
        o->Send('g');
    for (auto& o : openers)
        EXPECT_EQ(o->Join(), 0) << "1: an open or its first read failed, 4: no change seen";
    EXPECT_EQ(writer.Join(), 0);
}

} // namespace

TEST(ConcurrentWalk, OpensDuringRewritesReadWholeVersions) { OpensDuringRewritesReadWholeVersions(true); }

TEST(ConcurrentWalk, DefaultModeOpensDuringRewritesReadWholeVersions) { OpensDuringRewritesReadWholeVersions(false); }
