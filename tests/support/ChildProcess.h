// A real second process for sharing and locking tests: fork, run a function in the child, and talk to it
// through two pipes (one byte per message). The child never returns into the test framework.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <stdexcept>

namespace support {

class ChildProcess {
public:
    explicit ChildProcess(const std::function<int(ChildProcess&)>& body)
    {
        if (::pipe(toParent_) != 0 || ::pipe(toChild_) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::close(toParent_[0]);
            ::close(toChild_[1]);
            child_ = true;
            int rc = 99;
            try {
                rc = body(*this);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "child process: %s\n", e.what());
                rc = 98;
            } catch (...) {
                rc = 97;
            }
            ::_exit(rc);
        }
        ::close(toParent_[1]);
        ::close(toChild_[0]);
    }
    ~ChildProcess()
    {
        if (child_)
            return;
        if (pid_ > 0 && !joined_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        ::close(toParent_[0]);
        ::close(toChild_[1]);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Child side.
    void Tell(char c) { (void)!::write(toParent_[1], &c, 1); }
    char Hear() { return readByte(toChild_[0], 20000); }

    // Parent side: the child's next byte, or 0 after the timeout or when the child ended.
    char WaitFor(int timeoutMs = 20000) { return readByte(toParent_[0], timeoutMs); }
    void Send(char c) { (void)!::write(toChild_[1], &c, 1); }
    pid_t Pid() const { return pid_; }
    // The child's exit code (-1 when it did not exit normally).
    int Join()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        joined_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static char readByte(int fd, int timeoutMs)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return 0;
        char c = 0;
        return ::read(fd, &c, 1) == 1 ? c : 0;
    }
    pid_t pid_ = -1;
    bool child_ = false;
    bool joined_ = false;
    int toParent_[2] = {-1, -1};
    int toChild_[2] = {-1, -1};
};

// The number of a process that has ended and been reaped: a pid that names no running process (until the
// system hands it out again), for lock and temporary files whose owner is gone.
inline pid_t EndedProcess()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

} // namespace support
