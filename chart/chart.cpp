#include "chart/chart.h"

#include "chart/chart_math.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

using chart::MulDiv;

TChartTitle::TChartTitle()
{
    FFont.OnChange = [this] { Changed(); };
    FBrush.OnChange = [this] { Changed(); };
    FFrame.OnChange = [this] { Changed(); };
}

void TChartTitle::SetLine(int index, const QString& line)
{
    if (index < 0 || index > FText.size())
        throw EListError(index);
    if (index == FText.size()) {
        FText.append(line);
    } else {
        if (FText[index] == line)
            return;
        FText[index] = line;
    }
    Changed();
}

TChart::TChart(QWidget* parent)
    : QWidget(parent)
{
    AxisList[0] = std::make_unique<TChartAxis>(this, true, false);
    AxisList[1] = std::make_unique<TChartAxis>(this, true, true);
    AxisList[2] = std::make_unique<TChartAxis>(this, false, false);
    AxisList[3] = std::make_unique<TChartAxis>(this, false, true);
    AxisList[4] = std::make_unique<TChartAxis>(this, false, true, true);
    LeftAxis()->Title().SetAngle(90);
    RightAxis()->Title().SetAngle(270);

    for (TChartObject* part : std::initializer_list<TChartObject*>{
             &FGradient, &FTitle, &FFoot, &FLegend, &FLegend.Font(), &FLegend.Frame(), &FBackWall, &FBackWall.Brush(),
             &FBackWall.Pen(), &FLeftWall, &FLeftWall.Brush(), &FLeftWall.Pen(), &FBottomWall, &FBottomWall.Brush(),
             &FBottomWall.Pen()})
        WireChange(*part);
    FBackWall.Brush().SetStyle(TBrushStyle::bsClear);

    // The image covers every pixel: the window system need not clear anything before a paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    FRepaintEnabled = true;
}

TChart::~TChart()
{
    FDestroying = true;
    for (TChartSeries* series : FSeriesList)
        series->FParentChart = nullptr;
    FSeriesList.clear();
    OwnedSeries.clear();
}

void TChart::WireChange(TChartObject& object)
{
    object.OnChange = [this] { Invalidate(); };
}

std::vector<TChartAxis*> TChart::Axes() const
{
    std::vector<TChartAxis*> axes;
    for (const auto& axis : AxisList)
        axes.push_back(axis.get());
    return axes;
}

bool TChart::AxisShown(const TChartAxis* axis) const
{
    // The chart draws flat, so the depth axis never shows.
    if (!FAxisVisible || !axis->Visible() || axis->IsDepthAxis())
        return false;
    if (FSeriesList.empty())
        return true;
    for (TChartSeries* series : FSeriesList)
        if (series->Active() && series->UsesAxis(axis))
            return true;
    return false;
}

void TChart::AddSeries(TChartSeries* series)
{
    if (!series || series->FParentChart == this)
        return;
    if (series->FParentChart)
        series->FParentChart->RemoveSeries(series);
    FSeriesList.push_back(series);
    series->FParentChart = this;
    Invalidate();
}

void TChart::RemoveSeries(TChartSeries* series)
{
    auto found = std::find(FSeriesList.begin(), FSeriesList.end(), series);
    if (found == FSeriesList.end())
        return;
    FSeriesList.erase(found);
    series->FParentChart = nullptr;
    Invalidate();
}

int TChart::ActiveSeriesCount() const
{
    return static_cast<int>(
        std::count_if(FSeriesList.begin(), FSeriesList.end(), [](TChartSeries* s) { return s->Active(); }));
}

void TChart::SetChart3DPercent(int value)
{
    if (value < 1 || value > 100)
        throw ChartException(
            QStringLiteral("3D effect percent must be between %1 and %2").arg(1).arg(100).toStdString());
    Store(FChart3DPercent, value);
}

void TChart::GetAxisLabel(TChartAxis* axis, TChartSeries* series, int index, QString& text)
{
    if (OnGetAxisLabel)
        OnGetAxisLabel(axis, series, index, text);
}

void TChart::Invalidate()
{
    if (!FRepaintEnabled)
        return;
    FDirty = true;
    update();
}

