// Every file the program makes in its data folder is the user's alone whatever the umask: the lock,
// "met.mtb", "met.txt", the archive and its journals, "publish.ini" and the secrets' file.
#include "archive/archive_store.h"
#include "core/history_export.h"
#include "core/history_file.h"
#include "os/data_folder_lock.h"
#include "publish/networks/networks_file.h"
#include "publish/secret_store.h"
#include "publish/station_id.h"
#include "tests/support/safety_support.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace {

TEST(DataFolderFiles, EveryFileTheProgramMakesIsTheUsersAloneWhateverTheUmask)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"); // the secrets go to their file
    const mode_t umaskBefore = ::umask(0);
    const os::TDataFolderLock lock(folder.Path());
    THistoryState history;
    SaveHistoryFile(history);
    ExportHistoryText(history.HistoryImage);
    archive::TArchiveStore archive;
    EXPECT_TRUE(archive.SetSetting(QStringLiteral("mode"), QStringLiteral("0600")).Ok)
        << archive.Notice().toStdString();
    EXPECT_EQ(publish::LoadOrCreateStationId(folder.Path()).Error, QString());
    EXPECT_EQ(publish::SaveNetworkEntry(folder.Path(), publish::LoadNetworkEntries(folder.Path()).front().Settings),
              QString());
    publish::TSecretStore secrets(folder.Path());
    std::optional<QString> secretError;
    secrets.Write(QStringLiteral("own-key/0123456789ab"), QStringLiteral("ключ"),
                  [&](const QString& e) { secretError = e; });
    EXPECT_TRUE(testsupport::PumpUntil([&] { return secretError.has_value(); }));
    ::umask(umaskBefore);

    EXPECT_EQ(safety::FolderEntries(folder.Path()),
              (QStringList{".meteostation.lock", "met.mtb", "met.txt", "meteo-archive.sqlite",
                           "meteo-archive.sqlite-shm", "meteo-archive.sqlite-wal", "publish.ini", "publish.secret"}));
    for (const QString& name : safety::FolderEntries(folder.Path())) {
        struct stat info = {};
        ASSERT_EQ(::lstat(QFile::encodeName(QDir(folder.Path()).filePath(name)).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u) << name.toStdString();
    }
}

} // namespace
