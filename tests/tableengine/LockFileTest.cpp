// The directory's lock file: created by the first opener with the directory's tables, read by others, grown
// by AddDataTable under the directory range, limited to 4096 tables.
#include "tableengine/EngineEnv.h"
#include "tableengine/TableFixture.h"

#include "support/ChildProcessRole.h"

#include "tableengine/storage/DataDirectoryLocks.h"
#include "tableengine/storage/DataTable.h"

#include "platform/File.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace tableengine;
using namespace fixture;

namespace {

using support::Arguments;
using support::ChildLink;

// Another process reads the list the first opener wrote (its names are the arguments after the folder),
// and appends the table Gamma, created since.
const support::ChildRole readListAndAddGamma("LockFile.ReadListAndAddGamma", [](ChildLink&, const Arguments& a) {
    EngineEnv other(a.at(0));
    if (other.Directory->Locks->TableNames() != std::vector<std::string>(a.begin() + 1, a.end()))
        return 1;
    auto c = other.Open("Gamma");
    if (c->DataTable->DataTableLocks->TableID != 4)
        return 2;
    auto alpha = other.Open("Alpha"); // present already: no new entry
    return other.Directory->Locks->TableNames().size() == 4 ? 0 : 3;
});

TEngineSettings FewDirectoryRetries()
{
    TEngineSettings s = FastSettings();
    s.DirectoryLockRetryCount = 5;
    return s;
}

const support::ChildRole holdDirectoryRange("LockFile.HoldDirectoryRange", [](ChildLink& self, const Arguments& a) {
    EngineEnv other(a.at(0), FewDirectoryRetries());
    other.Directory->Locks->LockExclusive();
    self.Tell('x');
    self.Hear();
    other.Directory->Locks->UnlockExclusive();
    self.Tell('u');
    self.Hear();
    return 0;
});

std::vector<std::string> ListFromFile(const std::vector<uint8_t>& f, int32_t& counter)
{
    std::vector<std::string> names;
    int32_t size = 0;
    std::memcpy(&counter, f.data(), 4);
    std::memcpy(&size, f.data() + 4, 4);
    EXPECT_EQ(static_cast<std::size_t>(size) + 4, f.size());
    for (std::size_t at = 8; at < f.size();) {
        const std::size_t n = f[at];
        names.emplace_back(reinterpret_cast<const char*>(f.data() + at + 1), n);
        at += 1 + n;
    }
    return names;
}

std::vector<uint8_t> ListBytes(const std::vector<std::string>& names, int32_t counter)
{
    std::vector<uint8_t> out(8);
    for (const auto& n : names) {
        out.push_back(static_cast<uint8_t>(n.size()));
        out.insert(out.end(), n.begin(), n.end());
    }
    const int32_t size = static_cast<int32_t>(out.size() - 4);
    std::memcpy(out.data(), &counter, 4);
    std::memcpy(out.data() + 4, &size, 4);
    return out;
}

TEST(LockFileTest, FirstOpenerListsTheTablesAndASecondProcessReadsThem)
{
    TempDir dir;
    for (const char* name : {"Language", "Beta", "Alpha"})
        NumberedTable(1).Write(dir.Path, name);
    fixture::WriteFileBytes(dir.File("notes.txt"), {1, 2, 3});
    std::vector<std::string> files;
    ASSERT_EQ(platform::ListDirectory(dir.Path, files), platform::ERROR_SUCCESS);
    std::vector<std::string> expected; // data files in listing order, extension removed
    for (const auto& f : files)
        if (f.size() > 4 && f.substr(f.size() - 4) == ".dat")
            expected.push_back(f.substr(0, f.size() - 4));
    ASSERT_EQ(expected.size(), 3u);

    EngineEnv env(dir.Path);
    EXPECT_FALSE(env.Directory->ReadOnly);
    int32_t counter = 0;
    EXPECT_EQ(ListFromFile(fixture::ReadFileBytes(dir.File("tables.lck")), counter), expected);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(env.Directory->Locks->TableNames(), expected);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(env.Directory->Locks->FindDataTable(expected[i])->TableID, static_cast<int32_t>(i + 1));

    // Another process reads the same list and appends a table created since.
    NumberedTable(1).Write(dir.Path, "Gamma");
    Arguments arguments{dir.Path};
    arguments.insert(arguments.end(), expected.begin(), expected.end());
    support::RoleProcess child(readListAndAddGamma, arguments);
    EXPECT_EQ(child.Join(), 0);
    EXPECT_EQ(ListFromFile(fixture::ReadFileBytes(dir.File("tables.lck")), counter).back(), "Gamma");
    EXPECT_EQ(counter, 2);
    // This process learns of the new entry when it next looks at the list (the counter moved).
    NumberedTable(1).Write(dir.Path, "Delta");
    auto d = env.Open("Delta");
    EXPECT_EQ(env.Directory->Locks->FindDataTable("Gamma")->TableID, 4);
    EXPECT_EQ(d->DataTable->DataTableLocks->TableID, 5);
    EXPECT_EQ(ListFromFile(fixture::ReadFileBytes(dir.File("tables.lck")), counter).size(), 5u);
    EXPECT_EQ(counter, 3);
}

TEST(LockFileTest, CounterWrapsAndTheListIsLimitedTo4096Tables)
{
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 4095; ++i)
        names.push_back("T" + std::to_string(i));
    fixture::WriteFileBytes(dir.File("tables.lck"), ListBytes(names, 2147483647));
    NumberedTable(1).Write(dir.Path, "Last");
    NumberedTable(1).Write(dir.Path, "Extra");
    EngineEnv env(dir.Path);
    EXPECT_EQ(env.Directory->Locks->TableNames().size(), 4095u);
    auto last = env.Open("Last"); // the 4096th
    EXPECT_EQ(last->DataTable->DataTableLocks->TableID, 4096);
    int32_t counter = 0;
    EXPECT_EQ(ListFromFile(fixture::ReadFileBytes(dir.File("tables.lck")), counter).size(), 4096u);
    EXPECT_EQ(counter, 1); // 2147483647 wraps to 1
    const ETblEngineError e = CatchEngineError([&] { env.Open("Extra"); });
    EXPECT_EQ(e.ErrorCode, 9480);
    EXPECT_EQ(e.ErrorDatabaseName, dir.Path);
    EXPECT_EQ(std::string(e.what()),
              "Table Engine Error # 9480 The database '" + dir.Path + "' is full and cannot contain any more tables");
    EXPECT_EQ(env.Directory->OpenTableCount(), 1u);
}

