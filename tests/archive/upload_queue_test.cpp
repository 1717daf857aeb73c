// The weather networks' queue in the archive: an archive of the version before it is taken forward
// with every hour and sample kept; the readings come out in order (samples, and station hours only
// where no sample of the hour exists), each moment once and counted alike; a service's position is
// kept across a reopening, never moves back, and stays as it was when the archive cannot be written;
// values and positions that a damaged archive holds are never taken for the station's.
#include "archive/archive_store.h"
#include "core/archive_upload_queue.h"
#include "tests/support/older_archives.h"
#include "tests/support/sqlite_peek.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <ctime>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>

using namespace archive;

namespace {

using testsupport::Exec;
using testsupport::Rows;

const THourKey Day = HourKey(QDate(2026, 3, 2), 0); // no clock change near it anywhere

// Samples at hours 10 and 12 of the day, every 5 minutes, the one at 10:30 without any value, with
// their hourly sums; station hours 9 to 13, hour 11 without any value.
void FillDay(sqlite3* db)
{
    ASSERT_TRUE(Exec(db, "BEGIN"));
    for (const THourKey hour : {Day + 10, Day + 12})
        for (int m = 0; m < 60; m += 5) {
            const std::string counts = hour == Day + 10 && m == 30 ? "0" : "12";
            ASSERT_TRUE(Exec(db,
                             "INSERT INTO samples VALUES(" + std::to_string(hour * 60 + m) + ", 12, 21.5, " + counts +
                                 ", " + std::to_string(-3.25 + m) + ", " + counts + ", 745.5, " + counts +
                                 ", NULL, 0)"));
        }
    // The hourly sums, written with the samples as the program writes them.
    ASSERT_TRUE(Exec(db,
                     "INSERT INTO sample_hours SELECT minute / 60, total(indoor * indoor_count), sum(indoor_count),"
                     " total(outdoor * outdoor_count), sum(outdoor_count), total(pressure * pressure_count),"
                     " sum(pressure_count), total(humidity * humidity_count), sum(humidity_count)"
                     " FROM samples GROUP BY minute / 60"));
    for (THourKey hour = Day + 9; hour <= Day + 13; ++hour)
        ASSERT_TRUE(Exec(db,
                         "INSERT INTO hours VALUES(" + std::to_string(hour) +
                             (hour == Day + 11 ? ", NULL, NULL, NULL, NULL)" : ", 22, -4, 744, 61)")));
    ASSERT_TRUE(Exec(db, "INSERT INTO alarms VALUES(1, 100, 'frost', 1, 'Заморозок', 'На улице −1 °C.')"));
    ASSERT_TRUE(Exec(db, "COMMIT"));
}

QDateTime At(THourKey hour, int minute)
{
    return UtcOfMinute(hour * 60 + minute);
}

class ArchiveUploadQueue : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Folder.Entered()); }
    QString Path() const { return QDir(Folder.Path()).filePath(ArchiveFileName); }
    testsupport::TFreshCurrentFolder Folder;
};

TEST_F(ArchiveUploadQueue, AnOlderArchiveKeepsEveryRowAndOffersItsReadingsInOrder)
{
    QStringList before[4];
    const char* const tables[] = {"hours", "samples", "settings", "alarms"};
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(Path()).constData(), &db), SQLITE_OK);
        ASSERT_TRUE(Exec(db, "PRAGMA journal_mode=WAL"));
        ASSERT_TRUE(Exec(db, testsupport::SecondArchiveSchema()));
        FillDay(db);
        for (int t = 0; t < 4; ++t)
            before[t] = Rows(db, tables[t]);
        sqlite3_close(db);
    }
    TArchiveStore store(Path());
    ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
    EXPECT_TRUE(store.Notice().isEmpty());
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(Rows(store.Connection(), tables[t]), before[t]) << tables[t];

    TArchiveUploadQueue queue(&store);
    const publish::TSourceReadings all = queue.ReadingsAfter({}, 1000);
    ASSERT_TRUE(all.Ok);
    // Hour 9, the samples of hour 10 but the empty one, none of hour 11, the samples of 12, hour 13.
    std::vector<QDateTime> expected{At(Day + 9, 0)};
    for (int m = 0; m < 60; m += 5)
        if (m != 30)
            expected.push_back(At(Day + 10, m));
    for (int m = 0; m < 60; m += 5)
        expected.push_back(At(Day + 12, m));
    expected.push_back(At(Day + 13, 0));
    std::vector<QDateTime> times;
    for (const publish::TWeatherReading& reading : all.Readings)
        times.push_back(reading.Time);
    EXPECT_EQ(times, expected);
    EXPECT_EQ(queue.CountAfter({}).Count, static_cast<qint64>(expected.size()));
    // A station hour and a sample as the services get them: values in the window's units, none made up.
    EXPECT_EQ(all.Readings.front(), (publish::TWeatherReading{At(Day + 9, 0), 22.0, -4.0, 744.0, 61.0}));
    EXPECT_EQ(all.Readings[2], (publish::TWeatherReading{At(Day + 10, 5), 21.5, 1.75, 745.5, std::nullopt}));

    // From any reading on: the rest, in order, as many as asked, counted alike.
    for (std::size_t from = 0; from < expected.size(); ++from) {
        const publish::TSourceReadings next = queue.ReadingsAfter(expected[from], 3);
        ASSERT_TRUE(next.Ok);
        const std::size_t left = expected.size() - from - 1;
        ASSERT_EQ(next.Readings.size(), std::min<std::size_t>(3, left)) << from;
        for (std::size_t i = 0; i < next.Readings.size(); ++i)
            EXPECT_EQ(next.Readings[i].Time, expected[from + 1 + i]);
        EXPECT_EQ(queue.CountAfter(expected[from]).Count, static_cast<qint64>(left));
        // A moment between two readings gives the later one first.
        const publish::TSourceReadings between = queue.ReadingsAfter(expected[from].addSecs(1), 1);
        if (left > 0) {
            EXPECT_EQ(between.Readings.at(0).Time, expected[from + 1]);
        }
    }
}

