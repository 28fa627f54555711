// The sectioned header control, resized with real mouse events.
#include "platform/ui/Header.h"

#include "support/MouseHover.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace platform::ui;

namespace {

class HeaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        header.setGeometry(0, 0, 300, 18);
        header.AddSection(u"One", 50);
        header.AddSection(u"Two", 60);
        header.AddSection(u"Three", 70);
        header.OnSizing = [this](QObject*, int s, int w) { sizing.emplace_back(s, w); };
        header.OnSized = [this](QObject*, int s, int w) { sized.emplace_back(s, w); };
        header.show();
        QApplication::processEvents();
    }
    // Widget position of a section x (one-pixel border).
    static QPoint At(int x) { return {x + 1, 9}; }

    THeader header;
    std::vector<std::pair<int, int>> sizing, sized;
};

TEST_F(HeaderTest, SectionsHoldCaptionsAndWidths)
{
    EXPECT_EQ(header.SectionCount(), 3);
    EXPECT_EQ(header.SectionCaption(1), u"Two");
    EXPECT_EQ(header.SectionWidth(2), 70);
    EXPECT_EQ(header.SectionWidth(3), 0);
    EXPECT_EQ(header.SectionCaption(-1), u"");
    header.SetSectionWidth(1, -5);
    EXPECT_EQ(header.SectionWidth(1), 0);
    header.SetSectionCaption(0, u"First");
    EXPECT_EQ(header.SectionCaption(0), u"First");
    EXPECT_EQ(header.ClientRect(), QRect(1, 1, 298, 16));
    header.SetBorderStyle(TBorderStyle::bsNone);
    EXPECT_EQ(header.ClientRect(), QRect(0, 0, 300, 18));
    header.ClearSections();
    EXPECT_EQ(header.SectionCount(), 0);
}

TEST_F(HeaderTest, DraggingABorderReportsSizingAndSized)
{
    EXPECT_TRUE(header.AllowResize());
    support::MouseHover(&header, At(112));
    EXPECT_EQ(header.cursor().shape(), Qt::SplitHCursor);
    QTest::mousePress(&header, Qt::LeftButton, {}, At(112)); // 2 pixels right of the border at 110
    EXPECT_TRUE(header.IsDraggingBorder());
    QTest::mouseMove(&header, At(122));
    QTest::mouseMove(&header, At(92));
    QTest::mouseRelease(&header, Qt::LeftButton, {}, At(92));
    EXPECT_FALSE(header.IsDraggingBorder());
    EXPECT_EQ(sizing, (std::vector<std::pair<int, int>>{{1, 70}, {1, 40}}));
    EXPECT_EQ(sized, (std::vector<std::pair<int, int>>{{1, 40}}));
    EXPECT_EQ(header.SectionWidth(1), 40);

    // Never below zero.
    QTest::mousePress(&header, Qt::LeftButton, {}, At(50));
    QTest::mouseMove(&header, At(-40));
    QTest::mouseRelease(&header, Qt::LeftButton, {}, At(-40));
    EXPECT_EQ(header.SectionWidth(0), 0);
}

TEST_F(HeaderTest, NoResizingAwayFromBordersOrWithoutTheOption)
{
    // 4 pixels from the border at 50 is no longer on it; the last section has no border to drag.
    for (const int x : {46, 54, 180}) {
        QTest::mousePress(&header, Qt::LeftButton, {}, At(x));
        QTest::mouseMove(&header, At(x + 20));
        QTest::mouseRelease(&header, Qt::LeftButton, {}, At(x + 20));
    }
    EXPECT_TRUE(sizing.empty());
    EXPECT_TRUE(sized.empty());

    header.SetAllowResize(false);
    support::MouseHover(&header, At(50));
    EXPECT_NE(header.cursor().shape(), Qt::SplitHCursor);
    QTest::mousePress(&header, Qt::LeftButton, {}, At(50));
    QTest::mouseMove(&header, At(80));
    QTest::mouseRelease(&header, Qt::LeftButton, {}, At(80));
    EXPECT_TRUE(sized.empty());
    EXPECT_EQ(header.SectionWidth(0), 50);
}

} // namespace
