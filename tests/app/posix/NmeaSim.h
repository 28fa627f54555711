// The instrument simulator on pseudo-terminals, run as a process by the dialog's POSIX tests.
#pragma once

#include "../DialogTestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace dialogtest {

// Ends a helper process this test started (SIGTERM) and reaps it; pid 0 is no process.
inline void EndChild(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// The instrument simulator on pseudo-terminals, one port per argument (COMn:RATE:LOGFILE or COMn:silent);
// its device map file is ready when the constructor returns.
class NmeaSim {
public:
    NmeaSim(const TempFolder& folder, const std::vector<std::string>& ports) : map_(folder / "com.map")
    {
        std::vector<std::string> store{Program(), "--map", map_};
        store.insert(store.end(), ports.begin(), ports.end());
        std::vector<char*> argv;
        for (std::string& a : store)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        // The simulator's output goes nowhere, so that it never holds the test's own output open.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid_, store[0].c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = 0;
            ADD_FAILURE() << "cannot start " << store[0];
            return;
        }
        for (int k = 0; k < 2000 && !Ready(ports.size()); ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(Ready(ports.size())) << "no device map from nmea-sim";
    }
    ~NmeaSim() { EndChild(pid_); }
    NmeaSim(const NmeaSim&) = delete;
    NmeaSim& operator=(const NmeaSim&) = delete;

    const std::string& MapFile() const { return map_; }
    // The device node the map gives a port name.
    std::string Device(const std::string& name) const
    {
        std::ifstream in(map_);
        for (std::string line; std::getline(in, line);)
            if (line.rfind(name + "=", 0) == 0)
                return line.substr(name.size() + 1);
        return {};
    }
    static std::string Program() { return std::string(SONDRAL_BINARY_DIR) + "/tools/nmea-sim"; }

private:
    bool Ready(std::size_t ports) const
    {
        std::ifstream in(map_);
        std::size_t lines = 0;
        for (std::string line; std::getline(in, line);)
            if (line.find('=') != std::string::npos)
                ++lines;
        return lines >= ports;
    }
    std::string map_;
    pid_t pid_ = 0;
};

} // namespace dialogtest
