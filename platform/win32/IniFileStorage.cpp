#include "platform/IniFileStorage.h"

#include "platform/IniFile.h"
#include "platform/TemporaryFiles.h"

#include "platform/win32/Win32.h"

namespace platform::detail {
namespace {

class OwnedHandle {
public:
    explicit OwnedHandle(::HANDLE h) : h_(h) {}
    ~OwnedHandle()
    {
        if (h_ != win32::InvalidNative())
            ::CloseHandle(h_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ::HANDLE get() const { return h_; }
    bool valid() const { return h_ != win32::InvalidNative(); }

private:
    ::HANDLE h_;
};

bool WriteAll(::HANDLE h, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
        ::DWORD n = 0;
        if (!::WriteFile(h, data.data() + done, chunk, &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

FileRead ReadWholeFile(const std::string& path, std::string& out)
{
    out.clear();
    const OwnedHandle h(::CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) {
        const DWORD err = ::GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? FileRead::Missing : FileRead::Failed;
    }
    char buf[65536];
    for (;;) {
        ::DWORD n = 0;
        if (!::ReadFile(h.get(), buf, sizeof buf, &n, nullptr))
            return FileRead::Failed;
        if (n == 0)
            return FileRead::Read;
        out.append(buf, n);
    }
}

// A symbolic link is written through to the file it names.
std::string LinkTarget(const std::string& path)
{
    const std::wstring wide = win32::WidePath(path);
    const DWORD a = ::GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    const OwnedHandle h(::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid())
        return path;
    wchar_t buf[32768];
    const DWORD n = ::GetFinalPathNameByHandleW(h.get(), buf, 32768, FILE_NAME_NORMALIZED);
    if (n == 0 || n >= 32768)
        return path;
    std::wstring_view target(buf, n);
    if (target.substr(0, 4) == L"\\\\?\\")
        target.remove_prefix(4);
    return win32::Utf8Path(target);
}

// The new version is written into a temporary file in the same folder, flushed, and moved over the old
// file (MoveFileExW, replacing and written through) while it is still open: it is opened sharing only
// deletion, which the move needs, so that no other writer takes it for abandoned before it has its name.
// The old file's attributes other than read-only are given to the new one.
void ReplaceFileAtomically(const std::string& reportedPath, const std::string& target, const std::string& content)
{
    const std::wstring wideTarget = win32::WidePath(target);
    const DWORD oldAttributes = ::GetFileAttributesW(wideTarget.c_str());
    const bool existed = oldAttributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (oldAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        throw EIniFileException(reportedPath);

    RemoveAbandonedTemporaryFiles(target);
    std::wstring temp;
    ::HANDLE created = win32::InvalidNative();
    for (int attempt = 0; attempt < 100 && created == win32::InvalidNative(); ++attempt) {
        temp = win32::WidePath(TemporaryFileName(target));
        created = ::CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == win32::InvalidNative() && ::GetLastError() != ERROR_FILE_EXISTS)
            break; // only a name left by an earlier process of the same number is tried again
    }
    const OwnedHandle h(created);
    if (!h.valid())
        throw EIniFileException(reportedPath);

    bool ok = WriteAll(h.get(), content) && ::FlushFileBuffers(h.get());
    if (ok && existed) {
        FILE_BASIC_INFO basic{};
        if (::GetFileInformationByHandleEx(h.get(), FileBasicInfo, &basic, sizeof basic)) {
            basic.FileAttributes = oldAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
            (void)::SetFileInformationByHandle(h.get(), FileBasicInfo, &basic, sizeof basic);
        }
    }
    ok = ok && ::MoveFileExW(temp.c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        // Removed when the handle closes, whatever name it has.
        FILE_DISPOSITION_INFO dispose{true}; // its one member, DeleteFile
        (void)::SetFileInformationByHandle(h.get(), FileDispositionInfo, &dispose, sizeof dispose);
        throw EIniFileException(reportedPath);
    }
}

} // namespace platform::detail
