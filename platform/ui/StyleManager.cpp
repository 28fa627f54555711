#include "platform/ui/StyleManager.h"

#include "platform/ui/LunaStyle.h"
#include "platform/ui/QtText.h"

#include <QApplication>
#include <QStyleFactory>

namespace platform::ui {

namespace {
const QString lunaName = QStringLiteral("Luna");
}

QStringList TStyleManager::StyleNames()
{
    QStringList names{lunaName};
    names.append(QStyleFactory::keys());
    return names;
}

std::unique_ptr<QStyle> TStyleManager::Create(const QString& name)
{
    if (name.compare(lunaName, Qt::CaseInsensitive) == 0)
        return std::make_unique<TLunaStyle>();
    return std::unique_ptr<QStyle>(QStyleFactory::create(name));
}

bool TStyleManager::TrySetStyle(const Text& name)
{
    auto style = Create(ToQString(name));
    if (!style)
        return false;
    const QPalette palette = style->standardPalette();
    QApplication::setStyle(style.release()); // the application takes ownership
    QApplication::setPalette(palette);
    return true;
}

} // namespace platform::ui
