#include "platform/Paths.h"

#include <unistd.h>

#include <vector>

namespace platform {

std::string ExecutablePath()
{
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<size_t>(n));
        if (buf.size() >= 65536)
            return std::string();
        buf.resize(buf.size() * 2); // the link may have been cut short; try a bigger buffer
    }
}

} // namespace platform
