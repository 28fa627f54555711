// A directory of tables within one session: its lock protocol, and the process's open tables in it (one
// TDataTable per table name, shared by every cursor on that table).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tableengine {

class TDataSession;
class TDataTable;
class TDataDirectoryLocks;

// A cursor as its directory knows it: told when the directory goes while the cursor still exists, after which
// the cursor is closed and never reaches back into the directory.
class TDirectoryCursor {
public:
    TDirectoryCursor() = default;
    virtual ~TDirectoryCursor() = default;
    TDirectoryCursor(const TDirectoryCursor&) = delete;
    TDirectoryCursor& operator=(const TDirectoryCursor&) = delete;
    virtual void DirectoryClosed() = 0;
};

class TDataDirectory {
public:
    // Creating the directory opens its lock file and takes over its read-only state.
    TDataDirectory(TDataSession& session, std::string name, std::string directory, bool keepTablesOpen,
                   bool inMemory);
    ~TDataDirectory();
    TDataDirectory(const TDataDirectory&) = delete;
    TDataDirectory& operator=(const TDataDirectory&) = delete;

    TDataSession& DataSession;
    const std::string Name;      // at most 60 characters
    const std::string Directory; // with a trailing delimiter
    const bool InMemory;
    bool ReadOnly = false;
    bool KeepTablesOpen = false;
    int UseCount = 0;
    std::unique_ptr<TDataDirectoryLocks> Locks;

    // The directory without its trailing delimiter, as errors name the database.
    std::string DatabaseName() const;

    // The shared table of a name (letter case ignored), opened; 11013 when it or the request is exclusive
    // and others have it open.
    TDataTable& OpenDataTable(const std::string& tableName, const std::string& errorTableName, bool headerChecks,
                              bool systemOpen, bool exclusive, bool temporary);
    void CloseDataTable(TDataTable& table, bool systemOpen = false);
    TDataTable* FindDataTable(const std::string& tableName) const;
    std::size_t OpenTableCount() const;

    void AddCursor(TDirectoryCursor* cursor);
    void RemoveCursor(TDirectoryCursor* cursor);

private:
    std::size_t Position(const std::string& tableName) const;
    mutable std::recursive_mutex FSection;
    std::vector<std::unique_ptr<TDataTable>> FTables; // sorted by name, letter case ignored
    std::vector<TDirectoryCursor*> FCursors;
};

// Letter case ignored, for table and field names.
int CompareNameNoCase(const std::string& a, const std::string& b);
std::string TrimBlanks(const std::string& s);

} // namespace tableengine
