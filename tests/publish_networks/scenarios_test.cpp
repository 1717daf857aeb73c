// Uploads over days of simulated time against the stand-ins: an outage of a day caught up in
// order with nothing lost or doubled, CWOP's present-only rule through an outage, a refused key
// that stops only its own service (and stays stopped through a change of anything else), a queue
// position that cannot be written, or that no time or the present can use, a reading from the
// future, the back-off's steps, and CWOP's packets spread over the 5-minute span by the station.
#include "publish/networks/narodmon_packet.h"
#include "tests/support/recent_samples.h"
#include "tests/support/upload_rig.h"

#include <gtest/gtest.h>
#include <set>

namespace uploadtest {
namespace {

const QDateTime OutageEnd = Start.addDays(1);

// A reading every 5 minutes from `first` to `last`, with a daily swing so that no two are alike.
std::vector<QDateTime> FillReadings(TMemoryReadingSource& source, const QDateTime& first, const QDateTime& last)
{
    std::vector<QDateTime> times;
    for (QDateTime t = first; t <= last; t = t.addSecs(300)) {
        const double hour = t.time().hour();
        source.Add({t, 21.0, -5.0 + hour / 2, 740.0 + hour / 4, 60.0 + hour});
        times.push_back(t);
    }
    return times;
}

// The UTC times a request or packet carried, as the service reads them.
std::vector<QDateTime> CarriedTimes(TServiceKind kind, const QByteArray& request)
{
    std::vector<QDateTime> times;
    if (kind == TServiceKind::NarodmonTcp) {
        times = testsupport::NarodmonCarriedTimes(request);
    } else {
        times.push_back(QDateTime::fromString(THttpStandIn::QueryValue(request, QStringLiteral("dateutc")),
                                              QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        times.back().setTimeSpec(Qt::UTC);
    }
    return times;
}

TEST(PublishScenarios, ADayOfOutageIsCaughtUpInOrderWithNothingLostOrDoubled)
{
    for (const TServiceKind kind : {TServiceKind::WeatherUnderground, TServiceKind::NarodmonTcp}) {
        SCOPED_TRACE(Facts(kind).Title.toStdString());
        TUploadRig rig;
        const std::vector<QDateTime> readings =
            FillReadings(rig.Source, Start.addSecs(-30 * 60), OutageEnd.addSecs(2 * 3600));
        rig.Positions.Advance(QLatin1String(Facts(kind).PositionKey), readings.front().addSecs(-1));

        // Every attempt is recorded with the clock's time; the service refuses until the outage ends.
        std::vector<std::pair<QDateTime, bool>> attempts;
        std::vector<QDateTime> accepted;
        const auto take = [&](const QByteArray& request) {
            const bool up = rig.Clock.NowUtc() >= OutageEnd;
            attempts.emplace_back(rig.Clock.NowUtc(), up);
            if (up)
                for (const QDateTime& t : CarriedTimes(kind, request))
                    accepted.push_back(t);
            return up;
        };
        rig.Http.Script = [&](const QByteArray& request) {
            return take(request) ? TStandInReply{200, "success"} : TStandInReply{503, "down"};
        };
        rig.Narodmon.Script = [&](const QByteArray& packet) {
            return take(packet) ? QByteArray("OK\n") : QByteArray(""); // closed without a word
        };
        rig.Clock.FastForward = true;
        auto uploader = rig.Uploader(kind);
        const QDateTime last = readings.back();
        ASSERT_TRUE(testsupport::PumpUntil(
            [&] { return rig.Positions.Position(QLatin1String(Facts(kind).PositionKey)).SentUpTo >= last; }, 60000))
            << uploader->State().LastError.toStdString();
        uploader->Stop();

        EXPECT_EQ(accepted, readings) << "each reading once, in order";
        const qint64 spacing = Facts(kind).Spacing.count();
        qint64 longestWait = 0;
        for (std::size_t i = 1; i < attempts.size(); ++i) {
            const qint64 wait = attempts[i - 1].first.secsTo(attempts[i].first);
            EXPECT_GE(wait, spacing) << "never more often than the service allows";
            if (!attempts[i - 1].second)
                longestWait = std::max(longestWait, wait);
        }
        EXPECT_EQ(longestWait, LongestBackOff.count()) << "the back-off grows to 30 minutes and no further";
        const auto firstUp = std::find_if(attempts.begin(), attempts.end(), [](const auto& a) { return a.second; });
        ASSERT_NE(firstUp, attempts.end());
        EXPECT_LE(OutageEnd.secsTo(firstUp->first), LongestBackOff.count());
        EXPECT_EQ(uploader->State().Sent, static_cast<qint64>(readings.size()));
        EXPECT_EQ(uploader->State().Waiting, 0);
        if (kind == TServiceKind::NarodmonTcp) {
            qsizetype biggest = 0;
            for (const QByteArray& session : rig.Narodmon.Sessions)
                biggest = std::max(biggest, session.size());
            EXPECT_LE(biggest, NarodmonPacketLimit);
            EXPECT_GT(biggest, NarodmonPacketLimit / 2) << "the catch-up fills its packets";
        }
    }
}

TEST(PublishScenarios, CwopGetsOnlyThePresentThroughAnOutageAndNothingTwice)
{
    TUploadRig rig;
    const std::vector<QDateTime> readings = FillReadings(rig.Source, Start, Start.addSecs(6 * 3600));
    // Down for three hours: the dialogue goes off its script at once.
    const QDateTime back = Start.addSecs(3 * 3600);
    bool garbled = false;
    rig.Aprs.Banner = [&] {
        garbled = garbled || rig.Clock.NowUtc() < back;
        return rig.Clock.NowUtc() < back ? QByteArray("HTTP/1.0 400 Bad Request\r\n") : QByteArray("# aprsc\r\n");
    };
    rig.Clock.FastForward = true;
    auto uploader = rig.Uploader(TServiceKind::Cwop);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return rig.Clock.NowUtc() >= readings.back(); }));
    EXPECT_TRUE(garbled);
    // Lets the packet under way come back before the count.
    rig.Clock.FastForward = false;
    ASSERT_TRUE(testsupport::PumpUntil([&] { return TUploadRig::Idle(*uploader); }));
    const auto packets = [&] {
        return std::count_if(rig.Aprs.Sessions.begin(), rig.Aprs.Sessions.end(),
                             [](const QByteArray& session) { return session.contains(":@"); });
    };
    ASSERT_TRUE(testsupport::PumpUntil([&] { return packets() == uploader->State().Sent; }));
    uploader->Stop();

