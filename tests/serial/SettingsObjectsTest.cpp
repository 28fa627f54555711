// The component's properties while closed: defaults, setter rules, nested objects, the device path,
// LoadFromDCB, and the small helper classes.
#include "SerialTestSupport.h"

#include "platform/Comm.h"
#include "platform/Handles.h"
#include "serial/SerCommBuffer.h"
#include "serial/SerDeadline.h"
#include "serial/SerDisplay.h"

#include <gtest/gtest.h>

using namespace serial;
using platform::DCB;

TEST(SerCommDefaults, NewComponentHasThePublishedInitialValues)
{
    TSerComm c;
    EXPECT_FALSE(c.AutoOpen());
    EXPECT_EQ(c.Baudrate(), TSerBaudrate::br1200);
    EXPECT_EQ(c.Parity(), TSerParity::paNone);
    EXPECT_EQ(c.Databits(), TSerDatabits::db8);
    EXPECT_EQ(c.Stopbits(), TSerStopbits::sb1);
    EXPECT_TRUE(c.Options().Empty());
    EXPECT_EQ(c.PortNum(), 0);
    EXPECT_EQ(c.DeviceName(), u"COM%d");
    EXPECT_EQ(c.MonitorEvents(),
              (TSerCommEvents{TSerCommEvent::ceError, TSerCommEvent::ceRxChar, TSerCommEvent::ceTxEmpty}));
    EXPECT_EQ(c.EventPriority(), TThreadPriority::tpNormal);
    EXPECT_EQ(c.WritePriority(), TThreadPriority::tpHighest);
    EXPECT_FALSE(c.DirectWrite());
    EXPECT_TRUE(c.UpdateDCB());
    EXPECT_EQ(c.UserBaudrate(), 0);
    EXPECT_TRUE(c.SyncThreads());
    EXPECT_EQ(c.Display(), nullptr);
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.Handle(), platform::INVALID_HANDLE_VALUE);

    const TSerEventChars& ch = c.EventChars();
    EXPECT_EQ(ch.XonChar(), 17);
    EXPECT_EQ(ch.XoffChar(), 19);
    EXPECT_EQ(ch.ErrorChar(), 0);
    EXPECT_EQ(ch.EventChar(), 0);
    EXPECT_EQ(ch.EofChar(), 0);

    const TSerFlowControl& f = c.FlowControl();
    EXPECT_FALSE(f.OutCtsFlow() || f.OutDsrFlow() || f.XonXoffOut() || f.XonXoffIn() || f.DsrSensitivity() ||
                 f.TxContinueOnXoff());
    EXPECT_EQ(f.ControlDtr(), TSerControlDtr::dtrDisabled);
    EXPECT_EQ(f.ControlRts(), TSerControlRts::rtsDisabled);

    const TSerBuffers& b = c.Buffers();
    EXPECT_EQ(b.ReadSize(), 4096);
    EXPECT_EQ(b.WriteSize(), 2048);
    EXPECT_EQ(b.ReadTimeout(), 1000);
    EXPECT_EQ(b.WriteTimeout(), 1000);
    EXPECT_EQ(b.XonLimit(), 1024);
    EXPECT_EQ(b.XoffLimit(), 1024);

    EXPECT_TRUE(c.SettingsStore().Key().empty());
    EXPECT_TRUE(c.SettingsStore().Section().empty());
    EXPECT_EQ(c.SettingsStore().Location(), TSettingsLocation::slINIFile);
    EXPECT_EQ(c.SettingsStore().RegRoot(), TRegRootKey::rrCURRENTUSER);
}

TEST(SerCommDefaults, VersionIsFixed)
{
    TSerComm c;
    EXPECT_EQ(c.Version(), u"2.0.4.0");
    c.SetVersion(u"9.9");
    EXPECT_EQ(c.Version(), u"2.0.4.0");
}

