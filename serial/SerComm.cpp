#include "serial/SerComm.h"

#include "platform/WinError.h"
#include "serial/SerDispatcher.h"
#include "serial/SerDisplay.h"
#include "serial/SerEventThread.h"
#include "serial/SerExceptionReport.h"
#include "serial/SerFormat.h"
#include "serial/SerWaitThread.h"
#include "serial/SerWriteThread.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace serial {

using namespace platform;

namespace {

constexpr std::array<DWORD, SerBaudrateCount> kBaudRates = {
    0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

constexpr std::array<DWORD, SerCommEventCount> kEventBits = {
    EV_BREAK, EV_CTS, EV_DSR, EV_ERR, EV_RING, EV_RLSD, EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_PERR,
    EV_RX80FULL, EV_EVENT1, EV_EVENT2};

// Flag word of the device-control record.
enum : DWORD {
    fBinary = 1u << 0,
    fParity = 1u << 1,
    fOutxCtsFlow = 1u << 2,
    fOutxDsrFlow = 1u << 3,
    fDtrControlShift = 4,
    fDsrSensitivity = 1u << 6,
    fTXContinueOnXoff = 1u << 7,
    fOutX = 1u << 8,
    fInX = 1u << 9,
    fErrorChar = 1u << 10,
    fNull = 1u << 11,
    fRtsControlShift = 12,
};

constexpr std::array<uint8_t, 4> kVersion = {2, 0, 4, 0};

std::string TrimErrorText(std::string text)
{
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.'))
        text.pop_back();
    return text;
}

template <class E>
DWORD Ordinal(E value)
{
    return static_cast<DWORD>(value);
}

void ReportUnknown()
{
    HandleException(std::runtime_error("Unknown exception"));
}

} // namespace

DWORD BaudrateValue(TSerBaudrate Value)
{
    const size_t i = static_cast<size_t>(Value);
    return i < kBaudRates.size() ? kBaudRates[i] : 0;
}

DWORD EventBit(TSerCommEvent Value)
{
    const size_t i = static_cast<size_t>(Value);
    return i < kEventBits.size() ? kEventBits[i] : 0;
}

// ---------------------------------------------------------------------------------------------------
// Life cycle

TSerCustomComm::TSerCustomComm(TSerComponent* AOwner) : TSerComponent(AOwner)
{
    FFlowControl.OnChange = [this](TSerPersistent&) { ApplyDCB(); };
    FEventChars.OnChange = [this](TSerPersistent&) { ApplyDCB(); };
}

TSerCustomComm::~TSerCustomComm()
{
    MarkDestroying();
    try {
        Close();
    } catch (...) {
        // Nothing can be reported from a destructor; the handle is closed in any case.
    }
    while (!FClients.empty())
        RemoveClient(FClients.back());
}

void TSerCustomComm::Loaded()
{
    TSerComponent::Loaded();
    if (!Designing() && FAutoOpen)
        Open();
}

void TSerCustomComm::Notification(TSerComponent* AComponent, TOperation Operation)
{
    TSerComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && FDisplay != nullptr && AComponent == FDisplay)
        FDisplay = nullptr;
}

// ---------------------------------------------------------------------------------------------------
// Errors

void TSerCustomComm::RaiseCommError(std::string_view Msg)
{
    const DWORD err = GetLastError();
    const std::string text = TrimErrorText(SysErrorMessage(err));
    if (FOnErrorException) {
        FOnErrorException(*this, static_cast<int>(err), text);
        return;
    }
    throw ESerCommError(FormatMessage(Msg, {int64_t(err), text}));
}

void TSerCustomComm::VerifyResult(bool Ok, std::string_view Msg)
{
    if (!Ok)
        RaiseCommError(Msg);
}

bool TSerCustomComm::CheckClosed()
{
    if (!Active())
        return true;
    RaiseCommError(SerMsg::PortOpen);
    return false;
}

// ---------------------------------------------------------------------------------------------------
// Open and close

