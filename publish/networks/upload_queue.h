// The two things an uploader needs from the archive: the readings in order, and how far each
// service has been sent (its queue position, a UTC time). The archive implements both on its
// SQLite file; memory_queue.h has the in-memory ones.
//
// What an implementation must guarantee (the SQLite one included):
//   - ReadingsAfter gives the readings dated strictly after the time, oldest first, each time at
//     most once (a station hour only where no 5-minute sample exists), and CountAfter counts the
//     same set. A reading still being made (a sample whose 5 minutes have not ended) is not
//     offered until it is whole, so that what goes out is never a part of it.
//   - Advance returns Ok only when the new position is committed (its own transaction, ended
//     before the call returns; in WAL mode synchronous=NORMAL survives a killed program, FULL a
//     power cut as well). When it cannot be written it returns the reason in Russian and the
//     position stays as it was; the uploader then stops that service and says so.
//   - When the position is advanced relative to the reply, the uploader decides (TServiceFacts::
//     PositionBeforeSending):
//       * after the service accepted (every service but CWOP): a kill between the acceptance and
//         the commit sends those readings again after the restart. These services keep one
//         reading per time stamp (dateutc, time, unixtime), so the repeat replaces and is never
//         counted twice; nothing is lost.
//       * before the request goes (CWOP, which has no way to tell a repeat): the request goes
//         only after the commit, so a kill can lose that one reading but never double it.
//   - A position never moves back, but by Reset. A reading that turns up later dated at or before
//     a written position (a station hour from a download covering hours after which live samples
//     have already gone out) is offered among the service's late readings instead, once.
#pragma once

#include "publish/weather_reading.h"

#include <QDateTime>
#include <QString>
#include <vector>

namespace publish {

struct TSourceReadings
{
    bool Ok = true;
    QString Message; // why not, in Russian
    std::vector<TWeatherReading> Readings;
};

struct TSourceCount
{
    bool Ok = true;
    QString Message;
    qint64 Count = 0;
};

class TReadingSource
{
public:
    virtual ~TReadingSource() = default;
    // The readings dated after `after` (all of them for an invalid time), oldest first, at most `limit`.
    virtual TSourceReadings ReadingsAfter(const QDateTime& after, int limit) = 0;
    virtual TSourceCount CountAfter(const QDateTime& after) = 0;
};

struct TPositionRead
{
    bool Ok = true;
    QString Message;
    QDateTime SentUpTo; // invalid: nothing was ever sent
    // A position is kept, but it is no time the program can use (a hand-edited or damaged archive).
    bool Damaged = false;
};

struct TPositionWrite
{
    bool Ok = true;
    QString Message;
};

struct TAttemptRead
{
    bool Ok = true;
    QString Message;
    QDateTime At; // invalid: no request was ever noted
};

class TPositionStore
{
public:
    virtual ~TPositionStore() = default;
    // `service` is the service's position key (TServiceFacts::PositionKey).
    virtual TPositionRead Position(const QString& service) = 0;
    // Everything dated up to `sentUpTo` is done with (accepted, refused for good or skipped).
    virtual TPositionWrite Advance(const QString& service, const QDateTime& sentUpTo) = 0;
    // Puts a position the uploader cannot use (damaged, or after the present) at a sound time,
    // back as well as forward.
    virtual TPositionWrite Reset(const QString& service, const QDateTime& sentUpTo) = 0;
    // Readings that came in behind the service's position (the station hours of a download merged
    // after newer readings had gone out): oldest first, at most `limit`, each to go once; how many
    // wait; and those dated up to `upTo` done with (sent, refused for good or too old).
    virtual TSourceReadings LateReadings(const QString& service, int limit) = 0;
    virtual TSourceCount LateCount(const QString& service) = 0;
    virtual TPositionWrite DoneLate(const QString& service, const QDateTime& upTo) = 0;
    // When a request last went to the service, kept before it goes: a restarted program keeps the
    // service's spacing from it.
    virtual TAttemptRead LastAttempt(const QString& service) = 0;
    virtual TPositionWrite NoteAttempt(const QString& service, const QDateTime& at) = 0;
};

} // namespace publish
