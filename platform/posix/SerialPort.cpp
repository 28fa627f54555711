#include "platform/posix/SerialPort.h"

#include "platform/posix/DeviceUsers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr DWORD kMaxQueue = 16u << 20;
constexpr DWORD kDefaultQueue = 4096;
constexpr auto kCounterPollInterval = std::chrono::milliseconds(100);
constexpr DWORD kMaxDword = 0xFFFFFFFFu;
constexpr int kModemInputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG;
// The largest difference between the rate asked for and the rate the line runs at that a receiver still
// tolerates (in percent); beyond it SetCommState fails as it does for a rate the UART cannot make.
constexpr uint64_t kRateTolerancePercent = 3;

// DCB flag bits used by the driver.
constexpr DWORD kFlagParity = 1u << 1;
constexpr DWORD kFlagOutxCts = 1u << 2;
constexpr DWORD kFlagOutxDsr = 1u << 3;
constexpr DWORD kFlagDsrSensitivity = 1u << 6;
constexpr DWORD kFlagOutX = 1u << 8;
constexpr DWORD kFlagInX = 1u << 9;
constexpr DWORD kFlagErrorChar = 1u << 10;
constexpr DWORD kFlagNull = 1u << 11;
constexpr DWORD kHandshake = 2; // DTR and RTS control code

DWORD DtrControl(const DCB& dcb) { return (dcb.Flags >> 4) & 3u; }
DWORD RtsControl(const DCB& dcb) { return (dcb.Flags >> 12) & 3u; }

// Modem ioctls fail this way on devices without modem lines (pseudo-terminals).
bool NoLines(int err) { return err == ENOTTY || err == EINVAL; }

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

BOOL FailErrno(int err)
{
    SetLastErrorFromErrno(err);
    return false;
}

bool RateHolds(uint32_t actual, DWORD wanted)
{
    const uint64_t diff = actual > wanted ? actual - wanted : wanted - actual;
    return diff * 100 <= uint64_t{wanted} * kRateTolerancePercent;
}

} // namespace

std::shared_ptr<SerialPort> SerialPort::Open(const std::string& node, std::shared_ptr<serial_line::LineDevice> device)
{
    if (!device)
        device = serial_line::RealLineDevice();
    // Looked for before the node is opened: opening a UART raises DTR and RTS under whoever holds it.
    if (UucpLock::HeldByOther(node) || OpenedByAnotherProcess(node)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // A node held with TIOCEXCL fails here with EBUSY (5), unless we are root.
    const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    // flock excludes every other open that asks for it, also by root, which TIOCEXCL does not stop.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        SetLastError(err == EWOULDBLOCK ? ERROR_ACCESS_DENIED : ErrnoToWinError(err));
        return nullptr;
    }
    DCB dcb;
    int err = serial_line::Describe(fd, dcb);
    if (err == 0) {
        dcb.DCBlength = 28;
        dcb.Flags |= 1u | (1u << 4); // binary, DTR enabled
        if ((dcb.Flags & (3u << 12)) == 0)
            dcb.Flags |= 1u << 12; // RTS enabled
        dcb.XonLim = 2048;
        dcb.XoffLim = 512;
        // Raw mode at the line's current rate, whatever it is (also 0, as another program may leave it).
        DCB raw = dcb;
        raw.BaudRate = 0;
        err = serial_line::Configure(fd, raw);
    }
    // A port opens with an empty input queue, as on Windows: what the far side sent while nobody had the
    // port open (still waiting in the tty) is not new data.
    if (err == 0)
        err = serial_line::Flush(fd, true, false);
    if (err == 0)
        err = serial_line::SetExclusive(fd, true);
    bool taken = true;
    UucpLock lock = err == 0 ? UucpLock::Take(node, taken) : UucpLock();
    if (err == 0 && !taken)
        err = EBUSY; // a lock file appeared since the check
    const int wakeFd = err == 0 ? ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC) : -1;
    if (err == 0 && wakeFd < 0)
        err = errno;
    if (err != 0) {
        ::close(fd);
        SetLastErrorFromErrno(err);
        return nullptr;
    }
    return std::make_shared<SerialPort>(fd, wakeFd, dcb, std::move(lock), std::move(device));
}

SerialPort::SerialPort(int fd, int wakeFd, const DCB& initial, UucpLock lock,
                       std::shared_ptr<serial_line::LineDevice> device)
    : fd_(fd), wakeFd_(wakeFd), lock_(std::move(lock)), device_(std::move(device)), dcb_(initial),
      ring_(kDefaultQueue)
{
    {
        const std::lock_guard guard(mutex_);
        int lines = 0;
        modemOk_ = device_->ModemLines(fd_, lines) == 0;
        modemLines_ = lines;
        countersOk_ = device_->Counters(fd_, counters_) == 0;
    }
    thread_ = std::thread([this] { Run(); });
    if (modemOk_)
        modemThread_ = std::thread([this] { WatchModem(); });
}

