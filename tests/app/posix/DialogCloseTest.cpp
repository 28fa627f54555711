// Close starts the viewer beside the executable unless "extern" was given; Accept never starts it. The
// dialog runs in a copy of this test program placed beside a stand-in viewer, so that "beside the
// executable" is a folder the test owns.
// POSIX only: the stand-in viewer is a shell script, and the children find their ports in SONDRAL_COM_MAP.
#include "../DialogTestSupport.h"

#include "platform/Paths.h"

#include <QPushButton>

using namespace dialogtest;

namespace {

constexpr char ChildVariable[] = "SONDRAL_DIALOG_CHILD";

// Runs one of the child tests below in a copy of this program inside folder.
int RunChild(const TempFolder& folder, const std::string& mode, const std::vector<std::string>& env = {})
{
    const std::string copy = folder / "test_app";
    if (!fs::exists(copy)) {
        std::error_code ec;
        fs::create_hard_link(platform::ExecutablePath(), copy, ec);
        if (ec)
            fs::copy_file(platform::ExecutablePath(), copy);
    }
    std::vector<std::string> childEnv{std::string(ChildVariable) + "=" + mode, "QT_QPA_PLATFORM=offscreen"};
    childEnv.insert(childEnv.end(), env.begin(), env.end());
    const ProgramResult child = RunProgram(copy, {"--gtest_filter=DialogCloseChild.Run"}, {.env = childEnv});
    EXPECT_NE(child.out.find("[  PASSED  ] 1 test"), std::string::npos) << child.out;
    return child.exitCode;
}

void InstallViewer(const TempFolder& folder)
{
    const std::string viewer = folder / "Tolvenar_Viewer.exe";
    // Written under another name and renamed, so that the test never reads the file before its line is in.
    WriteFile(viewer, "#!/bin/sh\nd=$(dirname \"$0\")\necho \"$#\" > \"$d/viewer-started.part\"\n"
                      "mv \"$d/viewer-started.part\" \"$d/viewer-started\"\n");
    fs::permissions(viewer, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

bool WaitForFile(const std::string& path, int ms)
{
    for (int k = 0; k < ms / 10 && !fs::exists(path); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(path);
}

} // namespace

TEST(DialogCloseChild, Run)
{
    const char* mode = std::getenv(ChildVariable);
    if (!mode)
        GTEST_SKIP() << "runs only as the child of DialogCloseTest";
    Application();
    TempFolder folder("child");
    WriteFile(folder / "empty.map", "");
    ScopedEnv map("SONDRAL_COM_MAP", folder / "empty.map");
    auto taal = EnglishTaal(folder);
    const std::string m = mode;
    std::vector<platform::Text> args;
    if (m == "close-extern")
        args.push_back(u"Extern");
    app::TForm1 form(*taal, Options(args));
    form.show();
    if (m == "accept") {
        form.Start_btn->click();
        ASSERT_TRUE(form.Ok_btn->isEnabled());
        form.Ok_btn->click();
    } else {
        // With "extern" the scan (of no ports) starts on its own; Close is enabled once it has finished.
        RunUntil([&] { return form.Button3->isEnabled() && !form.Scanning(); }, 5000);
        form.Button3->click();
    }
    EXPECT_TRUE(form.isHidden());
}

TEST(DialogCloseTest, CloseStartsTheViewerBesideTheExecutable)
{
    TempFolder folder("close");
    InstallViewer(folder);
    EXPECT_EQ(RunChild(folder, "close"), 0);
    ASSERT_TRUE(WaitForFile(folder / "viewer-started", 5000));
    // Started with no arguments.
    EXPECT_EQ(ReadFile(folder / "viewer-started"), "0\n");
}

TEST(DialogCloseTest, MissingViewerIsIgnored)
{
    TempFolder folder("noviewer");
    EXPECT_EQ(RunChild(folder, "close"), 0);
}

TEST(DialogCloseTest, ExternAndAcceptDoNotStartTheViewer)
{
    for (const std::string mode : {"close-extern", "accept"}) {
        SCOPED_TRACE(mode);
        TempFolder folder(mode);
        InstallViewer(folder);
        fs::create_directories(folder.Path() / "Brixel2022");
        EXPECT_EQ(RunChild(folder, mode, {"ALLUSERSPROFILE=" + folder.Path().string()}), 0);
        if (mode == "accept") {
            EXPECT_NE(ReadFile(folder / "Brixel2022/opencpn.ini").find("DataConnections="), std::string::npos);
        }
        // The child has ended; a viewer it had started would have written its mark by now.
        EXPECT_FALSE(WaitForFile(folder / "viewer-started", 1000));
    }
}
