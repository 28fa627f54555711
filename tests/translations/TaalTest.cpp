#include "translations/Taal.h"

#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using platform::Text;
using translations::TLanguageTable;
using translations::TTaal_dat;

namespace {

// A table held in memory, delivering its rows in the given order.
struct Rows {
    int fields = 0;
    std::vector<std::vector<Text>> rows; // field 0 holds the number as text
};

class MemoryTable : public TLanguageTable {
public:
    explicit MemoryTable(const Rows& rows, bool* closed) : rows_(rows), closed_(closed) {}
    int FieldCount() const override { return rows_.fields; }
    void First() override { pos_ = 0; }
    bool Eof() const override { return pos_ >= rows_.rows.size(); }
    void Next() override { ++pos_; }
    int32_t FieldAsInteger(int field) const override
    {
        return static_cast<int32_t>(platform::TextToInt(Cell(field)).value_or(0));
    }
    Text FieldAsString(int field) const override { return Cell(field); }
    void Close() override { *closed_ = true; }

private:
    Text Cell(int field) const
    {
        if (field < 0 || field >= rows_.fields)
            throw std::out_of_range("no such field");
        const auto& row = rows_.rows.at(pos_);
        return static_cast<std::size_t>(field) < row.size() ? row[static_cast<std::size_t>(field)] : Text();
    }
    const Rows& rows_;
    std::size_t pos_ = 0;
    bool* closed_;
};

class TaalTest : public ::testing::Test {
protected:
    std::string dir = (std::filesystem::temp_directory_path() / ("taal-test-" + std::to_string(::getpid())) /
                       "3Tdata").string();
    void SetUp() override { std::filesystem::create_directories(std::filesystem::path(dir).parent_path()); }
    void TearDown() override { std::filesystem::remove_all(std::filesystem::path(dir).parent_path()); }

    // A module whose table opens after `failures` failed attempts.
    std::unique_ptr<TTaal_dat> Module(const Rows& rows, int failures = 0)
    {
        return std::make_unique<TTaal_dat>(dir, [this, &rows, failures](const std::string& d) {
            opened.push_back(d);
            if (static_cast<int>(opened.size()) <= failures)
                throw std::runtime_error("cannot open");
            return std::make_unique<MemoryTable>(rows, &closed);
        });
    }
    std::vector<std::string> opened;
    bool closed = false;
};

// Seven fields: number and languages 0 to 5; language k's text is "<k>:<number>".
Rows SevenLanguages()
{
    Rows r;
    r.fields = 7;
    for (const char16_t* n : {u"340", u"347"}) {
        std::vector<Text> row{n};
        for (int k = 0; k < 6; ++k)
            row.push_back(platform::IntToText(k) + u":" + n);
        r.rows.push_back(row);
    }
    return r;
}

} // namespace

TEST_F(TaalTest, CreatingTheModuleMakesTheDatabaseFolder)
{
    Rows none;
    auto taal = Module(none);
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    EXPECT_EQ(taal->Directory(), dir);
    EXPECT_FALSE(taal->IgnoreTaal());
    // Before FillTaal every look-up gives "???".
    EXPECT_EQ(taal->GetTaal(340), u"???");
}

TEST_F(TaalTest, LookUpTakesTheFirstNonEmptyEntryOfTheNumber)
{
    Rows none;
    auto taal = Module(none);
    taal->TaalData = {{340, u""}, {347, u"Accept"}, {340, u"Receiving"}, {340, u"Later"}, {5, u""}};
    EXPECT_EQ(taal->GetTaal(340), u"Receiving");
    EXPECT_EQ(taal->GetTaal(347), u"Accept");
    EXPECT_EQ(taal->GetTaal(5), u"???");
    EXPECT_EQ(taal->GetTaal(1060), u"???");
}

