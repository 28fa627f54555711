#include "platform/CriticalSection.h"
#include "platform/Handles.h"
#include "platform/Thread.h"

#include "ThreadPriorityProbe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>


using namespace platform;

namespace {

TEST(EventTest, ManualAndAutoResetAndLowestSignalledIndexWins)
{
    const HANDLE manual = CreateEventW(true, false);
    const HANDLE automatic = CreateEventW(false, true);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT); // consumed by the first wait
    ASSERT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0); // stays signalled
    ASSERT_TRUE(SetEvent(automatic));
    const HANDLE both[2] = {automatic, manual};
    EXPECT_EQ(WaitForMultipleObjects(2, both, false, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, both, false, 0), WAIT_OBJECT_0 + 1);
    ASSERT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForMultipleObjects(2, both, false, 20), WAIT_TIMEOUT);

    // A wait ends when another thread sets the event.
    std::thread setter([&] {
        Sleep(20);
        SetEvent(manual);
    });
    EXPECT_EQ(WaitForMultipleObjects(2, both, false, INFINITE), WAIT_OBJECT_0 + 1);
    setter.join();

    EXPECT_TRUE(CloseHandle(manual));
    EXPECT_TRUE(CloseHandle(automatic));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(manual));
}

TEST(EventTest, TickCountAdvancesWithSleep)
{
    const DWORD start = GetTickCount();
    Sleep(30);
    // The tick count moves in steps of the system's timer (up to about 16 ms on Windows), so it may show
    // up to one step less than the time slept.
    EXPECT_GE(static_cast<DWORD>(GetTickCount() - start) + 16u, 30u);
}

TEST(CriticalSectionTest, OwnerMayEnterAgainOthersMayNot)
{
    TCriticalSection cs;
    cs.Enter();
    cs.Acquire();
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = cs.TryEnter(); }).join();
    EXPECT_FALSE(otherGotIt);
    cs.Release();
    std::thread([&] { otherGotIt = cs.TryEnter(); }).join();
    EXPECT_FALSE(otherGotIt); // still held once
    cs.Leave();
    std::thread([&] {
        otherGotIt = cs.TryEnter();
        if (otherGotIt)
            cs.Leave();
    }).join();
    EXPECT_TRUE(otherGotIt);
}

class Worker : public TThread {
public:
    explicit Worker(std::function<void(Worker&)> body) : TThread(true), body_(std::move(body)) {}
    ~Worker() override { WaitFor(); }
    using TThread::Synchronize;
    using TThread::SetReturnValue;

private:
    void Execute() override { body_(*this); }
    std::function<void(Worker&)> body_;
};

class ThreadTest : public ::testing::Test {
protected:
    void SetUp() override { SetMainThread(); }
};

TEST_F(ThreadTest, SynchronizeRunsOnTheMainThreadWhileItWaitsForTheWorker)
{
    const auto mainId = std::this_thread::get_id();
    std::atomic<int> ranOnMain{0};
    Worker w([&](Worker& self) {
        for (int i = 0; i < 3; ++i)
            self.Synchronize([&] {
                if (std::this_thread::get_id() == mainId)
                    ++ranOnMain;
            });
        self.SetReturnValue(7);
    });
    EXPECT_EQ(WaitForSingleObject(w.Handle(), 0), WAIT_TIMEOUT);
    w.Start();
    // No CheckSynchronize here: WaitFor itself must run the worker's calls, or this would deadlock.
    EXPECT_EQ(w.WaitFor(), 7u);
    EXPECT_EQ(ranOnMain, 3);
    EXPECT_TRUE(w.Finished());
    EXPECT_EQ(WaitForSingleObject(w.Handle(), 0), WAIT_OBJECT_0);
}

TEST_F(ThreadTest, SynchronizeCarriesExceptionsBackAndWakesTheLoop)
{
    std::atomic<int> wakeUps{0};
    SetSynchronizeWakeUp([&] { ++wakeUps; });
    std::string caught;
    Worker w([&](Worker& self) {
        try {
            self.Synchronize([] { throw std::runtime_error("from main"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        while (!self.Terminated())
            Sleep(1);
    });
    w.Start();
    while (!CheckSynchronize())
        Sleep(1);
    w.Terminate();
    w.WaitFor();
    SetSynchronizeWakeUp(nullptr);
    EXPECT_EQ(caught, "from main");
    EXPECT_EQ(wakeUps, 1);
    EXPECT_FALSE(CheckSynchronize());
}

// tpLowest is nice value 10 on POSIX, THREAD_PRIORITY_LOWEST on Windows.
TEST_F(ThreadTest, PriorityReachesTheSystemsThread)
{
    std::atomic<int> nice{-100};
    std::atomic<bool> go{false};
    Worker w([&](Worker& self) {
        while (!go)
            Sleep(1);
        nice = CurrentThreadPriority();
        (void)self;
    });
    w.Start();
    w.SetPriority(TThreadPriority::tpLowest);
    go = true;
    w.WaitFor();
    EXPECT_EQ(nice, kLowestThreadPriority);
    EXPECT_EQ(w.Priority(), TThreadPriority::tpLowest);
}

TEST_F(ThreadTest, ExceptionInExecuteEndsTheThreadAndIsKept)
{
    Worker w([](Worker&) { throw std::logic_error("boom"); });
    w.Start();
    w.WaitFor();
    ASSERT_TRUE(w.FatalException());
    EXPECT_THROW(std::rethrow_exception(w.FatalException()), std::logic_error);
}

} // namespace
