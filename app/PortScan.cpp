// The port scan: every port at the six rates, one receive window each, sentences assembled byte by byte.
#include "app/BaudRates.h"
#include "app/CheckDialog.h"
#include "app/FoundPortBlock.h"
#include "app/ScanState.h"
#include "app/ResultTree.h"
#include "app/SentenceLog.h"
#include "app/SourceSelection.h"
#include "app/StatusTexts.h"
#include "platform/ui/Application.h"
#include "platform/ui/QtText.h"
#include "serial/SerComm.h"
#include "serial/SerPortNames.h"
#include "treelist/TreeList.h"
#include "treelist/TreeNode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace app {

using platform::Text;

namespace {

// Clears a flag when the scan leaves, also by an error.
struct ScanningFlag {
    explicit ScanningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~ScanningFlag() { flag_ = false; }
    ScanningFlag(const ScanningFlag&) = delete;
    ScanningFlag& operator=(const ScanningFlag&) = delete;
    bool& flag_;
};

} // namespace

void TForm1::Start_btnClick(QObject*)
{
    if (scanning_)
        return;
    const ScanningFlag scanning(scanning_);
    TScanState& s = *state_;

    Start_btn->setEnabled(false);
    Ok_btn->setEnabled(false);
    Button3->setEnabled(false);

    s.DataSeen = false;
    s.Classifier.ResetAttempt();
    ComPort = 0;
    BaudRate = 0;
    Abort = false;
    Skip = false;
    s.FoundPorts.clear();
    cboMainGPS->clear();
    cboMainGPS->hide();
    lblMainGPS->hide();
    ListBox2->clear();
    choice_.Clear();

    Label2->show();
    SetStatus(ScanStartsStatus(taal_));
    ResultList->ClearNodes();
    NodeList.fill(nullptr);

    s.PortNames.clear();
    serial::GetComPortNames(s.PortNames);
    const int size = static_cast<int>(std::min<std::size_t>(s.PortNames.size(), MaxScannedPorts));
    for (int pos = 0; pos < size; ++pos)
        NodeList[static_cast<std::size_t>(pos)] = AddRootNode(*ResultList, s.PortNames[static_cast<std::size_t>(pos)]);
    SetStatus(PortNodesMadeStatus(taal_));

    for (int pos = 0; pos < size && !Abort; ++pos) {
        Skip = false;
        int portNum = PortNumberFromName(s.PortNames[static_cast<std::size_t>(pos)]);
        try {
            serCom_->SetPortNum(portNum);
        } catch (...) {
            portNum = 0; // a number the port refuses is not tried
        }
        bool found = false;
        for (int i = 1; i <= BaudRateCount && portNum != 0 && !Abort && !Skip && !found; ++i) {
            try {
                Attempt(pos, i);
            } catch (...) {
                // An error ends the attempt without a message.
            }
            // Whatever ended the attempt, the port is closed and the next attempt starts clean. A failing
            // close does not lose what arrived: the data seen is evaluated all the same.
            s.Waiting = false;
            ReceiveTimer->stop();
            try {
                serCom_->Close();
            } catch (...) {
            }
            found = s.DataSeen;
            if (found) {
                try {
                    FoundPortBlock(pos, i);
                } catch (...) {
                    // An error ends the block without a message.
                }
            }
            ResetAttempt();
            ResultList->expandAll();
        }
    }

    SetStatus(ScanEndsStatus(taal_));
    if (cboMainGPS->count() >= 1)
        cboMainGPS->setCurrentIndex(0);
    if (cboMainGPS->count() >= 2) {
        cboMainGPS->show();
        lblMainGPS->show();
    }
    Start_btn->setEnabled(true);
    Ok_btn->setEnabled(true);
    Button3->setEnabled(true);
    Label2->hide();

    if (OnScanFinished)
        QTimer::singleShot(0, this, [this] {
            if (OnScanFinished)
                OnScanFinished();
        });
}

