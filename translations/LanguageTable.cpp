#include "translations/LanguageTable.h"

#include <stdexcept>

namespace translations {

std::unique_ptr<TLanguageTable> OpenLanguageTable(const std::string& directory)
{
    // No table engine is linked in yet, so the table can never be opened; the dialog keeps its built-in
    // texts.
    throw std::runtime_error("Table Language in " + directory + " cannot be opened");
}

} // namespace translations
