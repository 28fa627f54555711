// The fonts the forms are designed in. A form names its font ("MS Sans Serif" 8 pt); where the system has
// no font of that name, a metric-compatible replacement is registered for the program, so that every text
// keeps the width it was laid out for. Without one, Qt's fallback is used and wider fonts may clip texts.
#pragma once

#include <QString>

#include <vector>

namespace platform::ui {

struct TDesignFont {
    QString Family;                // the name forms ask for
    std::vector<QString> Files;    // replacement files with that family, the first that loads is used
};

// The design fonts and where their replacements are found on this system.
const std::vector<TDesignFont>& DesignFonts();

// Registers, for each design font the system lacks, its first replacement file that loads. Returns the
// families that are available afterwards. Needs the application object.
std::vector<QString> RegisterDesignFonts();

} // namespace platform::ui
