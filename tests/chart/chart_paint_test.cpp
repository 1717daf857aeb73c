#include "chart/chart_math.h"
#include "tests/support/diagram_chart.h"
#include "tests/support/test_support.h"

#include <QFontMetrics>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

QColor At(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

const QColor Black(0, 0, 0);
const QColor Red(255, 0, 0);
const QColor Blue(0, 0, 255);
const QColor LightGreen(128, 255, 128);
const QColor White(255, 255, 255);

std::array<int, 24> Day(int value)
{
    std::array<int, 24> values;
    values.fill(value);
    return values;
}

int TextHeight(const QString& family, int pixels, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return QFontMetrics(font).height();
}

} // namespace

TEST(ChartPaint, MarginsGiveThePlotAreaBeforeTitleAndAxes)
{
    TDiagramChart diagram;
    diagram.Chart.Title().SetText({});
    diagram.Chart.SetAxisVisible(false);
    const QImage& image = diagram.Chart.RenderToImage();
    EXPECT_EQ(diagram.Chart.PlotLeft(), 10);
    EXPECT_EQ(diagram.Chart.PlotTop(), 6);
    EXPECT_EQ(diagram.Chart.PlotRight(), 495);
    EXPECT_EQ(diagram.Chart.PlotBottom(), 315);
    // The back wall: a black one-pixel frame on the four edges, not filled.
    for (const QPoint p : {QPoint(10, 100), QPoint(495, 100), QPoint(200, 6), QPoint(200, 315)})
        EXPECT_EQ(At(image, p.x(), p.y()), Black) << p.x() << "," << p.y();
    EXPECT_NE(At(image, 11, 100), Black);
    EXPECT_NE(At(image, 494, 100), Black);
}

TEST(ChartPaint, GradientRunsFromWhiteAtTheBottomToLightGreenAtTheTop)
{
    TDiagramChart diagram;
    const QImage& image = diagram.Chart.RenderToImage();
    ASSERT_EQ(image.size(), QSize(505, 321));
    EXPECT_EQ(At(image, 300, 320), White);
    EXPECT_EQ(At(image, 300, 0), LightGreen);
    EXPECT_EQ(At(image, 2, 160).green(), 255); // in between: green stays, red and blue fall
    EXPECT_LT(At(image, 2, 160).red(), 255);
    EXPECT_GT(At(image, 2, 160).red(), 128);

    diagram.Chart.Gradient().SetDirection(TGradientDirection::gdBottomTop);
    const QImage other = diagram.Chart.RenderToImage().copy();
    EXPECT_EQ(At(other, 300, 320), White);
    EXPECT_EQ(At(other, 300, 0), LightGreen);
}

TEST(ChartPaint, TitleShrinksThePlotAreaFromTheTop)
{
    TDiagramChart diagram;
    diagram.ShowDay(QStringLiteral("Атмосферное давление"), Day(140));
    diagram.Chart.RenderToImage();
    const int h = TextHeight(QStringLiteral("Arial"), 16, false);
    EXPECT_EQ(diagram.Chart.PlotTop(), 6 + h + 5);
    EXPECT_EQ(diagram.Chart.PlotRight(), 495); // no legend, no right axis
    const int labels = TextHeight(QStringLiteral("Arial"), 13, true);
    EXPECT_EQ(diagram.Chart.PlotBottom(), 315 - labels - 4);
    const QRect box = diagram.Chart.Title().TitleRect();
    EXPECT_EQ(box.top(), 6);
    EXPECT_EQ(box.height(), h);
    EXPECT_EQ((box.left() + box.left() + box.width()) / 2, 252); // centred over the plot area

    // An empty line still takes the height of a line.
    diagram.Chart.Title().SetLine(0, QString());
    diagram.Chart.RenderToImage();
    EXPECT_EQ(diagram.Chart.PlotTop(), 6 + h + 5);

    // The box is filled with the title's colour under a solid brush; a clear brush draws no box.
    diagram.Chart.Title().SetColor(clRed);
    EXPECT_EQ(At(diagram.Chart.RenderToImage(), 252, 8), Red);
    diagram.Chart.Title().Brush().SetStyle(TBrushStyle::bsClear);
    EXPECT_NE(At(diagram.Chart.RenderToImage(), 252, 8), Red);
    EXPECT_EQ(diagram.Chart.PlotTop(), 6 + h + 5);
}

