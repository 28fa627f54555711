// Locale services: default byte order and Windows-1252 upper-casing, collation and casing for Windows locale ids.
#include "platform/Locale.h"

#include "SystemUnderTest.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(LocaleTest, DefaultLocaleComparesBytesAndUpperCasesWindows1252)
{
    const auto loc = Locale::ForLCID(0);
    ASSERT_TRUE(loc);
    EXPECT_LT(loc->Compare("B", "a"), 0);            // unsigned byte order: 'B' (0x42) < 'a' (0x61)
    EXPECT_GT(loc->Compare("\xE9", "z"), 0);         // é (0xE9) above every ASCII letter
    EXPECT_LT(loc->Compare("ab", "abc"), 0);
    EXPECT_EQ(loc->Compare("abc", "abc"), 0);
    EXPECT_EQ(loc->Upper("abc xyz"), "ABC XYZ");
    // à..þ except ÷, and š œ ž ÿ have capitals in the code page; ß, µ and ÷ do not.
    EXPECT_EQ(loc->Upper("\xE0\xE9\xFE\xF7\x9A\x9C\x9E\xFF\xDF\xB5"), "\xC0\xC9\xDE\xF7\x8A\x8C\x8E\x9F\xDF\xB5");
    EXPECT_EQ(loc->Lower("ABC \xC0\xC9\xDE\xD7\x8A\x8C\x8E\x9F"), "abc \xE0\xE9\xFE\xD7\x9A\x9C\x9E\xFF");
}

TEST(LocaleTest, WindowsLocaleIdsThroughIcu)
{
    const auto us = Locale::ForLCID(0x0409);
    ASSERT_TRUE(us);
    EXPECT_EQ(us->Name().substr(0, 2), "en");
    // Linguistic order: letters before case, accents ignored.
    EXPECT_LT(us->Compare("apple", "Banana"), 0);
    EXPECT_NE(us->Compare("a", "A"), 0);                 // letter case still counts
    EXPECT_LT(us->Compare("a-b", "ab"), 0);              // punctuation is significant (string sort)
    EXPECT_EQ(us->Upper("stra\xDF" "e \xE9t\xE9"), "STRA\xDF" "E \xC9T\xC9");

    ASSERT_TRUE(Locale::ForLCID(0x041F));
    EXPECT_EQ(Locale::ForLCID(0x0407)->Upper("\xE4"), "\xC4"); // German ä
    EXPECT_EQ(Locale::ForLCID(0x0407)->Lower("\xC4" "B"), "\xE4" "b");

    EXPECT_FALSE(Locale::IsSupported(0x7FFF0000));
    EXPECT_FALSE(Locale::ForLCID(0x12345));
    EXPECT_FALSE(Locale::ForLCID(0x0400)); // neutral: no locale of its own
}

// Accents ignored in comparisons, and the capitals of the locale's own alphabet.
TEST(LocaleTest, NonSpacingMarksAndLinguisticCasing)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "needs real Windows: Wine's CompareStringW does not ignore non-spacing marks and its "
                        "LCMapStringW has no linguistic (Turkish) casing";
    EXPECT_EQ(Locale::ForLCID(0x0409)->Compare("e", "\xE9"), 0); // é equals e when non-spacing marks are ignored
    const auto tr = Locale::ForLCID(0x041F); // Turkish: dotted capital I does not exist in Windows-1252
    ASSERT_TRUE(tr);
    EXPECT_EQ(tr->Upper("i"), "i");
}

} // namespace
