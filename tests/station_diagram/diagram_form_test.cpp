// The diagram page of the window: the chart's picture for a day, the day and quantity up-downs,
// and the chart's own zoom across day steps. Every test runs in a fresh current directory.
#include "chart/bar_series.h"
#include "chart/chart.h"
#include "hid/platform/sim/sim_platform.h"
#include "station/main_form.h"
#include "tests/support/test_support.h"

#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QColor Black(0, 0, 0);
const QColor Red(255, 0, 0);
const QColor Blue(0, 0, 255);

TSelectedDate Date(int day, int month, int year)
{
    return {static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(month), static_cast<std::uint8_t>(year)};
}

class DiagramPage : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Folder.Entered()); }

    TForm1& MakeForm()
    {
        Form = std::make_unique<TForm1>(Platform);
        Form->History.HistoryImage.fill(HistoryMissing);
        return *Form;
    }

    // One record: indoor, outdoor, pressure and humidity bytes at an hour of a day.
    void Put(int index, std::array<std::uint8_t, 4> values, int hour, TSelectedDate date)
    {
        std::uint8_t* record =
            Form->History.HistoryImage.data() + static_cast<std::ptrdiff_t>(index) * HistoryRecordSize;
        std::copy(values.begin(), values.end(), record);
        record[4] = static_cast<std::uint8_t>(hour);
        record[5] = date.Day;
        record[6] = date.Month;
        record[7] = date.Year;
    }

    void Show(TSelectedDate date, base::TQuantity quantity)
    {
        Form->History.SelectedDate = date;
        Form->History.DiagramQuantity = static_cast<std::uint8_t>(base::QuantityNumber(quantity));
        Form->UpDown2->SetPosition(Form->History.DiagramQuantity);
        Form->DrawDayDiagram();
    }

    void Forward() { QTest::mouseClick(Form->UpDown1->RightButton(), Qt::LeftButton); }
    void Back() { QTest::mouseClick(Form->UpDown1->LeftButton(), Qt::LeftButton); }

    TSelectedDate Selected() const { return Form->History.SelectedDate; }
    TChartAxis* Left() const { return Form->Chart1->LeftAxis(); }
    TChartAxis* Bottom() const { return Form->Chart1->BottomAxis(); }

    testsupport::TFreshCurrentFolder Folder;
    hidplatform::SimPlatform Platform;
    std::unique_ptr<TForm1> Form;
};

} // namespace

TEST_F(DiagramPage, PictureOfADay)
{
    TForm1& form = MakeForm();
    const TSelectedDate day = Date(5, 1, 17);
    for (int h = 0; h < 24; ++h)
        if (h != 7)
            Put(h, {static_cast<std::uint8_t>(18 + h % 5), 0, 0, 0}, h, day);
    Show(day, base::TQuantity::IndoorTemperature);
    TChart& chart = *form.Chart1;
    const QImage image = chart.RenderToImage().copy();
    ASSERT_EQ(image.size(), QSize(505, 321));
    EXPECT_EQ(Left()->Minimum(), 17);
    EXPECT_EQ(Left()->Maximum(), 23);

    // The plot area: framed at the top and the right, the axis line at the left and the bottom.
    const int midY = Left()->ValueToPixel(20.5); // between two grid lines
    EXPECT_GT(chart.PlotTop(), 6);               // below the title
    EXPECT_EQ(chart.PlotRight(), 495);
    EXPECT_EQ(QColor(image.pixel(chart.PlotRight(), midY)), Black);
    EXPECT_EQ(QColor(image.pixel(chart.PlotLeft(), midY)), Black);
    EXPECT_EQ(QColor(image.pixel(chart.PlotLeft() - 1, midY)), Black); // two pixels of axis line

    // The bar of hour 9 (value 22) from its top down past the plot's bottom edge, outlined in black.
    const int barSize = form.Series1->BarSize();
    ASSERT_GT(barSize, 4);
    const int x9 = Bottom()->ValueToPixel(9) - barSize / 2;
    const int top9 = Left()->ValueToPixel(22);
    const int y = (top9 + chart.PlotBottom()) / 2;
    EXPECT_EQ(QColor(image.pixel(x9, y)), Black);
    EXPECT_EQ(QColor(image.pixel(x9 + barSize - 1, y)), Black);
    EXPECT_EQ(QColor(image.pixel(x9 + 1, y)), Blue);
    EXPECT_EQ(QColor(image.pixel(x9 + barSize - 2, y)), Blue);
    EXPECT_NE(QColor(image.pixel(x9 - 1, y)), Blue);
    EXPECT_NE(QColor(image.pixel(x9 + barSize, y)), Blue);
    EXPECT_EQ(QColor(image.pixel(x9 + barSize / 2, top9)), Black);
    EXPECT_EQ(QColor(image.pixel(x9 + barSize / 2, top9 + 1)), Blue);
    EXPECT_NE(QColor(image.pixel(x9 + barSize / 2, top9 - 1)), Blue);

    // Hour 7 has no value: its red line at 0 lies below the axis range and is clipped away.
    int red = 0;
    for (int yy = 0; yy < image.height(); ++yy)
        for (int xx = 0; xx < image.width(); ++xx)
            red += QColor(image.pixel(xx, yy)) == Red;
    EXPECT_EQ(red, 0);
    const int x7 = Bottom()->ValueToPixel(7) - barSize / 2;
    EXPECT_NE(QColor(image.pixel(x7 + barSize / 2, midY)), Blue);
}

