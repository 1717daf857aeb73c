#include "chart/bar_series.h"

#include "chart/chart.h"
#include "chart/chart_math.h"

#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <typeinfo>

using chart::RoundHalfEven;

TCustomBarSeries::TCustomBarSeries()
{
    FBarBrush.OnChange = [this] { RequestRepaint(); };
    FBarPen.OnChange = [this] { RequestRepaint(); };
    Marks().SetVisible(true);
    Marks().SetArrowLength(20);
    YValues()->SetName(QStringLiteral("Bar"));
    YValues()->SetOrder(TChartListOrder::loNone);
}

void TCustomBarSeries::SetBarWidthPercent(int value)
{
    if (value < 1 || value > 100)
        throw BarException("Bar Width Percent must be between 1 and 100");
    Store(FBarWidthPercent, value);
}

void TCustomBarSeries::SetOffsetPercent(int value)
{
    if (value < -100 || value > 100)
        throw BarException("Bar Offset Percent must be between -100% and 100%");
    Store(FOffsetPercent, value);
}

double TCustomBarSeries::BaseValue(int /*index*/) const
{
    return FUseYOrigin ? FYOrigin : 0.0;
}

TBarSeries::TBarSeries() = default;

template <class Visit>
void TBarSeries::ForEachSameClass(Visit visit) const
{
    if (!ParentChart())
        return;
    for (TChartSeries* series : ParentChart()->SeriesList())
        if (series->Active() && typeid(*series) == typeid(*this))
            visit(static_cast<const TBarSeries*>(series));
}

int TBarSeries::SameClassBarCount() const
{
    int count = 0;
    ForEachSameClass([&count](const TBarSeries*) { ++count; });
    return count;
}

int TBarSeries::BarOrderPosition() const
{
    int position = 1;
    bool found = false;
    ForEachSameClass([&](const TBarSeries* series) {
        found = found || series == this;
        if (!found)
            ++position;
    });
    return position;
}

void TBarSeries::ComputeBarSize()
{
    if (FCustomBarWidth != 0) {
        FBarSize = FCustomBarWidth;
        return;
    }
    int n = PointCount();
    int k = 1;
    if (ParentChart() && MultiBar() == TMultiBar::mbSide) {
        int series = 0;
        n = -1;
        ForEachSameClass([&](const TBarSeries* same) {
            ++series;
            n = std::max(n, same->PointCount());
        });
        k = std::max(1, series);
    }
    if (ParentChart() && ParentChart()->MaxPointsPerPage() > 0)
        n = ParentChart()->MaxPointsPerPage();
    TChartAxis* axis = GetHorizAxis();
    if (n <= 0 || !axis) {
        FBarSize = 0;
        return;
    }
    int space = 0;
    if (AutoBarSize()) {
        const double slotCount = axis->Maximum() + 2 - axis->Minimum();
        space = slotCount == 0 ? 0 : RoundHalfEven(axis->AxisLength() / slotCount);
    } else {
        space = axis->AxisLength() / (SideMargins() ? n + 1 : n);
    }
    int width = RoundHalfEven(BarWidthPercent() * 0.01 * space) / k;
    if (width > 0 && width % 2 != 0)
        ++width;
    FBarSize = width;
}

int TBarSeries::BarOffset() const
{
    int offset = 0;
    if (MultiBar() == TMultiBar::mbSide) {
        int count = 0;
        int position = 0;
        ForEachSameClass([&](const TBarSeries* series) {
            ++count;
            if (series == this)
                position = count;
        });
        if (position == 0)
            position = count + 1;
        offset = RoundHalfEven((position - count * 0.5 - 1) * FBarSize);
    } else {
        offset = -(FBarSize / 2);
    }
    if (OffsetPercent() != 0)
        offset += RoundHalfEven(OffsetPercent() * FBarSize * 0.01);
    return offset;
}

