// The serial port component: one port, its line settings, Open and Close, the event and write threads,
// reads, writes, purges, line control, clients and the settings store.
#pragma once

#include "platform/Comm.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "serial/SerClasses.h"
#include "serial/SerObjects.h"
#include "serial/SerPrst.h"
#include "serial/SerTypes.h"
#include "serial/SettingsStore.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace serial {

class TSerCommEventThread;
class TSerCommWriteThread;
class TSerDispatcher;
class TSerDisplay;

using platform::TThreadPriority;

// Texts of the component's messages.
namespace SerMsg {
inline constexpr std::string_view PortOpen = "Can't perform this operation while port is open";
inline constexpr std::string_view PortClosed = "Can't perform this operation while port is closed";
inline constexpr std::string_view DeviceNotFound = "Specified device not found (%s).";
inline constexpr std::string_view CantOpen = "Can't open specified device %s";
inline constexpr std::string_view CantOpenError = " (Error %d, %s)";
inline constexpr std::string_view WriteDcb = "Error writing dcb (%d), %s";
inline constexpr std::string_view InitBuffers = "Error initializing buffers (%d), %s";
inline constexpr std::string_view SetTimeouts = "Error setting timeouts (%d), %s";
inline constexpr std::string_view SetEventMask = " Error setting EventMask (%d), %s";
inline constexpr std::string_view ReadProperties = "Error reading port properties (%d), %s";
inline constexpr std::string_view DefaultParams = "Error reading default port parameters.";
inline constexpr std::string_view ReadError = "Read error (%d), %s";
inline constexpr std::string_view Statistics = "Error retrieving statistics (%d), %s";
inline constexpr std::string_view WriteError = "Write error (%d), %s";
inline constexpr std::string_view OutputFull = "Output buffer is full. Please check comm status.";
inline constexpr std::string_view ClearBuffers = "Error clearing buffers (%d), %s";
inline constexpr std::string_view CommFunction = "Error calling comm function (%d), %s";
inline constexpr std::string_view ModemState = "Error reading modem state (%d), %s";
inline constexpr std::string_view DtrHandshake =
    "DTR line updates not allowed when flowcontrol is set to Handshake.";
inline constexpr std::string_view RtsHandshake =
    "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.";
} // namespace SerMsg

// The rate of a baud-rate member (brUser: 0); the driver event bit of an event member.
platform::DWORD BaudrateValue(TSerBaudrate Value);
platform::DWORD EventBit(TSerCommEvent Value);

class TSerCustomComm : public TSerComponent {
public:
    explicit TSerCustomComm(TSerComponent* AOwner = nullptr);
    ~TSerCustomComm() override;

    // --- Open and close ---
    void Open();
    void Close();
    bool Active() const { return Handle() != platform::INVALID_HANDLE_VALUE; }
    platform::HANDLE Handle() const { return FHandle.load(); }
    // DeviceName formatted with PortNum, with the "\\.\" prefix on the NT platform family.
    platform::Text DevicePath() const;
    // Refuses (through RaiseCommError) while open; true when the port is closed.
    bool CheckClosed();

    // --- Configuration ---
    void ApplyDCB();
    void LoadFromDCB(const platform::DCB& Dcb);
    void ResetPortParameters();
    platform::COMMPROP Properties();
    // The driver event mask in force while open.
    platform::DWORD EventMask() const { return FEventMask; }

    // --- Receive path ---
    int ReadBuf(void* Buf, int Count);
    bool ReadChar(char& Ch);
    std::string ReadText();
    int ReadBufUsed();
    int ReadBufFree();
    int UARTReadBufUsed();
    bool WaitChar(int TimeOut);
    bool ReadCharWait(char& Ch, int TimeOut);
    TSerCommStatus GetComStatus();
    bool CheckLineErrors();
    // Runs one batch of driver events (the event thread calls it, on the main thread when Sync).
    void ProcessEvents(platform::DWORD Events);