void TForm1::Attempt(int pos, int baudIndex)
{
    TScanState& s = *state_;
    s.Sentence.Clear();
    SetStatus(AttemptStatus(taal_, s.PortNames[static_cast<std::size_t>(pos)], BaudRates(baudIndex)));
    serCom_->SetUserBaudrate(BaudRates(baudIndex));
    serCom_->Open();
    if (!serCom_->Active())
        return;
    s.Waiting = true;
    ReceiveTimer->start();
    while (s.Waiting)
        PumpMessages();
    // The caller closes the port and evaluates the window.
}

void TForm1::ResetAttempt()
{
    TScanState& s = *state_;
    s.Classifier.ResetAttempt();
    s.DataSeen = false;
    choice_.Clear();
}

void TForm1::PumpMessages()
{
    // Block until something arrives (a port event, a click, the timer, painting), then handle it all.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (auto* application = platform::ui::TApplication::Instance())
        application->ProcessMessages();
}

void TForm1::ReceiveTimerTimer(QObject*)
{
    state_->Waiting = false;
    ReceiveTimer->stop();
}

void TForm1::SerComRxFlag(serial::TSerCustomComm&)
{
    TScanState& s = *state_;
    const int n = serCom_->ReadBufUsed();
    bool complete = false;
    for (int k = 0; k < n && !complete; ++k) {
        char byte = 0;
        if (!serCom_->ReadChar(byte))
            break;
        complete = s.Sentence.PutByte(static_cast<unsigned char>(byte));
    }
    if (complete) {
        const Text sentence = s.Sentence.SentenceBuffer;
        AppendSentence(*ListBox2, sentence);
        if (ClassifySentence(sentence))
            s.DataSeen = true;
    }
}

bool TForm1::ClassifySentence(const Text& sentence)
{
    return state_->Classifier.ClassifySentence(sentence);
}

bool TForm1::SelectSources()
{
    const auto& classifier = state_->Classifier;
    return app::SelectSources(
        choice_, [&](platform::TextView type) { return classifier.RecognisedTypes.IndexOf(type) >= 0; },
        classifier.CheckTwoDecimalRMC);
}

void TForm1::FoundPortBlock(int pos, int baudIndex)
{
    TScanState& s = *state_;
    ComPort = serCom_->PortNum();
    treelist::TTreeNode* const baudNode =
        AddChildNode(*ResultList, *NodeList[static_cast<std::size_t>(pos)], BaudNodeText(BaudRates(baudIndex)));
    BaudRate = baudIndex;
    if (!SelectSources())
        return;
    treelist::TTreeNode* const nmeaNode = AddChildNode(*ResultList, *baudNode, NmeaNodeText());
    const std::vector<Text> lines = SourceLines(choice_);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        AddChildNode(*ResultList, *nmeaNode, lines[k]);
        if (k == 0 && lines[k].starts_with(u"Position : ") && IsMainGpsCandidate(choice_))
            cboMainGPS->addItem(platform::ui::ToQString(s.PortNames[static_cast<std::size_t>(pos)]));
    }
    if (ShowsAisGps(choice_))
        AisGps->show();
    const Text unused = UnusedLine(s.Classifier.UnusedTypes.Items());
    if (!unused.empty())
        AddChildNode(*ResultList, *nmeaNode, unused);

    TValues record;
    record.Baud = BaudRate;
    record.ComPort = ComPort;
    record.PositionNMEA = choice_.PositionNMEA;
    record.KoersNMEA = choice_.KoersNMEA;
    record.SpeedNMEA = choice_.SpeedNMEA;
    record.DepthNMEA = choice_.DepthNMEA;
    record.WaterSpeedNMEA = choice_.WaterSpeedNMEA;
    record.AISNMEA = choice_.AISNMEA;
    record.HeadingNMEA = choice_.HeadingNMEA;
    record.RotationNMEA = choice_.RotationNMEA;
    record.CheckTwoDecimalRMC = s.Classifier.CheckTwoDecimalRMC;
    s.FoundPorts.push_back(std::move(record));
}

} // namespace app
