// Field types of the data set and the AsInteger / AsString conversions of stored values.
#include "tableengine/format/DataTypes.h"
#include "tableengine/format/EngineError.h"
#include "tableengine/format/FieldValues.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace tableengine;

namespace {

TFieldDefinition Def(uint8_t type, uint8_t subType = 0, uint16_t length = 0, uint8_t decimals = 0)
{
    TFieldDefinition d{};
    d.DataType = type;
    d.SubType = subType;
    d.Length = length;
    d.Decimals = decimals;
    d.DataSize = FieldDataSize(type, subType, length);
    return d;
}

struct Value {
    TFieldDefinition D;
    std::vector<uint8_t> Bytes;
    bool Blank = false;
    TFieldValue View() const { return TFieldValue{&D, Blank, Bytes.data(), Bytes.size()}; }
};

template <typename T> Value Make(uint8_t type, T v, uint8_t subType = 0)
{
    Value x{Def(type, subType), {}, false};
    x.Bytes.assign(x.D.DataSize, 0);
    std::memcpy(x.Bytes.data(), &v, sizeof v);
    return x;
}

Value Str(const std::string& s, uint16_t length = 20)
{
    Value x{Def(dtString, 0, length), {}, false};
    x.Bytes.assign(x.D.DataSize, 0);
    std::memcpy(x.Bytes.data(), s.data(), s.size());
    return x;
}

TEST(FieldValuesTest, DataSizesAndFieldTypes)
{
    EXPECT_EQ(FieldDataSize(dtString, 0, 20), 21);
    EXPECT_EQ(FieldDataSize(dtString, stWide, 20), 41);
    EXPECT_EQ(FieldDataSize(dtBCD, 0, 0), 34);
    EXPECT_EQ(FieldDataSize(dtVarBytes, 0, 30), 30);
    EXPECT_EQ(FieldDataSize(dtBlob, 22, 0), 8);
    // One 32-bit integer and one string of 20: 25 + 5 + 22 = 52, rounded to 56.
    EXPECT_EQ(RoundRecordLength(25 + (4 + 1) + (21 + 1)), 56u);
    const std::tuple<uint8_t, uint8_t, TFieldType> types[] = {
        {dtString, 0, ftString}, {dtString, stFixed, ftFixedChar}, {dtString, stGuid, ftGuid},
        {dtBlob, 22, ftMemo}, {dtBlob, 24, ftMemo}, {dtBlob, 33, ftMemo}, {dtBlob, 26, ftGraphic},
        {dtBlob, 23, ftBlob}, {dtBlob, 0, ftBlob}, {dtInteger, stAutoInc, ftAutoInc}, {dtInteger, 0, ftInteger},
        {dtFloat, stCurrency, ftCurrency}, {dtBCD, 0, ftBCD}, {dtBytes, stGuid, ftGuid}, {dtWord, 0, ftWord},
        {13, 0, ftInteger}, {dtVarBytes, stFixed, ftFixedChar}, {dtLargeInt, 0, ftLargeint}, {19, 0, ftLargeint},
        {20, 0, ftADT}, {23, 0, ftDataSet}, {0, 0, ftUnknown}, {14, 0, ftUnknown}, {17, 0, ftUnknown},
        {24, 0, ftUnknown}};
    for (const auto& [type, sub, ft] : types)
        EXPECT_EQ(FieldTypeOf(type, sub), ft) << int(type) << "/" << int(sub);
    EXPECT_EQ(FieldSizeOf(Def(dtString, 0, 20)), 20);
    EXPECT_EQ(FieldSizeOf(Def(dtBCD, 0, 0, 4)), 4);
    EXPECT_EQ(FieldSizeOf(Def(dtInteger)), 0);
    TFieldDefinition autoInc = Def(dtInteger, stAutoInc);
    autoInc.Required = 1;
    EXPECT_FALSE(FieldRequired(autoInc));
}

TEST(FieldValuesTest, AsIntegerAndAsString)
{
    const auto bcd = [](uint8_t precision, uint8_t signPlaces, const std::vector<uint8_t>& nibbles, uint8_t decimals) {
        Value x{Def(dtBCD, 0, 0, decimals), std::vector<uint8_t>(34, 0), false};
        x.Bytes[0] = precision;
        x.Bytes[1] = signPlaces;
        std::copy(nibbles.begin(), nibbles.end(), x.Bytes.begin() + 2);
        return x;
    };
    struct Case {
        Value V;
        int32_t Int;
        const char* Text;
    };
    const Case cases[] = {
        {Make<int32_t>(dtInteger, -123456), -123456, "-123456"},
        {Make<int32_t>(dtInteger, 7, stAutoInc), 7, "7"},
        {Make<int16_t>(dtSmallInt, -300), -300, "-300"},
        {Make<uint16_t>(dtWord, 65535), 65535, "65535"},
        {Make<int64_t>(dtLargeInt, 0x100000005ll), 5, "4294967301"},
        {Make<uint16_t>(dtBoolean, 1), 1, "True"},
        {Make<uint16_t>(dtBoolean, 0), 0, "False"},
        {Make<double>(dtFloat, 2.5), 3, "2.5"},
        {Make<double>(dtFloat, 0.1), 0, "0.10000000000000001"},
        {Str(" 42 "), 42, " 42 "},
        {Str("-17"), -17, "-17"},
        {bcd(5, 2, {0x12, 0x34, 0x50}, 2), 123, "123.45"},     // 123.45
        {bcd(5, 0x82, {0x12, 0x34, 0x50}, 1), -123, "-123.5"},  // -123.45 shown with one decimal, rounded
        {bcd(3, 1, {0x99, 0x90}, 0), 100, "100"},               // 99.9 rounded to no decimals
        {bcd(2, 2, {0x05}, 3), 0, "0.050"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AsInteger(c.V.View()), c.Int) << c.Text;
        EXPECT_EQ(AsString(c.V.View()), platform::Ascii(c.Text)) << c.Text;
    }
    // Blank values: 0 and the empty text, never an error.
    for (Value v : {Make<int32_t>(dtInteger, 5), Str("abc"), Make<double>(dtFloat, 1.0)}) {
        v.Blank = true;
        EXPECT_EQ(AsInteger(v.View()), 0);
        EXPECT_EQ(AsString(v.View()), platform::Text());
    }
    // Strings that are no decimal integer raise a conversion error.
    for (const char* s : {"abc", "", "12x", "99999999999"})
        EXPECT_THROW(AsInteger(Str(s).View()), EConvertError) << s;
}

TEST(FieldValuesTest, DatesTimesBytesAndAnsiText)
{
    EXPECT_EQ(DateToDay(1, 1, 1), 1);
    EXPECT_EQ(DateToDay(1899, 12, 30), 693594);
    EXPECT_EQ(DateToDay(2000, 3, 1) - DateToDay(2000, 2, 28), 2); // leap year
    int y = 0, m = 0, d = 0;
    ASSERT_TRUE(DayToDate(DateToDay(2024, 2, 29), y, m, d));
    EXPECT_EQ(std::make_tuple(y, m, d), std::make_tuple(2024, 2, 29));
    EXPECT_FALSE(DayToDate(0, y, m, d));

    EXPECT_EQ(AsString(Make<int32_t>(dtDate, static_cast<int32_t>(DateToDay(2019, 4, 6))).View()),
              platform::Ascii("2019-04-06"));
    EXPECT_EQ(AsString(Make<int32_t>(dtTime, 13 * 3600000 + 5 * 60000 + 9 * 1000 + 7).View()),
              platform::Ascii("13:05:09.007"));
    const double ts = double(DateToDay(2001, 12, 31)) * 86400000.0 + 23 * 3600000 + 59 * 60000 + 59999;
    EXPECT_EQ(AsString(Make<double>(dtTimeStamp, ts).View()), platform::Ascii("2001-12-31 23:59:59.999"));
    EXPECT_THROW(AsString(Make<int32_t>(dtTime, 86400000).View()), EConvertError);
    EXPECT_THROW(AsString(Make<int32_t>(dtDate, -5).View()), EConvertError);
    EXPECT_THROW(AsInteger(Make<int32_t>(dtDate, 5).View()), EConvertError);

    Value bytes{Def(dtBytes, 0, 4), {0x00, 0xAB, 0x10, 0xFF}, false};
    EXPECT_EQ(AsString(bytes.View()), platform::Ascii("00ab10ff"));
    Value var{Def(dtVarBytes, 0, 6), {3, 0, 0xDE, 0xAD, 0xBE, 0xEF}, false};
    EXPECT_EQ(AsString(var.View()), platform::Ascii("deadbe"));
    Value badVar{Def(dtVarBytes, 0, 4), {200, 0, 1, 2}, false}; // count beyond the area: only what is there
    EXPECT_EQ(AsString(badVar.View()), platform::Ascii("0102"));

    // String bytes above 127 are decoded with the ANSI code page; the text ends at the first zero byte.
    Value s = Str("Gr\xFC\xDF" "e");
    EXPECT_EQ(AsString(s.View()), u"Grüße");
    Value unterminated{Def(dtString, 0, 3), {'a', 'b', 'c', 'd'}, false};
    EXPECT_EQ(AsString(unterminated.View()), u"abcd"); // never beyond the value area
}

TEST(FieldValuesTest, DefaultMinimumAndMaximumTexts)
{
    const std::tuple<TFieldDefinition, const char*, bool> cases[] = {
        {Def(dtInteger), "", true},           {Def(dtInteger), "-12", true},      {Def(dtInteger), "1.5", false},
        {Def(dtSmallInt), "40000", false},    {Def(dtWord), "65535", true},       {Def(dtString, 0, 3), "abc", true},
        {Def(dtString, 0, 3), "abcd", false}, {Def(dtBoolean), "True", true},     {Def(dtBoolean), "yes", false},
        {Def(dtFloat), "2.5e3", true},        {Def(dtFloat), "x", false},         {Def(dtDate), "2020-02-29", true},
        {Def(dtDate), "2021-02-29", false},   {Def(dtTime), "23:59:59.999", true}, {Def(dtTime), "24:00", false},
        {Def(dtTimeStamp), "2020-01-01 10:00", true}, {Def(dtBCD, 0, 0, 2), "12.34", true}};
    for (const auto& [d, text, ok] : cases)
        EXPECT_EQ(IsValidValueText(d, text), ok) << text;
}

} // namespace
