// One repaint of the diagram's chart (505 x 321, 24 bars): a dirty paint draws everything into the
// kept image, a clean paint only copies it; both copy the image to a target as a paint does.
// Set METEO_CHART_PNG to a file name to save the drawn picture.
#include "tests/support/diagram_chart.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>

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

void BM_FullRepaint(benchmark::State& state)
{
    TDiagramChart diagram;
    diagram.ShowDay(QStringLiteral("Атмосферное давление"), SampleDay());
    QImage target(505, 321, QImage::Format_RGB32);
    QPainter painter(&target);
    for (auto _ : state) {
        diagram.Chart.Invalidate();
        diagram.Chart.PaintInto(painter);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_CleanPaint(benchmark::State& state)
{
    TDiagramChart diagram;
    diagram.ShowDay(QStringLiteral("Атмосферное давление"), SampleDay());
    QImage target(505, 321, QImage::Format_RGB32);
    QPainter painter(&target);
    diagram.Chart.PaintInto(painter);
    for (auto _ : state) {
        diagram.Chart.PaintInto(painter);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_CleanPaint)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

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
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
