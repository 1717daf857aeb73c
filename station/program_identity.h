// How a program of the station names itself to the desktop: an ASCII application name (the
// window class on X11), the desktop entry it belongs to (Wayland's app id), the Russian name in
// titles and boxes, and the station's icon, compiled into the program so that every window shows
// it installed or not, also on Windows.
#pragma once

#include <QString>

// `name` is the program's file name and its desktop entry's name ("meteostation").
void SetProgramIdentity(const QString& name, const QString& displayName);
