// The data module end to end: the database "Taal" on a 3Tdata folder and the table "Language" written by the
// table writer, read through the table components.
#include "translations/Taal.h"

#include "support/TempFolder.h"

#include "tableengine/format/EngineError.h"
#include "tableengine/format/IndexHeader.h"
#include "tablewriter/TableWriter.h"
#include "tableengine/TblComp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace w = tableengine::writer;
using platform::Text;
using translations::TTaal_dat;

namespace {

// A cell: "<null>" is a null value, anything else the text.
using Cells = std::vector<std::string>;

// The table "Language": the text number and the texts of languages 0 to 5.
w::WriterTable LanguageTable(const std::vector<Cells>& rows, int32_t indexPageSize)
{
    w::WriterTable t;
    t.IndexPageSize = indexPageSize;
    w::WriterField nr;
    nr.Name = "Nr";
    nr.DataType = w::DataTypes::Integer;
    t.Fields.push_back(nr);
    for (int k = 0; k < 6; ++k) {
        w::WriterField f;
        f.Name = "L" + std::to_string(k);
        f.DataType = w::DataTypes::String;
        f.Length = 40;
        t.Fields.push_back(f);
    }
    for (const Cells& cells : rows) {
        w::WriterRow r;
        for (const std::string& c : cells)
            r.Cells.push_back(c == "<null>" ? w::WriterCell::Blank() : w::WriterCell::Of(c));
        while (r.Cells.size() < t.Fields.size())
            r.Cells.push_back(w::WriterCell::Blank());
        t.Rows.push_back(std::move(r));
    }
    return t;
}

// Rows 340, 347 and 1060 (in that table order); the text of language k is "L<k> <number>".
std::vector<Cells> SevenFieldRows()
{
    std::vector<Cells> rows;
    for (const char* n : {"1060", "340", "347"}) {
        Cells c{n};
        for (int k = 0; k < 6; ++k)
            c.push_back("L" + std::to_string(k) + " " + n);
        rows.push_back(c);
    }
    return rows;
}

class FillTaalTable : public ::testing::Test {
protected:
    TempFolder exeFolder; // stands for the folder of the executable
    const std::string dir = exeFolder.File("3Tdata");

    void WriteLanguage(const std::vector<Cells>& rows, int32_t indexPageSize = 4096)
    {
        std::filesystem::create_directories(dir);
        w::WriteTableFiles(LanguageTable(rows, indexPageSize), dir, "Language", true);
    }

    // 400 rows in 1024-byte index pages: a root over several leaves.
    void WriteFourHundredRows()
    {
        std::vector<Cells> rows;
        for (int i = 1; i <= 400; ++i)
            rows.push_back({std::to_string(i), "zero", "one", "two", "three"});
        WriteLanguage(rows, 1024);
    }

    // Offsets of a page header's left and right links.
    static constexpr std::size_t LeftAt = 3;
    static constexpr std::size_t RightAt = 7;

    // The offset of the leaf page (of 1024 bytes) whose link at `linkAt` is 0: the first or the last leaf.
    static std::size_t EndLeafAt(const std::string& bytes, std::size_t linkAt)
    {
        const std::size_t pages = (bytes.size() - tableengine::IndexFileHeaderSize) / 1024;
        for (std::size_t p = 0; p < pages; ++p) {
            const std::size_t at = tableengine::IndexFileHeaderSize + p * 1024;
            int32_t link = 0;
            std::memcpy(&link, bytes.data() + at + linkAt, 4);
            if (bytes[at] == tableengine::ptLeaf && link == 0)
                return at;
        }
        return 0;
    }

    // Whether the table is free again: an exclusive open fails with 11013 while any cursor of the process
    // still holds it.
    static bool TableReleased()
    {
        tableengine::TTblTable t;
        t.SetDatabaseName(u"Taal");
        t.SetTableName(u"Language");
        t.Exclusive = true;
        try {
            t.Open();
        } catch (const tableengine::ETblEngineError& e) {
            return e.ErrorCode != 11013;
        }
        return true;
    }
};

} // namespace

TEST_F(FillTaalTable, EachLanguageLoadsItsColumnAndOthersLanguageThree)
{
    WriteLanguage(SevenFieldRows());
    const std::vector<std::pair<int, int>> cases{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 3}, {99, 3}};
    for (const auto& [nr, column] : cases) {
        TTaal_dat taal(dir, translations::OpenLanguageTable);
        ASSERT_TRUE(taal.Database().Connected());
        taal.FillTaal(nr);
        EXPECT_FALSE(taal.IgnoreTaal()) << nr;
        ASSERT_EQ(taal.TaalData.size(), 3u) << nr;
        // In the order the table delivers its rows.
        EXPECT_EQ(taal.TaalData[0].id, 1060);
        EXPECT_EQ(taal.TaalData[1].id, 340);
        EXPECT_EQ(taal.TaalData[2].id, 347);
        const Text prefix = u"L" + platform::IntToText(column) + u" ";
        EXPECT_EQ(taal.GetTaal(340), prefix + u"340") << nr;
        EXPECT_EQ(taal.GetTaal(1060), prefix + u"1060") << nr;
        EXPECT_EQ(taal.GetTaal(348), u"???");
        EXPECT_TRUE(TableReleased()) << nr;
        EXPECT_EQ(taal.Database().DataSetCount(), 0u);
    }
}

