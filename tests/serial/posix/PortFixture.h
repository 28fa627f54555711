// A pseudo-terminal published as COM1, and a component configured as the check dialog's form does.
#pragma once

#include "../SerialTestSupport.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

namespace serial_test {

class PortFixture : public ::testing::Test {
protected:
    void SetUp() override { WriteComMap(dir, {{"COM1", pty.SlavePath()}}); }

    // The dialog's settings (SerialTestSupport.h) on the fixture's COM1.
    static void ConfigureAsDialog(serial::TSerCustomComm& comm, int rate = 4800)
    {
        serial_test::ConfigureAsDialog(comm, 1, rate);
    }

    TempDir dir;
    PtyPair pty;
};

} // namespace serial_test
