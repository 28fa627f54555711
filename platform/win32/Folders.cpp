#include "platform/Folders.h"

#include "platform/WinError.h"

#include "platform/win32/Win32.h"

namespace platform {

bool CreateFolder(const std::string& path)
{
    if (::CreateDirectoryW(win32::WidePath(path).c_str(), nullptr)) {
        ::SetLastError(ERROR_SUCCESS);
        return true;
    }
    return false; // the system's own last error: ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND, ...
}

} // namespace platform