TEST_F(FillTaalTable, EmptyTextsFallBackToLanguageThree)
{
    //            Nr    L0     L1        L2  L3         L4  L5
    WriteLanguage({{"1", "a", "<null>", "", "three"},
                   {"2", "b", "", "", "<null>"},
                   {"2", "b", "later", "", "x"},
                   {"3", "c", "", "", ""}});
    TTaal_dat taal(dir, translations::OpenLanguageTable);
    taal.FillTaal(1);
    ASSERT_EQ(taal.TaalData.size(), 4u);
    EXPECT_EQ(taal.GetTaal(1), u"three");    // null in language 1
    EXPECT_EQ(taal.TaalData[1].Value, u""); // empty in language 1 and in language 3
    EXPECT_EQ(taal.GetTaal(2), u"later");    // so a later row with the number answers
    EXPECT_EQ(taal.GetTaal(3), u"???");
    // Language 3 itself has nothing to fall back to; language 0 never needs to.
    taal.FillTaal(3);
    EXPECT_EQ(taal.GetTaal(2), u"x");
    EXPECT_EQ(taal.GetTaal(3), u"???");
    taal.FillTaal(0);
    EXPECT_EQ(taal.GetTaal(3), u"c");
}

TEST_F(FillTaalTable, NoDatabaseFolderIsCreatedAndLeavesTheBuiltInTexts)
{
    ASSERT_FALSE(std::filesystem::exists(dir));
    TTaal_dat taal(dir, translations::OpenLanguageTable);
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    EXPECT_TRUE(taal.Database().Connected());
    EXPECT_FALSE(taal.ConnectError());
    EXPECT_FALSE(taal.IgnoreTaal());
    taal.FillTaal(0);
    EXPECT_TRUE(taal.IgnoreTaal());
    EXPECT_TRUE(taal.TaalData.empty());
    EXPECT_EQ(taal.GetTaal(347), u"???");
    // The failed attempts leave the database connected and nothing open.
    EXPECT_TRUE(taal.Database().Connected());
    EXPECT_EQ(taal.Database().DataSetCount(), 0u);
}

TEST_F(FillTaalTable, UnreadableTableSetsIgnoreTaal)
{
    WriteLanguage(SevenFieldRows());
    // A wrong format version in the data header: every open fails.
    const std::string data = dir + "/Language.dat";
    std::string bytes = ReadBytes(data);
    bytes[8] = 2;
    WriteBytes(data, bytes);
    TTaal_dat taal(dir, translations::OpenLanguageTable);
    taal.FillTaal(2);
    EXPECT_TRUE(taal.IgnoreTaal());
    EXPECT_TRUE(taal.TaalData.empty());
    EXPECT_EQ(taal.Database().DataSetCount(), 0u);
}

// A damaged index met while loading: the key count of the last leaf (the table opens on the first leaf, and
// reading fails when it reaches the last one), or a first leaf naming itself as its right neighbour (a
// walk that trusted the chain would deliver its rows for ever, and the load would grow without bound).
TEST_F(FillTaalTable, ReadErrorPropagatesAndReleasesTheTable)
{
    for (const bool selfLinked : {false, true}) {
        SCOPED_TRACE(selfLinked ? "first leaf linked to itself" : "key count of the last leaf");
        WriteFourHundredRows();
        const std::string index = dir + "/Language.idx";
        std::string bytes = ReadBytes(index);
        const std::size_t leaf = EndLeafAt(bytes, selfLinked ? LeftAt : RightAt);
        ASSERT_NE(leaf, 0u);
        if (selfLinked) {
            const auto number = static_cast<int32_t>((leaf - tableengine::IndexFileHeaderSize) / 1024 + 1);
            std::memcpy(bytes.data() + leaf + RightAt, &number, 4);
        } else {
            bytes[leaf + 1] = '\xff';
            bytes[leaf + 2] = '\xff';
        }
        WriteBytes(index, bytes);

        TTaal_dat taal(dir, translations::OpenLanguageTable);
        try {
            taal.FillTaal(1);
            ADD_FAILURE() << "reading a corrupt table succeeded with " << taal.TaalData.size() << " texts";
        } catch (const tableengine::ETblEngineError& e) {
            EXPECT_EQ(e.ErrorCode, 8965);
        }
        EXPECT_LE(taal.TaalData.size(), 400u);
        EXPECT_FALSE(taal.IgnoreTaal());
        EXPECT_EQ(taal.Database().DataSetCount(), 0u);
        EXPECT_TRUE(TableReleased());
    }
}

TEST_F(FillTaalTable, DatabaseIsReleasedWithTheModule)
{
    {
        TTaal_dat taal(dir, translations::OpenLanguageTable);
        EXPECT_NE(tableengine::TTblSession::Default().FindDatabase(u"Taal"), nullptr);
    }
    EXPECT_EQ(tableengine::TTblSession::Default().FindDatabase(u"Taal"), nullptr);
    // Without the module's database the program's opener refuses, rather than open "Taal" as a temporary
    // database on the current directory.
    EXPECT_THROW(translations::OpenLanguageTable(dir), std::runtime_error);
}
