// What the driver makes of the line beyond plain bytes: a full queue, input and output flow control, and
// (through a line device played by the test, as a pseudo-terminal has none of them) error counters,
// modem lines and rates the UART rounds.
#include "PtyFixture.h"

#include "platform/Comm.h"
#include "platform/posix/HandleTable.h"
#include "platform/posix/ParityMarks.h"
#include "platform/posix/SerialLine.h"
#include "platform/posix/SerialPort.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace platform;
using testing_pty::Pty;

namespace {

constexpr DWORD kOutDsrFlow = 1u << 3;
constexpr DWORD kXonXoffOut = 1u << 8;
constexpr DWORD kXonXoffIn = 1u << 9;

struct Overlapped {
    OVERLAPPED ov;
    Overlapped() { ov.hEvent = CreateEventW(true, false); }
    ~Overlapped() { CloseHandle(ov.hEvent); }
    bool Signalled(DWORD ms = 5000) const { return WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0; }
};

// A UART as the test wants it: modem lines and counters it sets, a modem wait that ends when it changes
// them, and a rate generator of 115200 / n bit/s.
class PlayedLine final : public serial_line::LineDevice {
public:
    int Counters(int, serial_line::ErrorCounters& c) override
    {
        const std::lock_guard lock(mutex_);
        c = counters_;
        return 0;
    }
    int ModemLines(int, int& bits) override
    {
        const std::lock_guard lock(mutex_);
        ++lineReads_;
        bits = lines_;
        return 0;
    }
    int WaitModemChange(int, int) override
    {
        std::unique_lock lock(mutex_);
        const int seen = changes_;
        cv_.wait(lock, [&] { return changes_ != seen || interrupt_; });
        if (interrupt_) {
            interrupt_ = false;
            return EINTR;
        }
        return 0;
    }
    void InterruptWait(std::thread&) override
    {
        const std::lock_guard lock(mutex_);
        interrupt_ = true;
        cv_.notify_all();
    }
    int Rate(int fd, uint32_t& rate) override
    {
        if (const int err = serial_line::OutputRate(fd, rate))
            return err;
        const uint32_t divisor = std::max<uint32_t>(1, (115200 + rate / 2) / std::max<uint32_t>(rate, 1));
        rate = 115200 / divisor;
        return 0;
    }