TEST_F(TaalTest, FillTaalLoadsTheChosenColumnOrLanguageThree)
{
    const Rows rows = SevenLanguages();
    const std::map<int, int> expected{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {5, 5}, {6, 3}, {99, 3}, {-1, 3},
                                      {2147483647, 3}};
    for (const auto& [nr, loaded] : expected) {
        auto taal = Module(rows);
        closed = false;
        taal->FillTaal(nr);
        EXPECT_FALSE(taal->IgnoreTaal());
        ASSERT_EQ(taal->TaalData.size(), 2u) << nr;
        EXPECT_EQ(taal->TaalData[0].id, 340);
        EXPECT_EQ(taal->GetTaal(347), platform::IntToText(loaded) + u":347") << nr;
        EXPECT_TRUE(closed);
    }
}

TEST_F(TaalTest, EmptyTextFallsBackToLanguageThree)
{
    Rows rows;
    rows.fields = 7;
    rows.rows = {{u"1", u"a", u"", u"", u"three", u"", u""}, {u"2", u"b", u"", u"", u"", u"", u""},
                 {u"2", u"b", u"later", u"", u"x", u"", u""}};
    auto taal = Module(rows);
    taal->FillTaal(1);
    EXPECT_EQ(taal->GetTaal(1), u"three");
    // Empty in the language and in language 3: a later row with the same number answers.
    EXPECT_EQ(taal->GetTaal(2), u"later");
    ASSERT_EQ(taal->TaalData.size(), 3u);
    EXPECT_EQ(taal->TaalData[1].Value, u"");
}

TEST_F(TaalTest, SecondOpeningAttemptIsMade)
{
    const Rows rows = SevenLanguages();
    auto taal = Module(rows, 1);
    taal->FillTaal(0);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], dir);
    EXPECT_FALSE(taal->IgnoreTaal());
    EXPECT_EQ(taal->GetTaal(340), u"0:340");
}

TEST_F(TaalTest, TableThatCannotBeOpenedSetsIgnoreTaalForGood)
{
    const Rows rows = SevenLanguages();
    auto taal = Module(rows, 2);
    taal->TaalData = {{340, u"stale"}};
    taal->FillTaal(0);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_TRUE(taal->IgnoreTaal());
    EXPECT_TRUE(taal->TaalData.empty());
    // Once set it stays set, even when the table opens later.
    taal->FillTaal(0);
    EXPECT_TRUE(taal->IgnoreTaal());
    EXPECT_TRUE(taal->TaalData.empty());
}

TEST_F(TaalTest, EmptyTableKeepsTranslationsOnAndAnswersUnknown)
{
    Rows rows;
    rows.fields = 7;
    auto taal = Module(rows);
    taal->FillTaal(3);
    EXPECT_FALSE(taal->IgnoreTaal());
    EXPECT_TRUE(taal->TaalData.empty());
    EXPECT_EQ(taal->GetTaal(348), u"???");
}

TEST_F(TaalTest, TableWithTooFewColumnsReadsMissingTextsAsEmpty)
{
    Rows rows;
    rows.fields = 3;
    rows.rows = {{u"340", u"a", u"b"}};
    auto taal = Module(rows);
    taal->FillTaal(1);
    EXPECT_EQ(taal->GetTaal(340), u"b");
    // Language 5 is missing, and so is language 3 in its place.
    taal->FillTaal(5);
    ASSERT_EQ(taal->TaalData.size(), 1u);
    EXPECT_EQ(taal->GetTaal(340), u"???");
}

TEST(TaalProgramTest, MissingLanguageTableSetsIgnoreTaal)
{
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("taal-prog-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(dir);
    const std::string data = platform::JoinPath(dir, "3Tdata");
    {
        // The data module keeps its database connected (the folder's lock file open) while it lives.
        TTaal_dat taal(data, translations::OpenLanguageTable);
        EXPECT_TRUE(std::filesystem::is_directory(data));
        taal.FillTaal(3);
        EXPECT_TRUE(taal.IgnoreTaal());
        EXPECT_EQ(taal.GetTaal(347), u"???");
    }
    // Gone with it: nothing in the folder is open any more (Windows refuses to remove an open file).
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    EXPECT_FALSE(ec) << ec.message();
}
