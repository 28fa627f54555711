// Choosing the application's visual style by name: "Luna" and the styles Qt itself provides.
#pragma once

#include "platform/Text.h"

#include <QStringList>
#include <QStyle>

#include <memory>

namespace platform::ui {

class TStyleManager {
public:
    // Every name TrySetStyle accepts, "Luna" first.
    static QStringList StyleNames();
    // A new style of that name (letter case ignored), or null for an unknown name.
    static std::unique_ptr<QStyle> Create(const QString& name);
    // Makes the named style, with its standard palette, the application's style. False for an unknown name.
    static bool TrySetStyle(const Text& name);
};

} // namespace platform::ui