int TBarSeries::XPixel(int index) const
{
    TChartAxis* axis = GetHorizAxis();
    if (!axis)
        return 0;
    return axis->ValueToPixel(XValue(index)) + BarOffset();
}

double TBarSeries::SameClassSum(int index, bool onlyBefore) const
{
    double sum = 0.0;
    bool reached = false;
    ForEachSameClass([&](const TBarSeries* series) {
        reached = reached || (onlyBefore && series == this);
        if (!reached && index < series->PointCount())
            sum += series->YValue(index);
    });
    return sum;
}

double TBarSeries::StackedBelow(int index) const
{
    return SameClassSum(index, true);
}

double TBarSeries::ColumnTotal(int index) const
{
    return SameClassSum(index, false);
}

double TBarSeries::StackedTop(int index) const
{
    return StackedBelow(index) + YValue(index);
}

int TBarSeries::YPixel(int index) const
{
    TChartAxis* axis = GetVertAxis();
    if (!axis)
        return 0;
    switch (MultiBar()) {
    case TMultiBar::mbStacked:
        return axis->ValueToPixel(StackedTop(index));
    case TMultiBar::mbStacked100: {
        const double total = ColumnTotal(index);
        return axis->ValueToPixel(total == 0 ? 0.0 : StackedTop(index) * 100.0 / total);
    }
    default:
        return axis->ValueToPixel(YValue(index));
    }
}

int TBarSeries::OriginPixel(int index) const
{
    TChartAxis* axis = GetVertAxis();
    if (!axis)
        return 0;
    switch (MultiBar()) {
    case TMultiBar::mbStacked:
        return axis->ValueToPixel(StackedBelow(index));
    case TMultiBar::mbStacked100: {
        const double total = ColumnTotal(index);
        return axis->ValueToPixel(total == 0 ? 0.0 : StackedBelow(index) * 100.0 / total);
    }
    default:
        return UseYOrigin() ? axis->ValueToPixel(YOrigin()) : axis->EndPixel();
    }
}

void TBarSeries::DrawPoint(int index)
{
    const TColor color = PointColor(index);
    FCurrentBarColor = color;
    if (color == clNone)
        return;
    PlaceBar(index, XPixel(index));
    DrawBar(index, std::min(FBarRect.Top, FBarRect.Bottom), std::max(FBarRect.Top, FBarRect.Bottom));
}

void TBarSeries::PlaceBar(int index, int left)
{
    FBarRect.Left = left;
    FBarRect.Right = left + FBarSize;
    FBarRect.Top = YPixel(index);
    FBarRect.Bottom = BarEndPixel(index);
}

bool TBarSeries::PlainBars()
{
    const TPenStyle lineStyle = BarPen().Visible() ? BarPen().Style() : TPenStyle::psClear;
    return BarStyle() == TBarStyle::bsRectangle && !OnGetBarStyle && BarBrush().Style() == TBrushStyle::bsSolid &&
        BarPen().Width() <= 1 && (lineStyle == TPenStyle::psSolid || lineStyle == TPenStyle::psClear) &&
        FBarSize >= 0 && Canvas() && GetHorizAxis() && GetVertAxis();
}