    // --- Write path ---
    int WriteBuf(const void* Buf, int Count);
    bool WriteText(std::string_view Text);
    bool WriteChar(char Ch);
    int WriteBufUsed();
    int WriteBufFree();
    int UARTWriteBufUsed();
    void Purge(platform::DWORD Flags);
    void PurgeRead();
    void PurgeWrite();
    void PurgeReadWrite();

    // --- Line control and status ---
    void EscapeFunction(platform::DWORD Code);
    void SetDTR(bool Value);
    void SetRTS(bool Value);
    void SetBreak(bool Value);
    void SetXon(bool Value);
    void ResetDev();
    bool CTS();
    bool DSR();
    bool RING();
    bool RLSD();
    bool CTSHold();
    bool DSRHold();
    bool RLSDHold();
    bool XOffHold();
    bool XOffSent();

    // --- Clients ---
    void InsertClient(TSerDispatcher* Value);
    void RemoveClient(TSerDispatcher* Value);
    void EnableControls() { FControlsEnabled = true; }
    void DisableControls() { FControlsEnabled = false; }
    bool ControlsEnabled() const { return FControlsEnabled; }
    int ClientCount() const { return static_cast<int>(FClients.size()); }

    // --- Settings store ---
    void SaveSettings();
    bool LoadSettings();

    // --- Properties ---
    bool AutoOpen() const { return FAutoOpen; }
    void SetAutoOpen(bool Value) { FAutoOpen = Value; }
    TSerBaudrate Baudrate() const { return FBaudrate; }
    void SetBaudrate(TSerBaudrate Value);
    int32_t UserBaudrate() const { return FUserBaudrate; }
    void SetUserBaudrate(int32_t Value);
    TSerParity Parity() const { return FParity; }
    void SetParity(TSerParity Value);
    TSerDatabits Databits() const { return FDatabits; }
    void SetDatabits(TSerDatabits Value);
    TSerStopbits Stopbits() const { return FStopbits; }
    void SetStopbits(TSerStopbits Value);
    TSerCommOptions Options() const { return FOptions; }
    void SetOptions(TSerCommOptions Value);
    TSerEventChars& EventChars() { return FEventChars; }
    const TSerEventChars& EventChars() const { return FEventChars; }
    void SetEventChars(const TSerEventChars& Value) { FEventChars.Assign(Value); }
    TSerFlowControl& FlowControl() { return FFlowControl; }
    const TSerFlowControl& FlowControl() const { return FFlowControl; }
    void SetFlowControl(const TSerFlowControl& Value) { FFlowControl.Assign(Value); }
    TSerBuffers& Buffers() { return FBuffers; }
    const TSerBuffers& Buffers() const { return FBuffers; }
    void SetBuffers(const TSerBuffers& Value);
    TSerPortInt PortNum() const { return FPortNum; }
    void SetPortNum(TSerPortInt Value);
    const platform::Text& DeviceName() const { return FDeviceName; }
    void SetDeviceName(const platform::Text& Value);
    TSerCommEvents MonitorEvents() const { return FMonitorEvents; }
    void SetMonitorEvents(TSerCommEvents Value);
    TThreadPriority EventPriority() const { return FEventPriority; }
    void SetEventPriority(TThreadPriority Value);
    TThreadPriority WritePriority() const { return FWritePriority; }
    void SetWritePriority(TThreadPriority Value);
    bool DirectWrite() const { return FDirectWrite; }
    void SetDirectWrite(bool Value);
    bool UpdateDCB() const { return FUpdateDCB; }
    void SetUpdateDCB(bool Value);
    bool SyncThreads() const { return FSyncThreads; }
    void SetSyncThreads(bool Value) { FSyncThreads = Value; }
    TSettingsStore& SettingsStore() { return FSettingsStore; }
    const TSettingsStore& SettingsStore() const { return FSettingsStore; }
    void SetSettingsStore(const TSettingsStore& Value) { FSettingsStore.Assign(Value); }
    TSerDisplay* Display() const { return FDisplay; }
    void SetDisplay(TSerDisplay* Value);
    platform::Text Version() const;
    void SetVersion(const platform::Text& /*Value*/) {}

