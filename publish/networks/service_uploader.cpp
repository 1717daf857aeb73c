// Sends one service the archive's readings; see service_uploader.h.
#include "publish/networks/service_uploader.h"

#include "publish/networks/published_values.h"
#include "publish/networks/query_text.h"
#include "publish/networks/reply_verdict.h"
#include "publish/networks/request_builder.h"
#include "publish/networks/service_endpoint.h"

#include <QPointer>
#include <algorithm>

namespace publish {

namespace {

// Readings read at once where only the newest counts: the present holds a few of them.
constexpr int PresentReadLimit = 1000;
// A key shorter than this is not looked for in messages: it would blot out ordinary words.
constexpr int ShortestScrubbedKey = 3;

qint64 Seconds(std::chrono::seconds duration)
{
    return duration.count();
}

} // namespace

TServiceUploader::TServiceUploader(const TServiceSettings& settings, const TPublishSettings& common,
                                   TUploaderParts parts, QObject* parent)
    : QObject(parent)
    , FSettings(settings)
    , FCommon(common)
    , FFacts(FactsFor(settings))
    , FParts(parts)
    , FAlarm(parts.Clock.NewAlarm([this] { Attempt(); }))
{
}

TServiceUploader::~TServiceUploader() = default;

void TServiceUploader::Start()
{
    FRunning = true;
    Apply();
}

void TServiceUploader::Stop()
{
    FRunning = false;
    ++FGeneration;
    FSendingNow = false;
    FAlarm->Cancel();
    FState.NextAttempt = QDateTime();
    emit StateChanged();
}

void TServiceUploader::ChangeSettings(const TServiceSettings& settings, const TPublishSettings& common)
{
    FSettings = settings;
    FCommon = common;
    FFacts = FactsFor(settings);
    ++FGeneration;
    FSendingNow = false;
    FState.Stopped = false;
    FBackOff = std::chrono::seconds(0);
    if (FRunning)
        Apply();
}

// Takes the settings in and plans the first attempt.
void TServiceUploader::Apply()
{
    const QString problem = SettingsProblem(FSettings, FCommon);
    if (!problem.isEmpty()) {
        StopWith(problem);
        return;
    }
    FEndpoint = ResolveEndpoint(FSettings).Url;
    CountWaiting();
    ScheduleAt(FirstAttempt());
}

QDateTime TServiceUploader::FirstAttempt()
{
    const QDateTime now = Now();
    if (FLastAttemptStart.isValid())
        return now; // kept apart from the last one by ScheduleAt
    if (FFacts.Spacing < KeptSpacing)
        return now.addSecs(Seconds(FFacts.Spacing));
    // A service never sent to goes at once; one unknown, or noted in the future (the clock was set
    // back), waits a whole spacing from now.
    const TAttemptRead last = FParts.Positions.LastAttempt(QLatin1String(FFacts.PositionKey));
    if (last.Ok && !last.At.isValid())
        return now;
    const QDateTime from = last.Ok ? std::min(last.At, now) : now;
    return std::max(now, from.addSecs(Seconds(FFacts.Spacing)));
}

void TServiceUploader::Attempt()
{
    if (!FRunning || FSendingNow || FState.Stopped)
        return;
    const QDateTime now = Now();
    FLastAttemptStart = now;
    FState.NextAttempt = QDateTime();
    const QString key = QLatin1String(FFacts.PositionKey);

    const TPositionRead position = FParts.Positions.Position(key);
    if (!position.Ok) {
        BackOff(QStringLiteral("не удалось прочитать, докуда отправлены показания: %1").arg(position.Message));
        return;
    }
    // Readings dated at or before `oldest` are too old for the service.
    const QDateTime oldest = now.addSecs(-Seconds(FFacts.AcceptsPast));
    QDateTime from = position.SentUpTo.isValid() ? position.SentUpTo : FirstStart(now);
    TSending sending;
    if (from < oldest) {
        const TSourceCount all = FParts.Source.CountAfter(from);
        const TSourceCount recent = FParts.Source.CountAfter(oldest);
        if (!all.Ok || !recent.Ok) {
            BackOff(QStringLiteral("не удалось прочитать архив: %1").arg(all.Ok ? recent.Message : all.Message));
            return;
        }
        sending.Skipped = all.Count - recent.Count;
        from = oldest;
    }

    TSourceReadings batch =
        FParts.Source.ReadingsAfter(from, FFacts.OnlyNewest ? PresentReadLimit : FFacts.ReadingsPerRequest);
    if (!batch.Ok) {
        BackOff(QStringLiteral("не удалось прочитать архив: %1").arg(batch.Message));
        return;
    }
    auto& readings = batch.Readings;
    const auto future =
        std::find_if(readings.begin(), readings.end(), [&now](const TWeatherReading& r) { return r.Time > now; });
    if (future != readings.end()) {
        FState.LastErrorAt = now;
        FState.LastError = QStringLiteral("показание датировано будущим (%1 UTC): часы компьютера или станции "
                                          "идут неверно; оно уйдёт, когда это время наступит")
                               .arg(DateUtcText(future->Time));
        readings.erase(future, readings.end());
    }
    if (FFacts.OnlyNewest && !readings.empty()) {
        // Measured by the readings' times, so that a restart cannot send sooner than allowed either.
        if (position.SentUpTo.isValid() && readings.back().Time < position.SentUpTo.addSecs(Seconds(FFacts.Spacing))) {
            readings.clear();
        } else {
            sending.Skipped += static_cast<qint64>(readings.size()) - 1;
            readings.erase(readings.begin(), readings.end() - 1);
        }
    }
    if (readings.empty()) {
        if (sending.Skipped > 0 && !Advance(from))
            return;
        FState.Skipped += sending.Skipped;
        CountWaiting();
        ScheduleRegular(false);
        return;
    }

    std::vector<TPublishedValues> values;
    values.reserve(readings.size());
    for (const TWeatherReading& reading : readings)
        values.push_back(PublishedValues(reading, FCommon));
    const TOutgoingRequest request = BuildRequest(FSettings, FCommon, FEndpoint, values);
    sending.Readings = request.Readings;
    sending.LastTime = readings[static_cast<std::size_t>(request.Readings - 1)].Time;
    if (FFacts.PositionBeforeSending) {
        if (!Advance(sending.LastTime))
            return;
        sending.PositionWritten = true;
    }
    if (FFacts.Spacing >= KeptSpacing) {
        const TPositionWrite noted = FParts.Positions.NoteAttempt(QLatin1String(FFacts.PositionKey), now);
        if (!noted.Ok) {
            StopWith(QStringLiteral("не удалось записать время отправки: %1").arg(noted.Message));
            return;
        }
    }
    FSendingNow = true;
    emit StateChanged();
    FParts.Exchange.Send(request,
                         [self = QPointer(this), generation = FGeneration, sending](const TExchangeResult& result) {
                             if (self && self->FGeneration == generation)
                                 self->Replied(sending, result);
                         });
}

void TServiceUploader::Replied(const TSending& sending, const TExchangeResult& result)
{
    FSendingNow = false;
    const QDateTime now = Now();
    const TVerdict verdict = ClassifyReply(FSettings.Kind, result, now);
    switch (verdict.Kind) {
    case TVerdictKind::Accepted:
    case TVerdictKind::Dropped:
        if (!sending.PositionWritten && !Advance(sending.LastTime))
            return;
        FState.Skipped += sending.Skipped;
        if (verdict.Kind == TVerdictKind::Accepted) {
            FState.Sent += sending.Readings;
            FState.LastSuccess = now;
        } else {
            FState.Rejected += sending.Readings;
            Fail(verdict.Reason);
        }
        FBackOff = std::chrono::seconds(0);
        CountWaiting();
        ScheduleRegular(verdict.Kind == TVerdictKind::Accepted && FState.Waiting > 0);
        return;
    case TVerdictKind::KeyRefused:
        StopWith(verdict.Reason + QStringLiteral("; проверьте идентификатор станции и ключ"));
        return;
    case TVerdictKind::Refused:
        StopWith(verdict.Reason);
        return;
    default:
        break;
    }
    if (sending.PositionWritten) // went out or was lost: never again, as CWOP cannot tell a repeat
        FState.Skipped += sending.Skipped + sending.Readings;
    if (verdict.Kind == TVerdictKind::RetryAt) {
        Fail(verdict.Reason);
        ScheduleAt(verdict.RetryAt);
    } else {
        BackOff(verdict.Reason);
    }
}

void TServiceUploader::BackOff(const QString& reason)
{
    FBackOff = std::min(FBackOff.count() == 0 ? FirstBackOff : FBackOff * 2, LongestBackOff);
    Fail(reason);
    ScheduleAt(Now().addSecs(Seconds(FBackOff)));
}

bool TServiceUploader::Advance(const QDateTime& sentUpTo)
{
    const TPositionWrite written = FParts.Positions.Advance(QLatin1String(FFacts.PositionKey), sentUpTo);
    if (!written.Ok)
        StopWith(QStringLiteral("не удалось записать, докуда отправлены показания: %1").arg(written.Message));
    return written.Ok;
}

void TServiceUploader::CountWaiting()
{
    const TPositionRead position = FParts.Positions.Position(QLatin1String(FFacts.PositionKey));
    const QDateTime from = position.SentUpTo.isValid() ? position.SentUpTo : FirstStart(Now());
    const TSourceCount waiting = FParts.Source.CountAfter(from);
    if (position.Ok && waiting.Ok)
        FState.Waiting = waiting.Count;
}

QDateTime TServiceUploader::FirstStart(const QDateTime& now)
{
    // Kept until a position is written, so that a service that has not yet got through loses no
    // reading while it waits.
    if (!FFirstStart.isValid())
        FFirstStart = now.addSecs(-Seconds(std::min(FirstStartLookBack, FFacts.AcceptsPast)));
    return FFirstStart;
}

void TServiceUploader::ScheduleAt(QDateTime when)
{
    if (FLastAttemptStart.isValid())
        when = std::max(when, FLastAttemptStart.addSecs(Seconds(FFacts.Spacing)));
    const qint64 quiet = Seconds(FFacts.QuietAroundMarks);
    if (quiet > 0) {
        constexpr qint64 Mark = 5 * 60;
        const qint64 intoMark = when.toSecsSinceEpoch() % Mark;
        if (intoMark < quiet)
            when = when.addSecs(quiet - intoMark);
        else if (intoMark > Mark - quiet)
            when = when.addSecs(Mark - intoMark + quiet);
    }
    FState.NextAttempt = when;
    FAlarm->Set(when);
    emit StateChanged();
}

void TServiceUploader::ScheduleRegular(bool moreWaiting)
{
    const QDateTime start = FLastAttemptStart.isValid() ? FLastAttemptStart : Now();
    ScheduleAt(moreWaiting ? start : start.addSecs(60LL * EffectiveIntervalMinutes(FSettings)));
}

void TServiceUploader::Fail(const QString& reason)
{
    FState.LastErrorAt = Now();
    FState.LastError = Scrubbed(reason);
    emit StateChanged();
}

void TServiceUploader::StopWith(const QString& reason)
{
    FAlarm->Cancel();
    FState.Stopped = true;
    FState.NextAttempt = QDateTime();
    Fail(reason);
}

QString TServiceUploader::Scrubbed(const QString& text) const
{
    if (FSettings.Key.size() < ShortestScrubbedKey)
        return text;
    QString scrubbed = text;
    scrubbed.replace(FSettings.Key, QStringLiteral("***"));
    scrubbed.replace(QString::fromLatin1(PercentEncoded(FSettings.Key)), QStringLiteral("***"));
    return scrubbed;
}

QDateTime TServiceUploader::Now() const
{
    return FParts.Clock.NowUtc();
}

} // namespace publish
