// The buttons that start a scan, on a device map without ports. POSIX only: the empty device map is a
// SONDRAL_COM_MAP file of the POSIX emulation; on Windows the registry lists the machine's own ports (Wine's
// COM1 among them), so the scan would not end at once with an empty tree.
#include "../DialogTestSupport.h"

#include "treelist/TreeList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

using namespace dialogtest;
using platform::Text;

TEST(DialogButtonsTest, ExternScansByItselfWhenShown)
{
    Application();
    TempFolder folder("noports");
    WriteFile(folder / "empty.map", "# no ports\n");
    ScopedEnv map("SONDRAL_COM_MAP", folder / "empty.map");
    auto taal = EnglishTaal(folder);
    app::TForm1 form(*taal, Options({u"extern"}));
    bool finished = false;
    form.OnScanFinished = [&] { finished = true; };
    // The skip flags of an earlier click are reset when the scan starts.
    form.Button2->click();
    form.show();
    ASSERT_TRUE(RunUntil([&] { return finished; }, 5000));
    EXPECT_FALSE(form.SkipSet());
    EXPECT_EQ(form.StatusText(), u"Test Finished!!!");
    EXPECT_EQ(form.ResultList->topLevelItemCount(), 0);
    EXPECT_EQ(form.ListBox2->count(), 0);
    // Accept is available after any scan; Close is enabled again, Start stays hidden.
    EXPECT_TRUE(form.Ok_btn->isEnabled());
    EXPECT_TRUE(form.Button3->isEnabled());
    EXPECT_TRUE(form.Start_btn->isHidden());
    EXPECT_TRUE(form.Label2->isHidden());
    EXPECT_EQ(form.DataConnectionsValue(), u"");
    form.hide();
}

TEST(DialogButtonsTest, WithoutExternNothingStartsOnShow)
{
    Application();
    TempFolder folder("idle");
    WriteFile(folder / "empty.map", "");
    ScopedEnv map("SONDRAL_COM_MAP", folder / "empty.map");
    auto taal = EnglishTaal(folder);
    app::TForm1 form(*taal, Options());
    bool finished = false;
    form.OnScanFinished = [&] { finished = true; };
    form.show();
    RunUntil([] { return false; }, 200);
    EXPECT_FALSE(finished);
    EXPECT_EQ(form.StatusText(), u"");
    EXPECT_FALSE(form.Ok_btn->isEnabled());
    // English texts stay when the translations table cannot be opened.
    EXPECT_TRUE(taal->IgnoreTaal());
    EXPECT_EQ(form.Ok_btn->text(), "Accept");
    EXPECT_EQ(form.Button1->text(), "Skip All");
    form.Start_btn->click();
    EXPECT_TRUE(finished || RunUntil([&] { return finished; }, 2000));
    EXPECT_EQ(form.StatusText(), u"Test Finished!!!");
    form.hide();
}

namespace {

// A translations table of one language whose texts are "T<number>".
class OneLanguageTable : public translations::TLanguageTable {
public:
    int FieldCount() const override { return 5; }
    void First() override { pos_ = 0; }
    bool Eof() const override { return pos_ >= std::size(ids_); }
    void Next() override { ++pos_; }
    int32_t FieldAsInteger(int) const override { return ids_[pos_]; }
    Text FieldAsString(int field) const override
    {
        return field == 0 ? platform::IntToText(ids_[pos_]) : u"T" + platform::IntToText(ids_[pos_]);
    }
    void Close() override {}

private:
    static constexpr int32_t ids_[] = {340, 347, 348, 1060, 1061, 1062, 1063, 1064, 1740, 1741};
    std::size_t pos_ = 0;
};

} // namespace

TEST(DialogButtonsTest, TranslatedTextsWhenTheTableOpens)
{
    Application();
    TempFolder folder("translated");
    WriteFile(folder / "empty.map", "");
    ScopedEnv map("SONDRAL_COM_MAP", folder / "empty.map");
    translations::TTaal_dat taal(folder / "3Tdata",
                                 [](const std::string&) { return std::make_unique<OneLanguageTable>(); });
    app::TForm1 form(taal, Options());
    form.show();
    EXPECT_FALSE(taal.IgnoreTaal());
    EXPECT_EQ(form.Label2->text(), "T340");
    EXPECT_EQ(form.AisGps->text(), "T1064");
    EXPECT_EQ(form.Ok_btn->text(), "T347");
    EXPECT_EQ(form.Button3->text(), "T348");
    EXPECT_EQ(form.Button1->text(), "T1740");
    EXPECT_EQ(form.Button2->text(), "T1741");
    EXPECT_EQ(form.Start_btn->text(), "Start");
    EXPECT_EQ(form.lblMainGPS->text(), "Main GPS:");
    form.Start_btn->click();
    EXPECT_EQ(form.StatusText(), u"T1063!!!");
    form.hide();
}
