#include "translations/Taal.h"

#include "tableengine/TblComp.h"

#include "platform/Folders.h"
#include "platform/Paths.h"

#include <algorithm>
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

TTaal_dat::~TTaal_dat() { DataModuleDestroy(); }

std::string TTaal_dat::DefaultDirectory()
{
    return platform::JoinPath(platform::ExecutableFolder(), "3Tdata");
}

void TTaal_dat::DataModuleCreate()
{
    db = std::make_unique<tableengine::TTblDatabase>();
    platform::CreateFolder(directory_); // a failure is ignored: the table then cannot be opened
    try {
        db->SetDatabaseName(TaalDatabaseName);
        db->SetDirectory(platform::Utf8ToText(directory_));
        db->SetConnected(true);
    } catch (...) {
        connectError_ = std::current_exception();
    }
    ignoreTaal_ = false;
}

void TTaal_dat::DataModuleDestroy() { db.reset(); }

void TTaal_dat::FillTaal(int nr)
{
    TaalData.clear();

    // Taal_tbl exists only while this runs; its destructor closes and releases it on every path.
    std::unique_ptr<TLanguageTable> Taal_tbl;
    for (int attempt = 0; attempt < 2 && !Taal_tbl; ++attempt) {
        try {
            Taal_tbl = opener_ ? opener_(directory_) : nullptr;
        } catch (...) {
            Taal_tbl.reset();
        }
    }
    if (!Taal_tbl)
        ignoreTaal_ = true;

    const int fieldCount = Taal_tbl ? Taal_tbl->FieldCount() : 0;
    // A negative number would name the text-number column; such numbers get the default language too.
    if (nr < 0 || nr >= fieldCount - 1)
        nr = DefaultLanguage;

    if (!ignoreTaal_ && Taal_tbl) {
        // A table with fewer columns than the default language needs reads its missing columns as empty.
        const auto text = [&](int field) { return field < fieldCount ? Taal_tbl->FieldAsString(field) : Text(); };
        Taal_tbl->First();
        while (!Taal_tbl->Eof()) {
            TTaalData entry;
            entry.id = Taal_tbl->FieldAsInteger(0);
            entry.Value = text(nr + 1);
            if (entry.Value.empty())
                entry.Value = text(DefaultLanguage + 1);
            TaalData.push_back(std::move(entry));
            Taal_tbl->Next();
        }
        Taal_tbl->Close();
    }
}

Text TTaal_dat::GetTaal(int32_t id) const
{
    for (const TTaalData& entry : TaalData)
        if (entry.id == id && !entry.Value.empty())
            return entry.Value;
    return platform::Ascii("???");
}

bool TTaal_dat::HasTaal(int32_t id) const
{
    return std::any_of(TaalData.begin(), TaalData.end(),
                       [id](const TTaalData& entry) { return entry.id == id && !entry.Value.empty(); });
}

} // namespace translations
