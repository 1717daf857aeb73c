// Sends one service the archive's readings; see service_uploader.h.
#include "publish/networks/service_uploader.h"

#include "publish/networks/published_values.h"
#include "publish/networks/query_text.h"
#include "publish/networks/reply_verdict.h"
#include "publish/networks/request_builder.h"

#include <QPointer>
#include <algorithm>
#include <cstdint>

namespace publish {

namespace {

// Readings read at once where only the newest counts: the present holds a few of them.
constexpr int PresentReadLimit = 1000;
// A key shorter than this is not looked for in messages: it would blot out ordinary words.
constexpr int ShortestScrubbedKey = 3;
// The span over which spread requests go, and how far from its ends they keep.
constexpr qint64 SpreadSpan = qint64{5} * 60;
constexpr qint64 SpreadMargin = 30;

qint64 Seconds(std::chrono::seconds duration)
{
    return duration.count();
}

} // namespace

qint64 SpreadSecond(const QString& stationId)
{
    // FNV-1a of the id: the same second in every run, and stations spread over the span.
    std::uint32_t hash = 2166136261U;
    for (const char byte : stationId.toUtf8()) {
        hash ^= static_cast<std::uint8_t>(byte);
        hash *= 16777619U;
    }
    return SpreadMargin + static_cast<qint64>(hash % (SpreadSpan - 2 * SpreadMargin));
}

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
    const bool keyOrIdChanged = settings.Key != FSettings.Key || settings.StationId != FSettings.StationId;
    const bool ownChanged = !(settings == FSettings);
    FSettings = settings;
    FCommon = common;
    FFacts = FactsFor(settings);
    if ((FStopCause == TStopCause::Key && !keyOrIdChanged) || (FStopCause == TStopCause::Request && !ownChanged))
        return; // the same key or request would be refused again
    FStopCause = TStopCause::None;
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
    QDateTime from = position.SentUpTo.isValid() ? position.SentUpTo : FirstStart(now);
    if (!MendPosition(position, now, from))
        return;
    bool handled = false;
    if (!AttemptLate(now, handled) || handled)
        return;
    TSending sending;
    if (!SkipTooOld(now, from, sending))
        return;

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

    Send(readings, sending, now);
}

bool TServiceUploader::SkipTooOld(const QDateTime& now, QDateTime& from, TSending& sending)
{
    // Readings dated at or before `oldest` are too old for the service.
    const QDateTime oldest = now.addSecs(-Seconds(FFacts.AcceptsPast));
    if (from >= oldest)
        return true;
    const TSourceCount all = FParts.Source.CountAfter(from);
    const TSourceCount recent = FParts.Source.CountAfter(oldest);
    if (!all.Ok || !recent.Ok) {
        BackOff(QStringLiteral("не удалось прочитать архив: %1").arg(all.Ok ? recent.Message : all.Message));
        return false;
    }
    sending.Skipped = all.Count - recent.Count;
    from = oldest;
    return true;
}

bool TServiceUploader::AttemptLate(const QDateTime& now, bool& handled)
{
    const QString key = QLatin1String(FFacts.PositionKey);
    const TSourceCount count = FParts.Positions.LateCount(key);
    if (!count.Ok) {
        BackOff(QStringLiteral("не удалось прочитать архив: %1").arg(count.Message));
        return false;
    }
    if (count.Count == 0)
        return true;
    if (FFacts.OnlyNewest) { // the present only: what came in behind it is past for the service
        if (!DoneLate(now))
            return false;
        FState.Skipped += count.Count;
        return true;
    }
    TSourceReadings late = FParts.Positions.LateReadings(key, FFacts.ReadingsPerRequest);
    if (!late.Ok) {
        BackOff(QStringLiteral("не удалось прочитать архив: %1").arg(late.Message));
        return false;
    }
    auto& readings = late.Readings;
    const QDateTime oldest = now.addSecs(-Seconds(FFacts.AcceptsPast));
    const auto fresh =
        std::find_if(readings.begin(), readings.end(), [&oldest](const TWeatherReading& r) { return r.Time > oldest; });
    if (fresh != readings.begin()) {
        if (!DoneLate(std::prev(fresh)->Time))
            return false;
        FState.Skipped += fresh - readings.begin();
        readings.erase(readings.begin(), fresh);
    }
    if (readings.empty()) // the rest of the list goes with the next attempt
        return true;
    TSending sending;
    sending.Late = true;
    Send(readings, sending, now);
    handled = true;
    return true;
}