TEST_F(DiagramPage, MissingHourIsARedLineAtZero)
{
    TForm1& form = MakeForm();
    const TSelectedDate day = Date(6, 1, 17);
    Put(0, {0, 5, 0, 0}, 2, day);
    Put(1, {0, 133, 0, 0}, 3, day);
    Put(2, {0, 128, 0, 0}, 4, day);
    Show(day, base::TQuantity::OutdoorTemperature);
    EXPECT_EQ(Left()->Minimum(), -6);
    EXPECT_EQ(Left()->Maximum(), 6);
    ASSERT_EQ(form.Series1->PointCount(), 24);
    EXPECT_EQ(form.Series1->YValue(2), 5);
    EXPECT_EQ(form.Series1->YValue(3), -5);
    EXPECT_EQ(form.Series1->YValue(4), 0);
    EXPECT_EQ(form.Series1->PointColor(4), clBlue);
    EXPECT_EQ(form.Series1->PointColor(5), clRed);

    const QImage image = form.Chart1->RenderToImage().copy();
    const int zero = Left()->ValueToPixel(0);
    const int barSize = form.Series1->BarSize();
    const int x5 = Bottom()->ValueToPixel(5) - barSize / 2;
    for (int x = x5; x < x5 + barSize; ++x)
        EXPECT_EQ(QColor(image.pixel(x, zero)), Red) << x;
    EXPECT_NE(QColor(image.pixel(x5 + barSize / 2, zero - 1)), Red);
    EXPECT_NE(QColor(image.pixel(x5 + barSize / 2, zero + 1)), Red);
    // The bar of -5 hangs from 0 downwards.
    const int x3 = Bottom()->ValueToPixel(3) - barSize / 2;
    EXPECT_EQ(QColor(image.pixel(x3 + barSize / 2, (zero + Left()->ValueToPixel(-5)) / 2)), Blue);
}

TEST_F(DiagramPage, DayWithoutValuesIsTwentyFourRedPiecesAcrossTheMiddle)
{
    TForm1& form = MakeForm();
    Show(Date(1, 2, 17), base::TQuantity::Humidity);
    EXPECT_EQ(form.Chart1->Title().Text().value(0), QStringLiteral("Относительная влажность"));
    EXPECT_EQ(Left()->Minimum(), 0);
    EXPECT_EQ(Left()->Maximum(), 0);
    const QImage image = form.Chart1->RenderToImage().copy();
    const int middle = Left()->CenterPixel();
    const int barSize = form.Series1->BarSize();
    for (int h = 0; h < 24; ++h) {
        const int x = Bottom()->ValueToPixel(h) - barSize / 2;
        EXPECT_EQ(QColor(image.pixel(x, middle)), Red) << h;
        EXPECT_EQ(QColor(image.pixel(x + barSize - 1, middle)), Red) << h;
        EXPECT_NE(QColor(image.pixel(x + barSize, middle)), Red) << h; // a gap before the next
        EXPECT_NE(QColor(image.pixel(x + barSize / 2, middle - 1)), Red) << h;
    }
}