void TChart::paintEvent(QPaintEvent*)
{
    ++FPaintCount;
    QPainter painter(this);
    PaintInto(painter);
}

void TChart::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Invalidate();
}

void TChart::PaintInto(QPainter& target)
{
    if (Printing())
        return;
    if (FDirty || Buffer.size() != size())
        Draw();
    if (!Buffer.isNull())
        target.drawImage(0, 0, Buffer);
}

const QImage& TChart::RenderToImage()
{
    Draw();
    return Buffer;
}

void TChart::Draw()
{
    ++FDrawCount;
    const QSize clientSize = size();
    if (clientSize.width() <= 0 || clientSize.height() <= 0) {
        Buffer = QImage();
        FDirty = false;
        return;
    }
    if (Buffer.size() != clientSize || Buffer.format() != QImage::Format_RGB32)
        Buffer = QImage(clientSize, QImage::Format_RGB32);
    FCanvas.Begin(Buffer);
    FPanelBounds = QRect(0, 0, clientSize.width(), clientSize.height());
    const int w = clientSize.width();
    const int h = clientSize.height();
    const int border = FBorderWidth;
    Plot.Left = border + MulDiv(MarginLeft(), w, 100);
    Plot.Top = border + MulDiv(MarginTop(), h, 100);
    Plot.Right = w - border - MulDiv(MarginRight(), w, 100);
    Plot.Bottom = h - border - MulDiv(MarginBottom(), h, 100);
    FixPlotSize();
    InternalDraw(FPanelBounds);
    FCanvas.End();
    FDirty = false;
}

void TChart::FixPlotSize()
{
    Plot.Left = std::max(Plot.Left, FPanelBounds.left());
    Plot.Top = std::max(Plot.Top, FPanelBounds.top());
    if (Plot.Right < Plot.Left)
        Plot.Right = Plot.Left + 1;
    else if (Plot.Right == Plot.Left)
        Plot.Right = Plot.Left + width();
    if (Plot.Bottom < Plot.Top)
        Plot.Bottom = Plot.Top + 1;
    else if (Plot.Bottom == Plot.Top)
        Plot.Bottom = Plot.Top + height();
    Plot.Width = Plot.Right - Plot.Left;
    Plot.Height = Plot.Bottom - Plot.Top;
    Plot.CenterX = (Plot.Left + Plot.Right) / 2;
    Plot.CenterY = (Plot.Top + Plot.Bottom) / 2;
}

void TChart::InternalDraw(const QRect& bounds)
{
    PaintBackground(bounds);
    for (TChartSeries* series : FSeriesList)
        if (series->Active())
            series->DoBeforeDrawChart();
    LayoutTitlesAndLegend();
    LayoutAxes();
    ApplySeriesMargins();
    DrawBackWall();
    if (FAxisVisible) {
        if (OnBeforeDrawAxes)
            OnBeforeDrawAxes(this);
        for (const auto& axis : AxisList)
            if (AxisShown(axis.get()))
                axis->DrawAxis(true);
    }
    if (OnBeforeDrawSeries)
        OnBeforeDrawSeries(this);
    for (TChartSeries* series : FSeriesList)
        if (series->Active())
            series->DrawValues();
    // A zoom drag in progress keeps its rectangle on the image, so erasing it later restores the picture.
    if (FZoomDrag.Active)
        DrawZoomRectangle();
    FCanvas.ClearClip();
    FCanvas.SetPen(clBlack);
    FCanvas.SetBrush(clWhite);
    FCanvas.SetBackTransparent(false);
    if (OnAfterDraw)
        OnAfterDraw(this);
}

void TChart::PaintBackground(const QRect& bounds)
{
    FillPanelBackground(bounds);
    TChartRect rect{bounds.left(), bounds.top(), bounds.left() + bounds.width(), bounds.top() + bounds.height()};
    DrawBevel(rect, FBevelOuter);
    for (int i = 0; i < FBorderWidth; ++i) {
        FCanvas.SetPen(FColor);
        FCanvas.SetBrush(FColor, TBrushStyle::bsClear);
        FCanvas.Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom);
        rect = TChartRect{rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1};
    }
    DrawBevel(rect, FBevelInner);
}

