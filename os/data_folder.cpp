#include "os/data_folder.h"

#include <QDir>
#include <QStandardPaths>

namespace os {

QString ProgramDataFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("meteostation"));
}

} // namespace os