    // Changes the lines and counters as the UART would (each line that toggles counts one transition) and
    // wakes the modem wait.
    void Change(int lines, const std::function<void(serial_line::ErrorCounters&)>& counts = {})
    {
        const std::lock_guard lock(mutex_);
        SetLinesLocked(lines);
        if (counts)
            counts(counters_);
        ++changes_;
        cv_.notify_all();
    }
    // A change that comes between the driver's read of the lines and its next modem wait: the wait, which
    // only sees later changes, does not end; the transition counters show it.
    void ChangeBeforeTheWait(int lines)
    {
        const std::lock_guard lock(mutex_);
        SetLinesLocked(lines);
    }
    void Count(const std::function<void(serial_line::ErrorCounters&)>& counts)
    {
        const std::lock_guard lock(mutex_);
        counts(counters_);
    }
    int LineReads()
    {
        const std::lock_guard lock(mutex_);
        return lineReads_;
    }

private:
    void SetLinesLocked(int lines)
    {
        const int toggled = lines ^ lines_;
        counters_.cts += (toggled & TIOCM_CTS) != 0;
        counters_.dsr += (toggled & TIOCM_DSR) != 0;
        counters_.dcd += (toggled & TIOCM_CAR) != 0;
        counters_.rng += (toggled & TIOCM_RNG) != 0;
        lines_ = lines;
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    int lines_ = TIOCM_CTS | TIOCM_DSR;
    serial_line::ErrorCounters counters_;
    int changes_ = 0;
    bool interrupt_ = false;
    int lineReads_ = 0;
};

class SerialPortLineTest : public ::testing::Test {
protected:
    void Open(std::shared_ptr<serial_line::LineDevice> device = nullptr)
    {
        auto port = SerialPort::Open(pty_.Slave(), std::move(device));
        ASSERT_TRUE(port) << GetLastError();
        h_ = detail::RegisterHandle(std::move(port));
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = 0xFFFFFFFFu;
        ASSERT_TRUE(SetCommTimeouts(h_, &t));
        Configure(4800, 1);
    }
    void Configure(DWORD rate, DWORD flags, WORD xonLim = 0, WORD xoffLim = 0)
    {
        DCB dcb;
        ASSERT_TRUE(GetCommState(h_, &dcb));
        dcb.BaudRate = rate;
        dcb.ByteSize = 8;
        dcb.Flags = flags;
        dcb.EvtChar = '\n';
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.XonLim = xonLim;
        dcb.XoffLim = xoffLim;
        ASSERT_TRUE(SetCommState(h_, &dcb));
    }
    void TearDown() override
    {
        if (h_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(h_));
        }
    }
    COMSTAT Status(DWORD* errors = nullptr)
    {
        DWORD e = 0;
        COMSTAT stat;
        EXPECT_TRUE(ClearCommError(h_, &e, &stat));
        if (errors != nullptr)
            *errors = e;
        return stat;
    }
    bool WaitForQueue(DWORD n)
    {
        for (int i = 0; i < 1000; ++i) {
            if (Status().cbInQue >= n)
                return true;
            Sleep(5);
        }
        return false;
    }
    std::string ReadAll()
    {
        std::string out(1 << 16, '\0');
        Overlapped o;
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(h_, out.data(), static_cast<DWORD>(out.size()), &got, &o.ov));
        out.resize(got);
        return out;
    }
    // Starts a wait for the mask; returns the mask it completed with, or 0xFFFFFFFF if it did not.
    DWORD WaitFor(DWORD eventMask, const std::function<void()>& cause)
    {
        EXPECT_TRUE(SetCommMask(h_, eventMask));
        Overlapped o;
        DWORD mask = 0;
        if (!WaitCommEvent(h_, &mask, &o.ov)) {
            EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
            cause();
            if (!o.Signalled()) {
                SetCommMask(h_, 0);
                return 0xFFFFFFFFu;
            }
        }
        return mask;
    }

    Pty pty_;
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

TEST_F(SerialPortLineTest, BytesThatDoNotFitStillRaiseTheirEventsWithTheOverrunError)
{
    Open();
    ASSERT_TRUE(SetupComm(h_, 16, 16));
    pty_.Send("0123456789abcdef");
    ASSERT_TRUE(WaitForQueue(16));
    DWORD errors = 0;
    Status(&errors);
    EXPECT_EQ(errors, 0u);
    // The queue is full: the sentence end is dropped, and still reported as received.
    const DWORD mask = WaitFor(EV_RXCHAR | EV_RXFLAG | EV_ERR, [&] { pty_.Send("xy\n"); });
    EXPECT_EQ(mask, DWORD{EV_RXCHAR | EV_RXFLAG | EV_ERR});
    Status(&errors);
    EXPECT_EQ(errors, DWORD{CE_RXOVER});
    EXPECT_EQ(ReadAll(), "0123456789abcdef");
}

TEST_F(SerialPortLineTest, InputFlowControlStopsTheSenderAtXoffLimAndResumesAtXonLim)
{
    Open();
    ASSERT_TRUE(SetupComm(h_, 64, 64));
    Configure(4800, 1 | kXonXoffIn, 8, 16); // XOFF when 16 bytes are free, XON at 8 queued
    ASSERT_EQ(::fcntl(pty_.Master(), F_SETFL, O_NONBLOCK), 0);
    // The instrument sends until the line holds it back.
    std::string sent;
    for (int i = 0; i < 4096; ++i) {
        std::string chunk(512, '\0');
        for (size_t k = 0; k < chunk.size(); ++k)
            chunk[k] = static_cast<char>('A' + (sent.size() + k) % 26);
        const ssize_t n = ::write(pty_.Master(), chunk.data(), chunk.size());
        if (n < 0)
            break;
        sent.append(chunk, 0, static_cast<size_t>(n));
    }
    ASSERT_LT(sent.size(), 4096u * 512u) << "the sender was never held back";
    ASSERT_TRUE(WaitForQueue(48));
    Sleep(50);
    DWORD errors = 0;
    COMSTAT stat = Status(&errors);
    EXPECT_EQ(stat.cbInQue, 48u); // the driver stopped reading the terminal at the stop mark
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.Flags & (1u << 4), 1u << 4); // XOFF sent
    EXPECT_EQ(pty_.Receive(1, std::chrono::milliseconds(2000)), "\x13");