// Dense bars share pixel columns. Where bars are plain fills, the bars of one column are gathered
// and the column is filled once: each pixel takes the colour of the last bar over it, as it
// would if every bar were drawn in turn. Bars with an outline are drawn one by one, in turn.
void TBarSeries::DrawAllPoints()
{
    if (FirstVisibleIndex() < 0 || !PlainBars()) {
        TChartSeries::DrawAllPoints();
        return;
    }
    TChartAxis* horizontal = GetHorizAxis();
    const int offset = BarOffset();
    const bool outlined = BarPen().Visible() && BarPen().Style() != TPenStyle::psClear;
    const bool forward = DrawForward();
    const int first = FirstVisibleIndex();
    const int last = LastVisibleIndex();
    int columnLeft = 0;
    int columnRight = 0;
    // The last bar filled here rather than drawn in turn, if any, and whether it was a line.
    TColor lastFilled = clNone;
    bool lastWasLine = false;
    FColumn.clear();
    for (int step = 0; step <= last - first; ++step) {
        const int index = forward ? first + step : last - step;
        const TColor color = PointColor(index);
        FCurrentBarColor = color;
        if (color == clNone)
            continue;
        PlaceBar(index, horizontal->ValueToPixel(XValue(index)) + offset);
        const int top = std::min(FBarRect.Top, FBarRect.Bottom);
        const int bottom = std::max(FBarRect.Top, FBarRect.Bottom);
        const bool line = FBarRect.Left == FBarRect.Right || top == bottom;
        if (outlined && !line) {
            FillColumn(columnLeft, columnRight);
            DrawBar(index, top, bottom);
            lastFilled = clNone;
            continue;
        }
        lastFilled = color;
        lastWasLine = line;
        // A bar without width is a column of its rows, one without height a row of its width.
        const int right = FBarRect.Left == FBarRect.Right ? FBarRect.Left + 1 : FBarRect.Right;
        const int rowsEnd = top == bottom && FBarRect.Left != FBarRect.Right ? top + 1 : bottom;
        if (top == rowsEnd)
            continue;
        if (FBarRect.Left != columnLeft || right != columnRight) {
            FillColumn(columnLeft, columnRight);
            columnLeft = FBarRect.Left;
            columnRight = right;
        }
        FColumn.push_back({top, rowsEnd, color});
    }
    FillColumn(columnLeft, columnRight);
    // The canvas as the last bar drawn in turn would leave it, for what draws after the bars.
    if (lastFilled != clNone) {
        PrepareBarCanvas(lastFilled);
        if (lastWasLine)
            UseLinePen();
    }
}

void TBarSeries::FillColumn(int left, int right)
{
    TChartCanvas* canvas = Canvas();
    // The last bar first: each bar fills only the rows that no later bar covers.
    FCovered.clear();
    for (auto bar = FColumn.rbegin(); bar != FColumn.rend(); ++bar) {
        int from = bar->Top;
        auto covered = FCovered.begin();
        for (; covered != FCovered.end() && covered->first < bar->Bottom; ++covered) {
            if (covered->second <= from)
                continue;
            if (covered->first > from)
                canvas->FillRect(left, from, right, covered->first, bar->Color);
            from = covered->second;
        }
        if (from < bar->Bottom)
            canvas->FillRect(left, from, right, bar->Bottom, bar->Color);
        // Its rows join the covered ones, merged with those they overlap or touch.
        int top = bar->Top;
        int bottom = bar->Bottom;
        covered = FCovered.begin();
        while (covered != FCovered.end() && covered->second < top)
            ++covered;
        auto merged = covered;
        while (merged != FCovered.end() && merged->first <= bottom) {
            top = std::min(top, merged->first);
            bottom = std::max(bottom, merged->second);
            ++merged;
        }
        FCovered.insert(FCovered.erase(covered, merged), {top, bottom});
    }
    FColumn.clear();
}

void TBarSeries::PrepareBarCanvas(TColor color)
{
    TChartCanvas* canvas = Canvas();
    canvas->SetPen(BarPen());
    const TColor background = BarBrush().Color() == clDefault ? ParentChart()->Color() : BarBrush().Color();
    ParentChart()->SetBrushForFill(color, BarBrush().Style(), background);
}

void TBarSeries::UseLinePen()
{
    TChartCanvas* canvas = Canvas();
    canvas->SetPenColor(canvas->BrushColor());
    if (canvas->PenStyle() == TPenStyle::psClear)
        canvas->SetPenStyle(TPenStyle::psSolid);
}

