#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Text, Utf8RoundTripIncludesCharactersBeyondTheBasicPlane)
{
    const std::string utf8 = "Zee\xC3\xAB" "end \xE2\x82\xAC \xF0\x9F\x9A\xA2";
    const Text text = Utf8ToText(utf8);
    EXPECT_EQ(text, u"Zee\u00EBend \u20AC \U0001F6A2");
    EXPECT_EQ(TextToUtf8(text), utf8);
    EXPECT_EQ(Utf8ToText("a\xFF" "b"), u"a\uFFFDb");
}

TEST(Text, AnsiIsWindows1252ByDefault)
{
    ASSERT_EQ(AnsiCodePage(), "windows-1252");
    EXPECT_EQ(AnsiToText("\x80\xE9\x9F"), u"\u20AC\u00E9\u0178");
    EXPECT_EQ(TextToAnsi(u"\u20AC\u00E9"), "\x80\xE9");
    EXPECT_EQ(TextToAnsi(u"\u4E2D"), "?");
    EXPECT_FALSE(SetAnsiCodePage("no-such-code-page"));
    EXPECT_EQ(AnsiCodePage(), "windows-1252");
}

TEST(Text, DecimalParsingAcceptsBlanksAndSignOnly)
{
    struct Case {
        const char16_t* text;
        std::optional<int64_t> value;
    };
    const Case cases[] = {
        {u"42", 42},          {u"  -7 ", -7},        {u"+5", 5},     {u"0", 0},
        {u"", std::nullopt},  {u"  ", std::nullopt}, {u"1x", std::nullopt},
        {u"0x10", std::nullopt}, {u"9223372036854775808", std::nullopt},
        {u"-9223372036854775808", INT64_MIN}, {u"\uFF11", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextToInt(c.text), c.value) << TextToUtf8(c.text);
    EXPECT_EQ(IntToText(-4800), u"-4800");
}

TEST(Text, CaseInsensitiveComparison)
{
    EXPECT_EQ(CompareTextNoCase(u"gsv", u"GSV"), 0);
    EXPECT_LT(CompareTextNoCase(u"apb", u"BOD"), 0); // alphabetical, not by code of the upper case
    EXPECT_GT(CompareTextNoCase(u"Zee", u"zea"), 0);
    EXPECT_EQ(CompareTextNoCase(u"\u00C9T\u00C9", u"\u00E9t\u00E9"), 0);
    EXPECT_EQ(UpperCase(u"com3"), u"COM3");
}
