#include "station/program_identity.h"

#include "gui/deferred_icon.h"

#include <QApplication>
#include <QIcon>

void SetProgramIdentity(const QString& name, const QString& displayName)
{
    QApplication::setApplicationName(name);
    QApplication::setApplicationDisplayName(displayName);
    QApplication::setDesktopFileName(name);
    std::vector<gui::TIconFile> files;
    for (const int size : {16, 32, 48, 64, 128, 256})
        files.push_back({QStringLiteral(":/icons/meteostation-%1.png").arg(size), QSize(size, size)});
    QApplication::setWindowIcon(gui::DeferredIcon(std::move(files)));
}
