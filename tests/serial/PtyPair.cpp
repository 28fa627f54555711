// Kept apart from <termios.h>: the master's line settings are read with termios2.
#include "PtyPair.h"

#include "platform/Thread.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace serial_test {

namespace {
// The test program's main thread is the one that runs the static initialisers.
const bool kMainThreadSet = (platform::SetMainThread(), true);
} // namespace

PtyPair::PtyPair()
{
    (void)kMainThreadSet;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("posix_openpt failed");
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("ptsname failed");
    slave_ = name;
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    if (master_ >= 0)
        close(master_);
}

void PtyPair::Write(const std::string& bytes) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 10);
        } else {
            throw std::runtime_error("write to pty master failed");
        }
    }
}

std::string PtyPair::Read(size_t want, std::chrono::milliseconds timeout) const
{
    std::string out;
    const auto end = std::chrono::steady_clock::now() + timeout;
    char buf[4096];
    while (out.size() < want && std::chrono::steady_clock::now() < end) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
            continue;
        }
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, 5);
    }
    return out;
}

void PtyPair::Drain() const
{
    char buf[4096];
    while (::read(master_, buf, sizeof buf) > 0) {
    }
}

PtyPair::Line PtyPair::Settings() const
{
    termios2 t{};
    if (ioctl(master_, TCGETS2, &t) != 0)
        throw std::runtime_error("TCGETS2 failed");
    Line line;
    line.ispeed = t.c_ispeed;
    line.ospeed = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
    }
    line.parity = (t.c_cflag & PARENB) != 0;
    line.oddParity = (t.c_cflag & PARODD) != 0;
    line.twoStopBits = (t.c_cflag & CSTOPB) != 0;
    return line;
}

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "sondral-serial-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string WriteComMap(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& entries)
{
    const std::string file = dir.Path() + "/com.map";
    {
        std::ofstream out(file, std::ios::trunc);
        out << "# ports of this test\n\n";
        for (const auto& [name, node] : entries)
            out << name << '=' << node << '\n';
    }
    setenv("SONDRAL_COM_MAP", file.c_str(), 1);
    return file;
}

bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        platform::CheckSynchronize();
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PumpFor(std::chrono::milliseconds time)
{
    PumpUntil([] { return false; }, time);
}

} // namespace serial_test
