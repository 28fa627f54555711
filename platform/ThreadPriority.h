// The operating system's side of thread priorities: the id of a running thread and setting its priority.
#pragma once

#include "platform/Thread.h"

#include <cstdint>

namespace platform::detail {

using OsThreadId = uint64_t; // never 0 for a running thread

OsThreadId CurrentOsThreadId();
// Failures (raising needs privileges, the thread has just ended) are ignored: the thread keeps its priority.
void ApplyThreadPriority(OsThreadId thread, TThreadPriority p);

} // namespace platform::detail
