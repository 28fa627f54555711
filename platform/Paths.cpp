#include "platform/Paths.h"

namespace platform {

std::string ExecutableFolder()
{
    const std::string path = ExecutablePath();
    const size_t slash = path.rfind(PathDelim);
    if (slash == std::string::npos)
        return std::string();
    if (slash == 0)
        return std::string(1, PathDelim);
    return path.substr(0, slash);
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string out(folder);
    if (out.empty() || out.back() != PathDelim)
        out.push_back(PathDelim);
    out.append(name);
    return out;
}

} // namespace platform
