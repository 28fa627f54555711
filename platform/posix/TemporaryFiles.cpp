#include "platform/TemporaryFiles.h"

#include "platform/posix/TemporaryFileCreate.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <memory>
#include <string_view>

namespace platform {
namespace {

constexpr time_t kYoungSeconds = 60;

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

std::string TemporaryFileName(const std::string& file)
{
    static std::atomic<unsigned> counter{0};
    return file + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

int CreateTemporaryFile(const std::string& file, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryFileName(file);
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue; // left by an earlier process of the same number
            return -1;
        }
        // Nobody else holds the new file, so the lock is granted at once.
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int err = errno;
                ::unlink(name.c_str());
                ::close(fd);
                errno = err;
                return -1;
            }
        }
        return fd;
    }
    errno = EEXIST;
    return -1;
}

void RemoveAbandonedTemporaryFiles(const std::string& file)
{
    const std::string folder = FolderOf(file);
    const std::string prefix = NameOf(file) + ".tmp";
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir.get());
    while (const dirent* e = ::readdir(dir.get())) {
        const auto writer = static_cast<pid_t>(detail::TemporaryFileWriter(e->d_name, prefix));
        if (writer <= 0)
            continue;
        const Descriptor fd(::openat(dirFd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // its writer is at work
        if (ProcessRuns(writer) && std::time(nullptr) - st.st_mtime < kYoungSeconds)
            continue;
        // Holding the lock, no writer can take the file up again; the name is removed only while it is still
        // this file.
        struct stat now {};
        if (::fstatat(dirFd, e->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == st.st_ino &&
            now.st_dev == st.st_dev)
            ::unlinkat(dirFd, e->d_name, 0);
    }
}

DWORD FlushFolderOf(const std::string& path)
{
    const Descriptor dir(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || ::fsync(dir.get()) != 0)
        return ErrnoToWinError(errno);
    return ERROR_SUCCESS;
}

} // namespace platform
