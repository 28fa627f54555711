// UUCP lock files ("LCK..<node>" in /var/lock or /run/lock): the convention by which terminal programs,
// modem managers and other serial tools tell each other that a port is in use.
#pragma once

#include <string>
#include <vector>

namespace platform {

class UucpLock {
public:
    UucpLock() = default;
    ~UucpLock();
    UucpLock(UucpLock&& other) noexcept;
    UucpLock& operator=(UucpLock&& other) noexcept;
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    // True when a lock file names a live process other than this one. Lock files of dead processes are
    // removed on the way (where the folder allows it).
    static bool HeldByOther(const std::string& node);
    // Creates the lock file for this process in the first lock folder that is writable. Returns an empty
    // lock when no folder is writable, and false in taken when another process holds the lock.
    static UucpLock Take(const std::string& node, bool& taken);

    bool Holds() const { return !path_.empty(); }

    // "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
    static std::string FileName(const std::string& node);
    // The lock folders: those that SONDRAL_LOCK_DIRS lists (separated by ':'), otherwise /var/lock and
    // /run/lock; existing ones only, each folder once.
    static std::vector<std::string> Folders();

private:
    explicit UucpLock(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

} // namespace platform