TEST_F(ArchiveUploadQueue, APositionIsKeptNeverMovesBackAndStaysWhenTheArchiveCannotBeWritten)
{
    const QDateTime first = At(Day + 10, 5);
    {
        // The version that kept the positions in a table of their own.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(Path()).constData(), &db), SQLITE_OK);
        ASSERT_TRUE(Exec(db, "PRAGMA journal_mode=WAL"));
        ASSERT_TRUE(Exec(db, testsupport::FourthArchiveSchema()));
        ASSERT_TRUE(Exec(db,
                         "INSERT INTO upload_positions VALUES('wunderground', " +
                             std::to_string(first.toSecsSinceEpoch()) + "), ('cwop', " +
                             std::to_string(first.addSecs(3600).toSecsSinceEpoch()) + ")"));
        sqlite3_close(db);
    }
    {
        TArchiveStore store(Path());
        ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
        TArchiveUploadQueue queue(&store);
        EXPECT_EQ(queue.Position(QStringLiteral("wunderground")).SentUpTo, first);
        EXPECT_EQ(queue.Position(QStringLiteral("cwop")).SentUpTo, first.addSecs(3600));
        EXPECT_FALSE(queue.Position(QStringLiteral("windy")).SentUpTo.isValid());
        ASSERT_TRUE(queue.Advance(QStringLiteral("windy"), first).Ok);
        ASSERT_TRUE(queue.NoteAttempt(QStringLiteral("cwop"), first.addSecs(3605)).Ok);
        // Asked to go back: it stays.
        EXPECT_TRUE(queue.Advance(QStringLiteral("wunderground"), first.addSecs(-600)).Ok);
        EXPECT_EQ(queue.Position(QStringLiteral("wunderground")).SentUpTo, first);
    }
    // Another program holds the archive's write lock: the advance fails with the reason.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(Path()).constData(), &other), SQLITE_OK);
    TArchiveStore store(Path(), 100);
    TArchiveUploadQueue queue(&store);
    EXPECT_EQ(queue.Position(QStringLiteral("wunderground")).SentUpTo, first);
    EXPECT_EQ(queue.Position(QStringLiteral("cwop")).SentUpTo, first.addSecs(3600));
    EXPECT_EQ(queue.Position(QStringLiteral("windy")).SentUpTo, first);
    // When a request last went, kept beside the positions.
    EXPECT_EQ(queue.LastAttempt(QStringLiteral("cwop")).At, first.addSecs(3605));
    EXPECT_FALSE(queue.LastAttempt(QStringLiteral("windy")).At.isValid());
    ASSERT_TRUE(Exec(other, "BEGIN IMMEDIATE"));
    const publish::TPositionWrite blocked = queue.Advance(QStringLiteral("wunderground"), first.addSecs(300));
    EXPECT_FALSE(blocked.Ok);
    EXPECT_TRUE(blocked.Message.contains(QStringLiteral("архив занят другой программой")))
        << blocked.Message.toStdString();
    ASSERT_TRUE(Exec(other, "ROLLBACK"));
    sqlite3_close(other);
    EXPECT_EQ(queue.Position(QStringLiteral("wunderground")).SentUpTo, first);
    ASSERT_TRUE(queue.Advance(QStringLiteral("wunderground"), first.addSecs(300)).Ok);
    EXPECT_EQ(queue.Position(QStringLiteral("wunderground")).SentUpTo, first.addSecs(300));

    // No archive at all: every call fails and says so.
    TArchiveUploadQueue none(nullptr);
    EXPECT_FALSE(none.ReadingsAfter({}, 1).Ok);
    EXPECT_FALSE(none.CountAfter({}).Ok);
    EXPECT_FALSE(none.Position(QStringLiteral("cwop")).Ok);
    EXPECT_FALSE(none.Advance(QStringLiteral("cwop"), first).Ok);
    EXPECT_FALSE(none.LastAttempt(QStringLiteral("cwop")).Ok);
    EXPECT_FALSE(none.NoteAttempt(QStringLiteral("cwop"), first).Ok);
}