TEST(LockFileTest, CorruptListIsReadOnlyAsFarAsItIsWhole)
{
    TempDir dir;
    std::vector<uint8_t> bytes = ListBytes({"One", "Two"}, 5);
    bytes.push_back(200); // a name that claims more bytes than the file has
    bytes.push_back('x');
    const int32_t size = 0x7FFFFFF0; // and a size field far beyond the file
    std::memcpy(bytes.data() + 4, &size, 4);
    fixture::WriteFileBytes(dir.File("tables.lck"), bytes);
    EngineEnv env(dir.Path);
    EXPECT_EQ(env.Directory->Locks->TableNames(), (std::vector<std::string>{"One", "Two"}));
}

TEST(LockFileTest, DirectoryThatDoesNotExistIsReadOnly)
{
    TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    EngineEnv env(dir.File("missing"));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(env.Directory->ReadOnly);
    EXPECT_FALSE(env.Directory->Locks->HasLockFile());
    EXPECT_GE(took, std::chrono::milliseconds(1000)); // eleven attempts with a pause of 100 ms
    EXPECT_EQ(CatchEngineError([&] { env.Open("Language"); }).ErrorCode, 11010);
}

TEST(LockFileTest, DirectoryRangeHeldByAnotherProcessBlocksAddingTables)
{
    TempDir dir;
    NumberedTable(1).Write(dir.Path, "Language");
    EngineEnv env(dir.Path, FewDirectoryRetries());
    fixture::WriteFileBytes(dir.File("New.dat"), NumberedTable(1).DataFileBytes());
    fixture::WriteFileBytes(dir.File("New.idx"), NumberedTable(1).IndexFileBytes());
    support::RoleProcess child(holdDirectoryRange, {dir.Path});
    ASSERT_EQ(child.WaitFor(), 'x');
    EXPECT_EQ(CatchEngineError([&] { env.Open("New"); }).ErrorCode, 10223);
    EXPECT_EQ(CatchEngineError([&] { env.Directory->Locks->LockShared(); }).ErrorCode, 10221);
    child.Send('1');
    ASSERT_EQ(child.WaitFor(), 'u');
    EXPECT_NO_THROW(env.Open("New"));
    child.Send('2');
    EXPECT_EQ(child.Join(), 0);
}

} // namespace
