#include "app/CheckDialog.h"

#include "app/HandlerGuard.h"
#include "app/ResultTree.h"
#include "app/SentenceLog.h"
#include "app/DataConnections.h"
#include "app/PortNumber.h"
#include "app/ProgramIcon.h"
#include "app/ScanState.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/ui/Application.h"
#include "platform/ui/QtText.h"
#include "serial/SerComm.h"
#include "translations/Taal.h"
#include "treelist/TreeList.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace app {

using platform::Text;

namespace {

template <class W>
W* Place(W* widget, int left, int top, int width, int height)
{
    widget->setGeometry(left, top, width, height);
    return widget;
}

// Labels size themselves to their text: a longer text widens the label from its left edge, a shorter one
// keeps the designed width, which the label holds as its minimum width.
QLabel* AutoSizeLabel(QLabel* label)
{
    label->setMinimumWidth(label->width());
    return label;
}

void SetLabelText(QLabel& label, const Text& text)
{
    label.setText(platform::ui::ToQString(text));
    const int needed = label.fontMetrics().horizontalAdvance(label.text()) + label.margin() * 2;
    label.resize(std::max(label.minimumWidth(), needed), label.height());
}

} // namespace

TForm1::TForm1(translations::TTaal_dat& taal, TProgramOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      taal_(taal), options_(std::move(options)), serCom_(std::make_unique<serial::TSerComm>())
{
    setObjectName("Form1");
    setWindowTitle("Brixel - Check communication");
    setFixedSize(581, 450);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(185, 209, 234)); // clGradientActiveCaption
    setPalette(pal);
    setAutoFillBackground(true);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    setWindowIcon(ProgramIcon());

    CreateControls();
    // Placed before it is first shown, so that the window opens centred instead of moving there.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    ConfigureSerCom();
    GuardedCall([this] { FormCreate(this); });
}

TForm1::~TForm1()
{
    FormDestroy(this);
}