TEST(SerCommSetters, BaudrateAndUserBaudrateFollowEachOther)
{
    TSerComm c;
    c.SetUserBaudrate(9600);
    EXPECT_EQ(c.Baudrate(), TSerBaudrate::brUser);
    EXPECT_EQ(c.UserBaudrate(), 9600);
    c.SetBaudrate(TSerBaudrate::br19200);
    EXPECT_EQ(c.UserBaudrate(), 0);
    // UserBaudrate 0 when it already is 0 changes nothing, even with a table rate in force.
    c.SetUserBaudrate(0);
    EXPECT_EQ(c.Baudrate(), TSerBaudrate::br19200);
    // brUser keeps the user rate.
    c.SetUserBaudrate(14400);
    c.SetBaudrate(TSerBaudrate::br9600);
    c.SetBaudrate(TSerBaudrate::brUser);
    EXPECT_EQ(c.UserBaudrate(), 0);
}

TEST(SerCommSetters, EofCharIsIndependentOfEventChar)
{
    TSerComm c;
    c.EventChars().SetEofChar(26);
    c.EventChars().SetEventChar('\n');
    EXPECT_EQ(c.EventChars().EofChar(), 26);
    EXPECT_EQ(c.EventChars().EventChar(), '\n');
}

TEST(SerCommDevicePath, FormatsDeviceNameWithPortNumberAndPrefix)
{
    struct Case {
        const char16_t* deviceName;
        int port;
        const char16_t* path;
    } cases[] = {
        {u"COM%d", 5, u"\\\\.\\COM5"},
        {u"COM%d", 0, u"\\\\.\\COM0"},
        {u"PORT", 3, u"\\\\.\\PORT"},
        {u"X%dY%d", 12, u"\\\\.\\X12Y12"},
        {u"A%%%d", 2, u"\\\\.\\A%2"},
    };
    for (const Case& k : cases) {
        TSerComm c;
        c.SetDeviceName(k.deviceName);
        c.SetPortNum(k.port);
        EXPECT_EQ(c.DevicePath(), k.path);
    }
}

TEST(SerPersistent, GroupedChangesNotifyOnceAndAssignCopiesEverything)
{
    TSerFlowControl a;
    int changes = 0;
    a.OnChange = [&](TSerPersistent&) { ++changes; };
    a.SetXonXoffIn(true);
    a.SetXonXoffIn(true); // unchanged: no notification
    EXPECT_EQ(changes, 1);

    TSerFlowControl b;
    b.SetOutCtsFlow(true);
    b.SetOutDsrFlow(true);
    b.SetControlDtr(TSerControlDtr::dtrHandshake);
    b.SetControlRts(TSerControlRts::rtsToggle);
    b.SetXonXoffOut(true);
    b.SetXonXoffIn(true);
    b.SetDsrSensitivity(true);
    b.SetTxContinueOnXoff(true);
    changes = 0;
    a.Assign(b);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(a.OutCtsFlow() && a.OutDsrFlow() && a.XonXoffOut() && a.XonXoffIn() && a.DsrSensitivity() &&
                a.TxContinueOnXoff());
    EXPECT_EQ(a.ControlDtr(), TSerControlDtr::dtrHandshake);
    EXPECT_EQ(a.ControlRts(), TSerControlRts::rtsToggle);

    // Nested BeginUpdate: only the outermost EndUpdate reaches a count of 0.
    changes = 0;
    a.BeginUpdate();
    a.BeginUpdate();
    a.SetOutCtsFlow(false);
    a.EndUpdate();
    EXPECT_EQ(changes, 0);
    a.EndUpdate();
    EXPECT_EQ(changes, 1);

    // Event characters notify even when the value is unchanged.
    TSerEventChars chars;
    int charChanges = 0;
    chars.OnChange = [&](TSerPersistent&) { ++charChanges; };
    chars.SetXonChar(17);
    chars.SetXonChar(17);
    EXPECT_EQ(charChanges, 2);

    TSerBuffers buffers;
    EXPECT_THROW(buffers.Assign(chars), std::invalid_argument);
    TSerBuffers other;
    other.SetReadSize(100);
    other.SetWriteTimeout(5);
    buffers.Assign(other);
    EXPECT_EQ(buffers.ReadSize(), 100);
    EXPECT_EQ(buffers.WriteTimeout(), 5);

    TSettingsStore store, src;
    src.SetKey(u"k");
    src.SetSection(u"s");
    src.SetLocation(TSettingsLocation::slRegistry);
    src.SetRegRoot(TRegRootKey::rrLOCALMACHINE);
    store.Assign(src);
    EXPECT_EQ(store.Key(), u"k");
    EXPECT_EQ(store.Section(), u"s");
    EXPECT_EQ(store.Location(), TSettingsLocation::slRegistry);
    EXPECT_EQ(store.RegRoot(), TRegRootKey::rrLOCALMACHINE);
    store.Assign(buffers); // another class: nothing happens
    EXPECT_EQ(store.Key(), u"k");
}

