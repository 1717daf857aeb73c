// The tray icon's picture per report of the station: when the shown number changes (every tray
// size drawn anew and made into the icon) and when it does not (the usual report: nothing drawn).
// Beside them the baseline of the same run: QPainter filling each size and drawing the number as
// plain text, what the least picture of a number costs. The goal: at most 1 ms per report.
#include "desktop/tray_picture.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

namespace {

void Timing(benchmark::internal::Benchmark* family)
{
    family->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);
}

// Each report a new number, as a temperature crossing from one degree to the next.
void BM_TrayRedraw(benchmark::State& state)
{
    desktop::TTrayPicture picture;
    int report = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(picture.Update(-20.0 + report++ % 45));
        benchmark::DoNotOptimize(picture.Icon().cacheKey());
    }
}
BENCHMARK(BM_TrayRedraw)->Apply(Timing);

// Reports whose rounded temperature is the one shown.
void BM_TrayUnchanged(benchmark::State& state)
{
    desktop::TTrayPicture picture;
    picture.Update(-7.2);
    int report = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(picture.Update(-7.0 + (report++ % 5) / 10.0));
}
BENCHMARK(BM_TrayUnchanged)->Apply(Timing);

void BM_BareText(benchmark::State& state)
{
    QFont font;
    font.setBold(true);
    int report = 0;
    for (auto _ : state) {
        const QString text = QString::number(-20 + report++ % 45);
        for (const int size : desktop::TrayPictureSizes) {
            QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::blue);
            QPainter painter(&image);
            font.setPixelSize(size / 2);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(image.rect(), Qt::AlignCenter, text);
            painter.end();
            benchmark::DoNotOptimize(image.constBits());
        }
    }
}
BENCHMARK(BM_BareText)->Apply(Timing);

class TMedianReporter : public benchmark::ConsoleReporter
{
public:
    TMedianReporter()
        : ConsoleReporter(OO_None)
    {
    }
    std::map<std::string, double> Medians; // microseconds

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                Medians[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.Medians.size() == 3)
        std::printf("\ntray icon per report, the number changed (%zu sizes drawn, icon made): median %.1f us "
                    "(goal <= 1000 us); the number unchanged: %.3f us; baseline, QPainter filling the same sizes "
                    "and drawing the number as text: %.1f us\n",
                    std::size(desktop::TrayPictureSizes), reporter.Medians["BM_TrayRedraw"],
                    reporter.Medians["BM_TrayUnchanged"], reporter.Medians["BM_BareText"]);
    benchmark::Shutdown();
    return 0;
}
