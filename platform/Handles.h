// Kernel-object handles: the pointer-sized values through which events, threads and devices are named,
// closed and waited for, with the Windows calling conventions the system was designed against.
#pragma once

#include "platform/WinError.h"

#include <cstdint>

namespace platform {

using HANDLE = uintptr_t;
using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;

inline constexpr HANDLE INVALID_HANDLE_VALUE = ~HANDLE(0);
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED_0 = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Closes any handle (event, thread handle, device). False with ERROR_INVALID_HANDLE for an unknown one.
BOOL CloseHandle(HANDLE h);

// Manual- or auto-reset events. Name is ignored (unnamed events only).
HANDLE CreateEventW(bool manualReset, bool initialState);
BOOL SetEvent(HANDLE h);
BOOL ResetEvent(HANDLE h);

// Waits for an event or a thread handle (signalled when the thread has ended).
// Returns WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (last error set).
DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds);
// Waits for the first of several; the lowest signalled index wins. Only waitAll = false is supported.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds);

// Milliseconds since an arbitrary start, wrapping at 2^32 as the Windows tick count does.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

} // namespace platform