SerialPort::~SerialPort() { Close(); }

void SerialPort::Close()
{
    {
        const std::lock_guard lock(mutex_);
        if (closed_)
            return;
        closed_ = true;
        CompleteReadsLocked(ERROR_OPERATION_ABORTED);
        CompleteWritesLocked(ERROR_OPERATION_ABORTED);
        if (wait_) {
            CompleteLocked(wait_->ov, ERROR_OPERATION_ABORTED, 0);
            wait_.reset();
        }
    }
    Wake();
    if (thread_.joinable())
        thread_.join();
    if (modemThread_.joinable()) {
        std::unique_lock lock(mutex_);
        while (modemWaiting_) {
            lock.unlock();
            device_->InterruptWait(modemThread_);
            lock.lock();
            doneCv_.wait_for(lock, std::chrono::milliseconds(2));
        }
        lock.unlock();
        modemThread_.join();
    }
    // Output still queued is discarded, so that the close never waits for a line held by CTS or XOFF.
    if (!dead_)
        (void)serial_line::Flush(fd_, false, true);
    // Otherwise the tty stays exclusive after the close, and other users' opens fail with EBUSY.
    (void)serial_line::SetExclusive(fd_, false);
    ::close(wakeFd_);
    ::close(fd_); // also releases the flock
    lock_ = UucpLock();
}

void SerialPort::Wake()
{
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

bool SerialPort::Gone()
{
    if (closed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return true;
    }
    if (dead_) {
        SetLastError(ERROR_GEN_FAILURE);
        return true;
    }
    return false;
}

bool SerialPort::ImmediateReads() const
{
    return timeouts_.ReadIntervalTimeout == kMaxDword && timeouts_.ReadTotalTimeoutMultiplier == 0 &&
           timeouts_.ReadTotalTimeoutConstant == 0;
}

// ---- driver thread ----

void SerialPort::Run()
{
    std::vector<uint8_t> chunk(4096);
    std::unique_lock lock(mutex_);
    while (!closed_) {
        pollfd fds[2] = {};
        fds[0].fd = dead_ ? -1 : fd_;
        // While input flow control holds the sender the tty is not read; hang-ups are still reported.
        fds[0].events = static_cast<short>((throttled_ ? 0 : POLLIN) | (writes_.empty() ? 0 : POLLOUT));
        fds[1].fd = wakeFd_;
        fds[1].events = POLLIN;
        const int timeout = NextTimeoutLocked(Clock::now());
        lock.unlock();
        const int ready = ::poll(fds, 2, timeout);
        lock.lock();
        if (closed_)
            break;
        if (ready < 0 && errno != EINTR)
            continue;
        if ((fds[1].revents & POLLIN) != 0) {
            uint64_t value = 0;
            (void)!::read(wakeFd_, &value, sizeof value);
        }
        const short revents = fds[0].revents;
        if (!dead_ && !throttled_ && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            size_t want = chunk.size();
            if (InputFlowLocked()) {
                // Never more than fits below the stop mark: the rest waits in the kernel.
                const size_t stopAt = StopAtLocked();
                want = std::min(want, stopAt > count_ ? stopAt - count_ : size_t{1});
            }
            // Read under the lock, so that a purge never races with bytes on their way into the queue.
            const ssize_t n = ::read(fd_, chunk.data(), want);
            if (n > 0) {
                ReceiveLocked(chunk.data(), static_cast<size_t>(n));
                if (countersOk_)
                    PollCountersLocked();
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR) || (revents & (POLLHUP | POLLERR)) != 0) {
                HangUpLocked();
            }
        } else if (!dead_ && (revents & (POLLHUP | POLLERR)) != 0) {
            HangUpLocked();
        }
        const auto now = Clock::now();
        PumpWritesLocked(now);
        CheckTxEmptyLocked(now);
        ServiceReadsLocked(now);
        if (countersOk_ && !dead_ && now >= nextCounterPoll_) {
            PollCountersLocked();
            nextCounterPoll_ = now + kCounterPollInterval;
        }
    }
}

// The modem thread: blocks in TIOCMIWAIT until an input line changes, so short pulses are not missed and
// an idle USB adapter sees no control transfers.
void SerialPort::WatchModem()
{
    for (;;) {
        {
            const std::lock_guard lock(mutex_);
            if (closed_ || dead_)
                return;
            modemWaiting_ = true;
        }
        const int err = device_->WaitModemChange(fd_, kModemInputs);
        const std::lock_guard lock(mutex_);
        modemWaiting_ = false;
        doneCv_.notify_all();
        if (closed_)
            return;
        if (err == EINTR)
            continue;
        if (err == EIO) {
            HangUpLocked();
            return;
        }
        if (err != 0)
            return; // the device cannot wait for its lines: no modem events
        ModemChangedLocked();
        Wake();
    }
}

