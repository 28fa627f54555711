// nmea-sim: simulated NMEA instruments on pseudo-terminals, with the device map that lets the program
// open them as COM ports (SONDRAL_COM_MAP).
#include "platform/Comm.h"
#include "platform/posix/SerialLine.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace {

const char* const kUsage =
    "usage: nmea-sim --map FILE INSTRUMENT...\n"
    "\n"
    "Simulates serial instruments on pseudo-terminals. INSTRUMENT is one of\n"
    "  COMn:RATE:LOGFILE  port COMn sends the sentences of LOGFILE (lines starting with '#' and blank\n"
    "                     lines skipped, each sentence ended by CR LF) in a loop, paced as a line at\n"
    "                     RATE bit/s carries them (10 bits per byte)\n"
    "  COMn:silent        port COMn with nothing attached: it never sends\n"
    "\n"
    "When every port is ready, FILE is written (atomically) with one line COMn=/dev/pts/N per instrument:\n"
    "the device map for SONDRAL_COM_MAP. The simulator runs until SIGINT or SIGTERM and removes FILE.\n"
    "\n"
    "A port sends only while a program has it open. While that program has set a rate other than RATE,\n"
    "the port sends random bytes at the rate set instead, as a UART receiving at the wrong speed would.\n"
    "Bytes the program writes are read and discarded. A new port starts at 9600 bit/s, 8N1, raw.\n"
    "\n"
    "Exit status: 0 after a signal, 2 for a usage error, 1 when a port or FILE cannot be set up.\n";

struct Instrument {
    std::string name;
    uint32_t rate = 0;
    bool silent = false;
    std::string stream; // the log's sentences, each ended by CR LF
    int master = -1;
    std::string slave;
};

std::atomic<bool> stopping{false};

bool ParseRate(const std::string& text, uint32_t& rate)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    rate = static_cast<uint32_t>(std::stoul(text));
    return rate > 0;
}

bool ValidPortName(const std::string& name)
{
    return name.size() > 3 && name.size() < 14 && name.compare(0, 3, "COM") == 0 &&
           name.find_first_not_of("0123456789", 3) == std::string::npos;
}

bool LoadLog(const std::string& path, std::string& stream)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        stream += line;
        stream += "\r\n";
    }
    return true;
}

bool OpenPty(Instrument& inst)
{
    inst.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (inst.master < 0 || ::grantpt(inst.master) != 0 || ::unlockpt(inst.master) != 0)
        return false;
    char name[128];
    if (::ptsname_r(inst.master, name, sizeof name) != 0)
        return false;
    inst.slave = name;
    // Open the slave once: it starts as a fresh serial line would, and after this close the master sees a
    // hang-up until a program opens the port.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return false;
    platform::DCB dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    const int err = platform::serial_line::Configure(slave, dcb);
    ::close(slave);
    return err == 0;
}

bool WriteMap(const std::string& file, const std::vector<Instrument>& instruments)
{
    const std::string temp = file + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::string text;
    for (const Instrument& inst : instruments)
        text += inst.name + "=" + inst.slave + "\n";
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), file.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

