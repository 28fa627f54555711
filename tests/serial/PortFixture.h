// A pseudo-terminal published as COM1, and a component configured as the check dialog's form does.
#pragma once

#include "PtyPair.h"
#include "serial/SerComm.h"

#include <gtest/gtest.h>

namespace serial_test {

class PortFixture : public ::testing::Test {
protected:
    void SetUp() override { WriteComMap(dir, {{"COM1", pty.SlavePath()}}); }

    // The dialog's settings: LF as event and EOF character, only ceRxFlag monitored, no handshake.
    static void ConfigureAsDialog(serial::TSerCustomComm& comm, int rate = 4800)
    {
        comm.SetPortNum(1);
        comm.EventChars().SetEventChar('\n');
        comm.EventChars().SetEofChar('\n');
        comm.SetMonitorEvents({serial::TSerCommEvent::ceRxFlag});
        comm.SetWritePriority(serial::TThreadPriority::tpLowest);
        comm.SetUserBaudrate(rate);
    }

    TempDir dir;
    PtyPair pty;
};

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

} // namespace serial_test
