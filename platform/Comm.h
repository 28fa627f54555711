// Serial communications with the Windows serial driver's interface, on a POSIX driver thread per port.
// Devices are named "\\.\COMn" (or "COMn"); the device map says which device node each name stands for.
#pragma once

#include "platform/Handles.h"

#include <string>
#include <utility>
#include <vector>

namespace platform {

// The line configuration. Field order and meaning as the Windows DCB; the bit fields are kept as one
// 32-bit flag word (bit 0 binary, 1 parity, 2 CTS flow, 3 DSR flow, 4-5 DTR control, 6 DSR sensitivity,
// 7 TX continue on XOFF, 8 XON/XOFF out, 9 XON/XOFF in, 10 error char, 11 null strip, 12-13 RTS control,
// 14 abort on error).
struct DCB {
    DWORD DCBlength = 28;
    DWORD BaudRate = 0;
    DWORD Flags = 0;
    WORD wReserved = 0;
    WORD XonLim = 0;
    WORD XoffLim = 0;
    BYTE ByteSize = 0;
    BYTE Parity = 0;
    BYTE StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    WORD wReserved1 = 0;
};

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

// ClearCommError's status; Flags bit 0 CTS hold, 1 DSR hold, 2 RLSD hold, 3 XOFF hold, 4 XOFF sent,
// 5 EOF, 6 TX immediate.
struct COMSTAT {
    DWORD Flags = 0;
    DWORD cbInQue = 0;
    DWORD cbOutQue = 0;
};

struct COMMPROP {
    WORD wPacketLength = 0;
    WORD wPacketVersion = 0;
    DWORD dwServiceMask = 0;
    DWORD dwReserved1 = 0;
    DWORD dwMaxTxQueue = 0;
    DWORD dwMaxRxQueue = 0;
    DWORD dwMaxBaud = 0;
    DWORD dwProvSubType = 0;
    DWORD dwProvCapabilities = 0;
    DWORD dwSettableParams = 0;
    DWORD dwSettableBaud = 0;
    WORD wSettableData = 0;
    WORD wSettableStopParity = 0;
    DWORD dwCurrentTxQueue = 0;
    DWORD dwCurrentRxQueue = 0;
    DWORD dwProvSpec1 = 0;
    DWORD dwProvSpec2 = 0;
    char16_t wcProvChar[1] = {};
};

struct COMMCONFIG {
    DWORD dwSize = 52;
    WORD wVersion = 0;
    WORD wReserved = 0;
    DCB dcb;
    DWORD dwProviderSubType = 0;
    DWORD dwProviderOffset = 0;
    DWORD dwProviderSize = 0;
    char16_t wcProviderData[1] = {};
};
static_assert(sizeof(DCB) == 28 && sizeof(COMMCONFIG) == 52, "record sizes as the Windows records");

// Completion record of an overlapped operation. hEvent is a manual-reset event that the operation resets
// when it starts and sets when it completes. The record and the buffer must stay valid until then, or until
// the operation was cancelled (PurgeComm with an abort flag, SetCommMask for a wait, CloseHandle).
struct OVERLAPPED {
    uintptr_t Internal = 0;      // status: 0 done, ERROR_IO_PENDING while pending, else the error
    uintptr_t InternalHigh = 0;  // bytes transferred / event mask result
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    HANDLE hEvent = 0;
};

// Event mask bits.
enum : DWORD {
    EV_RXCHAR = 0x0001,
    EV_RXFLAG = 0x0002,
    EV_TXEMPTY = 0x0004,
    EV_CTS = 0x0008,
    EV_DSR = 0x0010,
    EV_RLSD = 0x0020,
    EV_BREAK = 0x0040,
    EV_ERR = 0x0080,
    EV_RING = 0x0100,
    EV_PERR = 0x0200,
    EV_RX80FULL = 0x0400,
    EV_EVENT1 = 0x0800,
    EV_EVENT2 = 0x1000,
};

// Line errors of ClearCommError.
enum : DWORD {
    CE_RXOVER = 0x0001,
    CE_OVERRUN = 0x0002,
    CE_RXPARITY = 0x0004,
    CE_FRAME = 0x0008,
    CE_BREAK = 0x0010,
    CE_TXFULL = 0x0100,
};

// PurgeComm flags.
enum : DWORD {
    PURGE_TXABORT = 0x0001,
    PURGE_RXABORT = 0x0002,
    PURGE_TXCLEAR = 0x0004,
    PURGE_RXCLEAR = 0x0008,
};

// EscapeCommFunction codes.
enum : DWORD {
    SETXOFF = 1,
    SETXON = 2,
    SETRTS = 3,
    CLRRTS = 4,
    SETDTR = 5,
    CLRDTR = 6,
    RESETDEV = 7,
    SETBREAK = 8,
    CLRBREAK = 9,
};

// GetCommModemStatus bits.
enum : DWORD {
    MS_CTS_ON = 0x0010,
    MS_DSR_ON = 0x0020,
    MS_RING_ON = 0x0040,
    MS_RLSD_ON = 0x0080,
};

// CreateFileW's flags as the serial component uses them.
enum : DWORD {
    GENERIC_READ = 0x80000000u,
    GENERIC_WRITE = 0x40000000u,
    OPEN_EXISTING = 3,
    FILE_FLAG_OVERLAPPED = 0x40000000u,
};

// Platform identification: POSIX reports the NT family, so device paths carry the "\\.\" prefix.
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
DWORD GetPlatformId();

// Opens a serial device exclusively. Only devices (paths resolving through the device map) are supported.
// Fails with 2 for a name without a node and 5 for a busy port.
HANDLE CreateFileW(const std::u16string& path, DWORD access, DWORD shareMode, DWORD creation, DWORD flags);

BOOL GetCommState(HANDLE h, DCB* dcb);
BOOL SetCommState(HANDLE h, const DCB* dcb);
BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue);
BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts);
BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* timeouts);
BOOL SetCommMask(HANDLE h, DWORD mask);
BOOL GetCommMask(HANDLE h, DWORD* mask);
// Overlapped: returns false with ERROR_IO_PENDING while pending; *mask is written when the wait completes.
BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov);
// Overlapped read/write. A read completes at once with what is queued (under the component's time-outs);
// a write completes when the bytes have been handed to the line.
BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov);
BOOL WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* transferred, OVERLAPPED* ov);
BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* transferred, bool wait);
BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat);
BOOL PurgeComm(HANDLE h, DWORD flags);
BOOL EscapeCommFunction(HANDLE h, DWORD function);
BOOL GetCommModemStatus(HANDLE h, DWORD* status);
BOOL GetCommProperties(HANDLE h, COMMPROP* prop);
BOOL GetDefaultCommConfigW(const std::u16string& name, COMMCONFIG* config, DWORD* size);

// The device map: port names (normally "COMn") with their device nodes, in map order. Read from the file
// that SONDRAL_COM_MAP names, otherwise built from /sys/class/tty (see the README).
std::vector<std::pair<std::string, std::string>> SerialDeviceMap();

} // namespace platform
