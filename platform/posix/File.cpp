#include "platform/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>

namespace platform {
namespace {

DWORD fail(int err) { return SetLastErrorFromErrno(err); }
DWORD fail(DWORD code)
{
    SetLastError(code);
    return code;
}

constexpr uint64_t MaxLockEnd = uint64_t(std::numeric_limits<int64_t>::max()); // last lockable byte

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

} // namespace

DWORD GetFileAttributes(const std::string& path, FileAttributes& attributes)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail(errno);
    attributes.Directory = S_ISDIR(st.st_mode);
    attributes.Size = static_cast<uint64_t>(st.st_size);
    attributes.ReadOnly = ::access(path.c_str(), W_OK) != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return ERROR_SUCCESS;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

DWORD DeleteFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        return fail(errno);
    return ERROR_SUCCESS;
}

DWORD RenameFile(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return fail(errno);
    return ERROR_SUCCESS;
}

DWORD SetFileReadOnly(const std::string& path, bool readOnly)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail(errno);
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (::chmod(path.c_str(), mode) != 0)
        return fail(errno);
    return ERROR_SUCCESS;
}

DWORD ListDirectory(const std::string& directory, std::vector<std::string>& names)
{
    names.clear();
    std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir)
        return fail(errno);
    std::string base = directory;
    if (!base.empty() && base.back() != PathDelimiter)
        base += PathDelimiter;
    while (dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st {};
            regular = ::stat((base + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            names.push_back(name);
    }
    return ERROR_SUCCESS;
}

std::string TempDirectory()
{
    const char* env = std::getenv("TMPDIR");
    std::string dir = env != nullptr && *env != '\0' ? env : "/tmp";
    if (dir.back() != PathDelimiter)
        dir += PathDelimiter;
    return dir;
}

std::string CurrentDirectory()
{
    std::string dir;
    std::vector<char> buf(4096);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE)
            return "/";
        buf.resize(buf.size() * 2);
    }
    dir = buf.data();
    if (dir.empty() || dir.back() != PathDelimiter)
        dir += PathDelimiter;
    return dir;
}

DWORD File::Open(const std::string& path, FileAccess access, FileShare share, FileDisposition disposition)
{
    Close();
    int flags = O_CLOEXEC | (access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY);
    if (disposition == FileDisposition::CreateAlways)
        flags |= O_CREAT; // truncated only once the share mode is granted
    else if (disposition == FileDisposition::CreateNew)
        flags |= O_CREAT | O_EXCL;
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(DWORD(ERROR_ACCESS_DENIED));
    }
    const int op = (share == FileShare::None ? LOCK_EX : LOCK_SH) | LOCK_NB;
    while (::flock(fd, op) != 0) {
        const int err = errno;
        if (err == EINTR)
            continue;
        ::close(fd);
        return fail(err == EWOULDBLOCK ? DWORD(ERROR_SHARING_VIOLATION) : ErrnoToWinError(err));
    }
    if (disposition == FileDisposition::CreateAlways && ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(err);
    }
    fd_ = fd;
    writable_ = access == FileAccess::ReadWrite;
    position_ = 0;
    path_ = path;
    return ERROR_SUCCESS;
}

void File::Close()
{
    if (fd_ < 0)
        return;
    {
        std::lock_guard<std::mutex> guard(locksLock_);
        locks_.clear(); // closing the description releases its locks
    }
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
    ::close(fd_);
    fd_ = -1;
    writable_ = false;
    position_ = 0;
}

DWORD File::Seek(uint64_t position)
{
    if (fd_ < 0)
        return fail(DWORD(ERROR_INVALID_HANDLE));
    if (position > MaxLockEnd)
        return fail(DWORD(ERROR_INVALID_PARAMETER));
    position_ = position;
    return ERROR_SUCCESS;
}

