#include "DialogTestSupport.h"
#include "../platform/SystemUnderTest.h"

#include "serial/SerComm.h"
#include "treelist/TreeList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

using namespace dialogtest;

namespace {

struct Row {
    const char* name;
    const char* kind;
    QRect geometry;
    const char* text; // nullptr: the control has no text
    bool hidden;
    bool enabled;
};

QString TextOf(QWidget* w)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    return {};
}

} // namespace

TEST(DialogLayoutTest, FormAndControlsAsDesigned)
{
    Application();
    TempFolder folder("layout");
    auto taal = EnglishTaal(folder);
    app::TForm1 form(*taal, Options());

    EXPECT_EQ(form.windowTitle(), "Brixel - Check communication");
    EXPECT_EQ(form.size(), QSize(581, 450));
    EXPECT_EQ(form.minimumSize(), QSize(581, 450));
    EXPECT_EQ(form.maximumSize(), QSize(581, 450));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(185, 209, 234));
    EXPECT_EQ(form.font().family(), "MS Sans Serif");
    EXPECT_EQ(form.font().pointSize(), 8);

    const Row rows[] = {
        {"ResultList", "QTreeWidget", {9, 16, 433, 271}, nullptr, false, true},
        {"Start_btn", "QPushButton", {450, 18, 119, 25}, "Start", false, true},
        {"Button1", "QPushButton", {450, 49, 119, 25}, "Skip All", false, true},
        {"Button2", "QPushButton", {450, 80, 119, 25}, "Skip Current", false, true},
        {"lblMainGPS", "QLabel", {450, 143, 51, 13}, "Main GPS:", true, true},
        {"cboMainGPS", "QComboBox", {450, 162, 118, 21}, nullptr, true, true},
        {"Ok_btn", "QPushButton", {450, 233, 119, 25}, "Accept", false, false},
        {"Button3", "QPushButton", {450, 264, 119, 25}, "Close", false, true},
        {"Label2", "QLabel", {5, 288, 66, 13}, "Receiving .....", true, true},
        {"AisGps", "QCheckBox", {160, 287, 196, 17}, "Use AIS Transponder  GPS", true, true},
        {"ListBox2", "QListWidget", {9, 309, 558, 107}, nullptr, false, true},
        {"StatusBar1", "QStatusBar", {0, 421, 581, 29}, nullptr, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto* w = form.findChild<QWidget*>(row.name, Qt::FindDirectChildrenOnly);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(row.kind)) << w->metaObject()->className();
        // Wine has no "MS Sans Serif" of its own: under Wine an auto-sized label is as wide as its text in
        // the font that stands in for it.
        auto* label = qobject_cast<QLabel*>(w);
        if (label != nullptr && RunningUnderWine()) {
            EXPECT_EQ(w->geometry().topLeft(), row.geometry.topLeft());
            EXPECT_EQ(w->height(), row.geometry.height());
            EXPECT_GE(w->width(), label->fontMetrics().horizontalAdvance(label->text()));
        } else {
            EXPECT_EQ(w->geometry(), row.geometry);
        }
        if (row.text) {
            EXPECT_EQ(TextOf(w), row.text);
        }
        EXPECT_EQ(w->isHidden(), row.hidden);
        EXPECT_EQ(w->isEnabled(), row.enabled);
    }
    EXPECT_FALSE(form.AisGps->isChecked());

    // The result tree: a columned tree view, read-only, indent 19, rows of 16, no columns, ";" between
    // cells, its header hidden (height 18, resizable columns).
    treelist::TTreeList& tree = *form.ResultList;
    EXPECT_NE(dynamic_cast<treelist::TTreeList*>(form.findChild<QWidget*>("ResultList")), nullptr);
    EXPECT_TRUE(tree.ReadOnly());
    EXPECT_EQ(tree.Indent(), 19);
    EXPECT_EQ(tree.ItemHeight(), 16);
    EXPECT_EQ(tree.Columns().Count(), 0);
    EXPECT_EQ(tree.Separator(), u";");
    EXPECT_FALSE(tree.HeaderSettings().Visible());
    EXPECT_EQ(tree.HeaderSettings().Height(), 18);
    EXPECT_TRUE(tree.HeaderSettings().AllowResize());
    EXPECT_FALSE(form.cboMainGPS->isEditable());
    EXPECT_EQ(form.cboMainGPS->count(), 0);

    // The status bar: one panel 1000 pixels wide, no size grip, no text yet.
    EXPECT_FALSE(form.StatusBar1->isSizeGripEnabled());
    const auto panels = form.StatusBar1->findChildren<QLabel*>();
    ASSERT_EQ(panels.size(), 1);
    EXPECT_EQ(panels[0]->width(), 1000);
    EXPECT_EQ(form.StatusText(), u"");

    // The log's rows are 13 pixels high and show a sentence without its line end.
    form.ListBox2->addItem("$GPGGA,1,2\r\n");
    form.show();
    EXPECT_EQ(form.ListBox2->visualItemRect(form.ListBox2->item(0)).height(), 13);
    form.ListBox2->clear();

    // The timer: 5000 ms, not running.
    EXPECT_EQ(form.ReceiveTimer->interval(), 5000);
    EXPECT_FALSE(form.ReceiveTimer->isActive());
    form.hide();
}

