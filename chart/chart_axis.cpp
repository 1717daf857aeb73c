#include "chart/chart_axis.h"

#include "chart/chart_canvas.h"
#include "chart/chart_math.h"
#include "chart/chart_parent.h"
#include "chart/chart_series.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

using chart::RoundHalfEven;

namespace {

constexpr double MinimumStep = 1e-12;
constexpr double MaxLabelCount = 10000.0;
constexpr double PixelLimit = 2147483647.0;

// How far a label value may lie beyond an axis end and still count as on it: multiples of the
// step miss an end by rounding, more so the larger the values. The range widens on either sign
// of the end, and by at most half a step, so a label beyond the end never comes in.
double LabelEndTolerance(double end, double step)
{
    return std::min(1e-12 * (1.0 + std::fabs(end)), step / 2);
}

bool HorizontalAngle(int angle)
{
    return angle == 0 || angle == 180;
}
bool VerticalAngle(int angle)
{
    return angle == 90 || angle == 270;
}

} // namespace

TChartAxis::TChartAxis(TChartParent* chart, bool horizontal, bool otherSide, bool depth)
    : Chart(chart)
    , FHorizontal(horizontal)
    , FOtherSide(otherSide)
    , FDepth(depth)
{
    for (TChartObject* part : std::initializer_list<TChartObject*>{&FLabelsFont, &FAxis, &FGrid, &FTicks, &FTicksInner,
                                                                   &FMinorTicks, &FMinorGrid, &FTitle, &FTitle.Font()})
        part->OnChange = [this] { InvalidateChart(); };
    if (depth)
        FVisible = false;
}

TChart* TChartAxis::ParentChart() const
{
    return Chart ? Chart->AsChart() : nullptr;
}

void TChartAxis::InvalidateChart()
{
    if (Chart)
        Chart->Invalidate();
}

bool TChartAxis::Loading() const
{
    return Chart && Chart->Loading();
}

void TChartAxis::SetMinimum(double value)
{
    if (!Loading() && value > FMaximum)
        throw AxisException("Axis Minimum Value must be <= Maximum");
    Store(FMinimum, value);
}

void TChartAxis::SetMaximum(double value)
{
    if (!Loading() && value < FMinimum)
        throw AxisException("Axis Maximum Value must be >= Minimum");
    Store(FMaximum, value);
}

void TChartAxis::SetMinMax(double a, double b)
{
    FAutomatic = false;
    FAutomaticMinimum = false;
    FAutomaticMaximum = false;
    FMinimum = std::min(a, b);
    FMaximum = std::max(a, b);
    if (FMaximum - FMinimum < 1e-10)
        FMaximum = FMinimum + 1e-10;
    InvalidateChart();
}

void TChartAxis::Scroll(double offset)
{
    FAutomatic = false;
    FAutomaticMinimum = false;
    FAutomaticMaximum = false;
    FMinimum += offset;
    FMaximum += offset;
    InvalidateChart();
}

bool TChartAxis::Clicked(int x, int y) const
{
    if (!Chart || !Chart->AxisShown(this))
        return false;
    const int along = FHorizontal ? x : y;
    if (along < FStartPixel || along > FEndPixel)
        return false;
    // Outwards from the axis line (down, up, left, right for bottom, top, left, right): ticks, then labels.
    const int depth = TickSpace() + (FLabels ? FLabelsSpace : 0);
    const int across = FHorizontal ? y : x;
    const int line = FAxisLinePos;
    const int far =
        FHorizontal ? (FOtherSide ? line - depth : line + depth) : (FOtherSide ? line + depth : line - depth);
    return across >= std::min(line, far) && across <= std::max(line, far);
}

void TChartAxis::SetIncrement(double value)
{
    if (value < 0)
        throw AxisException("Axis increment must be >= 0");
    Store(FIncrement, value);
}

void TChartAxis::SetLabelsSeparation(int value)
{
    if (value < 0)
        throw AxisException("Labels Separation % must be greater than 0");
    Store(FLabelsSeparation, value);
}

