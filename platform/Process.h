// Starting another program: with or without arguments, waited for or left to run on its own. No
// descriptor or handle is handed down but the standard input, output and error.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Starts the executable file at path with no arguments but its own name and returns at once. The child
// inherits the standard input, output and error and no other descriptor; it is reaped when it ends.
// Returns false and sets the last error (WinError.h) when the program cannot be started; callers that
// do not care may ignore the result.
bool StartProgram(const std::string& path);

// A started program that its starter waits for or ends. The program gets the arguments after its own
// name and the starter's environment with the given variables added (or replaced).
class Process {
public:
    using Variables = std::vector<std::pair<std::string, std::string>>;

    // The started program, or null with the last error set when it cannot be started.
    static std::unique_ptr<Process> Start(const std::string& path, const std::vector<std::string>& arguments,
                                          const Variables& environment = {});
    // A program still running is ended (as Kill does).
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits up to timeoutMs for the program to end: its exit code, or nothing while it still runs. A
    // program ended by a signal (POSIX) has the exit code 128 + the signal's number.
    std::optional<uint32_t> Wait(uint32_t timeoutMs);
    // Ends the program at once, as a crash would, and waits for it to be gone.
    void Kill();
    uint32_t Id() const { return id_; }

private:
    Process() = default;
    uint32_t id_ = 0;
    intptr_t handle_ = 0; // the process handle (Windows); unused on POSIX, where id_ is the pid
    std::optional<uint32_t> exitCode_;
};

} // namespace platform
