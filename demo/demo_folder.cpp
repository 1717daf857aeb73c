#include "demo/demo_folder.h"

#include "os/data_folder.h"

#include <QDir>
#include <QFile>
#include <filesystem>
#include <system_error>

QString DemoDataFolder()
{
    return QDir(os::ProgramDataFolder()).filePath(QStringLiteral("demo"));
}

bool EnterDemoDataFolder(QString& problem)
{
    const QString folder = DemoDataFolder();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (!error && QDir::setCurrent(folder))
        return true;
    if (!error)
        error = std::make_error_code(std::errc::permission_denied);
    problem = QStringLiteral("Не удалось открыть папку демонстрации «%1»: %2")
                  .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(error.message().c_str()));
    return false;
}
