#include "platform/Text.h"

#include <gtest/gtest.h>

#include <thread>

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

// Text is widened in blocks of 16 bytes and decoded in pieces of 256 characters: every length around those
// sizes, with a character outside ASCII or a zero byte at each place, decodes as byte by byte would.
TEST(Text, AnsiDecodingMatchesByteByByteAtEveryLengthAndStop)
{
    const auto byteByByte = [](const std::string& ansi, bool zeroEnds) {
        Text out;
        for (const char b : ansi) {
            if (zeroEnds && b == 0)
                break;
            out += b == 0 ? Text(1, u'\0') : AnsiToText(std::string(1, b));
        }
        return out;
    };
    for (const std::size_t length : std::initializer_list<std::size_t>{1, 7, 8, 15, 16, 17, 31, 32, 33, 40, 47, 255, 256, 257, 300, 530}) {
        std::string plain(length, 'a');
        for (std::size_t i = 0; i < length; ++i)
            plain[i] = static_cast<char>('a' + i % 26);
        EXPECT_EQ(AnsiToText(plain), byteByByte(plain, false)) << length;
        EXPECT_EQ(AnsiFieldToText(plain), byteByByte(plain, true)) << length;
        for (std::size_t at = 0; at < length; ++at)
            for (const char stop : {'\xE9', '\0'}) {
                std::string s = plain;
                s[at] = stop;
                if (at + 2 < length)
                    s[at + 2] = '\x80';
                ASSERT_EQ(AnsiToText(s), byteByByte(s, false)) << length << " " << at;
                ASSERT_EQ(AnsiFieldToText(s), byteByByte(s, true)) << length << " " << at;
            }
    }
    EXPECT_EQ(AnsiFieldToText(std::string("\0abc", 4)), u"");
    ASSERT_TRUE(SetAnsiCodePage("shift_jis"));
    EXPECT_EQ(AnsiFieldToText(std::string("\x82\xA0x\0yz", 6)), u"\u3042x");
    ASSERT_TRUE(SetAnsiCodePage("windows-1252"));
}

TEST(Text, ChangingTheCodePageReachesEveryThread)
{
    // A single-byte and a multi-byte code page, each converted on this thread and on a new one.
    const auto onThread = [](const std::string& ansi) {
        Text out;
        std::thread([&] { out = AnsiToText(ansi); }).join();
        return out;
    };
    EXPECT_EQ(AnsiToText("\x80"), u"\u20AC");
    ASSERT_TRUE(SetAnsiCodePage("windows-1251"));
    EXPECT_EQ(AnsiToText("\xC0\xE9" "a"), u"\u0410\u0439a");
    EXPECT_EQ(onThread("\xC0"), u"\u0410");
    EXPECT_EQ(TextToAnsi(u"\u0410"), "\xC0");
    ASSERT_TRUE(SetAnsiCodePage("shift_jis"));
    EXPECT_EQ(AnsiToText("\x82\xA0x"), u"\u3042x");
    EXPECT_EQ(onThread("\x82\xA0"), u"\u3042");
    EXPECT_EQ(TextToAnsi(u"\u3042"), "\x82\xA0");
    ASSERT_TRUE(SetAnsiCodePage("windows-1252"));
    EXPECT_EQ(AnsiToText("\x80\xC0"), u"\u20AC\u00C0");
    EXPECT_EQ(onThread("\x80"), u"\u20AC");
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
