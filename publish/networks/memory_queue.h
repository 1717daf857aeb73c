// The readings and queue positions kept in memory: for tests, the benchmark, and a program run
// without an archive. Both can be told to fail, as a damaged archive or a full disk would make them.
#pragma once

#include "publish/networks/upload_queue.h"

#include <map>

namespace publish {

class TMemoryReadingSource : public TReadingSource
{
public:
    // Readings may come in any order; one with the time of another replaces it.
    void Add(const TWeatherReading& reading);
    TSourceReadings ReadingsAfter(const QDateTime& after, int limit) override;
    TSourceCount CountAfter(const QDateTime& after) override;
    // While true, every read fails, as a locked or damaged archive would.
    bool FailReads = false;

private:
    std::map<QDateTime, TWeatherReading> FReadings;
};

class TMemoryPositionStore : public TPositionStore
{
public:
    TPositionRead Position(const QString& service) override;
    TPositionWrite Advance(const QString& service, const QDateTime& sentUpTo) override;
    TPositionWrite Reset(const QString& service, const QDateTime& sentUpTo) override;
    TSourceReadings LateReadings(const QString& service, int limit) override;
    TSourceCount LateCount(const QString& service) override;
    TPositionWrite DoneLate(const QString& service, const QDateTime& upTo) override;
    // A reading that came in behind the service's position, as a download's hour does.
    void AddLate(const QString& service, const TWeatherReading& reading);
    TAttemptRead LastAttempt(const QString& service) override;
    TPositionWrite NoteAttempt(const QString& service, const QDateTime& at) override;
    // While true, every write fails and leaves the position as it was.
    bool FailWrites = false;
    int Writes = 0; // successful ones, of positions
    // Makes the service's position one that is no time, as a hand-edited archive can hold.
    void Damage(const QString& service);

private:
    std::map<QString, QDateTime> FPositions;
    std::map<QString, QDateTime> FAttempts;
    std::map<QString, bool> FDamaged;
    std::map<QString, std::map<QDateTime, TWeatherReading>> FLate;
};

} // namespace publish
