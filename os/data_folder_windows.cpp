#include "os/data_folder.h"

#include <QDir>

namespace os {

QString DataFolderNote()
{
    return QStringLiteral("Программа всегда работает в ней, откуда бы её ни запускали.");
}

// The folder of local application data is the system's setting, not a variable's.
std::vector<TEnvironmentVariable> DataFolderVariables()
{
    return {};
}

bool EnterDataFolder(QString& problem)
{
    const QString folder = ProgramDataFolder();
    if (QDir().mkpath(folder) && QDir::setCurrent(folder))
        return true;
    problem = QStringLiteral("Не удалось открыть папку данных «%1»").arg(QDir::toNativeSeparators(folder));
    return false;
}

} // namespace os
