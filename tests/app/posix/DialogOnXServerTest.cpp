// The dialog on a real X server (Xvfb), as a window manager and a user see it: the caption and icon in the
// window's properties, the place it opens at, and every text of every control fitting its control in each
// shipped language. Each check runs in a copy of this test program beside the shipped translations table,
// on the xcb platform.
// POSIX only: an X server, its window manager and xprop/xwininfo.
#include "NmeaSim.h"

#include "app/StatusTexts.h"
#include "platform/Paths.h"
#include "platform/ui/QtText.h"
#include "translations/LanguageTable.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QWindow>

#include <regex>

using namespace dialogtest;

namespace {

constexpr char ChildVariable[] = "SONDRAL_X_CHILD";

// An Xvfb server for this test process, on a display number it picks itself.
class XServer {
public:
    XServer()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        std::vector<std::string> store{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                       "1280x1024x24", "-nolisten", "tcp", "-noreset"};
        std::vector<char*> argv;
        for (std::string& a : store)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            pid_ = 0;
            ::close(fds[0]);
            return;
        }
        // Xvfb writes the display number when it accepts connections.
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.empty())
            display_ = ":" + number;
    }
    ~XServer() { EndChild(pid_); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = 0;
    std::string display_;
};

XServer& Server()
{
    static XServer server;
    return server;
}

// Runs the child test of this file in a copy of the program beside the shipped table, on the X server.
void RunChild(const std::string& mode, std::optional<int> language)
{
    ASSERT_FALSE(Server().Display().empty()) << "Xvfb did not start (setup.sh installs it)";
    TempFolder folder("xserver");
    const std::string copy = InstallCopy(folder, platform::ExecutablePath(), language);
    WriteFile(folder / "empty.map", "");
    const ProgramResult child =
        RunProgram(copy, {"--gtest_filter=DialogOnXServerChild.Run"},
                   {.env = {std::string(ChildVariable) + "=" + mode, "QT_QPA_PLATFORM=xcb",
                            "DISPLAY=" + Server().Display(), "SONDRAL_COM_MAP=" + (folder / "empty.map")}});
    EXPECT_EQ(child.exitCode, 0) << child.out << child.err;
    EXPECT_NE(child.out.find("[  PASSED  ] 1 test"), std::string::npos) << child.out << child.err;
}

// What the X server holds for a window: xprop's and xwininfo's output.
std::string XProperties(WId window, const std::vector<std::string>& names)
{
    std::vector<std::string> args{"-id", std::to_string(window), "-notype"};
    args.insert(args.end(), names.begin(), names.end());
    const ProgramResult r = RunProgram("/usr/bin/xprop", args);
    EXPECT_EQ(r.exitCode, 0);
    return r.out;
}

std::string XWindowInfo(WId window)
{
    const ProgramResult r = RunProgram("/usr/bin/xwininfo", {"-id", std::to_string(window)});
    EXPECT_EQ(r.exitCode, 0);
    return r.out;
}

int XWindowInfoValue(const std::string& info, const std::string& key)
{
    const std::regex re(key + ":\\s+(-?[0-9]+)");
    std::smatch m;
    return std::regex_search(info, m, re) ? std::stoi(m[1]) : -99999;
}

