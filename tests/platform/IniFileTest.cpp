#include "IniFileTestData.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

using namespace platform;
using namespace ini_test;

namespace {

std::string ToLf(std::string s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
            out.push_back(s[i]);
    return out;
}

std::string ReplaceOnce(std::string s, const std::string& from, const std::string& to)
{
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(s.find(from, at + 1), std::string::npos) << from;
    if (at != std::string::npos)
        s.replace(at, from.size(), to);
    return s;
}

} // namespace

TEST(IniFile, ReadsTheChartProgramConfiguration)
{
    const TIniFile ini(kFixture);
    EXPECT_EQ(ini.ReadString(u"Settings/NMEADataSource", u"DataConnections", u"-"),
              u"0;2;0.0.0.0;0;0;COM4;4800;1;1;0;;0;;1;0;53;0;1;;1");
    // Case-insensitive names; the later section of the same name is never read.
    EXPECT_EQ(ini.ReadString(u"settings/nmeadatasource", u"DATACONNECTIONS", u"-"),
              u"0;2;0.0.0.0;0;0;COM4;4800;1;1;0;;0;;1;0;53;0;1;;1");
    EXPECT_EQ(ini.ReadString(u"Settings/NMEADataSource/Extra", u"DataConnections", u"-"), u"-");
    EXPECT_EQ(ini.ReadString(u"Settings/GlobalState", u"VPLatLon", u"-"), u"52.9543,    4.7721");
    EXPECT_EQ(ini.ReadString(u"Settings", u"LastAppliedTemplate", u"-"), u"");
    EXPECT_EQ(ini.ReadString(u"Settings", u"NoSuchKey", u"dflt"), u"dflt");
    EXPECT_EQ(ini.ReadString(u"NoSuchSection", u"DataConnections", u"dflt"), u"dflt");
    EXPECT_EQ(ini.ReadString(u"USER", u"Boot", u"-"), u"Zee\u00EBend");
    EXPECT_EQ(ini.ReadString(u"USER", u"this line is not a key and must survive", u"-"), u"");
    EXPECT_EQ(ini.ReadString(u"Directories", u"InitChartDir", u"-"), u"D:\\Kaarten");

    EXPECT_EQ(ini.ReadInteger(u"Settings", u"KeepNavobjBackups", 0), 5);
    EXPECT_EQ(ini.ReadInteger(u"Settings", u"SoundDeviceIndex", 7), -1);
    EXPECT_EQ(ini.ReadInteger(u"Settings", u"UserMagVariation", 7), 7);
    EXPECT_EQ(ini.ReadInteger(u"USER", u"Naam", 3), 3);
    EXPECT_EQ(ini.ReadInteger(u"Settings", u"NoSuchKey", 42), 42);
    EXPECT_EQ(TIniFile("/nonexistent/folder/x.ini").ReadInteger(u"Options", u"Taal", 3), 3);
}

TEST(IniFile, ReadsIntegersDecimalOrHexadecimal)
{
    TempFolder dir;
    const std::string path = dir.File("numbers.ini");
    WriteBytes(path, "[Options]\nTaal=2\nhex=0x1F\nHEX2= 0X10 \nneg= -12\nbare=0x\nbad=0xZZ\ntail=12abc\n"
                     "empty=\nbig=99999999999999999999\nplus=+4\n");
    const TIniFile ini(path);
    struct Case {
        const char16_t* key;
        int64_t expected;
    };
    const Case cases[] = {{u"taal", 2},  {u"hex", 31},  {u"hex2", 16},  {u"neg", -12},  {u"bare", -1},
                          {u"bad", -1},  {u"tail", -1}, {u"empty", -1}, {u"big", -1},   {u"plus", 4}};
    for (const Case& c : cases)
        EXPECT_EQ(ini.ReadInteger(u"options", c.key, -1), c.expected) << TextToUtf8(c.key);
}

