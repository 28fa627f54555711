// The receive path on a real pseudo-terminal: the line-feed event, the read operations, WaitChar,
// Close while a batch is being handled, and the clients.
// POSIX only: the test writes each byte from the pseudo-terminal's master side (under Wine the line-feed
// event would not come either: Wine's serial driver does not raise EV_RXFLAG).
#include "PortFixture.h"

#include "serial/SerDispatcher.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace serial;
using namespace serial_test;
using namespace std::chrono_literals;

namespace {

// Waits (without running Synchronize calls) until the driver has queued n bytes.
bool WaitQueued(TSerCustomComm& c, int n)
{
    for (int i = 0; i < 2000; ++i) {
        if (c.ReadBufUsed() >= n)
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

} // namespace

using SerCommReceive = PortFixture;

TEST_F(SerCommReceive, LineFeedFiresOnRxFlagOncePerBatchWithEveryQueuedByte)
{
    TSerComm c;
    ConfigureAsDialog(c);
    std::vector<int> usedInHandler;
    std::string received;
    c.OnRxFlag = [&](TSerCustomComm& s) {
        const int n = s.ReadBufUsed();
        usedInHandler.push_back(n);
        for (int i = 0; i < n; ++i) {
            char ch = 0;
            ASSERT_TRUE(s.ReadChar(ch));
            received += ch;
        }
    };
    c.Open();

    // Without its line feed a sentence fires nothing.
    pty.Write("$GPGLL,5057.970,N");
    PumpFor(150ms);
    EXPECT_TRUE(usedInHandler.empty());

    pty.Write(",00147.960,W*7B\r\n");
    ASSERT_TRUE(PumpUntil([&] { return !usedInHandler.empty(); }, 3s));
    const std::string sentence = "$GPGLL,5057.970,N,00147.960,W*7B\r\n";
    EXPECT_EQ(usedInHandler[0], static_cast<int>(sentence.size())); // including the line feed
    EXPECT_EQ(received, sentence);

    // Three sentences while the main thread is busy: the first call sees all of them.
    usedInHandler.clear();
    received.clear();
    const std::string three = "$A,1*00\n$B,2*00\n$C,3*00\n";
    pty.Write(three);
    ASSERT_TRUE(WaitQueued(c, static_cast<int>(three.size())));
    ASSERT_TRUE(PumpUntil([&] { return !usedInHandler.empty(); }, 3s));
    PumpFor(100ms);
    EXPECT_EQ(usedInHandler[0], static_cast<int>(three.size()));
    EXPECT_LE(usedInHandler.size(), 2u); // a second call may report events kept by the driver
    EXPECT_EQ(received, three);
}

TEST_F(SerCommReceive, ReadOperationsReturnWhatIsQueued)
{
    TSerComm c;
    ConfigureAsDialog(c);
    c.SetMonitorEvents({}); // no event thread: nothing reads but the test
    c.Open();

    char buf[16] = {};
    EXPECT_EQ(c.ReadBuf(buf, 10), 0); // nothing queued: 0 at once
    pty.Write("abc");
    ASSERT_TRUE(WaitQueued(c, 3));
    EXPECT_EQ(c.ReadBufFree(), 4096 - 3);
    EXPECT_EQ(c.ReadBuf(buf, 10), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");

    pty.Write("xyz\n");
    ASSERT_TRUE(WaitQueued(c, 4));
    char ch = 0;
    EXPECT_TRUE(c.ReadChar(ch));
    EXPECT_EQ(ch, 'x');
    EXPECT_EQ(c.ReadText(), "yz\n");
    EXPECT_FALSE(c.ReadChar(ch));
    EXPECT_EQ(c.ReadText(), "");

    // Raw line: bytes arrive as sent, also CR, NUL and high bytes.
    const std::string raw("\r\0\xff\x11\x13\n", 6);
    pty.Write(raw);
    ASSERT_TRUE(WaitQueued(c, 6));
    EXPECT_EQ(c.ReadText(), raw);

    // WaitChar: True at once with a byte queued, False after the time-out without one.
    EXPECT_FALSE(c.WaitChar(100));
    pty.Write("q");
    EXPECT_TRUE(c.WaitChar(2000));
    EXPECT_TRUE(c.ReadCharWait(ch, 100));
    EXPECT_EQ(ch, 'q');
}

TEST_F(SerCommReceive, CloseRunsAHandlerQueuedThroughSynchronizeOnAnOpenPort)
{
    TSerComm c;
    ConfigureAsDialog(c);
    int calls = 0;
    bool activeInHandler = false;
    std::string text;
    c.OnRxFlag = [&](TSerCustomComm& s) {
        ++calls;
        activeInHandler = s.Active();
        text = s.ReadText();
    };
    c.Open();
    pty.Write("$GPZDA,1*00\n");
    // The event thread now blocks in Synchronize; the main thread does not pump until Close.
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(calls, 0);
    c.Close();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(activeInHandler);
    EXPECT_EQ(text, "$GPZDA,1*00\n");
    EXPECT_FALSE(c.Active());
}

TEST_F(SerCommReceive, CloseWaitsForAHandlerReadingOnTheEventThread)
{
    // Without Synchronize the handler runs on the event thread and reads while Close is stopping it.
    TSerComm c;
    ConfigureAsDialog(c);
    c.SetSyncThreads(false);
    std::atomic<bool> inHandler{false};
    std::atomic<int> calls{0};
    std::string text;
    c.OnRxFlag = [&](TSerCustomComm& s) {
        inHandler = true;
        std::this_thread::sleep_for(150ms); // Close starts meanwhile
        text = s.ReadText();
        ++calls;
    };
    c.Open();
    pty.Write("$X*00\n");
    for (int i = 0; i < 2000 && !inHandler; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(inHandler);
    c.Close();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(text, "$X*00\n");
}

TEST_F(SerCommReceive, RxCharWithoutClientsLeavesBytesQueued)
{
    TSerComm c;
    ConfigureAsDialog(c);
    c.SetMonitorEvents({TSerCommEvent::ceRxChar, TSerCommEvent::ceRxFlag});
    std::vector<std::string> order;
    int counted = 0;
    c.OnRxChar = [&](TSerCustomComm& s, int count) {
        order.push_back("rxchar");
        counted = count;
        EXPECT_EQ(s.ReadBufUsed(), count);
    };
    c.OnRxFlag = [&](TSerCustomComm& s) {
        order.push_back("rxflag");
        s.PurgeRead();
    };
    c.Open();
    pty.Write("ab\n");
    ASSERT_TRUE(PumpUntil([&] { return !order.empty() && order.back() == "rxflag"; }, 3s));
    // In a batch holding both, OnRxChar comes first; it may also have come alone for earlier bytes.
    EXPECT_EQ(order.front(), "rxchar");
    EXPECT_GT(counted, 0);
}

namespace {

struct RecordingUser : ISerCommUser {
    void HandleCommEvent(int events) override { masks.push_back(events); }
    void HandleRxBuf(PSerData data, int count) override
    {
        bytes.append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
    }
    std::vector<int> masks;
    std::string bytes;
};

} // namespace

TEST_F(SerCommReceive, ClientsReceiveBlocksAndEvents)
{
    TSerComm c;
    ConfigureAsDialog(c);
    c.SetMonitorEvents({TSerCommEvent::ceRxChar, TSerCommEvent::ceRxFlag});
    auto activeUser = std::make_shared<RecordingUser>();
    auto idleUser = std::make_shared<RecordingUser>();
    std::string viaRxBuf;
    int rxChar = 0;
    c.OnRxBuf = [&](TSerCustomComm&, PSerData data, int count) {
        viaRxBuf.append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
    };
    c.OnRxChar = [&](TSerCustomComm&, int) { ++rxChar; };
    {
        TSerDispatcher active(activeUser);
        TSerDispatcher idle(idleUser);
        idle.SetActive(false);
        c.InsertClient(&active);
        c.InsertClient(&idle);
        EXPECT_EQ(active.Comm(), &c);
        c.Open();
        pty.Write("$GPRMC,1*00\n");
        ASSERT_TRUE(PumpUntil([&] { return viaRxBuf.size() == 12 && !activeUser->masks.empty(); }, 3s));
        EXPECT_EQ(activeUser->bytes, "$GPRMC,1*00\n");
        EXPECT_TRUE(idleUser->bytes.empty());
        EXPECT_TRUE(idleUser->masks.empty());
        EXPECT_EQ(rxChar, 0); // with clients the bytes are read and passed on instead
        EXPECT_EQ(c.ReadBufUsed(), 0);

        // With controls disabled no client receives anything; OnRxBuf still fires.
        c.DisableControls();
        activeUser->bytes.clear();
        viaRxBuf.clear();
        pty.Write("$B*00\n");
        ASSERT_TRUE(PumpUntil([&] { return viaRxBuf.size() == 6; }, 3s));
        EXPECT_TRUE(activeUser->bytes.empty());
        c.EnableControls();

        // A dispatcher forwards to its component.
        EXPECT_TRUE(active.WriteText("hi"));
        EXPECT_EQ(pty.Read(2, 2s), "hi");
    }
    // Destroyed dispatchers detach themselves.
    EXPECT_EQ(c.ClientCount(), 0);
    TSerDispatcher loose(activeUser);
    EXPECT_EQ(loose.WriteBuf("x", 1), 0);
    EXPECT_FALSE(loose.WriteChar('x'));
}
