// Runs a program as a real child process and collects its exit status and output: one interface, with
// an implementation for each kind of system (RunProgramPosix.cpp, RunProgramWin32.cpp; the test library
// run_program).
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
    int exitCode = -1; // on POSIX 128 + the signal's number when a signal ended it; -1 when it could not be started
    std::string out;
    std::string err;
};

struct ProgramInput {
    std::vector<std::string> env{};  // NAME=VALUE, each replacing a variable of that name
    std::string stdinPath{};         // empty: the child reads nothing (/dev/null, NUL)
};

// program is a path; on Windows without an extension, ".exe" is meant. args are passed one by one.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProgramInput& input = {});
