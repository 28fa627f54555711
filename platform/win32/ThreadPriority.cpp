#include "platform/ThreadPriority.h"

#include "platform/win32/Win32.h"

namespace platform::detail {
namespace {

int Win32Priority(TThreadPriority p)
{
    switch (p) {
    case TThreadPriority::tpIdle: return THREAD_PRIORITY_IDLE;
    case TThreadPriority::tpLowest: return THREAD_PRIORITY_LOWEST;
    case TThreadPriority::tpLower: return THREAD_PRIORITY_BELOW_NORMAL;
    case TThreadPriority::tpNormal: return THREAD_PRIORITY_NORMAL;
    case TThreadPriority::tpHigher: return THREAD_PRIORITY_ABOVE_NORMAL;
    case TThreadPriority::tpHighest: return THREAD_PRIORITY_HIGHEST;
    case TThreadPriority::tpTimeCritical: return THREAD_PRIORITY_TIME_CRITICAL;
    }
    return THREAD_PRIORITY_NORMAL;
}

} // namespace

OsThreadId CurrentOsThreadId() { return ::GetCurrentThreadId(); }

void ApplyThreadPriority(OsThreadId thread, TThreadPriority p)
{
    const ::HANDLE h = ::OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, false, static_cast<DWORD>(thread));
    if (h == nullptr)
        return; // the thread has just ended
    (void)::SetThreadPriority(h, Win32Priority(p));
    ::CloseHandle(h);
}

} // namespace platform::detail