TEST(SerCommLoadFromDCB, SetsPropertiesBitByBit)
{
    struct Case {
        uint32_t rate;
        TSerBaudrate baud;
        int32_t user;
    } rates[] = {
        {110, TSerBaudrate::br110, 0},       {4800, TSerBaudrate::br4800, 0},
        {14400, TSerBaudrate::br14400, 0},   {256000, TSerBaudrate::br256000, 0},
        {0, TSerBaudrate::brUser, 0},        {4801, TSerBaudrate::brUser, 4801},
    };
    for (const Case& k : rates) {
        TSerComm c;
        DCB dcb;
        dcb.BaudRate = k.rate;
        dcb.ByteSize = 8;
        c.LoadFromDCB(dcb);
        EXPECT_EQ(c.Baudrate(), k.baud) << k.rate;
        EXPECT_EQ(c.UserBaudrate(), k.user) << k.rate;
    }

    TSerComm c;
    DCB dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 7;
    dcb.Parity = 2;
    dcb.StopBits = 2;
    dcb.Flags = (1u << 1) | (1u << 2) | (3u << 4) | (1u << 7) | (1u << 9) | (1u << 11) | (3u << 12);
    dcb.XonChar = 1;
    dcb.XoffChar = 2;
    dcb.ErrorChar = 3;
    dcb.EvtChar = 4;
    dcb.EofChar = 5;
    dcb.XonLim = 111;
    dcb.XoffLim = 222;
    c.LoadFromDCB(dcb);
    EXPECT_EQ(c.Databits(), TSerDatabits::db7);
    EXPECT_EQ(c.Parity(), TSerParity::paEven);
    EXPECT_EQ(c.Stopbits(), TSerStopbits::sb2);
    EXPECT_EQ(c.FlowControl().ControlDtr(), TSerControlDtr::dtrHandshake); // field 3 has no member
    EXPECT_EQ(c.FlowControl().ControlRts(), TSerControlRts::rtsToggle);
    EXPECT_TRUE(c.FlowControl().OutCtsFlow());
    EXPECT_FALSE(c.FlowControl().OutDsrFlow());
    EXPECT_FALSE(c.FlowControl().XonXoffOut());
    EXPECT_TRUE(c.FlowControl().XonXoffIn());
    EXPECT_FALSE(c.FlowControl().DsrSensitivity());
    EXPECT_TRUE(c.FlowControl().TxContinueOnXoff());
    EXPECT_EQ(c.EventChars().XonChar(), 1);
    EXPECT_EQ(c.EventChars().XoffChar(), 2);
    EXPECT_EQ(c.EventChars().ErrorChar(), 3);
    EXPECT_EQ(c.EventChars().EventChar(), 4);
    EXPECT_EQ(c.EventChars().EofChar(), 5);
    EXPECT_EQ(c.Buffers().XonLimit(), 111);
    EXPECT_EQ(c.Buffers().XoffLimit(), 222);
    EXPECT_EQ(c.Options(), (TSerCommOptions{TSerCommOption::coParityCheck, TSerCommOption::coNullStrip}));

    // Codes without a member fall back.
    dcb.ByteSize = 9;
    dcb.Parity = 7;
    dcb.StopBits = 3;
    dcb.Flags = 1u << 10;
    c.LoadFromDCB(dcb);
    EXPECT_EQ(c.Databits(), TSerDatabits::db8);
    EXPECT_EQ(c.Parity(), TSerParity::paNone);
    EXPECT_EQ(c.Stopbits(), TSerStopbits::sb1);
    EXPECT_EQ(c.FlowControl().ControlDtr(), TSerControlDtr::dtrDisabled);
    EXPECT_EQ(c.Options(), (TSerCommOptions{TSerCommOption::coErrorChar}));
}