// A hand-edited or damaged archive: values the station cannot have measured (text, infinities,
// numbers past what its bytes carry) are missing wherever they are read, and a position that is no
// time is told as damaged, taken for none, and can be put right. A sample still filling waits.
TEST_F(ArchiveUploadQueue, ImpossibleValuesAreMissingAndAPositionThatIsNoTimeIsToldAsDamaged)
{
    const std::string sample = std::to_string(UtcMinuteOf(At(Day + 5, 0)));
    {
        TArchiveStore fresh(Path());
        ASSERT_TRUE(fresh.IsOpen()) << fresh.Notice().toStdString();
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(Path()).constData(), &db), SQLITE_OK);
    ASSERT_TRUE(Exec(db,
                     "INSERT INTO hours VALUES(" + std::to_string(Day + 1) + ", 'warm', 9e999, -2147483648, 55), (" +
                         std::to_string(Day + 2) + ", 21, -9e999, 1e300, 'x')"));
    ASSERT_TRUE(Exec(db, "INSERT INTO samples VALUES(" + sample + ", 12, 9e999, 12, 'text', 12, 750, 12, 1e300, 12)"));
    ASSERT_TRUE(Exec(
        db, "INSERT INTO sample_hours VALUES(" + std::to_string(Day + 3) + ", 9e999, 1, 'x', 1, 9000, 12, 1e300, 1)"));
    ASSERT_TRUE(Exec(db,
                     "INSERT INTO settings VALUES('upload position wunderground', '99999999999999999999'),"
                     " ('upload position cwop', 'soon')"));
    sqlite3_close(db);

    TArchiveStore store(Path());
    ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
    const auto missingBut = [](const auto& values, int kept, double value) {
        for (int q = 0; q < base::QuantityCount; ++q) {
            const double v = values[static_cast<std::size_t>(q)];
            EXPECT_TRUE(q == kept ? v == value : !HasValue(v)) << q << ": " << v;
        }
    };
    const std::vector<TArchiveHour> hours = store.Hours(Day, Day + 23);
    ASSERT_EQ(hours.size(), 3U);
    missingBut(hours[0].Values, 3, 55.0);
    missingBut(hours[1].Values, 0, 21.0);
    missingBut(hours[2].Values, 2, 750.0); // the sample hour's sums: only the pressure is a mean
    for (const TMinuteValue& pressure : store.PressureValues(Day * 60, (Day + 24) * 60))
        EXPECT_EQ(pressure.Value, 750.0);

    TArchiveUploadQueue queue(&store);
    const publish::TSourceReadings readings = queue.ReadingsAfter({}, 100);
    ASSERT_TRUE(readings.Ok);
    ASSERT_EQ(readings.Readings.size(), 3U);
    EXPECT_EQ(readings.Readings[0], (publish::TWeatherReading{At(Day + 1, 0), {}, {}, {}, 55.0}));
    EXPECT_EQ(readings.Readings[1], (publish::TWeatherReading{At(Day + 2, 0), 21.0, {}, {}, {}}));
    EXPECT_EQ(readings.Readings[2], (publish::TWeatherReading{At(Day + 5, 0), {}, {}, 750.0, {}}));

    for (const QString& service : {QStringLiteral("wunderground"), QStringLiteral("cwop")}) {
        const publish::TPositionRead damaged = queue.Position(service);
        EXPECT_TRUE(damaged.Ok && damaged.Damaged && !damaged.SentUpTo.isValid());
        ASSERT_TRUE(queue.Reset(service, At(Day + 1, 30)).Ok);
        const publish::TPositionRead mended = queue.Position(service);
        EXPECT_FALSE(mended.Damaged);
        EXPECT_EQ(mended.SentUpTo, At(Day + 1, 30));
    }
    // Reset moves back as well; Advance still never does.
    ASSERT_TRUE(queue.Reset(QStringLiteral("cwop"), At(Day, 0)).Ok);
    ASSERT_TRUE(queue.Advance(QStringLiteral("cwop"), At(Day - 1, 0)).Ok);
    EXPECT_EQ(queue.Position(QStringLiteral("cwop")).SentUpTo, At(Day, 0));

    // A sample whose 5 minutes are not over (written early as the window closed) waits to be
    // whole; one of ten minutes ago goes.
    const TUtcMinute now = UtcMinuteOf(QDateTime::currentDateTimeUtc());
    for (const TUtcMinute minute : {now - 10, now})
        ASSERT_TRUE(
            Exec(store.Connection(),
                 "INSERT INTO samples VALUES(" + std::to_string(minute) + ", 3, 21, 3, NULL, 0, NULL, 0, NULL, 0)"));
    const publish::TSourceReadings recent = queue.ReadingsAfter(At(Day + 6, 0), 100);
    ASSERT_EQ(recent.Readings.size(), 1U);
    EXPECT_EQ(recent.Readings[0].Time, TimeOfUtcMinute(now - 10));
    EXPECT_EQ(queue.CountAfter(At(Day + 6, 0)).Count, 1);
}

