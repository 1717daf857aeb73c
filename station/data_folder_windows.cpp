#include "station/data_folder.h"

#include <QDir>

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

void EnterDataFolder(const QString& subfolder)
{
    PWSTR roaming = nullptr;
    // Should there be no such folder, the program works where it was started.
    if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &roaming) != S_OK) {
        CoTaskMemFree(roaming);
        return;
    }
    QString path = QDir(QString::fromWCharArray(roaming)).filePath(QStringLiteral("meteostation"));
    CoTaskMemFree(roaming);
    if (!subfolder.isEmpty())
        path = QDir(path).filePath(subfolder);
    if (QDir().mkpath(path))
        QDir::setCurrent(path);
}
