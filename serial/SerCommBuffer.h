// The write thread's output buffer: a fixed block filled from the front.
#pragma once

#include <cstdint>
#include <vector>

namespace serial {

class TSerCommBuffer {
public:
    explicit TSerCommBuffer(int BufSize);

    const uint8_t* DataPtr() const { return FData.data(); }
    int Size() const { return FSize; }
    int Capacity() const { return static_cast<int>(FData.size()); }

    void Clear() { FSize = 0; }
    // Appends Count bytes; false (and nothing copied) when they do not fit.
    bool Write(const void* Buf, int Count);
    // Copies out (and for Read removes) the first min(Count, Size) bytes; returns how many.
    int Read(void* Buf, int Count);
    int Peek(void* Buf, int Count) const;
    // Removes the first min(Count, Size) bytes, so Size never goes negative.
    void Remove(int Count);

private:
    std::vector<uint8_t> FData;
    int FSize = 0;
};

} // namespace serial
