// The check dialog Form1: the result tree, the buttons, the sentence log and the status bar, the serial
// port it scans with, and the working state of a scan.
#pragma once

#include "app/CommandLine.h"
#include "app/Values.h"
#include "platform/Text.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;
class QTimer;

namespace serial {
class TSerComm;
class TSerCustomComm;
}
namespace treelist {
class TTreeList;
class TTreeNode;
}
namespace translations {
class TTaal_dat;
}

namespace app {

struct TScanState;

inline constexpr int MaxScannedPorts = 99;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // options.Arguments are the command-line arguments without the program's own path.
    TForm1(translations::TTaal_dat& taal, TProgramOptions options, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, owned by the form.
    treelist::TTreeList* ResultList = nullptr;
    QPushButton* Start_btn = nullptr;
    QPushButton* Button1 = nullptr; // Skip All
    QPushButton* Button2 = nullptr; // Skip Current
    QLabel* lblMainGPS = nullptr;
    QComboBox* cboMainGPS = nullptr;
    QPushButton* Ok_btn = nullptr;     // Accept
    QPushButton* Button3 = nullptr;    // Close
    QLabel* Label2 = nullptr;          // "Receiving ....."
    QCheckBox* AisGps = nullptr;
    QListWidget* ListBox2 = nullptr;   // the sentence log
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel = nullptr;     // the status bar's single panel
    QTimer* ReceiveTimer = nullptr;
    serial::TSerComm& SerCom() { return *serCom_; }

    // Handlers.
    void FormCreate(QObject* sender);
    void FormShow(QObject* sender);
    void FormActivate(QObject* sender);
    void FormDestroy(QObject* sender);
    void Button1Click(QObject* sender);
    void Button2Click(QObject* sender);
    void Button3Click(QObject* sender);
    void Start_btnClick(QObject* sender);
    void ReceiveTimerTimer(QObject* sender);
    void SerComRxFlag(serial::TSerCustomComm& Sender);
    void Ok_btnClick(QObject* sender);

    // State, for the report and for tests.
    bool ExternSet() const { return Extern; }
    bool AbortSet() const { return Abort; }
    bool SkipSet() const { return Skip; }
    bool Scanning() const { return scanning_; }
    bool WaitingSet() const;
    const std::vector<TValues>& FoundPorts() const;
    const std::vector<platform::Text>& PortNames() const;
    platform::Text StatusText() const;
    // The DataConnections value that Accept writes for the current FoundPorts.
    platform::Text DataConnectionsValue() const;
    // Called when a scan has finished (after the buttons are enabled again).
    std::function<void()> OnScanFinished;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void ConfigureSerCom();
    void SetStatus(const platform::Text& text);
    int PortNumberFromName(platform::TextView name) const;
    bool ClassifySentence(const platform::Text& sentence);
    bool SelectSources();
    // One receive window at BaudRates(baudIndex): opens the port and handles messages until the window
    // ends. The caller closes the port and evaluates what arrived.
    void Attempt(int pos, int baudIndex);
    void FoundPortBlock(int pos, int baudIndex);
    void ResetAttempt();
    void PumpMessages();

    translations::TTaal_dat& taal_;
    TProgramOptions options_;
    std::unique_ptr<serial::TSerComm> serCom_;
    std::unique_ptr<TScanState> state_;

    bool Extern = false;
    bool Abort = false;
    bool Skip = false;
    std::array<treelist::TTreeNode*, MaxScannedPorts> NodeList{}; // not owned: the tree owns its nodes

    TSourceChoice choice_; // PositionNMEA ... RotationNMEA of the attempt that has just ended
    int ComPort = 0;
    int BaudRate = 0;      // index 1 to 6

    bool scanning_ = false;
    bool shown_ = false;
    bool activated_ = false;
};

} // namespace app
