// The program as the desktop knows it: its file and desktop entry name, the name it shows, and the
// entry that starts it with the user's session.
#pragma once

#include "desktop/autostart.h"

#include <QString>

namespace desktop {

// The desktop entry's and the icon's name, as the notification service and autostart know them.
inline const QString ProgramName = QStringLiteral("meteostation");
inline const QString ProgramDisplayName = QStringLiteral("Метеостанция");

// The autostart entry that starts this program, hidden in the tray when `inTray`.
TAutostartEntry ProgramAutostartEntry(bool inTray);

} // namespace desktop
