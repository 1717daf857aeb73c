#include "station/program_identity.h"

#include <QApplication>
#include <QIcon>

void SetProgramIdentity(const QString& name, const QString& displayName)
{
    QApplication::setApplicationName(name);
    QApplication::setApplicationDisplayName(displayName);
    QApplication::setDesktopFileName(name);
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/meteostation-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}
