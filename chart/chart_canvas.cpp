#include "chart/chart_canvas.h"

#include "chart/chart_math.h"

#include <QPen>
#include <algorithm>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A run of pixels of one value, four a store where the processor has SSE2 (every x86-64 one does):
// -O2 leaves such a loop at one pixel a store, and the background's full rows are most of a repaint.
// The stores are aligned to 16 bytes: rows of an odd width start anywhere, and a store that
// straddles two cache lines costs several.
void FillRow(std::uint32_t* from, std::uint32_t* to, std::uint32_t pixel)
{
#if defined(__SSE2__)
    for (; from < to && reinterpret_cast<std::uintptr_t>(from) % 16 != 0; ++from)
        *from = pixel;
    const __m128i four = _mm_set1_epi32(static_cast<int>(pixel));
    for (; to - from >= 4; from += 4)
        _mm_store_si128(reinterpret_cast<__m128i*>(from), four);
#endif
    std::fill(from, to, pixel);
}

constexpr int DashRuns[] = {18, 6};
constexpr int DotRuns[] = {3, 3};
constexpr int DashDotRuns[] = {9, 6, 3, 6};
constexpr int DashDotDotRuns[] = {9, 3, 3, 3, 3, 3};

TChartCanvas::TDashPattern PatternOf(TPenStyle style)
{
    switch (style) {
    case TPenStyle::psDash:
        return {DashRuns, 2};
    case TPenStyle::psDot:
        return {DotRuns, 2};
    case TPenStyle::psDashDot:
        return {DashDotRuns, 4};
    case TPenStyle::psDashDotDot:
        return {DashDotDotRuns, 6};
    default:
        return {nullptr, 0};
    }
}

Qt::BrushStyle QtPattern(TBrushStyle style)
{
    switch (style) {
    case TBrushStyle::bsSolid:
        return Qt::SolidPattern;
    case TBrushStyle::bsClear:
        return Qt::NoBrush;
    case TBrushStyle::bsHorizontal:
        return Qt::HorPattern;
    case TBrushStyle::bsVertical:
        return Qt::VerPattern;
    case TBrushStyle::bsFDiagonal:
        return Qt::FDiagPattern;
    case TBrushStyle::bsBDiagonal:
        return Qt::BDiagPattern;
    case TBrushStyle::bsCross:
        return Qt::CrossPattern;
    case TBrushStyle::bsDiagCross:
        return Qt::DiagCrossPattern;
    }
    return Qt::SolidPattern;
}

} // namespace

namespace {

QFont QtFont(const TChartFont& font)
{
    QFont qfont(font.Name());
    qfont.setPixelSize(font.PixelSize());
    qfont.setBold(font.Bold());
    qfont.setItalic(font.Italic());
    return qfont;
}

} // namespace

TChartCanvas::TFontEntry::TFontEntry(const TChartFont& font)
    : Name(font.Name())
    , PixelSize(font.PixelSize())
    , Bold(font.Bold())
    , Italic(font.Italic())
    , Font(QtFont(font))
    , Metrics(Font)
    , Height(Metrics.height())
{
}

TChartCanvas::TChartCanvas() = default;
TChartCanvas::~TChartCanvas()
{
    End();
}

void TChartCanvas::Begin(QImage& image)
{
    End();
    Target = &image;
    Bits = reinterpret_cast<std::uint32_t*>(image.bits());
    Stride = image.bytesPerLine() / 4;
    Clip = image.rect();
    Clipped = false;
    PainterFontSet = false;
    PainterTextColor.reset();
}

void TChartCanvas::End()
{
    if (Painter) {
        Painter->end();
        Painter.reset();
    }
    Target = nullptr;
    Bits = nullptr;
}

void TChartCanvas::SetPen(TColor color, TPenStyle style, int width, TPenMode mode)
{
    FPenColor = color;
    FPenStyle = style;
    FPenWidth = width < 0 ? 0 : width;
    FPenMode = mode;
}

void TChartCanvas::SetPen(const TChartPen& pen)
{
    SetPen(pen.Color(), pen.Visible() ? pen.Style() : TPenStyle::psClear, pen.Width());
}