void TChart::DrawBevel(TChartRect& rect, TPanelBevel bevel)
{
    if (bevel == TPanelBevel::bvNone || bevel == TPanelBevel::bvSpace) {
        if (bevel == TPanelBevel::bvSpace)
            rect = TChartRect{rect.Left + FBevelWidth, rect.Top + FBevelWidth, rect.Right - FBevelWidth,
                              rect.Bottom - FBevelWidth};
        return;
    }
    const TColor light = bevel == TPanelBevel::bvRaised ? clBtnHighlight : clBtnShadow;
    const TColor dark = bevel == TPanelBevel::bvRaised ? clBtnShadow : clBtnHighlight;
    for (int i = 0; i < FBevelWidth; ++i) {
        FCanvas.FillRect(rect.Left, rect.Top, rect.Right, rect.Top + 1, light);
        FCanvas.FillRect(rect.Left, rect.Top, rect.Left + 1, rect.Bottom, light);
        FCanvas.FillRect(rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom, dark);
        FCanvas.FillRect(rect.Right - 1, rect.Top, rect.Right, rect.Bottom, dark);
        rect = TChartRect{rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1};
    }
}

void TChart::FillPanelBackground(const QRect& bounds)
{
    const TChartRect rect{bounds.left(), bounds.top(), bounds.left() + bounds.width(), bounds.top() + bounds.height()};
    if (FGradient.Visible())
        FCanvas.Gradient(rect, FGradient.StartColor(), FGradient.EndColor(), FGradient.Direction());
    else if (!Printing())
        FCanvas.FillRect(rect.Left, rect.Top, rect.Right, rect.Bottom, FColor);
}

void TChart::SetBrushForFill(TColor color, TBrushStyle style, TColor background)
{
    if (style != TBrushStyle::bsSolid && color == background)
        color = background == clBlack ? clWhite : clBlack;
    FCanvas.SetBrush(color, style);
    if (style == TBrushStyle::bsSolid) {
        FCanvas.SetBackTransparent(true);
    } else {
        FCanvas.SetBackTransparent(false);
        FCanvas.SetBackColor(background);
    }
}

void TChart::LayoutTitlesAndLegend()
{
    FLegend.FItemRects.clear();
    if (!FLegend.Visible() || ActiveSeriesCount() == 0) {
        DrawTitle(FTitle, true);
        DrawTitle(FFoot, false);
        return;
    }
    const bool vertical =
        FLegend.Alignment() == TLegendAlignment::laLeft || FLegend.Alignment() == TLegendAlignment::laRight;
    if (vertical)
        DrawLegend();
    DrawTitle(FTitle, true);
    DrawTitle(FFoot, false);
    if (!vertical)
        DrawLegend();
}

void TChart::DrawTitle(TChartTitle& title, bool atTop)
{
    title.FTitleRect = QRect();
    const int lines = static_cast<int>(title.Text().size());
    if (!title.Visible() || lines == 0)
        return;
    FCanvas.SetFont(title.Font());
    const int h = FCanvas.FontHeight();
    const int w = FCanvas.TextWidth(QStringLiteral("W"));
    UseTitleBrush(title);

    const bool frame = title.Frame().Visible() && title.Frame().Color() != clDefault;
    const int f = frame ? title.Frame().Width() : 0;
    if (frame)
        FCanvas.SetPen(title.Frame());
    else
        FCanvas.SetPen(clBlack, TPenStyle::psClear);

    const int innerTop = atTop ? Plot.Top + f : Plot.Bottom - f - lines * h;
    TChartRect box{Plot.Left, innerTop - f, Plot.Right, innerTop + lines * h + f};
    if (frame || FCanvas.BrushStyle() != TBrushStyle::bsClear) {
        if (title.AdjustFrame())
            FitTitleBox(title, box, w);
        FCanvas.Rectangle(box.Left, box.Top, box.Right, box.Bottom);
    }
    title.FTitleRect = QRect(box.Left, box.Top, box.Width(), box.Height());
    DrawTitleLines(title, innerTop, f, w);

    if (atTop)
        Plot.Top = innerTop + lines * h + f + 5;
    else
        Plot.Bottom = innerTop - f - 5;
    FixPlotSize();
}