TEST(ChartPaint, BarsStandOnTheirHoursWithTheWidthOfTheAxisLength)
{
    TDiagramChart diagram;
    std::array<int, 24> values = Day(20);
    values[5] = 255; // a missing hour: a red line at 0
    values[9] = 25;
    diagram.ShowDay(QStringLiteral("Температура в доме"), values);
    TChart& chart = diagram.Chart;
    const QImage& image = chart.RenderToImage();
    TChartAxis* bottom = chart.BottomAxis();
    TChartAxis* left = chart.LeftAxis();
    EXPECT_EQ(bottom->AxisLength(), chart.PlotWidth());
    const int barSize = [&] {
        const int w = ::chart::RoundHalfEven(0.7 * (bottom->AxisLength() / 25));
        return w % 2 ? w + 1 : w;
    }();
    EXPECT_EQ(diagram.Series->BarSize(), barSize);

    const int x9 = bottom->ValueToPixel(9) - barSize / 2;
    const int top9 = left->ValueToPixel(25);
    const int y = (top9 + chart.PlotBottom()) / 2;    // the bars stand on 0, below the axis range
    EXPECT_EQ(At(image, x9, y), Black);               // outline, left edge
    EXPECT_EQ(At(image, x9 + barSize - 1, y), Black); // outline, right edge
    EXPECT_EQ(At(image, x9 + 1, y), Blue);
    EXPECT_EQ(At(image, x9 + barSize - 2, y), Blue);
    EXPECT_NE(At(image, x9 - 1, y), Blue);
    EXPECT_NE(At(image, x9 + barSize, y), Blue);
    EXPECT_EQ(At(image, x9 + barSize / 2, top9), Black); // top edge
    EXPECT_EQ(At(image, x9 + barSize / 2, top9 + 1), Blue);
}

TEST(ChartPaint, MissingHourIsARedLineOnTheZeroLine)
{
    TDiagramChart diagram;
    std::array<int, 24> values = Day(3);
    values[0] = -5;
    values[7] = 255;
    diagram.ShowDay(QStringLiteral("Температура на улице"), values);
    TChart& chart = diagram.Chart;
    const QImage& image = chart.RenderToImage();
    const int zero = chart.LeftAxis()->ValueToPixel(0);
    const int barSize = diagram.Series->BarSize();
    const int x7 = chart.BottomAxis()->ValueToPixel(7) - barSize / 2;
    for (int x = x7; x < x7 + barSize; ++x)
        EXPECT_EQ(At(image, x, zero), Red) << x;
    EXPECT_NE(At(image, x7 + barSize, zero), Red);
    EXPECT_NE(At(image, x7 + barSize / 2, zero - 1), Red);
    EXPECT_NE(At(image, x7 + barSize / 2, zero + 1), Red);
    // The -5 bar reaches down from the zero line.
    const int x0 = chart.BottomAxis()->ValueToPixel(0) - barSize / 2;
    EXPECT_EQ(At(image, x0 + 2, zero + 3), Blue);
    // Its outline leaves out the bottom edge, as every rectangle does.
    EXPECT_EQ(At(image, x0 + 2, chart.LeftAxis()->ValueToPixel(-5) - 1), Black);
    EXPECT_NE(At(image, x0 + 2, chart.LeftAxis()->ValueToPixel(-5)), Blue);
}

TEST(ChartPaint, MissingHourOutsideTheAxisRangeIsClippedAway)
{
    TDiagramChart diagram;
    std::array<int, 24> values = Day(750);
    values[12] = 255;
    diagram.ShowDay(QStringLiteral("Атмосферное давление"), values);
    TChart& chart = diagram.Chart;
    const QImage& image = chart.RenderToImage();
    EXPECT_GT(chart.LeftAxis()->ValueToPixel(0), chart.PlotBottom());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_NE(At(image, x, y), Red) << x << "," << y;
}

TEST(ChartPaint, DayWithoutValuesShowsRedPiecesAcrossTheMiddle)
{
    TDiagramChart diagram;
    diagram.ShowDay(QStringLiteral("Относительная влажность"), Day(255));
    TChart& chart = diagram.Chart;
    EXPECT_EQ(chart.LeftAxis()->Minimum(), 0);
    EXPECT_EQ(chart.LeftAxis()->Maximum(), 0);
    const QImage& image = chart.RenderToImage();
    const int middle = chart.LeftAxis()->CenterPixel();
    for (int h : {0, 11, 23})
        EXPECT_EQ(At(image, chart.BottomAxis()->ValueToPixel(h), middle), Red) << h;
}

