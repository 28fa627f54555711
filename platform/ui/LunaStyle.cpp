#include "platform/ui/LunaStyle.h"

#include <QStyleFactory>

namespace platform::ui {

TLunaStyle::TLunaStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
    setObjectName(QStringLiteral("Luna"));
}

QPalette TLunaStyle::LunaPalette()
{
    const QColor face(222, 232, 247);
    const QColor window(214, 227, 245);
    const QColor highlight(49, 106, 197);
    const QColor text(0, 0, 0);
    const QColor disabledText(141, 150, 166);

    QPalette p;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::Button, face);
        p.setColor(group, QPalette::Base, QColor(255, 255, 255));
        p.setColor(group, QPalette::AlternateBase, QColor(238, 244, 252));
        p.setColor(group, QPalette::Light, QColor(255, 255, 255));
        p.setColor(group, QPalette::Midlight, QColor(236, 242, 251));
        p.setColor(group, QPalette::Mid, QColor(160, 180, 212));
        p.setColor(group, QPalette::Dark, QColor(113, 139, 181));
        p.setColor(group, QPalette::Shadow, QColor(0, 45, 120));
        p.setColor(group, QPalette::Highlight, highlight);
        p.setColor(group, QPalette::HighlightedText, QColor(255, 255, 255));
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::BrightText, QColor(255, 255, 255));
        p.setColor(group, QPalette::ToolTipBase, QColor(255, 255, 225));
        p.setColor(group, QPalette::ToolTipText, text);
        p.setColor(group, QPalette::Link, QColor(0, 70, 213));
        p.setColor(group, QPalette::LinkVisited, QColor(85, 26, 139));
        p.setColor(group, QPalette::PlaceholderText, disabledText);
    }
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(160, 180, 212));
    return p;
}

QPalette TLunaStyle::standardPalette() const
{
    return LunaPalette();
}

void TLunaStyle::polish(QPalette& palette)
{
    palette = LunaPalette();
}

} // namespace platform::ui
