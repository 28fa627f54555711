#include "platform/SerialPort.h"

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
constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr auto kModemPollInterval = std::chrono::milliseconds(10);
constexpr auto kCounterPollInterval = std::chrono::milliseconds(100);
constexpr DWORD kMaxDword = 0xFFFFFFFFu;

// DCB flag bits used by the driver.
constexpr DWORD kFlagParity = 1u << 1;
constexpr DWORD kFlagOutxCts = 1u << 2;
constexpr DWORD kFlagOutX = 1u << 8;
constexpr DWORD kFlagInX = 1u << 9;
constexpr DWORD kFlagErrorChar = 1u << 10;
constexpr DWORD kFlagNull = 1u << 11;

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

bool WantsErrorMarks(const DCB& dcb)
{
    return (dcb.Flags & kFlagErrorChar) != 0 && (dcb.Flags & kFlagParity) != 0;
}

} // namespace

std::shared_ptr<SerialPort> SerialPort::Open(const std::string& node)
{
    const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    // flock excludes every other open, also by root, which TIOCEXCL does not stop.
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
        err = serial_line::Configure(fd, dcb, false);
    }
    if (err == 0)
        err = serial_line::SetExclusive(fd);
    const int wakeFd = err == 0 ? ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC) : -1;
    if (err == 0 && wakeFd < 0)
        err = errno;
    if (err != 0) {
        ::close(fd);
        SetLastErrorFromErrno(err);
        return nullptr;
    }
    return std::make_shared<SerialPort>(fd, wakeFd, dcb);
}

SerialPort::SerialPort(int fd, int wakeFd, const DCB& initial)
    : fd_(fd), wakeFd_(wakeFd), dcb_(initial), ring_(kDefaultQueue)
{
    {
        const std::lock_guard lock(mutex_);
        int lines = 0;
        modemOk_ = serial_line::GetModemLines(fd_, lines) == 0;
        modemLines_ = lines;
        countersOk_ = serial_line::GetErrorCounters(fd_, counters_) == 0;
    }
    thread_ = std::thread([this] { Run(); });
}

SerialPort::~SerialPort() { Close(); }

void SerialPort::Close()
{
    {
        const std::lock_guard lock(mutex_);
        if (closed_)
            return;
        closed_ = true;
        AbortReadsLocked();
        AbortWritesLocked();
        if (wait_) {
            CompleteLocked(wait_->ov, ERROR_OPERATION_ABORTED, 0);
            wait_.reset();
        }
    }
    Wake();
    if (thread_.joinable())
        thread_.join();
    ::close(wakeFd_);
    ::close(fd_); // also releases the flock
}

void SerialPort::Wake()
{
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
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
        fds[0].events = static_cast<short>(POLLIN | (writes_.empty() ? 0 : POLLOUT));
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
        if (!dead_ && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            // Read under the lock, so that a purge never races with bytes on their way into the queue.
            const ssize_t n = ::read(fd_, chunk.data(), chunk.size());
            if (n > 0) {
                ReceiveLocked(chunk.data(), static_cast<size_t>(n));
                if (countersOk_)
                    PollCountersLocked();
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR) ||
                       (fds[0].revents & (POLLHUP | POLLERR)) != 0) {
                dead_ = true; // hung up or gone: stop polling it, or poll would report it forever
            }
        }
        const auto now = Clock::now();
        PumpWritesLocked(now);
        CheckTxEmptyLocked(now);
        ServiceReadsLocked(now);
        if (modemOk_ && (mask_ & kModemEvents) != 0 && now >= nextModemPoll_) {
            PollModemLocked();
            nextModemPoll_ = now + kModemPollInterval;
        }
        if (countersOk_ && now >= nextCounterPoll_) {
            PollCountersLocked();
            nextCounterPoll_ = now + kCounterPollInterval;
        }
    }
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
    if (modemOk_ && (mask_ & kModemEvents) != 0)
        consider(nextModemPoll_);
    if (countersOk_)
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
    const bool marks = WantsErrorMarks(dcb_);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        if (!marks) {
            AcceptByteLocked(b);
            continue;
        }
        // PARMRK: 0xFF 0xFF is a literal 0xFF, 0xFF 0x00 x a byte x received with an error.
        switch (markState_) {
        case 0:
            if (b == 0xFF)
                markState_ = 1;
            else
                AcceptByteLocked(b);
            break;
        case 1:
            if (b == 0xFF) {
                AcceptByteLocked(0xFF);
                markState_ = 0;
            } else if (b == 0x00) {
                markState_ = 2;
            } else {
                AcceptByteLocked(0xFF);
                AcceptByteLocked(b);
                markState_ = 0;
            }
            break;
        default:
            QueueByteLocked(static_cast<uint8_t>(dcb_.ErrorChar));
            markState_ = 0;
            break;
        }
    }
}

