#include "platform/posix/SerialLine.h"

#include <cerrno>
#include <mutex>

#include <pthread.h>
#include <signal.h>

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace platform::serial_line {
namespace {

int Ioctl(int fd, unsigned long request, void* arg)
{
    return ::ioctl(fd, request, arg) == 0 ? 0 : errno;
}

int IoctlValue(int fd, unsigned long request, unsigned long arg)
{
    return ::ioctl(fd, request, arg) == 0 ? 0 : errno;
}

// DCB flag word bits.
constexpr DWORD kParityCheck = 1u << 1;
constexpr DWORD kOutxCtsFlow = 1u << 2;
constexpr DWORD kOutX = 1u << 8;
constexpr DWORD kInX = 1u << 9;
constexpr DWORD kRtsControlShift = 12;
constexpr DWORD kRtsHandshake = 2;

} // namespace

int Configure(int fd, const DCB& dcb)
{
    struct termios2 t {};
    if (const int err = Ioctl(fd, TCGETS2, &t))
        return err;

    // Raw line: the bytes arrive exactly as the instrument sent them.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | IGNPAR | INPCK | IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN | NOFLSH | TOSTOP);
    t.c_iflag |= IGNBRK;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    switch (dcb.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return EINVAL;
    }
    switch (dcb.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: return EINVAL;
    }
    switch (dcb.StopBits) {
    case 0: break;
    case 1: // one and a half: the UART uses 1.5 stop bits for 5-bit bytes when two are asked for
    case 2: t.c_cflag |= CSTOPB; break;
    default: return EINVAL;
    }
    if (dcb.BaudRate != 0) {
        t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
        t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
        t.c_ispeed = dcb.BaudRate;
        t.c_ospeed = dcb.BaudRate;
    }

    if ((dcb.Flags & kParityCheck) != 0)
        t.c_iflag |= INPCK | PARMRK;
    if ((dcb.Flags & kOutxCtsFlow) != 0 || ((dcb.Flags >> kRtsControlShift) & 3u) == kRtsHandshake)
        t.c_cflag |= CRTSCTS;
    if ((dcb.Flags & kInX) != 0)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return Ioctl(fd, TCSETS2, &t);
}

int Describe(int fd, DCB& dcb)
{
    struct termios2 t {};
    if (const int err = Ioctl(fd, TCGETS2, &t))
        return err;
    dcb = DCB{};
    dcb.BaudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
    }
    if ((t.c_cflag & PARENB) == 0)
        dcb.Parity = 0;
    else if ((t.c_cflag & CMSPAR) != 0)
        dcb.Parity = (t.c_cflag & PARODD) != 0 ? 3 : 4;
    else
        dcb.Parity = (t.c_cflag & PARODD) != 0 ? 1 : 2;
    dcb.StopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 0;
    dcb.Flags = 1; // binary
    if ((t.c_cflag & CRTSCTS) != 0)
        dcb.Flags |= kOutxCtsFlow | (kRtsHandshake << kRtsControlShift);
    if ((t.c_iflag & IXON) != 0)
        dcb.Flags |= kOutX;
    if ((t.c_iflag & IXOFF) != 0)
        dcb.Flags |= kInX;
    dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return 0;
}

int OutputRate(int fd, uint32_t& rate)
{
    struct termios2 t {};
    if (const int err = Ioctl(fd, TCGETS2, &t))
        return err;
    rate = t.c_ospeed;
    return 0;
}

int GetModemLines(int fd, int& bits) { return Ioctl(fd, TIOCMGET, &bits); }

int SetModemLines(int fd, int bits, bool on) { return Ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits); }

int SetBreak(int fd, bool on) { return IoctlValue(fd, on ? TIOCSBRK : TIOCCBRK, 0); }

int SuspendOutput(int fd, bool suspend) { return IoctlValue(fd, TCXONC, suspend ? TCOOFF : TCOON); }

int OutputQueue(int fd, int& bytes) { return Ioctl(fd, TIOCOUTQ, &bytes); }

int Flush(int fd, bool input, bool output)
{
    if (!input && !output)
        return 0;
    return IoctlValue(fd, TCFLSH, input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH));
}

int SetExclusive(int fd, bool on) { return IoctlValue(fd, on ? TIOCEXCL : TIOCNXCL, 0); }

int SendFlowChar(int fd, bool stop) { return IoctlValue(fd, TCXONC, stop ? TCIOFF : TCION); }

int GetErrorCounters(int fd, ErrorCounters& counters)
{
    serial_icounter_struct c {};
    if (const int err = Ioctl(fd, TIOCGICOUNT, &c))
        return err;
    counters.frame = static_cast<uint32_t>(c.frame);
    counters.overrun = static_cast<uint32_t>(c.overrun);
    counters.parity = static_cast<uint32_t>(c.parity);
    counters.brk = static_cast<uint32_t>(c.brk);
    counters.bufOverrun = static_cast<uint32_t>(c.buf_overrun);
    counters.cts = static_cast<uint32_t>(c.cts);
    counters.dsr = static_cast<uint32_t>(c.dsr);
    counters.rng = static_cast<uint32_t>(c.rng);
    counters.dcd = static_cast<uint32_t>(c.dcd);
    return 0;
}

int LineDevice::Counters(int fd, ErrorCounters& counters) { return GetErrorCounters(fd, counters); }

int LineDevice::ModemLines(int fd, int& bits) { return GetModemLines(fd, bits); }

int LineDevice::WaitModemChange(int fd, int mask) { return IoctlValue(fd, TIOCMIWAIT, static_cast<unsigned long>(mask)); }

namespace {

// The signal that interrupts a thread blocked in TIOCMIWAIT. Its default action is to ignore it, so a
// stray one harms nothing; the handler exists only so that the ioctl returns with EINTR.
constexpr int kWakeSignal = SIGURG;

void NoOp(int) {}

void InstallWakeHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = NoOp;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0; // no SA_RESTART: the ioctl must return
        sigaction(kWakeSignal, &sa, nullptr);
    });
}

} // namespace

void LineDevice::InterruptWait(std::thread& thread)
{
    if (thread.joinable())
        pthread_kill(thread.native_handle(), kWakeSignal);
}

int LineDevice::Rate(int fd, uint32_t& rate) { return OutputRate(fd, rate); }

std::shared_ptr<LineDevice> RealLineDevice()
{
    InstallWakeHandler();
    static const auto device = std::make_shared<LineDevice>();
    return device;
}

bool IsRealUart(int fd)
{
    serial_struct s {};
    return Ioctl(fd, TIOCGSERIAL, &s) == 0 && s.type != PORT_UNKNOWN;
}

} // namespace platform::serial_line
