// Sends one service the archive's readings in order, each accepted at most once, from where the
// service stopped; catches up after an outage as far back as the service takes past readings;
// never sends more often than the service allows, also across a restart; and keeps the state the
// owner sees. It runs on the main thread's event loop and never waits: requests go through the
// exchange and come back as calls, times come from the clock.
//
// One attempt: read the queue position (one the program cannot use is put at the newest reading
// and said); first send what came in behind it (a download's hours), where the service takes past
// readings; skip (and count) what is too old for the service; take the next readings, leaving any
// dated in the future for later; send them; then by the reply:
//   accepted          the position moves past them (before sending, for CWOP: see upload_queue.h),
//                     and the next readings follow at once while any wait (within the spacing),
//                     otherwise after the owner's interval;
//   refused for good  (narodmon's error text) the position moves past them, counted as rejected;
//   key refused, or the request refused
//                     the service stops and says why until the owner changes its settings;
//   429               the next attempt at the time the service named;
//   anything else     (5xx, time-out, refused connection, garbage) a back-off from 30 s doubling
//                     to 30 minutes.
// An archive that cannot be read is tried again on the same back-off; a queue position that
// cannot be written stops the service with a message. Either way nothing is lost.
#pragma once

#include "publish/networks/exchange.h"
#include "publish/networks/service_settings.h"
#include "publish/networks/upload_clock.h"
#include "publish/networks/upload_queue.h"
#include "publish/networks/upload_state.h"

#include <QObject>
#include <QUrl>
#include <chrono>
#include <memory>

namespace publish {

inline constexpr std::chrono::seconds FirstBackOff{30};
inline constexpr std::chrono::seconds LongestBackOff{30 * 60};
// A spacing this long or longer is kept across restarts (the moment of each request is written
// before it goes); after a shorter one, a restarted program simply waits a whole spacing.
inline constexpr std::chrono::seconds KeptSpacing{60};
// A service never sent before starts with the readings of the last hour, not the whole archive.
inline constexpr std::chrono::seconds FirstStartLookBack{60 * 60};
// A queue position this far after the present means the computer's clock was set back (or ran
// ahead while readings were sent): the service goes on from the present instead of waiting.
inline constexpr std::chrono::seconds ClockSetBackSlack{10 * 60};

// The second of each 5-minute span at which a station's requests go where the service wants them
// spread (CWOP): from 30 to 269, the same in every run for the same id.
qint64 SpreadSecond(const QString& stationId);

// What an uploader works with; all of it outlives the uploader.
struct TUploaderParts
{
    TReadingSource& Source;
    TPositionStore& Positions;
    TExchange& Exchange;
    TUploadClock& Clock;
};

class TServiceUploader : public QObject
{
    Q_OBJECT
public:
    TServiceUploader(const TServiceSettings& settings, const TPublishSettings& common, TUploaderParts parts,
                     QObject* parent = nullptr);
    ~TServiceUploader() override;

    // The first attempt comes after the service's spacing, so that a restart never sends sooner
    // than the service allows. Settings that will not do stop the service with their problem.
    void Start();
    void Stop();
    // New settings: a request still out is forgotten (its readings go again if need be). A service
    // stopped by a refused key starts again from its queue position only once its key or id
    // changed; one whose request was refused, once any of its own settings changed; one stopped
    // for anything else, at any change.
    void ChangeSettings(const TServiceSettings& settings, const TPublishSettings& common);

    const TUploadState& State() const { return FState; }
    const TServiceSettings& Settings() const { return FSettings; }

signals:
    void StateChanged();

private:
    // What went out with the request that is under way.
    struct TSending
    {
        QDateTime LastTime; // the newest reading it carries
        qint64 Readings = 0;
        qint64 Skipped = 0; // passed over on the way (too old, or not the newest)
        bool PositionWritten = false;
        bool Late = false; // readings that came in behind the position
    };
    // Why the service stopped: what the owner must change for it to go on.
    enum class TStopCause { None, Key, Request, Other };
    void Apply();
    // When the first attempt after a start may come: the service's spacing kept from the last
    // request, also one of an earlier run.
    QDateTime FirstAttempt();
    void Attempt();
    // Sends the readings that came in behind the position first, where the service takes past
    // readings (others only drop them): `handled` once a request went. False where the attempt
    // ended (a back-off, a stop).
    bool AttemptLate(const QDateTime& now, bool& handled);
    bool DoneLate(const QDateTime& upTo);
    // Moves `from` past what the service no longer takes, counting it in `sending`; false where
    // the archive could not be read (the attempt then backs off).
    bool SkipTooOld(const QDateTime& now, QDateTime& from, TSending& sending);
    void Send(const std::vector<TWeatherReading>& readings, TSending sending, const QDateTime& now);
    void Replied(const TSending& sending, const TExchangeResult& result);
    bool Advance(const QDateTime& sentUpTo);
    // A position written, or the service stopped with the reason it could not be.
    bool Written(const TPositionWrite& written);
    void CountWaiting();
    // Where a service never sent before starts.
    QDateTime FirstStart(const QDateTime& now);
    void ScheduleAt(QDateTime when);
    void ScheduleRegular(bool moreWaiting);
    void Fail(const QString& reason);
    // Tries again after the next step of the back-off.
    void BackOff(const QString& reason);
    void StopWith(const QString& reason, TStopCause cause = TStopCause::Other);
    // A stored position that cannot be used is put at a sound time; false when that failed.
    bool MendPosition(const TPositionRead& position, const QDateTime& now, QDateTime& from);
    QString Scrubbed(const QString& text) const;
    QDateTime Now() const;

    TServiceSettings FSettings;
    TPublishSettings FCommon;
    TServiceFacts FFacts;
    QUrl FEndpoint;
    TUploaderParts FParts;
    std::unique_ptr<TAlarm> FAlarm;
    TUploadState FState;
    TStopCause FStopCause = TStopCause::None;
    bool FRunning = false;
    bool FSendingNow = false;
    // Raised by Stop and ChangeSettings: a reply to an older request is not taken.
    quint64 FGeneration = 0;
    QDateTime FLastAttemptStart;
    QDateTime FFirstStart;
    std::chrono::seconds FBackOff{0};
};

} // namespace publish