DWORD File::ReadAt(uint64_t offset, void* buffer, std::size_t size, std::size_t& done)
{
    done = 0;
    if (fd_ < 0)
        return fail(DWORD(ERROR_INVALID_HANDLE));
    auto* p = static_cast<char*>(buffer);
    while (done < size) {
        const ssize_t n = ::pread(fd_, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return ERROR_SUCCESS;
}

DWORD File::WriteAt(uint64_t offset, const void* buffer, std::size_t size)
{
    if (fd_ < 0)
        return fail(DWORD(ERROR_INVALID_HANDLE));
    if (!writable_)
        return fail(DWORD(ERROR_ACCESS_DENIED));
    const auto* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return ERROR_SUCCESS;
}

DWORD File::Flush()
{
    if (fd_ < 0)
        return fail(DWORD(ERROR_INVALID_HANDLE));
    if (writable_ && ::fsync(fd_) != 0)
        return fail(errno);
    return ERROR_SUCCESS;
}

DWORD File::GetSize(uint64_t& size) const
{
    size = 0;
    if (fd_ < 0)
        return fail(DWORD(ERROR_INVALID_HANDLE));
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return fail(errno);
    size = static_cast<uint64_t>(st.st_size);
    return ERROR_SUCCESS;
}

DWORD File::SetSize(uint64_t size)
{
    if (fd_ < 0)
        return fail(DWORD(ERROR_INVALID_HANDLE));
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        return fail(errno);
    return ERROR_SUCCESS;
}

OsFile File::LockDescriptor()
{
    if (writable_)
        return fd_;
    if (lockFd_ < 0) {
        // Re-opened through the descriptor, so that it is the same file even when its name was replaced.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        lockFd_ = ::open(self.c_str(), O_RDWR | O_CLOEXEC);
    }
    return lockFd_;
}

DWORD File::LockRange(uint64_t offset, uint64_t length)
{
    if (fd_ < 0)
        return fail(DWORD(ERROR_INVALID_HANDLE));
    if (length == 0 || offset > MaxLockEnd || length - 1 > MaxLockEnd - offset)
        return fail(DWORD(ERROR_INVALID_PARAMETER));
    std::lock_guard<std::mutex> guard(locksLock_);
    // Overlap with a range held through this description: the one starting at or before the end.
    auto it = locks_.upper_bound(offset + (length - 1));
    if (it != locks_.begin()) {
        --it;
        if (it->first + (it->second - 1) >= offset)
            return fail(DWORD(ERROR_LOCK_VIOLATION));
    }
    struct flock fl {};
    // Exclusive through a writable description. A file that cannot be written by this user at all can only
    // hold a read lock, which still excludes writers of other descriptions but not other readers.
    const int lockFd = LockDescriptor();
    fl.l_type = static_cast<short>(lockFd >= 0 ? F_WRLCK : F_RDLCK);
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    while (::fcntl(lockFd >= 0 ? lockFd : fd_, F_OFD_SETLK, &fl) != 0) {
        const int err = errno;
        if (err == EINTR)
            continue;
        if (err == EAGAIN || err == EACCES)
            return fail(DWORD(ERROR_LOCK_VIOLATION));
        return fail(err);
    }
    locks_.emplace(offset, length);
    return ERROR_SUCCESS;
}

DWORD File::UnlockRange(uint64_t offset, uint64_t length)
{
    if (fd_ < 0)
        return fail(DWORD(ERROR_INVALID_HANDLE));
    std::lock_guard<std::mutex> guard(locksLock_);
    const auto it = locks_.find(offset);
    if (it == locks_.end() || it->second != length)
        return fail(DWORD(ERROR_NOT_LOCKED));
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    const int lockFd = writable_ || lockFd_ < 0 ? fd_ : lockFd_;
    while (::fcntl(lockFd, F_OFD_SETLK, &fl) != 0) {
        if (errno != EINTR)
            return fail(errno);
    }
    locks_.erase(it);
    return ERROR_SUCCESS;
}

} // namespace platform
