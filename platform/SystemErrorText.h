// The operating system's part of the message service (SysErrorMessage): texts of the numbers that our
// English table does not hold.
#pragma once

#include "platform/WinError.h"

#include <string>

namespace platform::detail {

std::string SystemErrorText(DWORD code);
// strerror of a C error number.
std::string ErrnoText(int err);

} // namespace platform::detail
