// The table component over tables written by the writer, its setters and messages, temporary databases,
// and the tbldump tool run as a process.
#include "EngineEnv.h"
#include "NavigationTestSupport.h"
#include "support/ChildProcess.h"

#include "tableengine/TblComp.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/storage/DataDirectoryLocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sys/wait.h>

using namespace navtest;
using namespace tableengine;

namespace {

w::WriterTable Sample()
{
    w::WriterTable t;
    t.Fields = {Field("Nr", w::DataTypes::Integer), Field("Secret", w::DataTypes::String, 10),
                Field("Name", w::DataTypes::String, 20), Field("Memo", w::DataTypes::Blob, 0, w::SubTypes::Memo)};
    t.Fields[1].Hidden = true;
    t.Rows.push_back(Row({"2", "x", "b\tc", "line1\nline2\\"}));
    t.Rows.push_back(Row({"1", "y", "a", "<null>"}));
    t.Rows.push_back(Row({"3", "z", "<null>", "\r"}));
    w::WriterIndex byName;
    byName.Name = "ByName";
    byName.Fields = {{"Name", false}};
    t.SecondaryIndexes.push_back(byName);
    return t;
}

// Rows 10, 20, ... n * 10 under the given update stamp.
w::WriterTable TensTable(int n, int32_t stamp)
{
    w::WriterTable t;
    t.Fields = {Field("Nr", w::DataTypes::Integer)};
    for (int i = 1; i <= n; ++i)
        t.Rows.push_back(Row({std::to_string(i * 10)}));
    t.UpdateStamp = stamp;
    return t;
}

std::string Message(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

struct ToolRun {
    int exit = -1;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::string& command)
{
    ToolRun r;
    const std::string errFile = std::string(SONDRAL_BINARY_DIR) + "/navtest/tbldump.err";
    std::FILE* p = popen((command + " 2>" + errFile).c_str(), "r");
    if (p == nullptr)
        return r;
    std::array<char, 4096> buf{};
    size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int status = pclose(p);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (std::FILE* e = std::fopen(errFile.c_str(), "r")) {
        while ((n = std::fread(buf.data(), 1, buf.size(), e)) > 0)
            r.err.append(buf.data(), n);
        std::fclose(e);
    }
    return r;
}

} // namespace

TEST(TblTable, ReadsVisibleFieldsInIndexOrder)
{
    TableFolder folder;
    folder.Write(Sample(), "People");
    TTblDatabase db;
    db.SetDatabaseName(u"People");
    db.SetDirectory(platform::Utf8ToText(folder.Path().string()) + u"//  ");
    db.SetConnected(true);
    db.SetConnected(true); // a second time does nothing
    TTblTable t;
    EXPECT_EQ(t.FieldCount(), 0);
    t.SetDatabaseName(u"People");
    t.SetTableName(u"People.DAT");
    t.Open();
    EXPECT_TRUE(t.Active());
    ASSERT_EQ(t.FieldCount(), 3); // the hidden field is left out
    EXPECT_EQ(t.Fields(1).FieldName(), u"Name");
    EXPECT_EQ(t.Fields(1).FieldNum(), 3);
    std::vector<int32_t> nrs;
    for (t.First(); !t.Eof(); t.Next())
        nrs.push_back(t.Fields(0).AsInteger());
    EXPECT_EQ(nrs, (std::vector<int32_t>{2, 1, 3}));

    t.Close();
    t.SetIndexName(u"byname");
    t.Open();
    std::vector<std::u16string> names;
    for (t.First(); !t.Eof(); t.Next())
        names.push_back(t.Fields(1).AsString());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"", u"a", u"b\tc"}));
    t.Close();
    EXPECT_EQ(t.FieldCount(), 0);
    EXPECT_FALSE(t.Active());
}

