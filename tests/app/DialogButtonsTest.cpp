// The dialog's buttons outside a scan. Those that scan are in posix/DialogScanButtonsTest.cpp.
#include "DialogTestSupport.h"

#include "treelist/TreeList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

using namespace dialogtest;
using platform::Text;

TEST(DialogButtonsTest, ExternVariants)
{
    Application();
    TempFolder folder("extern");
    auto taal = EnglishTaal(folder);
    const std::vector<std::pair<std::vector<Text>, bool>> cases = {
        {{u"EXTERN"}, true}, {{u"Extern"}, true}, {{u"extern"}, true},
        {{u"one", u"two", u"extern"}, true}, {{u"externally"}, false}, {{}, false},
    };
    for (const auto& [args, expected] : cases) {
        app::TForm1 form(*taal, Options(args));
        EXPECT_EQ(form.ExternSet(), expected);
        EXPECT_EQ(form.Start_btn->isHidden(), expected);
    }
}

TEST(DialogButtonsTest, SkipButtonsOutsideAScan)
{
    Application();
    TempFolder folder("skip");
    auto taal = EnglishTaal(folder);
    app::TForm1 form(*taal, Options({u"extern"}));
    ASSERT_TRUE(form.Start_btn->isHidden());

    form.ReceiveTimer->start();
    form.Button2->click();
    EXPECT_TRUE(form.SkipSet());
    EXPECT_FALSE(form.AbortSet());
    EXPECT_FALSE(form.ReceiveTimer->isActive());
    EXPECT_TRUE(form.Start_btn->isHidden());

    form.ReceiveTimer->start();
    form.Button1->click();
    EXPECT_TRUE(form.AbortSet());
    EXPECT_FALSE(form.ReceiveTimer->isActive());
    EXPECT_FALSE(form.WaitingSet());
    // Skip All shows Start again, also when "extern" hid it.
    EXPECT_FALSE(form.Start_btn->isHidden());
}