void Drain(int fd)
{
    char buf[4096];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

void RunInstrument(const Instrument& inst)
{
    using Clock = std::chrono::steady_clock;
    std::mt19937 random(std::random_device{}());
    std::vector<char> out;
    size_t pos = 0;
    double budget = 0; // bytes the line could have carried and we have not sent yet
    bool connected = false;
    Clock::time_point last = Clock::now();
    while (!stopping) {
        pollfd p{inst.master, POLLIN, 0};
        const int ready = ::poll(&p, 1, 10);
        if (ready < 0 && errno != EINTR)
            break;
        if ((p.revents & POLLHUP) != 0) {
            // Nobody has the port open: send nothing, so that no stale bytes wait for the next program.
            connected = false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if ((p.revents & POLLIN) != 0)
            Drain(inst.master);
        const auto now = Clock::now();
        if (!connected) {
            connected = true;
            last = now;
            budget = 0;
            continue;
        }
        if (inst.silent)
            continue;
        uint32_t setRate = 0;
        if (platform::serial_line::OutputRate(inst.master, setRate) != 0 || setRate == 0) {
            last = now;
            continue;
        }
        const double bytesPerSecond = setRate / 10.0;
        budget += std::chrono::duration<double>(now - last).count() * bytesPerSecond;
        last = now;
        budget = std::min(budget, bytesPerSecond * 0.25 + 1); // never burst after a stall
        const auto n = static_cast<size_t>(budget);
        if (n == 0)
            continue;
        out.resize(n);
        const bool matching = setRate == inst.rate;
        for (size_t i = 0; i < n; ++i)
            out[i] = matching ? inst.stream[(pos + i) % inst.stream.size()] : static_cast<char>(random() & 0xFF);
        const ssize_t written = ::write(inst.master, out.data(), n);
        if (written < 0) {
            budget = 0; // the program does not read: the line's bytes are lost, as on a real line
            continue;
        }
        if (matching)
            pos = (pos + static_cast<size_t>(written)) % inst.stream.size();
        budget -= static_cast<double>(n);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string mapFile;
    std::vector<Instrument> instruments;
    std::set<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--map") {
            if (i + 1 >= argc) {
                std::fputs("nmea-sim: --map needs a FILE\n", stderr);
                return 2;
            }
            mapFile = argv[++i];
            continue;
        }
        Instrument inst;
        const size_t c1 = arg.find(':');
        inst.name = arg.substr(0, c1);
        const std::string rest = c1 == std::string::npos ? "" : arg.substr(c1 + 1);
        const size_t c2 = rest.find(':');
        bool ok = c1 != std::string::npos && ValidPortName(inst.name);
        if (ok && rest == "silent") {
            inst.silent = true;
        } else if (ok && c2 != std::string::npos && ParseRate(rest.substr(0, c2), inst.rate)) {
            const std::string log = rest.substr(c2 + 1);
            if (!LoadLog(log, inst.stream)) {
                std::fprintf(stderr, "nmea-sim: cannot read %s\n", log.c_str());
                return 2;
            }
            if (inst.stream.empty()) {
                std::fprintf(stderr, "nmea-sim: %s holds no sentences\n", log.c_str());
                return 2;
            }
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "nmea-sim: bad instrument '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        }
        if (!names.insert(inst.name).second) {
            std::fprintf(stderr, "nmea-sim: %s given twice\n", inst.name.c_str());
            return 2;
        }
        instruments.push_back(std::move(inst));
    }
    if (mapFile.empty() || instruments.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // Signals are taken by sigwait on the main thread only.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    for (Instrument& inst : instruments) {
        if (!OpenPty(inst)) {
            std::fprintf(stderr, "nmea-sim: cannot set up a pseudo-terminal for %s: %s\n", inst.name.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::vector<std::thread> threads;
    for (const Instrument& inst : instruments)
        threads.emplace_back(RunInstrument, std::cref(inst));
    int status = 0;
    if (!WriteMap(mapFile, instruments)) {
        std::fprintf(stderr, "nmea-sim: cannot write %s: %s\n", mapFile.c_str(), std::strerror(errno));
        status = 1;
    } else {
        for (const Instrument& inst : instruments) {
            if (inst.silent)
                std::fprintf(stderr, "nmea-sim: %s = %s, silent\n", inst.name.c_str(), inst.slave.c_str());
            else
                std::fprintf(stderr, "nmea-sim: %s = %s, %u bit/s\n", inst.name.c_str(), inst.slave.c_str(),
                             inst.rate);
        }
        int sig = 0;
        sigwait(&signals, &sig);
        ::unlink(mapFile.c_str());
    }
    stopping = true;
    for (std::thread& t : threads)
        t.join();
    for (const Instrument& inst : instruments)
        ::close(inst.master);
    return status;
}
