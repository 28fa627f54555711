#include "platform/Thread.h"

#include "platform/ThreadPriority.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {
namespace {

// One queued Synchronize call; it lives on the stack of the worker that waits for it.
struct SyncRequest {
    const std::function<void()>* fn = nullptr;
    std::exception_ptr error;
    bool done = false;
};

// The cross-thread call queue of the main thread.
struct SyncQueue {
    std::mutex mutex;
    std::condition_variable doneCv;
    std::deque<SyncRequest*> queue;
    std::optional<std::thread::id> mainThread;
    std::function<void()> wakeUp;
    // Auto-reset event set whenever a call is queued, so that WaitFor on the main thread wakes up for it.
    HANDLE queuedEvent = CreateEventW(false, false);
};

SyncQueue& Sync()
{
    static SyncQueue q;
    return q;
}

} // namespace

struct TThread::State {
    std::mutex mutex; // guards thread (start and join)
    std::thread thread;
    std::thread::id id;
    HANDLE done = CreateEventW(true, false);
    std::atomic<bool> started{false};
    std::atomic<bool> terminated{false};
    std::atomic<bool> finished{false};
    std::atomic<TThreadPriority> priority{TThreadPriority::tpNormal};
    std::atomic<detail::OsThreadId> tid{0};
    std::atomic<DWORD> returnValue{0};
    std::exception_ptr fatal; // written by the thread before `done` is set
};

TThread::TThread(bool /*createSuspended*/) : state_(std::make_unique<State>()) {}

TThread::~TThread()
{
    Terminate();
    WaitFor();
    CloseHandle(state_->done);
}

void TThread::Start()
{
    const std::lock_guard lock(state_->mutex);
    if (state_->started.exchange(true))
        return;
    state_->thread = std::thread([this] {
        State& s = *state_;
        s.tid = detail::CurrentOsThreadId();
        const TThreadPriority p = s.priority;
        if (p != TThreadPriority::tpNormal)
            detail::ApplyThreadPriority(s.tid, p);
        try {
            Execute();
        } catch (...) {
            s.fatal = std::current_exception();
        }
        s.finished = true;
        SetEvent(s.done);
    });
    state_->id = state_->thread.get_id();
}

void TThread::Terminate() { state_->terminated = true; }
bool TThread::Terminated() const { return state_->terminated; }
bool TThread::Finished() const { return state_->finished; }
HANDLE TThread::Handle() const { return state_->done; }
TThreadPriority TThread::Priority() const { return state_->priority; }
void TThread::SetReturnValue(DWORD value) { state_->returnValue = value; }

std::exception_ptr TThread::FatalException() const
{
    return state_->finished ? state_->fatal : nullptr;
}

void TThread::SetPriority(TThreadPriority p)
{
    state_->priority = p;
    const detail::OsThreadId tid = state_->tid;
    if (tid != 0 && !state_->finished)
        detail::ApplyThreadPriority(tid, p);
}

DWORD TThread::WaitFor()
{
    State& s = *state_;
    if (!s.started)
        return s.returnValue;
    {
        const std::lock_guard lock(s.mutex);
        if (s.id == std::this_thread::get_id())
            return s.returnValue;
    }
    if (IsMainThread()) {
        const HANDLE handles[2] = {s.done, Sync().queuedEvent};
        while (WaitForMultipleObjects(2, handles, false, INFINITE) != WAIT_OBJECT_0)
            CheckSynchronize();
        CheckSynchronize(); // a call queued just before the end may still wait for its result
    } else {
        WaitForSingleObject(s.done, INFINITE);
    }
    const std::lock_guard lock(s.mutex);
    if (s.thread.joinable())
        s.thread.join();
    return s.returnValue;
}

void TThread::Synchronize(const std::function<void()>& fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    SyncQueue& q = Sync();
    SyncRequest request;
    request.fn = &fn;
    std::function<void()> wakeUp;
    {
        const std::lock_guard lock(q.mutex);
        q.queue.push_back(&request);
        wakeUp = q.wakeUp;
    }
    SetEvent(q.queuedEvent);
    if (wakeUp)
        wakeUp();
    {
        std::unique_lock lock(q.mutex);
        q.doneCv.wait(lock, [&] { return request.done; });
    }
    if (request.error)
        std::rethrow_exception(request.error);
}

void SetMainThread()
{
    SyncQueue& q = Sync();
    const std::lock_guard lock(q.mutex);
    q.mainThread = std::this_thread::get_id();
}

bool IsMainThread()
{
    SyncQueue& q = Sync();
    const std::lock_guard lock(q.mutex);
    return q.mainThread && *q.mainThread == std::this_thread::get_id();
}

bool CheckSynchronize()
{
    SyncQueue& q = Sync();
    std::deque<SyncRequest*> batch;
    {
        const std::lock_guard lock(q.mutex);
        if (!q.mainThread)
            q.mainThread = std::this_thread::get_id();
        if (*q.mainThread != std::this_thread::get_id())
            return false;
        batch.swap(q.queue);
    }
    for (SyncRequest* r : batch) {
        try {
            (*r->fn)();
        } catch (...) {
            r->error = std::current_exception();
        }
        const std::lock_guard lock(q.mutex);
        r->done = true;
        q.doneCv.notify_all();
    }
    return !batch.empty();
}

void SetSynchronizeWakeUp(std::function<void()> wakeUp)
{
    SyncQueue& q = Sync();
    const std::lock_guard lock(q.mutex);
    q.wakeUp = std::move(wakeUp);
}

} // namespace platform
