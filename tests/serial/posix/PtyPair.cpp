// Kept apart from <termios.h>: the master's line settings are read with termios2.
#include "PtyPair.h"

#include <asm/termbits.h>
#include <stdexcept>
#include <sys/ioctl.h>

namespace serial_test {

PtyPair::Line PtyPair::Settings() const
{
    termios2 t{};
    if (ioctl(Master(), TCGETS2, &t) != 0)
        throw std::runtime_error("TCGETS2 failed");
    Line line;
    line.ispeed = t.c_ispeed;
    line.ospeed = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
    }
    line.parity = (t.c_cflag & PARENB) != 0;
    line.oddParity = (t.c_cflag & PARODD) != 0;
    line.twoStopBits = (t.c_cflag & CSTOPB) != 0;
    return line;
}

} // namespace serial_test