void TChartAxis::AutomaticExtremes(double& minimum, double& maximum) const
{
    minimum = 0.0;
    maximum = 0.0;
    if (!Chart)
        return;
    bool anyAssociated = false;
    for (TChartSeries* series : Chart->SeriesList())
        if (series->Active() && series->UsesAxis(this))
            anyAssociated = true;
    bool first = true;
    for (TChartSeries* series : Chart->SeriesList()) {
        if (anyAssociated && !(series->Active() && series->UsesAxis(this)))
            continue;
        if (series->PointCount() == 0)
            continue;
        const double high = FHorizontal ? series->HighestX() : series->HighestY();
        const double low = FHorizontal ? series->LowestX() : series->LowestY();
        if (first || high > maximum)
            maximum = high;
        if (first || low < minimum)
            minimum = low;
        first = false;
    }
}

void TChartAxis::ComputeRange()
{
    if (FAutomatic || FAutomaticMaximum || FAutomaticMinimum) {
        double low = 0.0;
        double high = 0.0;
        AutomaticExtremes(low, high);
        if (FAutomatic || FAutomaticMaximum)
            FMaximum = high;
        if (FAutomatic || FAutomaticMinimum)
            FMinimum = low;
    }
    FEffectiveMaximum = FMaximum;
    FEffectiveMinimum = FMinimum;
    FEffectiveRange = FEffectiveMaximum - FEffectiveMinimum;
}

int TChartAxis::TickSpace() const
{
    int space = (FAxis.Visible() ? FAxis.Width() : 0) + (FTicks.Visible() ? FTickLength : 0);
    if (FMinorTicks.Visible())
        space = std::max(space, FMinorTickLength);
    return space;
}

int TChartAxis::PositionShift(const TChartRect& rect) const
{
    if (FPositionPercent == 0.0)
        return 0;
    const int other = FHorizontal ? rect.Height() : rect.Width();
    return RoundHalfEven(FPositionPercent * 0.01 * other);
}

void TChartAxis::ReserveAxisSpace(TChartRect& rect)
{
    if (!FTitle.Caption().isEmpty()) {
        ShrinkFromOutside(rect, TitleSpace());
        FTitlePos = OuterEdge(rect);
    }
    if (FLabels) {
        const int size = LabelsSpace();
        ShrinkFromOutside(rect, size);
        FLabelsPos = OuterEdge(rect);
        FLabelsSpace = size;
    }
    const int ticks = TickSpace(); // walls have no size in a flat chart
    if (ticks > 0)
        ShrinkFromOutside(rect, ticks);
    // A shifted axis carries its title and labels along, towards the middle of the plot area.
    const int shift = PositionShift(rect);
    if (shift != 0) {
        if (FHorizontal) {
            FTitlePos += FOtherSide ? shift : -shift;
            FLabelsPos += FOtherSide ? shift : -shift;
        } else {
            FTitlePos += FOtherSide ? -shift : shift;
            FLabelsPos += FOtherSide ? -shift : shift;
        }
    }
}

void TChartAxis::ShrinkFromOutside(TChartRect& rect, int n) const
{
    if (FHorizontal) {
        if (FOtherSide)
            rect.Top += n;
        else
            rect.Bottom -= n;
    } else {
        if (FOtherSide)
            rect.Right -= n;
        else
            rect.Left += n;
    }
}

int TChartAxis::OuterEdge(const TChartRect& rect) const
{
    if (FHorizontal)
        return FOtherSide ? rect.Top : rect.Bottom;
    return FOtherSide ? rect.Right : rect.Left;
}

int TChartAxis::TitleSpace()
{
    if (FTitleSize != 0)
        return FTitleSize;
    TChartCanvas& canvas = Chart->Canvas();
    canvas.SetFont(FTitle.Font());
    const int angle = FTitle.Angle();
    if ((FHorizontal && HorizontalAngle(angle)) || (!FHorizontal && VerticalAngle(angle)))
        return canvas.FontHeight();
    return canvas.TextWidth(FTitle.Caption());
}

int TChartAxis::LabelsSpace()
{
    if (FLabelsSize != 0)
        return FLabelsSize;
    TChartCanvas& canvas = Chart->Canvas();
    canvas.SetFont(FLabelsFont);
    if ((FHorizontal && HorizontalAngle(FLabelsAngle)) || (!FHorizontal && VerticalAngle(FLabelsAngle)))
        return canvas.FontHeight();
    return WidestLabel();
}

