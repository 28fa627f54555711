#include "platform/Handles.h"

#include "platform/win32/Win32.h"

namespace platform {

using win32::Native;
using win32::Ours;

BOOL CloseHandle(HANDLE h) { return ::CloseHandle(Native(h)); }

HANDLE CreateEventW(bool manualReset, bool initialState)
{
    const ::HANDLE h = ::CreateEventW(nullptr, manualReset, initialState, nullptr);
    return h == nullptr ? 0 : Ours(h);
}

BOOL SetEvent(HANDLE h) { return ::SetEvent(Native(h)); }
BOOL ResetEvent(HANDLE h) { return ::ResetEvent(Native(h)); }

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) { return ::WaitForSingleObject(Native(h), milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr || waitAll) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    ::HANDLE native[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i)
        native[i] = Native(handles[i]);
    return ::WaitForMultipleObjects(count, native, false, milliseconds);
}

DWORD GetTickCount() { return ::GetTickCount(); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

} // namespace platform