void TChartCanvas::SetBrush(TColor color, TBrushStyle style)
{
    FBrushColor = color;
    FBrushStyle = style;
}

void TChartCanvas::SetClip(const QRect& rect)
{
    if (!Target)
        return;
    Clip = rect.intersected(Target->rect());
    Clipped = true;
    if (Painter)
        Painter->setClipRect(Clip);
}

void TChartCanvas::ClearClip()
{
    if (!Target)
        return;
    Clip = Target->rect();
    Clipped = false;
    if (Painter)
        Painter->setClipping(false);
}

std::uint32_t TChartCanvas::Combine(std::uint32_t destination, std::uint32_t pen) const
{
    switch (FPenMode) {
    case TPenMode::pmCopy:
        return pen;
    case TPenMode::pmNotXor:
        return ~(pen ^ destination) | 0xFF000000u;
    case TPenMode::pmXor:
        return (pen ^ destination) | 0xFF000000u;
    case TPenMode::pmNot:
        return ~destination | 0xFF000000u;
    }
    return pen;
}

void TChartCanvas::Span(int left, int top, int right, int bottom, std::uint32_t pixel)
{
    left = std::max(left, Clip.left());
    top = std::max(top, Clip.top());
    right = std::min(right, Clip.right() + 1);
    bottom = std::min(bottom, Clip.bottom() + 1);
    if (!Bits || left >= right || top >= bottom)
        return;
    if (FPenMode != TPenMode::pmCopy) {
        for (int y = top; y < bottom; ++y) {
            std::uint32_t* row = Bits + y * Stride;
            for (int x = left; x < right; ++x)
                row[x] = Combine(row[x], pixel);
        }
        return;
    }
    if (right - left == 1) {
        // A column (vertical lines, bar sides): one store a row.
        for (std::uint32_t* p = Bits + top * Stride + left; top < bottom; ++top, p += Stride)
            *p = pixel;
        return;
    }
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* row = Bits + y * Stride;
        FillRow(row + left, row + right, pixel);
    }
}

void TChartCanvas::Plot(int x, int y, std::uint32_t pixel)
{
    if (Bits && Clip.contains(x, y))
        Bits[y * Stride + x] = Combine(Bits[y * Stride + x], pixel);
}

void TChartCanvas::HLine(int x1, int x2, int y, std::uint32_t pixel)
{
    Span(x1, y, x2, y + 1, pixel);
}

void TChartCanvas::VLine(int x, int y1, int y2, std::uint32_t pixel)
{
    Span(x, y1, x + 1, y2, pixel);
}

void TChartCanvas::FillRect(int left, int top, int right, int bottom, TColor color)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    const TPenMode mode = FPenMode;
    FPenMode = TPenMode::pmCopy;
    Span(left, top, right, bottom, ToPixel(color));
    FPenMode = mode;
}

// A one-pixel line of a dashed or dotted pen: `length` pixels from Bits[start] on, `step` apart,
// of which those from index `visibleFrom` to `visibleTo` lie inside the clip. The "on" runs take
// the pen colour, the gaps the background colour unless the background is transparent. The
// pattern starts at the line's first point, whatever part of the line the clip leaves.
void TChartCanvas::StyledPixels(qsizetype start, qsizetype step, int visibleFrom, int visibleTo)
{
    const TDashPattern pattern = PatternOf(FPenStyle);
    const std::uint32_t pen = ToPixel(FPenColor);
    const std::uint32_t back = ToPixel(FBackColor);
    const bool copy = FPenMode == TPenMode::pmCopy;
    // Grid lines are dotted and a run is three pixels long: the loop keeps to adds and compares.
    int run = 0;
    for (int i = 0; i < visibleTo;) {
        const int end = std::min(visibleTo, i + pattern.Runs[run]);
        const bool on = (run & 1) == 0;
        if ((on || !FBackTransparent) && end > visibleFrom) {
            const std::uint32_t pixel = on ? pen : back;
            const int from = std::max(i, visibleFrom);
            std::uint32_t* target = Bits + (start + from * step);
            if (copy) {
                for (int k = from; k < end; ++k, target += step)
                    *target = pixel;
            } else {
                for (int k = from; k < end; ++k, target += step)
                    *target = Combine(*target, pixel);
            }
        }
        i = end;
        if (++run == pattern.Count)
            run = 0;
    }
}