Text TSerCustomComm::DevicePath() const
{
    Text name;
    const Text number = IntToText(FPortNum);
    for (size_t i = 0; i < FDeviceName.size(); ++i) {
        if (FDeviceName[i] == u'%' && i + 1 < FDeviceName.size()) {
            if (FDeviceName[i + 1] == u'd') {
                name += number;
                ++i;
                continue;
            }
            if (FDeviceName[i + 1] == u'%') {
                name += u'%';
                ++i;
                continue;
            }
        }
        name += FDeviceName[i];
    }
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT)
        return u"\\\\.\\" + name;
    return name;
}

void TSerCustomComm::CreateHandle()
{
    const Text path = DevicePath();
    const HANDLE h =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
    if (h == INVALID_HANDLE_VALUE || h == 0) {
        const DWORD err = GetLastError();
        const std::string shown = EscapePercent(TextToUtf8(path));
        std::string msg;
        if (err == ERROR_FILE_NOT_FOUND)
            msg = FormatMessage(SerMsg::DeviceNotFound, {shown});
        else
            msg = FormatMessage(SerMsg::CantOpen, {shown}) + std::string(SerMsg::CantOpenError);
        SetLastError(err);
        RaiseCommError(msg);
        return;
    }
    FHandle.store(h);
}

void TSerCustomComm::Open()
{
    if (!CheckClosed())
        return;
    CreateHandle();
    if (!Active())
        return; // the failure was absorbed by the error handler
    try {
        ApplyDCB();
        UpdateBuffers();
        UpdateTimeouts();
        UpdateEventMask();
        CreateThreads();
    } catch (...) {
        // Also a partial start: threads already running are stopped before the handle goes.
        DestroyThreads();
        DestroyHandle();
        throw;
    }
    DoOpen();
}

void TSerCustomComm::UpdateBuffers()
{
    VerifyResult(SetupComm(Handle(), static_cast<DWORD>(std::max(FBuffers.ReadSize(), 0)),
                           static_cast<DWORD>(std::max(FBuffers.WriteSize(), 0))),
                 SerMsg::InitBuffers);
}

void TSerCustomComm::UpdateTimeouts()
{
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = 0xFFFFFFFFu;
    VerifyResult(SetCommTimeouts(Handle(), &timeouts), SerMsg::SetTimeouts);
}

void TSerCustomComm::UpdateEventMask()
{
    DWORD mask = 0;
    for (int i = 0; i < SerCommEventCount; ++i) {
        const auto e = static_cast<TSerCommEvent>(i);
        if (FMonitorEvents.Contains(e))
            mask |= EventBit(e);
    }
    if (!FDirectWrite)
        mask &= ~DWORD(EV_TXEMPTY); // the write thread reports an emptied buffer itself
    FEventMask = mask;
    if (Active())
        VerifyResult(SetCommMask(Handle(), FEventMask), SerMsg::SetEventMask);
}

void TSerCustomComm::CreateThreads()
{
    if (FEventMask != 0) {
        FEventThread = std::make_unique<TSerCommEventThread>(*this);
        FEventThread->SetPriority(FEventPriority);
        FEventThread->SetSync(FSyncThreads);
        FEventThread->Start();
    }
    if (!FDirectWrite) {
        auto thread = std::make_shared<TSerCommWriteThread>(*this, FBuffers.WriteSize());
        thread->SetPriority(FWritePriority);
        thread->SetSync(FSyncThreads);
        thread->Start();
        const std::lock_guard<TSerCriticalSection> guard(FWriteSection);
        FWriteThread = std::move(thread);
    }
}

void TSerCustomComm::DoOpen()
{
    if (!OnOpen)
        return;
    try {
        OnOpen(*this);
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        ReportUnknown();
    }
}

void TSerCustomComm::Close()
{
    if (!Active())
        return;
    // The threads are stopped before any lock is taken: a handler running on a worker thread (without
    // Synchronize) may need FGlobalSection or FWriteSection to finish. On the main thread WaitFor runs
    // queued Synchronize calls, so a batch handed over before Close still runs, on an open port.
    DestroyThreads();
    DestroyHandle();
    DoClose();
    Sleep(300);
}

