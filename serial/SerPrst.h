// The serial component's nested settings objects: flow control, event characters and buffers.
#pragma once

#include "serial/SerClasses.h"
#include "serial/SerTypes.h"

#include <atomic>

namespace serial {

class TSerCustomComm;

class TSerFlowControl : public TSerPersistent {
public:
    void Assign(const TSerPersistent& Source) override;
    std::string ClassName() const override { return "TSerFlowControl"; }

    bool OutCtsFlow() const { return FOutCtsFlow; }
    bool OutDsrFlow() const { return FOutDsrFlow; }
    TSerControlDtr ControlDtr() const { return FControlDtr; }
    TSerControlRts ControlRts() const { return FControlRts; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DsrSensitivity() const { return FDsrSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }

    void SetOutCtsFlow(bool Value);
    void SetOutDsrFlow(bool Value);
    void SetControlDtr(TSerControlDtr Value);
    void SetControlRts(TSerControlRts Value);
    void SetXonXoffOut(bool Value);
    void SetXonXoffIn(bool Value);
    void SetDsrSensitivity(bool Value);
    void SetTxContinueOnXoff(bool Value);

private:
    template <class T>
    void Store(T& field, T value);

    bool FOutCtsFlow = false;
    bool FOutDsrFlow = false;
    TSerControlDtr FControlDtr = TSerControlDtr::dtrDisabled;
    TSerControlRts FControlRts = TSerControlRts::rtsDisabled;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDsrSensitivity = false;
    bool FTxContinueOnXoff = false;
};

class TSerEventChars : public TSerPersistent {
public:
    void Assign(const TSerPersistent& Source) override;
    std::string ClassName() const override { return "TSerEventChars"; }

    char XonChar() const { return FXonChar; }
    char XoffChar() const { return FXoffChar; }
    char ErrorChar() const { return FErrorChar; }
    char EventChar() const { return FEventChar; }
    char EofChar() const { return FEofChar; }

    // Index 1 .. 5: XonChar, XoffChar, ErrorChar, EventChar, EofChar. Always notifies.
    void SetEventChar(int Index, char Value);
    void SetXonChar(char Value) { SetEventChar(1, Value); }
    void SetXoffChar(char Value) { SetEventChar(2, Value); }
    void SetErrorChar(char Value) { SetEventChar(3, Value); }
    void SetEventChar(char Value) { SetEventChar(4, Value); }
    void SetEofChar(char Value) { SetEventChar(5, Value); }

private:
    char FXonChar = 17;
    char FXoffChar = 19;
    char FErrorChar = 0;
    char FEventChar = 0;
    char FEofChar = 0;
};

class TSerBuffers : public TSerPersistent {
public:
    // ComPort, when given, refuses changes of sizes and limits while it is open.
    explicit TSerBuffers(TSerCustomComm* ComPort = nullptr) : FComPort(ComPort) {}

    void Assign(const TSerPersistent& Source) override;
    std::string ClassName() const override { return "TSerBuffers"; }

    TSerIntW ReadSize() const { return FReadSize; }
    TSerIntW WriteSize() const { return FWriteSize; }
    // The time-outs may be changed while worker threads read them.
    TSerIntW ReadTimeout() const { return FReadTimeout.load(std::memory_order_relaxed); }
    TSerIntW WriteTimeout() const { return FWriteTimeout.load(std::memory_order_relaxed); }
    TSerIntW XonLimit() const { return FXonLimit; }
    TSerIntW XoffLimit() const { return FXoffLimit; }

    void SetReadSize(TSerIntW Value);
    void SetWriteSize(TSerIntW Value);
    void SetReadTimeout(TSerIntW Value) { FReadTimeout.store(Value, std::memory_order_relaxed); }
    void SetWriteTimeout(TSerIntW Value) { FWriteTimeout.store(Value, std::memory_order_relaxed); }
    void SetXonLimit(TSerIntW Value);
    void SetXoffLimit(TSerIntW Value);

private:
    void Store(TSerIntW& field, TSerIntW value);

    TSerCustomComm* FComPort; // not owned
    TSerIntW FReadSize = 4096;
    TSerIntW FWriteSize = 2048;
    std::atomic<TSerIntW> FReadTimeout{1000};
    std::atomic<TSerIntW> FWriteTimeout{1000};
    TSerIntW FXonLimit = 1024;
    TSerIntW FXoffLimit = 1024;
};

} // namespace serial
