// The uploads' queue in the archive: the readings the weather networks get, in order, and per
// service how far they have been sent.
#include "archive/archive_connection.h"
#include "archive/archive_store.h"

namespace archive {

namespace {

const QString ReadFailedText = QStringLiteral("Архив «%1» не прочитан: %2");
const QString PositionFailedText = QStringLiteral("Отметка отправки не записана в архив «%1»: %2");
const QString NotOpenText = QStringLiteral("архив не открыт");
// The setting that keeps when a request last went to a service (the positions' are in
// archive_connection.cpp).
const QString AttemptSetting = QStringLiteral("upload attempt ");

// A row of UploadSamples or UploadHours, whose first column is its key; `time` gives its moment.
TUploadReading ReadingOfRow(const TStatement& row, const QDateTime& time)
{
    TUploadReading reading;
    reading.TimeUtc = time;
    for (int q = 0; q < base::QuantityCount; ++q)
        if (row.Int64(2 + 2 * q) != 0)
            reading.Values[static_cast<std::size_t>(q)] = row.Real(1 + 2 * q);
    return reading;
}

// The first sample key (UTC minutes) and station hour (wall clock) dated after `afterUtc`.
std::pair<TUtcMinute, THourKey> FirstKeysAfter(const QDateTime& afterUtc)
{
    const TMinuteKey firstWallMinute = FirstMinuteAfter(afterUtc);
    const TUtcMinute firstSample = afterUtc.isValid() ? UtcMinuteOf(afterUtc) + 1 : firstWallMinute;
    return {firstSample, HourOfMinute(firstWallMinute + 59)};
}

// A moment kept in seconds since 1970 that `get` reads for `key`: SQLITE_DONE with an invalid time
// when there is none.
std::pair<int, QDateTime> ReadMoment(const TStatement& get, const QString& key)
{
    get.Reset();
    get.Bind(1, key);
    int rc = get.Step();
    QDateTime moment;
    if (rc == SQLITE_ROW) {
        moment = QDateTime::fromSecsSinceEpoch(get.Int64(0), Qt::UTC);
        rc = SQLITE_DONE;
    }
    get.Reset();
    return {rc, moment};
}

} // namespace

TUploadRows TArchiveStore::UploadReadingsAfter(const QDateTime& afterUtc, int limit)
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

TUploadCount TArchiveStore::UploadCountAfter(const QDateTime& afterUtc)
{
    if (!IsOpen())
        return {false, NotOpenText, 0};
    const TStatement& count = FConnection->UploadCount;
    count.Reset();
    const auto [firstSample, firstHour] = FirstKeysAfter(afterUtc);
    count.Bind(1, firstSample);
    count.Bind(2, firstHour);
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
    const auto [rc, moment] = ReadMoment(FConnection->GetUploadPosition, service);
    if (rc != SQLITE_DONE)
        return {false, FailureMessage(ReadFailedText, rc), {}};
    return {true, {}, moment};
}

TUploadAttempt TArchiveStore::UploadAttempt(const QString& service)
{
    if (!IsOpen())
        return {false, NotOpenText, {}};
    const auto [rc, moment] = ReadMoment(FConnection->GetSetting, AttemptSetting + service);
    if (rc != SQLITE_DONE)
        return {false, FailureMessage(ReadFailedText, rc), {}};
    return {true, {}, moment};
}

TWriteResult TArchiveStore::NoteUploadAttempt(const QString& service, const QDateTime& atUtc)
{
    if (!atUtc.isValid())
        return {false, PositionFailedText.arg(FShownPath, QStringLiteral("время не задано"))};
    return SetSetting(AttemptSetting + service, QString::number(atUtc.toSecsSinceEpoch()));
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
        c.PutUploadPosition.Bind(1, service);
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
