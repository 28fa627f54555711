// The translations table the build ships in 3Tdata beside the program, read through the table engine as
// the dialog reads it: every language holds every text the dialog asks for, and language 3 holds exactly
// the dialog's built-in English texts.
#include "translations/LanguageTable.h"
#include "translations/Taal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

using platform::Text;

namespace {

std::string ShippedFolder()
{
    return (std::filesystem::path(SONDRAL_BINARY_DIR) / "app" / "3Tdata").string();
}

// The texts the dialog asks for, with its built-in English text (1742 is the main-GPS label's).
const std::map<int32_t, Text>& BuiltInTexts()
{
    static const std::map<int32_t, Text> texts{
        {340, u"Receiving ....."},       {347, u"Accept"},
        {348, u"Close"},                 {1060, u"Find available ports"},
        {1061, u"Try to receive from port"}, {1062, u"with baudrate"},
        {1063, u"Test Finished"},        {1064, u"Use AIS Transponder  GPS"},
        {1740, u"Skip All"},             {1741, u"Skip Current"},
        {1742, u"Main GPS:"},
    };
    return texts;
}

} // namespace

TEST(ShippedTable, EveryLanguageHasEveryTextAndLanguage3IsTheBuiltInEnglish)
{
    translations::TTaal_dat taal(ShippedFolder(), translations::OpenLanguageTable);
    ASSERT_FALSE(taal.ConnectError());
    int languages = 0;
    {
        // Every cell of the table is filled: no language leans on the English fallback.
        const auto table = translations::OpenLanguageTable(ShippedFolder());
        languages = table->FieldCount() - 1;
        int rows = 0;
        for (table->First(); !table->Eof(); table->Next(), ++rows) {
            const int32_t number = table->FieldAsInteger(0);
            EXPECT_TRUE(BuiltInTexts().count(number)) << "unused text " << number;
            for (int field = 1; field <= languages; ++field)
                EXPECT_FALSE(table->FieldAsString(field).empty()) << number << " field " << field;
        }
        EXPECT_EQ(rows, static_cast<int>(BuiltInTexts().size()));
        table->Close();
    }
    ASSERT_GE(languages, 5); // Dutch, German, French, English, Spanish

    for (int language = 0; language < languages; ++language) {
        SCOPED_TRACE("language " + std::to_string(language));
        taal.FillTaal(language);
        ASSERT_FALSE(taal.IgnoreTaal());
        for (const auto& [number, english] : BuiltInTexts()) {
            const Text text = taal.GetTaal(number);
            EXPECT_NE(text, u"???") << number;
            if (language == 3) {
                EXPECT_EQ(text, english) << number;
            }
        }
    }
    // A language the table does not have gives English.
    taal.FillTaal(languages);
    EXPECT_EQ(taal.GetTaal(1740), u"Skip All");
}
