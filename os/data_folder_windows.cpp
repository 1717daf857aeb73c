#include "os/data_folder.h"

#include <QDir>

namespace os {

bool EnterDataFolder(QString& problem)
{
    const QString folder = ProgramDataFolder();
    if (QDir().mkpath(folder) && QDir::setCurrent(folder))
        return true;
    problem = QStringLiteral("Не удалось открыть папку данных «%1»").arg(QDir::toNativeSeparators(folder));
    return false;
}

} // namespace os