    std::set<QString> stamps;
    for (const QByteArray& session : rig.Aprs.Sessions) {
        const qsizetype at = session.indexOf(":@");
        if (at < 0)
            continue; // the outage: no packet went
        EXPECT_TRUE(stamps.insert(QString::fromLatin1(session.mid(at + 2, 7))).second) << "sent twice";
    }
    const TUploadState& state = uploader->State();
    EXPECT_GE(state.Sent, 30) << "every 10 minutes once the service is back";
    EXPECT_EQ(static_cast<qint64>(stamps.size()), state.Sent);
    const QDateTime position = rig.Positions.Position(QStringLiteral("cwop")).SentUpTo;
    const auto dealt =
        std::count_if(readings.begin(), readings.end(), [&](const QDateTime& t) { return t <= position; });
    EXPECT_EQ(state.Sent + state.Skipped, dealt) << "every reading sent or counted as skipped";
    const TStateTexts texts = StateTexts(state);
    EXPECT_EQ(
        texts.Waiting,
        QStringLiteral("Ждут отправки: 0; пропущено (сервис не принимает старых показаний): %1").arg(state.Skipped));
    EXPECT_EQ(texts.LastSuccess,
              QStringLiteral("Последняя удачная отправка: ") +
                  state.LastSuccess.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    EXPECT_TRUE(texts.LastError.startsWith(QStringLiteral("Последняя ошибка (")));
    EXPECT_FALSE(texts.LastError.contains(QStringLiteral("Следующая попытка")))
        << "the error is older than the success";
}

TEST(PublishScenarios, ARefusedKeyStopsOnlyItsOwnServiceUntilTheKeyChanges)
{
    TUploadRig rig;
    FillReadings(rig.Source, Start, Start.addSecs(3 * 3600));
    rig.Positions.Advance(QStringLiteral("wunderground"), Start.addSecs(-1));
    QString goodKey = QStringLiteral("old key");
    rig.Http.Script = [&](const QByteArray& request) {
        if (!THttpStandIn::RequestLine(request).startsWith("GET /wu?"))
            return Accepting(TServiceKind::Windy);
        const bool good = THttpStandIn::QueryValue(request, QStringLiteral("PASSWORD")) == goodKey;
        return good ? TStandInReply{200, "success"} : TStandInReply{200, "INVALIDPASSWORDID|Password is incorrect"};
    };
    TServiceSettings wuSettings = rig.SettingsFor(TServiceKind::WeatherUnderground);
    wuSettings.EndpointOverride = rig.Http.Url(QStringLiteral("/wu"));
    goodKey = QStringLiteral("new key");
    rig.Clock.FastForward = true;
    auto wu = rig.Uploader(wuSettings);
    auto windy = rig.Uploader(TServiceKind::Windy);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return rig.Clock.NowUtc() >= Start.addSecs(2 * 3600); }));

    const auto requestsTo = [&](const QByteArray& path) {
        return std::count_if(rig.Http.Requests.begin(), rig.Http.Requests.end(),
                             [&](const QByteArray& r) { return THttpStandIn::RequestLine(r).startsWith(path); });
    };
    EXPECT_EQ(requestsTo("GET /wu?"), 1) << "a refused key is not tried again";
    EXPECT_TRUE(wu->State().Stopped);
    EXPECT_GE(windy->State().Sent, 20) << "Windy goes on every 5 minutes";
    EXPECT_FALSE(windy->State().Stopped);

    // A change of anything but the key or the id leaves a refused key refused.
    TPublishSettings outdoor = rig.Common;
    outdoor.HumidityPlace = THumidityPlace::Outdoor;
    wu->ChangeSettings(wuSettings, outdoor);
    EXPECT_TRUE(wu->State().Stopped);
    EXPECT_FALSE(wu->State().NextAttempt.isValid());

    // Windy stops first: its fast-forwarded alarms would move the shared clock on by days while
    // Weather Underground catches up, ageing its readings past the week it accepts.
    windy->Stop();
    wuSettings.Key = goodKey;
    wu->ChangeSettings(wuSettings, rig.Common);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !wu->State().Stopped && wu->State().Waiting == 0; }, 60000))
        << "sent " << wu->State().Sent << ", waiting " << wu->State().Waiting;
    EXPECT_EQ(wu->State().Sent, 37) << "the three hours it missed, every one";
    EXPECT_EQ(wu->State().Skipped, 0);
    EXPECT_EQ(requestsTo("GET /wu?"), 1 + wu->State().Sent);
}

