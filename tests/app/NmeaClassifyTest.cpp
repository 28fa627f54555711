// The nmea-classify tool, run as a real process on the recorded logs. The expected lines were worked out
// from the classification rules and the logs' contents (sentence types in order of first appearance, RMC
// field counts and position lengths), not by running the code.
#include "support/RunProgram.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

const std::string kTool = std::string(SONDRAL_BINARY_DIR) + "/tools/nmea-classify";
const std::string kLogs = std::string(SONDRAL_FIXTURES) + "/nmea/";
// The tool writes text: on Windows its standard output turns each line end into CR LF.
#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

std::string Expected(const std::string& recognised, const std::string& unused, bool lowPrecision, int sentences)
{
    auto line = [](const std::string& label, const std::string& list) {
        return label + ":" + (list.empty() ? "" : " " + list) + kEol;
    };
    return line("recognised", recognised) + line("unused", unused) +
           "rmc-low-precision: " + (lowPrecision ? "yes" : "no") + kEol + "sentences: " + std::to_string(sentences) +
           kEol;
}

} // namespace

TEST(NmeaClassify, RecordedLogs)
{
    struct Case {
        const char* log;
        std::string expected;
    };
    const Case cases[] = {
        // Handheld GPS, LF: every type appears in the first cycle and the log ends on a type already
        // entered, so both lists end sorted. PGRME and PGRMZ give RME and RMZ: ignored.
        {"garmin-geko201.log", Expected("GGA, GLL, RMC", "BOD, GSA, GSV, RMB, RTE", false, 213)},
        // Handheld GPS with route sentences, CR LF line ends.
        {"GPSmap-76S.log", Expected("GGA, GLL, RMC, VTG", "BOD, BWC, GSA, GSV, RMB, RTE, XTE", false, 151)},
        // GPS with an AIS receiver: RMC positions of 10 and 11 characters.
        {"ais-nmea.log", Expected("GGA, GLL, RMC, VDM, VTG", "GSA, GSV", false, 1496)},
        // AIS transponder with GPS and heading: PFEC gives EC, DTM is not a known type; the blank line
        // after the comments completes a sentence without a comma.
        {"saab-r4.log", Expected("GGA, GLL, HDT, RMC, ROT, VDM, VDO, VTG", "ZDA", false, 123)},
        // Depth sounder with a chart plotter's GLL.
        {"sounder.log", Expected("DBT, GLL", "", false, 244)},
        // Autopilot: heading and rate of turn, transducer readings.
        {"pypilot.log", Expected("HDM, ROT", "XDR", false, 29)},
        // Fish finder: depth, water temperature.
        {"humminbird-M37.log", Expected("DPT, GGA, GLL, RMC, VTG", "MTW, ZDA", false, 98)},
        // Timing receiver sending only RMC with positions of two decimals (4742.21, 01200.75).
        {"meinberg-gps164.log", Expected("RMC", "", true, 90)},
        // GPS compass: heading, empty fixes at first.
        {"hemi.log", Expected("GGA, HDT, VTG", "ZDA", false, 753)},
    };
    for (const Case& c : cases) {
        const ProgramResult r = RunProgram(kTool, {kLogs + c.log});
        EXPECT_EQ(r.exitCode, 0) << c.log << ": " << r.err;
        EXPECT_EQ(r.out, c.expected) << c.log;
        EXPECT_EQ(r.err, "") << c.log;
    }
}

TEST(NmeaClassify, ReadsStandardInputSkipsCommentsAndKeepsListOrder)
{
    struct Case {
        const char* what;
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"new type after the last sort stands at the end", "$GPGSV,3,1\r\n$GPGSA,A,3\r\n", Expected("", "GSV, GSA", false, 2)},
        {"comment lines are skipped, even with sentences in them",
         "# $GPGGA,1,2\n#\nxx$GPG$GPGSV,1\r\n$GPGSA,1\r\nnoise\n$GPGGA,1,2",
         Expected("", "GSA, GSV", false, 3)},
        {"a '#' after the first byte is no comment", "$GPGGA,1\n  # $GPVTG,1\n", Expected("GGA, VTG", "", false, 2)},
        {"empty input", "", Expected("", "", false, 0)},
        {"binary junk", std::string("\x00\xFF\x01\n\n\x80", 6), Expected("", "", false, 2)},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        WriteBytes(dir.File("in"), c.input);
        const ProgramResult r = RunProgram(kTool, {}, {.stdinPath = dir.File("in")});
        EXPECT_EQ(r.exitCode, 0) << c.what;
        EXPECT_EQ(r.out, c.expected) << c.what;
    }
}

TEST(NmeaClassify, UnreadableInputExitsWithTwo)
{
    TempFolder dir;
    for (const std::string& path : {dir.File("missing.log"), dir.Path()}) {
        const ProgramResult r = RunProgram(kTool, {path});
        EXPECT_EQ(r.exitCode, 2) << path;
        EXPECT_EQ(r.out, "") << path;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    }
    EXPECT_EQ(RunProgram(kTool, {"a", "b"}).exitCode, 2);
}
