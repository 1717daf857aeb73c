// The web page's archive answers on the ten-year archive, each beside the read of its hours alone
// in the same run: the year chart, /api/v1/chart?period=year (the read through the server's own
// read-only connection, the archive page's view and the JSON), goal 50 ms; and the month's climate
// summary, /api/v1/summary/month (the read, a row per day and the JSON the records page asks for),
// goal 50 ms.
#include "archive/archive_period.h"
#include "bench/support/ten_year_archive.h"
#include "web/web_api.h"
#include "web/web_climate.h"

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

// Each run a month further on, through all 120 months of the archive.
QDate NextMonth(int& month)
{
    return FirstDay.addMonths(month++ % (Years * 12));
}

void BM_MonthSummaryAnswer(benchmark::State& st)
{
    TArchiveReader reader(TenYearsPath());
    int month = 0;
    qsizetype bytes = 0;
    for (auto _ : st) {
        const QDate first = NextMonth(month);
        const QUrlQuery query(QStringLiteral("year=%1&month=%2").arg(first.year()).arg(first.month()));
        const web::TWebResponse answer = web::MonthSummaryAnswer(reader, query);
        if (answer.Status != 200)
            std::abort();
        bytes = answer.Body.size();
    }
    st.counters["bytes"] = static_cast<double>(bytes);
    st.SetLabel("goal <= 50 ms");
}
BENCHMARK(BM_MonthSummaryAnswer)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BaselineMonthReadAlone(benchmark::State& st)
{
    TArchiveReader reader(TenYearsPath());
    int month = 0;
    for (auto _ : st) {
        const QDate first = NextMonth(month);
        const QDate last = first.addMonths(1).addDays(-1);
        benchmark::DoNotOptimize(reader.Hours(HourKey(first, 0), HourKey(last, 23)));
    }
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselineMonthReadAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
