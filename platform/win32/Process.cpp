#include "platform/Process.h"

#include "platform/win32/Win32.h"

namespace platform {

// The program gets its own quoted path as the whole command line, inherits no handle (the standard ones
// of a console reach it through the process parameters, not through inheritance) and is not waited for.
bool StartProgram(const std::string& path)
{
    const std::wstring application = win32::WidePath(path);
    std::wstring commandLine = L"\"" + application + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, false, 0, nullptr, nullptr,
                          &startup, &info))
        return false; // the system's last error
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return true;
}

} // namespace platform
