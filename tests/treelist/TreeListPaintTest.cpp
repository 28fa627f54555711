// Painting of the tree checked in rendered images.
#include "Fixture.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <QTest>

#include <string>
#include <vector>

using namespace treelist;
using namespace treelist::test;

namespace {

class PlainTree : public TreeFixture {
protected:
    static std::set<int> TextInk(const QImage& image, int top)
    {
        std::set<int> ink = InkColumns(image, top, 16);
        ink.erase(ink.begin(), ink.lower_bound(15));
        return ink;
    }

    // The check dialog's result tree: no columns, header hidden, read-only, indent 19, item height 16.
    void SetUp() override
    {
        TreeFixture::SetUp();
        tree->HeaderSettings().SetVisible(false);
        tree->SetReadOnly(true);
        tree->SetIndent(19);
        tree->SetItemHeight(16);
        port = tree->AddNode(u"COM1 4800 baud");
        sentence = tree->AddChildNode(port, u"GPS;AIS position from GPRMC");
        tree->AddNode(u"COM2");
        Show();
    }
    TTreeNode* port = nullptr;
    TTreeNode* sentence = nullptr;
};

TEST_F(PlainTree, RowsAreItemHeightHighAndTextIsDrawnWholeFromTheTextStart)
{
    EXPECT_EQ(tree->GetItemHeight(), 16);
    EXPECT_EQ(tree->visualItemRect(port).height(), 16);
    port->Expand(false);
    const QImage image = Viewport();
    const QFontMetrics fm(tree->font());

    // Text pixels right of the branch indicator.
    const auto root = TextInk(image, RowTop(port));
    ASSERT_FALSE(root.empty());
    EXPECT_GE(*root.begin(), 19);
    EXPECT_LE(*root.begin(), 19 + 3);
    EXPECT_NEAR(*root.rbegin(), 19 + fm.horizontalAdvance(QStringLiteral("COM1 4800 baud")), 3);

    // One level deeper: one indent further right; the separator splits nothing without columns.
    const auto child = TextInk(image, RowTop(sentence));
    ASSERT_FALSE(child.empty());
    EXPECT_GE(*child.begin(), 38);
    EXPECT_LE(*child.begin(), 38 + 3);
    EXPECT_NEAR(*child.rbegin(), 38 + fm.horizontalAdvance(QStringLiteral("GPS;AIS position from GPRMC")), 3);

    // No column lines without columns: below the rows the view is plain.
    const QRgb base = tree->palette().color(QPalette::Base).rgb();
    for (int y = tree->visualItemRect(tree->NodesInTreeOrder().back()).bottom() + 1; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), base) << x << "," << y;
}

TEST_F(PlainTree, LongTextEndsWithAnEllipsisFourPixelsBeforeTheRowsRightEdge)
{
    const QString text(200, QLatin1Char('W'));
    port->SetText(text.toStdU16String());
    const QImage image = Viewport();
    const int right = tree->viewport()->width();
    // Any trace of text counts: the ellipsis's dots are thin, and some systems smooth them to a light grey.
    const auto ink = InkColumns(image, RowTop(port), 16, 230);
    ASSERT_FALSE(ink.empty());
    EXPECT_LT(*ink.rbegin(), right - 4);
    // The text cell runs from the text start (19) to four pixels before the row's right edge: it shows as
    // many letters as fit there, then the ellipsis. Letter widths are the font's, whichever the system has.
    const QFontMetrics fm(tree->font());
    const QString shown = fm.elidedText(text, Qt::ElideRight, right - 4 - 19);
    ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_NEAR(*ink.rbegin(), 19 + fm.horizontalAdvance(shown), 3);
}

TEST_F(PlainTree, ExpandsCollapsesAndSelectsWithTheMouse)
{
    EXPECT_FALSE(tree->visualItemRect(sentence).isValid());
    // A click on the branch indicator left of the text expands without selecting.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(9, RowMid(port)));
    EXPECT_TRUE(port->Expanded());
    EXPECT_TRUE(tree->visualItemRect(sentence).isValid());
    EXPECT_EQ(tree->Selected(), nullptr);

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(60, RowMid(sentence)));
    EXPECT_EQ(tree->Selected(), sentence);

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(9, RowMid(port)));
    EXPECT_FALSE(port->Expanded());
    EXPECT_FALSE(tree->visualItemRect(sentence).isValid());

    // A click right of the row's text still selects the node.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(250, RowMid(port)));
    EXPECT_EQ(tree->Selected(), port);
}

