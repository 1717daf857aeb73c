#include "archive/archive_store.h"

#include "archive/archive_connection.h"
#include "archive/archive_schema.h"
#include "os/file_access.h"
#include "os/file_calls.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>

namespace archive {
namespace {

const QString ImportedSetting = QStringLiteral("met.mtb imported");
const QString SymbolicLinkReason = QStringLiteral("на месте файла архива — символическая ссылка");
const QString ForeignReason = QStringLiteral("это база данных другой программы");

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The file for SQLite to read as it stands, taking no lock and making no file beside it. SQLite
// takes file names as UTF-8 on every system.
QByteArray ImmutableName(const QString& path)
{
    return "file:" + QUrl::toPercentEncoding(path, "/") + "?immutable=1";
}

// Whether the file's header says it is written the archive's way, with a write-ahead log.
bool WrittenWithLog(const QString& path)
{
    QFile file(path);
    const QByteArray header = file.open(QIODevice::ReadOnly) ? file.read(20) : QByteArray();
    return header.size() == 20 && header[18] == 2 && header[19] == 2;
}

// SQLITE_CORRUPT when a check of every page finds the file damaged, SQLITE_OK when not.
int CheckPages(const TArchiveConnection& connection)
{
    TStatement check;
    int rc = check.Prepare(connection.Db, "PRAGMA quick_check(1)");
    if (rc == SQLITE_OK)
        rc = check.Step();
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE ? SQLITE_CORRUPT : rc;
    const auto* answer = reinterpret_cast<const char*>(sqlite3_column_text(*check, 0));
    return answer != nullptr && std::strcmp(answer, "ok") == 0 ? SQLITE_OK : SQLITE_CORRUPT;
}

} // namespace

TArchiveStore::TArchiveStore(const QString& path, int busyTimeoutMs)
    : FPath(QFileInfo(path).absoluteFilePath())
    , FShownPath(Native(FPath))
    , FBusyTimeoutMs(busyTimeoutMs)
{
    Open();
}

TArchiveStore::~TArchiveStore() = default;

bool TArchiveStore::IsOpen() const
{
    return FConnection != nullptr;
}

sqlite3* TArchiveStore::Connection() const
{
    return FConnection ? FConnection->Db : nullptr;
}

void TArchiveStore::Open()
{
    // A fresh archive that is damaged at once is not tried again and again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::optional<TOpenFailure> failure = TryOpen();
        if (!failure)
            return;
        if (!failure->Damaged) {
            FNotice = QStringLiteral("Архив «%1» не открывается: %2. Программа работает без архива")
                          .arg(FShownPath, failure->Reason);
            return;
        }
        const QString aside = MoveAside(failure->Reason);
        if (aside.isEmpty())
            return;
    }
}

std::optional<TArchiveStore::TOpenFailure> TArchiveStore::TryOpen()
{
    FConnection.reset();
    std::unique_ptr<TArchiveConnection> connection;
    std::int64_t version = 0;
    bool readOnly = false;
    std::optional<TOpenFailure> failure = OpenFile(connection, version, readOnly);
    if (!failure)
        failure = CheckSchema(*connection, version);
    if (!failure && !readOnly)
        failure = OpenForWriting(connection, version, readOnly);
    if (!failure)
        failure = MigrateSchema(*connection, version);
    if (!failure)
        failure = PrepareStatements(*connection);
    if (failure)
        return failure;
    FConnection = std::move(connection);
    return std::nullopt;
}

TArchiveStore::TOpenFailure TArchiveStore::Failure(TArchiveConnection& connection, int code)
{
    if (IsDamage(code))
        connection.LeaveFileAsItIs();
    if (code == SQLITE_CANTOPEN_SYMLINK)
        return TOpenFailure{code, SymbolicLinkReason, false};
    return TOpenFailure{code, ArchiveReason(code, connection.SystemError()), IsDamage(code)};
}

TArchiveStore::TOpenFailure TArchiveStore::Damage(TArchiveConnection& connection, const QString& reason)
{
    connection.LeaveFileAsItIs();
    return TOpenFailure{SQLITE_ERROR, reason, true};
}

