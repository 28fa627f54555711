// The data module Taal_dat: the dialog's texts in one language, looked up by text number.
#pragma once

#include "platform/Text.h"
#include "translations/LanguageTable.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace tableengine {
class TTblDatabase;
}

namespace translations {

// One loaded text.
struct TTaalData {
    int32_t id = 0;
    platform::Text Value;
};

class TTaal_dat {
public:
    // Creates the module on the database folder "3Tdata" beside the executable.
    TTaal_dat();
    // Creates the module on the given database folder (created when missing; a failure is ignored), reading
    // the table through opener.
    TTaal_dat(std::string directory, TLanguageTableOpener opener);
    ~TTaal_dat();
    TTaal_dat(const TTaal_dat&) = delete;
    TTaal_dat& operator=(const TTaal_dat&) = delete;

    // The executable's folder followed by "3Tdata".
    static std::string DefaultDirectory();

    // Replaces TaalData by the texts of language nr; sets IgnoreTaal when the table cannot be opened.
    // Errors while reading an opened table propagate (the table is released all the same).
    void FillTaal(int nr);
    // The first loaded non-empty text with this number, or "???".
    platform::Text GetTaal(int32_t id) const;
    // Whether a non-empty text with this number is loaded.
    bool HasTaal(int32_t id) const;
    bool IgnoreTaal() const { return ignoreTaal_; }
    const std::string& Directory() const { return directory_; }
    // The database component "Taal", connected to Directory() from creation to destruction.
    const tableengine::TTblDatabase& Database() const { return *db; }
    // The error that connecting the database raised, if any. The program shows it in the toolkit's
    // standard error box; start-up goes on and the table then fails to open.
    std::exception_ptr ConnectError() const { return connectError_; }

    std::vector<TTaalData> TaalData;

private:
    void DataModuleCreate();
    void DataModuleDestroy();

    std::unique_ptr<tableengine::TTblDatabase> db;
    std::exception_ptr connectError_;
    std::string directory_;
    TLanguageTableOpener opener_;
    bool ignoreTaal_ = false;
};

} // namespace translations
