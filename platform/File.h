// Files as the table engine uses them: open and create with access and share modes, positioned reads and
// writes, flush, and non-blocking byte-range locks with Windows semantics. Failures are Windows error numbers.
#pragma once

#include "platform/Paths.h"
#include "platform/WinError.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

inline constexpr DWORD ERROR_NOT_LOCKED = 158;

// The operating system's name of an open file: a descriptor, on Windows a HANDLE value; -1 when closed.
#ifdef _WIN32
using OsFile = intptr_t;
#else
using OsFile = int;
#endif

enum class FileAccess { Read, ReadWrite };
enum class FileShare { None, ReadWrite };
enum class FileDisposition { OpenExisting, CreateAlways, CreateNew };

struct FileAttributes {
    bool ReadOnly = false;
    bool Directory = false;
    uint64_t Size = 0;
};

// ERROR_SUCCESS and the attributes, or the error (2 for a missing file). Read-only means the process may not
// write the file: no write permission for the process, or no write permission bit at all (so that the
// attribute also holds for a privileged process).
DWORD GetFileAttributes(const std::string& path, FileAttributes& attributes);
bool FileExists(const std::string& path);
DWORD DeleteFile(const std::string& path);
DWORD RenameFile(const std::string& from, const std::string& to);
// Clears or sets the read-only attribute (the write permission bits).
DWORD SetFileReadOnly(const std::string& path, bool readOnly);

// Names of the regular files in a directory, in the order the file system lists them.
DWORD ListDirectory(const std::string& directory, std::vector<std::string>& names);

// The temporary-files folder ($TMPDIR or /tmp) and the current directory, each with a trailing delimiter.
std::string TempDirectory();
std::string CurrentDirectory();
inline constexpr char PathDelimiter = PathDelim;

// One open of a file (one operating-system open file description).
//
// Share modes between processes: a shared open holds flock(LOCK_SH), an exclusive one flock(LOCK_EX) (on
// Windows: the open's own share mode); a conflict is ERROR_SHARING_VIOLATION. Byte-range locks are
// exclusive and never wait (on Windows: LockFileEx); they may lie beyond the end of the file at any offset
// below 2^63. A request overlapping a range held through this object or by
// another open (in any process) fails with ERROR_LOCK_VIOLATION; unlocking needs exactly a range that was
// locked (else ERROR_NOT_LOCKED) and releases only that range. The held ranges of this object are kept in a
// table because locks of one open file description merge and never conflict with each other.
// All members may be called from several threads; Seek followed by Read/Write needs the caller's own lock.
class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    DWORD Open(const std::string& path, FileAccess access, FileShare share, FileDisposition disposition);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    bool Writable() const { return writable_; }
    const std::string& Path() const { return path_; }

    DWORD Seek(uint64_t position);
    uint64_t Position() const { return position_; }
    // Reads up to size bytes at the position and advances it; done < size at the end of the file.
    DWORD Read(void* buffer, std::size_t size, std::size_t& done);
    DWORD Write(const void* buffer, std::size_t size);
    DWORD ReadAt(uint64_t offset, void* buffer, std::size_t size, std::size_t& done);
    DWORD WriteAt(uint64_t offset, const void* buffer, std::size_t size);
    DWORD Flush();
    DWORD GetSize(uint64_t& size) const;
    DWORD SetSize(uint64_t size);

    DWORD LockRange(uint64_t offset, uint64_t length);
    DWORD UnlockRange(uint64_t offset, uint64_t length);
    // Number of ranges this object holds.
    std::size_t LockedRanges() const;

private:
    // The descriptor byte-range locks are taken on: the file's own when it is writable; for a read-only
    // one a second, read-write description of the same file, since only that can hold an exclusive range
    // (as a range lock through any handle is). -1 when the file cannot be written at all.
    // (POSIX only: a Windows handle holds exclusive ranges whatever its access.)
    OsFile LockDescriptor();
    OsFile fd_ = -1;
    OsFile lockFd_ = -1;
    bool writable_ = false;
    uint64_t position_ = 0;
    std::string path_;
    mutable std::mutex locksLock_;
    std::map<uint64_t, uint64_t> locks_; // offset -> length; never overlapping
};

} // namespace platform
