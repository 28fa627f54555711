#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace platform::detail {
namespace {

int NiceValue(TThreadPriority p)
{
    switch (p) {
    case TThreadPriority::tpIdle: return 19;
    case TThreadPriority::tpLowest: return 10;
    case TThreadPriority::tpLower: return 5;
    case TThreadPriority::tpNormal: return 0;
    case TThreadPriority::tpHigher: return -5;
    case TThreadPriority::tpHighest: return -10;
    case TThreadPriority::tpTimeCritical: return -20;
    }
    return 0;
}

} // namespace

OsThreadId CurrentOsThreadId() { return static_cast<OsThreadId>(gettid()); }

// Per-thread nice values.
void ApplyThreadPriority(OsThreadId thread, TThreadPriority p)
{
    // Raising the priority needs privileges; the thread then simply keeps its nice value.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(thread), NiceValue(p));
}

} // namespace platform::detail