void TChart::UseTitleBrush(TChartTitle& title)
{
    const TChartBrush& brush = title.Brush();
    if (title.Color() == clDefault) {
        if (brush.Style() != TBrushStyle::bsSolid) {
            FCanvas.SetBrush(brush.Color(), brush.Style());
            FCanvas.SetBackTransparent(true);
        } else if (brush.Color() == clDefault) {
            FCanvas.SetBrush(clWhite, TBrushStyle::bsClear);
        } else {
            FCanvas.SetBrush(brush.Color(), TBrushStyle::bsSolid);
        }
    } else if (brush.Style() != TBrushStyle::bsSolid) {
        // A pattern over the title's colour; a clear brush stays clear, so no box is drawn.
        FCanvas.SetBrush(brush.Color(), brush.Style());
        FCanvas.SetBackTransparent(false);
        FCanvas.SetBackColor(title.Color());
    } else {
        FCanvas.SetBrush(title.Color(), TBrushStyle::bsSolid);
    }
}

void TChart::FitTitleBox(const TChartTitle& title, TChartRect& box, int charWidth)
{
    int widest = 0;
    for (const QString& line : title.Text())
        widest = std::max(widest, FCanvas.TextWidth(line));
    const int boxWidth = widest + charWidth;
    switch (title.Alignment()) {
    case TTitleAlignment::taLeftJustify:
        box.Right = box.Left + boxWidth;
        break;
    case TTitleAlignment::taRightJustify:
        box.Left = box.Right - boxWidth;
        break;
    case TTitleAlignment::taCenter: {
        const int middle = (box.Left + box.Right) / 2;
        box.Left = middle - boxWidth / 2;
        box.Right = middle + boxWidth / 2;
        break;
    }
    }
}

void TChart::DrawTitleLines(const TChartTitle& title, int innerTop, int frameWidth, int charWidth)
{
    const int h = FCanvas.FontHeight();
    const int innerLeft = Plot.Left + frameWidth;
    const int innerRight = Plot.Right - frameWidth;
    FCanvas.SetBackTransparent(true);
    for (int j = 0; j < static_cast<int>(title.Text().size()); ++j) {
        const QString& line = title.Text()[j];
        const int textWidth = FCanvas.TextWidth(line);
        int x = 0;
        switch (title.Alignment()) {
        case TTitleAlignment::taLeftJustify:
            x = innerLeft + charWidth / 2;
            break;
        case TTitleAlignment::taRightJustify:
            x = innerRight - textWidth - charWidth / 2;
            break;
        case TTitleAlignment::taCenter:
            x = (innerLeft + innerRight) / 2 - textWidth / 2;
            break;
        }
        FCanvas.TextOut(x, innerTop + j * h, line);
    }
    FCanvas.SetBackTransparent(false);
}

int TChart::LegendItemCount(TChartSeries*& valueSeries) const
{
    valueSeries = nullptr;
    TLegendStyle style = FLegend.LegendStyle();
    TChartSeries* firstActive = nullptr;
    for (TChartSeries* series : FSeriesList)
        if (series->Active() && !firstActive)
            firstActive = series;
    if (style == TLegendStyle::lsAuto)
        style = ActiveSeriesCount() == 1 ? TLegendStyle::lsValues : TLegendStyle::lsSeries;
    if (style == TLegendStyle::lsValues) {
        valueSeries = firstActive;
        if (!firstActive || !firstActive->ShowInLegend())
            return 0;
        return std::max(0, firstActive->PointCount() - FLegend.FirstValue());
    }
    return static_cast<int>(std::count_if(FSeriesList.begin(), FSeriesList.end(),
                                          [](TChartSeries* s) { return s->Active() && s->ShowInLegend(); }));
}

int TChartLegend::Clicked(int x, int y) const
{
    if (!FVisible)
        return -1;
    for (std::size_t i = 0; i < FItemRects.size(); ++i)
        if (FItemRects[i].contains(x, y))
            return static_cast<int>(i);
    return -1;
}