int TArchiveStore::Connect(std::unique_ptr<TArchiveConnection>& connection, const QByteArray& name, int flags) const
{
    connection = std::make_unique<TArchiveConnection>();
    int rc =
        sqlite3_open_v2(name.constData(), &connection->Db, flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_extended_result_codes(connection->Db, 1);
    sqlite3_busy_timeout(connection->Db, FBusyTimeoutMs);
    return connection->Harden();
}

std::optional<TArchiveStore::TOpenFailure> TArchiveStore::OpenFile(std::unique_ptr<TArchiveConnection>& connection,
                                                                   std::int64_t& version, bool& readOnly)
{
    const QFileInfo info(FPath);
    const bool existed = info.exists();
    // Whatever a link points to is not ours to change: not followed, not renamed, not removed.
    if (info.isSymbolicLink())
        return TOpenFailure{SQLITE_CANTOPEN_SYMLINK, SymbolicLinkReason, false};
    if (existed) {
        if (info.isDir())
            return TOpenFailure{SQLITE_CANTOPEN, QStringLiteral("на месте файла архива — папка"), true};
        if (!info.isFile())
            return TOpenFailure{SQLITE_CANTOPEN, QStringLiteral("на месте файла архива — не обычный файл"), true};
    }

    // Whether the folder takes new files: SQLite's own error after a failed creation is that of
    // its last try, which says little.
    const int folderError = info.absoluteDir().exists() ? os::FolderWriteError(info.absolutePath()) : ENOENT;

    // SQLite makes a new archive readable by all, and its journal files after it: made here first,
    // the archive and its journals are the user's alone.
    if (!existed && folderError == 0)
        os::CreateUserOnlyFile(FPath);

    // SQLite refuses a path with a link anywhere in it: the folder goes by its own name.
    const QString folder = info.absoluteDir().canonicalPath();
    const QString real = folder.isEmpty() ? FPath : QDir(folder).filePath(info.fileName());
    // The first read of the file: its header and schema. Garbage and truncated files show here.
    // A file that is there is only read, with SQLite's locks: another start may be making it.
    int rc =
        Connect(connection, real.toUtf8(), existed ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (rc == SQLITE_OK)
        rc = connection->QueryInt("PRAGMA user_version", version);
    readOnly = folderError != 0 && info.isFile() && ((rc & 0xFF) == SQLITE_CANTOPEN || (rc & 0xFF) == SQLITE_READONLY);
    if (readOnly) {
        // A folder that takes no files (read-only media, a file system remounted after errors):
        // the archive is read as it stands, without the journal's index that could not be made.
        rc = Connect(connection, ImmutableName(real), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
        if (rc == SQLITE_OK)
            rc = connection->QueryInt("PRAGMA user_version", version);
    }
    // A journal to roll back belongs to a database that is not written the archive's way.
    if (rc == SQLITE_READONLY_ROLLBACK)
        return Damage(*connection, ForeignReason);
    if (rc != SQLITE_OK && !IsDamage(rc) && rc != SQLITE_CANTOPEN_SYMLINK)
        return TOpenFailure{rc,
                            folderError != 0 ? ArchiveReason(SQLITE_CANTOPEN, folderError)
                                             : ArchiveReason(rc, connection->SystemError()),
                            false};
    if (rc != SQLITE_OK)
        return Failure(*connection, rc);
    return std::nullopt;
}

std::optional<TArchiveStore::TOpenFailure> TArchiveStore::CheckSchema(TArchiveConnection& connection,
                                                                      std::int64_t& version)
{
    // The version and the schema from one snapshot: another start may be making the archive right
    // now, and a version read before its commit with tables read after it would look like another
    // program's database. Inside a transaction of the caller's, that one is the snapshot.
    const bool ownSnapshot = sqlite3_get_autocommit(connection.Db) != 0 && connection.Exec("BEGIN") == SQLITE_OK;
    int rc = connection.QueryInt("PRAGMA user_version", version);
    TSchemaMatch match = TSchemaMatch::Foreign;
    if (rc == SQLITE_OK && version <= ArchiveSchemaVersion)
        match = MatchSchema(connection.Db, version, rc);
    if (ownSnapshot)
        connection.RollBackIfOpen();
    if (rc != SQLITE_OK)
        return Failure(connection, rc);
    if (version > ArchiveSchemaVersion)
        return Damage(connection,
                      QStringLiteral("архив записан более новой версией программы (версия %1)").arg(version));
    if (match == TSchemaMatch::TablesMissing)
        return Damage(connection, QStringLiteral("в файле нет таблиц архива"));
    if (match == TSchemaMatch::Foreign)
        return Damage(connection, ForeignReason);
    // A file damaged in its middle shows itself before anything of it is changed.
    rc = ReadEachTable(connection);
    if (IsDamage(rc))
        return Failure(connection, rc);
    return std::nullopt;
}

std::optional<TArchiveStore::TOpenFailure>
TArchiveStore::OpenForWriting(std::unique_ptr<TArchiveConnection>& connection, std::int64_t& version, bool& readOnly)
{
    if (sqlite3_db_readonly(connection->Db, "main") == 1) {
        const QString name = QString::fromUtf8(sqlite3_db_filename(connection->Db, "main"));
        // Setting up the journal rewrites the header of a file not yet written the archive's way
        // (an empty one, say): a damaged one must go aside as it was, so every page is read first.
        if (!WrittenWithLog(name)) {
            if (const int checked = CheckPages(*connection); checked != SQLITE_OK)
                return Failure(*connection, checked);
        }
        int rc = Connect(connection, name.toUtf8(), SQLITE_OPEN_READWRITE);
        if (rc == SQLITE_OK)
            rc = connection->QueryInt("PRAGMA user_version", version);
        readOnly = ((rc & 0xFF) == SQLITE_CANTOPEN || (rc & 0xFF) == SQLITE_READONLY) &&
            os::FolderWriteError(QFileInfo(FPath).absolutePath()) != 0;
        if (readOnly) {
            // A folder that takes no files: the archive is read as it stands (see OpenFile).
            rc = Connect(connection, ImmutableName(name), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
            if (rc == SQLITE_OK)
                rc = connection->QueryInt("PRAGMA user_version", version);
        }
        if (rc != SQLITE_OK && !IsDamage(rc) && rc != SQLITE_CANTOPEN_SYMLINK)
            return TOpenFailure{rc, ArchiveReason(rc, connection->SystemError()), false};
        if (rc != SQLITE_OK)
            return Failure(*connection, rc);
        if (std::optional<TOpenFailure> failure = CheckSchema(*connection, version))
            return failure;
    }
    if (readOnly)
        return std::nullopt;
    const int rc = connection->Exec("PRAGMA journal_mode=WAL");
    if (IsDamage(rc))
        return Failure(*connection, rc);
    connection->Exec("PRAGMA synchronous=FULL");
    return std::nullopt;
}

std::optional<TArchiveStore::TOpenFailure> TArchiveStore::MigrateSchema(TArchiveConnection& connection,
                                                                        std::int64_t version)
{
    if (version >= ArchiveSchemaVersion)
        return std::nullopt;
    int rc = connection.Exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return Failure(connection, rc);
    // Another program may have made the archive while this one waited for the lock.
    rc = connection.QueryInt("PRAGMA user_version", version);
    if (rc == SQLITE_OK) {
        if (std::optional<TOpenFailure> failure = CheckSchema(connection, version)) {
            connection.RollBackIfOpen();
            return failure;
        }
    }
    if (rc == SQLITE_OK && version == 0)
        rc = connection.CreateSchema();
    else if (rc == SQLITE_OK && version < ArchiveSchemaVersion)
        rc = connection.UpgradeSchema(version);
    if (rc == SQLITE_OK)
        rc = connection.Exec("COMMIT");
    if (rc != SQLITE_OK) {
        connection.RollBackIfOpen();
        return Failure(connection, rc);
    }
    return std::nullopt;
}

std::optional<TArchiveStore::TOpenFailure> TArchiveStore::PrepareStatements(TArchiveConnection& connection)
{
    int rc = connection.PrepareAll();
    if (rc != SQLITE_OK) {
        if (IsDamage(rc))
            return Failure(connection, rc);
        return Damage(connection, QStringLiteral("в файле нет таблиц архива"));
    }
    rc = ReadEachTable(connection);
    if (rc != SQLITE_OK)
        return Failure(connection, rc);
    return std::nullopt;
}

int TArchiveStore::ReadEachTable(TArchiveConnection& connection)
{
    // Each table once, so that a file damaged in its middle shows itself now rather than at the
    // first download. An older archive lacks the later tables until it is brought up to date.
    for (const char* sql :
         {"SELECT max(hour) FROM hours", "SELECT max(minute) FROM samples", "SELECT max(hour) FROM sample_hours",
          "SELECT count(*) FROM settings", "SELECT max(id) FROM alarms"}) {
        std::int64_t ignored = 0;
        const int rc = connection.QueryInt(sql, ignored);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

QString TArchiveStore::MoveAside(const QString& reason)
{
    if (FConnection)
        FConnection->LeaveFileAsItIs();
    FConnection.reset();
    const QFileInfo info(FPath);
    const bool folderInPlace = info.isDir();
    const QDir folder = info.dir();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = info.completeBaseName() + QStringLiteral(".damaged-") + stamp;
    const QStringList companions{QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")};
    QString aside;
    for (int n = 1; aside.isEmpty(); ++n) {
        const QString name = base + (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + QStringLiteral(".sqlite");
        bool free = !QFileInfo::exists(folder.filePath(name));
        for (const QString& suffix : companions)
            free = free && !QFileInfo::exists(folder.filePath(name + suffix));
        if (free)
            aside = folder.filePath(name);
    }
    if (const int error = os::RenameFile(FPath, aside); error != 0) {
        FNotice = QStringLiteral("Архив «%1» не читается: %2, а переименовать его не удаётся: %3. "
                                 "Программа работает без архива")
                      .arg(FShownPath, reason, ArchiveReason(SQLITE_IOERR, error));
        return {};
    }
    // The journal belongs to the damaged file: left here, it would be taken into the fresh archive.
    for (const QString& suffix : companions)
        if (QFileInfo::exists(FPath + suffix))
            os::RenameFile(FPath + suffix, aside + suffix);
    FNotice = QStringLiteral("Архив «%1» не читается: %2. %3 под именем «%4», начат новый архив")
                  .arg(FShownPath, reason,
                       folderInPlace ? QStringLiteral("Папка сохранена") : QStringLiteral("Файл сохранён"),
                       QFileInfo(aside).fileName());
    return aside;
}

bool TArchiveStore::RecoverFromDamage(int code)
{
    const QString aside = MoveAside(ArchiveReason(code));
    if (aside.isEmpty())
        return false;
    const QString notice = FNotice;
    Open();
    if (IsOpen())
        FNotice = notice;
    return IsOpen();
}

int TArchiveStore::RunChange(const std::function<int()>& attempt, QString& notice)
{
    int rc = attempt();
    if (rc == SQLITE_OK)
        return rc;
    FConnection->RollBackIfOpen();
    if (IsDamage(rc)) {
        const bool fresh = RecoverFromDamage(rc);
        notice = FNotice;
        if (fresh) {
            rc = attempt();
            if (rc != SQLITE_OK)
                FConnection->RollBackIfOpen();
        }
    }
    return rc;
}

QString TArchiveStore::ChangeMessage(int code, const QString& failed, const QString& notice) const
{
    if (code == SQLITE_OK)
        return notice;
    const QString message = FailureMessage(failed, code);
    return notice.isEmpty() ? message : notice + QStringLiteral(".\n") + message;
}

QString TArchiveStore::FailureMessage(const QString& what, int code) const
{
    const int systemError = FConnection ? FConnection->SystemError() : 0;
    return what.arg(FShownPath, ArchiveReason(code, systemError));
}

namespace {

const QString MergeFailedText = QStringLiteral("Загруженная история не добавлена в архив «%1»: %2");
const QString ImportFailedText = QStringLiteral("Копия истории из met.mtb не добавлена в архив «%1»: %2");
const QString SampleFailedText = QStringLiteral("Показания не записаны в архив «%1»: %2");
const QString SettingFailedText = QStringLiteral("Настройка не записана в архив «%1»: %2");
const QString DeleteFailedText = QStringLiteral("Часы с датой в будущем не удалены из архива «%1»: %2");

bool SameValues(const TStatement& row, const THourRecord& hour)
{
    for (int q = 0; q < base::QuantityCount; ++q)
        if (row.Int(q) != hour.Values[static_cast<std::size_t>(q)])
            return false;
    return true;
}

} // namespace

TMergeResult TArchiveStore::Merge(const std::vector<THourRecord>& hours)
{
    return RunMerge(hours, false);
}

TMergeResult TArchiveStore::Import(const std::vector<THourRecord>& hours)
{
    return RunMerge(hours, true);
}

TMergeResult TArchiveStore::RunMerge(const std::vector<THourRecord>& hours, bool import)
{
    TMergeResult result;
    if (!IsOpen())
        return result;
    auto attempt = [&]() -> int {
        result = {};
        TArchiveConnection& c = *FConnection;
        int rc = c.Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK)
            return rc;
        if (import) {
            rc = FindImportMark(result.AlreadyImported);
            if (rc != SQLITE_OK || result.AlreadyImported)
                return rc == SQLITE_OK ? c.Exec("COMMIT") : rc;
        }
        std::vector<THourKey> added;
        rc = WriteMergedHours(hours, result, added);
        if (rc != SQLITE_OK)
            return rc;
        rc = NoteLateHours(added);
        if (rc != SQLITE_OK)
            return rc;
        if (import) {
            rc = PutImportMark();
            if (rc != SQLITE_OK)
                return rc;
        }
        return c.Exec("COMMIT");
    };

    QString notice;
    const int rc = RunChange(attempt, notice);
    if (rc != SQLITE_OK) {
        const bool alreadyImported = result.AlreadyImported;
        result = {};
        result.AlreadyImported = alreadyImported;
    }
    result.Ok = rc == SQLITE_OK;
    result.Message = ChangeMessage(rc, import ? ImportFailedText : MergeFailedText, notice);
    return result;
}

int TArchiveStore::FindImportMark(bool& imported)
{
    TArchiveConnection& c = *FConnection;
    c.GetSetting.Reset();
    c.GetSetting.Bind(1, ImportedSetting);
    const int rc = c.GetSetting.Step();
    c.GetSetting.Reset();
    imported = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int TArchiveStore::PutImportMark()
{
    TArchiveConnection& c = *FConnection;
    c.PutSetting.Reset();
    c.PutSetting.Bind(1, ImportedSetting);
    c.PutSetting.Bind(2, QStringLiteral("yes"));
    const int rc = c.PutSetting.Step();
    c.PutSetting.Reset();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int TArchiveStore::WriteMergedHours(const std::vector<THourRecord>& hours, TMergeResult& result,
                                    std::vector<THourKey>& added)
{
    TArchiveConnection& c = *FConnection;
    for (const THourRecord& hour : hours) {
        c.SelectHour.Reset();
        c.SelectHour.Bind(1, hour.Hour);
        int rc = c.SelectHour.Step();
        const TStatement* write = nullptr;
        if (rc == SQLITE_DONE) {
            write = &c.InsertHour;
            ++result.Added;
            added.push_back(hour.Hour);
        } else if (rc == SQLITE_ROW) {
            if (SameValues(c.SelectHour, hour)) {
                ++result.Unchanged;
            } else {
                write = &c.UpdateHour;
                ++result.Conflicts;
            }
        } else {
            return rc;
        }
        c.SelectHour.Reset();
        if (write == nullptr)
            continue;
        write->Reset();
        write->Bind(1, hour.Hour);
        for (int q = 0; q < base::QuantityCount; ++q)
            write->Bind(2 + q, hour.Values[static_cast<std::size_t>(q)]);
        rc = write->Step();
        write->Reset();
        if (rc != SQLITE_DONE)
            return rc;
    }
    return SQLITE_OK;
}

bool TArchiveStore::Imported()
{
    return !Setting(ImportedSetting).isEmpty();
}

TWriteResult TArchiveStore::AddSample(const TSample& sample)
{
    if (!IsOpen() || sample.Reports <= 0)
        return {false, {}};
    auto attempt = [&]() -> int {
        TArchiveConnection& c = *FConnection;
        int rc = c.Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK)
            return rc;
        TSample combined = sample;
        rc = CombineWithStoredSample(combined);
        if (rc != SQLITE_OK)
            return rc;
        rc = WriteSample(combined);
        if (rc != SQLITE_OK)
            return rc;
        rc = AddToSampleHour(sample);
        if (rc != SQLITE_OK)
            return rc;
        return c.Exec("COMMIT");
    };

    QString notice;
    const int rc = RunChange(attempt, notice);
    return {rc == SQLITE_OK, ChangeMessage(rc, SampleFailedText, notice)};
}

int TArchiveStore::CombineWithStoredSample(TSample& sample)
{
    // What is already there for the interval (a run earlier in the same 5 minutes) is combined.
    TArchiveConnection& c = *FConnection;
    const TSample added = sample;
    c.SelectSample.Reset();
    c.SelectSample.Bind(1, sample.Start);
    const int rc = c.SelectSample.Step();
    if (rc == SQLITE_ROW) {
        sample.Reports += static_cast<int>(c.SelectSample.Int64(0));
        for (const base::TQuantity quantity : base::Quantities) {
            const int q = base::QuantityNumber(quantity);
            const auto i = static_cast<std::size_t>(q);
            // A value the station cannot have measured is not combined with: the new one stands.
            const std::optional<double> oldMean = c.SelectSample.Measured(quantity, 1 + 2 * q);
            const int oldCount = static_cast<int>(c.SelectSample.Int64(2 + 2 * q));
            if (oldCount <= 0 || !oldMean)
                continue;
            const double sum = *oldMean * oldCount + (added.Count[i] > 0 ? added.Mean[i] * added.Count[i] : 0.0);
            sample.Count[i] = oldCount + added.Count[i];
            sample.Mean[i] = sum / sample.Count[i];
        }
    } else if (rc != SQLITE_DONE) {
        return rc;
    }
    c.SelectSample.Reset();
    return SQLITE_OK;
}

int TArchiveStore::WriteSample(const TSample& sample)
{
    TArchiveConnection& c = *FConnection;
    c.PutSample.Reset();
    c.PutSample.Bind(1, sample.Start);
    c.PutSample.Bind(2, static_cast<std::int64_t>(sample.Reports));
    for (int q = 0; q < base::QuantityCount; ++q) {
        const auto i = static_cast<std::size_t>(q);
        c.PutSample.BindReal(3 + 2 * q, sample.Count[i] > 0 ? sample.Mean[i] : MissingValue);
        c.PutSample.Bind(4 + 2 * q, static_cast<std::int64_t>(sample.Count[i]));
    }
    const int rc = c.PutSample.Step();
    c.PutSample.Reset();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int TArchiveStore::AddToSampleHour(const TSample& sample)
{
    // The hour's sums grow by this sample alone. They are kept by the wall clock's hour, the one the
    // views show: the hour repeated in autumn holds both of its passes.
    TArchiveConnection& c = *FConnection;
    c.AddSampleHour.Reset();
    c.AddSampleHour.Bind(1, HourOfMinute(WallMinuteOfUtc(sample.Start)));
    for (int q = 0; q < base::QuantityCount; ++q) {
        const auto i = static_cast<std::size_t>(q);
        const bool has = sample.Count[i] > 0 && HasValue(sample.Mean[i]);
        sqlite3_bind_double(*c.AddSampleHour, 2 + 2 * q, has ? sample.Mean[i] * sample.Count[i] : 0.0);
        c.AddSampleHour.Bind(3 + 2 * q, static_cast<std::int64_t>(has ? sample.Count[i] : 0));
    }
    const int rc = c.AddSampleHour.Step();
    c.AddSampleHour.Reset();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

TWriteResult TArchiveStore::DeleteStationHoursAfter(THourKey last)
{
    if (!IsOpen())
        return {false, {}};
    auto attempt = [&]() -> int {
        TStatement remove;
        int rc = remove.Prepare(FConnection->Db, "DELETE FROM hours WHERE hour > ?1");
        if (rc != SQLITE_OK)
            return rc;
        remove.Bind(1, last);
        rc = remove.Step();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    };
    QString notice;
    const int rc = RunChange(attempt, notice);
    return {rc == SQLITE_OK, ChangeMessage(rc, DeleteFailedText, notice)};
}

TWriteResult TArchiveStore::SetSetting(const QString& name, const QString& value)
{
    if (!IsOpen())
        return {false, {}};
    const TArchiveConnection& c = *FConnection;
    c.PutSetting.Reset();
    c.PutSetting.Bind(1, name);
    c.PutSetting.Bind(2, value);
    const int rc = c.PutSetting.Step();
    c.PutSetting.Reset();
    if (rc != SQLITE_DONE)
        return {false, FailureMessage(SettingFailedText, rc)};
    return {true, {}};
}

} // namespace archive