void TSerCustomComm::DestroyThreads()
{
    if (FEventThread) {
        FEventThread->Stop();
        FEventThread->WaitFor();
        FEventThread.reset();
    }
    std::shared_ptr<TSerCommWriteThread> writer;
    {
        const std::lock_guard<TSerCriticalSection> guard(FWriteSection);
        writer = std::move(FWriteThread);
    }
    if (writer) {
        writer->Stop();
        writer->WaitFor();
    }
}

void TSerCustomComm::DestroyHandle()
{
    // Reads, purges and direct writes hold these locks while they use the handle.
    const std::lock_guard<TSerCriticalSection> global(FGlobalSection);
    const std::lock_guard<TSerCriticalSection> write(FWriteSection);
    const HANDLE h = FHandle.exchange(INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

void TSerCustomComm::DoClose()
{
    if (!Destroying() && OnClose)
        OnClose(*this);
}

// ---------------------------------------------------------------------------------------------------
// Configuration

void TSerCustomComm::ApplyDCB()
{
    if (!Active() || !FUpdateDCB)
        return;
    DCB dcb;
    dcb.DCBlength = 28;
    if (!GetCommState(Handle(), &dcb)) {
        dcb = DCB();
        dcb.DCBlength = 28;
    }
    dcb.BaudRate = FBaudrate == TSerBaudrate::brUser ? static_cast<DWORD>(FUserBaudrate) : BaudrateValue(FBaudrate);
    dcb.ByteSize = static_cast<BYTE>(4 + std::min<DWORD>(Ordinal(FDatabits), SerDatabitsCount - 1));
    dcb.Parity = static_cast<BYTE>(std::min<DWORD>(Ordinal(FParity), SerParityCount - 1));
    dcb.StopBits = static_cast<BYTE>(std::min<DWORD>(Ordinal(FStopbits), SerStopbitsCount - 1));
    dcb.XonChar = FEventChars.XonChar();
    dcb.XoffChar = FEventChars.XoffChar();
    dcb.ErrorChar = FEventChars.ErrorChar();
    dcb.EofChar = FEventChars.EofChar();
    dcb.EvtChar = FEventChars.EventChar();
    dcb.XonLim = static_cast<WORD>(static_cast<uint32_t>(FBuffers.XonLimit()) & 0xFFFFu);
    dcb.XoffLim = static_cast<WORD>(static_cast<uint32_t>(FBuffers.XoffLimit()) & 0xFFFFu);

    DWORD flags = fBinary;
    if (FOptions.Contains(TSerCommOption::coParityCheck))
        flags |= fParity;
    if (FFlowControl.OutCtsFlow())
        flags |= fOutxCtsFlow;
    if (FFlowControl.OutDsrFlow())
        flags |= fOutxDsrFlow;
    flags |= (Ordinal(FFlowControl.ControlDtr()) & 3u) << fDtrControlShift;
    if (FFlowControl.DsrSensitivity())
        flags |= fDsrSensitivity;
    if (FFlowControl.TxContinueOnXoff())
        flags |= fTXContinueOnXoff;
    if (FFlowControl.XonXoffOut())
        flags |= fOutX;
    if (FFlowControl.XonXoffIn())
        flags |= fInX;
    if (FOptions.Contains(TSerCommOption::coErrorChar))
        flags |= fErrorChar;
    if (FOptions.Contains(TSerCommOption::coNullStrip))
        flags |= fNull;
    flags |= (Ordinal(FFlowControl.ControlRts()) & 3u) << fRtsControlShift;
    dcb.Flags = flags;

    VerifyResult(SetCommState(Handle(), &dcb), SerMsg::WriteDcb);
}

void TSerCustomComm::LoadFromDCB(const DCB& Dcb)
{
    TSerBaudrate baud = TSerBaudrate::brUser;
    int32_t user = static_cast<int32_t>(Dcb.BaudRate);
    for (int i = 0; i < SerBaudrateCount; ++i) {
        if (kBaudRates[static_cast<size_t>(i)] == Dcb.BaudRate) {
            baud = static_cast<TSerBaudrate>(i);
            user = 0;
            break;
        }
    }
    FBaudrate = baud;
    FUserBaudrate = user;
    FParity = Dcb.Parity < SerParityCount ? static_cast<TSerParity>(Dcb.Parity) : TSerParity::paNone;
    FDatabits = Dcb.ByteSize >= 4 && Dcb.ByteSize <= 8 ? static_cast<TSerDatabits>(Dcb.ByteSize - 4)
                                                         : TSerDatabits::db8;
    FStopbits = Dcb.StopBits < SerStopbitsCount ? static_cast<TSerStopbits>(Dcb.StopBits) : TSerStopbits::sb1;

    const DWORD dtr = (Dcb.Flags >> fDtrControlShift) & 3u;
    FFlowControl.SetControlDtr(dtr == 3 ? TSerControlDtr::dtrHandshake : static_cast<TSerControlDtr>(dtr));
    FFlowControl.SetControlRts(static_cast<TSerControlRts>((Dcb.Flags >> fRtsControlShift) & 3u));
    FFlowControl.SetOutCtsFlow((Dcb.Flags & fOutxCtsFlow) != 0);
    FFlowControl.SetOutDsrFlow((Dcb.Flags & fOutxDsrFlow) != 0);
    FFlowControl.SetXonXoffOut((Dcb.Flags & fOutX) != 0);
    FFlowControl.SetXonXoffIn((Dcb.Flags & fInX) != 0);
    FFlowControl.SetDsrSensitivity((Dcb.Flags & fDsrSensitivity) != 0);
    FFlowControl.SetTxContinueOnXoff((Dcb.Flags & fTXContinueOnXoff) != 0);

    FEventChars.SetXonChar(Dcb.XonChar);
    FEventChars.SetXoffChar(Dcb.XoffChar);
    FEventChars.SetErrorChar(Dcb.ErrorChar);
    FEventChars.SetEventChar(Dcb.EvtChar);
    FEventChars.SetEofChar(Dcb.EofChar);

    FBuffers.SetXonLimit(Dcb.XonLim);
    FBuffers.SetXoffLimit(Dcb.XoffLim);

    TSerCommOptions options;
    if ((Dcb.Flags & fErrorChar) != 0)
        options.Include(TSerCommOption::coErrorChar);
    if ((Dcb.Flags & fNull) != 0)
        options.Include(TSerCommOption::coNullStrip);
    if ((Dcb.Flags & fParity) != 0)
        options.Include(TSerCommOption::coParityCheck);
    FOptions = options;
}

void TSerCustomComm::ResetPortParameters()
{
    COMMCONFIG config;
    config.dwSize = 52;
    DWORD size = sizeof(config);
    if (!GetDefaultCommConfigW(DevicePath(), &config, &size))
        throw ESerCommError(std::string(SerMsg::DefaultParams));
    LoadFromDCB(config.dcb);
}

COMMPROP TSerCustomComm::Properties()
{
    FProperties = COMMPROP();
    if (Active())
        VerifyResult(GetCommProperties(Handle(), &FProperties), SerMsg::ReadProperties);
    else
        RaiseCommError(SerMsg::PortClosed);
    return FProperties;
}

Text TSerCustomComm::Version() const
{
    Text v;
    for (size_t i = 0; i < kVersion.size(); ++i) {
        if (i > 0)
            v += u'.';
        v += IntToText(kVersion[i]);
    }
    return v;
}

// ---------------------------------------------------------------------------------------------------
// Property setters

void TSerCustomComm::SetBaudrate(TSerBaudrate Value)
{
    if (Value == FBaudrate)
        return;
    FBaudrate = Value;
    if (Value != TSerBaudrate::brUser)
        FUserBaudrate = 0;
    ApplyDCB();
}

void TSerCustomComm::SetUserBaudrate(int32_t Value)
{
    if (Value == FUserBaudrate)
        return;
    FUserBaudrate = Value;
    FBaudrate = TSerBaudrate::brUser;
    ApplyDCB();
}

void TSerCustomComm::SetParity(TSerParity Value)
{
    if (Value == FParity)
        return;
    FParity = Value;
    ApplyDCB();
}

void TSerCustomComm::SetDatabits(TSerDatabits Value)
{
    if (Value == FDatabits)
        return;
    FDatabits = Value;
    ApplyDCB();
}

void TSerCustomComm::SetStopbits(TSerStopbits Value)
{
    if (Value == FStopbits)
        return;
    FStopbits = Value;
    ApplyDCB();
}

void TSerCustomComm::SetOptions(TSerCommOptions Value)
{
    if (Value == FOptions)
        return;
    FOptions = Value;
    ApplyDCB();
}

void TSerCustomComm::SetBuffers(const TSerBuffers& Value)
{
    if (!CheckClosed())
        return;
    FBuffers.Assign(Value);
}

void TSerCustomComm::SetPortNum(TSerPortInt Value)
{
    if (CheckClosed())
        FPortNum = Value;
}

void TSerCustomComm::SetDeviceName(const Text& Value)
{
    if (CheckClosed())
        FDeviceName = Value;
}

void TSerCustomComm::SetMonitorEvents(TSerCommEvents Value)
{
    if (CheckClosed())
        FMonitorEvents = Value;
}

void TSerCustomComm::SetDirectWrite(bool Value)
{
    if (CheckClosed())
        FDirectWrite = Value;
}

void TSerCustomComm::SetUpdateDCB(bool Value)
{
    if (CheckClosed())
        FUpdateDCB = Value;
}

void TSerCustomComm::SetEventPriority(TThreadPriority Value)
{
    if (Value == FEventPriority)
        return;
    FEventPriority = Value;
    if (FEventThread)
        FEventThread->SetPriority(Value);
}

void TSerCustomComm::SetWritePriority(TThreadPriority Value)
{
    if (Value == FWritePriority)
        return;
    FWritePriority = Value;
    if (FWriteThread)
        FWriteThread->SetPriority(Value);
}

void TSerCustomComm::SetDisplay(TSerDisplay* Value)
{
    FDisplay = Value;
    if (Value != nullptr)
        Value->FreeNotification(this);
}

// ---------------------------------------------------------------------------------------------------
// Receive path

void TSerCustomComm::CancelPending(HANDLE h, OVERLAPPED& ov, DWORD purgeFlag, DWORD& transferred)
{
    // Abort the operation and wait until the driver has completed the record, so that neither the
    // record nor the caller's buffer is touched after we return.
    PurgeComm(h, purgeFlag);
    transferred = 0;
    if (!GetOverlappedResult(h, &ov, &transferred, true))
        transferred = 0;
}

int TSerCustomComm::ReadBuf(void* Buf, int Count)
{
    if (!Active() || Count <= 0)
        return 0;
    const std::lock_guard<TSerCriticalSection> guard(FGlobalSection);
    const HANDLE h = Handle();
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    OVERLAPPED ov{};
    ov.hEvent = FEvent.Handle();
    DWORD read = 0;
    if (ReadFile(h, Buf, static_cast<DWORD>(Count), &read, &ov))
        return static_cast<int>(read);
    if (GetLastError() != ERROR_IO_PENDING) {
        RaiseCommError(SerMsg::ReadError);
        return 0;
    }
    if (FEvent.WaitFor(static_cast<DWORD>(std::max(FBuffers.ReadTimeout(), 0))) == TSerEventWaitResult::wrSignaled)
        return GetOverlappedResult(h, &ov, &read, false) ? static_cast<int>(read) : 0;
    // Not done in time: cancel it. Bytes it delivered meanwhile are in Buf and are counted.
    CancelPending(h, ov, PURGE_RXABORT, read);
    return static_cast<int>(std::min<DWORD>(read, static_cast<DWORD>(Count)));
}

bool TSerCustomComm::ReadChar(char& Ch)
{
    return ReadBuf(&Ch, 1) == 1;
}

std::string TSerCustomComm::ReadText()
{
    const int n = ReadBufUsed();
    if (n <= 0)
        return {};
    std::string text(static_cast<size_t>(n), '\0');
    const int got = ReadBuf(text.data(), n);
    text.resize(static_cast<size_t>(std::clamp(got, 0, n))); // only the bytes actually read
    return text;
}

TSerCommStatus TSerCustomComm::GetComStatus()
{
    const std::lock_guard<TSerCriticalSection> guard(FGlobalSection);
    TSerCommStatus status;
    const HANDLE h = Handle();
    if (h == INVALID_HANDLE_VALUE)
        return status;
    DWORD errors = 0;
    COMSTAT stat;
    if (!ClearCommError(h, &errors, &stat)) {
        RaiseCommError(SerMsg::Statistics);
        return status;
    }
    status.Errors = errors;
    status.Flags = stat.Flags;
    status.InQueue = stat.cbInQue;
    status.OutQueue = stat.cbOutQue;
    return status;
}

int TSerCustomComm::ReadBufUsed()
{
    if (!Active())
        return 0;
    return static_cast<int>(std::min<uint32_t>(GetComStatus().InQueue, 0x7FFFFFFF));
}

int TSerCustomComm::ReadBufFree()
{
    if (!Active())
        return 0;
    return FBuffers.ReadSize() - static_cast<int>(std::min<uint32_t>(GetComStatus().InQueue, 0x7FFFFFFF));
}

int TSerCustomComm::UARTReadBufUsed()
{
    return static_cast<int>(std::min<uint32_t>(GetComStatus().InQueue, 0x7FFFFFFF));
}

bool TSerCustomComm::WaitChar(int TimeOut)
{
    // The polling thread is owned here and joined before return (its destructor sets Done and waits),
    // so nothing touches it after it is gone.
    TWaitThread poller(*this);
    poller.Start();
    const bool ended =
        WaitForSingleObject(poller.Handle(), static_cast<DWORD>(std::max(TimeOut, 0))) == WAIT_OBJECT_0;
    if (!ended)
        poller.SetDone(true);
    return ended && poller.Found();
}

bool TSerCustomComm::ReadCharWait(char& Ch, int TimeOut)
{
    WaitChar(TimeOut);
    return ReadChar(Ch);
}

bool TSerCustomComm::CheckLineErrors()
{
    try {
        const TSerCommStatus status = GetComStatus();
        if (status.Errors != 0 && OnError)
            OnError(*this, static_cast<int>(status.Errors));
        return status.Errors != 0;
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        ReportUnknown();
    }
    return false;
}

void TSerCustomComm::ProcessEvents(DWORD Events)
{
    try {
        if (FDisplay != nullptr)
            FDisplay->UpdateDisplay(*this);
        if ((Events & EV_RXCHAR) != 0) {
            HandleRxChar();
            Events &= ~DWORD(EV_RXCHAR);
        }
        if (Events != 0)
            HandleEvents(static_cast<int>(Events));
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        ReportUnknown();
    }
}

void TSerCustomComm::HandleRxChar()
{
    const int n = ReadBufUsed();
    if (n <= 0)
        return;
    if (!FClients.empty()) {
        std::vector<uint8_t> block(static_cast<size_t>(n));
        const int got = ReadBuf(block.data(), n);
        // Only the bytes actually read are passed on, in blocks of at most SerDataSize.
        for (int offset = 0; offset < got; offset += SerDataSize)
            DispatchRxBuf(block.data() + offset, std::min(SerDataSize, got - offset));
    } else if (OnRxChar) {
        OnRxChar(*this, n);
    }
}

void TSerCustomComm::HandleEvents(int Events)
{
    const auto has = [Events](DWORD bit) { return (static_cast<DWORD>(Events) & bit) != 0; };
    if (has(EV_ERR))
        CheckLineErrors();
    if (!FClients.empty())
        DispatchEvents(Events);
    if (has(EV_RXFLAG) && OnRxFlag)
        OnRxFlag(*this);
    if (has(EV_CTS) && OnCts)
        OnCts(*this);
    if (has(EV_DSR) && OnDsr)
        OnDsr(*this);
    if (has(EV_RING) && OnRing)
        OnRing(*this);
    if (has(EV_RLSD) && OnRlsd)
        OnRlsd(*this);
    if (has(EV_TXEMPTY) && OnTxEmpty)
        OnTxEmpty(*this);
    if (has(EV_BREAK) && OnBreak)
        OnBreak(*this);
    if (has(EV_PERR) && OnPErr)
        OnPErr(*this);
    if (has(EV_RX80FULL) && OnRx80Full)
        OnRx80Full(*this);
    if (has(EV_EVENT1) && OnEvent1)
        OnEvent1(*this);
    if (has(EV_EVENT2) && OnEvent2)
        OnEvent2(*this);
}

// ---------------------------------------------------------------------------------------------------
// Clients

void TSerCustomComm::DispatchEvents(int Events)
{
    if (!FControlsEnabled)
        return;
    // By index: a callback may detach clients.
    for (size_t i = 0; i < FClients.size(); ++i) {
        TSerDispatcher* client = FClients[i];
        if (client->Active() && client->User() != nullptr)
            client->User()->HandleCommEvent(Events);
    }
}

void TSerCustomComm::DispatchRxBuf(PSerData Data, int Count)
{
    if (FControlsEnabled) {
        for (size_t i = 0; i < FClients.size(); ++i) {
            TSerDispatcher* client = FClients[i];
            if (client->Active() && client->User() != nullptr)
                client->User()->HandleRxBuf(Data, Count);
        }
    }
    if (OnRxBuf)
        OnRxBuf(*this, Data, Count);
}

void TSerCustomComm::InsertClient(TSerDispatcher* Value)
{
    if (Value == nullptr)
        return;
    if (Value->FComm != nullptr && Value->FComm != this)
        Value->FComm->RemoveClient(Value);
    Value->FComm = this;
    if (std::find(FClients.begin(), FClients.end(), Value) == FClients.end())
        FClients.push_back(Value);
}

void TSerCustomComm::RemoveClient(TSerDispatcher* Value)
{
    const auto it = std::find(FClients.begin(), FClients.end(), Value);
    if (it == FClients.end())
        return;
    Value->FComm = nullptr;
    FClients.erase(it);
}

// ---------------------------------------------------------------------------------------------------
// Write path

std::shared_ptr<TSerCommWriteThread> TSerCustomComm::WriteThread()
{
    const std::lock_guard<TSerCriticalSection> guard(FWriteSection);
    return FWriteThread;
}

int TSerCustomComm::DirectWriteBuf(const void* Buf, int Count)
{
    const std::lock_guard<TSerCriticalSection> guard(FWriteSection);
    const HANDLE h = Handle();
    if (h == INVALID_HANDLE_VALUE || Count == 0)
        return 0;
    // Direct writes complete on their own event, never on the one of direct reads.
    OVERLAPPED ov{};
    ov.hEvent = FWriteEvent.Handle();
    DWORD written = 0;
    if (WriteFile(h, Buf, static_cast<DWORD>(Count), &written, &ov))
        return static_cast<int>(written);
    if (GetLastError() != ERROR_IO_PENDING) {
        RaiseCommError(SerMsg::WriteError);
        return 0;
    }
    if (FWriteEvent.WaitFor(static_cast<DWORD>(std::max(FBuffers.WriteTimeout(), 0))) ==
        TSerEventWaitResult::wrSignaled)
        return GetOverlappedResult(h, &ov, &written, false) ? static_cast<int>(written) : 0;
    CancelPending(h, ov, PURGE_TXABORT, written);
    return static_cast<int>(std::min<DWORD>(written, static_cast<DWORD>(Count)));
}

int TSerCustomComm::WriteBuf(const void* Buf, int Count)
{
    if (!Active() || Count < 0)
        return 0;
    if (FDirectWrite)
        return DirectWriteBuf(Buf, Count);
    const std::shared_ptr<TSerCommWriteThread> writer = WriteThread();
    if (!writer)
        return 0;
    if (writer->WriteData(Buf, Count))
        return Count;
    RaiseCommError(SerMsg::OutputFull);
    return 0;
}

bool TSerCustomComm::WriteText(std::string_view Text)
{
    const int count = static_cast<int>(std::min<size_t>(Text.size(), 0x7FFFFFFF));
    return WriteBuf(Text.data(), count) == count && static_cast<size_t>(count) == Text.size();
}

bool TSerCustomComm::WriteChar(char Ch)
{
    return WriteBuf(&Ch, 1) == 1;
}

int TSerCustomComm::WriteBufUsed()
{
    if (!Active())
        return 0;
    if (FDirectWrite)
        return static_cast<int>(std::min<uint32_t>(GetComStatus().OutQueue, 0x7FFFFFFF));
    const std::shared_ptr<TSerCommWriteThread> writer = WriteThread();
    return writer ? writer->BufferUsed() : 0;
}

int TSerCustomComm::WriteBufFree()
{
    if (!Active())
        return 0;
    if (!FDirectWrite && !WriteThread())
        return 0;
    return FBuffers.WriteSize() - WriteBufUsed();
}

int TSerCustomComm::UARTWriteBufUsed()
{
    return static_cast<int>(std::min<uint32_t>(GetComStatus().OutQueue, 0x7FFFFFFF));
}

void TSerCustomComm::Purge(DWORD Flags)
{
    if (!Active())
        return;
    const std::lock_guard<TSerCriticalSection> guard(FGlobalSection);
    const HANDLE h = Handle();
    if (h == INVALID_HANDLE_VALUE)
        return;
    if (Flags != (PURGE_RXABORT | PURGE_RXCLEAR)) {
        if (const std::shared_ptr<TSerCommWriteThread> writer = WriteThread())
            writer->PurgeWrite();
    }
    VerifyResult(PurgeComm(h, Flags), SerMsg::ClearBuffers);
}

void TSerCustomComm::PurgeRead()
{
    Purge(PURGE_RXABORT | PURGE_RXCLEAR);
}

void TSerCustomComm::PurgeWrite()
{
    Purge(PURGE_TXABORT | PURGE_TXCLEAR);
}

void TSerCustomComm::PurgeReadWrite()
{
    Purge(PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
}

// ---------------------------------------------------------------------------------------------------
// Line control and status

void TSerCustomComm::EscapeFunction(DWORD Code)
{
    if (!Active())
        return;
    VerifyResult(EscapeCommFunction(Handle(), Code), SerMsg::CommFunction);
}

void TSerCustomComm::SetDTR(bool Value)
{
    if (FFlowControl.ControlDtr() == TSerControlDtr::dtrHandshake)
        throw ESerCommError(std::string(SerMsg::DtrHandshake));
    EscapeFunction(Value ? SETDTR : CLRDTR);
}

void TSerCustomComm::SetRTS(bool Value)
{
    if (FFlowControl.ControlRts() == TSerControlRts::rtsHandshake ||
        FFlowControl.ControlRts() == TSerControlRts::rtsToggle)
        throw ESerCommError(std::string(SerMsg::RtsHandshake));
    EscapeFunction(Value ? SETRTS : CLRRTS);
}

void TSerCustomComm::SetBreak(bool Value)
{
    EscapeFunction(Value ? SETBREAK : CLRBREAK);
}

void TSerCustomComm::SetXon(bool Value)
{
    EscapeFunction(Value ? SETXON : SETXOFF);
}

void TSerCustomComm::ResetDev()
{
    EscapeFunction(RESETDEV);
}

DWORD TSerCustomComm::ModemStatus()
{
    if (!Active())
        return 0;
    DWORD status = 0;
    if (!GetCommModemStatus(Handle(), &status)) {
        status = 0;
        RaiseCommError(SerMsg::ModemState);
    }
    return status;
}

bool TSerCustomComm::CTS() { return (ModemStatus() & MS_CTS_ON) != 0; }
bool TSerCustomComm::DSR() { return (ModemStatus() & MS_DSR_ON) != 0; }
bool TSerCustomComm::RING() { return (ModemStatus() & MS_RING_ON) != 0; }
bool TSerCustomComm::RLSD() { return (ModemStatus() & MS_RLSD_ON) != 0; }

bool TSerCustomComm::CTSHold() { return (GetComStatus().Flags & 0x01u) != 0; }
bool TSerCustomComm::DSRHold() { return (GetComStatus().Flags & 0x02u) != 0; }
bool TSerCustomComm::RLSDHold() { return (GetComStatus().Flags & 0x04u) != 0; }
bool TSerCustomComm::XOffHold() { return (GetComStatus().Flags & 0x08u) != 0; }
bool TSerCustomComm::XOffSent() { return (GetComStatus().Flags & 0x10u) != 0; }

} // namespace serial