TEST_F(PlainTree, SelectedRowIsFilledWithTheHighlightFromTheTextStart)
{
    tree->SetSelected(port);
    const QImage image = Viewport();
    const QColor highlight = tree->palette().color(QPalette::Active, QPalette::Highlight);
    const int y = RowMid(port);
    const int right = tree->viewport()->width();
    for (const int x : {22, 150, right - 3})
        EXPECT_EQ(image.pixel(x, y), highlight.rgb()) << x;
    // The text shows in the highlight text colour.
    const QColor text = tree->palette().color(QPalette::Active, QPalette::HighlightedText);
    int textPixels = 0;
    for (int x = 19; x < 19 + 60; ++x)
        for (int row = RowTop(port); row < RowTop(port) + 16; ++row)
            textPixels += image.pixel(x, row) == text.rgb();
    EXPECT_GT(textPixels, 10);
    // Other rows keep the tree's colour.
    EXPECT_EQ(image.pixel(150, RowMid(tree->NodesInTreeOrder().back())), tree->palette().color(QPalette::Base).rgb());
}

class ColumnTree : public TreeFixture {
protected:
    void SetUp() override
    {
        TreeFixture::SetUp();
        AddColumns({50, 50, 50});
        Show();
    }
};

TEST_F(ColumnTree, EachCellIsDrawnInsideItsColumn)
{
    TTreeNode* three = tree->AddNode(u"a;b;c");
    TTreeNode* two = tree->AddNode(u"a;b");
    TTreeNode* four = tree->AddNode(u"a;b;c;d");
    const QImage image = Viewport();
    const int right = tree->viewport()->width();

    // Cell 0 from the text start (19) to 50 - 4, cell 1 from 50 to 100 - 4, cell 2 from 100 on.
    const auto ink3 = InkColumns(image, RowTop(three), 16);
    for (const int x : ink3)
        EXPECT_TRUE((x >= 19 && x < 46) || (x >= 50 && x < 96) || (x >= 100 && x < right - 4)) << x;
    EXPECT_TRUE(AnyIn(ink3, 19, 46));
    EXPECT_TRUE(AnyIn(ink3, 50, 96));
    EXPECT_TRUE(AnyIn(ink3, 100, 146));

    const auto ink2 = InkColumns(image, RowTop(two), 16);
    EXPECT_TRUE(AnyIn(ink2, 19, 46));
    EXPECT_TRUE(AnyIn(ink2, 50, 96));
    EXPECT_FALSE(AnyIn(ink2, 96, right));

    // The fourth cell comes after the third column.
    const auto ink4 = InkColumns(image, RowTop(four), 16);
    EXPECT_TRUE(AnyIn(ink4, 100, 146));
    EXPECT_FALSE(AnyIn(ink4, 146, 150));
    EXPECT_TRUE(AnyIn(ink4, 150, right - 4));
}

TEST_F(ColumnTree, CellRectanglesFollowTheColumnsAndTheSeparator)
{
    struct Cell { int column; QRect rect; std::u16string value; };
    std::vector<Cell> cells;
    tree->OnDrawNodeCell = [&](QObject* sender, QPainter&, const QRect& rect, int column, TTreeNode*,
                               const platform::Text& value, QStyle::State, bool& defaultDraw) {
        EXPECT_EQ(sender, tree);
        EXPECT_TRUE(defaultDraw);
        defaultDraw = false;
        cells.push_back({column, rect, value});
    };
    TTreeNode* node = tree->AddNode(u"a;b;c;d");
    Viewport();
    const int right = tree->viewport()->width();
    const int top = RowTop(node);
    ASSERT_EQ(cells.size(), 4u);
    const int lefts[] = {19, 50, 100, 150};
    const int rights[] = {46, 96, 146, right - 4};
    const char16_t* values[] = {u"a", u"b", u"c", u"d"};
    for (int i = 0; i < 4; ++i) {
        const Cell& c = cells[static_cast<size_t>(i)];
        EXPECT_EQ(c.column, i);
        EXPECT_EQ(c.rect, QRect(QPoint(lefts[i], top), QPoint(rights[i] - 1, top + 15))) << i;
        EXPECT_EQ(c.value, values[i]);
    }
    // Suppressed default drawing leaves the row without text.
    EXPECT_TRUE(InkColumns(Viewport(), top, 16).empty());

    // The last column's cell reaches the view's right edge when it is the last cell.
    cells.clear();
    node->SetText(u"a;b;c");
    Viewport();
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[2].rect.right(), right - 4 - 1);
}