int TChartAxis::WidestLabel()
{
    TChartCanvas& canvas = Chart->Canvas();
    const double step = LabelStep();
    double low = FEffectiveMinimum;
    double high = FEffectiveMaximum;
    if (FRoundFirstLabel || (FDateTimeAxis && FExactDateTime)) {
        low = std::trunc(FEffectiveMinimum / step) * step;
        high = std::trunc(FEffectiveMaximum / step) * step;
    }
    canvas.SetFont(FLabelsFont);
    SuppressLabelEvent = true;
    int widest = 0;
    for (const double value : {high, low})
        for (const QString& line : LabelLines(LabelText(value)))
            widest = std::max(widest, canvas.TextWidth(line));
    SuppressLabelEvent = false;
    return widest + canvas.TextWidth(QStringLiteral(" "));
}

void TChartAxis::ComputePixelRange(const TChartRect& plot)
{
    if (FHorizontal) {
        FStartPixel = plot.Left + RoundHalfEven(plot.Width() * 0.01 * FStartPosition);
        FEndPixel = plot.Left + RoundHalfEven(plot.Width() * 0.01 * FEndPosition);
    } else {
        FStartPixel = plot.Top + RoundHalfEven(plot.Height() * 0.01 * FStartPosition);
        FEndPixel = plot.Top + RoundHalfEven(plot.Height() * 0.01 * FEndPosition);
    }
    FAxisLength = FEndPixel - FStartPixel;
    FCenterPixel = (FStartPixel + FEndPixel) / 2;
}

void TChartAxis::ApplyMargins(int startMargin, int endMargin)
{
    if (startMargin == 0 && endMargin == 0)
        return;
    const int oldStart = FStartPixel;
    const int oldEnd = FEndPixel;
    FStartPixel += startMargin;
    FEndPixel -= endMargin;
    FAxisLength = FEndPixel - FStartPixel;
    double a = PixelToValue(oldStart);
    double b = PixelToValue(oldEnd);
    if (a > b)
        std::swap(a, b);
    FEffectiveMinimum = a;
    FEffectiveMaximum = b;
    FStartPixel = oldStart;
    FEndPixel = oldEnd;
    FAxisLength = FEndPixel - FStartPixel;
    FEffectiveRange = FEffectiveMaximum - FEffectiveMinimum;
}

int TChartAxis::ValueToPixel(double value) const
{
    if (FEffectiveRange == 0.0)
        return FCenterPixel;
    const double t = (value - FEffectiveMinimum) * FAxisLength / FEffectiveRange;
    if (!(std::fabs(t) < PixelLimit))
        return FCenterPixel;
    const bool fromStart = FHorizontal != FInverted;
    return fromStart ? FStartPixel + RoundHalfEven(t) : FEndPixel - RoundHalfEven(t);
}

double TChartAxis::PixelToValue(int pixel) const
{
    if (FAxisLength < 1)
        return 0.0;
    const double a = FInverted ? static_cast<double>(FEndPixel - pixel) * FEffectiveRange / FAxisLength
                               : static_cast<double>(pixel - FStartPixel) * FEffectiveRange / FAxisLength;
    return FHorizontal ? FEffectiveMinimum + a : FEffectiveMaximum - a;
}

QStringList TChartAxis::LabelLines(const QString& text) const
{
    return text.split(QChar(13));
}

double TChartAxis::LabelStep()
{
    TChartCanvas& canvas = Chart->Canvas();
    canvas.SetFont(FLabelsFont);
    const QStringList low = LabelLines(LabelText(FEffectiveMinimum));
    const QStringList high = LabelLines(LabelText(FEffectiveMaximum));
    int size = 0;
    const bool alongText = FHorizontal ? !VerticalAngle(FLabelsAngle) : VerticalAngle(FLabelsAngle);
    if (alongText) {
        for (const QStringList* lines : {&low, &high})
            for (const QString& line : *lines)
                size = std::max(size, canvas.TextWidth(line));
    } else {
        size = canvas.FontHeight() * static_cast<int>(std::max(low.size(), high.size()));
    }
    return LabelStepForSize(size);
}

double TChartAxis::LabelStepForSize(int labelSize) const
{
    int count = 1;
    if (labelSize > 0) {
        const int distance =
            FLabelsSeparation <= 0 ? labelSize : labelSize + RoundHalfEven(FLabelsSeparation * 0.01 * labelSize);
        count = RoundHalfEven(static_cast<double>(FAxisLength) / distance);
    }
    return StepForLabelCount(count);
}

