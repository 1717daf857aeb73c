// Uploads over days of simulated time against the stand-ins: an outage of a day caught up in
// order with nothing lost or doubled, CWOP's present-only rule through an outage, a refused key
// that stops only its own service, a queue position that cannot be written, a reading from the
// future, and the back-off's steps.
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
        const qint64 quiet = Facts(kind).QuietAroundMarks.count() * 2; // at most, around a 5-minute mark
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

} // namespace
} // namespace uploadtest
