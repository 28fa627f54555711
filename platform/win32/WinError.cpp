#include "platform/SystemErrorText.h"
#include "platform/Text.h"
#include "platform/WinError.h"

#include "platform/win32/Win32.h"

#include <memory>

namespace platform {

// The thread's last error is the operating system's own, so that it also holds what Win32 calls set.
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }

DWORD SetLastErrorFromErrno(int err)
{
    const DWORD code = ErrnoToWinError(err);
    ::SetLastError(code);
    return code;
}

namespace detail {

// Numbers outside our English table: the system's message in English (falling back to the user's
// language), without the trailing line end; an errno carried in the customer range gets its C text.
std::string SystemErrorText(DWORD code)
{
    if ((code & 0x20000000u) != 0)
        return ErrnoText(static_cast<int>(code & 0x0FFFFFFFu));
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n = ::FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                               reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n == 0)
        n = ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&::LocalFree)> owner(buffer, &::LocalFree);
    if (n == 0)
        return "Unknown error " + std::to_string(code) + ".";
    while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' '))
        --n;
    return TextToUtf8(TextView(reinterpret_cast<const char16_t*>(buffer), n));
}

} // namespace detail
} // namespace platform
