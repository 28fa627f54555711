// The serial calls straight to the Windows serial driver: our records are laid out as the system's, so
// they are copied (or, where the driver writes into them after the call returned, passed) as they are.
#include "platform/Comm.h"

#include "platform/win32/Win32.h"

#include <cstddef>
#include <cstring>

namespace platform {
namespace {

template <class Ours, class Theirs>
constexpr bool SameLayout = sizeof(Ours) == sizeof(Theirs) && alignof(Ours) == alignof(Theirs);

static_assert(SameLayout<platform::DCB, ::DCB>);
static_assert(offsetof(platform::DCB, Flags) == 8 && offsetof(::DCB, wReserved) == offsetof(platform::DCB, wReserved));
static_assert(offsetof(::DCB, XonLim) == offsetof(platform::DCB, XonLim) &&
              offsetof(::DCB, ByteSize) == offsetof(platform::DCB, ByteSize) &&
              offsetof(::DCB, EvtChar) == offsetof(platform::DCB, EvtChar) &&
              offsetof(::DCB, wReserved1) == offsetof(platform::DCB, wReserved1));
static_assert(SameLayout<platform::COMMTIMEOUTS, ::COMMTIMEOUTS>);
static_assert(SameLayout<platform::COMSTAT, ::COMSTAT> && offsetof(::COMSTAT, cbInQue) == offsetof(platform::COMSTAT, cbInQue));
static_assert(SameLayout<platform::COMMPROP, ::COMMPROP> &&
              offsetof(::COMMPROP, dwCurrentRxQueue) == offsetof(platform::COMMPROP, dwCurrentRxQueue) &&
              offsetof(::COMMPROP, wcProvChar) == offsetof(platform::COMMPROP, wcProvChar));
static_assert(SameLayout<platform::COMMCONFIG, ::COMMCONFIG> &&
              offsetof(::COMMCONFIG, dcb) == offsetof(platform::COMMCONFIG, dcb) &&
              offsetof(::COMMCONFIG, wcProviderData) == offsetof(platform::COMMCONFIG, wcProviderData));
static_assert(SameLayout<platform::OVERLAPPED, ::OVERLAPPED> &&
              offsetof(::OVERLAPPED, Internal) == offsetof(platform::OVERLAPPED, Internal) &&
              offsetof(::OVERLAPPED, InternalHigh) == offsetof(platform::OVERLAPPED, InternalHigh) &&
              offsetof(::OVERLAPPED, Offset) == offsetof(platform::OVERLAPPED, Offset) &&
              offsetof(::OVERLAPPED, hEvent) == offsetof(platform::OVERLAPPED, hEvent));
static_assert(sizeof(platform::DWORD) == sizeof(::DWORD));

using win32::Native;

// Overlapped records and result words are filled in by the driver when the operation completes, after the
// call has returned: they must be the caller's own memory, not copies.
::OVERLAPPED* Os(platform::OVERLAPPED* ov) { return reinterpret_cast<::OVERLAPPED*>(ov); }
::DWORD* Os(platform::DWORD* d) { return reinterpret_cast<::DWORD*>(d); }

template <class To, class From>
void Copy(To& to, const From& from)
{
    static_assert(sizeof(To) == sizeof(From));
    std::memcpy(static_cast<void*>(&to), static_cast<const void*>(&from), sizeof to);
}

BOOL Invalid()
{
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

} // namespace

DWORD GetPlatformId() { return VER_PLATFORM_WIN32_NT; }

// "COM3" and "\\.\COM3" name the same device; the prefix is what lets COM10 and above open at all.
HANDLE CreateFileW(const std::u16string& path, DWORD access, DWORD shareMode, DWORD creation, DWORD flags)
{
    const std::u16string device = path.rfind(u"\\\\.\\", 0) == 0 ? path : u"\\\\.\\" + path;
    const ::HANDLE h = ::CreateFileW(win32::Wide(device), access, shareMode, nullptr, creation, flags, nullptr);
    return h == win32::InvalidNative() ? INVALID_HANDLE_VALUE : win32::Ours(h);
}

BOOL GetCommState(HANDLE h, DCB* dcb)
{
    if (dcb == nullptr)
        return Invalid();
    ::DCB d{};
    d.DCBlength = sizeof d;
    if (!::GetCommState(Native(h), &d))
        return false;
    Copy(*dcb, d);
    return true;
}

BOOL SetCommState(HANDLE h, const DCB* dcb)
{
    if (dcb == nullptr)
        return Invalid();
    ::DCB d{};
    Copy(d, *dcb);
    d.DCBlength = sizeof d;
    return ::SetCommState(Native(h), &d);
}

BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue) { return ::SetupComm(Native(h), inQueue, outQueue); }

BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts)
{
    if (timeouts == nullptr)
        return Invalid();
    ::COMMTIMEOUTS t{};
    Copy(t, *timeouts);
    return ::SetCommTimeouts(Native(h), &t);
}

BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* timeouts)
{
    if (timeouts == nullptr)
        return Invalid();
    ::COMMTIMEOUTS t{};
    if (!::GetCommTimeouts(Native(h), &t))
        return false;
    Copy(*timeouts, t);
    return true;
}

BOOL SetCommMask(HANDLE h, DWORD mask) { return ::SetCommMask(Native(h), mask); }

BOOL GetCommMask(HANDLE h, DWORD* mask)
{
    if (mask == nullptr)
        return Invalid();
    return ::GetCommMask(Native(h), Os(mask));
}

BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov)
{
    if (mask == nullptr)
        return Invalid();
    return ::WaitCommEvent(Native(h), Os(mask), Os(ov));
}

BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov)
{
    return ::ReadFile(Native(h), buffer, count, Os(transferred), Os(ov));
}

BOOL WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov)
{
    return ::WriteFile(Native(h), buffer, count, Os(transferred), Os(ov));
}

BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* transferred, bool wait)
{
    if (ov == nullptr || transferred == nullptr)
        return Invalid();
    return ::GetOverlappedResult(Native(h), Os(ov), Os(transferred), wait);
}

BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat)
{
    ::COMSTAT s{};
    if (!::ClearCommError(Native(h), Os(errors), &s))
        return false;
    if (stat != nullptr)
        Copy(*stat, s);
    return true;
}

BOOL PurgeComm(HANDLE h, DWORD flags) { return ::PurgeComm(Native(h), flags); }
BOOL EscapeCommFunction(HANDLE h, DWORD function) { return ::EscapeCommFunction(Native(h), function); }

BOOL GetCommModemStatus(HANDLE h, DWORD* status)
{
    if (status == nullptr)
        return Invalid();
    return ::GetCommModemStatus(Native(h), Os(status));
}

BOOL GetCommProperties(HANDLE h, COMMPROP* prop)
{
    if (prop == nullptr)
        return Invalid();
    // The driver reads wPacketLength to know how much it may fill in.
    return ::GetCommProperties(Native(h), reinterpret_cast<::COMMPROP*>(prop));
}

// The name without the device prefix ("COM3"), as the configuration service expects it.
BOOL GetDefaultCommConfigW(const std::u16string& name, COMMCONFIG* config, DWORD* size)
{
    if (config == nullptr || size == nullptr)
        return Invalid();
    const std::u16string port = name.rfind(u"\\\\.\\", 0) == 0 ? name.substr(4) : name;
    return ::GetDefaultCommConfigW(win32::Wide(port), reinterpret_cast<::COMMCONFIG*>(config), Os(size));
}

} // namespace platform
