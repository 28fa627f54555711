// Program start: an error while connecting the translations database reaches the toolkit's standard error
// report, and start-up goes on with the built-in texts.
#include "DialogTestSupport.h"

#include "app/DataModuleStart.h"
#include "tableengine/TblComp.h"

using namespace dialogtest;

TEST(DataModuleStart, AConnectErrorGoesToTheStandardErrorReport)
{
    std::vector<std::string> shown;
    Application().SetErrorBoxHook([&](const QString&, const QString& message) { shown.push_back(message.toStdString()); });
    {
        // Another database of that name in the session: connecting the data module's database fails.
        tableengine::TTblDatabase other;
        other.SetDatabaseName(u"Taal");
        const auto taal = app::CreateTaal_dat(Application());
        EXPECT_TRUE(taal->ConnectError());
        EXPECT_EQ(shown, std::vector<std::string>{"Database name 'Taal' already exists"});
        taal->FillTaal(3);
        EXPECT_TRUE(taal->IgnoreTaal());
    }
    shown.clear();
    {
        const auto taal = app::CreateTaal_dat(Application());
        EXPECT_FALSE(taal->ConnectError());
        EXPECT_TRUE(shown.empty());
    }
    Application().SetErrorBoxHook({});
}
