// The translations table "Language" as the data module reads it: by field position, from its first row to
// its last.
#pragma once

#include "platform/Text.h"

#include <functional>
#include <memory>
#include <string>

namespace translations {

// One opened table. Field 0 is the text number, field k + 1 the text of language k. The rows are read from
// First to the end in one go, and the table is closed right after: from First to Close no other process
// writes it.
class TLanguageTable {
public:
    virtual ~TLanguageTable() = default;
    virtual int FieldCount() const = 0;
    virtual void First() = 0;
    virtual bool Eof() const = 0;
    virtual void Next() = 0;
    virtual int32_t FieldAsInteger(int field) const = 0;
    virtual platform::Text FieldAsString(int field) const = 0;
    virtual void Close() = 0;
};

// Opens the table "Language" of the database "Taal" in the given folder; throws when it cannot be opened.
using TLanguageTableOpener = std::function<std::unique_ptr<TLanguageTable>(const std::string& directory)>;

// The database the translations are read from.
inline constexpr char16_t TaalDatabaseName[] = u"Taal";
inline constexpr char16_t LanguageTableName[] = u"Language";

// The opener used by the program: the table component on the database component "Taal" of the default
// session, which the data module has connected to the folder; throws when that database is not connected.
std::unique_ptr<TLanguageTable> OpenLanguageTable(const std::string& directory);

} // namespace translations