double TChartAxis::StepForLabelCount(int count) const
{
    if (count < 1 || !std::isfinite(FEffectiveRange))
        return MinimumStep;
    double step = FIncrement > 0 ? FIncrement : (std::fabs(FEffectiveRange) >= 1 ? 1.0 : MinimumStep);
    if (FLabelsSeparation > 0) {
        int labels = count + 1;
        do {
            const double quotient = FEffectiveRange / step;
            if (std::fabs(quotient) < PixelLimit) {
                labels = RoundHalfEven(quotient);
                if (labels > count)
                    step = NextNiceStep(step);
            } else {
                step = NextNiceStep(step);
            }
        } while (labels > count);
    }
    return std::max(step, MinimumStep);
}

double TChartAxis::NextNiceStep(double step)
{
    if (!(step > 0) || !std::isfinite(step))
        return 1.0; // no step climbs from zero, a negative or a non-number
    if (step >= 10)
        return 10 * NextNiceStep(step * 0.1);
    if (step >= 5)
        return 10;
    if (step >= 2)
        return 5;
    if (step >= 1)
        return 2;
    return 0.1 * NextNiceStep(step * 10);
}

QString TChartAxis::LabelText(double value) const
{
    QString text;
    if (FDateTimeAxis) {
        if (value >= 0) {
            // Day numbers counted from 30 December 1899, the fraction being the time of day.
            const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
            const QDateTime moment = base.addMSecs(static_cast<qint64>(std::llround(value * 86400000.0)));
            QString format = FDateTimeFormat;
            if (format.isEmpty())
                format = FEffectiveRange < 1 ? QStringLiteral("hh:mm") : QStringLiteral("dd.MM.yyyy");
            text = moment.toString(format);
        }
    } else {
        text = FormatFloat(FAxisValuesFormat, value);
    }
    if (Chart && !SuppressLabelEvent)
        Chart->GetAxisLabel(const_cast<TChartAxis*>(this), nullptr, -1, text);
    if (FLabelsMultiLine)
        text.replace(QLatin1Char(' '), QChar(13));
    return text;
}

std::vector<double> TChartAxis::LabelValues(double step) const
{
    std::vector<double> values;
    if (!(step > 0) || std::fabs(FEffectiveRange / step) >= MaxLabelCount)
        return values;
    double v = (FEffectiveMinimum == FEffectiveMaximum || !FRoundFirstLabel)
        ? FEffectiveMaximum
        : std::trunc(FEffectiveMaximum / step) * step;
    const double upper = FEffectiveMaximum + LabelEndTolerance(FEffectiveMaximum, step);
    const double lower = FEffectiveMinimum - LabelEndTolerance(FEffectiveMinimum, step);
    while (v > upper) {
        const double next = v - step;
        if (next == v)
            return values;
        v = next;
    }
    while (v >= lower && values.size() <= static_cast<std::size_t>(MaxLabelCount)) {
        values.push_back(v);
        const double next = v - step;
        if (next == v) // a step below the precision of the values
            break;
        v = next;
    }
    return values;
}

std::vector<double> TChartAxis::DrawnLabelValues(double step) const
{
    std::vector<double> drawn;
    for (const double value : LabelValues(step))
        if (LabelFits(ValueToPixel(value)))
            drawn.push_back(value);
    return drawn;
}

TAxisLabelStyle TChartAxis::EffectiveLabelStyle() const
{
    if (FLabelStyle != TAxisLabelStyle::talAuto)
        return FLabelStyle;
    bool any = false;
    if (Chart) {
        for (TChartSeries* series : Chart->SeriesList()) {
            if (!series->Active() || !series->UsesAxis(this))
                continue;
            any = true;
            if (series->LabelCount() > 0 && series->HasLabel(0) && (!FHorizontal || series->YMandatory()))
                return TAxisLabelStyle::talText;
        }
    }
    return any ? TAxisLabelStyle::talValue : TAxisLabelStyle::talNone;
}

bool TChartAxis::LabelFits(int pixel) const
{
    return FLabelsOnAxis || (FStartPixel < pixel && pixel < FEndPixel);
}

bool TChartAxis::TakeLabelPosition(int pixel)
{
    if (!LabelFits(pixel))
        return false;
    auto addTick = [&] {
        if (FTickPositions.size() < static_cast<std::size_t>(MaxTickPositions))
            FTickPositions.push_back(pixel);
    };
    if (!FTickOnLabelsOnly)
        addTick();
    if (!FLabels)
        return false;
    if (FTickOnLabelsOnly)
        addTick();
    return true;
}

