// Thin owners of the platform's kernel objects: handles, events and the recursive lock.
#pragma once

#include "platform/Handles.h"
#include "platform/Text.h"

#include <mutex>

namespace serial {

// Owns one system handle and closes it when destroyed.
class TSerHandleObject {
public:
    TSerHandleObject() = default;
    virtual ~TSerHandleObject();
    TSerHandleObject(const TSerHandleObject&) = delete;
    TSerHandleObject& operator=(const TSerHandleObject&) = delete;

    platform::HANDLE Handle() const { return FHandle; }
    // The system error of the last failed wait.
    platform::DWORD Error() const { return FError; }

protected:
    platform::HANDLE FHandle = platform::INVALID_HANDLE_VALUE;
    platform::DWORD FError = 0;
};

enum class TSerEventWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

class TSerEvent : public TSerHandleObject {
public:
    // EventAttributes and Name are accepted for the shape of the call; events are unnamed.
    TSerEvent(const void* EventAttributes, bool ManualReset, bool InitialState, const platform::Text& Name);

    TSerEventWaitResult WaitFor(platform::DWORD Timeout);
    void SetEvent();
    void ResetEvent();
};

// An unnamed manual-reset event that starts not signalled.
class TSerWaitEvent : public TSerEvent {
public:
    TSerWaitEvent();
};

// One recursive lock. Also usable with std::lock_guard (lock/unlock).
class TSerCriticalSection {
public:
    void Acquire() { FSection.lock(); }
    void Release() { FSection.unlock(); }
    void Enter() { Acquire(); }
    void Leave() { Release(); }
    void lock() { Acquire(); }
    void unlock() { Release(); }

private:
    std::recursive_mutex FSection;
};

} // namespace serial
