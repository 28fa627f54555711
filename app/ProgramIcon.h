// The program's icon, in the sizes the desktop asks for (window decoration, task bar, switcher).
#pragma once

#include <QIcon>

namespace app {

QIcon ProgramIcon();

} // namespace app
