// Programs started with arguments and environment, waited for and ended: the test program itself in child
// roles (tests/support/ChildProcessRole.h), on every platform.
#include "platform/Environment.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/WinError.h"

#include "support/ChildProcessRole.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

using support::Arguments;
using support::ChildLink;

namespace {

// Exit code 7 when the variable holds what the argument says.
const support::ChildRole checkVariable("Process.CheckVariable", [](ChildLink&, const Arguments& a) {
    return platform::EnvironmentVariable("SONDRAL_TEST_VALUE") == a.at(0) ? 7 : 1;
});

const support::ChildRole waitLong("Process.WaitLong", [](ChildLink& self, const Arguments&) {
    self.Tell('w');
    self.Hear(60000);
    return 0;
});

TEST(Process, ChildGetsTheAddedVariableAndGivesItsExitCode)
{
    // Blanks, quotes, a backslash and a letter beyond ASCII all arrive as they were.
    const std::string value = "two words, \"quoted\" \\ and \xC3\xBC";
    support::RoleProcess child(checkVariable, {value}, {{"SONDRAL_TEST_VALUE", value}});
    EXPECT_EQ(child.Join(), 7);
    support::RoleProcess without(checkVariable, {value});
    EXPECT_EQ(without.Join(), 1);
}

TEST(Process, WaitGivesNothingWhileTheChildRunsAndKillEndsIt)
{
    support::RoleProcess child(waitLong, {});
    ASSERT_EQ(child.WaitFor(), 'w');
    EXPECT_EQ(child.Join(200), -1); // still running: ended by Join after its time-out
    support::RoleProcess other(waitLong, {});
    ASSERT_EQ(other.WaitFor(), 'w');
    other.Kill();
    const int code = other.Join(1000);
    EXPECT_NE(code, -1);
    EXPECT_NE(code, 0);
}

TEST(Process, MissingProgramIsNotStarted)
{
    TempFolder dir;
    EXPECT_EQ(platform::Process::Start(platform::JoinPath(dir.Path(), "missing.exe"), {"x"}), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_FILE_NOT_FOUND);
}

} // namespace
