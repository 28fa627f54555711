// One open serial device: the descriptor, its driver thread, the input queue, the event mask and the
// pending overlapped operations, with the semantics of the Windows serial driver.
//
// Every pending operation's completion record (OVERLAPPED), result mask and read buffer belongs to the
// caller; the driver touches them only while holding the port's lock and only while the operation is in
// one of the pending lists. Completion, cancellation (PurgeComm, SetCommMask, Close) and every other
// access happen under that lock, so once one of these calls has returned the driver never touches the
// cancelled records again. Write data is copied when the write is queued.
#pragma once

#include "platform/Comm.h"
#include "platform/posix/HandleTable.h"
#include "platform/posix/ParityMarks.h"
#include "platform/posix/SerialLine.h"
#include "platform/posix/UucpLock.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class SerialPort final : public detail::KernelObject {
public:
    // Opens the node exclusively and starts the driver thread; null with the last error set on failure
    // (5 when another process has the node open or locked). device: the line's counters, modem lines and
    // rates; the real device unless a test plays them.
    static std::shared_ptr<SerialPort> Open(const std::string& node,
                                            std::shared_ptr<serial_line::LineDevice> device = nullptr);
    SerialPort(int fd, int wakeFd, const DCB& initial, UucpLock lock,
               std::shared_ptr<serial_line::LineDevice> device);
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Cancels everything pending (ERROR_OPERATION_ABORTED), stops the driver thread and closes the device.
    void Close() override;

    BOOL GetState(DCB& dcb);
    BOOL SetState(const DCB& dcb);
    BOOL Setup(DWORD inQueue, DWORD outQueue);
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts);
    BOOL GetTimeouts(COMMTIMEOUTS& timeouts);
    BOOL SetMask(DWORD mask);
    BOOL GetMask(DWORD& mask);
    BOOL WaitEvent(DWORD* mask, OVERLAPPED* ov);
    BOOL Read(void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov);
    BOOL Write(const void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov);
    BOOL Result(OVERLAPPED* ov, DWORD* transferred, bool wait);
    BOOL ClearError(DWORD* errors, COMSTAT* stat);
    BOOL Purge(DWORD flags);
    BOOL Escape(DWORD function);
    BOOL ModemStatus(DWORD& status);
    BOOL Properties(COMMPROP& prop);

private:
    using Clock = std::chrono::steady_clock;

    struct PendingRead {
        OVERLAPPED* ov;
        uint8_t* buffer;
        DWORD count;
        DWORD got;
        std::optional<Clock::time_point> deadline;
        DWORD interval; // 0: none
        Clock::time_point lastByte;
        bool anyByte; // completes as soon as it holds at least one byte
    };
    struct PendingWrite {
        OVERLAPPED* ov;
        std::vector<uint8_t> data;
        size_t done;
        std::optional<Clock::time_point> deadline;
    };
    struct PendingWait {
        OVERLAPPED* ov;
        DWORD* mask;
    };

    void Run();
    void WatchModem();
    void Wake();
    bool Gone(); // the device went away: sets the last error
    bool InputFlowLocked() const;
    void ThrottleLocked(bool on);
    void UpdateOutputHoldLocked();
    void ModemChangedLocked();
    DWORD ReadModemLinesLocked();
    int NextTimeoutLocked(Clock::time_point now) const;
    void ReceiveLocked(const uint8_t* data, size_t n);
    void AcceptByteLocked(uint8_t b, DWORD& events);
    void QueueByteLocked(uint8_t b, DWORD& events);
    size_t StopAtLocked() const;
    void ServiceReadsLocked(Clock::time_point now);
    DWORD TakeLocked(uint8_t* out, DWORD max);
    void PumpWritesLocked(Clock::time_point now);
    void CheckTxEmptyLocked(Clock::time_point now);
    void PollCountersLocked();
    DWORD ReadCountersLocked();
    void HangUpLocked();
    void RaiseLocked(DWORD events);
    void CompleteLocked(OVERLAPPED* ov, DWORD status, DWORD info);
    void CompleteReadsLocked(DWORD status);
    void CompleteWritesLocked(DWORD status);
    BOOL WaitDoneLocked(std::unique_lock<std::mutex>& lock, OVERLAPPED* ov, DWORD* transferred);
    bool ImmediateReads() const;

    const int fd_;
    const int wakeFd_;
    UucpLock lock_;
    const std::shared_ptr<serial_line::LineDevice> device_;
    std::thread thread_;
    std::thread modemThread_;

    std::mutex mutex_;
    std::condition_variable doneCv_; // notified on completions while a caller waits for one
    int blockedCallers_ = 0;
    bool closed_ = false;
    bool dead_ = false; // the device went away (unplugged, pseudo-terminal master closed)
    DCB dcb_;
    COMMTIMEOUTS timeouts_;
    DWORD outQueueSize_ = 2048;
    std::vector<uint8_t> ring_;
    size_t head_ = 0;
    size_t count_ = 0;
    bool above80_ = false;
    ParityMarks marks_;
    bool throttled_ = false; // input flow control holds the sender: the tty is not read
    bool xoffSent_ = false;
    bool xoffHold_ = false;  // output held by a received XOFF
    bool dsrHold_ = false;   // output held because DSR is off
    bool outputSuspended_ = false;
    DWORD errors_ = 0;
    DWORD mask_ = 0;
    DWORD history_ = 0; // events of the mask not yet reported to a wait
    std::deque<PendingRead> reads_;
    std::deque<PendingWrite> writes_;
    std::optional<PendingWait> wait_;
    bool txDraining_ = false;
    Clock::time_point nextTxCheck_{};
    bool modemOk_ = true;     // the device has modem lines
    bool modemWaiting_ = false; // the modem thread waits for changes (TIOCMIWAIT)
    int modemLines_ = 0;
    bool countersOk_ = true;
    serial_line::ErrorCounters counters_;
    Clock::time_point nextCounterPoll_{};
};

} // namespace platform
