// The operating system's side of the ini module: reading a whole file, and replacing one atomically.
#pragma once

#include <string>

namespace platform::detail {

enum class FileRead { Read, Missing, Failed };
FileRead ReadWholeFile(const std::string& path, std::string& out);

// The file that a symbolic link names (a write goes through the link and keeps it); otherwise path.
std::string LinkTarget(const std::string& path);

// Replaces target with content so that the file is always either the old or the new version; throws
// EIniFileException with reportedPath when that cannot be done (the old file then stays as it was).
void ReplaceFileAtomically(const std::string& reportedPath, const std::string& target, const std::string& content);

} // namespace platform::detail
