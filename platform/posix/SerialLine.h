// Line configuration and line-state ioctls of a POSIX terminal device, kept in a translation unit of their
// own because the kernel's termios2 header cannot be combined with <termios.h>.
// Every function returns 0 or an errno value.
#pragma once

#include "platform/Comm.h"

#include <cstdint>
#include <memory>
#include <thread>

namespace platform::serial_line {

// Puts the line into raw mode (no echo, no canonical input, no CR/LF translation, no signals, breaks
// ignored: they are counted, not received as bytes) with the rate (any integer, through BOTHER; rate 0
// keeps the line's current rate), byte size, parity, stop bits and RTS/CTS and XON/XOFF input flow
// control of dcb. Output XON/XOFF is left to the caller. With the parity check of dcb, bytes received with
// a parity or framing error are marked (0xFF 0x00 byte; a literal 0xFF arrives doubled).
int Configure(int fd, const DCB& dcb);
// The device's current rate, byte size, parity, stop bits and flow control as a DCB (other fields zero).
int Describe(int fd, DCB& dcb);
// The output rate of the line (termios2 c_ospeed). On a pseudo-terminal master this is the rate that the
// program on the slave side has set.
int OutputRate(int fd, uint32_t& rate);

// Modem lines: TIOCM_* bits of <sys/ioctl.h>.
int GetModemLines(int fd, int& bits);
int SetModemLines(int fd, int bits, bool on);
int SetBreak(int fd, bool on);
int SuspendOutput(int fd, bool suspend);
int OutputQueue(int fd, int& bytes);
int Flush(int fd, bool input, bool output);
// TIOCEXCL or TIOCNXCL. The flag belongs to the tty, not to the descriptor: a pseudo-terminal's slave
// (and a line another process still holds) keeps it after our close unless it is cleared.
int SetExclusive(int fd, bool on);
// Sends the XOFF (stop) or XON (start) character of the line ahead of queued output.
int SendFlowChar(int fd, bool stop);

struct ErrorCounters {
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t parity = 0;
    uint32_t brk = 0;
    uint32_t bufOverrun = 0;
    // Transitions of the modem input lines.
    uint32_t cts = 0;
    uint32_t dsr = 0;
    uint32_t rng = 0;
    uint32_t dcd = 0;
};
int GetErrorCounters(int fd, ErrorCounters& counters);

// What the driver asks of a device beyond bytes and line settings: the counters, the modem input lines,
// the wait for a modem-line change and the rate the line really runs at. The real device is the default;
// tests put their own under the driver to play what a pseudo-terminal cannot show.
class LineDevice {
public:
    virtual ~LineDevice() = default;
    virtual int Counters(int fd, ErrorCounters& counters);
    virtual int ModemLines(int fd, int& bits);
    // Blocks until one of the TIOCM_* lines in mask changes (TIOCMIWAIT); EINTR after InterruptWait.
    virtual int WaitModemChange(int fd, int mask);
    // Makes a WaitModemChange running on thread return (repeated until that thread has left it).
    virtual void InterruptWait(std::thread& thread);
    // The rate the line runs at after Configure (the driver may have rounded it).
    virtual int Rate(int fd, uint32_t& rate);
};
std::shared_ptr<LineDevice> RealLineDevice();

// True when TIOCGSERIAL reports a UART type other than "unknown" (a real serial port).
bool IsRealUart(int fd);

} // namespace platform::serial_line
