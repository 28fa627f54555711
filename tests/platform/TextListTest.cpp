#include "platform/TextList.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace platform;

namespace {
std::vector<Text> Items(const TTextList& list) { return list.Items(); }
} // namespace

TEST(TextList, AddAppendsAndSortIgnoresLetterCase)
{
    TTextList list;
    EXPECT_EQ(list.Add(u"gsv"), 0);
    EXPECT_EQ(list.Add(u"GSA"), 1);
    EXPECT_EQ(list.Add(u"bod"), 2);
    EXPECT_EQ(list.Add(u"Apb"), 3);
    EXPECT_EQ(Items(list), (std::vector<Text>{u"gsv", u"GSA", u"bod", u"Apb"}));
    list.Sort();
    EXPECT_EQ(Items(list), (std::vector<Text>{u"Apb", u"bod", u"GSA", u"gsv"}));
    EXPECT_FALSE(list.Sorted());
    list.Add(u"AAM");
    EXPECT_EQ(list[4], u"AAM"); // a list that was sorted once still appends
}

TEST(TextList, FindSearchesASortedListAndGivesTheInsertPosition)
{
    TTextList list;
    for (const char16_t* t : {u"BOD", u"GSA", u"GSV", u"RMB", u"RTE"})
        list.Add(t);
    struct Case {
        const char16_t* text;
        bool found;
        int index;
    };
    const Case cases[] = {{u"AAM", false, 0}, {u"BOD", true, 0}, {u"gsv", true, 2}, {u"GSB", false, 2},
                          {u"RTE", true, 4},  {u"ZDA", false, 5}, {u"", false, 0}};
    for (const Case& c : cases) {
        int index = -1;
        EXPECT_EQ(list.Find(c.text, index), c.found) << TextToUtf8(c.text);
        EXPECT_EQ(index, c.index) << TextToUtf8(c.text);
    }
}

TEST(TextList, IndexOfFindsTheFirstEqualItemSortedOrNot)
{
    TTextList list;
    for (const char16_t* t : {u"RMC", u"gga", u"GLL", u"GGA"})
        list.Add(t);
    EXPECT_EQ(list.IndexOf(u"GGA"), 1);
    EXPECT_EQ(list.IndexOf(u"vtg"), -1);
    list.SetSorted(true);
    EXPECT_EQ(Items(list), (std::vector<Text>{u"gga", u"GGA", u"GLL", u"RMC"}));
    EXPECT_EQ(list.IndexOf(u"Gga"), 0);
    EXPECT_EQ(list.IndexOf(u"rmc"), 3);
    EXPECT_EQ(list.Add(u"HDT"), 3);
    EXPECT_EQ(list.Add(u"GGA"), 2); // after its equals
    EXPECT_EQ(Items(list), (std::vector<Text>{u"gga", u"GGA", u"GGA", u"GLL", u"HDT", u"RMC"}));
    EXPECT_EQ(list.IndexOf(u"hdt"), 4);
}

TEST(TextList, EditingAndBounds)
{
    TTextList list;
    list.Add(u"COM1");
    list.Insert(0, u"COM3");
    list.Insert(2, u"COM5");
    EXPECT_EQ(Items(list), (std::vector<Text>{u"COM3", u"COM1", u"COM5"}));
    list.Delete(1);
    EXPECT_EQ(Items(list), (std::vector<Text>{u"COM3", u"COM5"}));
    EXPECT_THROW(list[2], std::out_of_range);
    EXPECT_THROW(list[-1], std::out_of_range);
    EXPECT_THROW(list.Delete(2), std::out_of_range);
    EXPECT_THROW(list.Insert(3, u"x"), std::out_of_range);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.Empty());
    int index = -1;
    EXPECT_FALSE(list.Find(u"COM3", index));
    EXPECT_EQ(index, 0);
}
