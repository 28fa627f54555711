// Environment variables of the process.
#pragma once

#include <string>

namespace platform {

// The value of the variable; an unset variable reads as empty.
std::string EnvironmentVariable(const std::string& name);

} // namespace platform