TEST_F(DiagramPage, SingleValueAndPressure)
{
    TForm1& form = MakeForm();
    const TSelectedDate day = Date(7, 3, 24);
    Put(10, {21, 0, 140, 0}, 12, day);
    Show(day, base::TQuantity::IndoorTemperature);
    EXPECT_EQ(Left()->Minimum(), 20);
    EXPECT_EQ(Left()->Maximum(), 22);
    int blue = 0;
    for (int h = 0; h < 24; ++h)
        blue += form.Series1->PointColor(h) == clBlue;
    EXPECT_EQ(blue, 1);
    EXPECT_EQ(form.Series1->YValue(12), 21);
    EXPECT_EQ(form.Series1->YValue(11), 0);

    QTest::mouseClick(form.UpDown2->RightButton(), Qt::LeftButton); // 0 -> 1
    QTest::mouseClick(form.UpDown2->RightButton(), Qt::LeftButton); // 1 -> 2
    EXPECT_EQ(form.History.DiagramQuantity, base::QuantityNumber(base::TQuantity::Pressure));
    EXPECT_EQ(form.Chart1->Title().Text().value(0), QStringLiteral("Атмосферное давление"));
    EXPECT_EQ(form.Series1->YValue(12), 745);
    EXPECT_EQ(Left()->Minimum(), 744);
    EXPECT_EQ(Left()->Maximum(), 746);
    QTest::mouseClick(form.UpDown2->RightButton(), Qt::LeftButton);
    QTest::mouseClick(form.UpDown2->RightButton(), Qt::LeftButton); // wraps 3 -> 0
    EXPECT_EQ(form.History.DiagramQuantity, base::QuantityNumber(base::TQuantity::IndoorTemperature));
    QTest::mouseClick(form.UpDown2->LeftButton(), Qt::LeftButton); // wraps 0 -> 3
    EXPECT_EQ(form.History.DiagramQuantity, base::QuantityNumber(base::TQuantity::Humidity));
    EXPECT_EQ(form.Chart1->Title().Text().value(0), QStringLiteral("Относительная влажность"));
}

TEST_F(DiagramPage, LaterRecordForAnHourWinsAndTheDateText)
{
    TForm1& form = MakeForm();
    const TSelectedDate day = Date(5, 1, 17);
    Put(100, {20, 0, 0, 0}, 8, day);
    Put(200, {24, 0, 0, 0}, 8, day);
    Put(300, {30, 0, 0, 0}, 8, Date(5, 2, 17)); // another month
    Show(day, base::TQuantity::IndoorTemperature);
    EXPECT_EQ(form.Series1->YValue(8), 24);
    EXPECT_EQ(form.HourValues[8], 24);
    EXPECT_EQ(form.HourValues[9], HourMissing);
    EXPECT_EQ(form.LabeledEdit9->Text(), QStringLiteral("05.01.17"));
}

TEST_F(DiagramPage, DayStepsAcrossMonthsYearsAndTheFloor)
{
    MakeForm();
    struct TCase
    {
        TSelectedDate From;
        bool Forward;
        TSelectedDate To;
    };
    const TCase cases[] = {
        {Date(31, 12, 16), true, Date(1, 1, 17)},   {Date(28, 2, 16), true, Date(29, 2, 16)},
        {Date(28, 2, 17), true, Date(1, 3, 17)},    {Date(30, 4, 16), true, Date(1, 5, 16)},
        {Date(1, 3, 16), false, Date(29, 2, 16)},   {Date(1, 3, 17), false, Date(28, 2, 17)},
        {Date(1, 1, 16), false, Date(31, 12, 15)},  {Date(31, 12, 15), false, Date(31, 12, 15)},
        {Date(31, 12, 15), true, Date(1, 1, 16)},   {Date(31, 12, 99), true, Date(31, 12, 99)},
        {Date(30, 12, 99), true, Date(31, 12, 99)},
    };
    for (const TCase& c : cases) {
        Form->History.SelectedDate = c.From;
        c.Forward ? Forward() : Back();
        EXPECT_EQ(Selected(), c.To) << int(c.From.Day) << "." << int(c.From.Month) << "." << int(c.From.Year)
                                    << (c.Forward ? " forward" : " back");
        EXPECT_EQ(Form->LabeledEdit9->Text(), DiagramDateText(c.To));
    }
}

