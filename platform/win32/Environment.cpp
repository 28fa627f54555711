#include "platform/Environment.h"

#include "platform/win32/Win32.h"

#include <vector>

namespace platform {

// Read in UTF-16, so that values outside the ANSI code page (a profile folder with any name) survive.
std::string EnvironmentVariable(const std::string& name)
{
    const std::wstring wideName = win32::WidePath(name);
    std::vector<wchar_t> buf(256);
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::string(); // unset (ERROR_ENVVAR_NOT_FOUND) or empty
        if (n < buf.size())
            return win32::Utf8Path(std::wstring_view(buf.data(), n));
        buf.resize(n); // n is the size needed, with the terminating null
    }
}

} // namespace platform
