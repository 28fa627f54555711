#include "tableengine/TblSession.h"

#include "tableengine/TblDatabase.h"
#include "tableengine/TblEngineInstance.h"
#include "tableengine/TblNames.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataSession.h"

#include <algorithm>
#include <vector>

namespace tableengine {

using namespace tbl;

TTblSession::TTblSession() { TTblEngineInstance::Instance().AddSession(this); }

TTblSession::~TTblSession()
{
    SetActive(false);
    for (TTblDatabase* db : std::vector<TTblDatabase*>(FDatabases))
        if (!db->Temporary)
            Detach(db);
    FTemporaries.clear();
    TTblEngineInstance::Instance().RemoveSession(this);
}

TTblSession& TTblSession::Default()
{
    static TTblSession* session = [] {
        static TTblSession s;
        s.SetSessionName(u"Default");
        return &s;
    }();
    return *session;
}

void TTblSession::SetSessionName(const Text& name)
{
    if (Active())
        Fail("Cannot perform this operation on an active session");
    FSessionName = name;
}

void TTblSession::SetActive(bool active)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (active == Active())
        return;
    TTblEngineInstance& engine = TTblEngineInstance::Instance();
    if (!active) {
        for (TTblDatabase* db : std::vector<TTblDatabase*>(FDatabases))
            db->SetConnected(false);
        FTemporaries.clear();
        engine.DataEngine().StopDataSession(*Handle);
        Handle = nullptr;
        return;
    }
    engine.SetActive(true);
    try {
        if (OnStartup)
            OnStartup(*this);
        if (FSessionName.empty())
            Fail("Session name is missing");
        if (this != &Default())
            Default().SetActive(true);
        if (SessionNumber < 0)
            SessionNumber = engine.NextSessionNumber();
        // The engine names the data session: the name, "_" and its number.
        TDataSession& s = engine.DataEngine().StartDataSession(Utf8(FSessionName));
        Handle = &s;
        s.PrivateDir = Utf8(PrivateDir);
        s.StrictChangeDetection = StrictChangeDetection;
        s.ForceBufferFlush = ForceBufferFlush;
        s.LockRetryCount = static_cast<uint32_t>(std::max(LockRetryCount, 0));
        s.LockWaitTime = static_cast<uint32_t>(std::max(LockWaitTime, 0));
        s.ProgressSteps = static_cast<uint32_t>(std::max(ProgressSteps, 0));
        s.OnPassword = [this](std::string& password) { return OnPassword && OnPassword(*this, password); };
    } catch (...) {
        if (Handle != nullptr) {
            engine.DataEngine().StopDataSession(*Handle);
            Handle = nullptr;
        }
        throw;
    }
}

void TTblSession::AddPassword(const Text& password)
{
    SetActive(true);
    Handle->AddPassword(platform::TextToAnsi(password));
}

void TTblSession::Attach(TTblDatabase* database)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    FDatabases.push_back(database);
}

void TTblSession::Detach(TTblDatabase* database)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    std::erase(FDatabases, database);
}

TTblDatabase* TTblSession::FindDatabase(const Text& name) const
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    for (TTblDatabase* db : FDatabases)
        if (SameNoCase(db->DatabaseName(), name))
            return db;
    return nullptr;
}

TTblDatabase& TTblSession::OpenDatabase(const Text& name)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    SetActive(true);
    TTblDatabase* db = FindDatabase(NativeDelimiters(name));
    if (db == nullptr) {
        auto temp = std::make_unique<TTblDatabase>(this);
        temp->Temporary = true;
        temp->SetDatabaseName(name);
        if (HasPathDelimiter(temp->DatabaseName()) && !SameNoCase(name, u"Memory"))
            temp->SetDirectory(temp->DatabaseName());
        temp->KeepConnection = KeepConnections;
        db = temp.get();
        FTemporaries.push_back(std::move(temp));
    }
    db->SetConnected(true);
    ++db->RefCount;
    return *db;
}

void TTblSession::CloseDatabase(TTblDatabase& database)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (database.RefCount > 0)
        --database.RefCount;
    if (database.RefCount > 0)
        return;
    if (database.Temporary) {
        std::erase_if(FTemporaries, [&](const auto& p) { return p.get() == &database; });
        return;
    }
    if (!database.KeepConnection)
        database.SetConnected(false);
}

} // namespace tableengine