    // Reading the queue down lets everything through, in order and complete.
    std::string got;
    for (int i = 0; i < 20000 && got.size() < sent.size(); ++i) {
        const std::string part = ReadAll();
        got += part;
        if (part.empty())
            Sleep(1);
    }
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    Status(&errors);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(Status().Flags & (1u << 4), 0u);
    EXPECT_EQ(pty_.Receive(1, std::chrono::milliseconds(2000)), "\x11");
}

TEST_F(SerialPortLineTest, OutputXonXoffHoldsOutputAndReportsXoffHold)
{
    Open();
    Configure(4800, 1 | kXonXoffOut);
    pty_.Send("a\x13" "b");
    ASSERT_TRUE(WaitForQueue(2));
    EXPECT_EQ(Status().Flags & (1u << 3), 1u << 3); // XOFF hold
    EXPECT_EQ(ReadAll(), "ab");                     // XON/XOFF do not reach the queue
    Overlapped w;
    DWORD written = 0;
    (void)WriteFile(h_, "out", 3, &written, &w.ov);
    EXPECT_EQ(pty_.Receive(3, std::chrono::milliseconds(100)), "");
    pty_.Send("\x11");
    EXPECT_EQ(pty_.Receive(3), "out");
    EXPECT_EQ(Status().Flags & (1u << 3), 0u);
}

TEST_F(SerialPortLineTest, RatesAreReadBackAndRefusedWhenTheUartCannotMakeThem)
{
    Open(std::make_shared<PlayedLine>());
    struct Case {
        DWORD rate;
        bool ok;
    };
    // 115200 / n: 14400 exactly, 56000 as 57600 (3 % off), 50 as 50 (divisor 2304); 256000 cannot be made.
    for (const Case c : {Case{14400, true}, Case{56000, true}, Case{256000, false}, Case{150000, false},
                         Case{50, true}}) {
        SCOPED_TRACE(c.rate);
        DCB before;
        ASSERT_TRUE(GetCommState(h_, &before));
        DCB dcb = before;
        dcb.BaudRate = c.rate;
        EXPECT_EQ(SetCommState(h_, &dcb), c.ok);
        DCB after;
        ASSERT_TRUE(GetCommState(h_, &after));
        uint32_t line = 0;
        ASSERT_EQ(serial_line::OutputRate(pty_.Master(), line), 0);
        if (c.ok) {
            EXPECT_EQ(after.BaudRate, c.rate); // the configuration round-trips as set
        } else {
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
            EXPECT_EQ(after.BaudRate, before.BaudRate);
            EXPECT_EQ(line, before.BaudRate); // the line is back at the rate in force
        }
    }
}