TEST(PublishScenarios, AQueuePositionThatCannotBeWrittenStopsTheServiceAndLosesNothing)
{
    for (const TServiceKind kind : {TServiceKind::WeatherUnderground, TServiceKind::Cwop}) {
        SCOPED_TRACE(Facts(kind).Title.toStdString());
        TUploadRig rig;
        rig.Source.Add(FrostReading(Start.addSecs(-60)));
        rig.Positions.FailWrites = true;
        auto uploader = rig.Uploader(kind);
        ASSERT_TRUE(rig.Step(*uploader));
        EXPECT_TRUE(uploader->State().Stopped);
        EXPECT_TRUE(StateTexts(uploader->State())
                        .LastError.contains(QStringLiteral("не удалось записать, докуда отправлены показания: нет "
                                                           "места на диске")));
        EXPECT_FALSE(rig.Positions.Position(QLatin1String(Facts(kind).PositionKey)).SentUpTo.isValid());
        EXPECT_FALSE(rig.Clock.NextAlarm().isValid());
        // CWOP's position goes before the packet: with none written, no packet went.
        EXPECT_EQ(rig.Received(), kind == TServiceKind::Cwop ? 0 : 1);

        // Started again, Weather Underground gets the same reading again; CWOP, which takes only
        // the present, the newest one.
        rig.Positions.FailWrites = false;
        const QDateTime now = rig.Clock.NowUtc();
        rig.Source.Add(FrostReading(now));
        uploader->ChangeSettings(uploader->Settings(), rig.Common);
        ASSERT_TRUE(rig.Step(*uploader));
        EXPECT_EQ(uploader->State().Sent, 1);
        EXPECT_EQ(rig.Positions.Position(QLatin1String(Facts(kind).PositionKey)).SentUpTo,
                  kind == TServiceKind::Cwop ? now : Start.addSecs(-60));
    }
}