TEST(DialogLayoutTest, SerialPortAsConfigured)
{
    Application();
    TempFolder folder("sercom");
    auto taal = EnglishTaal(folder);
    app::TForm1 form(*taal, Options());
    const serial::TSerComm& c = form.SerCom();
    EXPECT_EQ(c.EventChars().EventChar(), '\n');
    EXPECT_EQ(c.EventChars().EofChar(), '\n');
    const serial::TSerFlowControl& flow = c.FlowControl();
    EXPECT_FALSE(flow.OutCtsFlow());
    EXPECT_FALSE(flow.OutDsrFlow());
    EXPECT_EQ(flow.ControlDtr(), serial::TSerControlDtr::dtrDisabled);
    EXPECT_EQ(flow.ControlRts(), serial::TSerControlRts::rtsDisabled);
    EXPECT_FALSE(flow.XonXoffOut());
    EXPECT_FALSE(flow.XonXoffIn());
    EXPECT_FALSE(flow.DsrSensitivity());
    EXPECT_FALSE(flow.TxContinueOnXoff());
    EXPECT_EQ(c.DeviceName(), u"COM%d");
    EXPECT_EQ(c.MonitorEvents(), serial::TSerCommEvents{serial::TSerCommEvent::ceRxFlag});
    EXPECT_EQ(c.WritePriority(), platform::TThreadPriority::tpLowest);
    EXPECT_EQ(c.SettingsStore().Location(), serial::TSettingsLocation::slINIFile);
    EXPECT_EQ(c.SettingsStore().RegRoot(), serial::TRegRootKey::rrCURRENTUSER);
    EXPECT_TRUE(static_cast<bool>(c.OnRxFlag));
    EXPECT_FALSE(c.Active());
    EXPECT_TRUE(c.SyncThreads());
}

TEST(DialogLayoutTest, TabOrder)
{
    Application();
    TempFolder folder("taborder");
    auto taal = EnglishTaal(folder);
    app::TForm1 form(*taal, Options());
    std::vector<QString> order;
    QWidget* w = form.ResultList;
    for (int k = 0; k < 40 && order.size() < 9; ++k) {
        if (w->parentWidget() == &form && (w->focusPolicy() & Qt::TabFocus))
            order.push_back(w->objectName());
        w = w->nextInFocusChain();
    }
    const std::vector<QString> expected{"ResultList", "Start_btn", "Button1", "Button2", "cboMainGPS",
                                        "Ok_btn",     "Button3",   "AisGps",  "ListBox2"};
    EXPECT_EQ(order, expected);
}

TEST(DialogLayoutTest, WindowOptionSetsTheTimer)
{
    Application();
    TempFolder folder("window");
    auto taal = EnglishTaal(folder);
    app::TForm1 form(*taal, Options({u"--window-ms", u"250"}, 250));
    EXPECT_EQ(form.ReceiveTimer->interval(), 250);
    EXPECT_FALSE(form.ExternSet());
}
