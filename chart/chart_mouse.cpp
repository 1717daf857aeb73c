// The chart's own mouse handling: zoom by a left-button drag, restore by a drag up or left, panning
// by a right-button drag, and scrolling of the vertical axes by the wheel.
#include "chart/chart.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

namespace {

constexpr int WheelNotch = 120;
constexpr int ZoomThreshold = 16; // a drag must exceed this in both directions

} // namespace

void TZoomPanningRecord::Normalize()
{
    if (X1 < X0)
        std::swap(X0, X1);
    if (Y1 < Y0)
        std::swap(Y0, Y1);
}

void TChart::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    MouseDown(event->button(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click: a press of its own, marked as double.
    const QPoint p = event->position().toPoint();
    MouseDown(event->button(), event->modifiers(), p.x(), p.y(), true);
    event->accept();
}

void TChart::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    MouseMove(event->modifiers(), p.x(), p.y());
    event->accept();
}

void TChart::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    MouseUp(event->button(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void TChart::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore(); // sideways wheels do not scroll the chart
        return;
    }
    MouseWheel(delta, event->modifiers());
    event->accept();
}

bool TChart::PlotContains(int x, int y) const
{
    return x >= Plot.Left && x < Plot.Right && y >= Plot.Top && y < Plot.Bottom;
}

// An assigned handler runs with CancelMouse set, so it stops the press unless it clears the flag.
bool TChart::CallClickHandler(const std::function<void()>& call)
{
    CancelMouse = true;
    call();
    return CancelMouse;
}

void TChart::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y, bool doubleClick)
{
    if (OnMouseDown)
        OnMouseDown(this, button, modifiers, x, y);
    if (FZoomDrag.Active || FPanDrag.Active || CancelMouse) {
        CancelMouse = false;
        return;
    }

    const TClickedPart clicked = PartAt(x, y);
    TChartSeries* series = clicked.Series;
    const int valueIndex = clicked.ValueIndex;
    TChartAxis* axis = clicked.Axis;
    using TPart = TClickedPart::TPart;
    const TPart part = clicked.Part;

    bool cancelled = false;
    switch (part) {
    case TPart::Legend:
        if (OnClickLegend)
            cancelled = CallClickHandler([&] { OnClickLegend(this, button, modifiers, x, y); });
        break;
    case TPart::Axis:
        if (OnClickAxis)
            cancelled = CallClickHandler([&] { OnClickAxis(this, axis, button, modifiers, x, y); });
        if (!cancelled)
            CheckMouseDrag(button, modifiers, x, y);
        break;
    case TPart::Series:
        if (doubleClick) {
            if (series->OnDblClick)
                series->OnDblClick(series, valueIndex);
        } else if (series->OnClick) {
            series->OnClick(series, valueIndex);
        }
        if (OnClickSeries)
            cancelled = CallClickHandler([&] { OnClickSeries(this, series, valueIndex, button, modifiers, x, y); });
        if (!cancelled)
            CheckMouseDrag(button, modifiers, x, y);
        break;
    case TPart::PlotArea:
        if (OnClickBackground)
            cancelled = CallClickHandler([&] { OnClickBackground(this, button, modifiers, x, y); });
        if (!cancelled)
            CheckMouseDrag(button, modifiers, x, y);
        break;
    case TPart::Title:
    case TPart::Foot:
    case TPart::None:
        break;
    }
    if (!cancelled && OnClickBackground)
        CallClickHandler([&] { OnClickBackground(this, button, modifiers, x, y); });
    CancelMouse = false;
}

TChart::TClickedPart TChart::PartAt(int x, int y)
{
    using TPart = TClickedPart::TPart;
    TClickedPart clicked;
    for (auto it = FSeriesList.rbegin(); it != FSeriesList.rend(); ++it) {
        if (!(*it)->Active())
            continue;
        clicked.ValueIndex = (*it)->Clicked(x, y);
        if (clicked.ValueIndex >= 0) {
            clicked.Series = *it;
            clicked.Part = TPart::Series;
            return clicked;
        }
    }
    for (const auto& candidate : AxisList) {
        if (candidate->Clicked(x, y)) {
            clicked.Axis = candidate.get();
            clicked.Part = TPart::Axis;
            return clicked;
        }
    }
    if (FTitle.Visible() && FTitle.TitleRect().contains(x, y))
        clicked.Part = TPart::Title;
    else if (FFoot.Visible() && FFoot.TitleRect().contains(x, y))
        clicked.Part = TPart::Foot;
    else if (PlotContains(x, y) && ActiveSeriesCount() > 0)
        clicked.Part = TPart::PlotArea;
    else if (FLegend.Clicked(x, y) >= 0)
        clicked.Part = TPart::Legend;
    return clicked;
}

