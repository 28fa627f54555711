#include "platform/ExecutablePath.h"

#include <system_error>
#include <filesystem>

namespace platform {

std::string ExecutablePath()
{
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

} // namespace platform
