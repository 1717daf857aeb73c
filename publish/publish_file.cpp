// The publishers' settings file: where it lies and how a failed write is told.
#include "publish/publish_file.h"

#include "os/file_access.h"

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

QString SyncPublishFile(QSettings& settings)
{
    // Qt's settings keep the mode of the file they find: a new one is the user's alone.
    os::CreateUserOnlyFile(settings.fileName());
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::FormatError:
        return QStringLiteral("Файл «%1» повреждён: настройки публикации не сохранены.")
            .arg(QDir::toNativeSeparators(settings.fileName()));
    case QSettings::AccessError:
        break;
    }
    return QStringLiteral("Не удалось записать файл «%1»: настройки публикации не сохранены.")
        .arg(QDir::toNativeSeparators(settings.fileName()));
}

} // namespace publish
