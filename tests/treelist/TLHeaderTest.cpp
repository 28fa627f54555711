// The column header: section and border tests, painting, and the mouse driven with real mouse events.
#include "Fixture.h"

#include "support/MouseHover.h"

#include <QTest>

#include <utility>
#include <vector>

using namespace treelist;
using namespace treelist::test;

namespace {

class HeaderFixture : public TreeFixture {
protected:
    void SetUp() override
    {
        TreeFixture::SetUp();
        AddColumns({50, 50, 50});
        for (int i = 0; i < 3; ++i)
            tree->Columns().Items(i).SetHeader(platform::Ascii("Col " + std::to_string(i + 1)));
        tree->AddNode(u"a;b;c");
        Show();
        header = tree->Header();
        ASSERT_NE(header, nullptr);
        header->OnSectionMove = [this, chained = header->OnSectionMove](QObject* s, int from, int to, bool& allow) {
            moves.emplace_back(from, to);
            chained(s, from, to, allow);
        };
    }
    // Widget x for a section x (the header has a one-pixel border).
    static QPoint At(int sectionX) { return {sectionX + 1, 9}; }
    void Press(int x)
    {
        QTest::mousePress(header, Qt::LeftButton, {}, At(x));
        pressed = true;
    }
    void Move(int x)
    {
        if (pressed)
            QTest::mouseMove(header, At(x));
        else
            support::MouseHover(header, At(x));
    }
    void Release(int x)
    {
        QTest::mouseRelease(header, Qt::LeftButton, {}, At(x));
        pressed = false;
    }

    TTLHeader* header = nullptr;
    bool pressed = false;
    std::vector<std::pair<int, int>> moves;
};

TEST_F(HeaderFixture, SectionAndBorderTests)
{
    const std::pair<int, int> sections[] = {{-5, -1}, {0, -1}, {1, 0}, {50, 0}, {51, 1}, {100, 1},
                                            {101, 2}, {149, 2}, {500, 2}};
    for (const auto& [x, section] : sections)
        EXPECT_EQ(header->SectionAt(x), section) << x;
    const std::pair<int, bool> borders[] = {{46, false}, {47, true}, {50, true}, {53, true}, {54, false},
                                            {97, true},  {103, true}, {104, false}, {150, false}};
    for (const auto& [x, onBorder] : borders)
        EXPECT_EQ(header->IsOnBorder(x), onBorder) << x;
}

TEST_F(HeaderFixture, SectionsArePaintedWithRaisedEdgesAndTheLastReachesTheClientWidth)
{
    const QImage image = header->grab().toImage();
    const QRgb light = header->palette().color(QPalette::Light).rgb();
    const QRgb dark = header->palette().color(QPalette::Dark).rgb();
    const QRgb face = header->Color().rgb();
    const int mid = image.height() / 2;
    const int clientRight = image.width() - 2;
    // Sections 0 and 1: 50 pixels each from client x 0 (widget x 1).
    EXPECT_EQ(image.pixel(1, mid), light);
    EXPECT_EQ(image.pixel(50, mid), dark);
    EXPECT_EQ(image.pixel(51, mid), light);
    EXPECT_EQ(image.pixel(100, mid), dark);
    EXPECT_EQ(image.pixel(25, 1), light);        // top edge
    EXPECT_EQ(image.pixel(25, image.height() - 2), dark); // bottom edge
    // The last section spans to the client width: no edge at its own width, its right edge at the end.
    EXPECT_EQ(image.pixel(101, mid), light);
    EXPECT_EQ(image.pixel(150, mid), face);
    EXPECT_EQ(image.pixel(clientRight, mid), dark);
    EXPECT_EQ(image.pixel(clientRight - 1, mid), face);
    // Captions inside their sections, shrunk by 2 pixels.
    const auto ink = InkColumns(image, 3, image.height() - 6);
    EXPECT_TRUE(AnyIn(ink, 3, 49));
    EXPECT_TRUE(AnyIn(ink, 53, 99));
    EXPECT_TRUE(AnyIn(ink, 103, 149));
    EXPECT_FALSE(AnyIn(ink, 49, 53));
}

TEST_F(HeaderFixture, LongCaptionsEndInAnEllipsisInsideTheirSection)
{
    tree->Columns().Items(0).SetHeader(platform::Ascii(std::string(40, 'W')));
    const QImage image = header->grab().toImage();
    const auto ink = InkColumns(image, 3, image.height() - 6);
    EXPECT_TRUE(AnyIn(ink, 3, 49));
    EXPECT_FALSE(AnyIn(ink, 49, 53));
}

TEST_F(HeaderFixture, WithoutColumnsOneEmptyRaisedSectionFillsTheWidth)
{
    tree->Columns().Clear();
    EXPECT_EQ(header->SectionCount(), 0);
    const QImage image = header->grab().toImage();
    const int mid = image.height() / 2;
    EXPECT_EQ(image.pixel(1, mid), header->palette().color(QPalette::Light).rgb());
    EXPECT_EQ(image.pixel(image.width() - 2, mid), header->palette().color(QPalette::Dark).rgb());
    for (int x = 2; x < image.width() - 2; ++x)
        ASSERT_EQ(image.pixel(x, mid), header->Color().rgb()) << x;
}

TEST_F(HeaderFixture, ClicksReportTheSection)
{
    std::vector<int> left, right;
    tree->OnHeaderClick = [&](QObject* sender, int section) {
        EXPECT_EQ(sender, tree);
        left.push_back(section);
    };
    tree->OnHeaderRightClick = [&](QObject*, int section) { right.push_back(section); };
    QTest::mouseClick(header, Qt::LeftButton, {}, At(75));
    QTest::mouseClick(header, Qt::LeftButton, {}, At(300));
    QTest::mouseClick(header, Qt::RightButton, {}, At(10));
    EXPECT_EQ(left, (std::vector<int>{1, 2}));
    EXPECT_EQ(right, (std::vector<int>{0}));
}

TEST_F(HeaderFixture, SectionDragNeedsMoreThanFourPixelsAndAllowMove)
{
    tree->HeaderSettings().SetAllowMove(true);
    Press(10);
    EXPECT_TRUE(header->IsMouseDown());
    Move(14);
    Move(6);
    EXPECT_FALSE(header->IsMoving());
    Move(15);
    EXPECT_TRUE(header->IsMoving());
    Release(120);
    EXPECT_FALSE(header->IsMoving());
    EXPECT_FALSE(header->IsMouseDown());
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{0, 2}}));
    // The tree moved the column and the cells.
    EXPECT_EQ(tree->Columns().Items(2).Header(), u"Col 1");
    EXPECT_EQ(header->SectionCaption(0), u"Col 2");
    EXPECT_EQ(tree->NodesInTreeOrder()[0]->Text(), u"b;c;a");

    // Without AllowMove no drag starts.
    moves.clear();
    tree->HeaderSettings().SetAllowMove(false);
    Press(10);
    Move(60);
    EXPECT_FALSE(header->IsMoving());
    Release(120);
    EXPECT_TRUE(moves.empty());
}

