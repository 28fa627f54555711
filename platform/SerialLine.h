// Line configuration and line-state ioctls of a POSIX terminal device, kept in a translation unit of their
// own because the kernel's termios2 header cannot be combined with <termios.h>.
// Every function returns 0 or an errno value.
#pragma once

#include "platform/Comm.h"

#include <cstdint>

namespace platform::serial_line {

// Puts the line into raw mode (no echo, no canonical input, no CR/LF translation, no signals) with the
// rate (any integer, through BOTHER), byte size, parity, stop bits and flow control of dcb. markErrors
// asks for bytes received with a parity or framing error to be marked (0xFF 0x00 byte; a literal 0xFF
// arrives doubled) so that the caller can replace them.
int Configure(int fd, const DCB& dcb, bool markErrors);
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
int SetExclusive(int fd);

struct ErrorCounters {
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t parity = 0;
    uint32_t brk = 0;
    uint32_t bufOverrun = 0;
};
int GetErrorCounters(int fd, ErrorCounters& counters);

// True when TIOCGSERIAL reports a UART type other than "unknown" (a real serial port).
bool IsRealUart(int fd);

} // namespace platform::serial_line
