#include "serial/SerWaitThread.h"

#include "serial/SerComm.h"

#include <thread>

namespace serial {

TWaitThread::TWaitThread(TSerCustomComm& AComm) : TThread(true), FComm(AComm) {}

TWaitThread::~TWaitThread()
{
    FDone.store(true);
    WaitFor();
}

void TWaitThread::Execute()
{
    try {
        while (!FDone.load()) {
            if (FComm.ReadBufUsed() > 0) {
                FFound.store(true);
                return;
            }
            std::this_thread::yield();
        }
    } catch (...) {
        // A failed status read ends the wait; WaitChar then sees the thread ended.
        FDone.store(true);
    }
}

} // namespace serial
