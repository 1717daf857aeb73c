// Catching up a week of 5-minute samples (2,016) per service from the weather archive (real SQLite)
// against a stand-in on 127.0.0.1 that answers at once, goal 10 s each, beside the same catch-up
// from the in-memory queue in the same run; the main thread's longest stall throughout (goal
// 16 ms), by the benchmarks' 1 ms stall probe; and the archive's growth for the queue state (goal
// 1 %): a version-2 archive holding the week against the same archive taken forward, and with
// every service's position written.
#include "archive/archive_store.h"
#include "bench/support/stall_probe.h"
#include "core/archive_upload_queue.h"
#include "gui/error_box.h"
#include "tests/support/upload_rig.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sqlite3.h>

using namespace uploadtest;

namespace {

constexpr int WeekOfSamples = 7 * 24 * 12;

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "archive catch-up bench: %s\n", what);
        std::abort();
    }
}

struct TRun
{
    double Seconds = 0;
    double StallMs = 0;
    double StallCpuMs = 0;
};

// A week of samples up to `now` in the archive and in memory alike.
void FillWeek(archive::TArchiveStore& store, TMemoryReadingSource& memory, const QDateTime& now)
{
    const archive::TMinuteKey newest = archive::MinuteKeyOf(now.toLocalTime()) / 5 * 5 - 5;
    // Only the setting up goes without waiting for the disk; the catch-up writes as the program does.
    sqlite3_exec(store.Connection(), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    for (int i = 0; i < WeekOfSamples; ++i) {
        archive::TSample sample;
        sample.Start = newest - 5LL * i;
        sample.Reports = 12;
        sample.Mean = {21.0, -3.5 + i % 7, 745.0 + i % 5, 60.0 + i % 30};
        sample.Count = {12, 12, 12, 12};
        Require(store.AddSample(sample).Ok, "a sample was not stored");
        memory.Add({archive::UtcOfMinute(sample.Start), 21.0, -3.5 + i % 7, 745.0 + i % 5, 60.0 + i % 30});
    }
    sqlite3_exec(store.Connection(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
}

// The rig's stand-ins answer on a thread of their own while it lives, as a service's server would:
// the stall probe then sees only what the uploads cost the main thread.
class TStandInsAside
{
public:
    explicit TStandInsAside(TUploadRig& rig)
        : StandIns{&rig.Http, &rig.Narodmon, &rig.Aprs}
    {
        Servers.start();
        for (QObject* standIn : StandIns)
            standIn->moveToThread(&Servers);
    }
    ~TStandInsAside()
    {
        QThread* const main = QThread::currentThread();
        for (QObject* standIn : StandIns)
            QMetaObject::invokeMethod(
                standIn, [standIn, main] { standIn->moveToThread(main); }, Qt::BlockingQueuedConnection);
        Servers.quit();
        Servers.wait();
    }
    TStandInsAside(const TStandInsAside&) = delete;
    TStandInsAside& operator=(const TStandInsAside&) = delete;

private:
    QThread Servers;
    const std::array<QObject*, 3> StandIns;
};

TRun CatchUp(TUploadRig& rig, TServiceKind kind, TReadingSource& source, TPositionStore& positions)
{
    rig.Http.Script = [kind](const QByteArray&) { return Accepting(kind); };
    const QDateTime now = rig.Clock.NowUtc();
    const QString key = QLatin1String(Facts(kind).PositionKey);
    Require(positions.Advance(key, now.addSecs(-300LL * (WeekOfSamples + 1))).Ok, "no position");
    rig.Clock.FastForward = true;
    const TStandInsAside standIns(rig);
    benchsupport::TStallProbe meter;
    meter.Start();
    QElapsedTimer elapsed;
    elapsed.start();
    TServiceUploader uploader(rig.SettingsFor(kind), rig.Common,
                              TUploaderParts{source, positions, rig.Exchange, rig.Clock});
    uploader.Start();
    const TSourceReadings newest = source.ReadingsAfter(now.addSecs(-600), 10);
    Require(newest.Ok && !newest.Readings.empty(), "no newest sample");
    const QDateTime last = newest.Readings.back().Time;
    Require(testsupport::PumpUntil([&] { return positions.Position(key).SentUpTo >= last; }, 600000),
            "the catch-up did not end");
    rig.Clock.FastForward = false;
    return {static_cast<double>(elapsed.nsecsElapsed()) / 1e9, meter.LongestMs(), meter.LongestBusyMs()};
}

QByteArray Label(TServiceKind kind)
{
    QString label = Facts(kind).Title;
    if (kind == TServiceKind::NarodmonTcp || kind == TServiceKind::NarodmonHttp)
        label += kind == TServiceKind::NarodmonTcp ? QStringLiteral(" TCP") : QStringLiteral(" HTTP");
    return label.leftJustified(24).toUtf8();
}

qint64 FileSize(const QString& path)
{
    return QFileInfo(path).size();
}

// The positions live among the archive's settings: no page of their own. Taking an older archive
// forward leaves the page of the table its positions were once kept in free for the next write.
void PrintSizes(qint64 olderSize, qint64 migratedSize, qint64 withPositions)
{
    const auto percent = [](qint64 size, qint64 base) {
        return 100.0 * static_cast<double>(size - base) / static_cast<double>(base);
    };
    std::printf("archive with the week: %lld bytes at version 2, taken forward %lld bytes (+%.2f %%, a free page); "
                "with every service's position %lld bytes (+%.2f %% for the positions, goal 1 %%)\n",
                static_cast<long long>(olderSize), static_cast<long long>(migratedSize),
                percent(migratedSize, olderSize), static_cast<long long>(withPositions),
                percent(withPositions, migratedSize));
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    gui::TApplication app(argc, argv);
    testsupport::TFreshCurrentFolder folder;
    Require(folder.Entered(), "no folder");
    const QString path = archive::ArchiveFileName;

    // The week at version 2, before the uploads came: its tables are today's.
    TUploadRig rig;
    TMemoryReadingSource memory;
    {
        archive::TArchiveStore store(path);
        FillWeek(store, memory, rig.Clock.NowUtc());
        Require(sqlite3_exec(store.Connection(), "PRAGMA user_version=2; VACUUM", nullptr, nullptr, nullptr) ==
                    SQLITE_OK,
                "no version-2 archive");
    }
    const qint64 olderSize = FileSize(path);
    {
        archive::TArchiveStore migrated(path); // taken forward, nothing sent yet
        Require(migrated.IsOpen(), "the archive did not open");
    }
    const qint64 migratedSize = FileSize(path);

    std::printf("catching up %d samples per service (goals: 10 s, main-thread stall 16 ms; stalls on the wall "
                "clock / in the main thread's processor time; the stand-ins answer on a thread of their own); from the "
                "archive | baseline from memory:\n",
                WeekOfSamples);
    {
        archive::TArchiveStore store(path);
        Require(store.IsOpen(), "the archive did not open");
        TArchiveUploadQueue queue(&store);
        for (const TServiceKind kind : AllServices()) {
            const QDateTime start = rig.Clock.NowUtc();
            // Narodmon's two ways share one position: each run starts from a week back.
            Require(sqlite3_exec(store.Connection(), "DELETE FROM settings WHERE name LIKE 'upload position %'",
                                 nullptr, nullptr, nullptr) == SQLITE_OK,
                    "positions not cleared");
            const TRun fromArchive = CatchUp(rig, kind, queue, queue);
            TUploadRig memoryRig;
            memoryRig.Clock.Advance(memoryRig.Clock.NowUtc().secsTo(start));
            TMemoryPositionStore positions;
            const TRun fromMemory = CatchUp(memoryRig, kind, memory, positions);
            std::printf("  %-24s %6.2f s, stall %5.1f / %4.1f ms | %6.2f s, stall %5.1f / %4.1f ms\n",
                        Label(kind).constData(), fromArchive.Seconds, fromArchive.StallMs, fromArchive.StallCpuMs,
                        fromMemory.Seconds, fromMemory.StallMs, fromMemory.StallCpuMs);
            std::fflush(stdout);
            rig.Clock.Advance(rig.Clock.NowUtc().secsTo(start)); // the same week for the next one
        }
        for (const TServiceKind kind : AllServices())
            Require(queue.Advance(QLatin1String(Facts(kind).PositionKey), rig.Clock.NowUtc()).Ok, "no position");
    }
    const qint64 withPositions = FileSize(path);
    PrintSizes(olderSize, migratedSize, withPositions);
    return 0;
}
