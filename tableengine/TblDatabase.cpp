#include "tableengine/TblDatabase.h"

#include "tableengine/TblNames.h"
#include "tableengine/TblSession.h"
#include "tableengine/storage/DataSession.h"

#include <vector>

namespace tableengine {

using namespace tbl;

TTblDatabase::TTblDatabase(TTblSession* session) : FSession(session ? session : &TTblSession::Default())
{
    FSessionName = FSession->SessionName();
    FSession->Attach(this);
}

TTblDatabase::~TTblDatabase()
{
    try {
        SetConnected(false);
    } catch (...) {
        // closing a directory does not fail; nothing is left open either way
    }
    FSession->Detach(this);
}

void TTblDatabase::SetDatabaseName(const Text& name)
{
    const Text value = NativeDelimiters(name);
    if (Connected())
        Fail(OpenDatabaseMessage);
    if (TTblDatabase* other = FSession->FindDatabase(value); other != nullptr && other != this) {
        if (other->Temporary && other->RefCount == 0)
            std::erase_if(FSession->FTemporaries, [&](const auto& p) { return p.get() == other; });
        else
            Fail(Quoted("Database name '%s' already exists", value));
    }
    if (!Temporary && HasPathDelimiter(value))
        Fail(Quoted("Database name '%s' is not valid", value));
    FDatabaseName = value;
}

void TTblDatabase::SetDirectory(const Text& directory)
{
    if (Connected())
        Fail(OpenDatabaseMessage);
    Text value = NativeDelimiters(directory);
    const auto first = value.find_first_not_of(u' ');
    value = first == Text::npos ? Text() : value.substr(first);
    while (!value.empty() && (value.back() == u' ' || (value.back() == PathDelimiter && value.size() > 1)))
        value.pop_back();
    FDirectory = value;
}

void TTblDatabase::SetConnected(bool connected)
{
    if (connected == Connected())
        return;
    if (!connected) {
        TDataDirectory* dir = Handle;
        Handle = nullptr;
        if (FSession->Handle != nullptr)
            FSession->Handle->CloseDataDirectory(*dir);
        return;
    }
    if (BeforeConnect)
        BeforeConnect(*this);
    if (FDatabaseName.empty())
        Fail("Database name is missing");
    FSession->SetActive(true);
    TDataSession& session = *FSession->Handle;
    if (SameNoCase(FDatabaseName, u"Memory")) {
        Handle = &session.OpenDataDirectory("Memory", "", KeepTablesOpen);
        return;
    }
    Text name = FDatabaseName;
    while (!name.empty() && name.front() == PathDelimiter)
        name.erase(name.begin());
    while (!name.empty() && name.back() == PathDelimiter)
        name.pop_back();
    Handle = &session.OpenDataDirectory(Utf8(name), Utf8(FDirectory), KeepTablesOpen);
}

void TTblDatabase::RegisterDataSet(TTblTable* table) { FDataSets.push_back(table); }

void TTblDatabase::UnregisterDataSet(TTblTable* table) { std::erase(FDataSets, table); }

} // namespace tableengine