TEST(IniFile, WritingChangesOnlyTheValueItWrites)
{
    struct Case {
        const char* what;
        std::optional<std::string> before; // nullopt: no file
        const char16_t* section;
        const char16_t* key;
        const char16_t* value;
        std::string after;
    };
    const Case cases[] = {
        {"replace, LF", "[A]\nk=old\n[B]\nk=x\n", u"A", u"k", u"new", "[A]\nk=new\n[B]\nk=x\n"},
        {"replace, CR LF, names in other case, text before '=' kept", "; c\r\n[Sec]\r\n  Key = old value \r\nz=1\r\n",
         u"sec", u"KEY", u"v", "; c\r\n[Sec]\r\n  Key =v\r\nz=1\r\n"},
        {"first section and first key win", "[A]\nk=1\nk=2\n[a]\nk=3\n", u"A", u"K", u"9",
         "[A]\nk=9\nk=2\n[a]\nk=3\n"},
        {"new key after the section's last entry", "[A]\nx=1\n\n; next\n[B]\ny=2\n", u"A", u"k", u"v",
         "[A]\nx=1\nk=v\n\n; next\n[B]\ny=2\n"},
        {"new key in an empty section, CR LF", "[A]\r\n[B]\r\n", u"a", u"k", u"v", "[A]\r\nk=v\r\n[B]\r\n"},
        {"new key takes its neighbour's line end", "[A]\r\nx=1\n[B]\r\n", u"A", u"k", u"v",
         "[A]\r\nx=1\nk=v\n[B]\r\n"},
        {"new section at the end", "[A]\nx=1\n", u"B", u"k", u"v", "[A]\nx=1\n\n[B]\nk=v\n"},
        {"new section at the end, CR LF", "[A]\r\nx=1\r\n\r\n", u"B", u"k", u"v",
         "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n"},
        {"no final newline, replace", "[A]\nk=old", u"A", u"k", u"new", "[A]\nk=new"},
        {"no final newline, new key", "[A]\r\nx=1", u"A", u"k", u"v", "[A]\r\nx=1\r\nk=v"},
        {"no final newline, new section", "[A]\nx=1", u"B", u"k", u"v", "[A]\nx=1\n\n[B]\nk=v"},
        {"missing file", std::nullopt, u"Settings/NMEADataSource", u"DataConnections", u"", 
         "[Settings/NMEADataSource]\nDataConnections=\n"},
        {"empty file", "", u"B", u"k", u"v", "[B]\nk=v\n"},
        {"key line without '='", "[A]\ngarbage line\nk\n", u"A", u"k", u"v", "[A]\ngarbage line\nk=v\n"},
        {"comments are not keys; new keys follow the last key, else the header", "[A]\n;k=c\n", u"A", u"k", u"v",
         "[A]\nk=v\n;k=c\n"},
        {"keys before the first section belong to none", "k=top\n[A]\n", u"A", u"k", u"v",
         "k=top\n[A]\nk=v\n"},
        {"blanks around the section name", "[ Settings/NMEADataSource ]\r\nDataConnections=\r\n",
         u"Settings/NMEADataSource", u"DataConnections", u"x", "[ Settings/NMEADataSource ]\r\nDataConnections=x\r\n"},
        {"ANSI code page", "[A]\nk=x\n", u"A", u"k", u"Z\u00FCrich \u20AC", "[A]\nk=Z\xFCrich \x80\n"},
        {"binary bytes elsewhere survive", std::string("\x01\xFF\0junk\n[A]\nk=1\n", 16), u"A", u"k", u"2",
         std::string("\x01\xFF\0junk\n[A]\nk=2\n", 16)},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        const std::string path = dir.File("t.ini");
        if (c.before)
            WriteBytes(path, *c.before);
        TIniFile ini(path);
        ini.WriteString(c.section, c.key, c.value);
        EXPECT_EQ(ReadBytes(path), c.after) << c.what;
        EXPECT_EQ(ini.ReadString(c.section, c.key, u"-"), c.value) << c.what;
        EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"t.ini"}) << c.what;
    }
}

TEST(IniFile, ChartProgramConfigurationKeepsEveryOtherByte)
{
    const std::string original = ReadBytes(kFixture);
    ASSERT_GT(std::count(original.begin(), original.end(), '\n'), 400);
    for (const bool crlf : {true, false}) {
        SCOPED_TRACE(crlf ? "CR LF" : "LF");
        const std::string before = crlf ? original : ToLf(original);
        const std::string eol = crlf ? "\r\n" : "\n";
        TempFolder dir;
        const std::string path = dir.File("opencpn.ini");
        WriteBytes(path, before);
        TIniFile ini(path);

        ini.WriteString(u"Settings/NMEADataSource", u"DataConnections", kNewConnections);
        const std::string replaced =
            ReplaceOnce(before, kOldConnections + eol, "DataConnections=" + TextToAnsi(kNewConnections) + eol);
        EXPECT_EQ(ReadBytes(path), replaced);
        EXPECT_EQ(ini.ReadString(u"Settings/NMEADataSource", u"DataConnections", u"-"), kNewConnections);

        ini.WriteString(u"Settings/NMEADataSource", u"DataConnections", u"");
        EXPECT_EQ(ReadBytes(path), ReplaceOnce(before, kOldConnections + eol, "DataConnections=" + eol));

        ini.WriteString(u"Settings/NMEADataSource", u"LastCheck", u"2024");
        EXPECT_EQ(ReadBytes(path), ReplaceOnce(ReplaceOnce(before, kOldConnections + eol, "DataConnections=" + eol),
                                               "Source=Serial:COM4" + eol,
                                               "Source=Serial:COM4" + eol + "LastCheck=2024" + eol));
        EXPECT_EQ(ini.ReadString(u"USER", u"Boot", u"-"), u"Zee\u00EBend");
    }
}

TEST(IniFile, RefusesTextsThatWouldAddLines)
{
    TempFolder dir;
    const std::string path = dir.File("t.ini");
    WriteBytes(path, "[A]\nk=1\n");
    TIniFile ini(path);
    struct Case {
        const char16_t* section;
        const char16_t* key;
        const char16_t* value;
    };
    const Case cases[] = {{u"A", u"k", u"1\n[B]\nk=2"}, {u"A", u"k", u"x\r"},  {u"A\n", u"k", u"x"},
                          {u"A", u"k=j", u"x"},         {u"A", u"", u"x"},     {u"A", u";k", u"x"},
                          {u"A", u"[k]", u"x"}};
    for (const Case& c : cases) {
        EXPECT_THROW(ini.WriteString(c.section, c.key, c.value), EIniFileException) << TextToUtf8(c.value);
        EXPECT_EQ(ReadBytes(path), "[A]\nk=1\n");
    }
}
