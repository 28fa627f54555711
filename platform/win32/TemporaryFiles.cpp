#include "platform/TemporaryFiles.h"

#include "platform/win32/Win32.h"

#include <atomic>

namespace platform {
namespace {

constexpr ULONGLONG kYoungTicks = 60ull * 10'000'000ull; // a minute in FILETIME units

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return L".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ProcessRuns(DWORD pid)
{
    const ::HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, false, pid);
    if (h == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED; // another user's process
    ::DWORD code = 0;
    const bool runs = ::GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    ::CloseHandle(h);
    return runs;
}

ULONGLONG Ticks(const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

} // namespace

std::string TemporaryFileName(const std::string& file)
{
    static std::atomic<unsigned> counter{0};
    return file + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
}

// A file its writer still has open cannot be opened without sharing; such an open with delete-on-close
// removes the file when it is closed, so only files nobody holds are removed, and nobody can take one up
// in between.
void RemoveAbandonedTemporaryFiles(const std::string& file)
{
    const std::wstring wideFile = win32::WidePath(file);
    const std::wstring folder = FolderOf(wideFile);
    const std::string prefix = NameOf(file) + ".tmp";
    WIN32_FIND_DATAW data{};
    const ::HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == win32::InvalidNative())
        return;
    FILETIME nowFt{};
    ::GetSystemTimeAsFileTime(&nowFt);
    do {
        if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            continue;
        const std::string name = win32::Utf8Path(data.cFileName);
        const uint32_t writer = detail::TemporaryFileWriter(name, prefix);
        if (writer == 0)
            continue;
        if (ProcessRuns(writer) && Ticks(nowFt) - Ticks(data.ftLastWriteTime) < kYoungTicks)
            continue; // its writer may be between writing it and taking it up again
        const ::HANDLE h = ::CreateFileW((folder + L"\\" + data.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != win32::InvalidNative())
            ::CloseHandle(h);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

DWORD FlushFolderOf(const std::string& /*path*/) { return ERROR_SUCCESS; }

} // namespace platform
