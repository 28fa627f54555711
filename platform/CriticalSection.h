// A recursive lock in the manner of a Windows critical section: the thread that holds it may enter it
// again, and must leave it as often as it entered. Usable with std::lock_guard (lock/unlock).
#pragma once

#include <mutex>

namespace platform {

class TCriticalSection {
public:
    void Acquire() { mutex_.lock(); }
    void Release() { mutex_.unlock(); }
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

} // namespace platform
