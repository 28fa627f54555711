#include "platform/Environment.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/WinError.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace platform;

TEST(Paths, ExecutablePathAndFolder)
{
    const std::string exe = ExecutablePath();
    EXPECT_EQ(std::filesystem::path(exe).filename(), "test_platform");
    EXPECT_TRUE(std::filesystem::path(exe).is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(exe, "/proc/self/exe"));
    EXPECT_EQ(ExecutableFolder(), std::filesystem::path(exe).parent_path().string());
    EXPECT_EQ(JoinPath(ExecutableFolder(), "3Tdata"), ExecutableFolder() + "/3Tdata");
    EXPECT_EQ(JoinPath("/", "opencpn.ini"), "/opencpn.ini");
    EXPECT_EQ(JoinPath("", "Brixel2022"), "/Brixel2022"); // an unset profile folder starts at the root
}

TEST(Environment, UnsetReadsAsEmpty)
{
    ::setenv("SONDRAL_TEST_VARIABLE", "C:/ProgramData", 1);
    EXPECT_EQ(EnvironmentVariable("SONDRAL_TEST_VARIABLE"), "C:/ProgramData");
    ::setenv("SONDRAL_TEST_VARIABLE", "", 1);
    EXPECT_EQ(EnvironmentVariable("SONDRAL_TEST_VARIABLE"), "");
    ::unsetenv("SONDRAL_TEST_VARIABLE");
    EXPECT_EQ(EnvironmentVariable("SONDRAL_TEST_VARIABLE"), "");
}

TEST(Folders, CreateFolderReportsWindowsErrors)
{
    TempFolder dir;
    const std::string folder = dir.File("Brixel2022");
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_TRUE(CreateFolder(folder));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    EXPECT_FALSE(CreateFolder(folder));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateFolder(dir.File("a/b")));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    WriteBytes(dir.File("plain"), "x");
    EXPECT_FALSE(CreateFolder(dir.File("plain/sub")));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

namespace {
// Waits for a file that a started program writes; a started program gets a generous while.
std::string WaitForFile(const std::string& path)
{
    for (int i = 0; i < 1000; ++i) {
        if (std::filesystem::exists(path + ".done"))
            return ReadBytes(path);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "no output";
}
} // namespace

TEST(Process, StartsWithoutArgumentsOrInheritedDescriptors)
{
    TempFolder dir;
    const std::string script = dir.File("viewer");
    const std::string out = dir.File("out");
    // Reports its argument count and whether descriptor 57 (left open in the parent) reached it.
    WriteBytes(script, "#!/bin/sh\n"
                       "if [ -e /proc/$$/fd/57 ]; then fd=inherited; else fd=closed; fi\n"
                       "echo \"$# $fd\" > '" + out + "'\n"
                       ": > '" + out + ".done'\n");
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);

    const int leaked = ::open("/dev/null", O_RDONLY); // deliberately without close-on-exec
    ASSERT_GE(leaked, 0);
    ASSERT_EQ(::dup2(leaked, 57), 57);
    ::close(leaked);

    EXPECT_TRUE(StartProgram(script));
    ::close(57);
    EXPECT_EQ(WaitForFile(out), "0 closed\n");
}

TEST(Process, FailureIsReportedNotRaised)
{
    TempFolder dir;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(StartProgram(dir.File("Tolvenar_Viewer")));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    WriteBytes(dir.File("notexec"), "#!/bin/sh\n");
    ASSERT_EQ(::chmod(dir.File("notexec").c_str(), 0644), 0);
    // Even root cannot execute a file without any execute bit.
    EXPECT_FALSE(StartProgram(dir.File("notexec")));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}
