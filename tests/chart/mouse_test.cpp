#include "tests/support/diagram_chart.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

// The diagram chart shown on screen (offscreen), laid out by a first paint.
struct TShownDiagram : TDiagramChart
{
    explicit TShownDiagram(int value = 20)
    {
        std::array<int, 24> values;
        values.fill(value);
        values[3] = 255;
        ShowDay(QStringLiteral("Температура в доме"), values);
        Chart.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Chart, testsupport::EventDeadlineMs));
        Chart.RenderToImage();
    }

    void Drag(Qt::MouseButton button, QPoint from, QPoint to)
    {
        QTest::mousePress(&Chart, button, Qt::NoModifier, from);
        QTest::mouseMove(&Chart, (from + to) / 2);
        QTest::mouseMove(&Chart, to);
        QTest::mouseRelease(&Chart, button, Qt::NoModifier, to);
    }

    void Wheel(int delta)
    {
        const QPointF at(200, 150);
        QWheelEvent event(at, Chart.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&Chart, &event);
    }
};

struct TRange
{
    double Minimum;
    double Maximum;
};

TRange RangeOf(const TChartAxis* axis)
{
    return {axis->Minimum(), axis->Maximum()};
}

} // namespace

TEST(ChartMouse, LeftDragRightAndDownZoomsAndADragBackRestores)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    ASSERT_TRUE(chart.PlotRect().contains(100, 50));
    ASSERT_TRUE(chart.PlotRect().contains(200, 150));
    const double x0 = chart.BottomAxis()->PixelToValue(100);
    const double x1 = chart.BottomAxis()->PixelToValue(200);
    const double yTop = chart.LeftAxis()->PixelToValue(50);
    const double yBottom = chart.LeftAxis()->PixelToValue(150);
    int zooms = 0;
    int undos = 0;
    chart.OnZoom = [&](TChart*) { ++zooms; };
    chart.OnUndoZoom = [&](TChart*) { ++undos; };

    diagram.Drag(Qt::LeftButton, QPoint(100, 50), QPoint(200, 150));
    EXPECT_EQ(zooms, 1);
    EXPECT_TRUE(chart.Zoomed());
    EXPECT_FALSE(chart.ZoomDrag().Active);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Minimum(), x0);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Maximum(), x1);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), yBottom);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Maximum(), yTop);
    EXPECT_DOUBLE_EQ(chart.TopAxis()->Minimum(), chart.TopAxis()->PixelToValue(100));
    EXPECT_FALSE(chart.ScalesRestored());
    EXPECT_DOUBLE_EQ(chart.SavedScales()[1].Minimum, -1); // bottom axis, as before the zoom
    EXPECT_DOUBLE_EQ(chart.SavedScales()[1].Maximum, 24);
    EXPECT_DOUBLE_EQ(chart.SavedScales()[2].Minimum, 19); // left axis
    EXPECT_DOUBLE_EQ(chart.SavedScales()[2].Maximum, 21);
    EXPECT_TRUE(chart.Dirty());

    // A second zoom inside the first keeps the scales saved at the first.
    chart.RenderToImage();
    diagram.Drag(Qt::LeftButton, QPoint(100, 50), QPoint(200, 150));
    EXPECT_EQ(zooms, 2);
    EXPECT_DOUBLE_EQ(chart.SavedScales()[1].Minimum, -1);

    chart.RenderToImage();
    diagram.Drag(Qt::LeftButton, QPoint(200, 150), QPoint(100, 50));
    EXPECT_EQ(undos, 1);
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_TRUE(chart.ScalesRestored());
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Minimum(), -1);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Maximum(), 24);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), 19);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Maximum(), 21);
    EXPECT_FALSE(chart.BottomAxis()->Automatic());

    // Dragging up and right (not right and down) also restores, even with nothing to restore.
    chart.RenderToImage();
    diagram.Drag(Qt::LeftButton, QPoint(100, 150), QPoint(200, 50));
    EXPECT_EQ(undos, 2);
    EXPECT_EQ(zooms, 2);
}

TEST(ChartMouse, DragsOfSixteenPixelsOrLessDoNothing)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    int events = 0;
    chart.OnZoom = [&](TChart*) { ++events; };
    chart.OnUndoZoom = [&](TChart*) { ++events; };
    diagram.Drag(Qt::LeftButton, QPoint(100, 50), QPoint(116, 150));
    diagram.Drag(Qt::LeftButton, QPoint(100, 50), QPoint(200, 66));
    diagram.Drag(Qt::LeftButton, QPoint(116, 150), QPoint(100, 50));
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(chart.ScalesRestored());
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Minimum(), -1);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Maximum(), 24);
    EXPECT_FALSE(chart.Dirty());
    // 17 pixels each way is enough.
    diagram.Drag(Qt::LeftButton, QPoint(100, 50), QPoint(117, 67));
    EXPECT_EQ(events, 1);
}

