#include "platform/Folders.h"

#include "platform/WinError.h"

#include <sys/stat.h>

#include <cerrno>

namespace platform {

bool CreateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) == 0) {
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    const int err = errno;
    // A missing parent is a missing path, not a missing file, for this call.
    SetLastError(err == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToWinError(err));
    return false;
}

} // namespace platform
