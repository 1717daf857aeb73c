// The publishers' settings file: where it lies and how a damaged file or a failed write is told.
#include "publish/publish_file.h"

#include "os/file_access.h"
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

QString SyncPublishFile(QSettings& settings)
{
    // Qt's settings keep the mode of the file they find: a new one is the user's alone.
    os::CreateUserOnlyFile(settings.fileName());
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
    // A damaged file was read as far as it goes and written anew with the change (its status stays
    // FormatError); the damage was told when it was read.
    case QSettings::FormatError:
        return {};
    case QSettings::AccessError:
        break;
    }
    return QStringLiteral("Не удалось записать файл «%1»: настройки публикации не сохранены.")
        .arg(QDir::toNativeSeparators(settings.fileName()));
}

} // namespace publish