TEST(ChartMouse, PressesOutsideSeriesAxesAndPlotAreaStartNoDrag)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    const QRect title = chart.Title().TitleRect();
    ASSERT_FALSE(title.isEmpty());
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, title.center().x(), title.center().y());
    EXPECT_FALSE(chart.ZoomDrag().Active);
    chart.MouseUp(Qt::LeftButton, Qt::NoModifier, title.center().x(), title.center().y());

    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, 3, 3); // the margin
    EXPECT_FALSE(chart.ZoomDrag().Active);
    chart.MouseDown(Qt::RightButton, Qt::NoModifier, 3, 3);
    EXPECT_FALSE(chart.PanDrag().Active);

    // On the bottom axis' labels a press does start one; the middle button starts nothing.
    const int labelsY = chart.BottomAxis()->LabelsPos() + 3;
    chart.MouseDown(Qt::MiddleButton, Qt::NoModifier, 200, labelsY);
    EXPECT_FALSE(chart.ZoomDrag().Active);
    EXPECT_FALSE(chart.PanDrag().Active);
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, 200, labelsY);
    EXPECT_TRUE(chart.ZoomDrag().Active);
    // A second press during the drag changes nothing.
    chart.MouseDown(Qt::RightButton, Qt::NoModifier, 220, 100);
    EXPECT_FALSE(chart.PanDrag().Active);
    chart.MouseUp(Qt::LeftButton, Qt::NoModifier, 200, labelsY);

    chart.SetAllowZoom(false);
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, 200, 100);
    EXPECT_FALSE(chart.ZoomDrag().Active);
}

TEST(ChartMouse, ClickEventsFindThePartAndMayCancelTheDrag)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    const int x9 = chart.BottomAxis()->ValueToPixel(9);
    const int y9 = (chart.LeftAxis()->ValueToPixel(20) + chart.PlotBottom()) / 2;

    std::vector<QString> calls;
    int seriesIndex = -1;
    int ownClicks = 0;
    diagram.Series->OnClick = [&](TChartSeries*, int index) { ownClicks += index == 9; };
    chart.OnClickSeries = [&](TChart*, TChartSeries* series, int index, Qt::MouseButton, Qt::KeyboardModifiers, int,
                              int) {
        calls.push_back(QStringLiteral("series"));
        seriesIndex = series == diagram.Series ? index : -2;
    };
    chart.OnClickBackground = [&](TChart*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        calls.push_back(QStringLiteral("background"));
    };
    chart.OnClickAxis = [&](TChart*, TChartAxis* axis, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        calls.push_back(axis == chart.BottomAxis() ? QStringLiteral("bottom") : QStringLiteral("other axis"));
        chart.CancelMouse = false; // this handler lets the drag go on
    };

    // An assigned handler that leaves CancelMouse set cancels the drag and the final background call.
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, x9, y9);
    EXPECT_EQ(calls, std::vector<QString>{QStringLiteral("series")});
    EXPECT_EQ(seriesIndex, 9);
    EXPECT_EQ(ownClicks, 1);
    EXPECT_FALSE(chart.ZoomDrag().Active);
    EXPECT_FALSE(chart.CancelMouse);

    calls.clear();
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, 200, chart.BottomAxis()->LabelsPos() + 3);
    EXPECT_EQ(calls, (std::vector<QString>{QStringLiteral("bottom"), QStringLiteral("background")}));
    EXPECT_TRUE(chart.ZoomDrag().Active);
    chart.MouseUp(Qt::LeftButton, Qt::NoModifier, 200, 100);

    // Between the bars, in the plot area: the background handler cancels.
    calls.clear();
    const int between = (chart.BottomAxis()->ValueToPixel(9) + chart.BottomAxis()->ValueToPixel(10)) / 2;
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, between, y9);
    EXPECT_EQ(calls, std::vector<QString>{QStringLiteral("background")});
    EXPECT_FALSE(chart.ZoomDrag().Active);

    // A handler on the press itself can stop everything.
    calls.clear();
    chart.OnMouseDown = [&](TChart*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { chart.CancelMouse = true; };
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, x9, y9);
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(chart.CancelMouse);
}