TEST(TblTable, SettersAndMessages)
{
    TableFolder folder;
    folder.Write(Sample(), "People");
    TTblDatabase db;
    EXPECT_EQ(Message([&] { db.SetConnected(true); }), "Database name is missing");
    EXPECT_EQ(Message([&] { db.SetDatabaseName(u"a/b"); }), "Database name 'a/b' is not valid");
    db.SetDatabaseName(u"Setters");
    TTblDatabase other;
    EXPECT_EQ(Message([&] { other.SetDatabaseName(u"SETTERS"); }), "Database name 'SETTERS' already exists");
    db.SetDirectory(platform::Utf8ToText(folder.Path().string()));
    db.SetConnected(true);
    EXPECT_EQ(Message([&] { db.SetDirectory(u"/tmp"); }), "Cannot perform this operation on an open database");
    EXPECT_EQ(Message([&] { db.SetDatabaseName(u"X"); }), "Cannot perform this operation on an open database");

    TTblTable t;
    t.SetDatabaseName(u"Setters");
    EXPECT_EQ(Message([&] { t.Open(); }), "Missing table name");
    EXPECT_FALSE(t.Active());
    t.SetTableName(u"People");
    t.Open();
    EXPECT_EQ(Message([&] { t.SetTableName(u"Other"); }), "Cannot perform this operation on an open dataset");
    t.SetTableName(u"People"); // the same name again does nothing
    EXPECT_EQ(Message([&] { t.SetDatabaseName(u"X"); }), "Cannot perform this operation on an open database");
    t.Close();

    TTblTable bad;
    bad.SetSessionName(u"NoSuch");
    bad.SetTableName(u"People");
    EXPECT_EQ(Message([&] { bad.Open(); }), "Session name 'NoSuch' is not valid");
}

TEST(TblTable, MissingTableAndTemporaryDatabaseByPath)
{
    TableFolder folder;
    folder.Write(Sample(), "People");
    TTblTable t;
    // A table name with a path opens through a temporary database on that directory.
    t.SetTableName(platform::Utf8ToText((folder.Path() / "People").string()));
    t.Open();
    EXPECT_TRUE(t.Database()->Temporary);
    t.First();
    EXPECT_EQ(t.Fields(0).AsInteger(), 2);
    t.Close();

    TTblTable missing;
    missing.SetTableName(platform::Utf8ToText((folder.Path() / "Language").string()));
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            missing.Open();
            FAIL() << "opened a missing table";
        } catch (const ETblEngineError& e) {
            EXPECT_EQ(e.ErrorCode, TBL_OSENOENT);
            EXPECT_EQ(e.ErrorTableName, "Language");
            EXPECT_EQ(std::string(e.what()), "Table Engine Error # 11010 Table or backup file 'Language' does not exist");
        }
        EXPECT_FALSE(missing.Active());
    }
}

// Two tables on one directory named with backslashes share one temporary database, which goes with the
// last of them; the data session is named once with its number; a BLOB field holding the lowest int32 names
// no open BLOB.
TEST(TblTable, TemporaryDatabaseSharedByTwoTablesAndNamedOnce)
{
    TableFolder folder;
    folder.Write(Sample(), "People");
    std::u16string name = platform::Utf8ToText(folder.Path().string());
    std::replace(name.begin(), name.end(), u'/', u'\\');
    TTblTable a, b;
    a.SetDatabaseName(name);
    b.SetDatabaseName(name);
    a.SetTableName(u"People");
    b.SetTableName(u"People");
    a.Open();
    b.Open(); // the same database, found by the name as the first table spelled it
    ASSERT_EQ(a.Database(), b.Database());
    EXPECT_EQ(a.DatabaseName(), platform::Utf8ToText(folder.Path().string()));
    TTblDatabase* db = a.Database();
    EXPECT_TRUE(db->Temporary);
    EXPECT_EQ(db->RefCount, 2);
    TTblSession& session = TTblSession::Default();
    a.Close();
    EXPECT_EQ(session.FindDatabase(platform::Utf8ToText(folder.Path().string())), db);
    EXPECT_EQ(db->RefCount, 1);
    b.Close();
    EXPECT_EQ(session.FindDatabase(platform::Utf8ToText(folder.Path().string())), nullptr);

    ASSERT_NE(session.Handle, nullptr);
    EXPECT_EQ(session.Handle->Name, "Default_" + std::to_string(session.Handle->SessionID));

    b.Open();
    b.First();
    TDataCursor& c = *b.Handle();
    std::vector<uint8_t> record = b.ActiveBuffer();
    const int memo = 4;
    const uint32_t lowest = 0x80000000u;
    std::memcpy(record.data() + c.GetFieldDefinition(memo).Offset + 1, &lowest, 4);
    try {
        c.GetBlobSize(memo, record.data());
        ADD_FAILURE() << "a BLOB handle from the lowest int32";
    } catch (const ETblEngineError& e) {
        EXPECT_EQ(e.ErrorCode, TBL_INVALIDBLOBHANDLE);
    }
    b.Close();
}