void SerialPort::AcceptByteLocked(uint8_t b)
{
    if (b == 0 && (dcb_.Flags & kFlagNull) != 0)
        return;
    QueueByteLocked(b);
}

void SerialPort::QueueByteLocked(uint8_t b)
{
    const size_t capacity = ring_.size();
    if (count_ >= capacity) {
        errors_ |= CE_RXOVER;
        return;
    }
    ring_[(head_ + count_) % capacity] = b;
    ++count_;
    DWORD events = EV_RXCHAR;
    if (b == static_cast<uint8_t>(dcb_.EvtChar))
        events |= EV_RXFLAG;
    if (!above80_ && count_ * 5 >= capacity * 4) {
        above80_ = true;
        events |= EV_RX80FULL;
    }
    RaiseLocked(events);
}

DWORD SerialPort::TakeLocked(uint8_t* out, DWORD max)
{
    const size_t capacity = ring_.size();
    const size_t n = std::min<size_t>(max, count_);
    const size_t first = std::min(n, capacity - head_);
    if (n > 0) {
        std::memcpy(out, ring_.data() + head_, first);
        std::memcpy(out + first, ring_.data(), n - first);
    }
    head_ = (head_ + n) % capacity;
    count_ -= n;
    if (count_ * 5 < capacity * 4)
        above80_ = false;
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
        if (dead_) {
            CompleteLocked(w.ov, ERROR_GEN_FAILURE, static_cast<DWORD>(w.done));
            writes_.pop_front();
            continue;
        }
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
    if (!txDraining_ || !writes_.empty() || now < nextTxCheck_)
        return;
    int queued = 0;
    if (dead_ || serial_line::OutputQueue(fd_, queued) != 0 || queued <= 0) {
        txDraining_ = false;
        RaiseLocked(EV_TXEMPTY);
        return;
    }
    // Check again about when the UART should have sent what it holds (10 bits per byte).
    const uint64_t rate = std::max<DWORD>(dcb_.BaudRate, 1);
    const auto ms = std::clamp<uint64_t>(static_cast<uint64_t>(queued) * 10000u / rate, 1, 1000);
    nextTxCheck_ = now + std::chrono::milliseconds(ms);
}

void SerialPort::PollModemLocked()
{
    int lines = 0;
    const int err = serial_line::GetModemLines(fd_, lines);
    if (err != 0) {
        if (NoLines(err))
            modemOk_ = false;
        return;
    }
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
    if (events != 0)
        RaiseLocked(events);
}

void SerialPort::PollCountersLocked()
{
    serial_line::ErrorCounters c;
    if (serial_line::GetErrorCounters(fd_, c) != 0) {
        countersOk_ = false;
        return;
    }
    DWORD errors = 0;
    DWORD events = 0;
    if (c.frame != counters_.frame) {
        errors |= CE_FRAME;
        events |= EV_ERR;
    }
    if (c.overrun != counters_.overrun) {
        errors |= CE_OVERRUN;
        events |= EV_ERR;
    }
    if (c.parity != counters_.parity) {
        errors |= CE_RXPARITY;
        events |= EV_ERR;
    }
    if (c.bufOverrun != counters_.bufOverrun)
        errors |= CE_RXOVER;
    if (c.brk != counters_.brk) {
        errors |= CE_BREAK;
        events |= EV_BREAK;
    }
    counters_ = c;
    errors_ |= errors;
    if (events != 0)
        RaiseLocked(events);
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
    doneCv_.notify_all();
}