TEST_F(ColumnTree, ColumnLinesAtTheColumnBoundariesInTheLineColour)
{
    tree->AddNode(u"a;b;c");
    QImage image = Viewport();
    const QColor silver(0xC0, 0xC0, 0xC0);
    for (const int y : {0, 8, image.height() - 1}) {
        EXPECT_EQ(image.pixelColor(48, y), silver) << y;
        EXPECT_EQ(image.pixelColor(98, y), silver) << y;
        EXPECT_NE(image.pixelColor(148, y), silver) << y; // none after the last column
        EXPECT_NE(image.pixelColor(47, y), silver);
        EXPECT_NE(image.pixelColor(49, y), silver);
    }
    tree->SetColumnLineColor(QColor(255, 0, 0));
    image = Viewport();
    EXPECT_EQ(image.pixelColor(48, 5), QColor(255, 0, 0));
    tree->SetColumnLines(false);
    EXPECT_EQ(tree->ColumnSpace(), 2);
    image = Viewport();
    EXPECT_NE(image.pixelColor(48, 5), QColor(255, 0, 0));
}

TEST_F(ColumnTree, SelectedRowIsHighlightedUnderTheColumnLines)
{
    TTreeNode* node = tree->AddNode(u"a;b;c");
    tree->AddNode(u"x;y;z");
    tree->SetSelected(node);
    const QImage image = Viewport();
    const QColor highlight = tree->palette().color(QPalette::Active, QPalette::Highlight);
    const int y = RowMid(node);
    for (const int x : {30, 70, 140, tree->viewport()->width() - 3})
        EXPECT_EQ(image.pixel(x, y), highlight.rgb()) << x;
    EXPECT_EQ(image.pixelColor(48, y), QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(ColumnTree, ScrollsHorizontallyWithTheHeader)
{
    tree->Columns().Items(2).SetWidth(400);
    tree->AddNode(u"a;b;c");
    QApplication::processEvents();
    QScrollBar* bar = tree->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 30);
    bar->setValue(30);
    EXPECT_EQ(tree->HorizontalScrollPos(), 30);
    const QImage image = Viewport();
    const QColor silver(0xC0, 0xC0, 0xC0);
    EXPECT_EQ(image.pixelColor(50 - 30 - 2, 5), silver);
    EXPECT_EQ(image.pixelColor(100 - 30 - 2, 5), silver);

    // The header's sections move with the tree: section 1 now starts at client x 20.
    const QImage header = tree->Header()->grab().toImage();
    const QColor light = tree->Header()->palette().color(QPalette::Light);
    const QColor dark = tree->Header()->palette().color(QPalette::Dark);
    const int mid = header.height() / 2;
    EXPECT_EQ(header.pixel(1 + 19, mid), dark.rgb());
    EXPECT_EQ(header.pixel(1 + 20, mid), light.rgb());
    // Clicks name the section shown under the pointer.
    std::vector<int> clicked;
    tree->OnHeaderClick = [&](QObject*, int section) { clicked.push_back(section); };
    QTest::mouseClick(tree->Header(), Qt::LeftButton, {}, QPoint(1 + 25, mid));
    QTest::mouseClick(tree->Header(), Qt::LeftButton, {}, QPoint(1 + 75, mid));
    EXPECT_EQ(clicked, (std::vector<int>{1, 2}));
}

TEST_F(ColumnTree, ImagesInTheFirstCellMoveTheText)
{
    auto images = std::make_shared<TImageList>(8, 8);
    QPixmap yellow(8, 8);
    yellow.fill(Qt::yellow);
    images->Add(yellow);
    tree->SetImages(images);
    tree->Columns().Items(0).SetImage(true);
    TTreeNode* node = tree->AddNode(u"a;b;c");
    node->SetImageIndex(0);
    const QImage image = Viewport();
    const int y = RowMid(node);
    EXPECT_EQ(image.pixelColor(19, y), QColor(Qt::yellow));
    EXPECT_EQ(image.pixelColor(26, y), QColor(Qt::yellow));
    const auto ink = InkColumns(image, RowTop(node), 16);
    ASSERT_FALSE(ink.empty());
    EXPECT_GE(*ink.begin(), 19 + 8 + 2);
}

} // namespace
