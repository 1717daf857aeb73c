#include "archive/archive_store.h"

#include "gui/system_reason.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <sqlite3.h>
#include <unistd.h>

namespace archive {
namespace {

// Hours and minutes are counted on the wall clock from 1 January 2000, 00:00 (see archive_types.h).
const char* const SchemaSql = R"sql(
CREATE TABLE hours(              -- the station's hourly records, merged from every download
  hour INTEGER PRIMARY KEY,      -- hours since 2000-01-01 00:00, station clock
  indoor INTEGER,                -- °C, NULL when the station had no value
  outdoor INTEGER,               -- °C
  pressure INTEGER,              -- mm Hg
  humidity INTEGER               -- %
);
CREATE TABLE samples(            -- the live stream, one row per 5 minutes
  minute INTEGER PRIMARY KEY,    -- first minute of the interval since 2000-01-01 00:00, computer clock
  reports INTEGER NOT NULL,      -- readings in the interval
  indoor REAL, indoor_count INTEGER NOT NULL,      -- mean of the readings that had the value, and their number
  outdoor REAL, outdoor_count INTEGER NOT NULL,
  pressure REAL, pressure_count INTEGER NOT NULL,
  humidity REAL, humidity_count INTEGER NOT NULL
);
CREATE TABLE sample_hours(       -- the samples summed by hour, written with them in one transaction
  hour INTEGER PRIMARY KEY,
  indoor_sum REAL NOT NULL, indoor_count INTEGER NOT NULL,
  outdoor_sum REAL NOT NULL, outdoor_count INTEGER NOT NULL,
  pressure_sum REAL NOT NULL, pressure_count INTEGER NOT NULL,
  humidity_sum REAL NOT NULL, humidity_count INTEGER NOT NULL
);
CREATE TABLE settings(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
)sql";

const QString ImportedSetting = QStringLiteral("met.mtb imported");

bool IsDamage(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Only the result of the last statement counts; its text is dropped.
class TStatement
{
public:
    TStatement() = default;
    ~TStatement() { Finalize(); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    void Finalize()
    {
        sqlite3_finalize(Handle);
        Handle = nullptr;
    }
    int Prepare(sqlite3* db, const char* sql)
    {
        Finalize();
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &Handle, nullptr);
    }
    sqlite3_stmt* operator*() const { return Handle; }
    void Reset() const
    {
        sqlite3_reset(Handle);
        sqlite3_clear_bindings(Handle);
    }
    void Bind(int index, std::int64_t value) const { sqlite3_bind_int64(Handle, index, value); }
    void Bind(int index, const std::optional<int>& value) const
    {
        if (value)
            sqlite3_bind_int(Handle, index, *value);
        else
            sqlite3_bind_null(Handle, index);
    }
    void BindReal(int index, double value) const
    {
        if (HasValue(value))
            sqlite3_bind_double(Handle, index, value);
        else
            sqlite3_bind_null(Handle, index);
    }
    void Bind(int index, const QString& text) const
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(Handle, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    int Step() const { return sqlite3_step(Handle); }
    std::optional<int> Int(int column) const
    {
        if (sqlite3_column_type(Handle, column) == SQLITE_NULL)
            return std::nullopt;
        return sqlite3_column_int(Handle, column);
    }
    double Real(int column) const
    {
        if (sqlite3_column_type(Handle, column) == SQLITE_NULL)
            return MissingValue;
        return sqlite3_column_double(Handle, column);
    }
    std::int64_t Int64(int column) const { return sqlite3_column_int64(Handle, column); }

private:
    sqlite3_stmt* Handle = nullptr;
};

} // namespace

class TArchiveStore::TConnection
{
public:
    sqlite3* Db = nullptr;
    TStatement SelectHour, InsertHour, UpdateHour;
    TStatement SelectSample, PutSample, AddSampleHour;
    TStatement HoursRange, SampleHoursRange;
    TStatement GetSetting, PutSetting;

    ~TConnection()
    {
        // Statements first: a connection with statements left would stay open.
        for (TStatement* s : {&SelectHour, &InsertHour, &UpdateHour, &SelectSample, &PutSample, &AddSampleHour,
                              &HoursRange, &SampleHoursRange, &GetSetting, &PutSetting})
            s->Finalize();
        sqlite3_close_v2(Db);
    }

    int Exec(const char* sql) const { return sqlite3_exec(Db, sql, nullptr, nullptr, nullptr); }

    // The first row's first column as a number.
    int QueryInt(const char* sql, std::int64_t& value) const
    {
        TStatement s;
        int rc = s.Prepare(Db, sql);
        if (rc != SQLITE_OK)
            return rc;
        rc = s.Step();
        if (rc == SQLITE_ROW) {
            value = s.Int64(0);
            return SQLITE_OK;
        }
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    int PrepareAll()
    {
        const std::pair<TStatement*, const char*> all[] = {
            {&SelectHour, "SELECT indoor, outdoor, pressure, humidity FROM hours WHERE hour = ?1"},
            {&InsertHour, "INSERT INTO hours(hour, indoor, outdoor, pressure, humidity) VALUES(?1, ?2, ?3, ?4, ?5)"},
            {&UpdateHour, "UPDATE hours SET indoor = ?2, outdoor = ?3, pressure = ?4, humidity = ?5 WHERE hour = ?1"},
            {&SelectSample, "SELECT reports, indoor, indoor_count, outdoor, outdoor_count, pressure, pressure_count,"
                            " humidity, humidity_count FROM samples WHERE minute = ?1"},
            {&PutSample, "INSERT OR REPLACE INTO samples(minute, reports, indoor, indoor_count, outdoor, outdoor_count,"
                         " pressure, pressure_count, humidity, humidity_count)"
                         " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"},
            {&AddSampleHour,
             "INSERT INTO sample_hours(hour, indoor_sum, indoor_count, outdoor_sum, outdoor_count, pressure_sum,"
             " pressure_count, humidity_sum, humidity_count) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"
             " ON CONFLICT(hour) DO UPDATE SET indoor_sum = indoor_sum + excluded.indoor_sum,"
             " indoor_count = indoor_count + excluded.indoor_count,"
             " outdoor_sum = outdoor_sum + excluded.outdoor_sum, outdoor_count = outdoor_count + excluded.outdoor_count,"
             " pressure_sum = pressure_sum + excluded.pressure_sum,"
             " pressure_count = pressure_count + excluded.pressure_count,"
             " humidity_sum = humidity_sum + excluded.humidity_sum,"
             " humidity_count = humidity_count + excluded.humidity_count"},
            {&HoursRange, "SELECT hour, indoor, outdoor, pressure, humidity FROM hours"
                          " WHERE hour BETWEEN ?1 AND ?2 ORDER BY hour"},
            {&SampleHoursRange, "SELECT hour, indoor_sum, indoor_count, outdoor_sum, outdoor_count, pressure_sum,"
                                " pressure_count, humidity_sum, humidity_count FROM sample_hours"
                                " WHERE hour BETWEEN ?1 AND ?2 ORDER BY hour"},
            {&GetSetting, "SELECT value FROM settings WHERE name = ?1"},
            {&PutSetting, "INSERT OR REPLACE INTO settings(name, value) VALUES(?1, ?2)"},
        };
        for (const auto& [statement, sql] : all) {
            const int rc = statement->Prepare(Db, sql);
            if (rc != SQLITE_OK)
                return rc;
        }
        return SQLITE_OK;
    }

    // Ends a transaction that a failure left open, so the next change starts clean.
    void RollBackIfOpen() const
    {
        if (sqlite3_get_autocommit(Db) == 0)
            Exec("ROLLBACK");
    }

    int SystemError() const { return sqlite3_system_errno(Db); }

    // A damaged file is kept as it is: closing must neither copy its journal into it nor delete
    // the journal.
    void LeaveFileAsItIs() const
    {
        int on = 1;
        sqlite3_db_config(Db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_file_control(Db, nullptr, SQLITE_FCNTL_PERSIST_WAL, &on);
    }
};

QString ArchiveReason(int code, int systemError)
{
    switch (code & 0xFF) {
    case SQLITE_FULL:
        return QStringLiteral("на диске нет свободного места");
    case SQLITE_READONLY:
        return QStringLiteral("файл или папка доступны только для чтения");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("архив занят другой программой");
    case SQLITE_CORRUPT:
        return QStringLiteral("файл повреждён");
    case SQLITE_NOTADB:
        return QStringLiteral("файл не является базой данных");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("нет прав на запись");
    case SQLITE_NOMEM:
        return QStringLiteral("не хватает памяти");
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
        if (systemError != 0)
            return gui::SystemReason(systemError);
        return (code & 0xFF) == SQLITE_CANTOPEN ? QStringLiteral("файл не открывается") : QStringLiteral("ошибка ввода-вывода");
    default:
        return QString::fromUtf8(sqlite3_errstr(code));
    }
}

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
    const QFileInfo info(FPath);
    if (info.exists() || info.isSymLink()) {
        if (info.isDir())
            return TOpenFailure{SQLITE_CANTOPEN, QStringLiteral("на месте файла архива — папка"), true};
        if (!info.isFile())
            return TOpenFailure{SQLITE_CANTOPEN, QStringLiteral("на месте файла архива — не обычный файл"), true};
    }

    // Whether the folder takes new files: SQLite's own error after a failed creation is that of
    // its last try, which says little.
    int folderError = 0;
    if (!info.absoluteDir().exists())
        folderError = ENOENT;
    else if (::access(QFile::encodeName(info.absolutePath()).constData(), W_OK) != 0)
        folderError = errno;

    std::unique_ptr<TConnection> connection;
    auto open = [&](const QByteArray& name, int flags) {
        connection = std::make_unique<TConnection>();
        int rc = sqlite3_open_v2(name.constData(), &connection->Db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK)
            return rc;
        sqlite3_extended_result_codes(connection->Db, 1);
        sqlite3_busy_timeout(connection->Db, FBusyTimeoutMs);
        return SQLITE_OK;
    };
    // The first read of the file: its header and schema. Garbage and truncated files show here.
    std::int64_t version = 0;
    int rc = open(QFile::encodeName(FPath), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (rc == SQLITE_OK)
        rc = connection->QueryInt("PRAGMA user_version", version);
    const bool readOnly = folderError != 0 && info.isFile() &&
                          ((rc & 0xFF) == SQLITE_CANTOPEN || (rc & 0xFF) == SQLITE_READONLY);
    if (readOnly) {
        // A folder that takes no files (read-only media, a file system remounted after errors):
        // the archive is read as it stands, without the journal's index that could not be made.
        rc = open("file:" + QUrl::toPercentEncoding(FPath, "/") + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
        if (rc == SQLITE_OK)
            rc = connection->QueryInt("PRAGMA user_version", version);
    }
    if (rc != SQLITE_OK && !IsDamage(rc))
        return TOpenFailure{rc, folderError != 0 ? ArchiveReason(SQLITE_CANTOPEN, folderError)
                                                 : ArchiveReason(rc, connection->SystemError()),
                            false};

    auto failure = [&connection](int code) {
        if (IsDamage(code))
            connection->LeaveFileAsItIs();
        return TOpenFailure{code, ArchiveReason(code, connection->SystemError()), IsDamage(code)};
    };
    auto damaged = [&connection](const QString& reason) {
        connection->LeaveFileAsItIs();
        return TOpenFailure{SQLITE_ERROR, reason, true};
    };
    if (rc != SQLITE_OK)
        return failure(rc);
    if (version > ArchiveSchemaVersion)
        return damaged(QStringLiteral("архив записан более новой версией программы (версия %1)").arg(version));
    if (!readOnly) {
        rc = connection->Exec("PRAGMA journal_mode=WAL");
        if (IsDamage(rc))
            return failure(rc);
        connection->Exec("PRAGMA synchronous=FULL");
    }

    if (version < ArchiveSchemaVersion) {
        rc = connection->Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK)
            return failure(rc);
        // Another program may have made the archive while this one waited for the lock.
        rc = connection->QueryInt("PRAGMA user_version", version);
        std::int64_t objects = 0;
        if (rc == SQLITE_OK && version == 0)
            rc = connection->QueryInt("SELECT count(*) FROM sqlite_master", objects);
        if (rc == SQLITE_OK && version == 0 && objects > 0) {
            connection->RollBackIfOpen();
            return damaged(QStringLiteral("это база данных другой программы"));
        }
        if (rc == SQLITE_OK && version == 0) {
            rc = connection->Exec(SchemaSql);
            if (rc == SQLITE_OK)
                rc = connection->Exec(("PRAGMA user_version=" + std::to_string(ArchiveSchemaVersion)).c_str());
        }
        if (rc == SQLITE_OK)
            rc = connection->Exec("COMMIT");
        if (rc != SQLITE_OK) {
            connection->RollBackIfOpen();
            return failure(rc);
        }
    }

    rc = connection->PrepareAll();
    if (rc != SQLITE_OK) {
        if (IsDamage(rc))
            return failure(rc);
        return damaged(QStringLiteral("в файле нет таблиц архива"));
    }
    // Each table once, so that a file damaged in its middle shows itself now rather than at the
    // first download.
    for (const char* sql : {"SELECT max(hour) FROM hours", "SELECT max(minute) FROM samples",
                            "SELECT max(hour) FROM sample_hours", "SELECT count(*) FROM settings"}) {
        std::int64_t ignored = 0;
        rc = connection->QueryInt(sql, ignored);
        if (rc != SQLITE_OK)
            return failure(rc);
    }
    FConnection = std::move(connection);
    return std::nullopt;
}

QString TArchiveStore::MoveAside(const QString& reason)
{
    if (FConnection)
        FConnection->LeaveFileAsItIs();
    FConnection.reset();
    const QFileInfo info(FPath);
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
    if (std::rename(QFile::encodeName(FPath).constData(), QFile::encodeName(aside).constData()) != 0) {
        const int error = errno;
        FNotice = QStringLiteral("Архив «%1» не читается: %2, а переименовать его не удаётся: %3. "
                                 "Программа работает без архива")
                      .arg(FShownPath, reason, ArchiveReason(SQLITE_IOERR, error));
        return {};
    }
    // The journal belongs to the damaged file: left here, it would be taken into the fresh archive.
    for (const QString& suffix : companions)
        if (QFileInfo::exists(FPath + suffix))
            std::rename(QFile::encodeName(FPath + suffix).constData(), QFile::encodeName(aside + suffix).constData());
    FNotice = QStringLiteral("Архив «%1» не читается: %2. Файл сохранён под именем «%3», начат новый архив")
                  .arg(FShownPath, reason, QFileInfo(aside).fileName());
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

bool SameValues(const TStatement& row, const THourRecord& hour)
{
    for (int q = 0; q < QuantityCount; ++q)
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
        TConnection& c = *FConnection;
        int rc = c.Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK)
            return rc;
        if (import) {
            c.GetSetting.Reset();
            c.GetSetting.Bind(1, ImportedSetting);
            rc = c.GetSetting.Step();
            c.GetSetting.Reset();
            if (rc == SQLITE_ROW) {
                result.AlreadyImported = true;
                return c.Exec("COMMIT");
            }
            if (rc != SQLITE_DONE)
                return rc;
        }
        for (const THourRecord& hour : hours) {
            c.SelectHour.Reset();
            c.SelectHour.Bind(1, hour.Hour);
            rc = c.SelectHour.Step();
            const TStatement* write = nullptr;
            if (rc == SQLITE_DONE) {
                write = &c.InsertHour;
                ++result.Added;
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
            for (int q = 0; q < QuantityCount; ++q)
                write->Bind(2 + q, hour.Values[static_cast<std::size_t>(q)]);
            rc = write->Step();
            write->Reset();
            if (rc != SQLITE_DONE)
                return rc;
        }
        if (import) {
            c.PutSetting.Reset();
            c.PutSetting.Bind(1, ImportedSetting);
            c.PutSetting.Bind(2, QStringLiteral("yes"));
            rc = c.PutSetting.Step();
            c.PutSetting.Reset();
            if (rc != SQLITE_DONE)
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

bool TArchiveStore::Imported()
{
    return !Setting(ImportedSetting).isEmpty();
}

TWriteResult TArchiveStore::AddSample(const TSample& sample)
{
    if (!IsOpen() || sample.Reports <= 0)
        return {false, {}};
    auto attempt = [&]() -> int {
        TConnection& c = *FConnection;
        int rc = c.Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK)
            return rc;
        // What is already there for the interval (a run earlier in the same 5 minutes) is combined.
        TSample combined = sample;
        c.SelectSample.Reset();
        c.SelectSample.Bind(1, sample.Start);
        rc = c.SelectSample.Step();
        if (rc == SQLITE_ROW) {
            combined.Reports += static_cast<int>(c.SelectSample.Int64(0));
            for (int q = 0; q < QuantityCount; ++q) {
                const auto i = static_cast<std::size_t>(q);
                const double oldMean = c.SelectSample.Real(1 + 2 * q);
                const int oldCount = static_cast<int>(c.SelectSample.Int64(2 + 2 * q));
                if (oldCount <= 0 || !HasValue(oldMean))
                    continue;
                const double sum = oldMean * oldCount + (sample.Count[i] > 0 ? sample.Mean[i] * sample.Count[i] : 0.0);
                combined.Count[i] = oldCount + sample.Count[i];
                combined.Mean[i] = sum / combined.Count[i];
            }
        } else if (rc != SQLITE_DONE) {
            return rc;
        }
        c.SelectSample.Reset();

        c.PutSample.Reset();
        c.PutSample.Bind(1, combined.Start);
        c.PutSample.Bind(2, static_cast<std::int64_t>(combined.Reports));
        for (int q = 0; q < QuantityCount; ++q) {
            const auto i = static_cast<std::size_t>(q);
            c.PutSample.BindReal(3 + 2 * q, combined.Count[i] > 0 ? combined.Mean[i] : MissingValue);
            c.PutSample.Bind(4 + 2 * q, static_cast<std::int64_t>(combined.Count[i]));
        }
        rc = c.PutSample.Step();
        c.PutSample.Reset();
        if (rc != SQLITE_DONE)
            return rc;

        // The hour's sums grow by this sample alone.
        c.AddSampleHour.Reset();
        c.AddSampleHour.Bind(1, HourOfMinute(sample.Start));
        for (int q = 0; q < QuantityCount; ++q) {
            const auto i = static_cast<std::size_t>(q);
            const bool has = sample.Count[i] > 0 && HasValue(sample.Mean[i]);
            sqlite3_bind_double(*c.AddSampleHour, 2 + 2 * q, has ? sample.Mean[i] * sample.Count[i] : 0.0);
            c.AddSampleHour.Bind(3 + 2 * q, static_cast<std::int64_t>(has ? sample.Count[i] : 0));
        }
        rc = c.AddSampleHour.Step();
        c.AddSampleHour.Reset();
        if (rc != SQLITE_DONE)
            return rc;
        return c.Exec("COMMIT");
    };

    QString notice;
    const int rc = RunChange(attempt, notice);
    return {rc == SQLITE_OK, ChangeMessage(rc, SampleFailedText, notice)};
}

std::vector<TArchiveHour> TArchiveStore::Hours(THourKey first, THourKey last)
{
    std::vector<TArchiveHour> result;
    if (!IsOpen() || last < first)
        return result;
    TConnection& c = *FConnection;
    // Both tables in one read transaction, so a writer in between cannot show half of a change.
    c.Exec("BEGIN");
    c.HoursRange.Reset();
    c.HoursRange.Bind(1, first);
    c.HoursRange.Bind(2, last);
    c.SampleHoursRange.Reset();
    c.SampleHoursRange.Bind(1, first);
    c.SampleHoursRange.Bind(2, last);
    int hoursRc = c.HoursRange.Step();
    int samplesRc = c.SampleHoursRange.Step();
    while (hoursRc == SQLITE_ROW || samplesRc == SQLITE_ROW) {
        const THourKey stationHour = hoursRc == SQLITE_ROW ? c.HoursRange.Int64(0) : last + 1;
        const THourKey sampleHour = samplesRc == SQLITE_ROW ? c.SampleHoursRange.Int64(0) : last + 1;
        TArchiveHour hour;
        hour.Hour = std::min(stationHour, sampleHour);
        bool any = false;
        if (sampleHour == hour.Hour) {
            for (int q = 0; q < QuantityCount; ++q) {
                const std::int64_t count = c.SampleHoursRange.Int64(2 + 2 * q);
                if (count > 0) {
                    hour.Values[static_cast<std::size_t>(q)] = c.SampleHoursRange.Real(1 + 2 * q) / static_cast<double>(count);
                    any = true;
                }
            }
            samplesRc = c.SampleHoursRange.Step();
        }
        // The station's own value of the hour wins over the live samples'.
        if (stationHour == hour.Hour) {
            for (int q = 0; q < QuantityCount; ++q) {
                if (const std::optional<int> value = c.HoursRange.Int(1 + q)) {
                    hour.Values[static_cast<std::size_t>(q)] = *value;
                    any = true;
                }
            }
            hoursRc = c.HoursRange.Step();
        }
        if (any)
            result.push_back(hour);
    }
    c.HoursRange.Reset();
    c.SampleHoursRange.Reset();
    c.Exec("COMMIT");
    return result;
}

THoldings TArchiveStore::Holdings()
{
    THoldings holdings;
    if (!IsOpen())
        return holdings;
    const TConnection& c = *FConnection;
    c.Exec("BEGIN");
    std::int64_t stationHours = 0;
    std::int64_t sampleOnlyHours = 0;
    c.QueryInt("SELECT count(*) FROM hours WHERE coalesce(indoor, outdoor, pressure, humidity) IS NOT NULL",
               stationHours);
    c.QueryInt("SELECT count(*) FROM sample_hours s WHERE indoor_count + outdoor_count + pressure_count"
               " + humidity_count > 0 AND NOT EXISTS (SELECT 1 FROM hours h WHERE h.hour = s.hour AND"
               " coalesce(h.indoor, h.outdoor, h.pressure, h.humidity) IS NOT NULL)",
               sampleOnlyHours);
    holdings.Hours = stationHours + sampleOnlyHours;
    if (holdings.Hours > 0) {
        std::int64_t first = 0;
        std::int64_t last = 0;
        c.QueryInt("SELECT min(hour) FROM (SELECT min(hour) AS hour FROM hours WHERE coalesce(indoor, outdoor,"
                   " pressure, humidity) IS NOT NULL UNION ALL SELECT min(hour) FROM sample_hours WHERE"
                   " indoor_count + outdoor_count + pressure_count + humidity_count > 0)",
                   first);
        c.QueryInt("SELECT max(hour) FROM (SELECT max(hour) AS hour FROM hours WHERE coalesce(indoor, outdoor,"
                   " pressure, humidity) IS NOT NULL UNION ALL SELECT max(hour) FROM sample_hours WHERE"
                   " indoor_count + outdoor_count + pressure_count + humidity_count > 0)",
                   last);
        holdings.First = first;
        holdings.Last = last;
    }
    c.Exec("COMMIT");
    return holdings;
}

std::optional<THourKey> TArchiveStore::NewestHour()
{
    if (!IsOpen())
        return std::nullopt;
    // The last row of each table, not a scan: this runs at every start.
    std::optional<THourKey> newest;
    for (const char* sql : {"SELECT hour FROM hours ORDER BY hour DESC LIMIT 1",
                            "SELECT hour FROM sample_hours ORDER BY hour DESC LIMIT 1"}) {
        std::int64_t hour = 0;
        TStatement s;
        if (s.Prepare(FConnection->Db, sql) == SQLITE_OK && s.Step() == SQLITE_ROW) {
            hour = s.Int64(0);
            newest = newest ? std::max(*newest, hour) : hour;
        }
    }
    return newest;
}

QString TArchiveStore::Setting(const QString& name)
{
    if (!IsOpen())
        return {};
    const TConnection& c = *FConnection;
    c.GetSetting.Reset();
    c.GetSetting.Bind(1, name);
    QString value;
    if (c.GetSetting.Step() == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(*c.GetSetting, 0)));
    c.GetSetting.Reset();
    return value;
}

TWriteResult TArchiveStore::SetSetting(const QString& name, const QString& value)
{
    if (!IsOpen())
        return {false, {}};
    const TConnection& c = *FConnection;
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