void TChart::DrawLegend()
{
    FLegend.FLegendRect = QRect();
    FLegend.FItemRects.clear();
    TChartSeries* valueSeries = nullptr;
    if (LegendItemCount(valueSeries) == 0)
        return; // an empty legend takes no room
    const std::vector<TLegendEntry> entries = LegendEntries(valueSeries);

    FCanvas.SetFont(FLegend.Font());
    const int h = FCanvas.FontHeight();
    int widest = 0;
    for (const TLegendEntry& entry : entries)
        widest = std::max(widest, FCanvas.TextWidth(entry.Text));
    const int itemWidth = 4 + FLegend.ColorWidth() + 4 + widest + 4;
    const TLegendPlace place = PlaceLegend(static_cast<int>(entries.size()), itemWidth, h);
    const TChartRect& box = place.Box;

    const int shadow = FLegend.ShadowSize();
    if (shadow > 0)
        FCanvas.FillRect(box.Left + shadow, box.Top + shadow, box.Right + shadow, box.Bottom + shadow, clGray);
    FCanvas.SetPen(FLegend.Frame());
    FCanvas.SetBrush(FLegend.Color(), TBrushStyle::bsSolid);
    FCanvas.Rectangle(box.Left, box.Top, box.Right, box.Bottom);
    DrawLegendItems(entries, place, itemWidth);
    FLegend.FLegendRect = QRect(box.Left, box.Top, box.Width(), box.Height());
    if (FLegend.ResizeChart())
        MakeRoomForLegend(box);
}

std::vector<TChart::TLegendEntry> TChart::LegendEntries(TChartSeries* valueSeries) const
{
    std::vector<TLegendEntry> entries;
    if (valueSeries) {
        for (int i = FLegend.FirstValue(); i < valueSeries->PointCount(); ++i) {
            QString text = FormatFloat(valueSeries->ValueFormat(), valueSeries->YValue(i));
            const QString label = valueSeries->PointLabel(i);
            if (!label.isEmpty())
                text += QLatin1Char(' ') + label;
            entries.push_back({text, valueSeries->PointColor(i)});
        }
        return entries;
    }
    int number = 0;
    for (TChartSeries* series : FSeriesList) {
        ++number;
        if (!series->Active() || !series->ShowInLegend())
            continue;
        const QString title = series->Title().isEmpty() ? QStringLiteral("Series%1").arg(number) : series->Title();
        entries.push_back({title, series->SeriesColor()});
    }
    return entries;
}

TChart::TLegendPlace TChart::PlaceLegend(int entries, int itemWidth, int lineHeight) const
{
    TLegendPlace place;
    const TLegendAlignment alignment = FLegend.Alignment();
    place.Vertical = alignment == TLegendAlignment::laLeft || alignment == TLegendAlignment::laRight;
    TChartRect& box = place.Box;
    if (place.Vertical) {
        const int top = Plot.Top + MulDiv(FLegend.TopPos(), Plot.Height, 100);
        place.Rows = std::min(entries, std::max(1, (Plot.Bottom - top - 4) / std::max(1, lineHeight)));
        box.Top = top;
        box.Bottom = top + place.Rows * lineHeight + 4;
        box.Left = alignment == TLegendAlignment::laLeft ? Plot.Left : Plot.Right - itemWidth;
        box.Right = box.Left + itemWidth;
    } else {
        place.Columns = std::max(1, std::min(entries, (Plot.Width - 4) / std::max(1, itemWidth)));
        place.Rows = std::min(FLegend.MaxNumRows(), (entries + place.Columns - 1) / place.Columns);
        place.Rows = std::max(place.Rows, 1);
        const int boxWidth = place.Columns * itemWidth + 4;
        box.Left = Plot.CenterX - boxWidth / 2;
        box.Right = box.Left + boxWidth;
        box.Top = alignment == TLegendAlignment::laTop ? Plot.Top : Plot.Bottom - (place.Rows * lineHeight + 4);
        box.Bottom = box.Top + place.Rows * lineHeight + 4;
    }
    return place;
}

