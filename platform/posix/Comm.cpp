#include "platform/Comm.h"

#include "platform/posix/SerialDeviceMap.h"
#include "platform/posix/SerialPort.h"

#include <sys/stat.h>

namespace platform {
namespace {

std::shared_ptr<SerialPort> Port(HANDLE h)
{
    auto port = detail::Lookup<SerialPort>(h);
    if (!port)
        SetLastError(ERROR_INVALID_HANDLE);
    return port;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

} // namespace

DWORD GetPlatformId() { return VER_PLATFORM_WIN32_NT; }

HANDLE CreateFileW(const std::u16string& path, DWORD /*access*/, DWORD /*shareMode*/, DWORD /*creation*/,
                   DWORD /*flags*/)
{
    const auto node = SerialDeviceNode(path);
    if (!node) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto port = SerialPort::Open(*node);
    if (!port)
        return INVALID_HANDLE_VALUE;
    return detail::RegisterHandle(std::move(port));
}

BOOL GetCommState(HANDLE h, DCB* dcb)
{
    const auto port = Port(h);
    if (!port)
        return false;
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return port->GetState(*dcb);
}

BOOL SetCommState(HANDLE h, const DCB* dcb)
{
    const auto port = Port(h);
    if (!port)
        return false;
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return port->SetState(*dcb);
}

BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue)
{
    const auto port = Port(h);
    return port ? port->Setup(inQueue, outQueue) : false;
}

BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts)
{
    const auto port = Port(h);
    if (!port)
        return false;
    if (timeouts == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return port->SetTimeouts(*timeouts);
}

BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* timeouts)
{
    const auto port = Port(h);
    if (!port)
        return false;
    if (timeouts == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return port->GetTimeouts(*timeouts);
}

BOOL SetCommMask(HANDLE h, DWORD mask)
{
    const auto port = Port(h);
    return port ? port->SetMask(mask) : false;
}

BOOL GetCommMask(HANDLE h, DWORD* mask)
{
    const auto port = Port(h);
    if (!port)
        return false;
    if (mask == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return port->GetMask(*mask);
}

BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov)
{
    const auto port = Port(h);
    return port ? port->WaitEvent(mask, ov) : false;
}

BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov)
{
    const auto port = Port(h);
    return port ? port->Read(buffer, count, transferred, ov) : false;
}

BOOL WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov)
{
    const auto port = Port(h);
    return port ? port->Write(buffer, count, transferred, ov) : false;
}

BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* transferred, bool wait)
{
    if (ov == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const auto port = Port(h);
    if (!port)
        return false;
    return port->Result(ov, transferred, wait);
}

BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat)
{
    const auto port = Port(h);
    return port ? port->ClearError(errors, stat) : false;
}

BOOL PurgeComm(HANDLE h, DWORD flags)
{
    const auto port = Port(h);
    return port ? port->Purge(flags) : false;
}

BOOL EscapeCommFunction(HANDLE h, DWORD function)
{
    const auto port = Port(h);
    return port ? port->Escape(function) : false;
}

BOOL GetCommModemStatus(HANDLE h, DWORD* status)
{
    const auto port = Port(h);
    if (!port)
        return false;
    if (status == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return port->ModemStatus(*status);
}

BOOL GetCommProperties(HANDLE h, COMMPROP* prop)
{
    const auto port = Port(h);
    if (!port)
        return false;
    if (prop == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return port->Properties(*prop);
}

BOOL GetDefaultCommConfigW(const std::u16string& name, COMMCONFIG* config, DWORD* size)
{
    if (size == nullptr || config == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (*size < sizeof(COMMCONFIG)) {
        *size = static_cast<DWORD>(sizeof(COMMCONFIG));
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const auto node = SerialDeviceNode(name);
    struct stat st {};
    if (!node || ::stat(node->c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return Fail(ERROR_FILE_NOT_FOUND);
    // What a serial port starts as: 9600 bit/s, 8 data bits, no parity, one stop bit, binary mode,
    // DTR and RTS on, no handshake, XON/XOFF characters 17 and 19.
    *config = COMMCONFIG{};
    config->dwSize = static_cast<DWORD>(sizeof(COMMCONFIG));
    config->wVersion = 1;
    config->dwProviderSubType = 1; // PST_RS232
    DCB& dcb = config->dcb;
    dcb.DCBlength = 28;
    dcb.BaudRate = 9600;
    dcb.Flags = 1u | (1u << 4) | (1u << 12);
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    *size = static_cast<DWORD>(sizeof(COMMCONFIG));
    return true;
}

} // namespace platform
