// The archive at the size of ten years: 87,600 station hours and 1,051,200 live samples. Each
// figure is printed beside a baseline measured in the same run, in the same folder:
//   - merging a full download (4096 hours) into it, goal 50 ms, beside a plain flushed write of
//     the image's 32,768 bytes and the save of "met.mtb" that follows every download anyway;
//   - the year view (the archive's query, the view and the chart drawn), goal 50 ms, beside the
//     query alone and the chart drawn alone;
//   - the CSV export of all ten years, goal 2 s, beside a plain flushed write of the same bytes.
#include "archive/archive_csv.h"
#include "archive/archive_store.h"
#include "bench/support/ten_year_archive.h"
#include "chart/chart.h"
#include "core/archive_records.h"
#include "core/history_file.h"
#include "station/archive_page.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

using namespace archive;
using benchsupport::FirstDay;
using benchsupport::LastDay;
using benchsupport::Weather;
using benchsupport::Years;

namespace {

QTemporaryDir& Folder()
{
    static QTemporaryDir folder;
    return folder;
}

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "archive bench: %s\n", what);
        std::abort();
    }
}

TArchiveStore& TenYears()
{
    static TArchiveStore* store = [] {
        auto* s = new TArchiveStore(QDir(Folder().path()).filePath(ArchiveFileName));
        Require(s->IsOpen(), "no archive");
        Require(benchsupport::FillTenYears(*s), "ten years' fixture");
        return s;
    }();
    return *store;
}

// A full download of the last 4096 hours; `changed` makes every value differ from the archive's.
THistoryImage Download(bool changed)
{
    THistoryImage image;
    const THourKey first = HourKey(LastDay, 23) - HistoryRecordCount + 1;
    for (int r = 0; r < HistoryRecordCount; ++r) {
        const THourKey hour = first + r;
        const QDate date = DateOfHour(hour);
        const auto w = Weather(hour);
        std::uint8_t* out = image.data() + static_cast<std::ptrdiff_t>(8) * r;
        out[0] = static_cast<std::uint8_t>(w[0] + (changed ? 1 : 0));
        out[1] = EncodeOutdoorTemperature(w[1]);
        out[2] = EncodePressure(w[2]);
        out[3] = static_cast<std::uint8_t>(w[3]);
        out[4] = static_cast<std::uint8_t>(HourOfDay(hour));
        out[5] = static_cast<std::uint8_t>(date.day());
        out[6] = static_cast<std::uint8_t>(date.month());
        out[7] = static_cast<std::uint8_t>(date.year() - 2000);
    }
    return image;
}

void PlainWrite(const QString& name, const QByteArray& bytes)
{
    const std::string path = QDir(Folder().path()).filePath(name).toStdString();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Require(fd >= 0 && ::write(fd, bytes.constData(), static_cast<std::size_t>(bytes.size())) == bytes.size() &&
                ::fsync(fd) == 0,
            "plain write");
    ::close(fd);
}

void BM_MergeFullDownloadEveryHourChanged(benchmark::State& st)
{
    TArchiveStore& store = TenYears();
    const THistoryImage images[2] = {Download(true), Download(false)};
    // The benchmark runs this function more than once: the archive holds what the last run left.
    static int i = 0;
    for (auto _ : st) {
        const TMergeResult result = store.Merge(ArchiveHoursOfImage(images[i++ % 2]).Hours);
        Require(result.Ok && result.Conflicts == HistoryRecordCount, "merge");
    }
    st.SetLabel("goal <= 50 ms");
}
BENCHMARK(BM_MergeFullDownloadEveryHourChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MergeFullDownloadAlreadyArchived(benchmark::State& st)
{
    TArchiveStore& store = TenYears();
    const THistoryImage image = Download(false);
    store.Merge(ArchiveHoursOfImage(image).Hours);
    for (auto _ : st) {
        const TMergeResult result = store.Merge(ArchiveHoursOfImage(image).Hours);
        Require(result.Ok && result.Unchanged == HistoryRecordCount, "merge");
    }
    st.SetLabel("goal <= 50 ms");
}
BENCHMARK(BM_MergeFullDownloadAlreadyArchived)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BaselinePlainFlushedWriteOfTheImage(benchmark::State& st)
{
    const THistoryImage image = Download(true);
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), HistoryImageSize);
    for (auto _ : st)
        PlainWrite(QStringLiteral("image.bin"), bytes);
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselinePlainFlushedWriteOfTheImage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BaselineSaveOfMetMtb(benchmark::State& st)
{
    THistoryState state;
    state.HistoryImage = Download(true);
    const QString path = QDir(Folder().path()).filePath(HistoryFileName);
    for (auto _ : st)
        SaveHistoryFile(state, path);
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselineSaveOfMetMtb)->Unit(benchmark::kMillisecond)->UseRealTime();

