// Conversions between the system's text and Qt's strings, at the window-toolkit boundary.
#pragma once

#include "platform/Text.h"

#include <QString>

namespace platform::ui {

inline QString ToQString(TextView text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline Text ToText(const QString& text)
{
    return text.toStdU16String();
}

} // namespace platform::ui