// An input line changed: its events and those of the counters are raised together, once each.
void SerialPort::ModemChangedLocked()
{
    DWORD events = ReadModemLinesLocked();
    // The counters also tell of pulses too short to be seen in the lines.
    if (countersOk_)
        events |= ReadCountersLocked();
    RaiseLocked(events);
    UpdateOutputHoldLocked();
}

// Reads the modem lines; returns the events of the lines that changed since the last read.
DWORD SerialPort::ReadModemLinesLocked()
{
    int lines = 0;
    if (device_->ModemLines(fd_, lines) != 0)
        return 0;
    const int changed = lines ^ modemLines_;
    modemLines_ = lines;
    DWORD events = 0;
    if ((changed & TIOCM_CTS) != 0)
        events |= EV_CTS;
    if ((changed & TIOCM_DSR) != 0)
        events |= EV_DSR;
    if ((changed & TIOCM_CAR) != 0)
        events |= EV_RLSD;
    if ((changed & TIOCM_RNG) != 0 && (lines & TIOCM_RNG) != 0)
        events |= EV_RING;
    return events;
}

int SerialPort::NextTimeoutLocked(Clock::time_point now) const
{
    std::optional<Clock::time_point> next;
    const auto consider = [&](Clock::time_point t) {
        if (!next || t < *next)
            next = t;
    };
    if (!reads_.empty()) {
        const PendingRead& r = reads_.front();
        if (r.deadline)
            consider(*r.deadline);
        if (r.interval != 0 && r.got > 0)
            consider(r.lastByte + std::chrono::milliseconds(r.interval));
    }
    if (!writes_.empty() && writes_.front().deadline) // later writes time out once they are in front
        consider(*writes_.front().deadline);
    if (txDraining_)
        consider(nextTxCheck_);
    if (countersOk_ && !dead_)
        consider(nextCounterPoll_);
    if (!next)
        return -1;
    if (*next <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::min<long long>(ms, 60000));
}

void SerialPort::ReceiveLocked(const uint8_t* data, size_t n)
{
    DWORD events = 0;
    if ((dcb_.Flags & kFlagParity) == 0) {
        for (size_t i = 0; i < n; ++i)
            AcceptByteLocked(data[i], events);
    } else {
        // Bytes with a parity or framing error are replaced by the error character where asked for, and
        // otherwise kept as received.
        for (size_t i = 0; i < n; ++i) {
            const ParityMarks::Out out = marks_.Feed(data[i]);
            if (out.kind == ParityMarks::Kind::byte) {
                AcceptByteLocked(out.value, events);
                if (out.hasExtra)
                    AcceptByteLocked(out.extra, events);
            } else if (out.kind == ParityMarks::Kind::errored) {
                if ((dcb_.Flags & kFlagErrorChar) != 0)
                    QueueByteLocked(static_cast<uint8_t>(dcb_.ErrorChar), events);
                else
                    AcceptByteLocked(out.value, events);
            }
        }
    }
    RaiseLocked(events);
    if (InputFlowLocked() && !throttled_) {
        if (count_ >= StopAtLocked())
            ThrottleLocked(true);
    }
}

void SerialPort::AcceptByteLocked(uint8_t b, DWORD& events)
{
    if ((dcb_.Flags & kFlagOutX) != 0) {
        // Output XON/XOFF is done here, not by the kernel, so that XOffHold can be reported.
        if (b == static_cast<uint8_t>(dcb_.XoffChar)) {
            xoffHold_ = true;
            UpdateOutputHoldLocked();
            return;
        }
        if (b == static_cast<uint8_t>(dcb_.XonChar)) {
            xoffHold_ = false;
            UpdateOutputHoldLocked();
            return;
        }
    }
    if (b == 0 && (dcb_.Flags & kFlagNull) != 0)
        return;
    if ((dcb_.Flags & kFlagDsrSensitivity) != 0 && modemOk_ && (modemLines_ & TIOCM_DSR) == 0)
        return; // DSR sensitivity: bytes received while DSR is off are ignored
    QueueByteLocked(b, events);
}

void SerialPort::QueueByteLocked(uint8_t b, DWORD& events)
{
    events |= EV_RXCHAR;
    if (b == static_cast<uint8_t>(dcb_.EvtChar))
        events |= EV_RXFLAG;
    const size_t capacity = ring_.size();
    if (count_ >= capacity) {
        // Dropped, but received: its events are raised as for any byte, with the overrun error.
        errors_ |= CE_RXOVER;
        events |= EV_ERR;
        return;
    }
    size_t at = head_ + count_;
    if (at >= capacity)
        at -= capacity;
    ring_[at] = b;
    ++count_;
    if (!above80_ && count_ * 5 >= capacity * 4) {
        above80_ = true;
        events |= EV_RX80FULL;
    }
}

