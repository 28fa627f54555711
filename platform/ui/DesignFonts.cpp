#include "platform/ui/DesignFonts.h"

#include <QFileInfo>
#include <QFontDatabase>

namespace platform::ui {

const std::vector<TDesignFont>& DesignFonts()
{
    // Debian's fonts-wine carries a bitmap "MS Sans Serif" with the glyph widths of the Windows font of
    // that name (8 pt = its 13-pixel strike). Windows has the font itself.
    static const std::vector<TDesignFont> fonts{
        {QStringLiteral("MS Sans Serif"), {QStringLiteral("/usr/share/wine/fonts/ms_sans_serif.ttf")}},
    };
    return fonts;
}

std::vector<QString> RegisterDesignFonts()
{
    std::vector<QString> available;
    for (const TDesignFont& font : DesignFonts()) {
        bool present = QFontDatabase::families().contains(font.Family, Qt::CaseInsensitive);
        for (const QString& file : font.Files) {
            if (present)
                break;
            if (QFileInfo::exists(file) && QFontDatabase::addApplicationFont(file) >= 0)
                present = QFontDatabase::families().contains(font.Family, Qt::CaseInsensitive);
        }
        if (present)
            available.push_back(font.Family);
    }
    return available;
}

} // namespace platform::ui
