#include "platform/Process.h"

#include "platform/WinError.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

extern char** environ;

namespace platform {
namespace {

struct FileActions {
    posix_spawn_file_actions_t actions;
    int status;
    FileActions() : status(posix_spawn_file_actions_init(&actions)) {}
    ~FileActions()
    {
        if (status == 0)
            posix_spawn_file_actions_destroy(&actions);
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
};

} // namespace

bool StartProgram(const std::string& path)
{
    FileActions fa;
    if (fa.status != 0) {
        SetLastError(ErrnoToWinError(fa.status));
        return false;
    }
    // Everything above the standard descriptors is closed in the child, close-on-exec or not.
    int rc = posix_spawn_file_actions_addclosefrom_np(&fa.actions, 3);
    if (rc != 0) {
        SetLastError(ErrnoToWinError(rc));
        return false;
    }
    std::string arg0 = path;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    rc = posix_spawn(&pid, path.c_str(), &fa.actions, nullptr, argv, environ);
    if (rc != 0) {
        SetLastError(ErrnoToWinError(rc));
        return false;
    }
    // Nobody waits for the program; a detached reaper keeps it from lingering as a zombie.
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the child is reaped when this process ends; it has been started all the same.
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace platform
