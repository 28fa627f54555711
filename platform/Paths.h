// The executable's own location and the joining of path parts with the native separator.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The native separator.
#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// Full path of the running executable (/proc/self/exe, GetModuleFileNameW); empty when it cannot be determined.
std::string ExecutablePath();
// The folder that holds the executable, without a trailing separator ("/" for the root).
std::string ExecutableFolder();
// folder + separator + name, without doubling a separator that folder already ends with.
std::string JoinPath(std::string_view folder, std::string_view name);

} // namespace platform
