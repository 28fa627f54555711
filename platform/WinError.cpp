#include "platform/WinError.h"

#include "platform/SystemErrorText.h"

#include <cerrno>
#include <cstring>

namespace platform {

DWORD ErrnoToWinError(int err)
{
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT:
    case ENXIO:
    case ENODEV: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EINPROGRESS: return ERROR_IO_PENDING;
    case ENOSPC: return ERROR_DISK_FULL;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EIO: return ERROR_GEN_FAILURE;
    default: return 0x20000000u | static_cast<DWORD>(err); // customer bit: an errno without a Windows twin
    }
}

std::string SysErrorMessage(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS: return "The operation completed successfully.";
    case ERROR_INVALID_FUNCTION: return "Incorrect function.";
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
    case ERROR_TOO_MANY_OPEN_FILES: return "The system cannot open the file.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.";
    case ERROR_NOT_SAME_DEVICE: return "The system cannot move the file to a different disk drive.";
    case ERROR_WRITE_FAULT: return "The system cannot write to the specified device.";
    case ERROR_READ_FAULT: return "The system cannot read from the specified device.";
    case ERROR_GEN_FAILURE: return "A device attached to the system is not functioning.";
    case ERROR_SHARING_VIOLATION:
        return "The process cannot access the file because it is being used by another process.";
    case ERROR_LOCK_VIOLATION:
        return "The process cannot access the file because another process has locked a portion of the file.";
    case ERROR_HANDLE_EOF: return "Reached the end of the file.";
    case ERROR_NOT_SUPPORTED: return "The request is not supported.";
    case ERROR_FILE_EXISTS: return "The file exists.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_DISK_FULL: return "There is not enough space on the disk.";
    case ERROR_INSUFFICIENT_BUFFER: return "The data area passed to a system call is too small.";
    case ERROR_DIR_NOT_EMPTY: return "The directory is not empty.";
    case ERROR_ALREADY_EXISTS: return "Cannot create a file when that file already exists.";
    case ERROR_OPERATION_ABORTED:
        return "The I/O operation has been aborted because of either a thread exit or an application request.";
    case ERROR_IO_INCOMPLETE: return "Overlapped I/O event is not in a signaled state.";
    case ERROR_IO_PENDING: return "Overlapped I/O operation is in progress.";
    default: break;
    }
    return detail::SystemErrorText(code);
}

namespace detail {

std::string ErrnoText(int err) { return std::strerror(err); }

} // namespace detail
} // namespace platform