void SerialPort::AbortReadsLocked()
{
    for (const PendingRead& r : reads_)
        CompleteLocked(r.ov, ERROR_OPERATION_ABORTED, r.got);
    reads_.clear();
}

void SerialPort::AbortWritesLocked()
{
    for (const PendingWrite& w : writes_)
        CompleteLocked(w.ov, ERROR_OPERATION_ABORTED, static_cast<DWORD>(w.done));
    writes_.clear();
}

// ---- calls from the program ----

BOOL SerialPort::WaitDoneLocked(std::unique_lock<std::mutex>& lock, OVERLAPPED* ov, DWORD* transferred)
{
    doneCv_.wait(lock, [&] { return ov->Internal != ERROR_IO_PENDING; });
    if (transferred != nullptr)
        *transferred = static_cast<DWORD>(ov->InternalHigh);
    if (ov->Internal != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(ov->Internal));
    return true;
}

BOOL SerialPort::GetState(DCB& dcb)
{
    const std::lock_guard lock(mutex_);
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    dcb = dcb_;
    return true;
}

BOOL SerialPort::SetState(const DCB& dcb)
{
    const std::lock_guard lock(mutex_);
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    const bool xonxoff = (dcb.Flags & (kFlagOutX | kFlagInX)) != 0;
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2 ||
        (xonxoff && dcb.XonChar == dcb.XoffChar))
        return Fail(ERROR_INVALID_PARAMETER);
    if (const int err = serial_line::Configure(fd_, dcb, WantsErrorMarks(dcb)))
        return FailErrno(err);
    if (WantsErrorMarks(dcb) != WantsErrorMarks(dcb_))
        markState_ = 0;
    // DTR: disabled clears it, enabled and handshake set it (the kernel has no DTR handshake).
    const DWORD dtr = (dcb.Flags >> 4) & 3u;
    const int dtrErr = serial_line::SetModemLines(fd_, TIOCM_DTR, dtr != 0);
    // RTS: handshake is CRTSCTS (the kernel drives the line); toggle is not available and acts as enabled.
    const DWORD rts = (dcb.Flags >> 12) & 3u;
    int rtsErr = 0;
    if (rts != 2)
        rtsErr = serial_line::SetModemLines(fd_, TIOCM_RTS, rts != 0);
    if (dtrErr != 0 && !NoLines(dtrErr))
        return FailErrno(dtrErr);
    if (rtsErr != 0 && !NoLines(rtsErr))
        return FailErrno(rtsErr);
    dcb_ = dcb;
    return true;
}

BOOL SerialPort::Setup(DWORD inQueue, DWORD outQueue)
{
    const std::lock_guard lock(mutex_);
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    if (inQueue == 0 || inQueue > kMaxQueue || outQueue > kMaxQueue)
        return Fail(ERROR_INVALID_PARAMETER);
    std::vector<uint8_t> ring(inQueue);
    const size_t keep = std::min<size_t>(count_, inQueue);
    if (keep < count_)
        errors_ |= CE_RXOVER;
    const DWORD kept = TakeLocked(ring.data(), static_cast<DWORD>(keep));
    ring_ = std::move(ring);
    head_ = 0;
    count_ = kept;
    above80_ = count_ * 5 >= ring_.size() * 4;
    outQueueSize_ = outQueue;
    return true;
}

BOOL SerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts)
{
    const std::lock_guard lock(mutex_);
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    timeouts_ = timeouts;
    return true;
}

BOOL SerialPort::GetTimeouts(COMMTIMEOUTS& timeouts)
{
    const std::lock_guard lock(mutex_);
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    timeouts = timeouts_;
    return true;
}

BOOL SerialPort::SetMask(DWORD mask)
{
    {
        const std::lock_guard lock(mutex_);
        if (closed_)
            return Fail(ERROR_INVALID_HANDLE);
        mask_ = mask;
        history_ &= mask;
        if (wait_) {
            *wait_->mask = 0;
            CompleteLocked(wait_->ov, ERROR_SUCCESS, 0);
            wait_.reset();
        }
        nextModemPoll_ = Clock::now();
    }
    Wake(); // polling intervals may have changed
    return true;
}