void TChart::DrawLegendItems(const std::vector<TLegendEntry>& entries, const TLegendPlace& place, int itemWidth)
{
    const int h = FCanvas.FontHeight();
    const int symbol = FLegend.ColorWidth();
    const int shown = std::min(static_cast<int>(entries.size()), place.Rows * place.Columns);
    for (int i = 0; i < shown; ++i) {
        const int column = place.Vertical ? 0 : i % place.Columns;
        const int row = place.Vertical ? i : i / place.Columns;
        const int x = place.Box.Left + 2 + column * itemWidth;
        const int y = place.Box.Top + 2 + row * h;
        const TLegendEntry& entry = entries[static_cast<std::size_t>(i)];
        if (entry.Color != clNone) {
            FCanvas.SetPen(clBlack);
            FCanvas.SetBrush(entry.Color == clDefault ? clRed : entry.Color, TBrushStyle::bsSolid);
            FCanvas.Rectangle(x + 4, y + 2, x + 4 + symbol, y + h - 2);
        }
        FCanvas.TextOut(x + 4 + symbol + 4, y, entry.Text);
        FLegend.FItemRects.push_back(QRect(x, y, itemWidth, h));
    }
}

void TChart::MakeRoomForLegend(const TChartRect& box)
{
    const int shadow = FLegend.ShadowSize();
    switch (FLegend.Alignment()) {
    case TLegendAlignment::laLeft:
        Plot.Left = box.Right + shadow + 5;
        break;
    case TLegendAlignment::laRight:
        Plot.Right = box.Left - 5;
        break;
    case TLegendAlignment::laTop:
        Plot.Top = box.Bottom + shadow + 5;
        break;
    case TLegendAlignment::laBottom:
        Plot.Bottom = box.Top - 5;
        break;
    }
    FixPlotSize();
}

void TChart::LayoutAxes()
{
    for (const auto& axis : AxisList)
        axis->ComputeRange();
    FixPlotSize();
    TChartRect r{Plot.Left, Plot.Top, Plot.Right, Plot.Bottom};
    for (const auto& axis : AxisList) {
        if (!AxisShown(axis.get()))
            continue;
        TChartRect t = r;
        axis->ReserveAxisSpace(t);
        const TChartRect both{std::max(r.Left, t.Left), std::max(r.Top, t.Top), std::min(r.Right, t.Right),
                              std::min(r.Bottom, t.Bottom)};
        if (both.Right > both.Left && both.Bottom > both.Top)
            r = both;
    }
    Plot.Left = r.Left;
    Plot.Top = r.Top;
    Plot.Right = r.Right;
    Plot.Bottom = r.Bottom;
    FixPlotSize();
    const TChartRect plot{Plot.Left, Plot.Top, Plot.Right, Plot.Bottom};
    for (const auto& axis : AxisList)
        axis->ComputePixelRange(plot);
}

void TChart::ApplySeriesMargins()
{
    for (TChartAxis* axis : {TopAxis(), LeftAxis(), RightAxis(), BottomAxis()}) {
        int first = 0;
        int second = 0;
        for (TChartSeries* series : FSeriesList) {
            if (!series->Active() || !series->UsesAxis(axis))
                continue;
            int a = 0;
            int b = 0;
            if (axis->IsHorizontal())
                series->HorizontalMargins(a, b);
            else
                series->VerticalMargins(a, b);
            first = std::max(first, a);
            second = std::max(second, b);
        }
        if (axis->IsHorizontal())
            axis->ApplyMargins(axis->AutomaticMinimum() ? first : 0, axis->AutomaticMaximum() ? second : 0);
        else
            axis->ApplyMargins(axis->AutomaticMaximum() ? first : 0, axis->AutomaticMinimum() ? second : 0);
    }
}

void TChart::DrawBackWall()
{
    FCanvas.SetPen(FBackWall.Pen());
    if (FBackWall.Color() == clDefault && FBackWall.Brush().Style() == TBrushStyle::bsSolid)
        FCanvas.SetBrush(clWhite, TBrushStyle::bsClear);
    else
        SetBrushForFill(FBackWall.Color(), FBackWall.Brush().Style(), FBackWall.Brush().Color());
    FCanvas.Rectangle(Plot.Left, Plot.Top, Plot.Right + 1, Plot.Bottom + 1);
    FCanvas.SetBackTransparent(false);
}
