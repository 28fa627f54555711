#include "SerialTestSupport.h"

#include "platform/Thread.h"

#include <thread>

namespace serial_test {

namespace {
// The test program's main thread is the one that runs the static initialisers.
[[maybe_unused]] const bool kMainThreadSet = (platform::SetMainThread(), true);
} // namespace

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