TEST_F(SerialPortLineTest, ErrorCountersBecomeLineErrorsAndEvents)
{
    const auto line = std::make_shared<PlayedLine>();
    Open(line);
    struct Case {
        const char* what;
        std::function<void(serial_line::ErrorCounters&)> count;
        DWORD errors;
        DWORD events;
    };
    const std::vector<Case> cases = {
        {"framing", [](auto& c) { ++c.frame; }, CE_FRAME, EV_ERR},
        {"parity", [](auto& c) { ++c.parity; }, CE_RXPARITY, EV_ERR},
        {"UART overrun", [](auto& c) { ++c.overrun; }, CE_OVERRUN, EV_ERR},
        {"break", [](auto& c) { ++c.brk; }, CE_BREAK, EV_BREAK | EV_ERR},
        {"two at once", [](auto& c) { ++c.frame, ++c.overrun; }, CE_FRAME | CE_OVERRUN, EV_ERR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Without received bytes the driver still finds the counters' change by itself.
        EXPECT_EQ(WaitFor(EV_ERR | EV_BREAK, [&] { line->Count(c.count); }), c.events);
        DWORD errors = 0;
        Status(&errors);
        EXPECT_EQ(errors, c.errors);
        Status(&errors);
        EXPECT_EQ(errors, 0u); // read once
    }
}

TEST_F(SerialPortLineTest, ModemLineChangesArriveThroughTheModemWaitWithoutPolling)
{
    const auto line = std::make_shared<PlayedLine>();
    Open(line);
    const int readsBefore = line->LineReads();
    Sleep(200);
    EXPECT_EQ(line->LineReads(), readsBefore); // an idle port asks the device nothing

    const DWORD modem = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
    EXPECT_EQ(WaitFor(modem, [&] { line->Change(TIOCM_DSR); }), DWORD{EV_CTS});
    EXPECT_EQ(WaitFor(modem, [&] { line->Change(TIOCM_DSR | TIOCM_CAR); }), DWORD{EV_RLSD});
    // A pulse too short to be seen in the lines is still counted by the UART.
    EXPECT_EQ(WaitFor(modem, [&] { line->Change(TIOCM_DSR | TIOCM_CAR, [](auto& c) { c.dsr += 2; }); }),
              DWORD{EV_DSR});
    EXPECT_EQ(WaitFor(modem, [&] { line->Change(TIOCM_DSR | TIOCM_CAR, [](auto& c) { ++c.rng; }); }),
              DWORD{EV_RING});
    DWORD status = 0;
    ASSERT_TRUE(GetCommModemStatus(h_, &status));
    EXPECT_EQ(status, DWORD{MS_DSR_ON | MS_RLSD_ON});

    // DSR output flow: with DSR off the output is held, and the status says why.
    Configure(4800, 1 | kOutDsrFlow);
    EXPECT_EQ(WaitFor(modem, [&] { line->Change(TIOCM_CAR); }), DWORD{EV_DSR});
    const std::string big(1 << 20, 'x');
    Overlapped w;
    EXPECT_FALSE(WriteFile(h_, big.data(), static_cast<DWORD>(big.size()), nullptr, &w.ov));
    EXPECT_EQ(Status().Flags & 3u, 2u); // DSR hold, not CTS hold (no CTS flow)
    // DSR back on between the modem thread's read of the lines and its next wait: the counters show the
    // change, and the hold ends.
    EXPECT_EQ(WaitFor(modem, [&] { line->ChangeBeforeTheWait(TIOCM_DSR | TIOCM_CAR); }), DWORD{EV_DSR});
    EXPECT_EQ(Status().Flags & 3u, 0u);
    // Close ends the modem wait and the pending write (while its OVERLAPPED still lives).
    EXPECT_TRUE(CloseHandle(h_));
    h_ = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(w.Signalled());
    EXPECT_EQ(w.ov.Internal, ERROR_OPERATION_ABORTED);
}

TEST(ParityMarksTest, MarkedBytesLiteralFfAndPlainBytes)
{
    struct Case {
        std::string in;
        std::string out; // errored bytes shown as '<x>'
    };
    const std::vector<Case> cases = {
        {"abc", "abc"},
        {"a\xFF\xFF" "b", "a\xFF" "b"},
        {std::string("a\xFF\x00z" "b", 5), "a<z>b"},
        {std::string("\xFF\x00\x00", 3), std::string("<\0>", 3)},
        {"\xFF" "q", "\xFF" "q"},
    };
    for (const Case& c : cases) {
        ParityMarks marks;
        std::string out;
        for (const char ch : c.in) {
            const ParityMarks::Out o = marks.Feed(static_cast<uint8_t>(ch));
            if (o.kind == ParityMarks::Kind::byte) {
                out += static_cast<char>(o.value);
                if (o.hasExtra)
                    out += static_cast<char>(o.extra);
            } else if (o.kind == ParityMarks::Kind::errored) {
                out += '<';
                out += static_cast<char>(o.value);
                out += '>';
            }
        }
        EXPECT_EQ(out, c.out);
    }
}

} // namespace
