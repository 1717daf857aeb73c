// The weather archive on disk: an SQLite database beside "met.mtb" ("meteo-archive.sqlite") with
// the station's hours, merged from every download, and the live stream's 5-minute samples.
//
// Every change is one transaction, started IMMEDIATE so that a second program writing the same
// archive waits for the first (up to the busy time-out) instead of failing halfway; the journal is
// a write-ahead log, so a crash at any moment leaves each transaction whole or absent. A file that
// is not a usable archive is never deleted: it is renamed aside and a fresh archive started.
#pragma once

#include "archive/archive_types.h"
#include "archive/archive_version.h"

#include <QString>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace archive {

class TArchiveConnection;

inline const QString ArchiveFileName = QStringLiteral("meteo-archive.sqlite");
constexpr int DefaultBusyTimeoutMs = 3000;

// What a change did. Message is for the user (Russian, naming the file and the reason) whenever
// there is something to tell: the change failed, or the archive had to be started afresh.
struct TMergeResult
{
    bool Ok = false;
    int Added = 0;     // hours that were not in the archive
    int Unchanged = 0; // hours already there with the same values
    int Conflicts = 0; // hours already there with other values, now replaced
    bool AlreadyImported = false;
    QString Message;
};

struct TWriteResult
{
    bool Ok = false;
    QString Message;
};

// How much the archive holds: hours with any value, and the first and last of them.
struct THoldings
{
    std::int64_t Hours = 0;
    std::optional<THourKey> First;
    std::optional<THourKey> Last;
};

// What the uploads' queue reads; Message says why not (Russian) when Ok is false.
struct TUploadRows
{
    bool Ok = false;
    QString Message;
    std::vector<TUploadReading> Readings;
};

struct TUploadCount
{
    bool Ok = false;
    QString Message;
    std::int64_t Count = 0;
};

struct TUploadPosition
{
    bool Ok = false;
    QString Message;
    QDateTime SentUpToUtc; // invalid: nothing sent yet
    bool Damaged = false;  // a position is kept, but it is no moment (a hand-edited archive)
};

struct TUploadAttempt
{
    bool Ok = false;
    QString Message;
    QDateTime AtUtc; // invalid: none noted
};

class TArchiveStore
{
public:
    // Opens the archive at `path`, creating it when there is none. A damaged file, a folder in its
    // place, another program's database or a newer program's archive is renamed aside (with its
    // journal) and a fresh archive created; Notice() then says so. When no archive can be had at
    // all (no room, no rights), IsOpen() is false and Notice() says why; the program goes on
    // without one.
    explicit TArchiveStore(const QString& path = ArchiveFileName, int busyTimeoutMs = DefaultBusyTimeoutMs);
    ~TArchiveStore();
    TArchiveStore(const TArchiveStore&) = delete;
    TArchiveStore& operator=(const TArchiveStore&) = delete;

    bool IsOpen() const;
    // What the user should hear about the opening; empty when there is nothing to tell.
    const QString& Notice() const { return FNotice; }
    // The archive's full path as messages show it.
    const QString& ShownPath() const { return FShownPath; }
    // The archive's full path, for a second connection that only reads (archive_reader.h).
    const QString& Path() const { return FPath; }

    // Puts the hours of one download in, all or none: a new hour is added, an hour already there
    // with the same values is left alone, one with other values takes the new values (a conflict).
    // A later hour of the list wins over an earlier one with the same key.
    TMergeResult Merge(const std::vector<THourRecord>& hours);
    // The same merge for the copy the user already had before the archive existed: done once per
    // archive (the mark goes in with the hours), AlreadyImported when it was done before.
    TMergeResult Import(const std::vector<THourRecord>& hours);
    bool Imported();

    // Adds one 5-minute sample. A sample for an interval already there is combined with it (the
    // means weighted by their counts), as when the program was restarted within the interval.
    TWriteResult AddSample(const TSample& sample);

    // The hours from `first` to `last` (both included) that have any value, in order.
    std::vector<TArchiveHour> Hours(THourKey first, THourKey last);
    THoldings Holdings();
    // The newest hour the archive has a row for, not after `notAfter`; none when there is none.
    std::optional<THourKey> NewestHour(THourKey notAfter = std::numeric_limits<THourKey>::max());

    // The station's hours dated after `last`: a station whose clock was wrong logs them. How many
    // there are, and their removal (the live samples are left as they are).
    std::int64_t StationHoursAfter(THourKey last);
    TWriteResult DeleteStationHoursAfter(THourKey last);

    // The pressure values of the minutes from `first` to `last` (both included), in no order: each
    // hour the station logged at its first minute, each live sample at its interval's start.
    std::vector<TMinuteValue> PressureValues(TMinuteKey first, TMinuteKey last);

    // The history of alarms: one alarm's start or end, and the newest `count` of them, newest first.
    TWriteResult AddAlarm(const TAlarmEntry& alarm);
    std::vector<TAlarmEntry> LastAlarms(int count);

    // Small settings kept with the archive (the last export folder); empty when not set.
    QString Setting(const QString& name);
    TWriteResult SetSetting(const QString& name, const QString& value);

