#include "PtyFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace testing_pty {

Pty::Pty()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slave_ = name;
}

Pty::~Pty()
{
    if (master_ >= 0)
        ::close(master_);
}

void Pty::CloseMaster()
{
    ::close(master_);
    master_ = -1;
}

void Pty::Send(std::string_view bytes) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<size_t>(n);
    }
}

std::string Pty::Receive(size_t n, int timeoutMs) const
{
    std::string got;
    char buf[4096];
    while (got.size() < n) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || (p.revents & POLLIN) == 0)
            break;
        const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - got.size()));
        if (r <= 0)
            break;
        got.append(buf, static_cast<size_t>(r));
    }
    return got;
}

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/sondral-test-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr)
        throw std::runtime_error("no temporary folder");
    path_ = templ;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

MapFile::MapFile(const std::vector<std::pair<std::string, std::string>>& entries)
{
    path_ = dir_.Path() + "/com.map";
    std::ofstream out(path_);
    for (const auto& [name, node] : entries)
        out << name << '=' << node << '\n';
    out.close();
    ::setenv("SONDRAL_COM_MAP", path_.c_str(), 1);
}

MapFile::MapFile(const std::string& text)
{
    path_ = dir_.Path() + "/com.map";
    std::ofstream(path_) << text;
    ::setenv("SONDRAL_COM_MAP", path_.c_str(), 1);
}

MapFile::~MapFile() { ::unsetenv("SONDRAL_COM_MAP"); }

std::u16string U16(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

} // namespace testing_pty
