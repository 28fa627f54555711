// The process's own services on Windows: environment in UTF-16, the executable's path, folder creation,
// starting programs, and the ini module's refusal of a read-only file.
#include "platform/Environment.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "platform/WinError.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h> // after our headers, which name Windows's constants themselves

#include <filesystem>

using namespace platform;

namespace {

TEST(Win32Services, EnvironmentIsReadInUtf16)
{
    // "C:\ProgramData\Fjärd 漢" holds characters of no single ANSI code page.
    const wchar_t* value = L"C:\\ProgramData\\Fj\u00E4rd \u6F22";
    ASSERT_TRUE(SetEnvironmentVariableW(L"SONDRAL_TEST_PROFILE", value));
    EXPECT_EQ(EnvironmentVariable("SONDRAL_TEST_PROFILE"), "C:\\ProgramData\\Fj\xC3\xA4rd \xE6\xBC\xA2");
    ASSERT_TRUE(SetEnvironmentVariableW(L"SONDRAL_TEST_PROFILE", nullptr));
    EXPECT_EQ(EnvironmentVariable("SONDRAL_TEST_PROFILE"), "");
    // The all-users profile folder comes from the environment as it is.
    wchar_t profile[MAX_PATH] = {};
    const ::DWORD n = GetEnvironmentVariableW(L"ALLUSERSPROFILE", profile, MAX_PATH);
    EXPECT_EQ(EnvironmentVariable("ALLUSERSPROFILE"), TextToUtf8(Text(reinterpret_cast<const char16_t*>(profile), n)));
}

TEST(Win32Services, ExecutablePathAndJoining)
{
    const std::string exe = ExecutablePath();
    EXPECT_EQ(std::filesystem::path(exe).filename(), "test_platform.exe");
    EXPECT_TRUE(std::filesystem::path(exe).is_absolute());
    EXPECT_EQ(ExecutableFolder(), std::filesystem::path(exe).parent_path().string());
    EXPECT_EQ(JoinPath("C:\\ProgramData", "Brixel2022"), "C:\\ProgramData\\Brixel2022");
    EXPECT_EQ(JoinPath("C:\\", "x"), "C:\\x");
}

TEST(Win32Services, CreateFolderAndStartProgramReportTheSystemsErrors)
{
    TempFolder dir;
    const std::string folder = dir.File("Brixel2022");
    EXPECT_TRUE(CreateFolder(folder));
    EXPECT_FALSE(CreateFolder(folder));
    EXPECT_EQ(platform::GetLastError(), 183u); // ERROR_ALREADY_EXISTS
    EXPECT_FALSE(CreateFolder(dir.File("missing\\child")));
    EXPECT_EQ(platform::GetLastError(), 3u); // ERROR_PATH_NOT_FOUND
    EXPECT_FALSE(StartProgram(dir.File("Viewer.exe")));
    EXPECT_EQ(platform::GetLastError(), 2u);
    EXPECT_EQ(SysErrorMessage(2), "The system cannot find the file specified.");
}

TEST(Win32Services, IniFileRefusesAReadOnlyFileAndLeavesIt)
{
    TempFolder dir;
    const std::string path = dir.File("opencpn.ini");
    WriteBytes(path, "[Settings/NMEADataSource]\r\nDataConnections=old\r\n");
    ASSERT_TRUE(SetFileAttributesW(std::filesystem::path(path).c_str(), FILE_ATTRIBUTE_READONLY));
    TIniFile ini(path);
    EXPECT_THROW(ini.WriteString(u"Settings/NMEADataSource", u"DataConnections", u"new"), EIniFileException);
    EXPECT_EQ(ReadBytes(path), "[Settings/NMEADataSource]\r\nDataConnections=old\r\n");
    ASSERT_TRUE(SetFileAttributesW(std::filesystem::path(path).c_str(), FILE_ATTRIBUTE_NORMAL));
    ini.WriteString(u"Settings/NMEADataSource", u"DataConnections", u"new");
    EXPECT_EQ(ReadBytes(path), "[Settings/NMEADataSource]\r\nDataConnections=new\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
}

} // namespace