void TBarSeries::DrawBar(int index, int top, int bottom)
{
    TChartCanvas* canvas = Canvas();
    if (!canvas)
        return;
    PrepareBarCanvas(FCurrentBarColor);
    TBarStyle style = BarStyle();
    if (OnGetBarStyle)
        OnGetBarStyle(this, index, style);
    const int left = FBarRect.Left;
    const int right = FBarRect.Right;
    const int middle = (left + right) / 2;
    const bool upward = FBarRect.Top <= FBarRect.Bottom; // the value lies above the origin
    switch (style) {
    case TBarStyle::bsPyramid:
    case TBarStyle::bsInvPyramid: {
        const bool apexUp = (style == TBarStyle::bsPyramid) == upward;
        QPolygon shape;
        if (apexUp)
            shape << QPoint(left, bottom) << QPoint(middle, top) << QPoint(right, bottom);
        else
            shape << QPoint(left, top) << QPoint(right, top) << QPoint(middle, bottom);
        canvas->Polygon(shape);
        break;
    }
    case TBarStyle::bsEllipse:
        canvas->Ellipse(left, top, right, bottom);
        break;
    case TBarStyle::bsArrow: {
        const int head = std::min((right - left) / 2, bottom - top);
        const int quarter = (right - left) / 4;
        QPolygon shape;
        if (upward)
            shape << QPoint(left + quarter, bottom) << QPoint(left + quarter, top + head) << QPoint(left, top + head)
                  << QPoint(middle, top) << QPoint(right, top + head) << QPoint(right - quarter, top + head)
                  << QPoint(right - quarter, bottom);
        else
            shape << QPoint(left + quarter, top) << QPoint(left + quarter, bottom - head) << QPoint(left, bottom - head)
                  << QPoint(middle, bottom) << QPoint(right, bottom - head) << QPoint(right - quarter, bottom - head)
                  << QPoint(right - quarter, top);
        canvas->Polygon(shape);
        break;
    }
    case TBarStyle::bsRectGradient: {
        // The bar colour at the bottom shading to white at the top, outlined afterwards.
        canvas->Gradient(TChartRect{left, top, right, bottom}, FCurrentBarColor, clWhite,
                         TGradientDirection::gdTopBottom);
        if (BarPen().Visible()) {
            canvas->SetBrushStyle(TBrushStyle::bsClear);
            DrawBarRectangle(FCurrentBarColor, left, top, right, bottom);
        }
        break;
    }
    default:
        DrawBarRectangle(FCurrentBarColor, left, top, right, bottom);
        break;
    }
}

void TBarSeries::DrawBarRectangle(TColor /*color*/, int left, int top, int right, int bottom)
{
    TChartCanvas* canvas = Canvas();
    if (!canvas)
        return;
    if (canvas->BrushStyle() == TBrushStyle::bsSolid) {
        const bool noWidth = left == right;
        const bool noHeight = top == bottom;
        if (noWidth || noHeight) {
            // A bar without area still shows as a line of its own colour.
            UseLinePen();
            canvas->Line(left, top, right, bottom);
        } else if (canvas->PenWidth() > std::abs(right - left) || canvas->PenWidth() > std::abs(bottom - top)) {
            // Thinner than its pen: an outline in the bar's colour, no fill.
            canvas->SetPenColor(canvas->BrushColor());
            if (canvas->PenStyle() == TPenStyle::psClear)
                canvas->SetPenStyle(TPenStyle::psSolid);
            canvas->SetBrushStyle(TBrushStyle::bsClear);
        }
    }
    canvas->Rectangle(left, top, right, bottom);
}

double TBarSeries::HighestY() const
{
    switch (MultiBar()) {
    case TMultiBar::mbStacked100:
        return 100.0;
    case TMultiBar::mbStacked: {
        double highest = 0.0;
        for (int i = 0; i < PointCount(); ++i)
            highest = i == 0 ? StackedTop(i) : std::max(highest, StackedTop(i));
        if (UseYOrigin() && highest < YOrigin())
            highest = YOrigin();
        return highest;
    }
    default: {
        double highest = YValues()->MaxOfValues();
        if (UseYOrigin() && highest < YOrigin())
            highest = YOrigin();
        return highest;
    }
    }
}