TEST(TblTable, EmptyTableIsAtEofAfterFirst)
{
    TableFolder folder;
    w::WriterTable t = Sample();
    t.Rows.clear();
    folder.Write(t, "Empty");
    TTblTable table;
    table.SetTableName(platform::Utf8ToText((folder.Path() / "Empty").string()));
    table.Open();
    table.First();
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.Fields(0).AsString(), u"");
}

TEST(TblTable, TbldumpPrintsEscapedRowsAndReportsEngineErrors)
{
    TableFolder folder;
    folder.Write(Sample(), "People");
    const std::string tool = std::string(SONDRAL_BINARY_DIR) + "/tools/tbldump";
    ToolRun r = RunTool(tool + " '" + folder.Path().string() + "' People");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "Nr\tName\tMemo\n"
                     "2\tb\\tc\tline1\\nline2\\\\\n"
                     "1\ta\t\n"
                     "3\t\t\\r\n");
    r = RunTool(tool + " '" + folder.Path().string() + "' People --index ByName");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "Nr\tName\tMemo\n3\t\t\\r\n1\ta\t\n2\tb\\tc\tline1\\nline2\\\\\n");
    r = RunTool(tool + " '" + folder.Path().string() + "' Nothing");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "Table Engine Error # 11010 Table or backup file 'Nothing' does not exist\n");
    r = RunTool(tool + " '" + folder.Path().string() + "' People --index Nope");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "Table Engine Error # 10022 Invalid secondary index name 'Nope' specified for the table 'People'\n");

    w::WriterTable secret = Sample();
    secret.Password = "pw";
    folder.Write(secret, "Locked");
    r = RunTool(tool + " '" + folder.Path().string() + "' Locked");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("# 10498"), std::string::npos);
    r = RunTool(tool + " '" + folder.Path().string() + "' Locked --password pw");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 13), "Nr\tName\tMemo\n");
}

// The table component reading many rows under one held read lock: writers of other processes stay out from
// HoldReadLock to ReleaseReadLock or Close, and only then; a change made before the hold is seen by the rows
// read under it.
TEST(TblTable, HoldsTheReadLockUntilReleasedOrClosed)
{
    TableFolder folder;
    folder.Write(TensTable(4, 1), "Language");
    const std::string path = folder.Path().string();
    TTblDatabase db;
    db.SetDatabaseName(u"Shared");
    db.SetDirectory(platform::Utf8ToText(path));
    db.SetConnected(true);
    TTblTable t;
    t.SetDatabaseName(u"Shared");
    t.SetTableName(u"Language");
    t.Open();
    const auto writerGetsIn = [&] {
        support::ChildProcess writer([&](support::ChildProcess&) {
            fixture::EngineEnv other(path);
            auto w = other.Open("Language");
            const bool locked = w->DataTable->DataTableLocks->WriteLock();
            if (locked)
                w->DataTable->DataTableLocks->WriteUnlock();
            return locked ? 0 : 1;
        });
        return writer.Join() == 0;
    };
    const auto rows = [&] {
        std::vector<int32_t> nrs;
        for (t.First(); !t.Eof(); t.Next())
            nrs.push_back(t.Fields(0).AsInteger());
        return nrs;
    };
    const std::vector<int32_t> four{10, 20, 30, 40};
    EXPECT_EQ(rows(), four);
    // Moving row by row holds nothing between the moves.
    t.First();
    EXPECT_TRUE(writerGetsIn());

    // Another process rewrites the table with six rows; the hold notices it and the rows under it are new.
    support::ChildProcess rewrite([&](support::ChildProcess&) {
        folder.Write(TensTable(6, 2), "Language", true);
        return 0;
    });
    ASSERT_EQ(rewrite.Join(), 0);
    t.HoldReadLock();
    t.HoldReadLock(); // a second time holds nothing more
    EXPECT_FALSE(writerGetsIn());
    EXPECT_EQ(rows(), (std::vector<int32_t>{10, 20, 30, 40, 50, 60}));
    EXPECT_FALSE(writerGetsIn());
    t.ReleaseReadLock();
    EXPECT_TRUE(writerGetsIn());

    t.HoldReadLock();
    EXPECT_FALSE(writerGetsIn());
    t.Close();
    EXPECT_TRUE(writerGetsIn());
}
