#include "serial/SerExceptionReport.h"

#include <cstdio>
#include <mutex>

namespace serial {

namespace {

std::mutex& HandlerLock()
{
    static std::mutex lock;
    return lock;
}

TSerExceptionHandler& InstalledHandler()
{
    static TSerExceptionHandler handler;
    return handler;
}

} // namespace

void SetExceptionHandler(TSerExceptionHandler Handler)
{
    const std::lock_guard<std::mutex> guard(HandlerLock());
    InstalledHandler() = std::move(Handler);
}

void HandleException(const std::exception& E)
{
    TSerExceptionHandler handler;
    {
        const std::lock_guard<std::mutex> guard(HandlerLock());
        handler = InstalledHandler();
    }
    try {
        if (handler) {
            handler(E);
            return;
        }
    } catch (...) {
        // A failing report must not take the reporting thread down; fall back to standard error.
    }
    std::fprintf(stderr, "%s\n", E.what());
}

} // namespace serial
