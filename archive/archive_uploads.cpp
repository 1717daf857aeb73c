// The uploads' queue in the archive: the readings the weather networks get, in order, and per
// service how far they have been sent.
#include "archive/archive_connection.h"
#include "archive/archive_store.h"

#include <QStringList>
#include <algorithm>

namespace archive {

namespace {

const QString ReadFailedText = QStringLiteral("Архив «%1» не прочитан: %2");
const QString PositionFailedText = QStringLiteral("Отметка отправки не записана в архив «%1»: %2");
const QString NotOpenText = QStringLiteral("архив не открыт");
// The settings that keep, per service, seconds since 1970-01-01 00:00 UTC: how far it has been sent
// (every reading dated up to it is done with), and when a request last went to it.
const QString PositionSetting = QStringLiteral("upload position ");
const QString AttemptSetting = QStringLiteral("upload attempt ");
// Per service, the keys of the station hours that came in behind its position, not yet sent.
const QString LateSetting = QStringLiteral("upload late ");

// A row of UploadSamples or UploadHours, whose first column is its key; `time` gives its moment.
TUploadReading ReadingOfRow(const TStatement& row, const QDateTime& time)
{
    TUploadReading reading;
    reading.TimeUtc = time;
    for (const base::TQuantity quantity : base::Quantities) {
        const int q = base::QuantityNumber(quantity);
        if (row.Int64(2 + 2 * q) != 0)
            reading.Values[static_cast<std::size_t>(q)] = row.Measured(quantity, 1 + 2 * q);
    }
    return reading;
}

// The first sample key (UTC minutes) and station hour (wall clock) dated after `afterUtc`.
std::pair<TUtcMinute, THourKey> FirstKeysAfter(const QDateTime& afterUtc)
{
    const TMinuteKey firstWallMinute = FirstMinuteAfter(afterUtc);
    const TUtcMinute firstSample = afterUtc.isValid() ? UtcMinuteOf(afterUtc) + 1 : firstWallMinute;
    return {firstSample, HourOfMinute(firstWallMinute + 59)};
}

// The key of the newest sample whose 5 minutes have ended by `nowUtc`.
TUtcMinute LastWholeSample(const QDateTime& nowUtc)
{
    return UtcMinuteOf(nowUtc) - SampleMinutes;
}

// A moment kept in a setting, in seconds since 1970.
struct TStoredMoment
{
    int Rc = SQLITE_DONE;
    QDateTime Moment;     // invalid where there is none, or where it is not a moment
    bool Damaged = false; // a value is kept, but not a number of seconds the program can use
};

TStoredMoment ReadMoment(const TStatement& get, const QString& name)
{
    get.Reset();
    get.Bind(1, name);
    TStoredMoment result;
    result.Rc = get.Step();
    if (result.Rc == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(*get, 0));
        bool number = false;
        const qint64 seconds = QByteArray(text != nullptr ? text : "").trimmed().toLongLong(&number);
        if (number)
            result.Moment = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
        result.Damaged = !result.Moment.isValid();
        result.Rc = SQLITE_DONE;
    }
    get.Reset();
    return result;
}

// A setting's text; empty where there is none.
std::pair<int, QString> ReadText(const TStatement& get, const QString& name)
{
    get.Reset();
    get.Bind(1, name);
    int rc = get.Step();
    QString text;
    if (rc == SQLITE_ROW) {
        text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(*get, 0)));
        rc = SQLITE_DONE;
    }
    get.Reset();
    return {rc, text};
}

// A late list's hour keys, in order, each once; of a damaged list what can be read.
std::vector<THourKey> LateHours(const QString& text)
{
    std::vector<THourKey> hours;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool number = false;
        const THourKey hour = word.toLongLong(&number);
        if (number)
            hours.push_back(hour);
    }
    std::sort(hours.begin(), hours.end());
    hours.erase(std::unique(hours.begin(), hours.end()), hours.end());
    return hours;
}

QString LateText(const std::vector<THourKey>& hours)
{
    QStringList words;
    for (const THourKey hour : hours)
        words << QString::number(hour);
    return words.join(QLatin1Char(' '));
}

int PutText(const TStatement& put, const QString& name, const QString& text)
{
    put.Reset();
    put.Bind(1, name);
    put.Bind(2, text);
    const int rc = put.Step();
    put.Reset();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Whether the queue offers the station hour of `key` (it has a value, and no sample of its hour).
std::pair<int, bool> Offered(const TStatement& hourAt, THourKey key)
{
    hourAt.Reset();
    hourAt.Bind(1, key);
    const int rc = hourAt.Step();
    const bool offered = rc == SQLITE_ROW && hourAt.Int64(0) == key;
    hourAt.Reset();
    return {rc == SQLITE_ROW ? SQLITE_DONE : rc, offered};
}

} // namespace

