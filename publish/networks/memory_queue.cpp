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
    if (FDamaged[service])
        return {true, {}, QDateTime(), true};
    const auto it = FPositions.find(service);
    return {true, {}, it == FPositions.end() ? QDateTime() : it->second};
}

TPositionWrite TMemoryPositionStore::Reset(const QString& service, const QDateTime& sentUpTo)
{
    if (FailWrites)
        return {false, QStringLiteral("нет места на диске")};
    FDamaged[service] = false;
    FPositions[service] = sentUpTo.toUTC();
    ++Writes;
    return {};
}

TSourceReadings TMemoryPositionStore::LateReadings(const QString& service, int limit)
{
    TSourceReadings result;
    for (const auto& [time, reading] : FLate[service]) {
        if (static_cast<int>(result.Readings.size()) >= limit)
            break;
        result.Readings.push_back(reading);
    }
    return result;
}

TSourceCount TMemoryPositionStore::LateCount(const QString& service)
{
    return {true, {}, static_cast<qint64>(FLate[service].size())};
}

TPositionWrite TMemoryPositionStore::DoneLate(const QString& service, const QDateTime& upTo)
{
    if (FailWrites)
        return {false, QStringLiteral("нет места на диске")};
    auto& late = FLate[service];
    late.erase(late.begin(), late.upper_bound(upTo.toUTC()));
    return {};
}

void TMemoryPositionStore::AddLate(const QString& service, const TWeatherReading& reading)
{
    FLate[service][reading.Time.toUTC()] = reading;
}

void TMemoryPositionStore::Damage(const QString& service)
{
    FDamaged[service] = true;
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
