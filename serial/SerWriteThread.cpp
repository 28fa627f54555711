#include "serial/SerWriteThread.h"

#include "serial/SerComm.h"
#include "serial/SerDeadline.h"
#include "serial/SerExceptionReport.h"

#include <mutex>

namespace serial {

using namespace platform;

TSerCommWriteThread::TSerCommWriteThread(TSerCustomComm& AOwner, int BufSize)
    : TThread(true), FBuffer(BufSize), FOwner(AOwner)
{
}

TSerCommWriteThread::~TSerCommWriteThread()
{
    // Execute uses this object's members: end it before they go.
    Stop();
    WaitFor();
}

void TSerCommWriteThread::Stop()
{
    Terminate();
    FCloseEvent.SetEvent();
}

int TSerCommWriteThread::BufferUsed()
{
    const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
    return FBuffer.Size();
}

bool TSerCommWriteThread::WriteData(const void* Buf, int Count)
{
    if (Count < 0)
        return false;
    TSerDeadline deadline;
    bool waiting = false;
    for (;;) {
        {
            // The room check and the append are one step, so concurrent writers cannot overfill.
            const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
            if (FBuffer.Write(Buf, Count)) {
                FWriteEvent.SetEvent();
                return true;
            }
        }
        if (!waiting) {
            deadline.Start(static_cast<uint32_t>(std::max(FOwner.Buffers().WriteTimeout(), 0)));
            waiting = true;
        } else if (deadline.Expired()) {
            return false;
        }
        Sleep(1);
    }
}

bool TSerCommWriteThread::WaitFlushDone(DWORD Timeout)
{
    if (!IsMainThread())
        return WaitForSingleObject(FFlushDoneEvent.Handle(), Timeout) == WAIT_OBJECT_0;
    // On the main thread keep running queued Synchronize calls: the thread may be inside one.
    TSerDeadline deadline;
    deadline.Start(Timeout);
    for (;;) {
        if (WaitForSingleObject(FFlushDoneEvent.Handle(), 5) == WAIT_OBJECT_0)
            return true;
        CheckSynchronize();
        if (deadline.Expired())
            return false;
    }
}

void TSerCommWriteThread::PurgeWrite()
{
    if (Finished()) {
        // Nobody writes from the buffer any more.
        const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
        FBuffer.Clear();
        FWriteEvent.ResetEvent();
        return;
    }
    {
        const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
        FFlushRequested = true;
        FFlushDoneEvent.ResetEvent();
        FFlushEvent.SetEvent();
    }
    WaitFlushDone(2000);
    const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
    if (FFlushRequested) {
        // Not acknowledged in time: withdraw, so that a late flush cannot discard newer bytes.
        FFlushRequested = false;
        FFlushEvent.ResetEvent();
    }
}

void TSerCommWriteThread::FlushStep()
{
    const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
    FFlushEvent.ResetEvent();
    if (!FFlushRequested)
        return;
    FFlushRequested = false;
    FBuffer.Clear();
    FWriteEvent.ResetEvent();
    FFlushDoneEvent.SetEvent();
}

void TSerCommWriteThread::Execute()
{
    const HANDLE waits[3] = {FCloseEvent.Handle(), FFlushEvent.Handle(), FWriteEvent.Handle()};
    while (!Terminated()) {
        const DWORD r = WaitForMultipleObjects(3, waits, false, INFINITE);
        if (r == WAIT_OBJECT_0 + 1)
            FlushStep();
        else if (r == WAIT_OBJECT_0 + 2)
            DoWrite();
        else
            Terminate(); // stop request, or the wait itself failed
    }
}

void TSerCommWriteThread::DoWrite()
{
    const uint8_t* data = nullptr;
    int size = 0;
    {
        const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
        data = FBuffer.DataPtr();
        size = FBuffer.Size();
    }
    if (size == 0) {
        CompletionStep(0);
        return;
    }
    // The driver reads [data, data + size) while writers may append behind it; nothing else moves or
    // clears those bytes until this write has completed or been cancelled.
    const HANDLE h = FOwner.Handle();
    OVERLAPPED ov{};
    ov.hEvent = FOverlappedEvent.Handle();
    DWORD written = 0;
    if (WriteFile(h, data, static_cast<DWORD>(size), &written, &ov)) {
        CompletionStep(written);
        return;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        DoWriteError();
        return;
    }
    const HANDLE waits[3] = {FCloseEvent.Handle(), FFlushEvent.Handle(), FOverlappedEvent.Handle()};
    const DWORD r = WaitForMultipleObjects(3, waits, false, INFINITE);
    if (r == WAIT_OBJECT_0 + 2) {
        if (GetOverlappedResult(h, &ov, &written, true))
            CompletionStep(written);
        else
            DoWriteError();
        return;
    }
    // Stop or flush while the write is pending: cancel it and wait until the driver has let go of the
    // record and the buffer.
    PurgeComm(h, PURGE_TXABORT);
    written = 0;
    GetOverlappedResult(h, &ov, &written, true);
    {
        const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
        FBuffer.Remove(static_cast<int>(std::min<DWORD>(written, static_cast<DWORD>(size))));
    }
    if (r == WAIT_OBJECT_0 + 1)
        FlushStep();
    else
        Terminate();
}

void TSerCommWriteThread::CompletionStep(DWORD Written)
{
    bool empty = false;
    {
        // Checking for more data and resetting the signal happen under the lock that appends take, so
        // an append's signal is never lost.
        const std::lock_guard<TSerCriticalSection> guard(FOwner.FWriteSection);
        FBuffer.Remove(static_cast<int>(std::min<DWORD>(Written, static_cast<DWORD>(FBuffer.Size()))));
        empty = FBuffer.Size() == 0;
        if (empty)
            FWriteEvent.ResetEvent();
        else
            FWriteEvent.SetEvent();
    }
    if (empty)
        DoTxEmpty();
}

void TSerCommWriteThread::DoTxEmpty()
{
    Deliver(EV_TXEMPTY);
}

void TSerCommWriteThread::DoWriteError()
{
    Deliver(EV_ERR);
    // The bytes stay queued and are tried again; pause briefly so a dead line does not spin the thread,
    // while a stop or flush request still ends the pause at once.
    const HANDLE waits[2] = {FCloseEvent.Handle(), FFlushEvent.Handle()};
    WaitForMultipleObjects(2, waits, false, 50);
}

void TSerCommWriteThread::Deliver(int Events)
{
    try {
        if (FSync)
            Synchronize([this, Events] { FOwner.HandleEvents(Events); });
        else
            FOwner.HandleEvents(Events);
    } catch (const std::exception& e) {
        // A failing handler is reported; the thread keeps draining the buffer.
        HandleException(e);
    }
}

} // namespace serial
