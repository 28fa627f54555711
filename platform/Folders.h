// Folder creation with the semantics of the Windows call: one level at a time.
#pragma once

#include <string>

namespace platform {

// Creates the folder. Returns false and sets the last error (WinError.h) on failure:
// ERROR_ALREADY_EXISTS when the path exists, ERROR_PATH_NOT_FOUND when a parent folder is missing,
// ERROR_ACCESS_DENIED when the parent may not be written, and so on.
bool CreateFolder(const std::string& path);

} // namespace platform
