// Readings and queue positions in memory; see memory_queue.h.
#include "publish/networks/memory_queue.h"

#include <iterator>

namespace publish {

void TMemoryReadingSource::Add(const TWeatherReading& reading)
{
    FReadings[reading.Time.toUTC()] = reading;
}

TSourceReadings TMemoryReadingSource::ReadingsAfter(const QDateTime& after, int limit)
{
    if (FailReads)
        return {false, QStringLiteral("архив недоступен"), {}};
    TSourceReadings result;
    auto it = after.isValid() ? FReadings.upper_bound(after.toUTC()) : FReadings.begin();
    for (; it != FReadings.end() && static_cast<int>(result.Readings.size()) < limit; ++it)
        result.Readings.push_back(it->second);
    return result;
}

TSourceCount TMemoryReadingSource::CountAfter(const QDateTime& after)
{
    if (FailReads)
        return {false, QStringLiteral("архив недоступен"), 0};
    const auto from = after.isValid() ? FReadings.upper_bound(after.toUTC()) : FReadings.begin();
    return {true, {}, static_cast<qint64>(std::distance(from, FReadings.end()))};
}

TPositionRead TMemoryPositionStore::Position(const QString& service)
{
    const auto it = FPositions.find(service);
    return {true, {}, it == FPositions.end() ? QDateTime() : it->second};
}

TPositionWrite TMemoryPositionStore::Advance(const QString& service, const QDateTime& sentUpTo)
{
    if (FailWrites)
        return {false, QStringLiteral("нет места на диске")};
    FPositions[service] = sentUpTo.toUTC();
    ++Writes;
    return {};
}

TAttemptRead TMemoryPositionStore::LastAttempt(const QString& service)
{
    const auto it = FAttempts.find(service);
    return {true, {}, it == FAttempts.end() ? QDateTime() : it->second};
}

TPositionWrite TMemoryPositionStore::NoteAttempt(const QString& service, const QDateTime& at)
{
    if (FailWrites)
        return {false, QStringLiteral("нет места на диске")};
    FAttempts[service] = at.toUTC();
    return {};
}

} // namespace publish