TEST(PublishScenarios, ARestartKeepsTheSpacingFromTheLastRequestOfTheRunBefore)
{
    for (const TServiceKind kind :
         {TServiceKind::NarodmonTcp, TServiceKind::Windy, TServiceKind::Cwop, TServiceKind::Wow}) {
        SCOPED_TRACE(Facts(kind).Title.toStdString());
        const qint64 spacing = Facts(kind).Spacing.count();
        const bool kept = Facts(kind).Spacing >= KeptSpacing;
        const qint64 quiet = Facts(kind).SpreadOverMarks ? 5 * 60 : 0; // at most a 5-minute span later
        const QString key = QLatin1String(Facts(kind).PositionKey);
        TUploadRig rig;
        rig.Source.Add(FrostReading(Start.addSecs(-60)));
        auto first = rig.Uploader(kind);
        // Never sent to: a kept spacing lets the first request go at once; a short one is waited out.
        const QDateTime sentAt = first->State().NextAttempt;
        EXPECT_LE(Start.secsTo(sentAt), kept ? quiet : spacing);
        ASSERT_TRUE(rig.Step(*first));
        ASSERT_EQ(rig.Received(), 1);
        EXPECT_EQ(rig.Positions.LastAttempt(key).At, kept ? sentAt : QDateTime());

        // Closed and started again ten seconds later, with a newer reading.
        first.reset();
        rig.Clock.Advance(10);
        rig.Source.Add(FrostReading(rig.Clock.NowUtc()));
        auto second = rig.Uploader(kind);
        const qint64 wait = sentAt.secsTo(second->State().NextAttempt);
        EXPECT_GE(wait, spacing) << "never sooner after a restart than the service allows";
        EXPECT_LE(wait, 10 + spacing + quiet);
        second.reset();

        // A request noted in the future (the clock was set back): a whole spacing from now.
        if (kept) {
            ASSERT_TRUE(rig.Positions.NoteAttempt(key, rig.Clock.NowUtc().addDays(1)).Ok);
            auto third = rig.Uploader(kind);
            const qint64 fromNow = rig.Clock.NowUtc().secsTo(third->State().NextAttempt);
            EXPECT_GE(fromNow, spacing);
            EXPECT_LE(fromNow, spacing + quiet);
        }
    }
}

TEST(PublishScenarios, AnArchiveThatCannotBeReadIsTriedAgainLater)
{
    TUploadRig rig;
    rig.Source.Add(FrostReading(Start.addSecs(-60)));
    rig.Source.FailReads = true;
    auto uploader = rig.Uploader(TServiceKind::WeatherUnderground);
    const QDateTime attempt = rig.Clock.NextAlarm();
    ASSERT_TRUE(rig.Step(*uploader));
    EXPECT_EQ(attempt.secsTo(uploader->State().NextAttempt), FirstBackOff.count());
    EXPECT_TRUE(uploader->State().LastError.contains(QStringLiteral("не удалось прочитать архив: архив недоступен")));
    rig.Source.FailReads = false;
    ASSERT_TRUE(rig.Step(*uploader));
    EXPECT_EQ(uploader->State().Sent, 1);
}