BOOL SerialPort::GetMask(DWORD& mask)
{
    const std::lock_guard lock(mutex_);
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
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
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
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
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    if (op->hEvent != 0)
        ResetEvent(op->hEvent);
    op->Internal = ERROR_IO_PENDING;
    op->InternalHigh = 0;
    auto* const bytes = static_cast<uint8_t*>(buffer);
    const auto now = Clock::now();
    PendingRead r{op, bytes, count, 0, std::nullopt, 0, now, false};
    const COMMTIMEOUTS& t = timeouts_;
    if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword) {
        r.anyByte = true;
        r.deadline = now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    } else if (!ImmediateReads()) {
        const uint64_t total = uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant;
        if (total != 0)
            r.deadline = now + std::chrono::milliseconds(total);
        if (t.ReadIntervalTimeout != kMaxDword)
            r.interval = t.ReadIntervalTimeout;
    }
    if (reads_.empty()) {
        r.got = TakeLocked(bytes, count);
        if (r.got == count || ImmediateReads() || (r.anyByte && r.got > 0)) {
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
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    if (op->hEvent != 0)
        ResetEvent(op->hEvent);
    op->Internal = ERROR_IO_PENDING;
    op->InternalHigh = 0;
    const auto* const bytes = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    if (writes_.empty()) {
        if (dead_) {
            CompleteLocked(op, ERROR_GEN_FAILURE, 0);
            return Fail(ERROR_GEN_FAILURE);
        }
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
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
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
        if (!dead_ && serial_line::OutputQueue(fd_, queued) == 0 && queued > 0)
            pending += static_cast<size_t>(queued);
        stat->cbInQue = static_cast<DWORD>(count_);
        stat->cbOutQue = static_cast<DWORD>(pending);
        const bool ctsFlow = (dcb_.Flags & kFlagOutxCts) != 0;
        if (ctsFlow && !writes_.empty() && modemOk_ && (modemLines_ & TIOCM_CTS) == 0)
            stat->Flags |= 1u; // CTS hold
    }
    return true;
}

BOOL SerialPort::Purge(DWORD flags)
{
    const std::lock_guard lock(mutex_);
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    if ((flags & ~DWORD{PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR}) != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if ((flags & PURGE_TXABORT) != 0)
        AbortWritesLocked();
    if ((flags & PURGE_RXABORT) != 0)
        AbortReadsLocked();
    if ((flags & PURGE_RXCLEAR) != 0) {
        head_ = 0;
        count_ = 0;
        above80_ = false;
        markState_ = 0;
    }
    if (!dead_)
        (void)serial_line::Flush(fd_, (flags & PURGE_RXCLEAR) != 0, (flags & PURGE_TXCLEAR) != 0);
    return true;
}

BOOL SerialPort::Escape(DWORD function)
{
    const std::lock_guard lock(mutex_);
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    int err = 0;
    switch (function) {
    case SETRTS: err = serial_line::SetModemLines(fd_, TIOCM_RTS, true); break;
    case CLRRTS: err = serial_line::SetModemLines(fd_, TIOCM_RTS, false); break;
    case SETDTR: err = serial_line::SetModemLines(fd_, TIOCM_DTR, true); break;
    case CLRDTR: err = serial_line::SetModemLines(fd_, TIOCM_DTR, false); break;
    case SETBREAK: err = serial_line::SetBreak(fd_, true); break;
    case CLRBREAK: err = serial_line::SetBreak(fd_, false); break;
    case SETXOFF: err = serial_line::SuspendOutput(fd_, true); break;
    case SETXON: err = serial_line::SuspendOutput(fd_, false); break;
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
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
    status = 0;
    int lines = 0;
    const int err = serial_line::GetModemLines(fd_, lines);
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
    if (closed_)
        return Fail(ERROR_INVALID_HANDLE);
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