int TArchiveStore::NoteLateHours(const std::vector<THourKey>& added)
{
    if (added.empty())
        return SQLITE_OK;
    const TArchiveConnection& c = *FConnection;
    TStatement positions;
    int rc = positions.Prepare(c.Db, "SELECT name, value FROM settings WHERE substr(name, 1, length(?1)) = ?1");
    if (rc != SQLITE_OK)
        return rc;
    positions.Bind(1, PositionSetting);
    std::vector<std::pair<QString, QDateTime>> services;
    while ((rc = positions.Step()) == SQLITE_ROW) {
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(*positions, 0)));
        bool number = false;
        const qint64 seconds =
            QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(*positions, 1))).trimmed().toLongLong(&number);
        const QDateTime position = number ? QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC) : QDateTime();
        if (position.isValid())
            services.emplace_back(name.mid(PositionSetting.size()), position);
    }
    if (rc != SQLITE_DONE)
        return rc;
    std::vector<THourKey> offered;
    for (const THourKey hour : added) {
        const auto [offerRc, isOffered] = Offered(c.UploadHourAt, hour);
        if (offerRc != SQLITE_DONE)
            return offerRc;
        if (isOffered)
            offered.push_back(hour);
    }
    for (const auto& [service, position] : services) {
        auto [readRc, text] = ReadText(c.GetSetting, LateSetting + service);
        if (readRc != SQLITE_DONE)
            return readRc;
        std::vector<THourKey> late = LateHours(text);
        const std::size_t before = late.size();
        for (const THourKey hour : offered)
            if (UtcOfMinute(hour * 60) <= position)
                late.push_back(hour);
        if (late.size() == before)
            continue;
        std::sort(late.begin(), late.end());
        late.erase(std::unique(late.begin(), late.end()), late.end());
        rc = PutText(c.PutSetting, LateSetting + service, LateText(late));
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

TUploadRows TArchiveStore::LateUploadReadings(const QString& service, int limit)
{
    if (!IsOpen())
        return {false, NotOpenText, {}};
    const TArchiveConnection& c = *FConnection;
    const auto [rc, text] = ReadText(c.GetSetting, LateSetting + service);
    if (rc != SQLITE_DONE)
        return {false, FailureMessage(ReadFailedText, rc), {}};
    TUploadRows result{true, {}, {}};
    for (const THourKey hour : LateHours(text)) {
        if (static_cast<int>(result.Readings.size()) >= limit)
            break;
        c.UploadHourAt.Reset();
        c.UploadHourAt.Bind(1, hour);
        const int step = c.UploadHourAt.Step();
        // An hour no longer offered (samples of it came, or it was deleted) goes off the list when it is passed.
        if (step == SQLITE_ROW && c.UploadHourAt.Int64(0) == hour)
            result.Readings.push_back(ReadingOfRow(c.UploadHourAt, UtcOfMinute(hour * 60)));
        c.UploadHourAt.Reset();
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            return {false, FailureMessage(ReadFailedText, step), {}};
    }
    return result;
}

TUploadCount TArchiveStore::LateUploadCount(const QString& service)
{
    if (!IsOpen())
        return {false, NotOpenText, 0};
    const auto [rc, text] = ReadText(FConnection->GetSetting, LateSetting + service);
    if (rc != SQLITE_DONE)
        return {false, FailureMessage(ReadFailedText, rc), 0};
    return {true, {}, static_cast<qint64>(LateHours(text).size())};
}

TWriteResult TArchiveStore::DoneLateUploads(const QString& service, const QDateTime& upToUtc)
{
    if (!IsOpen())
        return {false, NotOpenText};
    const auto [rc, text] = ReadText(FConnection->GetSetting, LateSetting + service);
    if (rc != SQLITE_DONE)
        return {false, FailureMessage(PositionFailedText, rc)};
    std::vector<THourKey> late = LateHours(text);
    std::erase_if(late, [&upToUtc](THourKey hour) { return UtcOfMinute(hour * 60) <= upToUtc; });
    return SetSetting(LateSetting + service, LateText(late));
}

TUploadRows TArchiveStore::UploadReadingsAfter(const QDateTime& afterUtc, int limit, const QDateTime& nowUtc)
{
    if (!IsOpen())
        return {false, NotOpenText, {}};
    if (limit <= 0)
        return {true, {}, {}};
    const auto [firstSample, firstHour] = FirstKeysAfter(afterUtc);
    // Each kind in its own order, then merged by moment, at most `limit` of each.
    std::vector<TUploadReading> samples;
    std::vector<TUploadReading> hours;
    const std::pair<const TStatement*, std::int64_t> queries[] = {{&FConnection->UploadSamples, firstSample},
                                                                  {&FConnection->UploadHours, firstHour}};
    for (const auto& [rows, first] : queries) {
        const bool isSamples = rows == &FConnection->UploadSamples;
        rows->Reset();
        rows->Bind(1, first);
        rows->Bind(2, std::int64_t{limit});
        if (isSamples)
            rows->Bind(3, LastWholeSample(nowUtc));
        int rc = SQLITE_ROW;
        while ((rc = rows->Step()) == SQLITE_ROW) {
            const std::int64_t key = rows->Int64(0);
            (isSamples ? samples : hours)
                .push_back(ReadingOfRow(*rows, isSamples ? TimeOfUtcMinute(key) : UtcOfMinute(key * 60)));
        }
        rows->Reset();
        if (rc != SQLITE_DONE)
            return {false, FailureMessage(ReadFailedText, rc), {}};
    }
    TUploadRows result{true, {}, {}};
    std::size_t s = 0;
    std::size_t h = 0;
    while (result.Readings.size() < static_cast<std::size_t>(limit) && (s < samples.size() || h < hours.size())) {
        const bool takeSample = h == hours.size() || (s < samples.size() && samples[s].TimeUtc <= hours[h].TimeUtc);
        TUploadReading reading = takeSample ? samples[s++] : hours[h++];
        // Two readings of one moment (a station hour the clock skipped): the first one goes.
        if (!result.Readings.empty() && result.Readings.back().TimeUtc >= reading.TimeUtc)
            continue;
        result.Readings.push_back(std::move(reading));
    }
    return result;
}

TUploadCount TArchiveStore::UploadCountAfter(const QDateTime& afterUtc, const QDateTime& nowUtc)
{
    if (!IsOpen())
        return {false, NotOpenText, 0};
    const TStatement& count = FConnection->UploadCount;
    count.Reset();
    const auto [firstSample, firstHour] = FirstKeysAfter(afterUtc);
    count.Bind(1, firstSample);
    count.Bind(2, firstHour);
    count.Bind(3, LastWholeSample(nowUtc));
    const int rc = count.Step();
    const std::int64_t value = rc == SQLITE_ROW ? count.Int64(0) : 0;
    count.Reset();
    if (rc != SQLITE_ROW)
        return {false, FailureMessage(ReadFailedText, rc), 0};
    return {true, {}, value};
}

TUploadPosition TArchiveStore::UploadPosition(const QString& service)
{
    if (!IsOpen())
        return {false, NotOpenText, {}};
    const TStoredMoment position = ReadMoment(FConnection->GetSetting, PositionSetting + service);
    if (position.Rc != SQLITE_DONE)
        return {false, FailureMessage(ReadFailedText, position.Rc), {}, false};
    return {true, {}, position.Moment, position.Damaged};
}

TUploadAttempt TArchiveStore::UploadAttempt(const QString& service)
{
    if (!IsOpen())
        return {false, NotOpenText, {}};
    const TStoredMoment attempt = ReadMoment(FConnection->GetSetting, AttemptSetting + service);
    if (attempt.Rc != SQLITE_DONE)
        return {false, FailureMessage(ReadFailedText, attempt.Rc), {}};
    return {true, {}, attempt.Moment}; // one that is no moment is as none: the next request goes at once
}

TWriteResult TArchiveStore::NoteUploadAttempt(const QString& service, const QDateTime& atUtc)
{
    if (!atUtc.isValid())
        return {false, PositionFailedText.arg(FShownPath, QStringLiteral("время не задано"))};
    return SetSetting(AttemptSetting + service, QString::number(atUtc.toSecsSinceEpoch()));
}

TWriteResult TArchiveStore::ResetUploadPosition(const QString& service, const QDateTime& sentUpToUtc)
{
    if (!sentUpToUtc.isValid())
        return {false, PositionFailedText.arg(FShownPath, QStringLiteral("время не задано"))};
    return SetSetting(PositionSetting + service, QString::number(sentUpToUtc.toSecsSinceEpoch()));
}

TWriteResult TArchiveStore::AdvanceUploadPosition(const QString& service, const QDateTime& sentUpToUtc)
{
    if (!IsOpen())
        return {false, NotOpenText};
    if (!sentUpToUtc.isValid())
        return {false, PositionFailedText.arg(FShownPath, QStringLiteral("время не задано"))};
    auto attempt = [&]() -> int {
        TArchiveConnection& c = *FConnection;
        int rc = c.Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK)
            return rc;
        c.PutUploadPosition.Reset();
        c.PutUploadPosition.Bind(1, PositionSetting + service);
        c.PutUploadPosition.Bind(2, std::int64_t{sentUpToUtc.toSecsSinceEpoch()});
        rc = c.PutUploadPosition.Step();
        c.PutUploadPosition.Reset();
        if (rc != SQLITE_DONE)
            return rc;
        return c.Exec("COMMIT");
    };
    // Committed without waiting for the disk: in write-ahead-log mode that survives a killed program
    // (a power cut may take the newest positions back, and the readings after them go again). A
    // catch-up writes a position per request, and the main thread must not wait for the disk
    // every time.
    FConnection->Exec("PRAGMA synchronous=NORMAL");
    QString notice;
    const int rc = RunChange(attempt, notice);
    if (FConnection)
        FConnection->Exec("PRAGMA synchronous=FULL");
    return {rc == SQLITE_OK, ChangeMessage(rc, PositionFailedText, notice)};
}

} // namespace archive