TEST(PublishScenarios, AReadingFromTheFutureWaitsForItsTime)
{
    TUploadRig rig;
    rig.Source.Add(FrostReading(Start.addSecs(-60)));
    rig.Source.Add(FrostReading(Start.addSecs(3600))); // the clock was an hour fast when it was taken
    auto uploader = rig.Uploader(TServiceKind::WeatherUnderground);
    ASSERT_TRUE(rig.Step(*uploader));
    ASSERT_TRUE(rig.Step(*uploader)); // the next reading waits: no request
    EXPECT_EQ(rig.Http.Requests.size(), 1);
    EXPECT_TRUE(uploader->State().LastError.contains(QStringLiteral("датировано будущим")));
    EXPECT_EQ(uploader->State().Waiting, 1);
    while (rig.Clock.NowUtc() < Start.addSecs(3600))
        ASSERT_TRUE(rig.Step(*uploader));
    EXPECT_EQ(rig.Http.Requests.size(), 2);
    EXPECT_EQ(THttpStandIn::QueryValue(rig.Http.Requests.back(), QStringLiteral("dateutc")),
              QStringLiteral("2026-01-31 13:34:56"));
}

TEST(PublishScenarios, TheBackOffDoublesToHalfAnHourAndStartsAgainAfterASuccess)
{
    TUploadRig rig;
    rig.Source.Add(FrostReading(Start.addSecs(-60)));
    bool up = false;
    rig.Http.Script = [&](const QByteArray&) { return up ? TStandInReply{200, "success"} : TStandInReply{500, ""}; };
    auto uploader = rig.Uploader(TServiceKind::WeatherUnderground);
    std::vector<qint64> waits;
    for (int i = 0; i < 8; ++i) {
        const QDateTime attempt = rig.Clock.NextAlarm();
        ASSERT_TRUE(rig.Step(*uploader));
        waits.push_back(attempt.secsTo(uploader->State().NextAttempt));
    }
    EXPECT_EQ(waits, (std::vector<qint64>{30, 60, 120, 240, 480, 960, 1800, 1800}));
    up = true;
    ASSERT_TRUE(rig.Step(*uploader));
    EXPECT_EQ(uploader->State().Sent, 1);
    up = false;
    rig.Source.Add(FrostReading(rig.Clock.NowUtc()));
    const QDateTime attempt = rig.Clock.NextAlarm();
    ASSERT_TRUE(rig.Step(*uploader));
    EXPECT_EQ(attempt.secsTo(uploader->State().NextAttempt), 30);
}

// A position the program cannot use (a hand-edited archive's, one a year ahead from a clock set
// back since): told on the service's block, and the service goes on from the newest reading that
// is not after now, once, without a loop. One a little ahead waits for its time.
TEST(PublishScenarios, AStoredPositionTheProgramCannotUseIsMendedAndTold)
{
    struct TRow
    {
        const char* Name;
        bool Damaged;
        qint64 AheadSeconds;
        const char* Told; // empty: nothing to tell
        int Requests;     // in the first ten attempts
    };
    const std::vector<TRow> table{
        {"no time", true, 0, "в архиве испорчена; отправка продолжена с показаний после 2026-01-31 12:29:55", 1},
        {"a year ahead", false, 365 * 86400, "позже текущего времени: часы компьютера", 1},
        {"five minutes ahead", false, 300, "", 0},
    };
    for (const TRow& row : table) {
        SCOPED_TRACE(row.Name);
        TUploadRig rig;
        FillReadings(rig.Source, Start.addSecs(-2 * 3600), Start.addSecs(-300));
        const QString key = QStringLiteral("wunderground");
        if (row.Damaged)
            rig.Positions.Damage(key);
        else
            rig.Positions.Advance(key, Start.addSecs(row.AheadSeconds));
        auto uploader = rig.Uploader(TServiceKind::WeatherUnderground);
        for (int attempt = 0; attempt < 10; ++attempt)
            ASSERT_TRUE(rig.Step(*uploader));
        EXPECT_EQ(rig.Http.Requests.size(), row.Requests);
        EXPECT_FALSE(uploader->State().Stopped);
        EXPECT_TRUE(uploader->State().LastError.contains(QString::fromUtf8(row.Told)))
            << uploader->State().LastError.toStdString();
        if (row.Requests > 0) {
            EXPECT_EQ(THttpStandIn::QueryValue(rig.Http.Requests.front(), QStringLiteral("dateutc")),
                      QStringLiteral("2026-01-31 12:29:56"));
            EXPECT_EQ(rig.Positions.Position(key).SentUpTo, Start.addSecs(-300));
        }
    }
}