TEST(ChartPaint, ChangesInOneEventGiveOnePaint)
{
    TDiagramChart diagram;
    TChart& chart = diagram.Chart;
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart, testsupport::EventDeadlineMs));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return chart.DrawCount() > 0 && !chart.Dirty(); }));
    ASSERT_TRUE(testsupport::PumpPosted());
    const int draws = chart.DrawCount();
    const int paints = chart.PaintCount();

    diagram.ShowDay(QStringLiteral("Температура в доме"), Day(21)); // title, two axis ends, 25 series changes
    chart.SetMarginTop(3);
    EXPECT_TRUE(chart.Dirty());
    EXPECT_EQ(chart.DrawCount(), draws); // nothing is drawn inside the event
    ASSERT_TRUE(testsupport::PumpUntil([&] { return chart.PaintCount() > paints; }));
    ASSERT_TRUE(testsupport::PumpPosted());
    EXPECT_EQ(chart.DrawCount(), draws + 1);
    EXPECT_FALSE(chart.Dirty());

    // Equal values change nothing; a paint request without a change only copies the image.
    chart.LeftAxis()->SetMaximum(chart.LeftAxis()->Maximum());
    chart.SetMarginTop(3);
    EXPECT_FALSE(chart.Dirty());
    const int paintsBefore = chart.PaintCount();
    chart.update();
    ASSERT_TRUE(testsupport::PumpUntil([&] { return chart.PaintCount() > paintsBefore; }));
    EXPECT_EQ(chart.DrawCount(), draws + 1);
}

TEST(ChartPaint, Chart3DPercentOutsideItsRange)
{
    TChart chart;
    try {
        chart.SetChart3DPercent(0);
        FAIL();
    } catch (const ChartException& error) {
        EXPECT_STREQ(error.what(), "3D effect percent must be between 1 and 100");
    }
    EXPECT_THROW(chart.SetChart3DPercent(101), ChartException);
    EXPECT_EQ(chart.Chart3DPercent(), 15);
}

TEST(ChartPaint, LegendWithItemsTakesRoomAtTheLeft)
{
    TDiagramChart diagram;
    diagram.ShowDay(QStringLiteral("Температура в доме"), Day(21));
    diagram.Series->SetShowInLegend(true);
    diagram.Chart.RenderToImage();
    const QRect legend = diagram.Chart.Legend().LegendRect();
    ASSERT_FALSE(legend.isEmpty());
    EXPECT_EQ(legend.left(), 10);
    EXPECT_GT(diagram.Chart.PlotLeft(), legend.left() + legend.width());
}

TEST(ChartPaint, SqueezedChartKeepsAPlotArea)
{
    TDiagramChart diagram;
    diagram.Chart.resize(30, 20);
    diagram.ShowDay(QStringLiteral("Температура в доме"), Day(21));
    diagram.Chart.RenderToImage();
    EXPECT_GE(diagram.Chart.PlotWidth(), 1);
    EXPECT_GE(diagram.Chart.PlotHeight(), 1);
    diagram.Chart.resize(0, 0);
    EXPECT_TRUE(diagram.Chart.RenderToImage().isNull());
}

// The chart keeps what it worked out in one repaint for the next (the gradient's bands, each text's
// pixels where it was drawn): after any change, a repaint must give the picture a new chart gives.
TEST(ChartPaint, RepaintAfterAChangeEqualsAFirstPaint)
{
    using TChange = std::function<void(TDiagramChart&)>;
    const std::vector<std::pair<const char*, TChange>> changes = {
        {"nothing", [](TDiagramChart&) {}},
        {"gradient colour under the texts", [](TDiagramChart& d) { d.Chart.Gradient().SetStartColor(clYellow); }},
        {"gradient direction",
         [](TDiagramChart& d) { d.Chart.Gradient().SetDirection(TGradientDirection::gdFromCenter); }},
        {"no gradient", [](TDiagramChart& d) { d.Chart.Gradient().SetVisible(false); }},
        {"title colour", [](TDiagramChart& d) { d.Chart.Title().Font().SetColor(clRed); }},
        {"labels' colour", [](TDiagramChart& d) { d.Chart.LeftAxis()->LabelsFont().SetColor(clRed); }},
        {"other values and labels", [](TDiagramChart& d) { d.ShowDay(QStringLiteral("Влажность"), Day(40)); }},
        {"bars' marks over the grid", [](TDiagramChart& d) { d.Series->Marks().SetVisible(true); }},
        {"size", [](TDiagramChart& d) { d.Chart.resize(480, 300); }},
        {"labels turned", [](TDiagramChart& d) { d.Chart.BottomAxis()->SetLabelsAngle(90); }},
    };
    std::array<int, 24> first{};
    for (std::size_t h = 0; h < first.size(); ++h)
        first[h] = 748 + static_cast<int>(h * 7 % 11);
    for (const auto& [name, change] : changes) {
        TDiagramChart repainted;
        repainted.ShowDay(QStringLiteral("Атмосферное давление"), first);
        repainted.Chart.RenderToImage();
        change(repainted);
        const QImage second = repainted.Chart.RenderToImage();

        TDiagramChart fresh;
        fresh.ShowDay(QStringLiteral("Атмосферное давление"), first);
        change(fresh);
        EXPECT_TRUE(second == fresh.Chart.RenderToImage()) << name;
    }
}
