#include "platform/IniFileStorage.h"

#include "platform/IniFile.h"
#include "platform/TemporaryFiles.h"
#include "platform/posix/TemporaryFileCreate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::detail {
namespace {

} // namespace

FileRead ReadWholeFile(const std::string& path, std::string& out)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
    int err = 0;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return err == 0 ? FileRead::Read : FileRead::Failed;
}

namespace {

bool WriteAllFd(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

// A temporary file in the same folder is written, flushed to disk, given the old file's permissions and
// renamed over the old file. Temporary files that killed writers left behind are removed first.
void ReplaceFileAtomically(const std::string& reportedPath, const std::string& target, const std::string& content)
{
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    // A file without any write permission is read-only for every user: root's access check would pass,
    // but a file marked read-only is never replaced.
    if (existed && (::access(target.c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0))
        throw EIniFileException(reportedPath);

    RemoveAbandonedTemporaryFiles(target);
    std::string temp;
    const int fd = CreateTemporaryFile(target, temp);
    if (fd < 0)
        throw EIniFileException(reportedPath);

    bool ok = true;
    if (existed) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Another owner cannot be kept by an unprivileged process; the permission bits still are.
        }
    }
    ok = ok && WriteAllFd(fd, content) && ::fsync(fd) == 0;
    // The temporary file stays locked (open) until it has its final name, so that no other writer takes it
    // for abandoned.
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    ::close(fd); // after a successful fsync nothing is left for close to report
    if (!ok)
        throw EIniFileException(reportedPath);
    // Make the rename itself durable; a failure here leaves a complete file either way.
    (void)FlushFolderOf(target);
}

std::string LinkTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved) {
            std::string target = resolved;
            std::free(resolved);
            return target;
        }
    }
    return path;
}

} // namespace platform::detail
