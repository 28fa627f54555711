#include "app/SentenceClassifier.h"

#include <gtest/gtest.h>

#include <vector>

using platform::Text;

namespace {
std::vector<Text> Items(const platform::TTextList& list) { return list.Items(); }
using Types = std::vector<Text>;
} // namespace

TEST(ClassifySentence, KnownTypesTable)
{
    const TSentenceClassifier c;
    ASSERT_EQ(c.KnownTypes.Count(), 56);
    EXPECT_EQ(c.KnownTypes[0], u"AAM");
    EXPECT_EQ(c.KnownTypes[30], u"RMC");
    EXPECT_EQ(c.KnownTypes[55], u"ZTG");
}

TEST(ClassifySentence, SingleSentences)
{
    struct Case {
        const char16_t* sentence;
        bool result;
        Types recognised;
        Types unused;
        bool lowPrecision;
    };
    const Case cases[] = {
        {u"$GPGGA\r\n", false, {}, {}, false}, // no comma at all
        {u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n", true, {u"GGA"}, {}, false},
        {u"$GNGGA,1\r\n", true, {u"GGA"}, {}, false},
        {u"$GPGLL,4916.45,N,12311.12,W,225444,A\r\n", true, {u"GLL"}, {}, false},
        {u"!AIVDM,1,1,,B,13aG,0*24\r\n", true, {u"VDM"}, {}, false},
        {u"!AIVDO,1,1,,B,13aG,0*24\r\n", true, {u"VDO"}, {}, false},
        {u"$SDDBS,1\r\n", true, {u"DBS"}, {}, false}, // recognised, not among the known types
        {u"$IIHDM,1\r\n", true, {u"HDM"}, {}, false},
        {u"$SDDBT,7.7,f,2.3,M,1.3,F*05\r\n", true, {u"DBT"}, {}, false}, // recognised, and known: never unused
        {u"$GGA,1\r\n", false, {}, {}, false},                           // type "A"
        {u"$GP,1\r\n", false, {}, {}, false},                            // no type at all
        {u"$,1\r\n", false, {}, {}, false},
        {u",1\r\n", false, {}, {}, false},
        {u"$PGRME,15.0,M,22.5,M,27.0,M*1A\r\n", false, {}, {}, false}, // type "RME"
        {u"$gpgga,1\r\n", false, {}, {}, false},                       // comparisons are exact
        {u"$gpgsv,1\r\n", false, {}, {}, false},
        {u"$GPGSV,3,1,09\r\n", false, {}, {u"GSV"}, false},
        {u"$PGRMZ,2282,f,3*21\r\n", false, {}, {}, false},
        {u"$GPZDA,201530.00,04,07,2002,00,00*60\r\n", false, {}, {u"ZDA"}, false},
        {u"xx$GPGGA,1\r\n", false, {}, {}, false}, // address "x$GPGGA": type "GPGGA"
        // RMC: more than 10 fields needed; the position's length decides the precision flag.
        {u"$GPRMC,a,b,c,d,e,f,g,h,i,j\r\n", false, {}, {}, false},
        {u"$GPRMC,,,,,,,,,,\r\n", false, {}, {}, false},
        {u"$GPRMC,,,,,,,,,,,\r\n", true, {u"RMC"}, {}, true},
        {u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n", true, {u"RMC"}, {}, false},
        {u"$GPRMC,123519,A,4807.03,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n", true, {u"RMC"}, {}, true},
        {u"$GPRMC,123519,A,4807.038,N,01131.00,E,022.4,084.4,230394,003.1,W*6A\r\n", true, {u"RMC"}, {}, true},
        {u"$GPRMC,123519,A,4807.03,N,01131.00,E,022.4,084.4,230394,003.1,W*6A\r\n", true, {u"RMC"}, {}, true},
        {u"$GPRMC,123519,V,,,,,,,230394,,*6A\r\n", true, {u"RMC"}, {}, true},
    };
    for (const Case& k : cases) {
        TSentenceClassifier c;
        EXPECT_EQ(c.ClassifySentence(k.sentence), k.result) << platform::TextToUtf8(k.sentence);
        EXPECT_EQ(Items(c.RecognisedTypes), k.recognised) << platform::TextToUtf8(k.sentence);
        EXPECT_EQ(Items(c.UnusedTypes), k.unused) << platform::TextToUtf8(k.sentence);
        EXPECT_EQ(c.CheckTwoDecimalRMC, k.lowPrecision) << platform::TextToUtf8(k.sentence);
    }
}

TEST(ClassifySentence, EveryKnownTypeThatIsNotRecognisedBecomesUnused)
{
    TSentenceClassifier c;
    const Types known = c.KnownTypes.Items();
    for (const Text& type : known)
        c.ClassifySentence(u"$GP" + type + u",1\r\n");
    // RMC with one field is dropped; the eleven other recognised known types never become unused.
    EXPECT_EQ(Items(c.RecognisedTypes),
              (Types{u"DBE", u"DBT", u"DPT", u"GGA", u"GLL", u"HDG", u"HDT", u"ROT", u"VBW", u"VHW", u"VTG"}));
    EXPECT_EQ(Items(c.UnusedTypes),
              (Types{u"AAM", u"ALM", u"APB", u"ASD", u"BEC", u"BOD", u"BWC", u"BWR", u"BWW", u"DCN", u"FSI",
                     u"GLC", u"GSA", u"GSV", u"GXA", u"HSC", u"LCD", u"MTW", u"MWV", u"OLN", u"OSD", u"RMA",
                     u"RMB", u"RPM", u"RSA", u"RSD", u"RTE", u"RWS", u"SFI", u"STN", u"TRF", u"TTM", u"VDR",
                     u"VLW", u"VPW", u"WCV", u"WNC", u"WPL", u"XDR", u"XTE", u"XTR", u"ZDA", u"ZFO", u"ZTG"}));
    EXPECT_FALSE(c.CheckTwoDecimalRMC);
}

TEST(ClassifySentence, ListsAreSortedBeforeEachLookUpAndNewTypesAppended)
{
    TSentenceClassifier c;
    c.ClassifySentence(u"$GPGSV,3,1,09\r\n");
    c.ClassifySentence(u"$GPGSA,A,3\r\n");
    EXPECT_EQ(Items(c.UnusedTypes), (Types{u"GSV", u"GSA"}));
    c.ClassifySentence(u"$GPGSV,3,2,09\r\n"); // sorts, finds GSV
    EXPECT_EQ(Items(c.UnusedTypes), (Types{u"GSA", u"GSV"}));
    c.ClassifySentence(u"$GPBOD,,T\r\n");
    EXPECT_EQ(Items(c.UnusedTypes), (Types{u"GSA", u"GSV", u"BOD"}));
    c.ClassifySentence(u"$GPGGA,1\r\n"); // recognised sentences leave the unused list alone
    EXPECT_EQ(Items(c.UnusedTypes), (Types{u"GSA", u"GSV", u"BOD"}));
    c.ClassifySentence(u"$PGRME,1\r\n"); // and so do ignored ones
    EXPECT_EQ(Items(c.UnusedTypes), (Types{u"GSA", u"GSV", u"BOD"}));

    EXPECT_TRUE(c.ClassifySentence(u"$GPVTG,1\r\n"));
    EXPECT_TRUE(c.ClassifySentence(u"$GPGGA,2\r\n")); // the same type twice is entered once
    EXPECT_EQ(Items(c.RecognisedTypes), (Types{u"GGA", u"VTG"}));
    EXPECT_TRUE(c.ClassifySentence(u"$GPDBT,1\r\n"));
    EXPECT_EQ(Items(c.RecognisedTypes), (Types{u"GGA", u"VTG", u"DBT"}));
    EXPECT_TRUE(c.ClassifySentence(u"$GPVTG,1\r\n"));
    EXPECT_EQ(Items(c.RecognisedTypes), (Types{u"DBT", u"GGA", u"VTG"}));
}

TEST(ClassifySentence, PrecisionFlagStaysSetUntilTheAttemptEnds)
{
    TSentenceClassifier c;
    c.ClassifySentence(u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n");
    EXPECT_FALSE(c.CheckTwoDecimalRMC);
    c.ClassifySentence(u"$GPRMC,123519,A,4807.03,N,01131.00,E,022.4,084.4,230394,003.1,W*6A\r\n");
    EXPECT_TRUE(c.CheckTwoDecimalRMC);
    c.ClassifySentence(u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n");
    EXPECT_TRUE(c.CheckTwoDecimalRMC);
    c.ClassifySentence(u"$GPGSV,1\r\n");
    c.ResetAttempt();
    EXPECT_FALSE(c.CheckTwoDecimalRMC);
    EXPECT_TRUE(c.RecognisedTypes.Empty());
    EXPECT_TRUE(c.UnusedTypes.Empty());
    EXPECT_EQ(c.KnownTypes.Count(), 56);
}