TEST(ChartMouse, RightDragPansEveryAxisOfTheDirection)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    // Make the bottom axis exactly 450 pixels long.
    chart.resize(chart.width() + 450 - chart.BottomAxis()->AxisLength(), chart.height());
    chart.RenderToImage();
    ASSERT_EQ(chart.BottomAxis()->AxisLength(), 450);
    int scrolls = 0;
    chart.OnScroll = [&](TChart*) { ++scrolls; };

    const int y = (chart.PlotTop() + chart.PlotBottom()) / 2;
    const int x = chart.PlotLeft() + 100;
    diagram.Drag(Qt::RightButton, QPoint(x, y), QPoint(x + 50, y));
    const double shift = 50.0 * 25 / 450;
    EXPECT_NEAR(chart.BottomAxis()->Minimum(), -1 - shift, 1e-9);
    EXPECT_NEAR(chart.BottomAxis()->Maximum(), 24 - shift, 1e-9);
    EXPECT_NEAR(chart.TopAxis()->Minimum(), -1 - shift, 1e-9); // not drawn, panned all the same
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), 19);         // no vertical movement
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Maximum(), 21);
    EXPECT_EQ(scrolls, 2); // two moves
    EXPECT_FALSE(chart.PanDrag().Active);
    EXPECT_FALSE(chart.ScalesRestored());
    EXPECT_DOUBLE_EQ(chart.SavedScales()[1].Minimum, -1);

    // A restoring drag brings the ranges back.
    chart.RenderToImage();
    diagram.Drag(Qt::LeftButton, QPoint(x + 100, y + 40), QPoint(x, y));
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Minimum(), -1);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Maximum(), 24);
}

TEST(ChartMouse, PanningEndsOutsideThePlotAreaAndObeysTheMode)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    const int y = (chart.PlotTop() + chart.PlotBottom()) / 2;
    const int x = chart.PlotLeft() + 100;

    chart.MouseDown(Qt::RightButton, Qt::NoModifier, x, y);
    ASSERT_TRUE(chart.PanDrag().Active);
    chart.MouseMove(Qt::NoModifier, chart.PlotRight() + 3, y); // out: the pan ends, nothing moves
    EXPECT_FALSE(chart.PanDrag().Active);
    chart.MouseMove(Qt::NoModifier, x + 30, y);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Minimum(), -1);
    chart.MouseUp(Qt::RightButton, Qt::NoModifier, x + 30, y);

    // Horizontal only: a diagonal move leaves the left axis alone.
    chart.SetAllowPanning(TPanningMode::pmHorizontal);
    chart.MouseDown(Qt::RightButton, Qt::NoModifier, x, y);
    chart.MouseMove(Qt::NoModifier, x + 30, y + 30);
    chart.MouseUp(Qt::RightButton, Qt::NoModifier, x + 30, y + 30);
    EXPECT_LT(chart.BottomAxis()->Minimum(), -1);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), 19);

    // Vertical: dragging down moves the values up; OnAllowScroll may refuse an axis.
    chart.SetAllowPanning(TPanningMode::pmVertical);
    chart.RenderToImage();
    const double perPixel = (chart.LeftAxis()->EffectiveRange()) / chart.LeftAxis()->AxisLength();
    chart.OnAllowScroll = [&](TChartAxis* axis, double&, double&, bool& allow) { allow = axis != chart.RightAxis(); };
    const TRange right = RangeOf(chart.RightAxis());
    chart.MouseDown(Qt::RightButton, Qt::NoModifier, x, y);
    chart.MouseMove(Qt::NoModifier, x, y + 10);
    chart.MouseUp(Qt::RightButton, Qt::NoModifier, x, y + 10);
    EXPECT_NEAR(chart.LeftAxis()->Minimum(), 19 + 10 * perPixel, 1e-9);
    EXPECT_EQ(chart.RightAxis()->Minimum(), right.Minimum);
    EXPECT_EQ(chart.RightAxis()->Maximum(), right.Maximum);

    // No panning at all.
    chart.SetAllowPanning(TPanningMode::pmNone);
    chart.MouseDown(Qt::RightButton, Qt::NoModifier, x, y);
    EXPECT_FALSE(chart.PanDrag().Active);
}

TEST(ChartMouse, WheelScrollsTheVerticalAxesByThreePercentANotch)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    chart.LeftAxis()->SetMaximum(100);
    chart.LeftAxis()->SetMinimum(0);
    diagram.Wheel(-120); // down
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), 3);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Maximum(), 103);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Minimum(), -1); // horizontal axes stay
    chart.LeftAxis()->SetMinMax(0, 100);
    diagram.Wheel(120); // up
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), -3);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Maximum(), 97);
    EXPECT_TRUE(chart.ScalesRestored()); // the wheel saves nothing

    chart.LeftAxis()->SetMinMax(0, 100);
    diagram.Wheel(-60);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), 0);
    EXPECT_EQ(chart.WheelAccumulator(), -60);
    diagram.Wheel(-60);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), 3);
    EXPECT_EQ(chart.WheelAccumulator(), 0);

    // Three notches and a rest at once; the rest keeps its sign.
    chart.LeftAxis()->SetMinMax(0, 100);
    diagram.Wheel(400);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), -9);
    EXPECT_EQ(chart.WheelAccumulator(), 40);
    diagram.Wheel(-160); // -120: one notch down
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), -6);

    // A wheel handler that takes the rotation stops the scroll.
    chart.LeftAxis()->SetMinMax(0, 100);
    chart.OnMouseWheel = [](TChart*, int, Qt::KeyboardModifiers, bool& handled) { handled = true; };
    diagram.Wheel(-120);
    EXPECT_DOUBLE_EQ(chart.LeftAxis()->Minimum(), 0);
}

