// The event thread of an open port: waits for the line events of the port's mask and hands each batch
// to the component, on the main thread (Sync) or on itself.
#pragma once

#include "platform/Comm.h"
#include "platform/Thread.h"
#include "serial/SerObjects.h"

#include <atomic>

namespace serial {

class TSerCustomComm;

class TSerCommEventThread : public platform::TThread {
public:
    explicit TSerCommEventThread(TSerCustomComm& AOwner); // created suspended
    ~TSerCommEventThread() override;

    bool Sync() const { return FSync; }
    void SetSync(bool Value) { FSync = Value; }
    // Asks the thread to end: sets the terminate flag and wakes it. A driver wait still pending is
    // cancelled by the thread itself before it ends, so the completion record outlives it.
    void Stop();

protected:
    void Execute() override;

private:
    void DispatchBatch();
    void CancelPendingWait(platform::OVERLAPPED& ov);

    platform::DWORD FEvtMask = 0;
    TSerWaitEvent FEvent;     // completion of the driver wait; set only by the driver
    TSerWaitEvent FStopEvent; // stop request
    TSerCustomComm& FOwner;
    bool FSync = true; // set before Start only
};

} // namespace serial
