// The table behind HANDLE values: every kernel object (event, thread end, serial port) is registered here
// and found again by its handle. Handle values are never reused, so a stale handle is simply unknown.
#pragma once

#include "platform/Handles.h"

#include <memory>

namespace platform::detail {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Called once by CloseHandle after the handle has left the table.
    virtual void Close() {}
};

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE h);

template <class T>
std::shared_ptr<T> Lookup(HANDLE h)
{
    return std::dynamic_pointer_cast<T>(LookupHandle(h));
}

} // namespace platform::detail
