#include "platform/File.h"

#include "platform/win32/Win32.h"

#include <limits>

namespace platform {
namespace {

// The system's last error, after a call that failed.
DWORD SystemFailure() { return ::GetLastError(); }
DWORD fail(DWORD code)
{
    ::SetLastError(code);
    return code;
}

constexpr uint64_t MaxLockEnd = uint64_t(std::numeric_limits<int64_t>::max()); // last lockable byte

::HANDLE H(OsFile f) { return reinterpret_cast<::HANDLE>(f); }

OVERLAPPED At(uint64_t offset)
{
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return ov;
}

std::string WithDelimiter(std::wstring_view folder)
{
    std::string dir = win32::Utf8Path(folder);
    if (dir.empty() || dir.back() != PathDelimiter)
        dir += PathDelimiter;
    return dir;
}

} // namespace

DWORD GetFileAttributes(const std::string& path, FileAttributes& attributes)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win32::WidePath(path).c_str(), GetFileExInfoStandard, &data))
        return SystemFailure();
    attributes.Directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    attributes.ReadOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    attributes.Size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return ERROR_SUCCESS;
}

bool FileExists(const std::string& path)
{
    const DWORD a = ::GetFileAttributesW(win32::WidePath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD DeleteFile(const std::string& path)
{
    return ::DeleteFileW(win32::WidePath(path).c_str()) ? ERROR_SUCCESS : SystemFailure();
}

DWORD RenameFile(const std::string& from, const std::string& to)
{
    return ::MoveFileExW(win32::WidePath(from).c_str(), win32::WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? ERROR_SUCCESS
               : SystemFailure();
}

DWORD SetFileReadOnly(const std::string& path, bool readOnly)
{
    const std::wstring w = win32::WidePath(path);
    const DWORD a = ::GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return SystemFailure();
    DWORD changed = readOnly ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (changed == 0)
        changed = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileAttributesW(w.c_str(), changed) ? ERROR_SUCCESS : SystemFailure();
}

DWORD ListDirectory(const std::string& directory, std::vector<std::string>& names)
{
    names.clear();
    std::wstring pattern = win32::WidePath(directory);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data{};
    const ::HANDLE find = ::FindFirstFileW(pattern.c_str(), &data);
    if (find == win32::InvalidNative()) {
        const DWORD err = ::GetLastError();
        return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err; // a folder without entries
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(win32::Utf8Path(data.cFileName));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return ERROR_SUCCESS;
}

std::string TempDirectory()
{
    wchar_t buf[MAX_PATH + 2] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
    return WithDelimiter(std::wstring_view(buf, n > MAX_PATH + 1 ? 0 : n));
}

std::string CurrentDirectory()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
        if (n == 0)
            return std::string(1, PathDelimiter);
        if (n < buf.size())
            return WithDelimiter(std::wstring_view(buf.data(), n));
        buf.resize(n);
    }
}

// The share mode is the open's own: an exclusive open shares nothing, a shared one reading and writing.
DWORD File::Open(const std::string& path, FileAccess access, FileShare share, FileDisposition disposition)
{
    Close();
    const DWORD desired = GENERIC_READ | (access == FileAccess::ReadWrite ? GENERIC_WRITE : 0);
    const DWORD shareMode = share == FileShare::None ? 0 : (FILE_SHARE_READ | FILE_SHARE_WRITE);
    const DWORD creation = disposition == FileDisposition::CreateAlways ? CREATE_ALWAYS
                           : disposition == FileDisposition::CreateNew  ? CREATE_NEW
                                                                        : OPEN_EXISTING;
    const ::HANDLE h = ::CreateFileW(win32::WidePath(path).c_str(), desired, shareMode, nullptr, creation,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == win32::InvalidNative())
        return SystemFailure(); // a directory gives ERROR_ACCESS_DENIED, a held file ERROR_SHARING_VIOLATION
    fd_ = reinterpret_cast<OsFile>(h);
    writable_ = access == FileAccess::ReadWrite;
    position_ = 0;
    path_ = path;
    ::SetLastError(ERROR_SUCCESS); // CREATE_ALWAYS reports ERROR_ALREADY_EXISTS on success
    return ERROR_SUCCESS;
}

void File::Close()
{
    if (fd_ < 0)
        return;
    {
        std::lock_guard<std::mutex> guard(locksLock_);
        locks_.clear(); // closing the handle releases its locks
    }
    ::CloseHandle(H(fd_));
    fd_ = -1;
    writable_ = false;
    position_ = 0;
}

DWORD File::Seek(uint64_t position)
{
    if (fd_ < 0)
        return fail(ERROR_INVALID_HANDLE);
    if (position > MaxLockEnd)
        return fail(ERROR_INVALID_PARAMETER);
    position_ = position;
    return ERROR_SUCCESS;
}

// Positioned through the OVERLAPPED offsets, so that no shared file pointer is involved.
DWORD File::ReadAt(uint64_t offset, void* buffer, std::size_t size, std::size_t& done)
{
    done = 0;
    if (fd_ < 0)
        return fail(ERROR_INVALID_HANDLE);
    auto* p = static_cast<char*>(buffer);
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        OVERLAPPED ov = At(offset + done);
        ::DWORD n = 0;
        if (!::ReadFile(H(fd_), p + done, chunk, &n, &ov)) {
            if (::GetLastError() == ERROR_HANDLE_EOF)
                break;
            return SystemFailure();
        }
        if (n == 0)
            break;
        done += n;
    }
    return ERROR_SUCCESS;
}

DWORD File::WriteAt(uint64_t offset, const void* buffer, std::size_t size)
{
    if (fd_ < 0)
        return fail(ERROR_INVALID_HANDLE);
    if (!writable_)
        return fail(ERROR_ACCESS_DENIED);
    const auto* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        OVERLAPPED ov = At(offset + done);
        ::DWORD n = 0;
        if (!::WriteFile(H(fd_), p + done, chunk, &n, &ov))
            return SystemFailure();
        done += n;
    }
    return ERROR_SUCCESS;
}

