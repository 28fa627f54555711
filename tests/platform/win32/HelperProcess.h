// This test program as a second process that holds a file open (or a range of it locked) until it is
// told to let go: the other side of the share-mode and lock tests. The program turns into the helper
// before any test runs when SONDRAL_HOLD is set (see HelperProcess.cpp). Windows only: the helper is
// started with CreateProcessW, without inherited handles.
#pragma once

#include <string>

class HelperProcess {
public:
    // what: "exclusive|<path>", "shared|<path>" or "lock|<path>|<offset>|<length>". Returns once the
    // helper holds what it was asked to hold; throws when it could not.
    explicit HelperProcess(const std::string& what);
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Lets go and waits for the helper to end; returns its exit code (0: it held and let go).
    unsigned long Release();
    // Ends the helper at once, as a crash would; what it held is released by the system.
    void Kill();

private:
    void* process_ = nullptr; // the helper's process handle
    void* thread_ = nullptr;
    std::string signal_;
};
