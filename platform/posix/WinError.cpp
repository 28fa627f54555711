#include "platform/WinError.h"

#include "platform/SystemErrorText.h"


namespace platform {
namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
} // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

DWORD SetLastErrorFromErrno(int err)
{
    lastError = ErrnoToWinError(err);
    return lastError;
}

namespace detail {

// Numbers outside the English table: an errno carried in the customer range, or an errno itself.
std::string SystemErrorText(DWORD code)
{
    if ((code & 0x20000000u) != 0)
        return ErrnoText(static_cast<int>(code & 0x0FFFFFFFu));
    return ErrnoText(static_cast<int>(code));
}

} // namespace detail
} // namespace platform