DWORD File::Flush()
{
    if (fd_ < 0)
        return fail(ERROR_INVALID_HANDLE);
    if (writable_ && !::FlushFileBuffers(H(fd_)))
        return SystemFailure();
    return ERROR_SUCCESS;
}

DWORD File::GetSize(uint64_t& size) const
{
    size = 0;
    if (fd_ < 0)
        return fail(ERROR_INVALID_HANDLE);
    LARGE_INTEGER s{};
    if (!::GetFileSizeEx(H(fd_), &s))
        return SystemFailure();
    size = static_cast<uint64_t>(s.QuadPart);
    return ERROR_SUCCESS;
}

DWORD File::SetSize(uint64_t size)
{
    if (fd_ < 0)
        return fail(ERROR_INVALID_HANDLE);
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(H(fd_), FileEndOfFileInfo, &info, sizeof info))
        return SystemFailure();
    return ERROR_SUCCESS;
}

// The system's byte-range locks already have the semantics we want: exclusive, never waiting, beyond the
// end of the file, conflicting with any overlapping lock (also one of this handle), released exactly.
// The table only counts what this object holds and answers an unlock of a range never locked.
DWORD File::LockRange(uint64_t offset, uint64_t length)
{
    if (fd_ < 0)
        return fail(ERROR_INVALID_HANDLE);
    if (length == 0 || offset > MaxLockEnd || length - 1 > MaxLockEnd - offset)
        return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> guard(locksLock_);
    OVERLAPPED ov = At(offset);
    if (!::LockFileEx(H(fd_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, static_cast<DWORD>(length),
                      static_cast<DWORD>(length >> 32), &ov)) {
        const DWORD err = ::GetLastError();
        return fail(err == ERROR_IO_PENDING ? DWORD(ERROR_LOCK_VIOLATION) : err);
    }
    locks_.emplace(offset, length);
    return ERROR_SUCCESS;
}

DWORD File::UnlockRange(uint64_t offset, uint64_t length)
{
    if (fd_ < 0)
        return fail(ERROR_INVALID_HANDLE);
    std::lock_guard<std::mutex> guard(locksLock_);
    const auto it = locks_.find(offset);
    if (it == locks_.end() || it->second != length)
        return fail(ERROR_NOT_LOCKED);
    OVERLAPPED ov = At(offset);
    if (!::UnlockFileEx(H(fd_), 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov))
        return SystemFailure();
    locks_.erase(it);
    return ERROR_SUCCESS;
}

} // namespace platform