// Input flow control holds the sender when no more than XoffLim bytes of the queue are free.
size_t SerialPort::StopAtLocked() const
{
    return ring_.size() - std::min<size_t>(dcb_.XoffLim, ring_.size() - 1);
}

bool SerialPort::InputFlowLocked() const
{
    return RtsControl(dcb_) == kHandshake || DtrControl(dcb_) == kHandshake || (dcb_.Flags & kFlagInX) != 0;
}

void SerialPort::ThrottleLocked(bool on)
{
    if (throttled_ == on)
        return;
    throttled_ = on;
    if (dead_)
        return;
    if ((dcb_.Flags & kFlagInX) != 0 || xoffSent_) {
        if (serial_line::SendFlowChar(fd_, on) == 0 || !on)
            xoffSent_ = on;
    }
    if (RtsControl(dcb_) == kHandshake)
        (void)serial_line::SetModemLines(fd_, TIOCM_RTS, !on);
    if (DtrControl(dcb_) == kHandshake)
        (void)serial_line::SetModemLines(fd_, TIOCM_DTR, !on);
    if (!on)
        Wake(); // the driver thread reads the tty again
}

void SerialPort::UpdateOutputHoldLocked()
{
    dsrHold_ = (dcb_.Flags & kFlagOutxDsr) != 0 && modemOk_ && (modemLines_ & TIOCM_DSR) == 0;
    const bool hold = xoffHold_ || dsrHold_;
    if (hold == outputSuspended_ || dead_)
        return;
    if (serial_line::SuspendOutput(fd_, hold) == 0)
        outputSuspended_ = hold;
}

DWORD SerialPort::TakeLocked(uint8_t* out, DWORD max)
{
    const size_t capacity = ring_.size();
    const size_t n = std::min<size_t>(max, count_);
    const size_t first = std::min(n, capacity - head_);
    if (n == 1) {
        out[0] = ring_[head_];
    } else if (n > 0) {
        std::memcpy(out, ring_.data() + head_, first);
        std::memcpy(out + first, ring_.data(), n - first);
    }
    head_ += n;
    if (head_ >= capacity)
        head_ -= capacity;
    count_ -= n;
    if (count_ * 5 < capacity * 4)
        above80_ = false;
    if (throttled_ && count_ <= dcb_.XonLim && count_ < StopAtLocked())
        ThrottleLocked(false);
    return static_cast<DWORD>(n);
}

void SerialPort::ServiceReadsLocked(Clock::time_point now)
{
    while (!reads_.empty()) {
        PendingRead& r = reads_.front();
        const DWORD took = TakeLocked(r.buffer + r.got, r.count - r.got);
        if (took > 0) {
            r.got += took;
            r.lastByte = now;
        }
        const bool full = r.got == r.count;
        const bool any = r.anyByte && r.got > 0;
        const bool total = r.deadline && now >= *r.deadline;
        const bool interval =
            r.interval != 0 && r.got > 0 && now - r.lastByte >= std::chrono::milliseconds(r.interval);
        if (!(full || any || total || interval))
            return;
        CompleteLocked(r.ov, ERROR_SUCCESS, r.got);
        reads_.pop_front();
    }
}

void SerialPort::PumpWritesLocked(Clock::time_point now)
{
    bool completed = false;
    while (!writes_.empty()) {
        PendingWrite& w = writes_.front();
        int err = 0;
        while (w.done < w.data.size()) {
            const ssize_t n = ::write(fd_, w.data.data() + w.done, w.data.size() - w.done);
            if (n > 0) {
                w.done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                err = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK ? errno : 0;
                break;
            }
        }
        if (w.done == w.data.size()) {
            CompleteLocked(w.ov, ERROR_SUCCESS, static_cast<DWORD>(w.done));
        } else if (err != 0) {
            CompleteLocked(w.ov, ErrnoToWinError(err), static_cast<DWORD>(w.done));
        } else if (w.deadline && now >= *w.deadline) {
            CompleteLocked(w.ov, ERROR_SUCCESS, static_cast<DWORD>(w.done)); // write time-out: partial
        } else {
            break; // the line is busy: wait for POLLOUT
        }
        writes_.pop_front();
        completed = true;
    }
    if (completed && writes_.empty()) {
        txDraining_ = true;
        nextTxCheck_ = now;
    }
}

