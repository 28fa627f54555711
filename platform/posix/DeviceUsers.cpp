#include "platform/posix/DeviceUsers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

struct Dir {
    DIR* d;
    explicit Dir(DIR* dir) : d(dir) {}
    ~Dir()
    {
        if (d != nullptr)
            ::closedir(d);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
};

bool IsNumber(const char* s)
{
    if (*s == '\0')
        return false;
    for (; *s != '\0'; ++s)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

// Whether one process's descriptor table holds the device.
bool ProcessHolds(int procFd, const char* pid, dev_t device)
{
    char path[64];
    std::snprintf(path, sizeof path, "%s/fd", pid);
    const int fdDir = ::openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDir < 0)
        return false; // gone, or not ours to read
    Dir fds(::fdopendir(fdDir));
    if (fds.d == nullptr) {
        ::close(fdDir);
        return false;
    }
    while (const dirent* e = ::readdir(fds.d)) {
        if (!IsNumber(e->d_name))
            continue;
        // The link text is cheap to read; only descriptors of device files are worth a stat.
        char target[256];
        const ssize_t n = ::readlinkat(fdDir, e->d_name, target, sizeof target - 1);
        if (n < 5 || std::strncmp(target, "/dev/", 5) != 0)
            continue;
        struct stat st {};
        if (::fstatat(fdDir, e->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device)
            return true;
    }
    return false;
}

} // namespace

bool OpenedByAnotherProcess(const std::string& node)
{
    struct stat target {};
    if (::stat(node.c_str(), &target) != 0 || !S_ISCHR(target.st_mode))
        return false;
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0)
        return false;
    Dir proc(::fdopendir(procFd));
    if (proc.d == nullptr) {
        ::close(procFd);
        return false;
    }
    char self[32];
    std::snprintf(self, sizeof self, "%ld", static_cast<long>(::getpid()));
    while (const dirent* e = ::readdir(proc.d)) {
        if (!IsNumber(e->d_name) || std::strcmp(e->d_name, self) == 0)
            continue;
        if (ProcessHolds(procFd, e->d_name, target.st_rdev))
            return true;
    }
    return false;
}

} // namespace platform