    // --- Events ---
    TSerNotifyEvent OnOpen, OnClose, OnCts, OnDsr, OnRlsd, OnRing, OnBreak;
    TSerCommErrorEvent OnError;
    TSerCommRxCharEvent OnRxChar;
    TSerCommRxBufEvent OnRxBuf;
    TSerNotifyEvent OnRxFlag, OnTxEmpty, OnPErr, OnRx80Full, OnEvent1, OnEvent2;

protected:
    virtual void CreateHandle();
    virtual void CreateThreads();
    virtual void HandleRxChar();
    virtual void HandleEvents(int Events);
    virtual void DispatchEvents(int Events);
    virtual void DispatchRxBuf(PSerData Data, int Count);
    void Loaded() override;
    void Notification(TSerComponent* AComponent, TOperation Operation) override;

    // The single reporting path of failed system calls (see the message table).
    void RaiseCommError(std::string_view Msg);
    void VerifyResult(bool Ok, std::string_view Msg);

    // Only a descendant may absorb errors: called instead of raising, with the number and its text.
    TSerCommErrorExceptionEvent FOnErrorException;

private:
    friend class TSerCommEventThread;
    friend class TSerCommWriteThread;

    void DestroyHandle();
    void DestroyThreads();
    void UpdateBuffers();
    void UpdateTimeouts();
    void UpdateEventMask();
    void DoOpen();
    void DoClose();
    std::shared_ptr<TSerCommWriteThread> WriteThread();
    int DirectWriteBuf(const void* Buf, int Count);
    platform::DWORD ModemStatus();
    void CancelPending(platform::HANDLE h, platform::OVERLAPPED& ov, platform::DWORD purgeFlag,
                       platform::DWORD& transferred);

    std::atomic<platform::HANDLE> FHandle{platform::INVALID_HANDLE_VALUE};
    TSerCriticalSection FWriteSection;
    TSerCriticalSection FGlobalSection;
    platform::COMMPROP FProperties{};
    TSerWaitEvent FEvent;      // completion of direct reads (under FGlobalSection)
    TSerWaitEvent FWriteEvent; // completion of direct writes (under FWriteSection)
    std::unique_ptr<TSerCommEventThread> FEventThread;
    std::shared_ptr<TSerCommWriteThread> FWriteThread; // replaced under FWriteSection
    platform::DWORD FEventMask = 0;
    bool FAutoOpen = false;
    TSerPortInt FPortNum = 0;
    platform::Text FDeviceName = u"COM%d";
    TSerCommEvents FMonitorEvents{TSerCommEvent::ceError, TSerCommEvent::ceRxChar, TSerCommEvent::ceTxEmpty};
    TSerBuffers FBuffers{this};
    TThreadPriority FEventPriority = TThreadPriority::tpNormal;
    TThreadPriority FWritePriority = TThreadPriority::tpHighest;
    std::atomic<bool> FDirectWrite{false};
    std::atomic<bool> FControlsEnabled{true};
    std::vector<TSerDispatcher*> FClients; // not owned
    TSerBaudrate FBaudrate = TSerBaudrate::br1200;
    TSerParity FParity = TSerParity::paNone;
    TSerDatabits FDatabits = TSerDatabits::db8;
    TSerStopbits FStopbits = TSerStopbits::sb1;
    TSerCommOptions FOptions;
    TSerFlowControl FFlowControl;
    TSerEventChars FEventChars;
    bool FUpdateDCB = true;
    int32_t FUserBaudrate = 0;
    TSerDisplay* FDisplay = nullptr; // not owned
    bool FSyncThreads = true;
    TSettingsStore FSettingsStore;
};

// The published component; all behaviour lives in TSerCustomComm.
class TSerComm : public TSerCustomComm {
public:
    using TSerCustomComm::TSerCustomComm;
};

} // namespace serial
