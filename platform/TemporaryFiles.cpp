#include "platform/TemporaryFiles.h"

namespace platform::detail {

uint32_t TemporaryFileWriter(std::string_view name, std::string_view prefix)
{
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return 0;
    name.remove_prefix(prefix.size());
    const size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == name.size() || dash > 9)
        return 0;
    for (size_t i = 0; i < name.size(); ++i)
        if (i != dash && (name[i] < '0' || name[i] > '9'))
            return 0;
    uint32_t pid = 0;
    for (size_t i = 0; i < dash; ++i)
        pid = pid * 10 + static_cast<uint32_t>(name[i] - '0');
    return pid;
}

} // namespace platform::detail