void TChartAxis::DrawLabel(int pixel, const QString& text)
{
    TChartCanvas& canvas = Chart->Canvas();
    canvas.SetFont(FLabelsFont);
    const QStringList lines = LabelLines(text);
    const int h = canvas.FontHeight();
    const int count = static_cast<int>(lines.size());
    if (FLabelsAngle != 0) {
        const QString joined = lines.join(QLatin1Char(' '));
        const int size = canvas.TextWidth(joined);
        if (FHorizontal)
            canvas.RotatedTextOut(pixel, FOtherSide ? FLabelsPos - size / 2 : FLabelsPos + size / 2, joined,
                                  FLabelsAngle);
        else
            canvas.RotatedTextOut(FOtherSide ? FLabelsPos + h / 2 : FLabelsPos - h / 2, pixel, joined, FLabelsAngle);
        return;
    }
    if (FHorizontal) {
        for (int j = 0; j < count; ++j) {
            const int y = FOtherSide ? FLabelsPos - (count - j) * h : FLabelsPos + j * h;
            canvas.TextOut(pixel, y, lines[j], TTextHAlign::Center, TTextVAlign::Top);
        }
        return;
    }
    const int top = pixel - h / 2 - RoundHalfEven(h * 0.5 * (count + 1)) + h;
    for (int j = 0; j < count; ++j)
        canvas.TextOut(FLabelsPos, top + j * h, lines[j], FOtherSide ? TTextHAlign::Left : TTextHAlign::Right);
}

void TChartAxis::DrawTitle()
{
    TChartCanvas& canvas = Chart->Canvas();
    canvas.SetFont(FTitle.Font());
    const QString caption = FTitle.Caption();
    const int middle = (FStartPixel + FEndPixel) / 2;
    const int h = canvas.FontHeight();
    if (FHorizontal) {
        if (FOtherSide)
            canvas.TextOut(middle, FTitlePos, caption, TTextHAlign::Center, TTextVAlign::Bottom);
        else
            canvas.TextOut(middle, FTitlePos, caption, TTextHAlign::Center, TTextVAlign::Top);
        return;
    }
    const int angle = FTitle.Angle() != 0 ? FTitle.Angle() : (FOtherSide ? 270 : 90);
    canvas.RotatedTextOut(FOtherSide ? FTitlePos + h / 2 : FTitlePos - h / 2, middle, caption, angle);
}

void TChartAxis::DrawLineTicksGrid()
{
    TChartCanvas& canvas = Chart->Canvas();
    if (FAxis.Visible()) {
        canvas.SetPen(FAxis);
        if (FHorizontal)
            canvas.Line(FStartPixel, FAxisLinePos, FEndPixel, FAxisLinePos);
        else
            canvas.Line(FAxisLinePos, FStartPixel, FAxisLinePos, FEndPixel);
    }
    if (FTicks.Visible()) {
        canvas.SetPen(FTicks);
        for (const int p : FTickPositions)
            DrawTick(p, FTickLength, true);
    }
    if (FGrid.Visible()) {
        canvas.SetPen(FGrid);
        if (FGrid.Color() == clDefault)
            canvas.SetPenColor(clGray);
        canvas.SetBackTransparent(true);
        if (FGridCentered) {
            for (std::size_t i = 1; i < FTickPositions.size(); ++i)
                DrawGridLine(RoundHalfEven((FTickPositions[i - 1] + FTickPositions[i]) * 0.5));
        } else {
            for (const int p : FTickPositions)
                DrawGridLine(p);
        }
        canvas.SetBackTransparent(false);
    }
    if (FTicksInner.Visible() && FTickInnerLength > 0) {
        canvas.SetPen(FTicksInner);
        for (const int p : FTickPositions)
            DrawTick(p, FTickInnerLength, false);
    }
    if ((FMinorTicks.Visible() || FMinorGrid.Visible()) && FMinorTickCount > 0 && FTickPositions.size() > 1) {
        const std::vector<int> minor = MinorTickPositions();
        if (FMinorTicks.Visible()) {
            canvas.SetPen(FMinorTicks);
            for (const int p : minor)
                DrawTick(p, FMinorTickLength, true);
        }
        if (FMinorGrid.Visible()) {
            canvas.SetPen(FMinorGrid);
            canvas.SetBackTransparent(true);
            for (const int p : minor)
                DrawGridLine(p);
            canvas.SetBackTransparent(false);
        }
    }
}