// Every text of the dialog fits its control: buttons and the check box by the size their style needs for
// the text, labels by the text's width (and without running into the control beside them), the status
// texts of a scan by the status bar's width.
void ExpectEveryTextFits(app::TForm1& form, const translations::TTaal_dat& taal)
{
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(form.Start_btn), static_cast<QAbstractButton*>(form.Button1),
                               static_cast<QAbstractButton*>(form.Button2), static_cast<QAbstractButton*>(form.Ok_btn),
                               static_cast<QAbstractButton*>(form.Button3), static_cast<QAbstractButton*>(form.AisGps)}) {
        EXPECT_LE(b->sizeHint().width(), b->width()) << b->objectName().toStdString() << ": " << b->text().toStdString();
        EXPECT_LE(b->fontMetrics().height(), b->height()) << b->objectName().toStdString();
    }
    for (QLabel* l : {form.Label2, form.lblMainGPS}) {
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->contentsRect().width())
            << l->objectName().toStdString() << ": " << l->text().toStdString();
        EXPECT_LE(l->fontMetrics().height(), l->height()) << l->objectName().toStdString();
    }
    EXPECT_LE(form.Label2->geometry().right(), form.AisGps->geometry().left()) << form.Label2->text().toStdString();
    EXPECT_LE(form.lblMainGPS->geometry().right(), form.width()) << form.lblMainGPS->text().toStdString();

    const QFontMetrics status = form.StatusPanel->fontMetrics();
    const int room = form.StatusBar1->contentsRect().width();
    for (const platform::Text& text : {app::ScanStartsStatus(taal), app::PortNodesMadeStatus(taal),
                                       app::AttemptStatus(taal, u"COM99", 57600), app::ScanEndsStatus(taal)})
        EXPECT_LE(status.horizontalAdvance(platform::ui::ToQString(text)), room) << platform::TextToUtf8(text);
}

} // namespace

TEST(DialogOnXServerChild, Run)
{
    const char* mode = std::getenv(ChildVariable);
    if (!mode)
        GTEST_SKIP() << "runs only as the child of DialogOnXServer";
    Application();
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    translations::TTaal_dat taal; // the table beside this program
    app::TForm1 form(taal, Options());
    // Placed before it is shown: the window opens centred rather than moving there.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint centred = screen.center() - form.rect().center();
    EXPECT_EQ(form.pos(), centred);
    form.show();
    ASSERT_TRUE(RunUntil([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 10000));
    ASSERT_FALSE(taal.IgnoreTaal());
    EXPECT_EQ(QFontInfo(form.font()).family(), "MS Sans Serif");

    if (std::string(mode) == "window") {
        const std::string props = XProperties(form.winId(), {"_NET_WM_NAME", "WM_NAME", "WM_CLASS"});
        EXPECT_NE(props.find("_NET_WM_NAME = \"Brixel - Check communication\"\n"), std::string::npos) << props;
        EXPECT_NE(props.find("WM_NAME = \"Brixel - Check communication\"\n"), std::string::npos) << props;
        EXPECT_NE(props.find("WM_CLASS = \"test_app\", \"Sondral\""), std::string::npos) << props;
        const std::string icon = XProperties(form.winId(), {"_NET_WM_ICON"});
        for (const char* size : {"Icon (16 x 16):", "Icon (32 x 32):", "Icon (48 x 48):"})
            EXPECT_NE(icon.find(size), std::string::npos) << size << "\n" << icon.substr(0, 200);
        const std::string info = XWindowInfo(form.winId());
        EXPECT_EQ(XWindowInfoValue(info, "Absolute upper-left X"), centred.x()) << info;
        EXPECT_EQ(XWindowInfoValue(info, "Absolute upper-left Y"), centred.y()) << info;
        EXPECT_EQ(XWindowInfoValue(info, "Width"), 581) << info;
        EXPECT_EQ(XWindowInfoValue(info, "Height"), 450) << info;
    }
    ExpectEveryTextFits(form, taal);
    // The log shows eight whole rows: no horizontal scroll bar takes one, also with a long sentence.
    form.ListBox2->addItem(QString(200, QChar(u'W')));
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.ListBox2->horizontalScrollBar()->isVisible());
    EXPECT_GE(form.ListBox2->viewport()->height(), 8 * 13);
    form.hide();
}

TEST(DialogOnXServer, CaptionIconAndPlaceAsTheWindowManagerSeesThem)
{
    RunChild("window", std::nullopt);
}

TEST(DialogOnXServer, EveryTextFitsInEveryShippedLanguage)
{
    int languages = 0;
    {
        Application();
        const translations::TTaal_dat taal(ShippedTableFolder().string(), translations::OpenLanguageTable);
        languages = translations::OpenLanguageTable(taal.Directory())->FieldCount() - 1;
    }
    ASSERT_GE(languages, 5);
    for (int language = 0; language < languages; ++language) {
        SCOPED_TRACE("language " + std::to_string(language));
        RunChild("fit", language);
    }
}
