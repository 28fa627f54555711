// A component whose saved settings differ from every default, and the check that a loaded one has them.
#pragma once

#include "serial/SerComm.h"

#include <gtest/gtest.h>

namespace serial_test {

using namespace serial;

// A component whose saved settings differ from every default.
inline void Configure(serial::TSerComm& c)
{
    c.SetBaudrate(TSerBaudrate::br38400);
    c.SetParity(TSerParity::paMark);
    c.SetDatabits(TSerDatabits::db6);
    c.SetPortNum(12);
    c.SetStopbits(TSerStopbits::sb15);
    c.FlowControl().SetXonXoffIn(true);
}

inline void ExpectConfigured(const serial::TSerComm& c)
{
    EXPECT_EQ(c.Baudrate(), TSerBaudrate::br38400);
    EXPECT_EQ(c.Parity(), TSerParity::paMark);
    EXPECT_EQ(c.Databits(), TSerDatabits::db6);
    EXPECT_EQ(c.PortNum(), 12);
    EXPECT_EQ(c.Stopbits(), TSerStopbits::sb15);
    // Flow code 2: XON/XOFF both ways, lines disabled.
    EXPECT_TRUE(c.FlowControl().XonXoffIn());
    EXPECT_TRUE(c.FlowControl().XonXoffOut());
    EXPECT_EQ(c.FlowControl().ControlDtr(), TSerControlDtr::dtrDisabled);
}

} // namespace serial_test
