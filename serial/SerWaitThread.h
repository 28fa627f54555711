// The polling thread of WaitChar: ends as soon as a byte waits in the input queue or Done is set.
#pragma once

#include "platform/Thread.h"

#include <atomic>

namespace serial {

class TSerCustomComm;

class TWaitThread : public platform::TThread {
public:
    explicit TWaitThread(TSerCustomComm& AComm); // created suspended
    ~TWaitThread() override;

    TSerCustomComm& Comm() const { return FComm; }
    bool Done() const { return FDone.load(); }
    void SetDone(bool Value) { FDone.store(Value); }
    // True when the thread ended because a byte was waiting.
    bool Found() const { return FFound.load(); }

protected:
    void Execute() override;

private:
    TSerCustomComm& FComm;
    std::atomic<bool> FDone{false};
    std::atomic<bool> FFound{false};
};

} // namespace serial
