#include "platform/Paths.h"

#include "platform/win32/Win32.h"

#include <vector>

namespace platform {

std::string ExecutablePath()
{
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::string();
        if (n < buf.size())
            return win32::Utf8Path(std::wstring_view(buf.data(), n));
        if (buf.size() >= 32768) // the longest path the system allows
            return std::string();
        buf.resize(buf.size() * 2); // cut short: try a bigger buffer
    }
}

} // namespace platform
