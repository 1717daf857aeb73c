// The programs' publishing: the module loaded from beside the program or from the library folder
// of the installed program, once the window's first picture is out. Where it cannot be had, the
// reason names the file, so the owner can tell a missing file from one that does not load.
#include "station/publishing_module.h"

#include "os/library_image.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <algorithm>

namespace {

// Where the module may lie, in the order they are tried.
QStringList ModulePlaces()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString file = QStringLiteral(METEO_PUBLISHING_MODULE_FILE);
    QStringList places{programFolder.filePath(file)};
    const QString installedFolder = QStringLiteral(METEO_PUBLISHING_MODULE_INSTALLED_FOLDER);
    if (!installedFolder.isEmpty())
        places << QDir::cleanPath(programFolder.filePath(installedFolder + QLatin1Char('/') + file));
    return places;
}

QString Quoted(const QString& path)
{
    return QStringLiteral("«%1»").arg(QDir::toNativeSeparators(path));
}

} // namespace

TPublishingOpening OpenPublishingModule()
{
    const QStringList places = ModulePlaces();
    const auto found =
        std::find_if(places.begin(), places.end(), [](const QString& path) { return QFileInfo::exists(path); });
    if (found == places.end()) {
        QStringList quoted;
        for (const QString& path : places)
            quoted << Quoted(path);
        return {nullptr,
                QStringLiteral("нет файла модуля публикации (искали %1)").arg(quoted.join(QStringLiteral(" и ")))};
    }
    // A cut-short file would kill the program inside the loader: it is checked first.
    if (os::LibraryFileIsCutShort(*found))
        return {
            nullptr,
            QStringLiteral("файл %1 повреждён (обрезан или испорчен); переустановите программу").arg(Quoted(*found))};
    QLibrary library(*found);
    // Its objects live to the program's end; the library stays loaded after `library` is gone.
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load())
        return {nullptr,
                QStringLiteral("модуль публикации %1 не загружается: %2").arg(Quoted(*found), library.errorString())};
    const auto entry = reinterpret_cast<TPublishingModuleEntry>(library.resolve(PublishingModuleEntryName));
    if (entry == nullptr)
        return {nullptr,
                QStringLiteral("файл %1 — не модуль публикации: в нём нет функции «%2»")
                    .arg(Quoted(*found), QLatin1String(PublishingModuleEntryName))};
    TPublishingModule* module = entry(METEO_PROGRAM_VERSION);
    if (module == nullptr)
        return {nullptr, QStringLiteral("модуль публикации %1 — от другой версии программы").arg(Quoted(*found))};
    return {std::unique_ptr<TPublishingModule>(module), {}};
}
