// Test support of the serial component's suites on every platform: the check dialog's port settings, the
// message of a raised component error, and a pump for Synchronize calls on the main thread.
#pragma once

#include "serial/SerComm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace serial_test {

// The dialog's settings: LF as event and EOF character, only ceRxFlag monitored, no handshake.
inline void ConfigureAsDialog(serial::TSerCustomComm& comm, int port, int rate)
{
    comm.SetPortNum(port);
    comm.EventChars().SetEventChar('\n');
    comm.EventChars().SetEofChar('\n');
    comm.SetMonitorEvents({serial::TSerCommEvent::ceRxFlag});
    comm.SetWritePriority(serial::TThreadPriority::tpLowest);
    comm.SetUserBaudrate(rate);
}

// The message of the ESerCommError that fn raises; fails the test if it raises none.
template <class Fn>
std::string CommErrorOf(Fn&& fn)
{
    try {
        fn();
    } catch (const serial::ESerCommError& e) {
        return e.what();
    }
    ADD_FAILURE() << "no ESerCommError raised";
    return {};
}

// A port whose errors reach a handler (as the scan's port object takes them) instead of being raised: the
// codes and texts in the order they came.
class AbsorbingComm : public serial::TSerComm {
public:
    AbsorbingComm()
    {
        FOnErrorException = [this](serial::TSerCustomComm&, int errors, const std::string& msg) {
            codes.push_back(errors);
            texts.push_back(msg);
        };
    }
    std::vector<int> codes;
    std::vector<std::string> texts;
};

// Runs queued Synchronize calls on the main thread until pred holds or timeout passes.
bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
// Runs queued Synchronize calls for the given time.
void PumpFor(std::chrono::milliseconds time);

} // namespace serial_test
