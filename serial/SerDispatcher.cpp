#include "serial/SerDispatcher.h"

#include "serial/SerComm.h"

namespace serial {

TSerDispatcher::TSerDispatcher(std::shared_ptr<ISerCommUser> AOwner) : FOwner(std::move(AOwner)) {}

TSerDispatcher::~TSerDispatcher()
{
    if (FComm != nullptr)
        FComm->RemoveClient(this);
}

void TSerDispatcher::PurgeRead()
{
    if (FComm != nullptr)
        FComm->PurgeRead();
}

void TSerDispatcher::PurgeWrite()
{
    if (FComm != nullptr)
        FComm->PurgeWrite();
}

void TSerDispatcher::PurgeReadWrite()
{
    if (FComm != nullptr)
        FComm->PurgeReadWrite();
}

int TSerDispatcher::WriteBuf(const void* Buf, int Count)
{
    return FComm != nullptr ? FComm->WriteBuf(Buf, Count) : 0;
}

bool TSerDispatcher::WriteText(std::string_view Text)
{
    return FComm != nullptr && FComm->WriteText(Text);
}

bool TSerDispatcher::WriteChar(char Ch)
{
    return FComm != nullptr && FComm->WriteChar(Ch);
}

void TSerDispatcher::SetDTRState(bool Value)
{
    if (FComm != nullptr)
        FComm->SetDTR(Value);
}

} // namespace serial
