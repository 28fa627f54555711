#include "treelist/Cells.h"

#include <gtest/gtest.h>

using namespace treelist;

TEST(Cells, CellAtCutsAtEverySeparator)
{
    struct Case { const char* text; const char* sep; int index; const char* cell; };
    const Case cases[] = {
        {"a;b;c", ";", 0, "a"}, {"a;b;c", ";", 1, "b"}, {"a;b;c", ";", 2, "c"}, {"a;b;c", ";", 5, ""},
        {"a;b;c", ";", -1, ""}, {"a;;c", ";", 1, ""}, {"a;;c", ";", 2, "c"}, {"a;", ";", 1, ""},
        {"", ";", 0, ""}, {"a<>b<>c", "<>", 1, "b"}, {"a<>b", "<>", 2, ""}, {"a;b", "", 0, "a;b"},
        {"a;b", "", 1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CellAt(c.text, c.sep, c.index), QString(c.cell)) << c.text << " [" << c.index << "]";
}

TEST(Cells, ReplaceCellPadsToTheColumnsAndReplacesOneCell)
{
    struct Case { const char* text; int columns; int index; const char* value; const char* result; };
    const Case cases[] = {
        {"a", 3, 1, "X", "a;X;;"},
        {"a;b;c", 3, 1, "X", "a;X;c;"},
        {"a;b;c", 3, 0, "X", "X;b;c;"},
        {"a;b;c", 3, 2, "X", "a;b;X;"},
        {"a;b;c;d", 3, 3, "X", "a;b;c;X"},
        {"", 2, 0, "X", "X;;"},
        {"a", 0, 0, "X", "X"},
        {"a;b", 0, 1, "X", "a;X"},
        {"a;", 0, 1, "X", "a;X"},   // the empty cell after a trailing separator exists
        {"a", 0, 2, "X", "a"},      // a cell that does not exist is not made up
        {"a;b", 0, -1, "X", "a;b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplaceCell(c.text, ";", c.columns, c.index, c.value), QString(c.result))
            << c.text << " columns " << c.columns << " index " << c.index;
    EXPECT_EQ(ReplaceCell("a<>b", "<>", 2, 1, "X"), QString("a<>X<>"));
}

TEST(Cells, MoveCellMovesWhenBothIndexesHaveCells)
{
    struct Case { const char* text; int from; int to; const char* result; };
    const Case cases[] = {
        {"a;b;c", 0, 2, "b;c;a"}, {"a;b;c", 2, 0, "c;a;b"}, {"a;b;c", 1, 1, "a;b;c"},
        {"a;b", 0, 2, "a;b"},     {"a;b;c;d", 3, 1, "a;d;b;c"}, {"", 0, 1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MoveCell(c.text, ";", c.from, c.to), QString(c.result)) << c.text;
}