TEST(ChartMouse, ZoomRectangleLeavesNoTraceOnTheImage)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    const QImage before = chart.Image().copy();

    // While dragging the rectangle is on the image, inverted against the panel colour.
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QTest::mouseMove(&chart, QPoint(160, 90));
    QTest::mouseMove(&chart, QPoint(200, 150));
    const QImage during = chart.Image().copy();
    const QRgb pen = ToPixel(ColorToRGB(chart.Color()));
    EXPECT_EQ(during.pixel(150, 50), (~(pen ^ before.pixel(150, 50))) | 0xFF000000u);
    EXPECT_EQ(during.pixel(100, 100), (~(pen ^ before.pixel(100, 100))) | 0xFF000000u);
    EXPECT_EQ(during.pixel(199, 100), (~(pen ^ before.pixel(199, 100))) | 0xFF000000u);
    EXPECT_EQ(during.pixel(200, 100), before.pixel(200, 100)); // right and bottom edges left out
    EXPECT_EQ(during.pixel(150, 100), before.pixel(150, 100)); // not filled
    EXPECT_EQ(during.pixel(160, 89), before.pixel(160, 89));   // the earlier rectangle is gone

    // At the release the rectangle is erased before the zoom repaints.
    QImage atZoom;
    chart.OnZoom = [&](TChart* c) { atZoom = c->Image().copy(); };
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    ASSERT_FALSE(atZoom.isNull());
    EXPECT_EQ(atZoom, before);

    // A drag too small to zoom restores the image and asks for no repaint.
    const QImage zoomed = chart.RenderToImage().copy();
    diagram.Drag(Qt::LeftButton, QPoint(120, 60), QPoint(130, 140));
    EXPECT_FALSE(chart.Dirty());
    EXPECT_EQ(chart.Image(), zoomed);
}

TEST(ChartMouse, RepaintDuringAZoomDragKeepsTheRectangle)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, 100, 50);
    chart.MouseMove(Qt::NoModifier, 200, 150);
    const QImage during = chart.Image().copy();
    chart.RenderToImage(); // a repaint in the middle of the drag
    EXPECT_EQ(chart.Image(), during);
    chart.MouseUp(Qt::LeftButton, Qt::NoModifier, 110, 60);
    const QImage after = chart.Image().copy();
    EXPECT_EQ(after, chart.RenderToImage());

    // The rectangle belongs to the chart's own drawing: what OnAfterDraw paints lies over it.
    chart.MouseDown(Qt::LeftButton, Qt::NoModifier, 100, 50);
    chart.MouseMove(Qt::NoModifier, 200, 150);
    chart.OnAfterDraw = [](TChart* c) { c->Canvas().FillRect(0, 0, c->width(), c->height(), clLime); };
    const QImage painted = chart.RenderToImage();
    EXPECT_EQ(painted.pixel(150, 50), ToPixel(clLime));
    EXPECT_EQ(painted.pixel(100, 100), ToPixel(clLime));
    chart.OnAfterDraw = nullptr;
    chart.MouseUp(Qt::LeftButton, Qt::NoModifier, 110, 60);
}

TEST(ChartMouse, UndoZoomPutsBackAutomaticAxes)
{
    TChart chart;
    chart.resize(400, 300);
    TChartAxis* left = chart.LeftAxis();
    chart.RenderToImage();
    chart.ZoomRect(QRect(100, 50, 100, 100));
    EXPECT_FALSE(left->Automatic());
    EXPECT_TRUE(chart.SavedScales()[2].Automatic);
    chart.UndoZoom();
    EXPECT_TRUE(left->Automatic());
    EXPECT_TRUE(left->AutomaticMinimum());
    EXPECT_TRUE(chart.ScalesRestored());
}

TEST(ChartMouse, AnimatedZoomEndsAtTheSameRange)
{
    TShownDiagram diagram;
    TChart& chart = diagram.Chart;
    const double x0 = chart.BottomAxis()->PixelToValue(100);
    const double x1 = chart.BottomAxis()->PixelToValue(200);
    chart.SetAnimatedZoom(true);
    chart.SetAnimatedZoomSteps(4);
    const int draws = chart.DrawCount();
    chart.ZoomRect(QRect(100, 50, 100, 100));
    EXPECT_EQ(chart.DrawCount() - draws, 3);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Minimum(), x0);
    EXPECT_DOUBLE_EQ(chart.BottomAxis()->Maximum(), x1);
}
