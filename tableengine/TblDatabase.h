// A database: a name bound to a directory (or the memory directory), connected through its session, and the
// tables open on it.
#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace tableengine {

class TDataDirectory;
class TTblSession;
class TTblTable;

using platform::Text;

class TTblDatabase {
public:
    // Attaches to the session (the default session when none is given).
    explicit TTblDatabase(TTblSession* session = nullptr);
    ~TTblDatabase();
    TTblDatabase(const TTblDatabase&) = delete;
    TTblDatabase& operator=(const TTblDatabase&) = delete;

    bool KeepConnection = true;
    bool KeepTablesOpen = false;
    bool Temporary = false;
    int RefCount = 0;
    TDataDirectory* Handle = nullptr;
    std::function<void(TTblDatabase&)> BeforeConnect;

    TTblSession& Session() const { return *FSession; }
    const Text& SessionName() const { return FSessionName; }
    const Text& DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const Text& name);
    const Text& Directory() const { return FDirectory; }
    void SetDirectory(const Text& directory);
    bool Connected() const { return Handle != nullptr; }
    void SetConnected(bool connected);

    void RegisterDataSet(TTblTable* table);
    void UnregisterDataSet(TTblTable* table);
    std::size_t DataSetCount() const { return FDataSets.size(); }

private:
    TTblSession* FSession;
    Text FSessionName;
    Text FDatabaseName;
    Text FDirectory;
    std::vector<TTblTable*> FDataSets;
};

} // namespace tableengine
