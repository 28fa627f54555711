#include "platform/Handles.h"

#include "platform/posix/HandleTable.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace platform {
namespace detail {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects;
    HANDLE next = 0x100;
};

HandleTable& Table()
{
    static HandleTable table;
    return table;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE h)
{
    HandleTable& t = Table();
    const std::lock_guard lock(t.mutex);
    const auto it = t.objects.find(h);
    if (it == t.objects.end())
        return nullptr;
    auto object = std::move(it->second);
    t.objects.erase(it);
    return object;
}

} // namespace

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object)
{
    HandleTable& t = Table();
    const std::lock_guard lock(t.mutex);
    const HANDLE h = t.next;
    t.next += 4;
    t.objects.emplace(h, std::move(object));
    return h;
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE h)
{
    HandleTable& t = Table();
    const std::lock_guard lock(t.mutex);
    const auto it = t.objects.find(h);
    return it == t.objects.end() ? nullptr : it->second;
}

} // namespace detail

namespace {

// All event state lives under one lock. Each waiting thread has its own condition variable and is listed
// at the events it waits for, so that setting an event wakes only the threads waiting for that event.
std::mutex& WaitMutex()
{
    static std::mutex m;
    return m;
}

struct Waiter {
    std::condition_variable cv;
};

class EventObject final : public detail::KernelObject {
public:
    EventObject(bool manualReset, bool initialState) : manualReset_(manualReset), signalled_(initialState) {}

    // The caller holds WaitMutex for these.
    bool TryConsume()
    {
        if (!signalled_)
            return false;
        if (!manualReset_)
            signalled_ = false;
        return true;
    }
    void Set(bool value)
    {
        signalled_ = value;
        if (value)
            for (Waiter* w : waiters_)
                w->cv.notify_one();
    }
    void Add(Waiter* w) { waiters_.push_back(w); }
    void Remove(Waiter* w) { std::erase(waiters_, w); }

private:
    const bool manualReset_;
    bool signalled_;
    std::vector<Waiter*> waiters_;
};

} // namespace

BOOL CloseHandle(HANDLE h)
{
    auto object = detail::RemoveHandle(h);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    object->Close();
    return true;
}

HANDLE CreateEventW(bool manualReset, bool initialState)
{
    return detail::RegisterHandle(std::make_shared<EventObject>(manualReset, initialState));
}

static BOOL ChangeEvent(HANDLE h, bool value)
{
    const auto event = detail::Lookup<EventObject>(h);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const std::lock_guard lock(WaitMutex());
    event->Set(value);
    return true;
}

BOOL SetEvent(HANDLE h) { return ChangeEvent(h, true); }
BOOL ResetEvent(HANDLE h) { return ChangeEvent(h, false); }

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds)
{
    return WaitForMultipleObjects(1, &h, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr || waitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<EventObject>> events;
    events.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto event = detail::Lookup<EventObject>(handles[i]);
        if (!event) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        events.push_back(std::move(event));
    }
    std::unique_lock lock(WaitMutex());
    for (DWORD i = 0; i < count; ++i) {
        if (events[i]->TryConsume())
            return WAIT_OBJECT_0 + i;
    }
    if (milliseconds == 0)
        return WAIT_TIMEOUT;
    Waiter waiter;
    for (const auto& e : events)
        e->Add(&waiter);
    struct Unlist {
        const std::vector<std::shared_ptr<EventObject>>& events;
        Waiter* waiter;
        ~Unlist()
        {
            for (const auto& e : events)
                e->Remove(waiter);
        }
    } unlist{events, &waiter};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        bool timedOut = false;
        if (milliseconds == INFINITE)
            waiter.cv.wait(lock);
        else
            timedOut = waiter.cv.wait_until(lock, deadline) == std::cv_status::timeout;
        for (DWORD i = 0; i < count; ++i) {
            if (events[i]->TryConsume())
                return WAIT_OBJECT_0 + i;
        }
        if (timedOut)
            return WAIT_TIMEOUT;
    }
}

DWORD GetTickCount()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<DWORD>(static_cast<uint64_t>(ms.count()));
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

} // namespace platform
