// A thread class in the manner of the runtime's TThread: created suspended or running, Terminate/Terminated,
// priorities, WaitFor, and Synchronize into the main thread.
#pragma once

#include "platform/Handles.h"

#include <exception>
#include <functional>
#include <memory>

namespace platform {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// C++ cannot run a derived class's Execute before its constructor has finished, so the thread only ever
// starts in Start(): a class constructed with createSuspended = false calls Start() at the end of its own
// constructor. A derived class whose Execute uses its own members stops and waits for the thread in its own
// destructor; the base destructor does so only as a last resort.
class TThread {
public:
    explicit TThread(bool createSuspended);
    virtual ~TThread(); // terminates and waits if still running
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();            // starts the thread; later calls do nothing
    void Terminate();        // sets Terminated
    bool Terminated() const;
    // Waits until Execute has returned; while waiting on the main thread it keeps running queued
    // Synchronize calls (CheckSynchronize), so a worker blocked in Synchronize can finish. Returns the value
    // Execute set with SetReturnValue; returns at once for a thread never started or called on itself.
    DWORD WaitFor();
    void SetPriority(TThreadPriority p); // per-thread nice value; failures ignored
    TThreadPriority Priority() const;
    bool Finished() const;
    HANDLE Handle() const;  // waitable: signalled when the thread has ended
    // The exception that escaped Execute, if any (the thread ends then).
    std::exception_ptr FatalException() const;

protected:
    virtual void Execute() = 0;
    // Runs fn on the main thread and blocks until it has run. On the main thread itself it runs at once.
    // An exception thrown by fn is carried back and rethrown here.
    void Synchronize(const std::function<void()>& fn);
    void SetReturnValue(DWORD value);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Marks the calling thread as the main thread (done once at start-up; the first caller of CheckSynchronize
// otherwise). Until a main thread exists, Synchronize calls wait in the queue.
void SetMainThread();
bool IsMainThread();
// Runs every queued Synchronize call; returns true if any ran. Main thread only.
bool CheckSynchronize();
// Hook called (from any thread) when a Synchronize call was queued, so the UI loop can wake up and run
// CheckSynchronize. The UI layer installs it.
void SetSynchronizeWakeUp(std::function<void()> wakeUp);

} // namespace platform
