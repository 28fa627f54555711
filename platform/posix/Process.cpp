#include "platform/Process.h"

#include "platform/WinError.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
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

// Starts path with argv[0] = path and the arguments; the child keeps only the standard descriptors.
// Returns the pid, or 0 with the last error set.
pid_t Spawn(const std::string& path, const std::vector<std::string>& arguments, const Process::Variables& added)
{
    FileActions fa;
    if (fa.status != 0) {
        SetLastError(ErrnoToWinError(fa.status));
        return 0;
    }
    // Everything above the standard descriptors is closed in the child, close-on-exec or not.
    int rc = posix_spawn_file_actions_addclosefrom_np(&fa.actions, 3);
    if (rc != 0) {
        SetLastError(ErrnoToWinError(rc));
        return 0;
    }
    std::vector<std::string> args{path};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The environment: ours, without the variables that are added, then those.
    std::vector<std::string> variables;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry(*e);
        bool replaced = false;
        for (const auto& [name, value] : added)
            replaced = replaced || entry.compare(0, name.size() + 1, name + "=") == 0;
        if (!replaced)
            variables.push_back(entry);
    }
    for (const auto& [name, value] : added)
        variables.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    rc = posix_spawn(&pid, path.c_str(), &fa.actions, nullptr, argv.data(), envp.data());
    if (rc != 0) {
        SetLastError(ErrnoToWinError(rc));
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return pid;
}

} // namespace

bool StartProgram(const std::string& path)
{
    const pid_t pid = Spawn(path, {}, {});
    if (pid == 0)
        return false;
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

std::unique_ptr<Process> Process::Start(const std::string& path, const std::vector<std::string>& arguments,
                                        const Variables& environment)
{
    const pid_t pid = Spawn(path, arguments, environment);
    if (pid == 0)
        return nullptr;
    std::unique_ptr<Process> p(new Process);
    p->id_ = static_cast<uint32_t>(pid);
    return p;
}

Process::~Process() { Kill(); }

std::optional<uint32_t> Process::Wait(uint32_t timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!exitCode_) {
        int status = 0;
        const pid_t r = ::waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
        if (r == static_cast<pid_t>(id_)) {
            exitCode_ = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status))
                                          : 128u + static_cast<uint32_t>(WTERMSIG(status));
            break;
        }
        if (r < 0 && errno != EINTR) {
            exitCode_ = 255u; // not our child any more: nothing to wait for
            break;
        }
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return exitCode_;
}

void Process::Kill()
{
    if (exitCode_)
        return;
    ::kill(static_cast<pid_t>(id_), SIGKILL);
    int status = 0;
    while (::waitpid(static_cast<pid_t>(id_), &status, 0) < 0 && errno == EINTR) {
    }
    exitCode_ = 128u + SIGKILL;
}

} // namespace platform
