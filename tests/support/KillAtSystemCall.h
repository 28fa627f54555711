// Kills a child process at an exact moment of its work: the child is traced and stops at every system call,
// once on entry (the call has not run) and once on exit (it has run); at the chosen stop it gets SIGKILL.
// Between two stops the child only computes in its own memory, so the stops are every moment at which the
// files it works on can differ. The calls that only manage memory (brk, mmap, ...) are passed without
// counting them: how often they come depends on the state of the heap the child inherited, and they change
// no file. So stop k is the same moment of the same work in every run as long as the work makes the same
// calls on its files.
#pragma once

#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <functional>
#include <stdexcept>
#include <vector>

namespace support {

struct SystemCallStop {
    long number = -1;   // the system call
    bool entry = false; // stopped before it ran (true) or after (false)
};

struct TracedRun {
    pid_t pid = 0;                     // the child's process id
    bool killed = false;               // killed at the stop asked for
    int exitCode = -1;                 // the work's result when it ran to its end
    std::vector<SystemCallStop> stops; // every stop passed; the killing one is the last
};

inline bool ManagesMemoryOnly(long number)
{
    return number == SYS_brk || number == SYS_mmap || number == SYS_munmap || number == SYS_mremap ||
           number == SYS_mprotect || number == SYS_madvise;
}

// Runs work() in a traced child process and kills it at stop killAt (counted from 0, from the start of the
// work). killAt < 0, or beyond the work's last stop: the work runs to its end (which counts its stops).
inline TracedRun RunTracedAndKill(const std::function<int()>& work, long killAt)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int rc = 97;
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0 && ::raise(SIGSTOP) == 0) {
            try {
                rc = work();
            } catch (const std::exception&) {
                rc = 98;
            } catch (...) {
                rc = 99;
            }
        }
        ::_exit(rc);
    }
    TracedRun run;
    run.pid = pid;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        throw std::runtime_error("the traced child did not stop");
    }
    ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    long number = -1;
    int pass = 0; // a signal to hand on to the child
    for (;;) {
        if (::ptrace(PTRACE_SYSCALL, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(pass))) != 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            throw std::runtime_error("ptrace failed");
        }
        pass = 0;
        while (::waitpid(pid, &status, 0) < 0)
            if (errno != EINTR)
                throw std::runtime_error("waitpid failed");
        if (WIFEXITED(status)) {
            run.exitCode = WEXITSTATUS(status);
            return run;
        }
        if (WIFSIGNALED(status))
            return run;
        if (!WIFSTOPPED(status))
            continue;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            if (WSTOPSIG(status) != SIGSTOP && WSTOPSIG(status) != SIGTRAP)
                pass = WSTOPSIG(status);
            continue;
        }
        __ptrace_syscall_info info{};
        SystemCallStop stop;
        if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, reinterpret_cast<void*>(sizeof info), &info) > 0 &&
            info.op == PTRACE_SYSCALL_INFO_ENTRY) {
            number = static_cast<long>(info.entry.nr);
            stop.entry = true;
        }
        if (ManagesMemoryOnly(number))
            continue;
        stop.number = number;
        run.stops.push_back(stop);
        if (killAt >= 0 && static_cast<long>(run.stops.size()) - 1 == killAt) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) == pid && !WIFEXITED(status) && !WIFSIGNALED(status)) {
            }
            run.killed = true;
            return run;
        }
    }
}

} // namespace support
