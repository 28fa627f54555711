// The parts of File that are the same on every system: position-based reads and writes, the lock count.
#include "platform/File.h"

namespace platform {

File::~File() { Close(); }

DWORD File::Read(void* buffer, std::size_t size, std::size_t& done)
{
    const DWORD rc = ReadAt(position_, buffer, size, done);
    position_ += done;
    return rc;
}

DWORD File::Write(const void* buffer, std::size_t size)
{
    const DWORD rc = WriteAt(position_, buffer, size);
    if (rc == ERROR_SUCCESS)
        position_ += size;
    return rc;
}

std::size_t File::LockedRanges() const
{
    std::lock_guard<std::mutex> guard(locksLock_);
    return locks_.size();
}

} // namespace platform