void SerialPort::CheckTxEmptyLocked(Clock::time_point now)
{
    if (!txDraining_ || !writes_.empty() || now < nextTxCheck_ || dead_)
        return;
    int queued = 0;
    if (serial_line::OutputQueue(fd_, queued) != 0 || queued <= 0) {
        txDraining_ = false;
        RaiseLocked(EV_TXEMPTY);
        return;
    }
    // Check again about when the UART should have sent what it holds (10 bits per byte).
    const uint64_t rate = std::max<DWORD>(dcb_.BaudRate, 1);
    const auto ms = std::clamp<uint64_t>(static_cast<uint64_t>(queued) * 10000u / rate, 1, 1000);
    nextTxCheck_ = now + std::chrono::milliseconds(ms);
}

// Reads the counters and raises what changed. A change of the modem lines' transition counters also
// re-reads the lines: a change that came between the modem thread's last read of the lines and its next
// TIOCMIWAIT does not end that wait, and is found here, within one counter poll.
void SerialPort::PollCountersLocked()
{
    DWORD events = ReadCountersLocked();
    if ((events & (EV_CTS | EV_DSR | EV_RLSD | EV_RING)) != 0) {
        events |= ReadModemLinesLocked();
        UpdateOutputHoldLocked();
    }
    RaiseLocked(events);
}

// Reads the error and transition counters: adds the errors to the line's errors and returns the events
// of what changed since the last read.
DWORD SerialPort::ReadCountersLocked()
{
    serial_line::ErrorCounters c;
    if (device_->Counters(fd_, c) != 0) {
        countersOk_ = false;
        return 0;
    }
    DWORD errors = 0;
    DWORD events = 0;
    if (c.frame != counters_.frame)
        errors |= CE_FRAME;
    if (c.overrun != counters_.overrun)
        errors |= CE_OVERRUN;
    if (c.parity != counters_.parity)
        errors |= CE_RXPARITY;
    if (errors != 0)
        events |= EV_ERR;
    if (c.bufOverrun != counters_.bufOverrun) {
        errors |= CE_RXOVER;
        events |= EV_ERR;
    }
    if (c.brk != counters_.brk) {
        errors |= CE_BREAK;
        events |= EV_BREAK | EV_ERR;
    }
    if (c.cts != counters_.cts)
        events |= EV_CTS;
    if (c.dsr != counters_.dsr)
        events |= EV_DSR;
    if (c.dcd != counters_.dcd)
        events |= EV_RLSD;
    if (c.rng != counters_.rng)
        events |= EV_RING;
    counters_ = c;
    errors_ |= errors;
    return events;
}

// The device went away (unplugged, or the far side of a pseudo-terminal closed): what is pending
// completes with the error, and every later call fails with it, as on Windows.
void SerialPort::HangUpLocked()
{
    if (dead_)
        return;
    dead_ = true;
    throttled_ = false;
    CompleteReadsLocked(ERROR_GEN_FAILURE);
    CompleteWritesLocked(ERROR_GEN_FAILURE);
    if (wait_) {
        *wait_->mask = 0;
        CompleteLocked(wait_->ov, ERROR_GEN_FAILURE, 0);
        wait_.reset();
    }
    head_ = 0;
    count_ = 0;
    history_ = 0;
    txDraining_ = false;
}

void SerialPort::RaiseLocked(DWORD events)
{
    history_ |= events & mask_;
    if (wait_ && history_ != 0) {
        *wait_->mask = history_;
        history_ = 0;
        CompleteLocked(wait_->ov, ERROR_SUCCESS, 0);
        wait_.reset();
    }
}

void SerialPort::CompleteLocked(OVERLAPPED* ov, DWORD status, DWORD info)
{
    ov->InternalHigh = info;
    ov->Internal = status;
    if (ov->hEvent != 0)
        SetEvent(ov->hEvent);
    if (blockedCallers_ > 0)
        doneCv_.notify_all();
}

// Completes every pending read (or write) with status and what it has transferred so far.
void SerialPort::CompleteReadsLocked(DWORD status)
{
    for (const PendingRead& r : reads_)
        CompleteLocked(r.ov, status, r.got);
    reads_.clear();
}

void SerialPort::CompleteWritesLocked(DWORD status)
{
    for (const PendingWrite& w : writes_)
        CompleteLocked(w.ov, status, static_cast<DWORD>(w.done));
    writes_.clear();
}

// ---- calls from the program ----

BOOL SerialPort::WaitDoneLocked(std::unique_lock<std::mutex>& lock, OVERLAPPED* ov, DWORD* transferred)
{
    ++blockedCallers_;
    doneCv_.wait(lock, [&] { return ov->Internal != ERROR_IO_PENDING; });
    --blockedCallers_;
    if (transferred != nullptr)
        *transferred = static_cast<DWORD>(ov->InternalHigh);
    if (ov->Internal != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(ov->Internal));
    return true;
}

