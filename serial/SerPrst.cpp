#include "serial/SerPrst.h"

#include "serial/SerComm.h"

namespace serial {

// --- TSerFlowControl ---

template <class T>
void TSerFlowControl::Store(T& field, T value)
{
    if (field == value)
        return;
    field = value;
    Changed();
}

void TSerFlowControl::SetOutCtsFlow(bool Value) { Store(FOutCtsFlow, Value); }
void TSerFlowControl::SetOutDsrFlow(bool Value) { Store(FOutDsrFlow, Value); }
void TSerFlowControl::SetControlDtr(TSerControlDtr Value) { Store(FControlDtr, Value); }
void TSerFlowControl::SetControlRts(TSerControlRts Value) { Store(FControlRts, Value); }
void TSerFlowControl::SetXonXoffOut(bool Value) { Store(FXonXoffOut, Value); }
void TSerFlowControl::SetXonXoffIn(bool Value) { Store(FXonXoffIn, Value); }
void TSerFlowControl::SetDsrSensitivity(bool Value) { Store(FDsrSensitivity, Value); }
void TSerFlowControl::SetTxContinueOnXoff(bool Value) { Store(FTxContinueOnXoff, Value); }

void TSerFlowControl::Assign(const TSerPersistent& Source)
{
    const auto* src = dynamic_cast<const TSerFlowControl*>(&Source);
    if (src == nullptr) {
        TSerPersistent::Assign(Source);
        return;
    }
    BeginUpdate();
    try {
        SetOutCtsFlow(src->FOutCtsFlow);
        SetOutDsrFlow(src->FOutDsrFlow);
        SetControlDtr(src->FControlDtr);
        SetControlRts(src->FControlRts);
        SetXonXoffOut(src->FXonXoffOut);
        SetXonXoffIn(src->FXonXoffIn);
        SetDsrSensitivity(src->FDsrSensitivity);
        SetTxContinueOnXoff(src->FTxContinueOnXoff);
    } catch (...) {
        --FUpdateCount;
        throw;
    }
    EndUpdate();
}

// --- TSerEventChars ---

void TSerEventChars::SetEventChar(int Index, char Value)
{
    switch (Index) {
    case 1: FXonChar = Value; break;
    case 2: FXoffChar = Value; break;
    case 3: FErrorChar = Value; break;
    case 4: FEventChar = Value; break;
    case 5: FEofChar = Value; break;
    default: return; // no such character
    }
    Changed();
}

void TSerEventChars::Assign(const TSerPersistent& Source)
{
    const auto* src = dynamic_cast<const TSerEventChars*>(&Source);
    if (src == nullptr) {
        TSerPersistent::Assign(Source);
        return;
    }
    BeginUpdate();
    SetXonChar(src->FXonChar);
    SetXoffChar(src->FXoffChar);
    SetErrorChar(src->FErrorChar);
    SetEventChar(src->FEventChar);
    SetEofChar(src->FEofChar);
    EndUpdate();
}

// --- TSerBuffers ---

void TSerBuffers::Store(TSerIntW& field, TSerIntW value)
{
    if (field == value)
        return;
    // Refused while the port is open; the value stays as it was.
    if (FComPort != nullptr && !FComPort->CheckClosed())
        return;
    field = value;
    Changed();
}

void TSerBuffers::SetReadSize(TSerIntW Value) { Store(FReadSize, Value); }
void TSerBuffers::SetWriteSize(TSerIntW Value) { Store(FWriteSize, Value); }
void TSerBuffers::SetXonLimit(TSerIntW Value) { Store(FXonLimit, Value); }
void TSerBuffers::SetXoffLimit(TSerIntW Value) { Store(FXoffLimit, Value); }

void TSerBuffers::Assign(const TSerPersistent& Source)
{
    const auto* src = dynamic_cast<const TSerBuffers*>(&Source);
    if (src == nullptr) {
        TSerPersistent::Assign(Source);
        return;
    }
    BeginUpdate();
    try {
        SetReadSize(src->FReadSize);
        SetWriteSize(src->FWriteSize);
        SetReadTimeout(src->ReadTimeout());
        SetWriteTimeout(src->WriteTimeout());
        SetXonLimit(src->FXonLimit);
        SetXoffLimit(src->FXoffLimit);
    } catch (...) {
        --FUpdateCount;
        throw;
    }
    EndUpdate();
}

} // namespace serial