void TChart::CheckMouseDrag(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y)
{
    if (FAllowZoom && button == ZoomMouseButton && (modifiers & ZoomModifiers) == ZoomModifiers) {
        unsetCursor();
        FZoomDrag.Activate(x, y);
        DrawZoomRectangle();
        update();
    }
    if (FAllowPanning != TPanningMode::pmNone && button == PanMouseButton &&
        (modifiers & PanModifiers) == PanModifiers) {
        unsetCursor();
        FPanDrag.Activate(x, y);
    }
}

// Inverts the outline between the drag's corners on the kept image (not-xor with the panel colour,
// black on a white panel), so drawing it twice at the same place gives back every pixel.
void TChart::DrawZoomRectangle()
{
    if (Buffer.isNull())
        return;
    const bool begun = !FCanvas.Active();
    if (begun)
        FCanvas.Begin(Buffer);
    TColor color = ColorToRGB(FColor);
    if (color == clWhite)
        color = clBlack;
    const TPenMode oldMode = FCanvas.PenMode();
    FCanvas.ClearClip();
    FCanvas.SetPen(color, TPenStyle::psSolid, 1, TPenMode::pmNotXor);
    FCanvas.SetBrush(clWhite, TBrushStyle::bsClear);
    FCanvas.Rectangle(FZoomDrag.X0, FZoomDrag.Y0, FZoomDrag.X1, FZoomDrag.Y1);
    FCanvas.SetPenMode(oldMode == TPenMode::pmNotXor ? TPenMode::pmCopy : oldMode);
    if (begun)
        FCanvas.End();
}

void TChart::MouseMove(Qt::KeyboardModifiers /*modifiers*/, int x, int y)
{
    if (FZoomDrag.Active) {
        if (x == FZoomDrag.X1 && y == FZoomDrag.Y1)
            return;
        DrawZoomRectangle();
        FZoomDrag.X1 = x;
        FZoomDrag.Y1 = y;
        DrawZoomRectangle();
        update();
        return;
    }
    if (!FPanDrag.Active)
        return;
    if (!PlotContains(x, y)) {
        FPanDrag.Active = false; // leaving the plot area ends the pan
        return;
    }
    if (x == FPanDrag.X1 && y == FPanDrag.Y1)
        return;
    if (FScalesRestored)
        SaveScales();
    bool panned = false;
    PanAxes(true, FPanDrag.X1, x, panned);
    PanAxes(false, FPanDrag.Y1, y, panned);
    FPanDrag.X1 = x;
    FPanDrag.Y1 = y;
    if (panned) {
        if (OnScroll)
            OnScroll(this);
        Invalidate();
    }
}

void TChart::PanAxes(bool horizontal, int from, int to, bool& panned)
{
    if (from == to)
        return;
    const bool allowed = FAllowPanning == TPanningMode::pmBoth ||
        FAllowPanning == (horizontal ? TPanningMode::pmHorizontal : TPanningMode::pmVertical);
    if (!allowed)
        return;
    // Every axis of the direction moves, drawn or not, so the content follows the mouse.
    for (const auto& axis : AxisList) {
        if (axis->IsDepthAxis() || axis->IsHorizontal() != horizontal)
            continue;
        const double d = axis->PixelToValue(from) - axis->PixelToValue(to);
        double minimum = axis->Minimum() + d;
        double maximum = axis->Maximum() + d;
        bool allow = true;
        if (OnAllowScroll)
            OnAllowScroll(axis.get(), minimum, maximum, allow);
        if (allow) {
            axis->SetMinMax(minimum, maximum);
            panned = true;
        }
    }
}

void TChart::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers /*modifiers*/, int x, int y)
{
    if (FZoomDrag.Active && button == ZoomMouseButton) {
        FZoomDrag.Active = false;
        DrawZoomRectangle();
        update();
        FZoomDrag.X1 = x;
        FZoomDrag.Y1 = y;
        if (std::abs(FZoomDrag.X1 - FZoomDrag.X0) > ZoomThreshold &&
            std::abs(FZoomDrag.Y1 - FZoomDrag.Y0) > ZoomThreshold) {
            if (FZoomDrag.X1 > FZoomDrag.X0 && FZoomDrag.Y1 > FZoomDrag.Y0)
                ZoomToRect();
            else
                UndoZoom();
            Invalidate();
        }
    }
    FPanDrag.Active = false;
}

