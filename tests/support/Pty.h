// Real pseudo-terminals standing in for instruments on serial ports (POSIX only), and the device-map file
// (SONDRAL_COM_MAP) that publishes them as COM ports.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace test_support {

// The master side of a pseudo-terminal (non-blocking); the slave is what the driver opens.
class Pty {
public:
    Pty()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0 || ::fcntl(master_, F_SETFL, O_RDWR | O_NONBLOCK) != 0) {
            if (master_ >= 0)
                ::close(master_);
            throw std::runtime_error("no pseudo-terminal");
        }
        slave_ = name;
    }
    ~Pty()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Master() const { return master_; }
    const std::string& Slave() const { return slave_; }

    // Sends all bytes, waiting while the terminal's buffer is full.
    void Send(std::string_view bytes) const
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{master_, POLLOUT, 0};
                ::poll(&p, 1, 10);
            } else {
                throw std::runtime_error("write to the pseudo-terminal failed");
            }
        }
    }

    // What the port has sent, until want bytes arrived or the time-out passed.
    std::string Receive(size_t want, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const
    {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        char buf[4096];
        while (out.size() < want) {
            const ssize_t n = ::read(master_, buf, std::min(sizeof buf, want - out.size()));
            if (n > 0) {
                out.append(buf, static_cast<size_t>(n));
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        }
        return out;
    }

    // Discards whatever the port has sent so far.
    void Drain() const
    {
        char buf[4096];
        while (::read(master_, buf, sizeof buf) > 0) {
        }
    }

    // The instrument goes away: the slave side hangs up.
    void CloseMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// The lines "NAME=node" of a device-map file.
inline std::string ComMapText(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string text = "# ports of this test\n\n";
    for (const auto& [name, node] : entries)
        text += name + '=' + node + '\n';
    return text;
}

// Writes the map file com.map into folder and points SONDRAL_COM_MAP at it; returns the file.
inline std::string WriteComMap(const std::string& folder, const std::string& text)
{
    const std::string file = folder + "/com.map";
    std::ofstream(file, std::ios::trunc) << text;
    ::setenv("SONDRAL_COM_MAP", file.c_str(), 1);
    return file;
}

} // namespace test_support
