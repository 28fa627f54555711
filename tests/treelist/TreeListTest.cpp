// The tree's columns, cells, demonstration content, header creation and geometry.
#include "Fixture.h"

#include "treelist/TreeListError.h"

#include <stdexcept>
#include <string>

using namespace treelist;
using namespace treelist::test;

namespace {

using TreeList = TreeFixture;

std::u16string Headers(const TTreeList& tree)
{
    std::u16string s;
    for (int i = 0; i < tree.Columns().Count(); ++i)
        s += (i ? u"|" : u"") + tree.Columns().Items(i).Header();
    return s;
}

TEST_F(TreeList, DefaultsAndVersion)
{
    EXPECT_EQ(tree->Separator(), u";");
    EXPECT_TRUE(tree->ColumnLines());
    EXPECT_EQ(tree->ColumnLineColor(), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(tree->ColumnSpace(), 4);
    EXPECT_EQ(tree->ItemHeight(), 16);
    EXPECT_EQ(tree->Indent(), 19);
    EXPECT_EQ(tree->Columns().Count(), 0);
    EXPECT_EQ(tree->Header(), nullptr); // no header before the window is created
    EXPECT_EQ(tree->HeaderSettings().Height(), 18);
    EXPECT_TRUE(tree->HeaderSettings().Visible());
    EXPECT_FALSE(tree->HeaderSettings().AllowResize());
    EXPECT_FALSE(tree->HeaderSettings().AllowMove());
    EXPECT_FALSE(tree->HeaderSettings().Flat());
    EXPECT_EQ(tree->Version(), u"1.1.1.6");
    tree->SetVersion(u"2.0");
    EXPECT_EQ(tree->Version(), u"1.1.1.6");

    TColumnItem& column = tree->Columns().Add();
    EXPECT_EQ(column.Width(), 50);
    EXPECT_EQ(column.Alignment(), TAlignment::taLeftJustify);
    EXPECT_EQ(column.HeaderAlign(), TAlignment::taLeftJustify);
    EXPECT_EQ(column.HeaderImage(), -1);
    EXPECT_FALSE(column.Image());
    EXPECT_EQ(column.Font(), tree->font());
}

TEST_F(TreeList, TestFillGivesTenNodesUnderThreeColumns)
{
    tree->Columns().Add().SetHeader(u"old");
    tree->AddNode(u"old node");
    tree->TestFill();
    EXPECT_EQ(Headers(*tree), u"Column 1|Column 2|Column 3");
    const auto nodes = tree->NodesInTreeOrder();
    ASSERT_EQ(nodes.size(), 10u);
    EXPECT_EQ(nodes[0]->Text(), u"item 1;A;1");
    EXPECT_EQ(nodes[4]->Text(), u"item 5;E;5");
    EXPECT_EQ(nodes[9]->Text(), u"item 10;J;10");
    EXPECT_EQ(tree->GetNodeColumn(nodes[9], 1), u"J");
}

TEST_F(TreeList, GetAndSetNodeColumn)
{
    AddColumns({50, 50, 50});
    TTreeNode* node = tree->AddNode(u"a;b;c");
    EXPECT_EQ(tree->GetNodeColumn(node, 1), u"b");
    EXPECT_EQ(tree->GetNodeColumn(node, 5), u"");
    EXPECT_EQ(tree->GetNodeColumn(nullptr, 0), u"");
    tree->SetNodeColumn(node, 1, u"X");
    EXPECT_EQ(node->Text(), u"a;X;c;");
    node->SetText(u"a");
    tree->SetNodeColumn(node, 1, u"X");
    EXPECT_EQ(node->Text(), u"a;X;;");
    tree->SetNodeColumn(nullptr, 1, u"X"); // ignored

    tree->SetSeparator(u" | ");
    node->SetText(u"a | b");
    EXPECT_EQ(tree->GetNodeColumn(node, 1), u"b");
    tree->SetNodeColumn(node, 0, u"Z");
    EXPECT_EQ(node->Text(), u"Z | b |  | ");
}

TEST_F(TreeList, MoveColumnMovesTheColumnAndEveryNodesCell)
{
    struct Case { int from; int to; const char16_t* headers; const char16_t* text; const char16_t* child; };
    const Case cases[] = {
        {0, 2, u"H1|H2|H0", u"b;c;a", u"y;x"}, // the child has too few cells for index 2
        {2, 0, u"H2|H0|H1", u"c;a;b", u"x;y"},
        {1, 0, u"H1|H0|H2", u"b;a;c", u"y;x"},
        {1, 1, u"H0|H1|H2", u"a;b;c", u"x;y"},
    };
    for (const Case& c : cases) {
        tree->Columns().Clear();
        tree->ClearNodes();
        for (const char16_t* h : {u"H0", u"H1", u"H2"})
            tree->Columns().Add().SetHeader(h);
        TTreeNode* node = tree->AddNode(u"a;b;c");
        TTreeNode* child = tree->AddChildNode(node, u"x;y");
        tree->MoveColumn(c.from, c.to);
        EXPECT_EQ(Headers(*tree), c.headers) << c.from << "->" << c.to;
        EXPECT_EQ(node->Text(), c.text) << c.from << "->" << c.to;
        EXPECT_EQ(child->Text(), (c.from < 2 && c.to < 2) ? std::u16string(c.child) : u"x;y");
    }
}

TEST_F(TreeList, MoveColumnRejectsInvalidIndexesAndChangesNothing)
{
    AddColumns({50, 60, 70});
    TTreeNode* node = tree->AddNode(u"a;b;c");
    const std::pair<int, int> fromErrors[] = {{-1, 0}, {3, 0}, {-1, 9}};
    for (const auto& [from, to] : fromErrors) {
        try {
            tree->MoveColumn(from, to);
            ADD_FAILURE() << "no error for " << from;
        } catch (const ETreeListError& e) {
            EXPECT_STREQ(e.what(), "Invalid FromIndex column index");
        }
    }
    for (const int to : {-1, 3}) {
        try {
            tree->MoveColumn(0, to);
            ADD_FAILURE() << "no error for " << to;
        } catch (const ETreeListError& e) {
            EXPECT_STREQ(e.what(), "Invalid ToIndex column index");
        }
    }
    EXPECT_EQ(node->Text(), u"a;b;c");
    EXPECT_EQ(tree->Columns().Items(0).Width(), 50);
    EXPECT_EQ(tree->Columns().Items(2).Width(), 70);
}

TEST_F(TreeList, ColumnChangesRebuildTheHeader)
{
    Show();
    TTLHeader* header = tree->Header();
    ASSERT_NE(header, nullptr);
    AddColumns({50, 80});
    EXPECT_EQ(header->SectionCount(), 2);
    tree->Columns().Items(1).SetHeader(u"Speed");
    tree->Columns().Items(1).SetWidth(90);
    EXPECT_EQ(header->SectionCaption(1), u"Speed");
    EXPECT_EQ(header->SectionWidth(1), 90);
    tree->Columns().Items(1).SetIndex(0);
    EXPECT_EQ(header->SectionCaption(0), u"Speed");

    // The first section is one pixel narrower for a borderless tree under a bordered header, one wider
    // for a flat header over a bordered tree.
    EXPECT_EQ(header->SectionWidth(0), 90);
    tree->SetBorderStyle(platform::ui::TBorderStyle::bsNone);
    EXPECT_EQ(header->SectionWidth(0), 89);
    tree->SetBorderStyle(platform::ui::TBorderStyle::bsSingle);
    tree->HeaderSettings().SetFlat(true);
    tree->UpdateColumns();
    EXPECT_EQ(header->SectionWidth(0), 91);
    EXPECT_TRUE(tree->HeaderSettings().Flat());
    EXPECT_EQ(header->BorderStyle(), platform::ui::TBorderStyle::bsNone);

    // Copying columns: everything but the header image.
    TColumnCollection source(nullptr);
    TColumnItem& c = source.Add();
    c.SetWidth(33);
    c.SetHeader(u"Copied");
    c.SetAlignment(TAlignment::taRightJustify);
    c.SetHeaderAlign(TAlignment::taCenter);
    c.SetImage(true);
    c.SetHeaderImage(4);
    tree->SetColumns(source);
    ASSERT_EQ(tree->Columns().Count(), 1);
    const TColumnItem& copy = tree->Columns().Items(0);
    EXPECT_EQ(copy.Width(), 33);
    EXPECT_EQ(copy.Header(), u"Copied");
    EXPECT_EQ(copy.Alignment(), TAlignment::taRightJustify);
    EXPECT_EQ(copy.HeaderAlign(), TAlignment::taCenter);
    EXPECT_TRUE(copy.Image());
    EXPECT_EQ(copy.HeaderImage(), -1);
    EXPECT_EQ(header->SectionCount(), 1);
    EXPECT_THROW(tree->Columns().Items(1), std::out_of_range);
}

TEST_F(TreeList, TextRequestsGetAtMost255Characters)
{
    const std::u16string text(300, u'x');
    TTreeNode* node = tree->AddNode(text);
    EXPECT_EQ(node->text(0).size(), 255);
    EXPECT_EQ(node->Text(), text);
    node->setText(0, QString(260, QLatin1Char('y')));
    EXPECT_EQ(node->Text().size(), 260u);
}

TEST_F(TreeList, ItemHeightIsPassedToTheView)
{
    TTreeNode* node = tree->AddNode(u"a");
    Show();
    EXPECT_EQ(tree->visualItemRect(node).height(), 16);
    tree->SetItemHeight(22);
    EXPECT_EQ(tree->GetItemHeight(), 22);
    EXPECT_EQ(tree->visualItemRect(node).height(), 22);
}

TEST_F(TreeList, NodesInTreeOrderWithTheirLevels)
{
    TTreeNode* a = tree->AddNode(u"a");
    TTreeNode* b = tree->AddNode(u"b");
    TTreeNode* a1 = tree->AddChildNode(a, u"a1");
    TTreeNode* a11 = tree->AddChildNode(a1, u"a11");
    TTreeNode* b1 = tree->AddChildNode(b, u"b1");
    const std::vector<TTreeNode*> expected{a, a1, a11, b, b1};
    EXPECT_EQ(tree->NodesInTreeOrder(), expected);
    EXPECT_EQ(a11->Level(), 2);
    EXPECT_EQ(a11->Parent(), a1);
    EXPECT_EQ(b->Level(), 0);
    a->Expand(true);
    EXPECT_TRUE(a1->Expanded());
    tree->ClearNodes();
    EXPECT_TRUE(tree->NodesInTreeOrder().empty());
}

TEST_F(TreeList, CreateHeaderPlacesItAboveTheTreeAndMovesATreeTooHighUp)
{
    tree->SetBounds(10, 10, 200, 100);
    Show();
    ASSERT_NE(tree->Header(), nullptr);
    EXPECT_EQ(tree->Header()->parentWidget(), window.get());
    EXPECT_EQ(tree->geometry(), QRect(10, 16, 200, 100));
    EXPECT_EQ(tree->Header()->geometry(), QRect(10, 0, 200, 18));
    EXPECT_TRUE(tree->Header()->isVisible());
    EXPECT_EQ(tree->Header()->BorderStyle(), platform::ui::TBorderStyle::bsSingle);
}

TEST_F(TreeList, CreateHeaderLeavesALowerTreeAndHidesTheHeaderWhenNotVisible)
{
    tree->SetBounds(10, 40, 200, 100);
    tree->HeaderSettings().SetVisible(false);
    tree->HeaderSettings().SetAllowResize(true); // given to the header when it is created
    Show();
    ASSERT_NE(tree->Header(), nullptr);
    EXPECT_EQ(tree->geometry(), QRect(10, 40, 200, 100));
    EXPECT_EQ(tree->Header()->geometry(), QRect(10, 24, 200, 18));
    EXPECT_FALSE(tree->Header()->isVisible());
    EXPECT_TRUE(tree->Header()->AllowResize());
}

TEST_F(TreeList, SetBoundsSharesTheSpaceWithTheHeader)
{
    Show();
    struct Case { TAlign align; bool visible; QRect tree; QRect header; };
    const Case cases[] = {
        {TAlign::alNone, true, {20, 50, 300, 200}, {20, 34, 300, 18}},
        {TAlign::alBottom, true, {20, 50, 300, 200}, {20, 34, 300, 18}},
        {TAlign::alTop, true, {20, 66, 300, 184}, {20, 50, 300, 18}},
        {TAlign::alClient, true, {20, 66, 300, 184}, {20, 50, 300, 18}},
        {TAlign::alLeft, false, {20, 50, 300, 200}, {}},
        {TAlign::alNone, false, {20, 50, 300, 200}, {}},
    };
    for (const Case& c : cases) {
        tree->HeaderSettings().SetVisible(true);
        tree->SetBounds(0, 30, 100, 100);
        tree->HeaderSettings().SetVisible(c.visible);
        const QRect before = tree->Header()->geometry();
        tree->SetAlign(c.align);
        tree->SetBounds(20, 50, 300, 200);
        EXPECT_EQ(tree->geometry(), c.tree) << static_cast<int>(c.align);
        EXPECT_EQ(tree->Header()->geometry(), c.visible ? c.header : before) << static_cast<int>(c.align);
        EXPECT_EQ(tree->Header()->isVisible(), c.visible);
    }
}

TEST_F(TreeList, HeaderHeightVisibilityAndClientRect)
{
    Show();
    TTLHeader* header = tree->Header();
    ASSERT_NE(header, nullptr);
    tree->HeaderSettings().SetHeight(24);
    EXPECT_EQ(header->geometry(), QRect(10, 40 + 2 - 24, 300, 24));
    EXPECT_EQ(tree->geometry(), QRect(10, 40, 300, 200));
    EXPECT_EQ(tree->GetClientRect().height(), tree->viewport()->height() + 24);

    tree->hide();
    EXPECT_FALSE(header->isVisible());
    tree->show();
    EXPECT_TRUE(header->isVisible());
    tree->HeaderSettings().SetVisible(false);
    EXPECT_FALSE(header->isVisible());
    tree->hide();
    tree->show();
    EXPECT_FALSE(header->isVisible());
    tree->HeaderSettings().SetVisible(true);
    EXPECT_TRUE(header->isVisible());

    // Settings reach the header.
    tree->HeaderSettings().SetColor(QColor(10, 20, 30));
    EXPECT_EQ(header->Color(), QColor(10, 20, 30));
    EXPECT_EQ(tree->HeaderSettings().Color(), QColor(10, 20, 30));
    QFont font(QStringLiteral("DejaVu Serif"), 11);
    tree->HeaderSettings().SetFont(font);
    EXPECT_EQ(header->font(), font);
    tree->HeaderSettings().SetAllowMove(true);
    EXPECT_TRUE(header->AllowMove());
    tree->HeaderSettings().SetAllowResize(true);
    EXPECT_TRUE(header->AllowResize());
}

TEST_F(TreeList, TheTreeReleasesItsHeader)
{
    Show();
    QPointer<TTLHeader> header = tree->Header();
    ASSERT_TRUE(header);
    delete tree;
    tree = nullptr;
    EXPECT_FALSE(header);
}

} // namespace
