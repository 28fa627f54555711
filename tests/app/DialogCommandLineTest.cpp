#include "app/CommandLine.h"
#include "app/PortNumber.h"

#include <gtest/gtest.h>

#include <vector>

using platform::Text;

TEST(DialogCommandLineTest, ExternInAnyCaseAtAnyPosition)
{
    const std::vector<std::pair<std::vector<Text>, bool>> cases = {
        {{u"EXTERN"}, true},
        {{u"Extern"}, true},
        {{u"extern"}, true},
        {{u"a", u"b", u"eXtErN"}, true},
        {{u"--window-ms", u"200", u"extern", u"--report"}, true},
        {{u"externally"}, false},
        {{u"ext"}, false},
        {{u"--extern"}, false},
        {{}, false},
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(app::HasExtern(args), expected) << platform::TextToUtf8(args.empty() ? Text() : args.back());
}

TEST(DialogCommandLineTest, Options)
{
    auto parsed = app::ParseCommandLine({u"extern", u"--window-ms", u"250", u"--report"});
    ASSERT_TRUE(std::holds_alternative<app::TProgramOptions>(parsed));
    auto options = std::get<app::TProgramOptions>(parsed);
    EXPECT_EQ(options.WindowMs, 250);
    EXPECT_TRUE(options.Report);
    EXPECT_EQ(options.Arguments.size(), 4u);

    options = std::get<app::TProgramOptions>(app::ParseCommandLine({}));
    EXPECT_EQ(options.WindowMs, 5000);
    EXPECT_FALSE(options.Report);

    options = std::get<app::TProgramOptions>(app::ParseCommandLine({u"--window-ms=600000", u"anything"}));
    EXPECT_EQ(options.WindowMs, 600000);
    options = std::get<app::TProgramOptions>(app::ParseCommandLine({u"--window-ms", u"1"}));
    EXPECT_EQ(options.WindowMs, 1);

    // Other options, the toolkit's own among them, are ignored; so are words after them.
    for (const std::vector<Text>& ignored : std::vector<std::vector<Text>>{
             {u"--reports"}, {u"-x"}, {u"-style", u"fusion"}, {u"-platform", u"offscreen"}, {u"-display", u":0"},
             {u"--bogus=1"}, {u"-"}}) {
        parsed = app::ParseCommandLine(ignored);
        ASSERT_TRUE(std::holds_alternative<app::TProgramOptions>(parsed)) << platform::TextToUtf8(ignored[0]);
        options = std::get<app::TProgramOptions>(parsed);
        EXPECT_FALSE(options.Report);
        EXPECT_EQ(options.WindowMs, 5000);
        EXPECT_EQ(options.Arguments, ignored);
    }

    for (const std::vector<Text>& bad : std::vector<std::vector<Text>>{
             {u"--window-ms"}, {u"--window-ms", u"0"}, {u"--window-ms", u"600001"}, {u"--window-ms", u"-5"},
             {u"--window-ms", u"12x"}, {u"--window-ms", u" 12"}, {u"--window-ms="},
             {u"--window-ms", u"99999999999999999999"}, {u"-style", u"x", u"--window-ms", u"y"}})
        EXPECT_TRUE(std::holds_alternative<std::string>(app::ParseCommandLine(bad)))
            << platform::TextToUtf8(bad.back());
}

TEST(DialogCommandLineTest, PortNumberFromName)
{
    const std::vector<std::pair<Text, int>> cases = {
        {u"COM1", 1}, {u"COM12", 12}, {u"com3", 3}, {u"Com7", 7}, {u"COMX", 0}, {u"COM", 0}, {u"LPT1", 0},
        {u"", 0},     {u"CO", 0},     {u"COM-2", 0}, {u"COM99999999999", 0}, {u"COM2147483647", 2147483647},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(app::PortNumberFromName(name), number) << platform::TextToUtf8(name);
}
