// A time limit on the system tick count that survives the 32-bit wrap of the counter.
#pragma once

#include <cstdint>

namespace serial {

class TSerDeadline {
public:
    void Start(uint32_t Duration);
    bool Expired() const;
    // Milliseconds from Start to Now, across one wrap of the counter.
    static uint32_t Elapsed(uint32_t StartTick, uint32_t Now);

private:
    uint32_t FStart = 0;
    uint32_t FDuration = 0;
};

} // namespace serial
