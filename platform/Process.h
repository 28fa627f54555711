// Starting another program: no arguments, no waiting, no descriptors handed down.
#pragma once

#include <string>

namespace platform {

// Starts the executable file at path with no arguments but its own name and returns at once. The child
// inherits the standard input, output and error and no other descriptor; it is reaped when it ends.
// Returns false and sets the last error (WinError.h) when the program cannot be started; callers that
// do not care may ignore the result.
bool StartProgram(const std::string& path);

} // namespace platform
