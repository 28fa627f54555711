// The write thread of an open port: drains the output buffer to the driver and reports an emptied
// buffer (OnTxEmpty) and failed writes.
#pragma once

#include "platform/Comm.h"
#include "platform/Thread.h"
#include "serial/SerCommBuffer.h"
#include "serial/SerObjects.h"

namespace serial {

class TSerCustomComm;

class TSerCommWriteThread : public platform::TThread {
public:
    // Created suspended, with an output buffer of BufSize bytes.
    TSerCommWriteThread(TSerCustomComm& AOwner, int BufSize);
    ~TSerCommWriteThread() override;

    bool Sync() const { return FSync; }
    void SetSync(bool Value) { FSync = Value; }

    // Appends the bytes when they fit, waiting up to the port's WriteTimeout for room; false otherwise.
    bool WriteData(const void* Buf, int Count);
    // Discards the unsent bytes: the thread cancels a write in progress, empties the buffer and
    // acknowledges; waits up to 2000 ms for that.
    void PurgeWrite();
    // Bytes waiting in the buffer (takes the write lock).
    int BufferUsed();
    void Stop();

protected:
    void Execute() override;

private:
    void DoWrite();
    void CompletionStep(platform::DWORD Written);
    void FlushStep();
    void DoTxEmpty();
    void DoWriteError();
    void Deliver(int Events);
    bool WaitFlushDone(platform::DWORD Timeout);

    TSerCommBuffer FBuffer;      // guarded by the owner's FWriteSection
    TSerWaitEvent FWriteEvent;   // set exactly while unsent bytes wait (changed under FWriteSection)
    TSerWaitEvent FCloseEvent;
    TSerWaitEvent FFlushEvent;
    TSerWaitEvent FFlushDoneEvent;
    TSerWaitEvent FOverlappedEvent;
    TSerCustomComm& FOwner;
    bool FSync = true;            // set before Start only
    bool FFlushRequested = false; // guarded by FWriteSection; a purge withdraws its request on time-out
};

} // namespace serial
