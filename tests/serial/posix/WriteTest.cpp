// The write path on a real pseudo-terminal: the write thread, direct writes, purges and line control.
// POSIX only: what was written is read on the pseudo-terminal's master side.
#include "PortFixture.h"

#include <gtest/gtest.h>
#include <thread>

using namespace serial;
using namespace serial_test;
using namespace std::chrono_literals;

using SerCommWrite = PortFixture;

TEST_F(SerCommWrite, WriteThreadDrainsTheBufferToOnTxEmpty)
{
    TSerComm c;
    ConfigureAsDialog(c);
    int txEmpty = 0;
    c.OnTxEmpty = [&](TSerCustomComm&) { ++txEmpty; };
    c.Open();
    std::string data;
    for (int i = 0; i < 100; ++i)
        data += static_cast<char>('A' + i % 26);
    EXPECT_EQ(c.WriteBuf(data.data(), 100), 100);
    EXPECT_EQ(pty.Read(100, 3s), data);
    ASSERT_TRUE(PumpUntil([&] { return txEmpty >= 1; }, 3s));
    EXPECT_EQ(c.WriteBufUsed(), 0);
    EXPECT_EQ(c.WriteBufFree(), 2048);

    // An empty text is accepted and also leads to OnTxEmpty.
    txEmpty = 0;
    EXPECT_TRUE(c.WriteText(""));
    ASSERT_TRUE(PumpUntil([&] { return txEmpty == 1; }, 3s));
    EXPECT_TRUE(c.WriteChar('!'));
    EXPECT_EQ(pty.Read(1, 3s), "!");
}

TEST_F(SerCommWrite, OutputBufferFullAfterWriteTimeout)
{
    TSerComm c;
    ConfigureAsDialog(c);
    c.Buffers().SetWriteTimeout(100);
    c.Open();
    const std::string tooBig(2049, 'x');
    EXPECT_EQ(CommErrorOf([&] { c.WriteBuf(tooBig.data(), 2049); }),
              "Output buffer is full. Please check comm status.");
    const std::string exact(2048, 'y');
    EXPECT_EQ(c.WriteBuf(exact.data(), 2048), 2048);
    EXPECT_EQ(pty.Read(2048, 3s), exact);
}

TEST_F(SerCommWrite, DirectWritesGoStraightToTheDriver)
{
    TSerComm c;
    ConfigureAsDialog(c);
    c.SetDirectWrite(true);
    c.SetMonitorEvents({TSerCommEvent::ceRxFlag, TSerCommEvent::ceTxEmpty});
    int txEmpty = 0;
    c.OnTxEmpty = [&](TSerCustomComm&) { ++txEmpty; };
    c.Open();
    EXPECT_EQ(c.WriteBuf("direct\n", 7), 7);
    EXPECT_EQ(pty.Read(7, 3s), "direct\n");
    // In this mode the driver's own transmit-empty event is monitored.
    EXPECT_TRUE(PumpUntil([&] { return txEmpty >= 1; }, 3s));
    EXPECT_TRUE(c.WriteText(""));
}

TEST_F(SerCommWrite, DirectReadsAndWritesFromTwoThreadsKeepTheirCompletions)
{
    TSerComm c;
    ConfigureAsDialog(c);
    c.SetDirectWrite(true);
    c.SetMonitorEvents({});
    c.Open();
    const std::string chunk(64, 'w');
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(c.WriteBuf(chunk.data(), 64), 64);
    });
    std::string echoed;
    std::thread reader([&] {
        char buf[64];
        for (int i = 0; i < 2000 && echoed.size() < 200; ++i) {
            const int n = c.ReadBuf(buf, sizeof buf);
            ASSERT_GE(n, 0);
            ASSERT_LE(n, 64);
            echoed.append(buf, static_cast<size_t>(n));
            std::this_thread::sleep_for(1ms);
        }
    });
    pty.Write(std::string(200, 'r'));
    const std::string out = pty.Read(64 * 200, 10s);
    writer.join();
    reader.join();
    EXPECT_EQ(out, std::string(64 * 200, 'w'));
    EXPECT_EQ(echoed, std::string(200, 'r'));
}

TEST_F(SerCommWrite, PurgesDiscardInputAndUnsentOutput)
{
    TSerComm c;
    ConfigureAsDialog(c);
    c.SetMonitorEvents({});
    c.Buffers().SetWriteSize(1 << 20);
    c.Buffers().SetWriteTimeout(100);
    c.Open();

    pty.Write("stale input");
    for (int i = 0; i < 2000 && c.ReadBufUsed() < 11; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(c.ReadBufUsed(), 11);
    // Fill the output: the master does not read, so the terminal's buffer fills and the thread's write
    // stays pending with the rest waiting in its buffer.
    const std::string block(1 << 16, 'o');
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(c.WriteBuf(block.data(), static_cast<int>(block.size())), static_cast<int>(block.size()));
    std::this_thread::sleep_for(100ms);
    ASSERT_GT(c.WriteBufUsed(), 0);

    // PurgeRead leaves the output alone.
    const int used = c.WriteBufUsed();
    c.PurgeRead();
    EXPECT_EQ(c.ReadBufUsed(), 0);
    EXPECT_EQ(c.WriteBufUsed(), used);

    c.PurgeWrite();
    EXPECT_EQ(c.WriteBufUsed(), 0);
    EXPECT_EQ(c.WriteBufFree(), 1 << 20);

    // After the purge new bytes go out whole, behind whatever the terminal had already taken.
    pty.Drain();
    std::this_thread::sleep_for(50ms);
    pty.Drain();
    ASSERT_TRUE(c.WriteText("AFTER\n"));
    const std::string tail = pty.Read(6, 3s);
    EXPECT_EQ(tail, "AFTER\n");
    EXPECT_TRUE(PumpUntil([&] { return c.WriteBufUsed() == 0; }, 3s));
}

TEST_F(SerCommWrite, HandshakeRefusesLineUpdates)
{
    const std::string dtrMsg = "DTR line updates not allowed when flowcontrol is set to Handshake.";
    const std::string rtsMsg = "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.";
    struct Case {
        TSerControlDtr dtr;
        TSerControlRts rts;
        bool dtrRefused, rtsRefused;
    } cases[] = {
        {TSerControlDtr::dtrDisabled, TSerControlRts::rtsDisabled, false, false},
        {TSerControlDtr::dtrEnabled, TSerControlRts::rtsEnabled, false, false},
        {TSerControlDtr::dtrHandshake, TSerControlRts::rtsHandshake, true, true},
        {TSerControlDtr::dtrDisabled, TSerControlRts::rtsToggle, false, true},
    };
    for (const Case& k : cases) {
        for (bool open : {false, true}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(k.dtr)) + "/" + std::to_string(static_cast<int>(k.rts)) +
                         (open ? " open" : " closed"));
            TSerComm c;
            ConfigureAsDialog(c);
            c.FlowControl().SetControlDtr(k.dtr);
            c.FlowControl().SetControlRts(k.rts);
            if (open)
                c.Open();
            for (bool value : {true, false}) {
                if (k.dtrRefused)
                    EXPECT_EQ(CommErrorOf([&] { c.SetDTR(value); }), dtrMsg);
                else
                    EXPECT_NO_THROW(c.SetDTR(value));
                if (k.rtsRefused)
                    EXPECT_EQ(CommErrorOf([&] { c.SetRTS(value); }), rtsMsg);
                else
                    EXPECT_NO_THROW(c.SetRTS(value));
            }
        }
    }
}
