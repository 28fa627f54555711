// Undoes the terminal's marking of bytes received with a parity or framing error (PARMRK): 0xFF 0xFF is
// a literal 0xFF, 0xFF 0x00 x is the byte x received with an error.
#pragma once

#include <cstdint>

namespace platform {

class ParityMarks {
public:
    enum class Kind { none, byte, errored };
    struct Out {
        Kind kind = Kind::none;
        uint8_t value = 0;
        uint8_t extra = 0; // a second byte (0xFF x without the 0x00 of a mark: both are kept)
        bool hasExtra = false;
    };
    // Feeds one byte from the terminal.
    Out Feed(uint8_t b)
    {
        Out out;
        switch (state_) {
        case 0:
            if (b == 0xFF)
                state_ = 1;
            else
                out = {Kind::byte, b};
            break;
        case 1:
            state_ = 0;
            if (b == 0xFF)
                out = {Kind::byte, 0xFF};
            else if (b == 0x00)
                state_ = 2;
            else
                out = {Kind::byte, 0xFF, b, true};
            break;
        default:
            state_ = 0;
            out = {Kind::errored, b};
            break;
        }
        return out;
    }
    void Reset() { state_ = 0; }

private:
    int state_ = 0;
};

} // namespace platform
