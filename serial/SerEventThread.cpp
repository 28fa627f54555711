#include "serial/SerEventThread.h"

#include "serial/SerComm.h"
#include "serial/SerExceptionReport.h"

namespace serial {

using namespace platform;

TSerCommEventThread::TSerCommEventThread(TSerCustomComm& AOwner) : TThread(true), FOwner(AOwner) {}

TSerCommEventThread::~TSerCommEventThread()
{
    // Execute uses this object's members: end it before they go.
    Stop();
    WaitFor();
}

void TSerCommEventThread::Stop()
{
    Terminate();
    FStopEvent.SetEvent();
}

void TSerCommEventThread::CancelPendingWait(OVERLAPPED& ov)
{
    // SetCommMask completes a pending wait (with mask 0); then wait for the completion so that the driver
    // is done with the record and FEvtMask before they go away.
    SetCommMask(FOwner.Handle(), FOwner.EventMask());
    DWORD unused = 0;
    GetOverlappedResult(FOwner.Handle(), &ov, &unused, true);
}

void TSerCommEventThread::Execute()
{
    const HANDLE waits[2] = {FStopEvent.Handle(), FEvent.Handle()};
    while (!Terminated()) {
        OVERLAPPED ov{};
        ov.hEvent = FEvent.Handle();
        FEvtMask = 0;
        if (WaitCommEvent(FOwner.Handle(), &FEvtMask, &ov)) {
            DispatchBatch();
            continue;
        }
        if (GetLastError() != ERROR_IO_PENDING) {
            // The wait could not be started: idle until stopped instead of spinning.
            WaitForSingleObject(FStopEvent.Handle(), INFINITE);
            continue;
        }
        const DWORD r = WaitForMultipleObjects(2, waits, false, INFINITE);
        if (r == WAIT_OBJECT_0 + 1) {
            DWORD unused = 0;
            if (GetOverlappedResult(FOwner.Handle(), &ov, &unused, false))
                DispatchBatch();
            else
                FEvent.ResetEvent();
        } else {
            // Stop requested (or the wait failed): the driver wait must not outlive ov.
            CancelPendingWait(ov);
            if (r != WAIT_OBJECT_0)
                WaitForSingleObject(FStopEvent.Handle(), INFINITE);
        }
    }
}

void TSerCommEventThread::DispatchBatch()
{
    if (Terminated())
        return;
    const DWORD mask = FEvtMask;
    if (mask != 0) {
        if (FSync) {
            try {
                Synchronize([this, mask] { FOwner.ProcessEvents(mask); });
            } catch (const std::exception& e) {
                HandleException(e); // ProcessEvents reports its own; this is a failure of the call itself
            }
        } else {
            FOwner.ProcessEvents(mask);
        }
    }
    FEvent.ResetEvent();
}

} // namespace serial