void TForm1::CreateControls()
{
    ResultList = Place(new treelist::TTreeList(this), 9, 16, 433, 271);
    ResultList->setObjectName("ResultList");
    ConfigureResultList(*ResultList);

    const auto button = [this](const char* name, const char* text, int top) {
        auto* b = Place(new QPushButton(QString::fromLatin1(text), this), 450, top, 119, 25);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    Start_btn = button("Start_btn", "Start", 18);
    Button1 = button("Button1", "Skip All", 49);
    Button2 = button("Button2", "Skip Current", 80);

    lblMainGPS = AutoSizeLabel(Place(new QLabel(this), 450, 143, 51, 13));
    lblMainGPS->setObjectName("lblMainGPS");
    SetLabelText(*lblMainGPS, u"Main GPS:");
    lblMainGPS->hide();

    cboMainGPS = Place(new QComboBox(this), 450, 162, 118, 21);
    cboMainGPS->setObjectName("cboMainGPS");
    cboMainGPS->setEditable(false);
    cboMainGPS->hide();

    Ok_btn = button("Ok_btn", "Accept", 233);
    Ok_btn->setEnabled(false);
    Button3 = button("Button3", "Close", 264);

    Label2 = AutoSizeLabel(Place(new QLabel(this), 5, 288, 66, 13));
    Label2->setObjectName("Label2");
    SetLabelText(*Label2, u"Receiving .....");
    Label2->hide();

    AisGps = Place(new QCheckBox("Use AIS Transponder  GPS", this), 160, 287, 196, 17);
    AisGps->setObjectName("AisGps");
    AisGps->setChecked(false);
    AisGps->hide();

    ListBox2 = Place(new QListWidget(this), 9, 309, 558, 107);
    ListBox2->setObjectName("ListBox2");
    ConfigureSentenceLog(*ListBox2);

    StatusBar1 = Place(new QStatusBar(this), 0, 421, 581, 29);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel = new QLabel(StatusBar1);
    StatusPanel->setObjectName("StatusPanel");
    StatusPanel->setFixedWidth(1000);
    StatusBar1->addWidget(StatusPanel);

    // Tab order: ResultList, Start, Skip All, Skip Current, main GPS, Accept, Close, AIS option, log.
    QWidget* const order[] = {ResultList, Start_btn, Button1, Button2, cboMainGPS,
                              Ok_btn,     Button3,   AisGps,  ListBox2};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    ReceiveTimer = new QTimer(this);
    ReceiveTimer->setObjectName("ReceiveTimer");
    ReceiveTimer->setTimerType(Qt::PreciseTimer);
    ReceiveTimer->setInterval(options_.WindowMs);

    connect(Start_btn, &QPushButton::clicked, this, [this] { GuardedCall([this] { Start_btnClick(Start_btn); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { GuardedCall([this] { Button1Click(Button1); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { GuardedCall([this] { Button2Click(Button2); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { GuardedCall([this] { Button3Click(Button3); }); });
    connect(Ok_btn, &QPushButton::clicked, this, [this] { GuardedCall([this] { Ok_btnClick(Ok_btn); }); });
    connect(ReceiveTimer, &QTimer::timeout, this,
            [this] { GuardedCall([this] { ReceiveTimerTimer(ReceiveTimer); }); });
}

void TForm1::ConfigureSerCom()
{
    serial::TSerComm& c = *serCom_;
    c.SetName(u"SerCom");
    c.EventChars().SetEventChar('\n');
    c.EventChars().SetEofChar('\n');
    serial::TSerFlowControl& flow = c.FlowControl();
    flow.SetOutCtsFlow(false);
    flow.SetOutDsrFlow(false);
    flow.SetControlDtr(serial::TSerControlDtr::dtrDisabled);
    flow.SetControlRts(serial::TSerControlRts::rtsDisabled);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    flow.SetDsrSensitivity(false);
    flow.SetTxContinueOnXoff(false);
    c.SetDeviceName(u"COM%d");
    c.SetMonitorEvents(serial::TSerCommEvents{serial::TSerCommEvent::ceRxFlag});
    c.SetWritePriority(platform::TThreadPriority::tpLowest);
    c.SettingsStore().SetRegRoot(serial::TRegRootKey::rrCURRENTUSER);
    c.SettingsStore().SetLocation(serial::TSettingsLocation::slINIFile);
    c.OnRxFlag = [this](serial::TSerCustomComm& sender) { SerComRxFlag(sender); };
}

void TForm1::FormCreate(QObject*)
{
    Extern = false;
    state_ = std::make_unique<TScanState>();
    if (HasExtern(options_.Arguments))
        Extern = true;
    if (Extern)
        Start_btn->hide();
}

void TForm1::FormShow(QObject*)
{
    ResultList->ClearNodes();
    const platform::TIniFile viewerIni(platform::JoinPath(platform::ExecutableFolder(), "Tolvenar_Viewer_NT.INI"));
    const int64_t number = viewerIni.ReadInteger(u"Options", u"Taal", 3);
    const int language = number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()
                             ? 3
                             : static_cast<int>(number);
    taal_.FillTaal(language);
    if (!taal_.IgnoreTaal()) {
        SetLabelText(*Label2, taal_.GetTaal(340));
        // A table without this text (one made before it was added) keeps the built-in one.
        if (taal_.HasTaal(1742))
            SetLabelText(*lblMainGPS, taal_.GetTaal(1742));
        AisGps->setText(platform::ui::ToQString(taal_.GetTaal(1064)));
        Ok_btn->setText(platform::ui::ToQString(taal_.GetTaal(347)));
        Button3->setText(platform::ui::ToQString(taal_.GetTaal(348)));
        Button1->setText(platform::ui::ToQString(taal_.GetTaal(1740)));
        Button2->setText(platform::ui::ToQString(taal_.GetTaal(1741)));
    }
}

void TForm1::FormActivate(QObject*)
{
    // Only the first activation counts: a later one (after a message box, say) must not start a scan.
    if (activated_)
        return;
    activated_ = true;
    if (Extern || options_.Report) {
        if (auto* application = platform::ui::TApplication::Instance())
            application->ProcessMessages();
        Start_btnClick(this);
    }
}

void TForm1::FormDestroy(QObject*)
{
    ReceiveTimer->stop();
    state_.reset();
}

void TForm1::Button1Click(QObject*)
{
    Abort = true;
    state_->Waiting = false;
    ReceiveTimer->stop();
    Start_btn->show();
}

void TForm1::Button2Click(QObject*)
{
    Skip = true;
    state_->Waiting = false;
    ReceiveTimer->stop();
}

void TForm1::Button3Click(QObject*)
{
    if (!Extern)
        platform::StartProgram(platform::JoinPath(platform::ExecutableFolder(), "Tolvenar_Viewer.exe")); // failures are ignored
    close();
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || shown_)
        return;
    shown_ = true;
    GuardedCall([this] { FormShow(this); });
    // The dialog becomes the program's active form once it is shown; run the activation handler from the
    // event loop, after the first paint has been queued.
    QTimer::singleShot(0, this, [this] { GuardedCall([this] { FormActivate(this); }); });
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A scan runs inside a handler; closing underneath it would pull its state away.
    if (scanning_)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void TForm1::SetStatus(const Text& text)
{
    StatusPanel->setText(platform::ui::ToQString(text));
}

Text TForm1::StatusText() const
{
    return StatusPanel->text().toStdU16String();
}

bool TForm1::WaitingSet() const
{
    return state_ && state_->Waiting;
}

const std::vector<TValues>& TForm1::FoundPorts() const
{
    return state_->FoundPorts;
}

const std::vector<Text>& TForm1::PortNames() const
{
    return state_->PortNames;
}

Text TForm1::DataConnectionsValue() const
{
    return BuildDataConnections(state_->FoundPorts);
}

int TForm1::PortNumberFromName(platform::TextView name) const
{
    return app::PortNumberFromName(name);
}

} // namespace app
