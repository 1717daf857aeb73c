// Repaints of the diagram's chart (505 x 321): a dirty paint draws everything into the kept image,
// a clean paint only copies it; both copy the image to a target as a paint does. The full repaint
// runs with the day's 24 bars (the figure to hold against other chart libraries) and with 2,400
// and 24,000 bars, as a long archive period gives; beside each runs the baseline of the same run,
// QPainter filling the same bar rectangles on a plain image: what drawing the bars alone costs.
// Set METEO_CHART_PNG to a file name to save the drawn picture.
#include "chart/chart_axis.h"
#include "tests/support/diagram_chart.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

std::array<int, 24> SampleDay()
{
    std::array<int, 24> values{};
    for (std::size_t h = 0; h < values.size(); ++h)
        values[h] = 748 + static_cast<int>(h * 7 % 11);
    values[3] = 255;
    values[17] = 255;
    return values;
}

// A day's bars for 24; for more, bars of the same kind of values on an hour axis as long as they.
void ShowBars(TDiagramChart& diagram, int count)
{
    if (count == DayHours) {
        diagram.ShowDay(QStringLiteral("Атмосферное давление"), SampleDay());
        return;
    }
    diagram.Chart.Title().SetLine(0, QStringLiteral("Атмосферное давление"));
    diagram.Series->ClearPoints();
    diagram.Chart.BottomAxis()->SetMinMax(-1, count);
    diagram.Chart.LeftAxis()->SetMinMax(747, 759);
    for (int i = 0; i < count; ++i) {
        const bool missing = i % 37 == 5;
        diagram.Series->AddPoint(i, missing ? 0 : 748 + i * 7 % 11, QString(), missing ? clRed : clBlue);
    }
}

// The day's 24 bars, and as many as a long archive period gives; medians of seven runs each.
void ForEachBarCount(benchmark::internal::Benchmark* family)
{
    family->Arg(24)->Arg(2400)->Arg(24000)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);
}

void BM_FullRepaint(benchmark::State& state)
{
    TDiagramChart diagram;
    ShowBars(diagram, static_cast<int>(state.range(0)));
    QImage target(DayChartWidth, DayChartHeight, QImage::Format_RGB32);
    QPainter painter(&target);
    for (auto _ : state) {
        diagram.Chart.Invalidate();
        diagram.Chart.PaintInto(painter);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_FullRepaint)->Apply(ForEachBarCount);

// The baseline: the bars' rectangles of the same layout filled by QPainter, one at a time, each at
// least a pixel wide.
void BM_BareFill(benchmark::State& state)
{
    TDiagramChart diagram;
    const int count = static_cast<int>(state.range(0));
    ShowBars(diagram, count);
    diagram.Chart.RenderToImage();
    std::vector<std::pair<QRect, QColor>> bars;
    for (int i = 0; i < count; ++i) {
        const TChartRect r = diagram.Series->PointBarRect(i);
        bars.emplace_back(QRect(r.Left, r.Top, std::max(1, r.Right - r.Left), r.Bottom - r.Top),
                          QColor(diagram.Series->PointColor(i) == clRed ? Qt::red : Qt::blue));
    }
    QImage target(DayChartWidth, DayChartHeight, QImage::Format_RGB32);
    QPainter painter(&target);
    for (auto _ : state) {
        for (const auto& [rect, color] : bars)
            painter.fillRect(rect, color);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_BareFill)->Apply(ForEachBarCount);

void BM_CleanPaint(benchmark::State& state)
{
    TDiagramChart diagram;
    diagram.ShowDay(QStringLiteral("Атмосферное давление"), SampleDay());
    QImage target(DayChartWidth, DayChartHeight, QImage::Format_RGB32);
    QPainter painter(&target);
    diagram.Chart.PaintInto(painter);
    for (auto _ : state) {
        diagram.Chart.PaintInto(painter);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_CleanPaint)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

// The console output as usual, and the medians kept for the summary lines at the end.
class TMedianReporter : public benchmark::ConsoleReporter
{
public:
    TMedianReporter()
        : ConsoleReporter(OO_None)
    {
    }

    struct TMedian
    {
        double Wall;
        double Cpu;
    };
    // Medians by benchmark and argument ("BM_FullRepaint/24"), in microseconds.
    std::map<std::string, TMedian> Medians;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                Medians[run.run_name.function_name + "/" + run.run_name.args] =
                    TMedian{run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintSummary(const TMedianReporter& reporter)
{
    struct TGoal
    {
        int Bars;
        double Microseconds;
    };
    std::printf("\n");
    for (const TGoal goal : {TGoal{24, 100}, TGoal{2400, 250}, TGoal{24000, 2500}}) {
        const auto repaint = reporter.Medians.find("BM_FullRepaint/" + std::to_string(goal.Bars));
        const auto fill = reporter.Medians.find("BM_BareFill/" + std::to_string(goal.Bars));
        if (repaint == reporter.Medians.end() || fill == reporter.Medians.end())
            continue;
        std::printf("full repaint %d bars (%d x %d): median %.1f us (goal < %.0f us; CPU %.1f us); "
                    "baseline, QPainter filling the same bars alone: %.1f us (CPU %.1f us)\n",
                    goal.Bars, DayChartWidth, DayChartHeight, repaint->second.Wall, goal.Microseconds,
                    repaint->second.Cpu, fill->second.Wall, fill->second.Cpu);
    }
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (const char* file = std::getenv("METEO_CHART_PNG")) {
        TDiagramChart diagram;
        std::array<int, 24> values = SampleDay();
        diagram.ShowDay(QStringLiteral("Атмосферное давление"), values);
        diagram.Chart.RenderToImage().save(QString::fromLocal8Bit(file));
        TDiagramChart outdoor;
        for (std::size_t h = 0; h < values.size(); ++h)
            values[h] = (h % 5 == 2) ? 255 : static_cast<int>(h / 2) - 5;
        outdoor.ShowDay(QStringLiteral("Температура на улице"), values);
        outdoor.Chart.RenderToImage().save(
            QString::fromLocal8Bit(file).replace(QStringLiteral(".png"), QStringLiteral("-2.png")));
    }
    benchmark::Initialize(&argc, argv);
    TMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter);
    benchmark::Shutdown();
    return 0;
}
