// A thread class in the manner of the runtime's TThread: created suspended or running, Terminate/Terminated,
// priorities, WaitFor, and Synchronize into the main thread.
#pragma once

#include "platform/Handles.h"

#include <functional>
#include <memory>

namespace platform {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread {
public:
    explicit TThread(bool createSuspended);
    virtual ~TThread(); // terminates and waits if still running
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();            // starts a thread created suspended
    void Terminate();        // sets Terminated
    bool Terminated() const;
    // Waits until Execute has returned; while waiting on the main thread it keeps running queued
    // Synchronize calls (CheckSynchronize), so a worker blocked in Synchronize can finish.
    DWORD WaitFor();
    void SetPriority(TThreadPriority p); // per-thread nice value; failures ignored
    TThreadPriority Priority() const;
    bool Finished() const;
    HANDLE Handle() const;  // waitable: signalled when the thread has ended

protected:
    virtual void Execute() = 0;
    // Runs fn on the main thread and blocks until it has run. On the main thread itself it runs at once.
    // An exception thrown by fn is carried back and rethrown here.
    void Synchronize(const std::function<void()>& fn);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Marks the calling thread as the main thread (done once at start-up; the first caller of CheckSynchronize
// otherwise).
void SetMainThread();
bool IsMainThread();
// Runs every queued Synchronize call; returns true if any ran. Main thread only.
bool CheckSynchronize();
// Hook called (from any thread) when a Synchronize call was queued, so the UI loop can wake up and run
// CheckSynchronize. The UI layer installs it.
void SetSynchronizeWakeUp(std::function<void()> wakeUp);

} // namespace platform
