// Instruments that go away: the simulator killed while a port receives from it, and a port that was listed
// but whose device is gone or held by another process when it is opened.
// POSIX only: simulators killed or whose device node is removed while the test runs.
#include "PortFixture.h"

#include "serial/SerPortNames.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace serial;
using namespace serial_test;
using namespace std::chrono_literals;

namespace {

const std::string kLog = SONDRAL_FIXTURES "/nmea/GPSmap-76S.log";

// nmea-sim as a separate process whose device map is the machine's ports while it runs.
class Simulator {
public:
    Simulator(const TempDir& dir, const std::vector<std::string>& instruments) : map_(dir.Path() + "/com.map")
    {
        const std::string tool = SONDRAL_BINARY_DIR "/tools/nmea-sim";
        std::vector<std::string> args = {tool, "--map", map_};
        args.insert(args.end(), instruments.begin(), instruments.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, tool.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        for (int i = 0; i < 1000 && pid_ > 0 && !std::filesystem::exists(map_); ++i)
            std::this_thread::sleep_for(10ms);
        ::setenv("SONDRAL_COM_MAP", map_.c_str(), 1);
    }
    ~Simulator()
    {
        ::unsetenv("SONDRAL_COM_MAP");
        Kill(SIGTERM);
    }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Ready() const { return pid_ > 0 && std::filesystem::exists(map_); }
    // Ends the simulator with the signal and waits for it: its pseudo-terminals close and their nodes go.
    void Kill(int signal)
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    std::string map_;
    pid_t pid_ = -1;
};

void ConfigureAsDialog(TSerCustomComm& comm, int port)
{
    comm.SetPortNum(port);
    comm.EventChars().SetEventChar('\n');
    comm.EventChars().SetEofChar('\n');
    comm.SetMonitorEvents({TSerCommEvent::ceRxFlag});
    comm.SetUserBaudrate(4800);
}

// Runs fn on another thread; false when it has not returned within the limit (it is then left running,
// and the test fails rather than hangs).
bool Returns(const std::function<void()>& fn, std::chrono::seconds limit)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> f = done->get_future();
    std::thread([fn, done] {
        fn();
        done->set_value();
    }).detach();
    return f.wait_for(limit) == std::future_status::ready;
}

} // namespace

TEST(SerCommUnplug, InstrumentKilledDuringAReceiveEndsTheReadsAndClosePasses)
{
    TempDir dir;
    Simulator sim(dir, {"COM1:4800:" + kLog});
    ASSERT_TRUE(sim.Ready());

    TSerComm c;
    ConfigureAsDialog(c, 1);
    std::string received;
    int batches = 0;
    c.OnRxFlag = [&](TSerCustomComm& s) {
        ++batches;
        received += s.ReadText();
    };
    c.Open();
    ASSERT_TRUE(c.Active());
    ASSERT_TRUE(PumpUntil([&] { return received.find("\r\n$") != std::string::npos; }, 10s)) << received;

    sim.Kill(SIGKILL); // the instrument is unplugged in the middle of its stream
    PumpFor(500ms);
    const size_t afterUnplug = received.size();
    const int batchesAfterUnplug = batches;
    PumpFor(700ms);
    EXPECT_EQ(received.size(), afterUnplug) << "bytes still arrive from a device that is gone";
    EXPECT_EQ(batches, batchesAfterUnplug);
    // Status reads fail as they do on Windows once a USB serial device is gone.
    EXPECT_EQ(CommErrorOf([&] { c.ReadText(); }),
              "Error retrieving statistics (31), A device attached to the system is not functioning");

    // Close returns and the port can be used no more; nothing hangs.
    TSerComm* port = &c;
    ASSERT_TRUE(Returns([port] { port->Close(); }, 20s)) << "Close hangs after the device went away";
    EXPECT_FALSE(c.Active());
}

TEST(SerCommUnplug, ListedPortGoneOrHeldWhenOpenedGivesErrorsTwoAndFive)
{
    TempDir dir;
    Simulator sim(dir, {"COM1:4800:" + kLog, "COM2:silent"});
    ASSERT_TRUE(sim.Ready());
    std::vector<platform::Text> names;
    GetComPortNames(names);
    ASSERT_EQ(names, (std::vector<platform::Text>{u"COM1", u"COM2"}));

    // COM2 is held by another process.
    int toChild[2], fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        TSerComm h;
        h.SetPortNum(2);
        h.SetMonitorEvents({});
        char ok = 'n';
        try {
            h.Open();
            ok = h.Active() ? 'y' : 'n';
        } catch (...) {
        }
        (void)!::write(fromChild[1], &ok, 1);
        char b = 0;
        (void)!::read(toChild[0], &b, 1);
        ::_exit(0);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    char held = 0;
    ASSERT_EQ(::read(fromChild[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');

    {
        AbsorbingComm c;
        ConfigureAsDialog(c, 2);
        EXPECT_NO_THROW(c.Open());
        EXPECT_FALSE(c.Active());
        ASSERT_EQ(c.codes, std::vector<int>{5});
        EXPECT_EQ(c.texts[0], "Access is denied");
    }
    {
        TSerComm c;
        ConfigureAsDialog(c, 2);
        EXPECT_EQ(CommErrorOf([&] { c.Open(); }), "Can't open specified device \\\\.\\COM2 (Error 5, Access is denied)");
    }
    ::close(toChild[1]);
    int status = 0;
    ::waitpid(holder, &status, 0);
    ::close(fromChild[0]);

    // The simulator goes away after the listing: its device nodes vanish before COM1 is opened.
    sim.Kill(SIGKILL);
    {
        AbsorbingComm c;
        ConfigureAsDialog(c, 1);
        EXPECT_NO_THROW(c.Open());
        EXPECT_FALSE(c.Active());
        ASSERT_EQ(c.codes, std::vector<int>{2});
        EXPECT_EQ(c.texts[0], "The system cannot find the file specified");
    }
    {
        TSerComm c;
        ConfigureAsDialog(c, 1);
        EXPECT_EQ(CommErrorOf([&] { c.Open(); }), "Specified device not found (\\\\.\\COM1).");
        EXPECT_FALSE(c.Active());
    }
}
