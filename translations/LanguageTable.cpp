#include "translations/LanguageTable.h"

#include "tableengine/TblComp.h"

#include <stdexcept>

namespace translations {
namespace {

using tableengine::TTblTable;

// The table component Taal_tbl; closed and released with this object, also when an error ends the reading.
class TTblLanguageTable final : public TLanguageTable {
public:
    TTblLanguageTable()
    {
        Taal_tbl.SetDatabaseName(TaalDatabaseName);
        Taal_tbl.SetTableName(LanguageTableName);
        Taal_tbl.Open();
    }
    int FieldCount() const override { return Taal_tbl.FieldCount(); }
    void First() override
    {
        // All rows are read in one go: under one read lock, which Close gives back.
        Taal_tbl.HoldReadLock();
        Taal_tbl.First();
    }
    bool Eof() const override { return Taal_tbl.Eof(); }
    void Next() override { Taal_tbl.Next(); }
    int32_t FieldAsInteger(int field) const override { return Taal_tbl.Fields(field).AsInteger(); }
    platform::Text FieldAsString(int field) const override { return Taal_tbl.Fields(field).AsString(); }
    void Close() override { Taal_tbl.Close(); }

private:
    mutable TTblTable Taal_tbl;
};

} // namespace

std::unique_ptr<TLanguageTable> OpenLanguageTable(const std::string& directory)
{
    // Without the connected database component a table named "Taal" would open through a temporary
    // database on the current directory.
    const tableengine::TTblDatabase* db = tableengine::TTblSession::Default().FindDatabase(TaalDatabaseName);
    if (db == nullptr || !db->Connected())
        throw std::runtime_error("The database Taal on " + directory + " is not connected");
    return std::make_unique<TTblLanguageTable>();
}

} // namespace translations
