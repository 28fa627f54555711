#include "translations/Taal.h"

#include "platform/Folders.h"
#include "platform/Paths.h"

#include <utility>

namespace translations {

using platform::Text;

namespace {
constexpr int DefaultLanguage = 3;
} // namespace

TTaal_dat::TTaal_dat() : TTaal_dat(DefaultDirectory(), OpenLanguageTable) {}

TTaal_dat::TTaal_dat(std::string directory, TLanguageTableOpener opener)
    : directory_(std::move(directory)), opener_(std::move(opener))
{
    DataModuleCreate();
}

std::string TTaal_dat::DefaultDirectory()
{
    return platform::JoinPath(platform::ExecutableFolder(), "3Tdata");
}

void TTaal_dat::DataModuleCreate()
{
    platform::CreateFolder(directory_); // a failure is ignored: the table then cannot be opened
    ignoreTaal_ = false;
}

void TTaal_dat::FillTaal(int nr)
{
    TaalData.clear();

    std::unique_ptr<TLanguageTable> table;
    for (int attempt = 0; attempt < 2 && !table; ++attempt) {
        try {
            table = opener_ ? opener_(directory_) : nullptr;
        } catch (...) {
            table.reset();
        }
    }
    if (!table)
        ignoreTaal_ = true;

    const int fieldCount = table ? table->FieldCount() : 0;
    // A negative number would name the text-number column; such numbers get the default language too.
    if (nr < 0 || nr >= fieldCount - 1)
        nr = DefaultLanguage;

    if (!ignoreTaal_ && table) {
        // A table with fewer columns than the default language needs reads its missing columns as empty.
        const auto text = [&](int field) { return field < fieldCount ? table->FieldAsString(field) : Text(); };
        table->First();
        while (!table->Eof()) {
            TTaalData entry;
            entry.id = table->FieldAsInteger(0);
            entry.Value = text(nr + 1);
            if (entry.Value.empty())
                entry.Value = text(DefaultLanguage + 1);
            TaalData.push_back(std::move(entry));
            table->Next();
        }
        table->Close();
    }
}

Text TTaal_dat::GetTaal(int32_t id) const
{
    for (const TTaalData& entry : TaalData)
        if (entry.id == id && !entry.Value.empty())
            return entry.Value;
    return platform::Ascii("???");
}

} // namespace translations