BOOL SerialPort::GetState(DCB& dcb)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    dcb = dcb_;
    return true;
}

BOOL SerialPort::SetState(const DCB& dcb)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    const bool xonxoff = (dcb.Flags & (kFlagOutX | kFlagInX)) != 0;
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2 ||
        (xonxoff && dcb.XonChar == dcb.XoffChar))
        return Fail(ERROR_INVALID_PARAMETER);
    if (const int err = serial_line::Configure(fd_, dcb))
        return FailErrno(err);
    // The driver may round the rate to what the UART can make, or keep the old one: read it back.
    uint32_t actual = 0;
    if (device_->Rate(fd_, actual) == 0 && !RateHolds(actual, dcb.BaudRate)) {
        (void)serial_line::Configure(fd_, dcb_);
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((dcb.Flags & kFlagParity) != (dcb_.Flags & kFlagParity))
        marks_.Reset();
    // DTR: disabled clears it, enabled and handshake set it (handshake: the driver drops it while the
    // input queue is above its stop mark).
    const DWORD dtr = DtrControl(dcb);
    const int dtrErr = serial_line::SetModemLines(fd_, TIOCM_DTR, dtr != 0 && !(dtr == kHandshake && throttled_));
    // RTS: handshake is CRTSCTS (the kernel drives the line too); toggle is not available and acts as enabled.
    const DWORD rts = RtsControl(dcb);
    int rtsErr = 0;
    if (rts != kHandshake)
        rtsErr = serial_line::SetModemLines(fd_, TIOCM_RTS, rts != 0);
    if (dtrErr != 0 && !NoLines(dtrErr))
        return FailErrno(dtrErr);
    if (rtsErr != 0 && !NoLines(rtsErr))
        return FailErrno(rtsErr);
    dcb_ = dcb;
    if ((dcb_.Flags & kFlagOutX) == 0)
        xoffHold_ = false;
    UpdateOutputHoldLocked();
    if (throttled_ && (!InputFlowLocked() || (count_ <= dcb_.XonLim && count_ < StopAtLocked())))
        ThrottleLocked(false);
    return true;
}

BOOL SerialPort::Setup(DWORD inQueue, DWORD outQueue)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    if (inQueue == 0 || inQueue > kMaxQueue || outQueue > kMaxQueue)
        return Fail(ERROR_INVALID_PARAMETER);
    std::vector<uint8_t> ring(inQueue);
    const size_t keep = std::min<size_t>(count_, inQueue);
    if (keep < count_)
        errors_ |= CE_RXOVER;
    const bool wasThrottled = throttled_;
    const DWORD kept = TakeLocked(ring.data(), static_cast<DWORD>(keep));
    ring_ = std::move(ring);
    head_ = 0;
    count_ = kept;
    above80_ = count_ * 5 >= ring_.size() * 4;
    outQueueSize_ = outQueue;
    if (wasThrottled && !throttled_ && InputFlowLocked() && count_ >= StopAtLocked())
        ThrottleLocked(true);
    return true;
}

BOOL SerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    timeouts_ = timeouts;
    return true;
}

BOOL SerialPort::GetTimeouts(COMMTIMEOUTS& timeouts)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    timeouts = timeouts_;
    return true;
}

BOOL SerialPort::SetMask(DWORD mask)
{
    const std::lock_guard lock(mutex_);
    if (wait_) {
        // Completes the pending wait with mask 0, also on a device that has gone.
        *wait_->mask = 0;
        CompleteLocked(wait_->ov, ERROR_SUCCESS, 0);
        wait_.reset();
    }
    if (Gone())
        return false;
    mask_ = mask;
    history_ &= mask;
    return true;
}

BOOL SerialPort::GetMask(DWORD& mask)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    mask = mask_;
    return true;
}

