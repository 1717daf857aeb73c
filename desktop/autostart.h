// Starting the program with the user's session: on Linux an XDG autostart entry
// ("<name>.desktop" in $XDG_CONFIG_HOME/autostart, by default ~/.config/autostart), on Windows a
// value under HKCU\Software\Microsoft\Windows\CurrentVersion\Run. The state is read from the
// system each time, so an entry the user removed by other means counts as off.
#pragma once

#include <QString>
#include <QStringList>

namespace desktop {

struct TAutostartEntry
{
    QString Name;        // the entry's file or value name, e.g. "meteostation"
    QString DisplayName; // "Метеостанция"
    QString Comment;
    QString IconName;
    QString Program; // the full path of the program to start
    QStringList Arguments;
};

// The program's option to start hidden in the tray («в трее»), as an autostart entry passes it.
inline const QString StartInTrayArgument = QStringLiteral("--tray");

struct TAutostartState
{
    bool Enabled = false;
    QStringList Arguments; // of the entry found, e.g. the option to start in the tray
    bool StartsInTray() const { return Enabled && Arguments.contains(StartInTrayArgument); }
};

TAutostartState ReadAutostart(const QString& name);
// Both give an empty text when done, otherwise why not, in Russian, naming the folder or key.
QString EnableAutostart(const TAutostartEntry& entry);
QString DisableAutostart(const QString& name);

} // namespace desktop
