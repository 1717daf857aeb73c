// The publishers' settings file: where it lies and how a damaged file or a failed write is told.
#include "publish/publish_file.h"

#include "settings/ini_file.h"

#include <QDir>

namespace publish {

QString PublishFilePath(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QString::fromLatin1(PublishFileName));
}

QSettings OpenPublishFile(const QString& dataFolder)
{
    return QSettings(PublishFilePath(dataFolder), QSettings::IniFormat);
}

QString PublishFileProblem(const QString& dataFolder)
{
    return settings::FileProblem(OpenPublishFile(dataFolder));
}

QString SyncPublishFile(QSettings& file)
{
    if (settings::WriteFile(file))
        return {};
    return QStringLiteral("Не удалось записать файл «%1»: настройки публикации не сохранены.")
        .arg(QDir::toNativeSeparators(file.fileName()));
}

} // namespace publish