BOOL SerialPort::WaitEvent(DWORD* mask, OVERLAPPED* ov)
{
    if (mask == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    OVERLAPPED local;
    OVERLAPPED* const op = ov != nullptr ? ov : &local;
    std::unique_lock lock(mutex_);
    if (Gone())
        return false;
    if (wait_ || mask_ == 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (op->hEvent != 0)
        ResetEvent(op->hEvent);
    op->Internal = ERROR_IO_PENDING;
    op->InternalHigh = 0;
    if (history_ != 0) {
        *mask = history_;
        history_ = 0;
        CompleteLocked(op, ERROR_SUCCESS, 0);
        return true;
    }
    wait_ = PendingWait{op, mask};
    if (ov == nullptr)
        return WaitDoneLocked(lock, op, nullptr);
    return Fail(ERROR_IO_PENDING);
}

BOOL SerialPort::Read(void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov)
{
    if (buffer == nullptr && count > 0)
        return Fail(ERROR_INVALID_PARAMETER);
    OVERLAPPED local;
    OVERLAPPED* const op = ov != nullptr ? ov : &local;
    std::unique_lock lock(mutex_);
    if (Gone())
        return false;
    auto* const bytes = static_cast<uint8_t*>(buffer);
    // The common case first: a read that completes at once with what is queued. It is complete before
    // the call returns, so the event is left signalled without being reset first.
    if (reads_.empty() && ImmediateReads()) {
        const DWORD got = TakeLocked(bytes, count);
        op->InternalHigh = got;
        op->Internal = ERROR_SUCCESS;
        if (op->hEvent != 0)
            SetEvent(op->hEvent);
        if (transferred != nullptr)
            *transferred = got;
        return true;
    }
    if (op->hEvent != 0)
        ResetEvent(op->hEvent);
    op->Internal = ERROR_IO_PENDING;
    op->InternalHigh = 0;
    const auto now = Clock::now();
    PendingRead r{op, bytes, count, 0, std::nullopt, 0, now, false};
    const COMMTIMEOUTS& t = timeouts_;
    if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword) {
        r.anyByte = true;
        r.deadline = now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    } else {
        const uint64_t total = uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant;
        if (total != 0)
            r.deadline = now + std::chrono::milliseconds(total);
        if (t.ReadIntervalTimeout != kMaxDword)
            r.interval = t.ReadIntervalTimeout;
    }
    if (reads_.empty()) {
        r.got = TakeLocked(bytes, count);
        if (r.got == count || (r.anyByte && r.got > 0)) {
            CompleteLocked(op, ERROR_SUCCESS, r.got);
            if (transferred != nullptr)
                *transferred = r.got;
            return true;
        }
    }
    reads_.push_back(r);
    Wake();
    if (ov == nullptr)
        return WaitDoneLocked(lock, op, transferred);
    return Fail(ERROR_IO_PENDING);
}

BOOL SerialPort::Write(const void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov)
{
    if (buffer == nullptr && count > 0)
        return Fail(ERROR_INVALID_PARAMETER);
    OVERLAPPED local;
    OVERLAPPED* const op = ov != nullptr ? ov : &local;
    std::unique_lock lock(mutex_);
    if (Gone())
        return false;
    if (op->hEvent != 0)
        ResetEvent(op->hEvent);
    op->Internal = ERROR_IO_PENDING;
    op->InternalHigh = 0;
    const auto* const bytes = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    if (writes_.empty()) {
        int err = 0;
        while (done < count) {
            const ssize_t n = ::write(fd_, bytes + done, count - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                err = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK ? errno : 0;
                break;
            }
        }
        if (err != 0) {
            const DWORD code = ErrnoToWinError(err);
            CompleteLocked(op, code, static_cast<DWORD>(done));
            return Fail(code);
        }
        if (done == count) {
            CompleteLocked(op, ERROR_SUCCESS, count);
            if (transferred != nullptr)
                *transferred = count;
            if (count > 0) {
                txDraining_ = true;
                nextTxCheck_ = Clock::now();
                Wake();
            }
            return true;
        }
    }
    PendingWrite w{op, std::vector<uint8_t>(bytes, bytes + count), done, std::nullopt};
    const uint64_t total =
        uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * count + timeouts_.WriteTotalTimeoutConstant;
    if (total != 0)
        w.deadline = Clock::now() + std::chrono::milliseconds(total);
    writes_.push_back(std::move(w));
    txDraining_ = false;
    Wake();
    if (ov == nullptr)
        return WaitDoneLocked(lock, op, transferred);
    return Fail(ERROR_IO_PENDING);
}

BOOL SerialPort::Result(OVERLAPPED* ov, DWORD* transferred, bool wait)
{
    std::unique_lock lock(mutex_);
    if (ov->Internal == ERROR_IO_PENDING && !wait)
        return Fail(ERROR_IO_INCOMPLETE);
    return WaitDoneLocked(lock, ov, transferred);
}

BOOL SerialPort::ClearError(DWORD* errors, COMSTAT* stat)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    if (countersOk_)
        PollCountersLocked();
    if (errors != nullptr)
        *errors = errors_;
    errors_ = 0;
    if (stat != nullptr) {
        *stat = COMSTAT{};
        size_t pending = 0;
        for (const PendingWrite& w : writes_)
            pending += w.data.size() - w.done;
        int queued = 0;
        if (serial_line::OutputQueue(fd_, queued) == 0 && queued > 0)
            pending += static_cast<size_t>(queued);
        stat->cbInQue = static_cast<DWORD>(count_);
        stat->cbOutQue = static_cast<DWORD>(pending);
        // The lines as the modem thread last saw them: no control transfer per status read.
        if (pending > 0 && modemOk_) {
            if ((dcb_.Flags & kFlagOutxCts) != 0 && (modemLines_ & TIOCM_CTS) == 0)
                stat->Flags |= 1u << 0; // CTS hold
            if ((dcb_.Flags & kFlagOutxDsr) != 0 && (modemLines_ & TIOCM_DSR) == 0)
                stat->Flags |= 1u << 1; // DSR hold
        }
        // Bit 2 (RLSD hold) stays 0: the line configuration has no carrier flow control.
        if (xoffHold_)
            stat->Flags |= 1u << 3;
        if (xoffSent_)
            stat->Flags |= 1u << 4;
    }
    return true;
}

