#include "tableengine/format/EngineError.h"

#include <algorithm>
#include <cstdio>

namespace tableengine {
namespace {

using F = TErrorField;

std::vector<TErrorCodeEntry> buildTable()
{
    const std::vector<F> T{F::Table};
    const std::vector<F> D{F::Database};
    const std::vector<F> none{};
    std::vector<TErrorCodeEntry> t = {
        {0, "TBL_NONE", "", none},
        {8705, "TBL_BOF", "Beginning of table '%s' unexpectedly encountered", T},
        {8706, "TBL_EOF", "End of table '%s' unexpectedly encountered", T},
        {8708, "TBL_KEYORRECDELETED",
         "Record has been changed or deleted by another user, session, or table cursor in the table '%s'", T},
        {8709, "TBL_NOCURRREC", "No current record in the table '%s'", T},
        {8710, "TBL_RECNOTFOUND", "Record not found in the table '%s'", T},
        {8711, "TBL_ENDOFBLOB", "End of BLOB field in the table '%s' reached prematurely", T},
        {8961, "TBL_HEADERCORRUPT", "Header information corrupt in the table '%s'", T},
        {8962, "TBL_FILECORRUPT", "Data record buffers corrupt in the table '%s'", T},
        {8963, "TBL_MEMOCORRUPT", "BLOB block buffers corrupt in the table '%s'", T},
        {8965, "TBL_INDEXCORRUPT", "Index page buffers corrupt in the table '%s'", T},
        {9217, "TBL_READERR", "Error reading from the table or backup file '%s'", T},
        {9218, "TBL_WRITEERR", "Error writing to the table or backup file '%s'", T},
        {9477, "TBL_RECTOOBIG", "The record is too big for the table '%s'", T},
        {9479, "TBL_TABLEFULL", "The table '%s' is full and cannot contain any more data", T},
        {9480, "TBL_DATABASEFULL", "The database '%s' is full and cannot contain any more tables", D},
        {9482, "TBL_INTERNALLIMIT", "An internal limit of the table '%s' was exceeded", T},
        {9487, "TBL_INDEXLIMIT",
         "Maximum or minimum limits on the index page size, the number of indexes, or the number of fields in an "
         "index exceeded in the table '%s'",
         T},
        {9492, "TBL_FLDLIMIT", "Too many fields are defined for the table '%s'", T},
        {9494, "TBL_OPENBLOBLIMIT", "Too many BLOBs are open in the table '%s'", T},
        {9498, "TBL_BLOBLIMIT", "The BLOB definition for the table '%s' exceeds a limit", T},
        {9729, "TBL_KEYVIOL", "Duplicate key found in the index '%s' of the table '%s'", {F::Index, F::Table}},
        {9730, "TBL_MINVALERR", "The value of the field '%s' in the table '%s' is below the minimum",
         {F::Field, F::Table}},
        {9731, "TBL_MAXVALERR", "The value of the field '%s' in the table '%s' is above the maximum",
         {F::Field, F::Table}},
        {9732, "TBL_REQDERR", "A value is required for the field '%s' in the table '%s'", {F::Field, F::Table}},
        {9985, "TBL_OUTOFRANGE", "Invalid field number or name '%s' specified for the table '%s'",
         {F::Field, F::Table}},
        {9993, "TBL_PRIMARYKEYREDEFINE", "The primary key of the table '%s' cannot be defined again", T},
        {9998, "TBL_INVALIDBLOBOFFSET", "Invalid BLOB offset into the table '%s' specified", T},
        {10000, "TBL_INVALIDFLDTYPE", "Invalid data type for the field '%s' in the table '%s'",
         {F::Field, F::Table}},
        {10006, "TBL_INVALIDVCHKSTRUCT", "Invalid validity check for the field '%s' in the table '%s'",
         {F::Field, F::Table}},
        {10010, "TBL_INDEXNAMEREQUIRED", "An index name is required for the table '%s'", T},
        {10015, "TBL_INVALIDPASSWORD", "Invalid password specified for the table '%s'", T},
        {10022, "TBL_INVALIDINDEXNAME", "Invalid secondary index name '%s' specified for the table '%s'",
         {F::Index, F::Table}},
        {10023, "TBL_INVALIDIDXDESC", "Invalid index definition '%s' specified for the table '%s'",
         {F::Index, F::Table}},
        {10026, "TBL_INVALIDKEY", "Invalid key specified for the index '%s' of the table '%s'",
         {F::Index, F::Table}},
        {10027, "TBL_INDEXEXISTS", "The index '%s' already exists in the table '%s'", {F::Index, F::Table}},
        {10029, "TBL_INVALIDBLOBLEN", "Invalid BLOB length for the field '%s' in the table '%s' specified",
         {F::Field, F::Table}},
        {10030, "TBL_INVALIDBLOBHANDLE", "Invalid BLOB handle for the table '%s' specified", T},
        {10031, "TBL_TABLEOPEN", "The table '%s' is open and cannot be changed", T},
        {10038, "TBL_INVALIDFIELDNAME", "Invalid field name '%s' specified for the table '%s'",
         {F::Field, F::Table}},
        {10050, "TBL_NOSUCHFILTER", "The filter does not exist for the table '%s'", T},
        {10051, "TBL_INVALIDFILTER", "Invalid filter expression for the table '%s'", T},
        {10221, "TBL_LOCKREADLOCK", "Cannot read lock the lock file for the database '%s'", D},
        {10222, "TBL_LOCKREADUNLOCK", "Cannot read unlock the lock file for the database '%s'", D},
        {10223, "TBL_LOCKWRITELOCK", "Cannot write lock the lock file for the database '%s'", D},
        {10224, "TBL_LOCKWRITEUNLOCK", "Cannot write unlock the lock file for the database '%s'", D},
        {10225, "TBL_READLOCK", "Cannot read lock the table '%s'", T},
        {10226, "TBL_READUNLOCK", "Cannot read unlock the table '%s'", T},
        {10227, "TBL_WRITELOCK", "Cannot write lock the table '%s'", T},
        {10228, "TBL_WRITEUNLOCK", "Cannot write unlock the table '%s'", T},
        {10229, "TBL_TRANSLOCK", "Cannot transaction lock the table '%s'", T},
        {10230, "TBL_TRANSUNLOCK", "Cannot transaction unlock the table '%s'", T},
        {10241, "TBL_LOCKED", "The table '%s' is locked by another user", T},
        {10242, "TBL_UNLOCKFAILED", "Cannot unlock the table '%s'", T},
        {10243, "", "Cannot lock the session (ID: %u)", {F::SessionID}},
        {10253, "TBL_NEEDEXCLACCESS", "The table '%s' must be opened exclusively for this operation", T},
        {10258, "TBL_RECLOCKFAILED", "Cannot lock the record in the table '%s'", T},
        {10498, "TBL_NOTSUFFTABLERIGHTS", "Insufficient rights to the table '%s', a password is required", T},
        {10753, "TBL_NOTABLOB", "The field '%s' in the table '%s' is not a BLOB field", {F::Field, F::Table}},
        {11010, "TBL_OSENOENT", "Table or backup file '%s' does not exist", T},
        {11012, "TBL_OSEMFILE", "Too many operating system files open while attempting to open the table '%s'", T},
        {11013, "TBL_OSEACCES", "Access denied to table or backup file '%s'", T},
        {11014, "TBL_OSEBADF", "Invalid operating system file handle for the table '%s'", T},
        {11016, "TBL_OSENOMEM", "There is insufficient operating system memory available for the current operation",
         none},
        {11023, "TBL_OSENODEV", "Access denied to logical operating system device for the table '%s'", T},
        {11025, "TBL_OSENOTSAM", "The table or backup file '%s' has been moved", T},
        {11047, "TBL_OSUNKNOWN", "An unknown operating system error %u occurred with the table or backup file '%s'",
         {F::OSError, F::Table}},
        {11276, "TBL_REMOTECOMMLOST", "The connection to the server '%s' was lost", {F::RemoteName}},
        {11277, "TBL_REMOTEENCRYPTREQ", "The server '%s' requires an encrypted connection", {F::RemoteName}},
        {11279, "TBL_REMOTEUNKNOWN", "An unknown error occurred on the server '%s'", {F::RemoteName}},
        {11280, "TBL_REMOTECONNECT", "Cannot connect to the server '%s'", {F::RemoteName}},
        {11281, "TBL_REMOTENOLOGIN", "No login for the user '%s' on the server '%s'",
         {F::UserName, F::RemoteName}},
        {11282, "TBL_REMOTEMAXCONNECT", "The server '%s' has reached its maximum number of connections",
         {F::RemoteName}},
        {11283, "TBL_REMOTEADDRESSBLOCK", "The address is blocked by the server '%s'", {F::RemoteName}},
        {11284, "TBL_REMOTECALLBACK", "A callback from the server '%s' failed", {F::RemoteName}},
        {11285, "TBL_REMOTECALLBACKERR", "A callback from the server '%s' raised an error: %s",
         {F::RemoteName, F::Message}},
        {11286, "TBL_REMOTEVERSION", "The version of the server '%s' does not match", {F::RemoteName}},
        {11287, "TBL_REMOTEINVLOGIN", "Invalid login for the user '%s' on the server '%s'",
         {F::UserName, F::RemoteName}},
        {11288, "TBL_REMOTENOTAUTH", "The user '%s' is not authorised for this operation on the server '%s'",
         {F::UserName, F::RemoteName}},
        {11289, "TBL_REMOTENOTADMIN", "The user '%s' is not an administrator on the server '%s'",
         {F::UserName, F::RemoteName}},
        {11290, "TBL_REMOTEINVUSER", "Invalid user '%s' specified for the server '%s'",
         {F::UserName, F::RemoteName}},
        {11291, "TBL_REMOTENOUSER", "The user '%s' does not exist on the server '%s'",
         {F::UserName, F::RemoteName}},
        {11292, "TBL_REMOTEDUPUSER", "The user '%s' already exists on the server '%s'",
         {F::UserName, F::RemoteName}},
        {11293, "TBL_REMOTEINVDB", "Invalid database '%s' specified for the server '%s'",
         {F::Database, F::RemoteName}},
        {11294, "TBL_REMOTENODB", "The database '%s' does not exist on the server '%s'",
         {F::Database, F::RemoteName}},
        {11295, "TBL_REMOTEDUPDB", "The database '%s' already exists on the server '%s'",
         {F::Database, F::RemoteName}},
        {11296, "TBL_REMOTEINVDBUSER", "Invalid rights of the user '%s' to the database '%s'",
         {F::UserName, F::Database}},
        {11297, "TBL_REMOTENODBUSER", "The user '%s' has no rights to the database '%s'",
         {F::UserName, F::Database}},
        {11298, "TBL_REMOTEDUPDBUSER", "The user '%s' already has rights to the database '%s'",
         {F::UserName, F::Database}},
        {11299, "", "Invalid server procedure '%s' specified", {F::Procedure}},
        {11300, "", "The server procedure '%s' does not exist", {F::Procedure}},
        {11301, "", "The server procedure '%s' already exists", {F::Procedure}},
        {11302, "", "Invalid rights of the user '%s' to the server procedure '%s'", {F::UserName, F::Procedure}},
        {11303, "", "The user '%s' has no rights to the server procedure '%s'", {F::UserName, F::Procedure}},
        {11304, "", "The user '%s' already has rights to the server procedure '%s'", {F::UserName, F::Procedure}},
        {11305, "", "Invalid server event '%s' specified", {F::Event}},
        {11306, "", "The server event '%s' does not exist", {F::Event}},
        {11307, "", "The server event '%s' already exists", {F::Event}},
        {11308, "TBL_REMOTEINVREQUEST", "Invalid request sent to the server '%s'", {F::RemoteName}},
        {11309, "TBL_IMPORTERROR", "Error importing data into the table '%s': %s", {F::Table, F::Message}},
        {11310, "TBL_EXPORTERROR", "Error exporting data from the table '%s': %s", {F::Table, F::Message}},
        {11312, "TBL_LOADSTREAMERROR", "Error loading the table '%s' from a stream", T},
        {11313, "TBL_SAVESTREAMERROR", "Error saving the table '%s' to a stream", T},
        {11314, "TBL_TRIGGERERROR", "A trigger of the table '%s' raised an error: %s", {F::Table, F::Message}},
        {11315, "", "The server procedure '%s' raised an error: %s", {F::Procedure, F::Message}},
        {11949, "TBL_SQLPARSE", "SQL error at line %u, column %u: %s", {F::Line, F::Column, F::Message}},
        {11950, "TBL_SQLEXEC", "SQL error while executing: %s", {F::Message}},
        {12035, "TBL_OLDVERSION", "The table '%s' is not the correct version", T},
        {12036, "TBL_BADSIGNATURE", "The table or backup file '%s' is not valid", T},
        {12292, "TBL_SEARCHCOLREQD", "An index search of the table '%s' needs at least one field", T},
        {13060, "TBL_TABLEEXISTS", "The table '%s' already exists", T},
        {15001, "TBL_COMPRESS", "Error compressing data", none},
        {15002, "TBL_UNCOMPRESS", "Error uncompressing data", none},
        {15878, "TBL_CANNOTLOADLDDRV", "The locale support for the table '%s' is not available or installed", T},
    };
    std::sort(t.begin(), t.end(), [](const TErrorCodeEntry& a, const TErrorCodeEntry& b) { return a.Code < b.Code; });
    return t;
}

std::string placeholderValue(TErrorField f, const TLastError& s)
{
    const TErrorContext& c = s.Context;
    switch (f) {
    case F::Table: return c.TableName;
    case F::Database: return c.DatabaseName;
    case F::Field: return c.FieldName;
    case F::Index: return c.IndexName;
    case F::OSError: return std::to_string(static_cast<uint32_t>(s.OSError));
    case F::RemoteName: return c.RemoteName;
    case F::UserName: return c.UserName;
    case F::Message: return c.Message;
    case F::Procedure: return c.ProcedureName;
    case F::Event: return c.EventName;
    case F::SessionID: return std::to_string(c.SessionID);
    case F::Line: return std::to_string(static_cast<uint32_t>(c.Line));
    case F::Column: return std::to_string(static_cast<uint32_t>(c.Column));
    }
    return {};
}

} // namespace

const std::vector<TErrorCodeEntry>& ErrorCodeTable()
{
    static const std::vector<TErrorCodeEntry> table = buildTable();
    return table;
}

const TErrorCodeEntry* FindErrorCode(uint16_t code)
{
    const auto& t = ErrorCodeTable();
    const auto it = std::lower_bound(t.begin(), t.end(), code,
                                     [](const TErrorCodeEntry& e, uint16_t c) { return e.Code < c; });
    return it != t.end() && it->Code == code ? &*it : nullptr;
}

std::string FormatErrorString(uint16_t code, const TLastError& state)
{
    const TErrorCodeEntry* e = FindErrorCode(code);
    if (e == nullptr)
        return "An unknown error occurred";
    // Placeholders are filled in order; a value never acts as a format itself.
    std::string out;
    std::size_t next = 0;
    for (const char* p = e->Format; *p != '\0'; ++p) {
        if (p[0] == '%' && (p[1] == 's' || p[1] == 'u')) {
            if (next < e->Placeholders.size())
                out += placeholderValue(e->Placeholders[next], state);
            ++next;
            ++p;
        } else {
            out += *p;
        }
    }
    if (out.size() > 254)
        out.resize(254);
    return out;
}

std::string TranslateErrorConstant(uint16_t code)
{
    const TErrorCodeEntry* e = FindErrorCode(code);
    return e != nullptr ? e->Name : "";
}

uint16_t ConvertExceptionToCode(const std::exception& e)
{
    if (const auto* te = dynamic_cast<const ETblEngineError*>(&e))
        return te->ErrorCode;
    return TBL_OSUNKNOWN;
}

uint16_t ConvertExceptionToCode(const std::exception_ptr& e)
{
    try {
        if (e)
            std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return ConvertExceptionToCode(ex);
    } catch (...) {
    }
    return TBL_OSUNKNOWN;
}

uint16_t OSErrorToEngineCode(uint32_t osError)
{
    switch (osError) {
    case 2:
    case 3: return TBL_OSENOENT;
    case 4: return TBL_OSEMFILE;
    case 5:
    case 32:
    case 65:
    case 183: return TBL_OSEACCES;
    case 6: return TBL_OSEBADF;
    case 8:
    case 14: return TBL_OSENOMEM;
    case 15: return TBL_OSENODEV;
    case 17: return TBL_OSENOTSAM;
    default: return TBL_OSUNKNOWN;
    }
}

} // namespace tableengine
