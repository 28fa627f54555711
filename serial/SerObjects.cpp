#include "serial/SerObjects.h"

#include "platform/WinError.h"
#include "serial/SerFormat.h"
#include "serial/SerTypes.h"

namespace serial {

using namespace platform;

TSerHandleObject::~TSerHandleObject()
{
    if (FHandle != INVALID_HANDLE_VALUE && FHandle != 0)
        CloseHandle(FHandle);
}

TSerEvent::TSerEvent(const void* /*EventAttributes*/, bool ManualReset, bool InitialState, const Text& /*Name*/)
{
    const HANDLE h = CreateEventW(ManualReset, InitialState);
    if (h == 0 || h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        throw ESerCommError(FormatMessage("Error creating event (%d), %s",
                                          {int64_t(err), SysErrorMessage(err)}));
    }
    FHandle = h;
}

TSerEventWaitResult TSerEvent::WaitFor(DWORD Timeout)
{
    switch (WaitForSingleObject(FHandle, Timeout)) {
    case WAIT_OBJECT_0:
        return TSerEventWaitResult::wrSignaled;
    case WAIT_TIMEOUT:
        return TSerEventWaitResult::wrTimeout;
    case WAIT_ABANDONED_0:
        return TSerEventWaitResult::wrAbandoned;
    case WAIT_FAILED:
        FError = GetLastError();
        return TSerEventWaitResult::wrError;
    default:
        return TSerEventWaitResult::wrError;
    }
}

void TSerEvent::SetEvent()
{
    platform::SetEvent(FHandle);
}

void TSerEvent::ResetEvent()
{
    platform::ResetEvent(FHandle);
}

TSerWaitEvent::TSerWaitEvent() : TSerEvent(nullptr, true, false, Text()) {}

} // namespace serial