    // The uploads' queue (archive_uploads.cpp): the readings dated after a moment, oldest first,
    // each moment once, at most `limit`; how many there are; and per service how far it was sent.
    // A sample is offered once its 5 minutes have ended by `nowUtc`: one written early (the stream
    // stopped, the window closed) may still be added to, and goes out whole.
    TUploadRows UploadReadingsAfter(const QDateTime& afterUtc, int limit, const QDateTime& nowUtc);
    TUploadCount UploadCountAfter(const QDateTime& afterUtc, const QDateTime& nowUtc);
    TUploadPosition UploadPosition(const QString& service);
    // Moves the service's position forward in a transaction of its own, committed when it returns
    // Ok; a position never moves back.
    TWriteResult AdvanceUploadPosition(const QString& service, const QDateTime& sentUpToUtc);
    // Puts a position the uploader cannot use at another moment, back as well as forward.
    TWriteResult ResetUploadPosition(const QString& service, const QDateTime& sentUpToUtc);
    // The station hours a merge added behind the service's position (a download after newer
    // readings had gone out), oldest first, at most `limit`; how many; and those up to a moment
    // taken off the list once sent or passed over.
    TUploadRows LateUploadReadings(const QString& service, int limit);
    TUploadCount LateUploadCount(const QString& service);
    TWriteResult DoneLateUploads(const QString& service, const QDateTime& upToUtc);
    // When a request last went to the service (a setting of its own, committed when it returns Ok).
    TUploadAttempt UploadAttempt(const QString& service);
    TWriteResult NoteUploadAttempt(const QString& service, const QDateTime& atUtc);

    // The open connection, for checks of the file itself; null when none.
    sqlite3* Connection() const;

private:
    void Open();
    // Opens the file as it is; empty on success, else why it cannot serve as the archive.
    struct TOpenFailure
    {
        int Code = 0;
        QString Reason;
        bool Damaged = false; // the file is there but is no usable archive: rename it aside
    };
    std::optional<TOpenFailure> TryOpen();
    // The steps of an opening. The file as it is, its schema version, and whether it could only be
    // read (its folder takes no files).
    // A file that is there is opened read-only: nothing of it changes until it is known to be ours.
    std::optional<TOpenFailure> OpenFile(std::unique_ptr<TArchiveConnection>& connection, std::int64_t& version,
                                         bool& readOnly);
    // One connection to the file, never through a symbolic link, hardened before its first statement.
    int Connect(std::unique_ptr<TArchiveConnection>& connection, const QByteArray& name, int flags) const;
    // Exactly the schema of this program's archive at one of its versions, or an empty file; `version`
    // is read again with the schema, from the same snapshot.
    static std::optional<TOpenFailure> CheckSchema(TArchiveConnection& connection, std::int64_t& version);
    // The file, known to be ours, opened again for writing (and checked again: it may have been
    // replaced meanwhile), and its journal set up; only read (`readOnly`) where its folder takes no
    // files.
    std::optional<TOpenFailure> OpenForWriting(std::unique_ptr<TArchiveConnection>& connection, std::int64_t& version,
                                               bool& readOnly);
    // An empty file, or one of an older schema, brought to this program's schema.
    std::optional<TOpenFailure> MigrateSchema(TArchiveConnection& connection, std::int64_t version);
    // Every statement prepared and each table read once.
    std::optional<TOpenFailure> PrepareStatements(TArchiveConnection& connection);
    // Reads each table once; SQLite's result.
    static int ReadEachTable(TArchiveConnection& connection);
    // Why the file cannot serve, after an SQLite result or as found by the program; a damaged file
    // is left as it is, for its move aside.
    static TOpenFailure Failure(TArchiveConnection& connection, int code);
    static TOpenFailure Damage(TArchiveConnection& connection, const QString& reason);
    // Moves the file and its journal aside; the name it got, or empty (FNotice then says why).
    QString MoveAside(const QString& reason);
    // After a change met a damaged file: aside with it, a fresh archive, and the change again.
    bool RecoverFromDamage(int code);
    TMergeResult RunMerge(const std::vector<THourRecord>& hours, bool import);
    // The steps of a merge's transaction, each SQLite's result (SQLITE_OK when done): whether
    // "met.mtb" was imported before, the hours written (each counted added, unchanged or in
    // conflict; `added` the new ones), and the import noted.
    int FindImportMark(bool& imported);
    int WriteMergedHours(const std::vector<THourRecord>& hours, TMergeResult& result, std::vector<THourKey>& added);
    int PutImportMark();
    // The steps of a live sample's transaction, each SQLite's result (SQLITE_OK when done): the
    // sample combined with what its interval already holds, written, and added to its hour's sums.
    int CombineWithStoredSample(TSample& sample);
    int WriteSample(const TSample& sample);
    int AddToSampleHour(const TSample& sample);
    // Inside a merge's transaction: the hours it added that lie behind a service's position go on
    // that service's list of late readings (archive_uploads.cpp).
    int NoteLateHours(const std::vector<THourKey>& added);
    // Runs one change (a transaction, all or nothing). When it meets a damaged file, the file goes
    // aside and the change runs once more in the fresh archive; `notice` then tells of it.
    int RunChange(const std::function<int()>& attempt, QString& notice);
    // What the user is told after a change: the notice, and why it failed if it did.
    QString ChangeMessage(int code, const QString& failed, const QString& notice) const;
    QString FailureMessage(const QString& what, int code) const;

    QString FPath;
    QString FShownPath;
    int FBusyTimeoutMs;
    QString FNotice;
    std::unique_ptr<TArchiveConnection> FConnection;
};

} // namespace archive
