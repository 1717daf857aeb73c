#include "station/data_folder.h"

#include <QDir>
#include <QStandardPaths>

QString ProgramDataFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("meteostation"));
}
