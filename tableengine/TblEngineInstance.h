// The one table engine of the process, shared by every engine component: its settings, the core it starts
// (TDataEngine) and the sessions that use it.
#pragma once

#include "tableengine/storage/EngineSettings.h"

#include "platform/Text.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tableengine {

class TDataEngine;
class TTblSession;

using platform::Text;

enum TEngineType { etClient, etServer };

// The one engine of the process, shared by every engine component.
class TTblEngineInstance {
public:
    static TTblEngineInstance& Instance();

    TEngineSettings Settings;
    TEngineType EngineType = etClient;
    bool FilterRecordCounts = true;
    std::function<void()> OnStartup;
    std::function<void()> OnShutdown;

    bool Active() const { return FActive; }
    void SetActive(bool active);
    TDataEngine& DataEngine();

    void AddSession(TTblSession* session);
    void RemoveSession(TTblSession* session);
    TTblSession* FindSession(const Text& name) const;
    int NextSessionNumber();

private:
    TTblEngineInstance();
    mutable std::recursive_mutex FSection;
    bool FActive = false;
    std::unique_ptr<TDataEngine> FDataEngine;
    std::vector<TTblSession*> FSessions;
    int FSessionNumbers = 0;
};

} // namespace tableengine