BOOL SerialPort::Purge(DWORD flags)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    if ((flags & ~DWORD{PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR}) != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if ((flags & PURGE_TXABORT) != 0)
        CompleteWritesLocked(ERROR_OPERATION_ABORTED);
    if ((flags & PURGE_RXABORT) != 0)
        CompleteReadsLocked(ERROR_OPERATION_ABORTED);
    if ((flags & PURGE_RXCLEAR) != 0) {
        head_ = 0;
        count_ = 0;
        above80_ = false;
        marks_.Reset();
        if (throttled_)
            ThrottleLocked(false);
    }
    (void)serial_line::Flush(fd_, (flags & PURGE_RXCLEAR) != 0, (flags & PURGE_TXCLEAR) != 0);
    return true;
}

BOOL SerialPort::Escape(DWORD function)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    int err = 0;
    switch (function) {
    case SETRTS: err = serial_line::SetModemLines(fd_, TIOCM_RTS, true); break;
    case CLRRTS: err = serial_line::SetModemLines(fd_, TIOCM_RTS, false); break;
    case SETDTR: err = serial_line::SetModemLines(fd_, TIOCM_DTR, true); break;
    case CLRDTR: err = serial_line::SetModemLines(fd_, TIOCM_DTR, false); break;
    case SETBREAK: err = serial_line::SetBreak(fd_, true); break;
    case CLRBREAK: err = serial_line::SetBreak(fd_, false); break;
    case SETXOFF: // acts as if XOFF had been received
        xoffHold_ = true;
        UpdateOutputHoldLocked();
        break;
    case SETXON:
        xoffHold_ = false;
        UpdateOutputHoldLocked();
        break;
    case RESETDEV: break; // nothing to reset on this platform
    default: return Fail(ERROR_INVALID_PARAMETER);
    }
    if (err != 0 && !NoLines(err))
        return FailErrno(err);
    return true;
}

BOOL SerialPort::ModemStatus(DWORD& status)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    status = 0;
    int lines = 0;
    const int err = device_->ModemLines(fd_, lines);
    if (err != 0) {
        if (NoLines(err))
            return true; // no modem lines: all off
        return FailErrno(err);
    }
    if ((lines & TIOCM_CTS) != 0)
        status |= MS_CTS_ON;
    if ((lines & TIOCM_DSR) != 0)
        status |= MS_DSR_ON;
    if ((lines & TIOCM_RNG) != 0)
        status |= MS_RING_ON;
    if ((lines & TIOCM_CAR) != 0)
        status |= MS_RLSD_ON;
    return true;
}

BOOL SerialPort::Properties(COMMPROP& prop)
{
    const std::lock_guard lock(mutex_);
    if (Gone())
        return false;
    prop = COMMPROP{};
    prop.wPacketLength = static_cast<WORD>(sizeof(COMMPROP));
    prop.wPacketVersion = 2;
    prop.dwServiceMask = 1;          // SP_SERIALCOMM
    prop.dwMaxTxQueue = 0;           // no fixed maximum
    prop.dwMaxRxQueue = kMaxQueue;
    prop.dwMaxBaud = 0x10000000u;    // BAUD_USER: any integer rate
    prop.dwProvSubType = 1;          // PST_RS232
    prop.dwProvCapabilities = 0x1FF; // DTR/DSR, RTS/CTS, RLSD, parity check, XON/XOFF, settable XON/XOFF,
                                     // total and interval time-outs, special characters
    prop.dwSettableParams = 0x7F;    // parity, baud, data bits, stop bits, handshaking, parity check, RLSD
    prop.dwSettableBaud = 0x1007FFFFu;
    prop.wSettableData = 0x1E;          // 5 to 8 data bits
    prop.wSettableStopParity = 0x1F07; // 1, 1.5, 2 stop bits; none, odd, even, mark, space
    prop.dwCurrentTxQueue = outQueueSize_;
    prop.dwCurrentRxQueue = static_cast<DWORD>(ring_.size());
    return true;
}

} // namespace platform
