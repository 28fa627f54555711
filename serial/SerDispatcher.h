// Clients of a serial component: a dispatcher attaches a user object, which then receives the component's
// event masks and received blocks.
#pragma once

#include "serial/SerTypes.h"

#include <memory>
#include <string_view>

namespace serial {

class ISerCommUser {
public:
    virtual ~ISerCommUser() = default;
    virtual void HandleCommEvent(int Events) = 0;
    virtual void HandleRxBuf(PSerData Data, int Count) = 0;
};

class TSerDispatcher {
public:
    explicit TSerDispatcher(std::shared_ptr<ISerCommUser> AOwner);
    ~TSerDispatcher(); // detaches from the component
    TSerDispatcher(const TSerDispatcher&) = delete;
    TSerDispatcher& operator=(const TSerDispatcher&) = delete;

    bool Active() const { return FActive; }
    void SetActive(bool Value) { FActive = Value; }
    TSerCustomComm* Comm() const { return FComm; }
    ISerCommUser* User() const { return FOwner.get(); }

    // Forwarders to the attached component; without one they do nothing and return 0 or False.
    void PurgeRead();
    void PurgeWrite();
    void PurgeReadWrite();
    int WriteBuf(const void* Buf, int Count);
    bool WriteText(std::string_view Text);
    bool WriteChar(char Ch);
    void SetDTRState(bool Value);

private:
    friend class TSerCustomComm;
    bool FActive = true;
    TSerCustomComm* FComm = nullptr; // set by InsertClient/RemoveClient; not owned
    std::shared_ptr<ISerCommUser> FOwner;
};

} // namespace serial
