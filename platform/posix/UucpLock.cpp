#include "platform/posix/UucpLock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

enum class Owner { none, live, self, stale };

// Reads the process id of a lock file: ten ASCII digits and a newline (HDB UUCP), or a binary int as
// older programs wrote it.
Owner OwnerOf(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Owner::none : Owner::live; // unreadable: assume someone holds it
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    struct stat st {};
    const bool statOk = ::fstat(fd, &st) == 0;
    ::close(fd);
    long pid = 0;
    if (n == static_cast<ssize_t>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, buf, sizeof binary);
        pid = binary;
    }
    if (n > 0 && n != static_cast<ssize_t>(sizeof(int))) {
        buf[n] = '\0';
        char* end = nullptr;
        pid = std::strtol(buf, &end, 10);
        if (end == buf)
            pid = 0;
    }
    if (pid <= 0) {
        // Empty or unreadable content: a program may be writing it just now; only an old one is stale.
        const bool young = statOk && std::time(nullptr) - st.st_mtime < 2;
        return young ? Owner::live : Owner::stale;
    }
    if (pid == ::getpid())
        return Owner::self;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
        return Owner::live;
    return Owner::stale;
}

} // namespace

std::string UucpLock::FileName(const std::string& node)
{
    std::string rel = node;
    if (rel.rfind("/dev/", 0) == 0)
        rel.erase(0, 5);
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    for (char& c : rel)
        if (c == '/')
            c = '_';
    return "LCK.." + rel;
}

std::vector<std::string> UucpLock::Folders()
{
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("SONDRAL_LOCK_DIRS"); env != nullptr) {
        std::string list = env;
        size_t start = 0;
        while (start <= list.size()) {
            const size_t end = std::min(list.find(':', start), list.size());
            if (end > start)
                candidates.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    } else {
        candidates = {"/var/lock", "/run/lock"};
    }
    std::vector<std::string> folders;
    std::vector<std::filesystem::path> seen;
    for (const std::string& c : candidates) {
        std::error_code ec;
        const auto real = std::filesystem::canonical(c, ec);
        if (ec || !std::filesystem::is_directory(real, ec))
            continue;
        bool dup = false;
        for (const auto& s : seen)
            dup |= s == real;
        if (!dup) {
            seen.push_back(real);
            folders.push_back(real.string());
        }
    }
    return folders;
}

bool UucpLock::HeldByOther(const std::string& node)
{
    const std::string name = FileName(node);
    for (const std::string& folder : Folders()) {
        const std::string path = folder + "/" + name;
        switch (OwnerOf(path)) {
        case Owner::live: return true;
        case Owner::stale: (void)::unlink(path.c_str()); break;
        case Owner::none:
        case Owner::self: break;
        }
    }
    return false;
}

UucpLock UucpLock::Take(const std::string& node, bool& taken)
{
    taken = true;
    const std::string name = FileName(node);
    char content[16];
    std::snprintf(content, sizeof content, "%10ld\n", static_cast<long>(::getpid()));
    for (const std::string& folder : Folders()) {
        if (::access(folder.c_str(), W_OK) != 0)
            continue;
        const std::string path = folder + "/" + name;
        // Written under a private name and linked into place, so that nobody ever reads a half-written file.
        char temp[4096];
        std::snprintf(temp, sizeof temp, "%s/LTMP.%ld.%s", folder.c_str(), static_cast<long>(::getpid()),
                      name.c_str() + 5);
        const int fd = ::open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0)
            continue;
        const bool written = ::write(fd, content, 11) == 11;
        ::close(fd);
        if (!written) {
            ::unlink(temp);
            continue;
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (::link(temp, path.c_str()) == 0) {
                ::unlink(temp);
                return UucpLock(path);
            }
            if (errno != EEXIST)
                break;
            const Owner owner = OwnerOf(path);
            if (owner == Owner::live) {
                ::unlink(temp);
                taken = false;
                return UucpLock();
            }
            (void)::unlink(path.c_str()); // stale, or left by an earlier run that had our process id
        }
        ::unlink(temp);
    }
    return UucpLock();
}

UucpLock::~UucpLock()
{
    if (!path_.empty() && OwnerOf(path_) == Owner::self)
        (void)::unlink(path_.c_str());
}

UucpLock::UucpLock(UucpLock&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept
{
    if (this != &other) {
        if (!path_.empty() && OwnerOf(path_) == Owner::self)
            (void)::unlink(path_.c_str());
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

} // namespace platform
