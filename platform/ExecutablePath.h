// The running program's own file path.
#pragma once

#include <string>

namespace platform {

// Absolute path of the executable (from /proc/self/exe); empty when it cannot be read.
std::string ExecutablePath();

} // namespace platform
