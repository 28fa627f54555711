// Types shared by the serial port component: its exception, enumerations, sets and event signatures.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace serial {

// The only exception class the serial component raises. The message is UTF-8 text.
class ESerCommError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using TSerPortInt = int32_t; // 0 .. 2147483647
using TSerIntW = int32_t;

// A received block: at most SerDataSize bytes, of which a count says how many are used.
inline constexpr int SerDataSize = 32768;
using PSerData = const uint8_t*;

enum class TSerBaudrate : uint8_t {
    brUser, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400, br56000,
    br57600, br115200, br128000, br256000
};
inline constexpr int SerBaudrateCount = 16;

enum class TSerDatabits : uint8_t { db4, db5, db6, db7, db8 };
inline constexpr int SerDatabitsCount = 5;

enum class TSerParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
inline constexpr int SerParityCount = 5;

enum class TSerStopbits : uint8_t { sb1, sb15, sb2 };
inline constexpr int SerStopbitsCount = 3;

enum class TSerControlDtr : uint8_t { dtrDisabled, dtrEnabled, dtrHandshake };
enum class TSerControlRts : uint8_t { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };

enum class TSerCommOption : uint8_t { coErrorChar, coNullStrip, coParityCheck };

enum class TSerCommEvent : uint8_t {
    ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceRxChar, ceTxEmpty, ceRxFlag, cePErr, ceRx80Full,
    ceEvent1, ceEvent2
};
inline constexpr int SerCommEventCount = 13;

// A set of enumeration members, one bit per ordinal.
template <class E, class Bits>
class TSerSet {
public:
    constexpr TSerSet() = default;
    constexpr TSerSet(std::initializer_list<E> members)
    {
        for (E m : members)
            Include(m);
    }
    constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
    constexpr void Include(E m) { bits_ = static_cast<Bits>(bits_ | Bit(m)); }
    constexpr void Exclude(E m) { bits_ = static_cast<Bits>(bits_ & ~Bit(m)); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr Bits Value() const { return bits_; }
    friend constexpr bool operator==(TSerSet, TSerSet) = default;

private:
    static constexpr Bits Bit(E m) { return static_cast<Bits>(Bits(1) << static_cast<unsigned>(m)); }
    Bits bits_ = 0;
};

using TSerCommEvents = TSerSet<TSerCommEvent, uint16_t>;
using TSerCommOptions = TSerSet<TSerCommOption, uint8_t>;

// What GetComStatus reports.
struct TSerCommStatus {
    uint32_t Errors = 0;   // line-error flags as ClearCommError reports them
    uint32_t Flags = 0;    // bit 0 CTS hold, 1 DSR hold, 2 RLSD hold, 3 XOFF hold, 4 XOFF sent, 5 EOF, 6 TX immediate
    uint32_t InQueue = 0;  // bytes received and not yet read
    uint32_t OutQueue = 0; // bytes not yet transmitted
};

class TSerCustomComm;

// Event signatures; the sending component comes first.
using TSerNotifyEvent = std::function<void(TSerCustomComm& Sender)>;
using TSerCommErrorEvent = std::function<void(TSerCustomComm& Sender, int Errors)>;
using TSerCommRxCharEvent = std::function<void(TSerCustomComm& Sender, int Count)>;
using TSerCommRxBufEvent = std::function<void(TSerCustomComm& Sender, PSerData Data, int Count)>;
using TSerCommErrorExceptionEvent =
    std::function<void(TSerCustomComm& Sender, int Errors, const std::string& ExceptionMsg)>;

} // namespace serial