// Hours downloaded after newer readings had gone out come in behind the position: a service that
// takes the past gets them, once each, before the newer readings; a service of the present only
// passes them over.
TEST(PublishScenarios, ReadingsThatCameInBehindThePositionGoOnceEach)
{
    for (const TServiceKind kind : {TServiceKind::WeatherUnderground, TServiceKind::NarodmonTcp, TServiceKind::Windy}) {
        SCOPED_TRACE(Facts(kind).Title.toStdString());
        TUploadRig rig;
        const QString key = QLatin1String(Facts(kind).PositionKey);
        rig.Positions.Advance(key, Start.addSecs(-60));
        rig.Source.Add(FrostReading(Start.addSecs(-60)));
        rig.Source.Add(FrostReading(Start.addSecs(240)));
        const std::vector<QDateTime> hours{Start.addSecs(-3 * 3600), Start.addSecs(-2 * 3600), Start.addSecs(-3600)};
        for (const QDateTime& hour : hours)
            rig.Positions.AddLate(key, FrostReading(hour));
        rig.Positions.AddLate(key, FrostReading(Start.addDays(-30))); // older than any service takes
        rig.Http.Script = [kind](const QByteArray&) { return Accepting(kind); };
        rig.Clock.FastForward = true;
        auto uploader = rig.Uploader(kind);
        EXPECT_EQ(uploader->State().Waiting, 5); // the four that came in late, and the newest
        ASSERT_TRUE(testsupport::PumpUntil([&] {
            return rig.Clock.NowUtc() > Start.addSecs(15 * 60) && TUploadRig::Idle(*uploader) &&
                uploader->State().Waiting == 0;
        })) << uploader->State().Waiting
            << " waiting, " << rig.Received() << " sent, " << uploader->State().LastError.toStdString() << " at "
            << rig.Clock.NowUtc().toString().toStdString();
        std::vector<QDateTime> carried;
        for (const QByteArray& request : rig.Http.Requests)
            for (const QDateTime& time : CarriedTimes(kind, request))
                carried.push_back(time);
        for (const QByteArray& packet : rig.Narodmon.Sessions)
            for (const QDateTime& time : CarriedTimes(kind, packet))
                carried.push_back(time);
        const bool takesPast = !Facts(kind).OnlyNewest;
        std::vector<QDateTime> expected = hours;
        expected.push_back(Start.addSecs(240));
        if (takesPast) {
            EXPECT_EQ(carried, expected);
        } else {
            EXPECT_EQ(rig.Received(), 1) << "the newest alone";
        }
        EXPECT_EQ(uploader->State().Skipped, takesPast ? 1 : 4);
        EXPECT_EQ(rig.Positions.LateCount(key).Count, 0);
    }
}

TEST(PublishScenarios, CwopSpreadsItsPacketsOverTheSpanByTheStationsId)
{
    TUploadRig rig;
    rig.Source.Add(FrostReading(Start.addSecs(-60)));
    std::set<qint64> seconds;
    for (const char* id : {"CW1234", "EW0042", "DW9999"}) {
        TServiceSettings settings = rig.SettingsFor(TServiceKind::Cwop);
        settings.StationId = QLatin1String(id);
        auto uploader = rig.Uploader(settings);
        const qint64 intoSpan = uploader->State().NextAttempt.toSecsSinceEpoch() % 300;
        EXPECT_GE(intoSpan, 30) << id << ": away from the 5-minute marks";
        EXPECT_LE(intoSpan, 270) << id;
        seconds.insert(intoSpan);
    }
    EXPECT_EQ(seconds.size(), 3U) << "three stations, three seconds of the span";
}

} // namespace
} // namespace uploadtest