bool TServiceUploader::DoneLate(const QDateTime& upTo)
{
    return Written(FParts.Positions.DoneLate(QLatin1String(FFacts.PositionKey), upTo));
}

void TServiceUploader::Send(const std::vector<TWeatherReading>& readings, TSending sending, const QDateTime& now)
{
    std::vector<TPublishedValues> values;
    values.reserve(readings.size());
    for (const TWeatherReading& reading : readings)
        values.push_back(PublishedValues(reading, FCommon));
    const TOutgoingRequest request = BuildRequest(FSettings, FCommon, FEndpoint, values);
    sending.Readings = request.Readings;
    sending.LastTime = readings[static_cast<std::size_t>(request.Readings - 1)].Time;
    if (FFacts.PositionBeforeSending && !sending.Late) {
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
        if (sending.Late ? !DoneLate(sending.LastTime) : !sending.PositionWritten && !Advance(sending.LastTime))
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
        StopWith(verdict.Reason + QStringLiteral("; проверьте идентификатор станции и ключ"), TStopCause::Key);
        return;
    case TVerdictKind::Refused:
        StopWith(verdict.Reason, TStopCause::Request);
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

bool TServiceUploader::MendPosition(const TPositionRead& position, const QDateTime& now, QDateTime& from)
{
    const bool ahead = position.SentUpTo.isValid() && position.SentUpTo > now.addSecs(Seconds(ClockSetBackSlack));
    if (!position.Damaged && !ahead)
        return true;
    // The sound point: just before the newest reading not after now, within the look-back; else
    // the look-back's start.
    QDateTime sound = now.addSecs(-Seconds(std::min(FirstStartLookBack, FFacts.AcceptsPast)));
    const TSourceReadings recent = FParts.Source.ReadingsAfter(sound, PresentReadLimit);
    if (!recent.Ok) {
        BackOff(QStringLiteral("не удалось прочитать архив: %1").arg(recent.Message));
        return false;
    }
    for (const TWeatherReading& reading : recent.Readings)
        if (reading.Time <= now)
            sound = reading.Time.addSecs(-1);
    if (!Written(FParts.Positions.Reset(QLatin1String(FFacts.PositionKey), sound)))
        return false;
    const QString goesOn = QStringLiteral("отправка продолжена с показаний после %1 UTC").arg(DateUtcText(sound));
    Fail(ahead ? QStringLiteral("отметка, докуда отправлены показания (%1 UTC), позже текущего времени: часы "
                                "компьютера были переведены или идут неверно; %2")
                     .arg(DateUtcText(position.SentUpTo), goesOn)
               : QStringLiteral("отметка, докуда отправлены показания, в архиве испорчена; %1").arg(goesOn));
    from = sound;
    return true;
}

bool TServiceUploader::Advance(const QDateTime& sentUpTo)
{
    return Written(FParts.Positions.Advance(QLatin1String(FFacts.PositionKey), sentUpTo));
}

bool TServiceUploader::Written(const TPositionWrite& written)
{
    if (!written.Ok)
        StopWith(QStringLiteral("не удалось записать, докуда отправлены показания: %1").arg(written.Message));
    return written.Ok;
}

void TServiceUploader::CountWaiting()
{
    const TPositionRead position = FParts.Positions.Position(QLatin1String(FFacts.PositionKey));
    const QDateTime from = position.SentUpTo.isValid() ? position.SentUpTo : FirstStart(Now());
    const TSourceCount waiting = FParts.Source.CountAfter(from);
    const TSourceCount late = FParts.Positions.LateCount(QLatin1String(FFacts.PositionKey));
    if (position.Ok && waiting.Ok && late.Ok)
        FState.Waiting = waiting.Count + late.Count;
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
    if (FFacts.SpreadOverMarks) {
        const qint64 intoSpan = when.toSecsSinceEpoch() % SpreadSpan;
        when = when.addSecs((SpreadSecond(FSettings.StationId) - intoSpan + SpreadSpan) % SpreadSpan);
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

void TServiceUploader::StopWith(const QString& reason, TStopCause cause)
{
    FAlarm->Cancel();
    FStopCause = cause;
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
