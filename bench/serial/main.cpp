// Serial component figures on a pseudo-terminal pair: line-feed-to-handler latency through Synchronize,
// the cost of ReadChar per byte, and the CPU used while a 57600-baud stream is received.
#include "platform/Handles.h"
#include "platform/Thread.h"
#include "serial/SerComm.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace serial;
using Clock = std::chrono::steady_clock;

namespace {

struct Pty {
    int master = -1;
    std::string slave;
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            std::perror("posix_openpt");
            std::exit(1);
        }
        char name[128] = {};
        ptsname_r(master, name, sizeof name);
        slave = name;
    }
    ~Pty() { close(master); }
    void Write(const std::string& s) const
    {
        size_t done = 0;
        while (done < s.size()) {
            const ssize_t n = ::write(master, s.data() + done, s.size() - done);
            if (n > 0)
                done += static_cast<size_t>(n);
            else if (errno != EINTR && errno != EAGAIN)
                return;
        }
    }
};

// Wakes the main loop when a Synchronize call was queued.
struct MainLoop {
    platform::HANDLE wake = platform::CreateEventW(false, false);
    MainLoop()
    {
        platform::SetMainThread();
        const platform::HANDLE h = wake;
        platform::SetSynchronizeWakeUp([h] { platform::SetEvent(h); });
    }
    ~MainLoop()
    {
        platform::SetSynchronizeWakeUp(nullptr);
        platform::CloseHandle(wake);
    }
    // Runs queued calls until pred holds (or the time-out passes).
    template <class Pred>
    bool RunUntil(Pred pred, std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        // As a message loop does: sleep until a call is queued (or the time is up), not in short polls
        // whose wake-ups would be counted as the component's CPU time.
        while (!pred()) {
            const auto now = Clock::now();
            if (now >= end)
                return false;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
            platform::WaitForSingleObject(wake, static_cast<platform::DWORD>(left));
            platform::CheckSynchronize();
        }
        return true;
    }
};

double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Configure(TSerComm& c, int rate)
{
    c.SetPortNum(1);
    c.EventChars().SetEventChar('\n');
    c.EventChars().SetEofChar('\n');
    c.SetMonitorEvents({TSerCommEvent::ceRxFlag});
    c.SetWritePriority(TThreadPriority::tpLowest);
    c.SetUserBaudrate(rate);
}

const std::string kSentence = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";

void Latency(const Pty& pty, MainLoop& loop)
{
    TSerComm c;
    Configure(c, 57600);
    Clock::time_point handled;
    int calls = 0;
    size_t bytes = 0;
    c.OnRxFlag = [&](TSerCustomComm& s) {
        const int n = s.ReadBufUsed();
        for (int i = 0; i < n; ++i) {
            char ch;
            if (s.ReadChar(ch))
                ++bytes;
        }
        handled = Clock::now();
        ++calls;
    };
    c.Open();
    constexpr int kSentences = 1000;
    std::vector<double> us;
    us.reserve(kSentences);
    for (int i = 0; i < kSentences; ++i) {
        const int before = calls;
        const auto start = Clock::now();
        pty.Write(kSentence);
        if (!loop.RunUntil([&] { return calls > before; }, std::chrono::milliseconds(2000))) {
            std::printf("sentence %d: no OnRxFlag\n", i);
            continue;
        }
        us.push_back(std::chrono::duration<double, std::micro>(handled - start).count());
    }
    c.Close();
    std::sort(us.begin(), us.end());
    if (us.empty())
        return;
    const double median = us[us.size() / 2];
    const double p99 = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    std::printf("LF to OnRxFlag on the main thread: %zu sentences, median %.1f us, p99 %.1f us, max %.1f us"
                " (target: median <= 100 us, p99 <= 1000 us)\n",
                us.size(), median, p99, us.back());
    std::printf("  bytes read in the handler: %zu of %zu\n", bytes, us.size() * kSentence.size());
}

void ReadCharCost(const Pty& pty)
{
    TSerComm c;
    Configure(c, 57600);
    c.SetMonitorEvents({});
    c.Open();
    constexpr int kBlock = 4000;
    constexpr int kRounds = 25;
    const std::string block(kBlock, 'x');
    double seconds = 0;
    long total = 0;
    for (int r = 0; r < kRounds; ++r) {
        pty.Write(block);
        for (int i = 0; i < 2000 && c.ReadBufUsed() < kBlock; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto start = Clock::now();
        char ch;
        int got = 0;
        while (c.ReadChar(ch))
            ++got;
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        total += got;
    }
    c.Close();
    std::printf("ReadChar: %ld bytes, %.3f us per byte (target: <= 0.2 us)\n", total, seconds * 1e6 / static_cast<double>(total));
}

void StreamCpu(const Pty& pty, MainLoop& loop)
{
    TSerComm c;
    Configure(c, 57600);
    size_t bytes = 0;
    c.OnRxFlag = [&](TSerCustomComm& s) {
        const int n = s.ReadBufUsed();
        for (int i = 0; i < n; ++i) {
            char ch;
            if (s.ReadChar(ch))
                ++bytes;
        }
    };
    c.Open();
    std::atomic<bool> stop{false};
    double writerCpu = 0;
    // 57600 baud, 10 bits per byte: 5760 bytes per second, written sentence by sentence at that pace.
    std::thread writer([&] {
        const double perByte = 1.0 / 5760.0;
        const auto start = Clock::now();
        size_t sent = 0;
        while (!stop) {
            pty.Write(kSentence);
            sent += kSentence.size();
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>(static_cast<double>(sent) * perByte)));
        }
        writerCpu = CpuSeconds(RUSAGE_THREAD);
    });
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(500)); // settle
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const size_t bytes0 = bytes;
    const auto t0 = Clock::now();
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(5000));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu1 = CpuSeconds(RUSAGE_SELF);
    const size_t received = bytes - bytes0;
    stop = true;
    writer.join();
    c.Close();
    // The writer stands for the instrument; its share (over its whole run, about wall + 0.5 s) is removed.
    const double writerShare = writerCpu * wall / (wall + 0.5);
    const double percent = (cpu1 - cpu0 - writerShare) / wall * 100.0;
    std::printf("57600-baud stream: %zu bytes in %.2f s (%.0f bytes/s), component CPU %.2f %% of one core"
                " (target: <= 1 %%)\n",
                received, wall, static_cast<double>(received) / wall, percent);
}

} // namespace

int main()
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("sondral-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    Pty pty;
    const std::string map = (dir / "com.map").string();
    std::ofstream(map) << "COM1=" << pty.slave << "\n";
    setenv("SONDRAL_COM_MAP", map.c_str(), 1);
    MainLoop loop;

    Latency(pty, loop);
    ReadCharCost(pty);
    StreamCpu(pty, loop);

    std::filesystem::remove_all(dir);
    return 0;
}