void TChart::SaveScales()
{
    const TChartAxis* axes[4] = {TopAxis(), BottomAxis(), LeftAxis(), RightAxis()};
    for (std::size_t i = 0; i < FSavedScales.size(); ++i)
        FSavedScales[i] = TAxisScale{axes[i]->Automatic(), axes[i]->AutomaticMinimum(), axes[i]->AutomaticMaximum(),
                                     axes[i]->Minimum(), axes[i]->Maximum()};
    FScalesRestored = false;
}

void TChart::ZoomRect(const QRect& rect)
{
    FZoomDrag.X0 = rect.left();
    FZoomDrag.Y0 = rect.top();
    FZoomDrag.X1 = rect.left() + rect.width();
    FZoomDrag.Y1 = rect.top() + rect.height();
    ZoomToRect();
}

void TChart::ZoomToRect()
{
    FZoomDrag.Normalize();
    struct TTarget
    {
        TChartAxis* Axis;
        double Lower;
        double Upper;
    };
    // Left, right, top, bottom: the order the ends are set in. The bottom edge gives the lower value.
    TTarget targets[4] = {
        {LeftAxis(), LeftAxis()->PixelToValue(FZoomDrag.Y1), LeftAxis()->PixelToValue(FZoomDrag.Y0)},
        {RightAxis(), RightAxis()->PixelToValue(FZoomDrag.Y1), RightAxis()->PixelToValue(FZoomDrag.Y0)},
        {TopAxis(), TopAxis()->PixelToValue(FZoomDrag.X0), TopAxis()->PixelToValue(FZoomDrag.X1)},
        {BottomAxis(), BottomAxis()->PixelToValue(FZoomDrag.X0), BottomAxis()->PixelToValue(FZoomDrag.X1)},
    };
    if (FScalesRestored)
        SaveScales();
    if (FAnimatedZoom) {
        for (int step = 1; step < FAnimatedZoomSteps; ++step) {
            for (const TTarget& t : targets) {
                const double upper = std::max(t.Lower, t.Upper);
                const double lower = std::min(t.Lower, t.Upper);
                const double maximum = t.Axis->Maximum() - (t.Axis->Maximum() - upper) / AnimatedZoomFactor;
                const double minimum = t.Axis->Minimum() + (lower - t.Axis->Minimum()) / AnimatedZoomFactor;
                t.Axis->SetMinMax(minimum, maximum);
            }
            Draw();
            repaint();
        }
    }
    for (const TTarget& t : targets)
        t.Axis->SetMinMax(t.Lower, t.Upper);
    FZoomed = true;
    if (OnZoom)
        OnZoom(this);
}

void TChart::UndoZoom()
{
    if (!FScalesRestored) {
        TChartAxis* axes[4] = {TopAxis(), BottomAxis(), LeftAxis(), RightAxis()};
        for (std::size_t i = 0; i < FSavedScales.size(); ++i) {
            const TAxisScale& saved = FSavedScales[i];
            axes[i]->SetAutomatic(saved.Automatic);
            axes[i]->SetAutomaticMinimum(saved.AutomaticMinimum);
            axes[i]->SetAutomaticMaximum(saved.AutomaticMaximum);
            if (!axes[i]->Automatic())
                axes[i]->SetMinMax(saved.Minimum, saved.Maximum);
        }
    }
    FScalesRestored = true;
    if (OnUndoZoom)
        OnUndoZoom(this);
    Invalidate();
    FZoomed = false;
}

void TChart::MouseWheel(int delta, Qt::KeyboardModifiers modifiers)
{
    bool handled = false;
    if (OnMouseWheel)
        OnMouseWheel(this, delta, modifiers, handled);
    if (handled)
        return;
    // Whole notches scroll; the rest waits, with its sign, for the next rotation.
    long long accumulated = static_cast<long long>(FWheelAccumulator) + delta;
    while (std::llabs(accumulated) >= WheelNotch) {
        const bool down = accumulated < 0;
        accumulated = std::llabs(accumulated) - WheelNotch;
        if (down)
            accumulated = -accumulated;
        ScrollVerticalAxes(down);
    }
    FWheelAccumulator = static_cast<int>(accumulated);
}

void TChart::ScrollVerticalAxes(bool down)
{
    for (const auto& axis : AxisList) {
        if (axis->IsHorizontal())
            continue;
        const double d = (axis->Maximum() - axis->Minimum()) * 3 * 0.01;
        axis->Scroll(down ? d : -d);
    }
}