TEST_F(DiagramPage, DamagedMonthOrDayStepsToARealDate)
{
    TForm1& form = MakeForm();
    form.History.SelectedDate = Date(30, 13, 17);
    Forward();
    EXPECT_EQ(Selected(), Date(31, 13, 17));
    EXPECT_EQ(form.MonthLength, 31);
    Forward();
    EXPECT_EQ(Selected(), Date(1, 1, 18));
    form.History.SelectedDate = Date(1, 0, 17);
    Back();
    EXPECT_EQ(Selected(), Date(31, 12, 16));
    form.History.SelectedDate = Date(1, 200, 17);
    Back();
    EXPECT_EQ(Selected(), Date(31, 12, 17));
    form.History.SelectedDate = Date(31, 255, 17);
    Forward();
    EXPECT_EQ(Selected(), Date(1, 1, 18));
    form.History.SelectedDate = Date(45, 2, 17); // a day beyond the month's end
    Back();
    EXPECT_EQ(Selected(), Date(28, 2, 17));
    form.History.SelectedDate = Date(0, 5, 17); // day 0 is the day before the 1st
    Back();
    EXPECT_EQ(Selected(), Date(30, 4, 17));
    form.History.SelectedDate = Date(0, 5, 17);
    Forward();
    EXPECT_EQ(Selected(), Date(1, 5, 17));
}

TEST_F(DiagramPage, FiftyForwardClicksRecentreTheStepper)
{
    TForm1& form = MakeForm();
    form.History.SelectedDate = Date(1, 1, 17);
    ASSERT_EQ(form.UpDown1->Position(), 50);
    ASSERT_EQ(form.PreviousDayPosition, 50);
    for (int i = 0; i < 50; ++i)
        Forward();
    EXPECT_EQ(form.UpDown1->Position(), 50);
    EXPECT_EQ(form.PreviousDayPosition, 50);
    EXPECT_EQ(Selected(), Date(20, 2, 17)); // 1 January + 50 days
    Forward();
    EXPECT_EQ(Selected(), Date(21, 2, 17));
    for (int i = 0; i < 51; ++i)
        Back();
    EXPECT_EQ(Selected(), Date(1, 1, 17));
    EXPECT_EQ(form.UpDown1->Position(), 50); // reached 0 and was re-centred
    Back();
    EXPECT_EQ(Selected(), Date(31, 12, 16));
}

TEST_F(DiagramPage, QuantityAboveThreeIsTheFirst)
{
    // Read from a damaged "met.mtb": 4096 empty records and the quantity 07.
    ASSERT_TRUE(testsupport::WriteFileBytes(QStringLiteral("met.mtb"),
                                            QByteArray("FFFFFFFFFFFFFFFF\r\n").repeated(HistoryRecordCount) + "07"));
    Form = std::make_unique<TForm1>(Platform);
    EXPECT_EQ(Form->History.DiagramQuantity, 0);
    EXPECT_EQ(Form->UpDown2->Position(), 0);
    EXPECT_EQ(Form->Chart1->Title().Text().value(0), QStringLiteral("Температура в доме"));

    // Set from anywhere else, the redraw brings it back as well.
    Form->History.DiagramQuantity = 9;
    Form->DrawDayDiagram();
    EXPECT_EQ(Form->History.DiagramQuantity, 0);
    EXPECT_EQ(Form->UpDown2->Position(), 0);
    EXPECT_EQ(Form->Chart1->Title().Text().value(0), QStringLiteral("Температура в доме"));
}