void TChartCanvas::StyledHLine(int x1, int x2, int y)
{
    if (!PatternOf(FPenStyle).Runs) {
        HLine(x1, x2, y, ToPixel(FPenColor));
        return;
    }
    if (!Bits || y < Clip.top() || y > Clip.bottom())
        return;
    const int left = std::max(x1, Clip.left());
    const int right = std::min(x2, Clip.right() + 1);
    StyledPixels(y * Stride + x1, 1, left - x1, right - x1);
}

void TChartCanvas::StyledVLine(int x, int y1, int y2)
{
    if (!PatternOf(FPenStyle).Runs) {
        VLine(x, y1, y2, ToPixel(FPenColor));
        return;
    }
    if (!Bits || x < Clip.left() || x > Clip.right())
        return;
    const int top = std::max(y1, Clip.top());
    const int bottom = std::min(y2, Clip.bottom() + 1);
    StyledPixels(y1 * Stride + x, Stride, top - y1, bottom - y1);
}

void TChartCanvas::Line(int x1, int y1, int x2, int y2)
{
    if (!Bits || FPenStyle == TPenStyle::psClear)
        return;
    const int width = std::max(1, FPenWidth);
    if (width > 1) {
        // Wide pens are solid; the band is centred on the line and reaches half a width past
        // both ends.
        const std::uint32_t pen = ToPixel(FPenColor);
        const int half = width / 2;
        if (y1 == y2) {
            Span(std::min(x1, x2) - half, y1 - half, std::max(x1, x2) + half, y1 - half + width, pen);
        } else if (x1 == x2) {
            Span(x1 - half, std::min(y1, y2) - half, x1 - half + width, std::max(y1, y2) + half, pen);
        } else {
            PreparePainterPen();
            Painter->drawLine(x1, y1, x2, y2);
        }
        return;
    }
    if (y1 == y2) {
        if (x1 < x2)
            StyledHLine(x1, x2, y1);
        else if (x2 < x1)
            StyledHLine(x2 + 1, x1 + 1, y1);
        return;
    }
    if (x1 == x2) {
        if (y1 < y2)
            StyledVLine(x1, y1, y2);
        else
            StyledVLine(x1, y2 + 1, y1 + 1);
        return;
    }
    // Bresenham, the end point left out.
    const std::uint32_t pen = ToPixel(FPenColor);
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int error = dx + dy;
    int x = x1;
    int y = y1;
    while (x != x2 || y != y2) {
        Plot(x, y, pen);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
}

void TChartCanvas::PatternFill(int left, int top, int right, int bottom)
{
    if (!FBackTransparent)
        FillRect(left, top, right, bottom, FBackColor);
    if (!Painter)
        Painter = std::make_unique<QPainter>(Target);
    if (Clipped)
        Painter->setClipRect(Clip);
    Painter->fillRect(QRect(left, top, right - left, bottom - top),
                      QBrush(ToQColor(FBrushColor), QtPattern(FBrushStyle)));
}

void TChartCanvas::Rectangle(int left, int top, int right, int bottom)
{
    if (!Bits)
        return;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (left == right || top == bottom)
        return;
    if (FBrushStyle == TBrushStyle::bsSolid)
        FillRect(left, top, right, bottom, FBrushColor);
    else if (FBrushStyle != TBrushStyle::bsClear)
        PatternFill(left, top, right, bottom);
    if (FPenStyle == TPenStyle::psClear)
        return;
    const int width = std::max(1, FPenWidth);
    if (width == 1) {
        // The four sides without overlapping corners, so an inverting pen draws each pixel once.
        StyledHLine(left, right, top);
        if (bottom - 1 > top)
            StyledHLine(left, right, bottom - 1);
        if (bottom - top > 2) {
            StyledVLine(left, top + 1, bottom - 1);
            if (right - 1 > left)
                StyledVLine(right - 1, top + 1, bottom - 1);
        }
        return;
    }
    const std::uint32_t pen = ToPixel(FPenColor);
    const int half = width / 2;
    const int outerLeft = left - half;
    const int outerTop = top - half;
    const int outerRight = right - 1 - half + width;
    const int outerBottom = bottom - 1 - half + width;
    Span(outerLeft, outerTop, outerRight, outerTop + width, pen);
    Span(outerLeft, outerBottom - width, outerRight, outerBottom, pen);
    Span(outerLeft, outerTop, outerLeft + width, outerBottom, pen);
    Span(outerRight - width, outerTop, outerRight, outerBottom, pen);
}

void TChartCanvas::PreparePainterPen()
{
    if (!Painter)
        Painter = std::make_unique<QPainter>(Target);
    PainterTextColor.reset();
    if (Clipped)
        Painter->setClipRect(Clip);
    if (FPenStyle == TPenStyle::psClear) {
        Painter->setPen(Qt::NoPen);
        return;
    }
    QPen pen(ToQColor(FPenColor));
    pen.setWidth(std::max(1, FPenWidth));
    Painter->setPen(pen);
}

void TChartCanvas::PreparePainterBrush()
{
    if (FBrushStyle == TBrushStyle::bsClear)
        Painter->setBrush(Qt::NoBrush);
    else
        Painter->setBrush(QBrush(ToQColor(FBrushColor), QtPattern(FBrushStyle)));
    Painter->setBackgroundMode(FBackTransparent ? Qt::TransparentMode : Qt::OpaqueMode);
    Painter->setBackground(ToQColor(FBackColor));
}

void TChartCanvas::Polygon(const QPolygon& points)
{
    if (!Target || points.size() < 2)
        return;
    PreparePainterPen();
    PreparePainterBrush();
    Painter->drawPolygon(points);
}

void TChartCanvas::Ellipse(int left, int top, int right, int bottom)
{
    if (!Target)
        return;
    PreparePainterPen();
    PreparePainterBrush();
    Painter->drawEllipse(QRect(QPoint(std::min(left, right), std::min(top, bottom)),
                               QPoint(std::max(left, right) - 1, std::max(top, bottom) - 1)));
}

TChartCanvas::TFontEntry& TChartCanvas::CurrentFontEntry()
{
    if (!CurrentFont) {
        TChartFont defaultFont;
        SetFont(defaultFont);
    }
    return *CurrentFont;
}

void TChartCanvas::SetFont(const TChartFont& font)
{
    FontColor = font.Color();
    // Labels set the same font again and again: compare before building a key.
    if (CurrentFont && CurrentFont->PixelSize == font.PixelSize() && CurrentFont->Bold == font.Bold() &&
        CurrentFont->Italic == font.Italic() && CurrentFont->Name == font.Name())
        return;
    const QString key = font.Name() + QLatin1Char('|') + QString::number(font.PixelSize()) +
        (font.Bold() ? QLatin1String("|b") : QLatin1String("|")) +
        (font.Italic() ? QLatin1String("i") : QLatin1String(""));
    auto found = Fonts.find(key);
    if (found == Fonts.end())
        found = Fonts.insert(key, std::make_shared<TFontEntry>(font));
    CurrentFont = found.value().get();
    PainterFontSet = false;
}

std::size_t TChartCanvas::TTextHash::operator()(const QString& text) const
{
    return std::hash<std::u16string_view>{}(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

TChartCanvas::TTextEntry& TChartCanvas::TextEntry(TFontEntry& font, const QString& text)
{
    // Numbers of ever new ranges would pile up in a program that runs for months.
    if (font.Texts.size() >= MaxTextsPerFont && !font.Texts.contains(text))
        ForgetTexts(font);
    TTextEntry& entry = font.Texts[text];
    if (entry.Width < 0) {
        entry.Width = font.Metrics.horizontalAdvance(text);
        // Where the glyphs may put ink, from the top left of the text; antialiasing reaches a
        // pixel or so past the outlines.
        entry.Ink = font.Metrics.boundingRect(text)
                        .translated(0, font.Metrics.ascent())
                        .adjusted(-InkMargin, -InkMargin, InkMargin, InkMargin);
    }
    return entry;
}

void TChartCanvas::ForgetTexts(TFontEntry& font)
{
    for (const auto& [text, entry] : font.Texts)
        for (const TTextStamp& stamp : entry.Stamps)
            StampPixels -= StampSize(stamp.Area);
    font.Texts.clear();
}

int TChartCanvas::TextWidth(const QString& text)
{
    return TextEntry(CurrentFontEntry(), text).Width;
}

int TChartCanvas::FontHeight()
{
    return CurrentFontEntry().Height;
}

void TChartCanvas::TextOut(int x, int y, const QString& text, TTextHAlign hAlign, TTextVAlign vAlign)
{
    if (!Target || text.isEmpty())
        return;
    TFontEntry& font = CurrentFontEntry();
    TTextEntry& entry = TextEntry(font, text);
    if (hAlign != TTextHAlign::Left)
        x -= hAlign == TTextHAlign::Right ? entry.Width : entry.Width / 2;
    if (vAlign == TTextVAlign::Bottom)
        y -= font.Height;
    // A text drawn where it was drawn before, over the same pixels, gives the same pixels again.
    const QRect area = entry.Ink.translated(x, y).intersected(Target->rect());
    const bool stampable = Bits && !area.isEmpty() && Clip.contains(area);
    TTextStamp* stamp = stampable ? FindStamp(entry, x, y, area) : nullptr;
    if (stamp && stamp->Usable && SamePixels(area, stamp->Before)) {
        PutPixels(area, stamp->After);
        return;
    }
    std::vector<std::uint32_t> before;
    std::vector<std::uint32_t> surrounding;
    const QRect margin =
        area.adjusted(-StampCheckMargin, -StampCheckMargin, StampCheckMargin, StampCheckMargin).intersected(Clip);
    if (stampable) {
        TakePixels(area, before);
        TakePixels(margin, surrounding);
    }
    PaintText(x, y, text, font, entry);
    if (!stampable)
        return;
    if (!stamp)
        stamp = &NewStamp(entry, x, y, area);
    stamp->Before = std::move(before);
    TakePixels(area, stamp->After);
    // A glyph reaching past the measured ink would be lost from the stamp: such a text is drawn
    // every time.
    stamp->Usable = OnlyInsideChanged(margin, surrounding, area);
}

TChartCanvas::TTextStamp* TChartCanvas::FindStamp(TTextEntry& entry, int x, int y, const QRect& area) const
{
    for (TTextStamp& known : entry.Stamps)
        if (known.X == x && known.Y == y && known.Color == FontColor && known.Area == area)
            return &known;
    return nullptr;
}

TChartCanvas::TTextStamp& TChartCanvas::NewStamp(TTextEntry& entry, int x, int y, const QRect& area)
{
    if (StampPixels > MaxStampPixels)
        ForgetStamps();
    if (entry.Stamps.size() >= MaxStampsPerText) {
        StampPixels -= StampSize(entry.Stamps.front().Area);
        entry.Stamps.erase(entry.Stamps.begin());
    }
    TTextStamp& stamp = entry.Stamps.emplace_back();
    stamp.X = x;
    stamp.Y = y;
    stamp.Color = FontColor;
    stamp.Area = area;
    StampPixels += StampSize(area);
    return stamp;
}

void TChartCanvas::PaintText(int x, int y, const QString& text, const TFontEntry& font, TTextEntry& entry)
{
    if (!Painter)
        Painter = std::make_unique<QPainter>(Target);
    if (Clipped)
        Painter->setClipRect(Clip);
    if (!PainterFontSet) {
        Painter->setFont(font.Font);
        PainterFontSet = true;
    }
    if (PainterTextColor != FontColor) {
        Painter->setPen(ToQColor(FontColor));
        PainterTextColor = FontColor;
    }
    if (!entry.Laid) {
        entry.Laid.emplace(text);
        entry.Laid->setTextFormat(Qt::PlainText);
        entry.Laid->setPerformanceHint(QStaticText::AggressiveCaching);
        entry.Laid->prepare(QTransform(), font.Font);
    }
    Painter->drawStaticText(QPoint(x, y), *entry.Laid);
}

// Pixels a stamp of the area keeps: before and after.
std::size_t TChartCanvas::StampSize(const QRect& area)
{
    return 2 * static_cast<std::size_t>(area.width()) * static_cast<std::size_t>(area.height());
}

bool TChartCanvas::SamePixels(const QRect& area, const std::vector<std::uint32_t>& pixels) const
{
    const std::size_t width = static_cast<std::size_t>(area.width());
    const std::uint32_t* kept = pixels.data();
    for (int y = area.top(); y <= area.bottom(); ++y, kept += width)
        if (std::memcmp(Bits + y * Stride + area.left(), kept, width * sizeof(std::uint32_t)) != 0)
            return false;
    return true;
}

void TChartCanvas::TakePixels(const QRect& area, std::vector<std::uint32_t>& pixels) const
{
    const std::size_t width = static_cast<std::size_t>(area.width());
    pixels.resize(width * static_cast<std::size_t>(area.height()));
    std::uint32_t* kept = pixels.data();
    for (int y = area.top(); y <= area.bottom(); ++y, kept += width)
        std::memcpy(kept, Bits + y * Stride + area.left(), width * sizeof(std::uint32_t));
}

void TChartCanvas::PutPixels(const QRect& area, const std::vector<std::uint32_t>& pixels)
{
    const std::size_t width = static_cast<std::size_t>(area.width());
    const std::uint32_t* kept = pixels.data();
    for (int y = area.top(); y <= area.bottom(); ++y, kept += width)
        std::memcpy(Bits + y * Stride + area.left(), kept, width * sizeof(std::uint32_t));
}

// Whether the pixels of `outer` that lie outside `inner` still hold what `kept` took of them.
bool TChartCanvas::OnlyInsideChanged(const QRect& outer, const std::vector<std::uint32_t>& kept,
                                     const QRect& inner) const
{
    const std::uint32_t* pixel = kept.data();
    for (int y = outer.top(); y <= outer.bottom(); ++y)
        for (int x = outer.left(); x <= outer.right(); ++x, ++pixel)
            if (!inner.contains(x, y) && Bits[y * Stride + x] != *pixel)
                return false;
    return true;
}

void TChartCanvas::ForgetStamps()
{
    for (const std::shared_ptr<TFontEntry>& font : std::as_const(Fonts))
        for (auto& [text, entry] : font->Texts)
            entry.Stamps.clear();
    StampPixels = 0;
}

void TChartCanvas::RotatedTextOut(int x, int y, const QString& text, int angle)
{
    if (!Target || text.isEmpty())
        return;
    TFontEntry& entry = CurrentFontEntry();
    if (!Painter)
        Painter = std::make_unique<QPainter>(Target);
    if (Clipped)
        Painter->setClipRect(Clip);
    Painter->save();
    Painter->setFont(entry.Font);
    Painter->setPen(ToQColor(FontColor));
    Painter->translate(x, y);
    Painter->rotate(-angle);
    const int width = TextWidth(text);
    Painter->drawText(QPoint(-width / 2, entry.Metrics.ascent() - entry.Metrics.height() / 2), text);
    Painter->restore();
    PainterFontSet = false;
    PainterTextColor.reset();
}

void TChartCanvas::Gradient(TChartRect rect, TColor first, TColor second, TGradientDirection direction)
{
    if (rect.Left > rect.Right)
        std::swap(rect.Left, rect.Right);
    if (rect.Top > rect.Bottom)
        std::swap(rect.Top, rect.Bottom);
    if (direction == TGradientDirection::gdFromTopLeft || direction == TGradientDirection::gdFromBottomLeft) {
        DiagonalGradient(rect, first, second, direction);
        return;
    }
    // The panel's background is the same gradient at every repaint: its bands are worked out once
    // (three colour and two edge divisions each, for up to 256 bands) and then only filled.
    const TGradientKey key{rect, first, second, direction};
    if (LastGradient != key) {
        LastGradient = key;
        GradientBands.clear();
        const TColor a = ColorToRGB(first);
        const TColor b = ColorToRGB(second);
        const int red = RedOf(a), green = GreenOf(a), blue = BlueOf(a);
        const int dRed = RedOf(b) - red, dGreen = GreenOf(b) - green, dBlue = BlueOf(b) - blue;
        auto bandColor = [&](int i, int n) {
            return RGBColor((red + chart::MulDiv(i, dRed, n - 1)) & 0xFF,
                            (green + chart::MulDiv(i, dGreen, n - 1)) & 0xFF,
                            (blue + chart::MulDiv(i, dBlue, n - 1)) & 0xFF);
        };
        const int width = rect.Width();
        const int height = rect.Height();
        switch (direction) {
        case TGradientDirection::gdTopBottom:
        case TGradientDirection::gdBottomTop: {
            const int n = std::min(height, 256);
            for (int i = 0; i < n; ++i)
                GradientBands.push_back({{rect.Left, rect.Bottom - chart::MulDiv(i + 1, height, n), rect.Right,
                                          rect.Bottom - chart::MulDiv(i, height, n)},
                                         bandColor(i, n)});
            break;
        }
        case TGradientDirection::gdLeftRight:
        case TGradientDirection::gdRightLeft: {
            const int n = std::min(width, 256);
            for (int i = 0; i < n; ++i)
                GradientBands.push_back({{rect.Right - chart::MulDiv(i + 1, width, n), rect.Top,
                                          rect.Right - chart::MulDiv(i, width, n), rect.Bottom},
                                         bandColor(i, n)});
            break;
        }
        default: {
            // Rings from the border (first colour) inwards to the centre (second colour).
            const int rings = std::max(1, std::min(std::min(width, height) / 2, 256));
            for (int i = 0; i < rings; ++i) {
                const int inset = chart::MulDiv(i, std::min(width, height) / 2, rings);
                GradientBands.push_back({{rect.Left + inset, rect.Top + inset, rect.Right - inset, rect.Bottom - inset},
                                         bandColor(i, rings)});
            }
            break;
        }
        }
    }
    for (const TGradientBand& band : GradientBands)
        FillRect(band.Rect.Left, band.Rect.Top, band.Rect.Right, band.Rect.Bottom, band.Color);
}

// Diagonal sweep: each row is split into bands whose colour follows x + y.
void TChartCanvas::DiagonalGradient(TChartRect rect, TColor first, TColor second, TGradientDirection direction)
{
    const TColor a = ColorToRGB(first);
    const TColor b = ColorToRGB(second);
    const int red = RedOf(a), green = GreenOf(a), blue = BlueOf(a);
    const int dRed = RedOf(b) - red, dGreen = GreenOf(b) - green, dBlue = BlueOf(b) - blue;
    const int width = rect.Width();
    const int height = rect.Height();
    const int span = width + height;
    const int n = std::max(1, std::min(span, 256));
    for (int y = rect.Top; y < rect.Bottom; ++y) {
        const int row = direction == TGradientDirection::gdFromTopLeft ? y - rect.Top : rect.Bottom - 1 - y;
        for (int i = 0; i < n; ++i) {
            const int from = chart::MulDiv(i, span, n) - row;
            const int to = chart::MulDiv(i + 1, span, n) - row;
            if (to <= 0 || from >= width)
                continue;
            const int k = n - 1 - i;
            FillRect(rect.Left + std::max(from, 0), y, rect.Left + std::min(to, width), y + 1,
                     RGBColor((red + chart::MulDiv(k, dRed, n - 1)) & 0xFF,
                              (green + chart::MulDiv(k, dGreen, n - 1)) & 0xFF,
                              (blue + chart::MulDiv(k, dBlue, n - 1)) & 0xFF));
        }
    }
}