TArchivePage& Page()
{
    static TArchivePage* page = [] {
        auto* p = new TArchivePage;
        p->resize(607, 326);
        p->SetStore(&TenYears());
        p->SetQuantity(base::TQuantity::OutdoorTemperature);
        return p;
    }();
    return *page;
}

// A year is read off the main thread: the page shows it once its answer has come.
void ShownAfterItsRead(TArchivePage& page, const TPeriod& period)
{
    while (!(page.View().Period == period))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BM_YearViewQueryAndChart(benchmark::State& st)
{
    TArchivePage& page = Page();
    static int year = 0;
    for (auto _ : st) {
        const QDate date = FirstDay.addYears(year++ % Years);
        page.ShowPeriod(TPeriodKind::Year, date);
        ShownAfterItsRead(page, PeriodContaining(TPeriodKind::Year, date));
        benchmark::DoNotOptimize(page.ArchiveChart->RenderToImage());
    }
    Require(page.View().Statistics.HoursWithData >= 365 * 24, "a year without its hours");
    st.SetLabel("goal <= 50 ms");
}
BENCHMARK(BM_YearViewQueryAndChart)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BaselineYearQueryAlone(benchmark::State& st)
{
    TArchiveStore& store = TenYears();
    static int year = 0;
    for (auto _ : st) {
        const TPeriod period = PeriodContaining(TPeriodKind::Year, FirstDay.addYears(year++ % Years));
        benchmark::DoNotOptimize(store.Hours(period.FirstHour(), period.LastHour()));
    }
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselineYearQueryAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BaselineYearChartDrawnAlone(benchmark::State& st)
{
    TArchivePage& page = Page();
    page.ShowPeriod(TPeriodKind::Year, FirstDay.addYears(3));
    ShownAfterItsRead(page, PeriodContaining(TPeriodKind::Year, FirstDay.addYears(3)));
    for (auto _ : st) {
        page.ArchiveChart->Invalidate();
        benchmark::DoNotOptimize(page.ArchiveChart->RenderToImage());
    }
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselineYearChartDrawnAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CsvExportOfTenYears(benchmark::State& st)
{
    TArchiveStore& store = TenYears();
    const THourKey first = HourKey(FirstDay, 0);
    const THourKey last = HourKey(LastDay, 23);
    const QString path = QDir(Folder().path()).filePath(QStringLiteral("ten-years.csv"));
    qsizetype size = 0;
    for (auto _ : st) {
        const QByteArray csv = ArchiveCsv(store.Hours(first, last), first, last);
        os::ReplaceFileAtomically(path, csv);
        size = csv.size();
    }
    st.SetBytesProcessed(st.iterations() * size);
    st.SetLabel("goal <= 2 s");
}
BENCHMARK(BM_CsvExportOfTenYears)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BaselinePlainFlushedWriteOfTheCsv(benchmark::State& st)
{
    TArchiveStore& store = TenYears();
    const THourKey first = HourKey(FirstDay, 0);
    const THourKey last = HourKey(LastDay, 23);
    const QByteArray csv = ArchiveCsv(store.Hours(first, last), first, last);
    for (auto _ : st)
        PlainWrite(QStringLiteral("plain.csv"), csv);
    st.SetBytesProcessed(st.iterations() * csv.size());
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselinePlainFlushedWriteOfTheCsv)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
