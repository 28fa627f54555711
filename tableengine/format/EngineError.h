// The table engine's exception, its error codes and the code table with constant names and messages.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tableengine {

// The data-access error class: component misuse raises it with a fixed English text.
class EDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value that cannot be converted (for example a string field read as an integer).
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ETblEngineError : public EDatabaseError {
public:
    explicit ETblEngineError(const std::string& message) : EDatabaseError(message) {}

    uint16_t ErrorCode = 0;
    int32_t OSErrorCode = 0;
    int32_t SocketErrorCode = 0;
    std::string ErrorRemoteName;
    std::string ErrorUserName;
    std::string ErrorDatabaseName;
    std::string ErrorTableName;
    std::string ErrorFieldName;
    std::string ErrorIndexName;
    std::string ErrorMessage;
    std::string ErrorProcedureName;
    std::string ErrorEventName;
    int32_t ErrorLine = 0;
    int32_t ErrorColumn = 0;
};

// Context values that fill an error's placeholders (absent ones stay empty).
struct TErrorContext {
    std::string RemoteName;
    uint32_t SessionID = 0;
    int32_t Column = 0;
    int32_t Line = 0;
    std::string EventName;
    std::string ProcedureName;
    std::string Message;
    std::string IndexName;
    std::string FieldName;
    std::string TableName;
    std::string DatabaseName;
    std::string UserName;
};

// The last error as the engine keeps it; GetErrorString fills placeholders from it.
struct TLastError {
    uint16_t Code = 0;
    int32_t OSError = 0;
    int32_t SocketError = 0;
    TErrorContext Context;
};

