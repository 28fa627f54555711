// The engine's error codes, messages, constant names, exception fields and the OS error mapping.
#include "tableengine/storage/DataEngine.h"
#include "tableengine/format/EngineError.h"

#include <gtest/gtest.h>

#include <set>

using namespace tableengine;

namespace {

TEST(EngineErrorTest, CodeTableHoldsEveryCodeWithItsConstantName)
{
    const auto& table = ErrorCodeTable();
    EXPECT_EQ(table.size(), 114u); // TBL_NONE and 113 codes
    std::set<uint16_t> codes;
    for (const auto& e : table) {
        EXPECT_TRUE(codes.insert(e.Code).second) << e.Code;
        if (e.Code != 0) {
            EXPECT_STRNE(e.Format, "") << e.Code;
        }
    }
    const std::pair<uint16_t, const char*> named[] = {
        {0, "TBL_NONE"}, {8705, "TBL_BOF"}, {8962, "TBL_FILECORRUPT"}, {9218, "TBL_WRITEERR"},
        {9480, "TBL_DATABASEFULL"}, {10243, ""}, {10498, "TBL_NOTSUFFTABLERIGHTS"}, {11047, "TBL_OSUNKNOWN"},
        {11299, ""}, {11307, ""}, {11315, ""}, {11298, "TBL_REMOTEDUPDBUSER"}, {12036, "TBL_BADSIGNATURE"},
        {12292, "TBL_SEARCHCOLREQD"}, {13060, "TBL_TABLEEXISTS"}, {15002, "TBL_UNCOMPRESS"},
        {15878, "TBL_CANNOTLOADLDDRV"}, {1234, ""}};
    for (const auto& [code, name] : named)
        EXPECT_EQ(TranslateErrorConstant(code), name) << code;
    // The ranges of the table.
    for (uint16_t c : codes)
        EXPECT_TRUE(c == 0 || (c >= 8705 && c <= 8965) || (c >= 9217 && c <= 9498) || (c >= 9729 && c <= 10753) ||
                    (c >= 11010 && c <= 11047) || (c >= 11276 && c <= 11315) || (c >= 11949 && c <= 12292) ||
                    c == 13060 || c == 15001 || c == 15002 || c == 15878)
            << c;
}

TEST(EngineErrorTest, MessagesFillPlaceholdersFromTheErrorState)
{
    TLastError s;
    s.OSError = 1224;
    s.Context.TableName = "Language";
    s.Context.DatabaseName = "/data/3Tdata";
    s.Context.FieldName = "Nr";
    s.Context.SessionID = 7;
    const std::pair<uint16_t, const char*> cases[] = {
        {11010, "Table or backup file 'Language' does not exist"},
        {8961, "Header information corrupt in the table 'Language'"},
        {9217, "Error reading from the table or backup file 'Language'"},
        {9480, "The database '/data/3Tdata' is full and cannot contain any more tables"},
        {9985, "Invalid field number or name 'Nr' specified for the table 'Language'"},
        {10225, "Cannot read lock the table 'Language'"},
        {10221, "Cannot read lock the lock file for the database '/data/3Tdata'"},
        {11016, "There is insufficient operating system memory available for the current operation"},
        {11047, "An unknown operating system error 1224 occurred with the table or backup file 'Language'"},
        {12035, "The table 'Language' is not the correct version"},
        {15878, "The locale support for the table 'Language' is not available or installed"},
        {10243, "Cannot lock the session (ID: 7)"},
        {15001, "Error compressing data"},
        {9487, "Maximum or minimum limits on the index page size, the number of indexes, or the number of fields in "
               "an index exceeded in the table 'Language'"},
        {9999, "An unknown error occurred"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(FormatErrorString(code, s), text) << code;
    // A placeholder value is text, never a format; the whole message is cut to 254 characters.
    s.Context.TableName = "%s%u%n" + std::string(400, 'x');
    const std::string long_ = FormatErrorString(8961, s);
    EXPECT_EQ(long_.size(), 254u);
    EXPECT_EQ(long_.substr(0, 45), "Header information corrupt in the table '%s%u");
}

TEST(EngineErrorTest, RaiseErrorFillsTheExceptionAndResetsTheOsNumber)
{
    TDataEngine engine;
    engine.SetOSErrorNumber(32);
    TErrorContext c;
    c.TableName = "Language";
    c.DatabaseName = "/x/3Tdata";
    c.Line = 3;
    c.Column = 4;
    try {
        engine.RaiseError(TBL_OSEACCES, c);
        FAIL() << "no exception";
    } catch (const EDatabaseError& base) {
        const auto* e = dynamic_cast<const ETblEngineError*>(&base);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->ErrorCode, 11013);
        EXPECT_EQ(e->OSErrorCode, 32);
        EXPECT_EQ(e->SocketErrorCode, 0);
        EXPECT_EQ(e->ErrorTableName, "Language");
        EXPECT_EQ(e->ErrorDatabaseName, "/x/3Tdata");
        EXPECT_EQ(e->ErrorLine, 3);
        EXPECT_EQ(e->ErrorColumn, 4);
        EXPECT_STREQ(e->what(), "Table Engine Error # 11013 Access denied to table or backup file 'Language'");
        EXPECT_EQ(ConvertExceptionToCode(*e), 11013);
    }
    EXPECT_EQ(engine.OSErrorNumber(), 0);
    EXPECT_EQ(engine.LastError().Code, 11013);
    EXPECT_EQ(engine.GetErrorString(TBL_OSEACCES), "Access denied to table or backup file 'Language'");
    // The next raise starts from a clean state.
    try {
        engine.RaiseError(TBL_OSUNKNOWN);
    } catch (const ETblEngineError& e) {
        EXPECT_EQ(e.OSErrorCode, 0);
        EXPECT_EQ(e.ErrorTableName, "");
        EXPECT_STREQ(e.what(), "Table Engine Error # 11047 An unknown operating system error 0 occurred with the "
                               "table or backup file ''");
    }
}

TEST(EngineErrorTest, ConvertExceptionToCodeOfOtherExceptions)
{
    EXPECT_EQ(ConvertExceptionToCode(EConvertError("'abc' is not a valid integer value")), 11047);
    EXPECT_EQ(ConvertExceptionToCode(std::runtime_error("x")), 11047);
    EXPECT_EQ(ConvertExceptionToCode(std::make_exception_ptr(42)), 11047);
    ETblEngineError e("m");
    e.ErrorCode = 8706;
    EXPECT_EQ(ConvertExceptionToCode(std::make_exception_ptr(e)), 8706);
}

TEST(EngineErrorTest, OperatingSystemErrorsMapToEngineCodes)
{
    const std::pair<uint32_t, uint16_t> cases[] = {{2, 11010}, {3, 11010}, {4, 11012}, {5, 11013}, {32, 11013},
                                                   {65, 11013}, {183, 11013}, {6, 11014}, {8, 11016}, {14, 11016},
                                                   {15, 11023}, {17, 11025}, {33, 11047}, {112, 11047}, {0, 11047}};
    for (const auto& [os, code] : cases)
        EXPECT_EQ(OSErrorToEngineCode(os), code) << os;
}

} // namespace