void TChartAxis::DrawTick(int p, int length, bool outward)
{
    if (length == 0)
        return;
    int direction = (FHorizontal ? !FOtherSide : FOtherSide) ? 1 : -1; // outward from the plot
    if (!outward)
        direction = -direction;
    const int from = FAxisLinePos + direction;
    const int to = from + direction * length;
    if (FHorizontal)
        Chart->Canvas().Line(p, from, p, to);
    else
        Chart->Canvas().Line(from, p, to, p);
}

void TChartAxis::DrawGridLine(int p)
{
    if (FHorizontal)
        Chart->Canvas().Line(p, Chart->PlotTop(), p, Chart->PlotBottom());
    else
        Chart->Canvas().Line(Chart->PlotLeft(), p, Chart->PlotRight(), p);
}

std::vector<int> TChartAxis::MinorTickPositions() const
{
    std::vector<int> minor;
    const int count = FMinorTickCount;
    const std::vector<int>& t = FTickPositions;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const int gap = t[i] - t[i - 1];
        for (int j = 1; j <= count; ++j)
            minor.push_back(t[i] - RoundHalfEven(static_cast<double>(j) * gap / (count + 1)));
    }
    // Beyond the first and last tick, at their gaps, as far as the axis goes.
    const int firstGap = t[1] - t[0];
    const int lastGap = t[t.size() - 1] - t[t.size() - 2];
    for (int j = 1; j <= count; ++j) {
        minor.push_back(t.front() - RoundHalfEven(static_cast<double>(j) * firstGap / (count + 1)));
        minor.push_back(t.back() + RoundHalfEven(static_cast<double>(j) * lastGap / (count + 1)));
    }
    minor.erase(std::remove_if(minor.begin(), minor.end(), [&](int p) { return !(FStartPixel < p && p < FEndPixel); }),
                minor.end());
    return minor;
}

void TChartAxis::DrawAxis(bool recomputePosition)
{
    TChartCanvas& canvas = Chart->Canvas();
    FDateTimeAxis = false;
    for (TChartSeries* series : Chart->SeriesList()) {
        if (series->Active() && series->UsesAxis(this)) {
            FDateTimeAxis = FHorizontal ? series->XValues()->DateTime() : series->YValues()->DateTime();
            break;
        }
    }
    canvas.SetFont(FLabelsFont);
    const double step = LabelStep();
    if (recomputePosition) {
        TChartRect plot{Chart->PlotLeft(), Chart->PlotTop(), Chart->PlotRight(), Chart->PlotBottom()};
        const int shift = PositionShift(plot);
        if (FHorizontal)
            FAxisLinePos = FOtherSide ? plot.Top + shift : plot.Bottom - shift;
        else
            FAxisLinePos = FOtherSide ? plot.Right - shift : plot.Left + shift;
    }
    if (!FTitle.Caption().isEmpty())
        DrawTitle();
    FTickPositions.clear();
    canvas.SetBrush(Chart->Color(), TBrushStyle::bsClear);
    if (step > 0 && FEffectiveMaximum >= FEffectiveMinimum) {
        switch (EffectiveLabelStyle()) {
        case TAxisLabelStyle::talValue:
            // The text (and the chart's label event) only for values that get a label.
            for (const double value : LabelValues(step)) {
                const int pixel = ValueToPixel(value);
                if (TakeLabelPosition(pixel))
                    DrawLabel(pixel, LabelText(value));
            }
            break;
        case TAxisLabelStyle::talText:
        case TAxisLabelStyle::talMark:
            for (TChartSeries* series : Chart->SeriesList()) {
                if (!series->Active() || !series->UsesAxis(this))
                    continue;
                const bool marks = EffectiveLabelStyle() == TAxisLabelStyle::talMark;
                for (int i = series->PointCount() - 1; i >= 0; --i) {
                    const double value = FHorizontal ? series->XValue(i) : series->YValue(i);
                    const int pixel = ValueToPixel(value);
                    if (!TakeLabelPosition(pixel))
                        continue;
                    QString text = marks ? series->MarkText(i) : series->PointLabel(i);
                    if (FLabelsMultiLine)
                        text.replace(QLatin1Char(' '), QChar(13));
                    DrawLabel(pixel, text);
                }
                break;
            }
            break;
        default:
            break;
        }
    }
    DrawLineTicksGrid();
}
