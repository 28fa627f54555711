// Which other processes have a device node open, as far as /proc lets this process see.
#pragma once

#include <string>

namespace platform {

// True when a process other than this one has an open descriptor on the character device that node
// names. Processes whose descriptor table this process may not read (another user's, without root) are
// not seen.
bool OpenedByAnotherProcess(const std::string& node);

} // namespace platform