TEST_F(HeaderFixture, PressOnABorderStartsNoSectionDrag)
{
    tree->HeaderSettings().SetAllowMove(true);
    for (const int x : {47, 50, 53}) {
        Press(x);
        EXPECT_FALSE(header->IsMouseDown()) << x;
        Move(x + 40);
        EXPECT_FALSE(header->IsMoving()) << x;
        Release(x + 40);
    }
    EXPECT_TRUE(moves.empty());
}

TEST_F(HeaderFixture, DropOnItselfFiresNothingAndLeftOfTheFirstSectionCountsAsZero)
{
    tree->HeaderSettings().SetAllowMove(true);
    Press(10);
    Move(40);
    ASSERT_TRUE(header->IsMoving());
    Release(40);
    EXPECT_TRUE(moves.empty());

    Press(120);
    Move(60);
    Move(-1);
    Release(-1);
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{2, 0}}));
    EXPECT_EQ(tree->NodesInTreeOrder()[0]->Text(), u"c;a;b");
}

TEST_F(HeaderFixture, TreeCanRefuseASectionMove)
{
    tree->HeaderSettings().SetAllowMove(true);
    std::vector<std::pair<int, int>> asked;
    tree->OnHeaderSectionMove = [&](QObject* sender, int from, int to, bool& allow) {
        EXPECT_EQ(sender, tree);
        EXPECT_TRUE(allow);
        asked.emplace_back(from, to);
        allow = false;
    };
    Press(10);
    Move(70);
    Release(70);
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{0, 1}}));
    EXPECT_EQ(tree->NodesInTreeOrder()[0]->Text(), u"a;b;c");
    EXPECT_EQ(tree->Columns().Items(0).Header(), u"Col 1");
}

TEST_F(HeaderFixture, DraggingABorderResizesTheColumnAndTheFirstKeepsItsMinimum)
{
    std::vector<int> sized;
    tree->OnHeaderSizeChanged = [&](QObject* sender, int section) {
        EXPECT_EQ(sender, tree);
        sized.push_back(section);
    };
    std::vector<std::pair<int, int>> sizing;
    header->OnSizing = [&](QObject*, int section, int width) { sizing.emplace_back(section, width); };

    // Resizing is off by default.
    Press(100);
    Move(130);
    Release(130);
    EXPECT_EQ(tree->Columns().Items(1).Width(), 50);
    EXPECT_TRUE(sized.empty());

    tree->HeaderSettings().SetAllowResize(true);
    Move(101);
    EXPECT_TRUE(header->IsSizing());
    Move(75);
    EXPECT_FALSE(header->IsSizing());
    Press(101);
    Move(131);
    EXPECT_TRUE(header->IsSizing());
    Release(131);
    EXPECT_FALSE(header->IsSizing());
    EXPECT_EQ(sizing.back(), std::make_pair(1, 80));
    EXPECT_EQ(tree->Columns().Items(1).Width(), 80);
    EXPECT_EQ(sized, (std::vector<int>{1}));
    // The cells and the column line follow.
    EXPECT_EQ(Viewport().pixelColor(130 - 2, 5), QColor(0xC0, 0xC0, 0xC0));

    // The first column keeps at least the indent (19) plus the image lists' widths.
    Press(49);
    Move(5);
    Release(5);
    EXPECT_EQ(tree->Columns().Items(0).Width(), 19);
    EXPECT_EQ(header->SectionWidth(0), 19);
    tree->SetImages(std::make_shared<TImageList>(16, 16));
    tree->SetStateImages(std::make_shared<TImageList>(8, 16));
    Press(19);
    Move(2);
    Release(2);
    EXPECT_EQ(tree->Columns().Items(0).Width(), 19 + 16 + 8);
    EXPECT_EQ(sized, (std::vector<int>{1, 0, 0}));
}

} // namespace
