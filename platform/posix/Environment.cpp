#include "platform/Environment.h"

#include <cstdlib>

namespace platform {

std::string EnvironmentVariable(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

} // namespace platform
