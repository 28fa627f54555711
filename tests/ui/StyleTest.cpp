#include "platform/ui/LunaStyle.h"
#include "platform/ui/StyleManager.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace platform::ui;

TEST(Style, LunaIsCreatableByNameAndBecomesTheApplicationsStyle)
{
    EXPECT_TRUE(TStyleManager::StyleNames().contains(QStringLiteral("Luna")));
    EXPECT_TRUE(TStyleManager::StyleNames().contains(QStringLiteral("Fusion")));
    EXPECT_NE(dynamic_cast<TLunaStyle*>(TStyleManager::Create(QStringLiteral("luna")).get()), nullptr);
    EXPECT_EQ(TStyleManager::Create(QStringLiteral("NoSuchStyle")), nullptr);

    ASSERT_TRUE(TStyleManager::TrySetStyle(u"Luna"));
    EXPECT_NE(dynamic_cast<TLunaStyle*>(QApplication::style()), nullptr);
    EXPECT_EQ(QApplication::palette().color(QPalette::Highlight), QColor(49, 106, 197));
    EXPECT_EQ(QApplication::palette().color(QPalette::Base), QColor(255, 255, 255));
    // Blue in spirit: the faces lean to blue.
    const QColor face = QApplication::palette().color(QPalette::Button);
    EXPECT_GT(face.blue(), face.red());

    QStyle* before = QApplication::style();
    EXPECT_FALSE(TStyleManager::TrySetStyle(u"NoSuchStyle"));
    EXPECT_EQ(QApplication::style(), before);
    ASSERT_TRUE(TStyleManager::TrySetStyle(u"Fusion"));
    EXPECT_EQ(dynamic_cast<TLunaStyle*>(QApplication::style()), nullptr);
}
