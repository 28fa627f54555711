// Failures of platform services as Windows error numbers, so that the system's rules about them hold.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using DWORD = uint32_t;

enum : DWORD {
    ERROR_SUCCESS = 0,
    ERROR_INVALID_FUNCTION = 1,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_PATH_NOT_FOUND = 3,
    ERROR_TOO_MANY_OPEN_FILES = 4,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_NOT_SAME_DEVICE = 17,
    ERROR_WRITE_FAULT = 29,
    ERROR_READ_FAULT = 30,
    ERROR_GEN_FAILURE = 31,
    ERROR_SHARING_VIOLATION = 32,
    ERROR_LOCK_VIOLATION = 33,
    ERROR_HANDLE_EOF = 38,
    ERROR_NOT_SUPPORTED = 50,
    ERROR_FILE_EXISTS = 80,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_DISK_FULL = 112,
    ERROR_INSUFFICIENT_BUFFER = 122,
    ERROR_DIR_NOT_EMPTY = 145,
    ERROR_ALREADY_EXISTS = 183,
    ERROR_OPERATION_ABORTED = 995,
    ERROR_IO_INCOMPLETE = 996,
    ERROR_IO_PENDING = 997,
};

// The calling thread's last error, as GetLastError/SetLastError keep it.
DWORD GetLastError();
void SetLastError(DWORD code);

// errno -> Windows error number (the table of the design, plus ENOSPC, EINVAL and EIO). An errno without a
// Windows twin becomes 0x20000000 + errno, whose text is strerror of that errno.
DWORD ErrnoToWinError(int err);
// Sets the thread's last error from errno and returns it.
DWORD SetLastErrorFromErrno(int err);

// The platform's message text of an error number: an English table for the numbers of the design,
// strerror for anything else. No trailing line end.
std::string SysErrorMessage(DWORD code);

} // namespace platform