// A download merged after newer readings went out: its hours behind a service's position go on
// that service's late list, once; hours with samples of their own, and those after the position,
// do not. Each leaves the list once it is done with.
TEST_F(ArchiveUploadQueue, HoursMergedBehindAPositionAreOfferedLateOnce)
{
    TArchiveStore store(Path());
    ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
    TArchiveUploadQueue queue(&store);
    const QString wu = QStringLiteral("wunderground");
    const QString narodmon = QStringLiteral("narodmon");
    ASSERT_TRUE(queue.Advance(wu, At(Day + 12, 0)).Ok);
    ASSERT_TRUE(queue.Advance(narodmon, At(Day + 10, 30)).Ok);
    ASSERT_TRUE(Exec(store.Connection(),
                     "INSERT INTO sample_hours VALUES(" + std::to_string(Day + 11) + ", 21, 1, 0, 0, 0, 0, 0, 0)"));
    std::vector<THourRecord> download;
    for (THourKey hour = Day + 9; hour <= Day + 13; ++hour)
        download.push_back({hour, {22, -4, 744, 61}});
    const auto lateTimes = [&](const QString& service) {
        std::vector<QDateTime> times;
        for (const publish::TWeatherReading& reading : queue.LateReadings(service, 100).Readings)
            times.push_back(reading.Time);
        return times;
    };
    for (int merge = 0; merge < 2; ++merge) { // the second download adds nothing
        ASSERT_TRUE(store.Merge(download).Ok);
        EXPECT_EQ(lateTimes(wu), (std::vector<QDateTime>{At(Day + 9, 0), At(Day + 10, 0), At(Day + 12, 0)}));
        EXPECT_EQ(lateTimes(narodmon), (std::vector<QDateTime>{At(Day + 9, 0), At(Day + 10, 0)}));
    }
    EXPECT_EQ(queue.LateReadings(wu, 1).Readings.at(0),
              (publish::TWeatherReading{At(Day + 9, 0), 22.0, -4.0, 744.0, 61.0}));
    ASSERT_TRUE(queue.DoneLate(wu, At(Day + 10, 0)).Ok);
    EXPECT_EQ(lateTimes(wu), std::vector<QDateTime>{At(Day + 12, 0)});
    EXPECT_EQ(queue.LateCount(wu).Count, 1);
    EXPECT_EQ(queue.LateCount(QStringLiteral("windy")).Count, 0);
}

TEST(ArchiveUploadTimes, MinutesMapToMomentsInOrderAcrossTheClockChanges)
{
    // A zone with both changes of the clock: every moment found again from its key, never backwards.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    for (const QDate date : {QDate(2026, 3, 29), QDate(2026, 10, 25)}) {
        const TMinuteKey first = HourKey(date, 0) * 60;
        QDateTime previous = UtcOfMinute(first - 1);
        for (TMinuteKey key = first; key < first + TMinuteKey{60} * 6; ++key) {
            const QDateTime moment = UtcOfMinute(key);
            ASSERT_TRUE(moment.isValid()) << key;
            EXPECT_GE(moment, previous) << date.toString(Qt::ISODate).toStdString() << " " << key - first;
            EXPECT_LE(FirstMinuteAfter(moment.addSecs(-1)), key);
            EXPECT_GT(UtcOfMinute(FirstMinuteAfter(moment)), moment);
            previous = moment;
        }
    }
    EXPECT_EQ(UtcOfMinute(HourKey(QDate(2026, 1, 31), 13) * 60 + 34),
              QDateTime(QDate(2026, 1, 31), QTime(12, 34), Qt::UTC));
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
}

} // namespace
