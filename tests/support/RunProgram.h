// Runs a program as a real child process and collects its exit status and output.
#pragma once

#include "support/TempFolder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

struct ProgramResult {
    int exitCode = -1; // -1 when the program did not exit normally or could not be started
    std::string out;
    std::string err;
};

// stdinPath empty: the child reads /dev/null.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::string& stdinPath = std::string())
{
    TempFolder dir;
    const std::string outPath = dir.File("out");
    const std::string errPath = dir.File("err");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> storage;
    storage.push_back(program);
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    ProgramResult result;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return result;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return result;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = ReadBytes(outPath);
    result.err = ReadBytes(errPath);
    return result;
}