enum : uint16_t {
    TBL_NONE = 0,
    TBL_BOF = 8705,
    TBL_EOF = 8706,
    TBL_KEYORRECDELETED = 8708,
    TBL_NOCURRREC = 8709,
    TBL_RECNOTFOUND = 8710,
    TBL_ENDOFBLOB = 8711,
    TBL_HEADERCORRUPT = 8961,
    TBL_FILECORRUPT = 8962,
    TBL_MEMOCORRUPT = 8963,
    TBL_INDEXCORRUPT = 8965,
    TBL_READERR = 9217,
    TBL_WRITEERR = 9218,
    TBL_RECTOOBIG = 9477,
    TBL_TABLEFULL = 9479,
    TBL_DATABASEFULL = 9480,
    TBL_INTERNALLIMIT = 9482,
    TBL_INDEXLIMIT = 9487,
    TBL_FLDLIMIT = 9492,
    TBL_OPENBLOBLIMIT = 9494,
    TBL_BLOBLIMIT = 9498,
    TBL_KEYVIOL = 9729,
    TBL_MINVALERR = 9730,
    TBL_MAXVALERR = 9731,
    TBL_REQDERR = 9732,
    TBL_OUTOFRANGE = 9985,
    TBL_PRIMARYKEYREDEFINE = 9993,
    TBL_INVALIDBLOBOFFSET = 9998,
    TBL_INVALIDFLDTYPE = 10000,
    TBL_INVALIDVCHKSTRUCT = 10006,
    TBL_INDEXNAMEREQUIRED = 10010,
    TBL_INVALIDPASSWORD = 10015,
    TBL_INVALIDINDEXNAME = 10022,
    TBL_INVALIDIDXDESC = 10023,
    TBL_INVALIDKEY = 10026,
    TBL_INDEXEXISTS = 10027,
    TBL_INVALIDBLOBLEN = 10029,
    TBL_INVALIDBLOBHANDLE = 10030,
    TBL_TABLEOPEN = 10031,
    TBL_INVALIDFIELDNAME = 10038,
    TBL_NOSUCHFILTER = 10050,
    TBL_INVALIDFILTER = 10051,
    TBL_LOCKREADLOCK = 10221,
    TBL_LOCKREADUNLOCK = 10222,
    TBL_LOCKWRITELOCK = 10223,
    TBL_LOCKWRITEUNLOCK = 10224,
    TBL_READLOCK = 10225,
    TBL_READUNLOCK = 10226,
    TBL_WRITELOCK = 10227,
    TBL_WRITEUNLOCK = 10228,
    TBL_TRANSLOCK = 10229,
    TBL_TRANSUNLOCK = 10230,
    TBL_LOCKED = 10241,
    TBL_UNLOCKFAILED = 10242,
    TBL_NEEDEXCLACCESS = 10253,
    TBL_RECLOCKFAILED = 10258,
    TBL_NOTSUFFTABLERIGHTS = 10498,
    TBL_NOTABLOB = 10753,
    TBL_OSENOENT = 11010,
    TBL_OSEMFILE = 11012,
    TBL_OSEACCES = 11013,
    TBL_OSEBADF = 11014,
    TBL_OSENOMEM = 11016,
    TBL_OSENODEV = 11023,
    TBL_OSENOTSAM = 11025,
    TBL_OSUNKNOWN = 11047,
    TBL_REMOTECOMMLOST = 11276,
    TBL_REMOTEENCRYPTREQ = 11277,
    TBL_REMOTEUNKNOWN = 11279,
    TBL_REMOTECONNECT = 11280,
    TBL_REMOTENOLOGIN = 11281,
    TBL_REMOTEMAXCONNECT = 11282,
    TBL_REMOTEADDRESSBLOCK = 11283,
    TBL_REMOTECALLBACK = 11284,
    TBL_REMOTECALLBACKERR = 11285,
    TBL_REMOTEVERSION = 11286,
    TBL_REMOTEINVLOGIN = 11287,
    TBL_REMOTENOTAUTH = 11288,
    TBL_REMOTENOTADMIN = 11289,
    TBL_REMOTEINVUSER = 11290,
    TBL_REMOTENOUSER = 11291,
    TBL_REMOTEDUPUSER = 11292,
    TBL_REMOTEINVDB = 11293,
    TBL_REMOTENODB = 11294,
    TBL_REMOTEDUPDB = 11295,
    TBL_REMOTEINVDBUSER = 11296,
    TBL_REMOTENODBUSER = 11297,
    TBL_REMOTEDUPDBUSER = 11298,
    TBL_REMOTEINVREQUEST = 11308,
    TBL_IMPORTERROR = 11309,
    TBL_EXPORTERROR = 11310,
    TBL_LOADSTREAMERROR = 11312,
    TBL_SAVESTREAMERROR = 11313,
    TBL_TRIGGERERROR = 11314,
    TBL_SQLPARSE = 11949,
    TBL_SQLEXEC = 11950,
    TBL_SEARCHCOLREQD = 12292,
    TBL_OLDVERSION = 12035,
    TBL_BADSIGNATURE = 12036,
    TBL_TABLEEXISTS = 13060,
    TBL_COMPRESS = 15001,
    TBL_UNCOMPRESS = 15002,
    TBL_CANNOTLOADLDDRV = 15878,
};

// What fills a placeholder of a message.
enum class TErrorField : uint8_t {
    Table, Database, Field, Index, OSError, RemoteName, UserName, Message, Procedure, Event, SessionID, Line,
    Column
};

struct TErrorCodeEntry {
    uint16_t Code;
    const char* Name;    // constant name, empty when the code has none
    const char* Format;  // message with %s / %u placeholders
    std::vector<TErrorField> Placeholders;
};

// The whole code table, ascending by code (TBL_NONE first).
const std::vector<TErrorCodeEntry>& ErrorCodeTable();
const TErrorCodeEntry* FindErrorCode(uint16_t code);

// The message of a code filled from an error state, cut to 254 characters; "An unknown error occurred" for a
// code that is not in the table.
std::string FormatErrorString(uint16_t code, const TLastError& state);
// The constant name of a code, empty when it has none.
std::string TranslateErrorConstant(uint16_t code);
// ErrorCode of an engine error, 11047 for any other exception.
uint16_t ConvertExceptionToCode(const std::exception& e);
uint16_t ConvertExceptionToCode(const std::exception_ptr& e);
// The engine code for an operating-system error met while opening, creating, reading or writing a file.
uint16_t OSErrorToEngineCode(uint32_t osError);

} // namespace tableengine
