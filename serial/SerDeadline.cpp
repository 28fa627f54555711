#include "serial/SerDeadline.h"

#include "platform/Handles.h"

namespace serial {

void TSerDeadline::Start(uint32_t Duration)
{
    FStart = platform::GetTickCount();
    FDuration = Duration;
}

uint32_t TSerDeadline::Elapsed(uint32_t StartTick, uint32_t Now)
{
    if (Now >= StartTick)
        return Now - StartTick;
    return Now + ~StartTick;
}

bool TSerDeadline::Expired() const
{
    return Elapsed(FStart, platform::GetTickCount()) > FDuration;
}

} // namespace serial
