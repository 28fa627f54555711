// Kept apart from <termios.h>: the master's line settings are read with termios2.
#include "PtyPair.h"

#include "platform/Thread.h"

#include <asm/termbits.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <thread>

namespace serial_test {

namespace {
// The test program's main thread is the one that runs the static initialisers.
[[maybe_unused]] const bool kMainThreadSet = (platform::SetMainThread(), true);
} // namespace

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

bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        platform::CheckSynchronize();
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PumpFor(std::chrono::milliseconds time)
{
    PumpUntil([] { return false; }, time);
}

} // namespace serial_test
