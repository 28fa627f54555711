// Temporary files beside a file that is replaced by renaming a complete new version over it.
//
// They have one name pattern, "<file>.tmp<pid>-<n>" (pid: the writing process, n: a counter of that
// process), and their writer holds a lock on the open file (flock, shared or exclusive; on Windows the open
// itself, which refuses a delete) from creating it until it has been renamed or removed. The system drops
// the lock when the writer dies, however it dies, so a later writer can tell a temporary file whose writer
// is gone from one that is being written, and removes the abandoned ones before it writes: a writer killed half-way never leaves more than its one file, and only
// until the next write.
#pragma once

#include "platform/WinError.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A fresh name of the pattern for this process.
std::string TemporaryFileName(const std::string& file);

// Removes the temporary files of `file` whose writer is gone: no process holds a lock on the file, and the
// process its name carries no longer runs. A name whose process runs but which nobody locks is left alone
// while it is young (its writer may be between creating and locking it) and removed once it is older than
// a minute (the number belongs to a later process: the writer is long gone). Files of other names, and
// anything that is not a regular file, are never touched. Failures are ignored: this only tidies up.
void RemoveAbandonedTemporaryFiles(const std::string& file);

// Flushes the folder that holds `path` (fsync of the directory), so that a rename in it is on disk. On
// Windows the rename itself is written through (RenameFile), and this has nothing left to do.
DWORD FlushFolderOf(const std::string& path);

namespace detail {
// The writer's process id that a name of the pattern carries ("<prefix><pid>-<n>", prefix "<file name>.tmp"),
// or 0 when the name is not one.
uint32_t TemporaryFileWriter(std::string_view name, std::string_view prefix);
} // namespace detail

} // namespace platform