TEST(SerCommClosed, OperationsOnAClosedPortYieldNothing)
{
    TSerComm c;
    char ch = 'x';
    EXPECT_FALSE(c.ReadChar(ch));
    EXPECT_EQ(c.ReadBufUsed(), 0);
    EXPECT_EQ(c.ReadBufFree(), 0);
    EXPECT_EQ(c.ReadText(), "");
    EXPECT_EQ(c.WriteBuf("abc", 3), 0);
    EXPECT_EQ(c.WriteBufUsed(), 0);
    EXPECT_EQ(c.WriteBufFree(), 0);
    EXPECT_FALSE(c.CTS() || c.DSR() || c.RING() || c.RLSD());
    c.PurgeReadWrite();
    c.SetBreak(true);
    c.SetDTR(true); // dtrDisabled on a closed port: nothing happens
    c.Close();
    EXPECT_EQ(serial_test::CommErrorOf([&] { c.Properties(); }),
              "Can't perform this operation while port is closed");
}

TEST(SerDeadline, ElapsedSurvivesTheWrapOfTheTickCount)
{
    EXPECT_EQ(TSerDeadline::Elapsed(100, 350), 250u);
    EXPECT_EQ(TSerDeadline::Elapsed(0xFFFFFFF0u, 5), 5u + 0xFu);
    TSerDeadline d;
    d.Start(1000000);
    EXPECT_FALSE(d.Expired());
    d.Start(0);
    // The tick count moves in steps of the system's timer (1 ms on Linux, 10 to 16 ms on Windows): a
    // deadline of 0 has passed once it has moved on.
    const uint32_t start = platform::GetTickCount();
    for (int k = 0; k < 1000 && platform::GetTickCount() == start; ++k)
        platform::Sleep(1);
    EXPECT_TRUE(d.Expired());
}

TEST(SerCommBuffer, RemoveNeverGoesBelowEmptyAndWriteNeverOverfills)
{
    TSerCommBuffer b(8);
    EXPECT_TRUE(b.Write("abcdef", 6));
    EXPECT_FALSE(b.Write("xyz", 3)); // only 2 bytes of room
    EXPECT_EQ(b.Size(), 6);
    char out[8] = {};
    EXPECT_EQ(b.Peek(out, 2), 2);
    EXPECT_EQ(std::string(out, 2), "ab");
    b.Remove(2);
    EXPECT_EQ(b.Read(out, 10), 4);
    EXPECT_EQ(std::string(out, 4), "cdef");
    b.Clear();
    b.Remove(5);
    EXPECT_EQ(b.Size(), 0);
}

namespace {
class TestDisplay : public TSerDisplay {
public:
    void UpdateDisplay(TSerCustomComm&) override { ++updates; }
    int updates = 0;
};
} // namespace

TEST(SerCommDisplay, RemovedDisplayIsCleared)
{
    TSerComm c;
    {
        TestDisplay d;
        c.SetDisplay(&d);
        EXPECT_EQ(c.Display(), &d);
    }
    EXPECT_EQ(c.Display(), nullptr);
    // And the other way round: a component going away first leaves the display intact.
    TestDisplay d;
    {
        TSerComm other;
        other.SetDisplay(&d);
    }
    c.SetDisplay(&d);
    EXPECT_EQ(c.Display(), &d);
}

TEST(SerCommLoading, LoadedOpensOnlyWithAutoOpen)
{
    TSerComm c;
    c.BeginLoading();
    c.SetPortNum(77); // not in any map: Open would raise
    c.EndLoading();
    EXPECT_FALSE(c.Active());
    TSerComm d;
    d.BeginLoading();
    d.SetPortNum(77);
    d.SetAutoOpen(true);
    EXPECT_THROW(d.EndLoading(), ESerCommError);
    TSerComm e;
    e.SetDesigning(true);
    e.BeginLoading();
    e.SetPortNum(77);
    e.SetAutoOpen(true);
    EXPECT_NO_THROW(e.EndLoading());
}
