// Creating a temporary file of the pattern of TemporaryFiles.h as an open, locked descriptor.
#pragma once

#include <string>

namespace platform {

// Creates a new temporary file for `file` (never an existing one), mode 0666 before the umask, and locks it
// exclusively. Returns the open descriptor (close-on-exec) and its name, or -1 with errno set.
int CreateTemporaryFile(const std::string& file, std::string& name);

} // namespace platform
