#include "tableengine/storage/DataDirectory.h"

#include "tableengine/storage/DataDirectoryLocks.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataSession.h"
#include "tableengine/storage/DataTable.h"

#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/WinError.h"

#include <algorithm>

namespace tableengine {

int CompareNameNoCase(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(platform::UpperAnsiDefault(a[i]));
        const auto y = static_cast<unsigned char>(platform::UpperAnsiDefault(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string TrimBlanks(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

TDataDirectory::TDataDirectory(TDataSession& session, std::string name, std::string directory, bool keepTablesOpen,
                               bool inMemory)
    : DataSession(session), Name(std::move(name)), Directory(std::move(directory)), InMemory(inMemory),
      KeepTablesOpen(keepTablesOpen), Locks(std::make_unique<TDataDirectoryLocks>(*this))
{
    Locks->Open();
    ReadOnly = Locks->ReadOnly;
}

TDataDirectory::~TDataDirectory()
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    // Cursors that outlive the directory are closed now and never reach back into it.
    const std::vector<TDirectoryCursor*> cursors = FCursors;
    for (TDirectoryCursor* c : cursors)
        c->DirectoryClosed();
    FCursors.clear();
    for (auto& t : FTables) {
        while (t->IsOpen)
            t->CloseTable();
    }
    FTables.clear();
    Locks->Close();
}

std::string TDataDirectory::DatabaseName() const
{
    std::string d = Directory;
    if (d.size() > 1 && d.back() == platform::PathDelim)
        d.pop_back();
    return d;
}

std::size_t TDataDirectory::Position(const std::string& tableName) const
{
    const auto it = std::lower_bound(FTables.begin(), FTables.end(), tableName,
                                     [](const std::unique_ptr<TDataTable>& t, const std::string& n) {
                                         return CompareNameNoCase(t->TableName, n) < 0;
                                     });
    return static_cast<std::size_t>(it - FTables.begin());
}

TDataTable* TDataDirectory::FindDataTable(const std::string& tableName) const
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    const std::size_t pos = Position(tableName);
    if (pos < FTables.size() && CompareNameNoCase(FTables[pos]->TableName, tableName) == 0)
        return FTables[pos].get();
    return nullptr;
}

TDataTable& TDataDirectory::OpenDataTable(const std::string& tableName, const std::string& errorTableName,
                                          bool headerChecks, bool systemOpen, bool exclusive, bool temporary)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    if (TDataTable* t = FindDataTable(tableName)) {
        if (t->UseCount > 0 && (t->Exclusive || exclusive)) {
            TErrorContext c;
            c.TableName = errorTableName.empty() ? tableName : errorTableName;
            c.DatabaseName = DatabaseName();
            DataSession.DataEngine.SetOSErrorNumber(static_cast<int32_t>(platform::ERROR_SHARING_VIOLATION));
            DataSession.DataEngine.RaiseError(TBL_OSEACCES, c);
        }
        if (t->UseCount == 0)
            t->Exclusive = exclusive;
        t->OpenTable(headerChecks, systemOpen);
        return *t;
    }
    auto t = std::make_unique<TDataTable>(*this, tableName, errorTableName, exclusive, temporary, ReadOnly);
    t->OpenTable(headerChecks, systemOpen); // a failure frees it
    TDataTable& ref = *t;
    FTables.insert(FTables.begin() + static_cast<std::ptrdiff_t>(Position(tableName)), std::move(t));
    return ref;
}

void TDataDirectory::CloseDataTable(TDataTable& table, bool /*systemOpen*/)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    table.CloseTable();
    if (table.UseCount > 0 || table.InTransaction)
        return;
    if (KeepTablesOpen && !table.Exclusive)
        return;
    const std::size_t pos = Position(table.TableName);
    if (pos < FTables.size() && FTables[pos].get() == &table)
        FTables.erase(FTables.begin() + static_cast<std::ptrdiff_t>(pos));
}

std::size_t TDataDirectory::OpenTableCount() const
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    return FTables.size();
}

void TDataDirectory::AddCursor(TDirectoryCursor* cursor)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    FCursors.push_back(cursor);
}

void TDataDirectory::RemoveCursor(TDirectoryCursor* cursor)
{
    std::lock_guard<std::recursive_mutex> guard(FSection);
    FCursors.erase(std::remove(FCursors.begin(), FCursors.end(), cursor), FCursors.end());
}

} // namespace tableengine
