// The upload queue in the weather archive; see archive_upload_queue.h.
#include "core/archive_upload_queue.h"

#include "archive/archive_store.h"

using namespace publish;

namespace {

const QString NoArchiveText = QStringLiteral("архив не открыт");

std::optional<double> ValueOf(const archive::TUploadReading& reading, base::TQuantity quantity)
{
    return reading.Values[static_cast<std::size_t>(quantity)];
}

TSourceReadings ReadingsOf(const archive::TUploadRows& rows)
{
    TSourceReadings result{rows.Ok, rows.Message, {}};
    result.Readings.reserve(rows.Readings.size());
    for (const archive::TUploadReading& row : rows.Readings)
        result.Readings.push_back({row.TimeUtc, ValueOf(row, base::TQuantity::IndoorTemperature),
                                   ValueOf(row, base::TQuantity::OutdoorTemperature),
                                   ValueOf(row, base::TQuantity::Pressure), ValueOf(row, base::TQuantity::Humidity)});
    return result;
}

} // namespace

TArchiveUploadQueue::TArchiveUploadQueue(archive::TArchiveStore* store)
    : Store(store)
{
}

bool TArchiveUploadQueue::Usable() const
{
    return Store != nullptr && Store->IsOpen();
}

TSourceReadings TArchiveUploadQueue::ReadingsAfter(const QDateTime& after, int limit)
{
    if (!Usable())
        return {false, NoArchiveText, {}};
    return ReadingsOf(Store->UploadReadingsAfter(after, limit, QDateTime::currentDateTimeUtc()));
}

TSourceCount TArchiveUploadQueue::CountAfter(const QDateTime& after)
{
    if (!Usable())
        return {false, NoArchiveText, 0};
    const archive::TUploadCount count = Store->UploadCountAfter(after, QDateTime::currentDateTimeUtc());
    return {count.Ok, count.Message, count.Count};
}

TPositionRead TArchiveUploadQueue::Position(const QString& service)
{
    if (!Usable())
        return {false, NoArchiveText, {}};
    const archive::TUploadPosition position = Store->UploadPosition(service);
    return {position.Ok, position.Message, position.SentUpToUtc, position.Damaged};
}

TPositionWrite TArchiveUploadQueue::Advance(const QString& service, const QDateTime& sentUpTo)
{
    if (!Usable())
        return {false, NoArchiveText};
    const archive::TWriteResult written = Store->AdvanceUploadPosition(service, sentUpTo);
    return {written.Ok, written.Message};
}

TPositionWrite TArchiveUploadQueue::Reset(const QString& service, const QDateTime& sentUpTo)
{
    if (!Usable())
        return {false, NoArchiveText};
    const archive::TWriteResult written = Store->ResetUploadPosition(service, sentUpTo);
    return {written.Ok, written.Message};
}

TSourceReadings TArchiveUploadQueue::LateReadings(const QString& service, int limit)
{
    if (!Usable())
        return {false, NoArchiveText, {}};
    return ReadingsOf(Store->LateUploadReadings(service, limit));
}

TSourceCount TArchiveUploadQueue::LateCount(const QString& service)
{
    if (!Usable())
        return {false, NoArchiveText, 0};
    const archive::TUploadCount count = Store->LateUploadCount(service);
    return {count.Ok, count.Message, count.Count};
}

TPositionWrite TArchiveUploadQueue::DoneLate(const QString& service, const QDateTime& upTo)
{
    if (!Usable())
        return {false, NoArchiveText};
    const archive::TWriteResult written = Store->DoneLateUploads(service, upTo);
    return {written.Ok, written.Message};
}

TAttemptRead TArchiveUploadQueue::LastAttempt(const QString& service)
{
    if (!Usable())
        return {false, NoArchiveText, {}};
    const archive::TUploadAttempt attempt = Store->UploadAttempt(service);
    return {attempt.Ok, attempt.Message, attempt.AtUtc};
}

TPositionWrite TArchiveUploadQueue::NoteAttempt(const QString& service, const QDateTime& at)
{
    if (!Usable())
        return {false, NoArchiveText};
    const archive::TWriteResult written = Store->NoteUploadAttempt(service, at);
    return {written.Ok, written.Message};
}
