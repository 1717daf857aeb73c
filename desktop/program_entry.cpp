#include "desktop/program_entry.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace desktop {

namespace {

// The launcher the Linux package installs beside the program: it starts the program in the user's
// data folder. Where it is not (Windows, a build folder), the entry starts the program itself.
const QString LauncherName = QStringLiteral("meteostation-launcher");

} // namespace

TAutostartEntry ProgramAutostartEntry(bool inTray)
{
    TAutostartEntry entry;
    entry.Name = ProgramName;
    entry.DisplayName = ProgramDisplayName;
    entry.Comment = QStringLiteral("Показания домашней метеостанции");
    entry.IconName = ProgramName;
    const QString launcher = QCoreApplication::applicationDirPath() + QLatin1Char('/') + LauncherName;
    if (QFileInfo(launcher).isExecutable()) {
        entry.Program = launcher;
        entry.Arguments << QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    } else {
        entry.Program = QCoreApplication::applicationFilePath();
    }
    if (inTray)
        entry.Arguments << StartInTrayArgument;
    return entry;
}

} // namespace desktop