double TBarSeries::LowestY() const
{
    if (MultiBar() == TMultiBar::mbStacked100)
        return 0.0;
    double lowest = YValues()->MinOfValues();
    if (UseYOrigin() && lowest > YOrigin())
        lowest = YOrigin();
    return lowest;
}

bool TBarSeries::DrawForward() const
{
    TChartAxis* axis = GetHorizAxis();
    return !axis || !axis->Inverted();
}

void TBarSeries::HorizontalMargins(int& left, int& right)
{
    ComputeBarSize();
    const int k = MultiBar() == TMultiBar::mbSide ? std::max(1, SameClassBarCount()) : 1;
    const int margin = SideMargins() ? k * FBarSize : (k * FBarSize) / 2;
    left = margin;
    right = margin;
}

void TBarSeries::VerticalMargins(int& top, int& bottom)
{
    top = 0;
    bottom = 0;
    if (!Marks().Visible() || PointCount() == 0 || !Canvas())
        return;
    TChartCanvas* canvas = Canvas();
    canvas->SetFont(Marks().Font());
    const int frame = Marks().Frame().Visible() ? Marks().Frame().Width() : 0;
    const int room = canvas->FontHeight() + Marks().ArrowLength() + 2 * frame + 1;
    bool above = false;
    bool below = false;
    for (int i = 0; i < PointCount(); ++i) {
        if (YValue(i) >= YOrigin())
            above = true;
        else
            below = true;
    }
    top = above ? room : 0;
    bottom = below ? room : 0;
}

void TBarSeries::DrawMark(int index)
{
    // A bar's mark stands on the middle of the bar's far end.
    TChartCanvas* canvas = Canvas();
    if (!canvas)
        return;
    const QString text = MarkText(index);
    if (text.isEmpty())
        return;
    const int x = XPixel(index) + FBarSize / 2;
    const int top = YPixel(index);
    const bool downward = top > OriginPixel(index);
    const int arrow = Marks().ArrowLength();
    canvas->SetFont(Marks().Font());
    const int frame = Marks().Frame().Visible() ? Marks().Frame().Width() : 0;
    const int width = canvas->TextWidth(text) + 4 + 2 * frame;
    const int height = canvas->FontHeight() + 2 + 2 * frame;
    const int anchor = downward ? top + arrow : top - arrow;
    if (Marks().Arrow().Visible() && arrow > 0) {
        canvas->SetPen(Marks().Arrow());
        canvas->Line(x, top, x, anchor);
    }
    const int boxTop = downward ? anchor : anchor - height;
    canvas->SetPen(Marks().Frame());
    canvas->SetBrush(Marks().BackColor(), TBrushStyle::bsSolid);
    canvas->Rectangle(x - width / 2, boxTop, x - width / 2 + width, boxTop + height);
    canvas->TextOut(x, boxTop + frame + 1, text, TTextHAlign::Center);
    if (static_cast<int>(Marks().Positions.size()) < PointCount())
        Marks().Positions.resize(static_cast<std::size_t>(PointCount()));
    Marks().Positions[static_cast<std::size_t>(index)] = QRect(x - width / 2, boxTop, width, height);
}

TChartRect TBarSeries::PointBarRect(int index) const
{
    const int left = XPixel(index);
    const int top = YPixel(index);
    const int end = BarEndPixel(index);
    return TChartRect{left, std::min(top, end), left + FBarSize, std::max(top, end)};
}

int TBarSeries::Clicked(int x, int y) const
{
    TChart* chart = ParentChart();
    if (!chart)
        return -1;
    // What the clip of the plot area hides cannot be hit either.
    if (chart->ClipPoints() && !chart->PlotRect().contains(x, y))
        return -1;
    for (int i = PointCount() - 1; i >= 0; --i) {
        if (PointColor(i) == clNone)
            continue;
        const TChartRect r = PointBarRect(i);
        if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom)
            return i;
    }
    return -1;
}