TEST_F(DiagramPage, ZoomOfTheHoursOutlivesDayStepsUntilRestored)
{
    TForm1& form = MakeForm();
    const TSelectedDate day = Date(10, 5, 17);
    for (int h = 0; h < 24; ++h) {
        Put(h, {static_cast<std::uint8_t>(20 + h % 3), 0, 0, 0}, h, day);
        Put(100 + h, {static_cast<std::uint8_t>(10 + h % 4), 0, 0, 0}, h, Date(11, 5, 17));
    }
    Show(day, base::TQuantity::IndoorTemperature);
    form.PageControl1->SetActivePageIndex(PageIndex(TFormPage::Diagram));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, testsupport::EventDeadlineMs));
    TChart& chart = *form.Chart1;
    chart.RenderToImage();

    // Drag over hours 5 to 10 (from the middle of the plot area down to below its middle).
    const int x0 = Bottom()->ValueToPixel(5);
    const int x1 = Bottom()->ValueToPixel(10);
    const int y0 = chart.PlotTop() + 10;
    const int y1 = chart.PlotBottom() - 10;
    const double wantMin = Bottom()->PixelToValue(x0);
    const double wantMax = Bottom()->PixelToValue(x1);
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(x0, y0));
    QTest::mouseMove(&chart, QPoint(x1, y1));
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(x1, y1));
    ASSERT_TRUE(chart.Zoomed());
    EXPECT_NEAR(Bottom()->Minimum(), 5, 0.1);
    EXPECT_NEAR(Bottom()->Maximum(), 10, 0.1);
    EXPECT_DOUBLE_EQ(Bottom()->Minimum(), wantMin);
    const double zoomedLeftMin = chart.SavedScales()[2].Minimum;
    EXPECT_EQ(zoomedLeftMin, 19);

    Forward();
    EXPECT_EQ(Selected(), Date(11, 5, 17));
    EXPECT_DOUBLE_EQ(Bottom()->Minimum(), wantMin);
    EXPECT_DOUBLE_EQ(Bottom()->Maximum(), wantMax);
    EXPECT_EQ(Left()->Minimum(), 9); // the new day's range
    EXPECT_EQ(Left()->Maximum(), 14);
    QTest::mouseClick(form.UpDown2->RightButton(), Qt::LeftButton); // another quantity
    EXPECT_DOUBLE_EQ(Bottom()->Minimum(), wantMin);

    // A restoring drag: the hours come back, the left axis as it was at the zoom.
    chart.RenderToImage();
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(x1, y1));
    QTest::mouseMove(&chart, QPoint(x0, y0));
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(x0, y0));
    EXPECT_EQ(Bottom()->Minimum(), -1);
    EXPECT_EQ(Bottom()->Maximum(), 24);
    EXPECT_EQ(Left()->Minimum(), 19);
    EXPECT_EQ(Left()->Maximum(), 23);
}

TEST_F(DiagramPage, RedrawAfterAScrolledLeftAxisNeverRefusesTheRange)
{
    TForm1& form = MakeForm();
    const TSelectedDate day = Date(10, 5, 17);
    Put(0, {20, 0, 0, 0}, 3, day);
    Show(day, base::TQuantity::IndoorTemperature);
    // The wheel or a pan can leave the left axis anywhere, here wholly above 1000.
    Left()->SetMinMax(2000, 3000);
    EXPECT_NO_THROW(form.DrawDayDiagram());
    EXPECT_EQ(Left()->Minimum(), 19);
    EXPECT_EQ(Left()->Maximum(), 21);
    Left()->SetMinMax(-3000, -2000);
    EXPECT_NO_THROW(form.DrawDayDiagram());
    EXPECT_EQ(Left()->Minimum(), 19);
    EXPECT_EQ(Left()->Maximum(), 21);
}

// The whole page as the user sees it; METEO_DIAGRAM_PNG names a file to keep the picture in.
TEST_F(DiagramPage, PageShowsTheChartBesideItsControls)
{
    TForm1& form = MakeForm();
    const TSelectedDate day = Date(5, 12, 16);
    const std::uint8_t pressure[24] = {140, 141, 141, 142, 142, 143, 143, 143, 142, 141, 140, 139,
                                       138, 138, 137, 137, 138, 139, 140, 141, 141, 142, 142, 143};
    for (int h = 0; h < 24; ++h)
        if (h != 3 && h != 17)
            Put(h, {21, 133, pressure[h], 45}, h, day);
    Show(day, base::TQuantity::Pressure);
    form.PageControl1->SetActivePageIndex(PageIndex(TFormPage::Diagram));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, testsupport::EventDeadlineMs));
    const QImage page = form.grab().toImage();
    if (const QByteArray file = qgetenv("METEO_DIAGRAM_PNG"); !file.isEmpty())
        page.save(QString::fromLocal8Bit(file));
    // The chart is painted where the layout puts it, its picture being the kept image.
    const QPoint origin = form.Chart1->mapTo(&form, QPoint(0, 0));
    const QImage chart = form.Chart1->Image();
    for (const QPoint p : {QPoint(5, 5), QPoint(250, 160), QPoint(400, 300)})
        EXPECT_EQ(page.pixel(origin + p), chart.pixel(p)) << p.x() << "," << p.y();
    EXPECT_EQ(form.LabeledEdit9->Text(), QStringLiteral("05.12.16"));
    EXPECT_EQ(Left()->Minimum(), 741);
    EXPECT_EQ(Left()->Maximum(), 749);
}
