// The web page's year chart on the ten-year archive: the answer of /api/v1/chart?period=year (the
// read through the server's own read-only connection, the archive page's view and the JSON), goal
// 50 ms, beside the read of the year's hours alone in the same run.
#include "archive/archive_period.h"
#include "bench/support/ten_year_archive.h"
#include "web/web_api.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

using namespace archive;
using benchsupport::FirstDay;
using benchsupport::Years;

namespace {

QString TenYearsPath()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        const QString file = QDir(folder.path()).filePath(ArchiveFileName);
        TArchiveStore store(file);
        if (!store.IsOpen() || !benchsupport::FillTenYears(store)) {
            std::fprintf(stderr, "web bench: no ten-year archive\n");
            std::abort();
        }
        return file;
    }();
    return path;
}

void BM_YearChartAnswer(benchmark::State& st)
{
    TArchiveReader reader(TenYearsPath());
    int year = 0;
    qsizetype bytes = 0;
    for (auto _ : st) {
        const QDate date = FirstDay.addYears(year++ % Years);
        const QUrlQuery query(QStringLiteral("period=year&quantity=outdoor&date=") + date.toString(Qt::ISODate));
        const web::TWebResponse answer = web::ChartAnswer(reader, query);
        if (answer.Status != 200)
            std::abort();
        bytes = answer.Body.size();
    }
    st.counters["bytes"] = static_cast<double>(bytes);
    st.SetLabel("goal <= 50 ms");
}
BENCHMARK(BM_YearChartAnswer)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BaselineYearReadAlone(benchmark::State& st)
{
    TArchiveReader reader(TenYearsPath());
    int year = 0;
    for (auto _ : st) {
        const TPeriod period = PeriodContaining(TPeriodKind::Year, FirstDay.addYears(year++ % Years));
        benchmark::DoNotOptimize(reader.Hours(period.FirstHour(), period.LastHour()));
    }
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselineYearReadAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
