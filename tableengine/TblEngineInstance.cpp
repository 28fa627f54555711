#include "tableengine/TblEngineInstance.h"

#include "tableengine/TblNames.h"
#include "tableengine/TblSession.h"
#include "tableengine/storage/DataEngine.h"

#include <vector>

namespace tableengine {

using namespace tbl;

TTblEngineInstance& TTblEngineInstance::Instance()
{
    static TTblEngineInstance instance;
    return instance;
}

TTblEngineInstance::TTblEngineInstance() = default;

TDataEngine& TTblEngineInstance::DataEngine()
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (!FDataEngine)
        FDataEngine = std::make_unique<TDataEngine>();
    return *FDataEngine;
}

void TTblEngineInstance::SetActive(bool active)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (active == FActive)
        return;
    if (active) {
        DataEngine().Initialize(Settings);
        FActive = true;
        if (OnStartup)
            OnStartup();
    } else {
        for (TTblSession* s : std::vector<TTblSession*>(FSessions))
            s->SetActive(false);
        FDataEngine.reset();
        FActive = false;
        if (OnShutdown)
            OnShutdown();
    }
}

void TTblEngineInstance::AddSession(TTblSession* session)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    FSessions.push_back(session);
}

void TTblEngineInstance::RemoveSession(TTblSession* session)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    std::erase(FSessions, session);
}

TTblSession* TTblEngineInstance::FindSession(const Text& name) const
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    for (TTblSession* s : FSessions)
        if (SameNoCase(s->SessionName(), name))
            return s;
    return nullptr;
}

int TTblEngineInstance::NextSessionNumber()
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    return ++FSessionNumbers;
}

} // namespace tableengine
