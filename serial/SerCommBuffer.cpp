#include "serial/SerCommBuffer.h"

#include <algorithm>
#include <cstring>

namespace serial {

TSerCommBuffer::TSerCommBuffer(int BufSize) : FData(static_cast<size_t>(std::max(BufSize, 0))) {}

bool TSerCommBuffer::Write(const void* Buf, int Count)
{
    if (Count < 0 || Count > Capacity() - FSize)
        return false;
    if (Count > 0)
        std::memcpy(FData.data() + FSize, Buf, static_cast<size_t>(Count));
    FSize += Count;
    return true;
}

int TSerCommBuffer::Peek(void* Buf, int Count) const
{
    const int n = std::clamp(Count, 0, FSize);
    if (n > 0)
        std::memcpy(Buf, FData.data(), static_cast<size_t>(n));
    return n;
}

int TSerCommBuffer::Read(void* Buf, int Count)
{
    const int n = Peek(Buf, Count);
    Remove(n);
    return n;
}

void TSerCommBuffer::Remove(int Count)
{
    const int n = std::clamp(Count, 0, FSize);
    if (n == 0)
        return;
    const int rest = FSize - n;
    if (rest > 0)
        std::memmove(FData.data(), FData.data() + n, static_cast<size_t>(rest));
    FSize = rest;
}

} // namespace serial
