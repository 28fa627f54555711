// A session: the data session it starts in the engine, its settings, and the databases attached to it (a
// temporary one for a table that names a database no component has). The default one is named "Default".
#pragma once

#include "platform/Text.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tableengine {

class TDataSession;
class TTblDatabase;

using platform::Text;

enum TLockProtocol { lpPessimistic, lpOptimistic };
enum TSessionType { stLocal, stRemote };

class TTblSession {
public:
    TTblSession();
    ~TTblSession();
    TTblSession(const TTblSession&) = delete;
    TTblSession& operator=(const TTblSession&) = delete;

    // The default session "Default", created with the engine at first use.
    static TTblSession& Default();

    TDataSession* Handle = nullptr;
    bool KeepConnections = true;
    int SessionNumber = -1;
    Text PrivateDir;
    int ProgressSteps = 20;
    bool ForceBufferFlush = false;
    bool StrictChangeDetection = false;
    int LockRetryCount = 15;
    int LockWaitTime = 100;
    TLockProtocol LockProtocol = lpPessimistic;
    TSessionType SessionType = stLocal;
    std::function<void(TTblSession&)> OnStartup;
    std::function<bool(TTblSession&, std::string& password)> OnPassword;

    const Text& SessionName() const { return FSessionName; }
    void SetSessionName(const Text& name);
    bool Active() const { return Handle != nullptr; }
    void SetActive(bool active);
    void AddPassword(const Text& password);

    const std::vector<TTblDatabase*>& Databases() const { return FDatabases; }
    TTblDatabase* FindDatabase(const Text& name) const;
    // The database a table opens through (a temporary one when none has the name), connected and counted.
    TTblDatabase& OpenDatabase(const Text& name);
    void CloseDatabase(TTblDatabase& database);

private:
    friend class TTblDatabase;
    void Attach(TTblDatabase* database);
    void Detach(TTblDatabase* database);
    mutable std::recursive_mutex FSection;
    Text FSessionName;
    std::vector<TTblDatabase*> FDatabases;
    std::vector<std::unique_ptr<TTblDatabase>> FTemporaries;
};

} // namespace tableengine
