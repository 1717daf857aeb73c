// The chart's drawing surface: raster operations with the classic desktop rules (rectangles and
// lines leave out their right/bottom edge and end point), done directly on the pixels of the kept
// image, and text through QPainter with cached layouts and measurements.
#pragma once

#include "chart/chart_types.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QRect>
#include <QStaticText>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

enum class TTextHAlign { Left, Center, Right };
enum class TTextVAlign { Top, Bottom };

class TChartCanvas
{
public:
    TChartCanvas();
    ~TChartCanvas();
    TChartCanvas(const TChartCanvas&) = delete;
    TChartCanvas& operator=(const TChartCanvas&) = delete;

    // Drawing happens between Begin and End on an image of Format_RGB32.
    void Begin(QImage& image);
    void End();
    bool Active() const { return Target != nullptr; }

    // Pen: colour, style, width and raster mode.
    void SetPen(TColor color, TPenStyle style = TPenStyle::psSolid, int width = 1, TPenMode mode = TPenMode::pmCopy);
    void SetPen(const TChartPen& pen); // an invisible pen becomes a clear one
    TColor PenColor() const { return FPenColor; }
    TPenStyle PenStyle() const { return FPenStyle; }
    int PenWidth() const { return FPenWidth; }
    TPenMode PenMode() const { return FPenMode; }
    void SetPenColor(TColor color) { FPenColor = color; }
    void SetPenStyle(TPenStyle style) { FPenStyle = style; }
    void SetPenMode(TPenMode mode) { FPenMode = mode; }

    void SetBrush(TColor color, TBrushStyle style = TBrushStyle::bsSolid);
    TColor BrushColor() const { return FBrushColor; }
    TBrushStyle BrushStyle() const { return FBrushStyle; }
    void SetBrushStyle(TBrushStyle style) { FBrushStyle = style; }

    // Background of pattern brushes and dotted pens: transparent leaves the gaps alone.
    void SetBackTransparent(bool transparent) { FBackTransparent = transparent; }
    bool BackTransparent() const { return FBackTransparent; }
    void SetBackColor(TColor color) { FBackColor = color; }

    // Restricts every operation to the rectangle (right and bottom exclusive) until cleared.
    void SetClip(const QRect& rect);
    void ClearClip();

    // Fills (left, top)..(right, bottom), right and bottom exclusive, with a solid colour.
    void FillRect(int left, int top, int right, int bottom, TColor color);
    // Pen outline and brush fill of (left, top)..(right, bottom), right and bottom exclusive.
    void Rectangle(int left, int top, int right, int bottom);
    // A line from (x1, y1) to (x2, y2) without its end point.
    void Line(int x1, int y1, int x2, int y2);
    // Bands shading from the first colour to the second (vertical: the first at the bottom;
    // horizontal: the first at the right), at most 256 of them.
    void Gradient(TChartRect rect, TColor first, TColor second, TGradientDirection direction);
    // Shapes of the other bar styles, outlined with the pen and filled with the brush.
    void Polygon(const QPolygon& points);
    void Ellipse(int left, int top, int right, int bottom);

    // Text in the font's colour at (x, y): x is the left, centre or right of the text, y its top or
    // bottom. The background stays as it is.
    void SetFont(const TChartFont& font);
    void TextOut(int x, int y, const QString& text, TTextHAlign hAlign = TTextHAlign::Left,
                 TTextVAlign vAlign = TTextVAlign::Top);
    // Text turned counter-clockwise by 90 degrees, centred on (x, y).
    void RotatedTextOut(int x, int y, const QString& text, int angle);
    int TextWidth(const QString& text);
    int FontHeight(); // the font's line height

    QImage* Image() const { return Target; }

    // On and off runs of a pen style for one-pixel lines, from the line's first point.
    struct TDashPattern
    {
        const int* Runs;
        int Count;
    };

private:
    struct TFontEntry;
    void Plot(int x, int y, std::uint32_t pixel);
    void HLine(int x1, int x2, int y, std::uint32_t pixel); // x1..x2-1
    void VLine(int x, int y1, int y2, std::uint32_t pixel); // y1..y2-1
    void Span(int left, int top, int right, int bottom, std::uint32_t pixel);
    void StyledPixels(qsizetype start, qsizetype step, int visibleFrom, int visibleTo);
    void StyledHLine(int x1, int x2, int y);
    void StyledVLine(int x, int y1, int y2);
    void PatternFill(int left, int top, int right, int bottom);
    void DiagonalGradient(TChartRect rect, TColor first, TColor second, TGradientDirection direction);
    void PreparePainterPen();
    void PreparePainterBrush();
    TFontEntry& CurrentFontEntry();
    std::uint32_t Combine(std::uint32_t destination, std::uint32_t pen) const;

    QImage* Target = nullptr;
    std::uint32_t* Bits = nullptr;
    qsizetype Stride = 0; // pixels per row
    QRect Clip;           // always within the image
    bool Clipped = false;
    std::unique_ptr<QPainter> Painter;

    TColor FPenColor = clBlack;
    TPenStyle FPenStyle = TPenStyle::psSolid;
    int FPenWidth = 1;
    TPenMode FPenMode = TPenMode::pmCopy;
    TColor FBrushColor = clWhite;
    TBrushStyle FBrushStyle = TBrushStyle::bsSolid;
    bool FBackTransparent = false;
    TColor FBackColor = clWhite;

    // The bands of the last straight or ring gradient drawn, and what they were worked out for.
    struct TGradientKey
    {
        TChartRect Rect;
        TColor First = 0;
        TColor Second = 0;
        TGradientDirection Direction = TGradientDirection::gdTopBottom;
        bool operator==(const TGradientKey&) const = default;
    };
    struct TGradientBand
    {
        TChartRect Rect;
        TColor Color;
    };
    std::optional<TGradientKey> LastGradient;
    std::vector<TGradientBand> GradientBands;

    // A text as drawn at (X, Y) in a colour: the pixels of its ink area before and after. Drawing
    // it there again over the same pixels only copies the "after" pixels back: Qt's text drawing
    // took a fifth of a repaint, and every repaint draws the same title and labels.
    struct TTextStamp
    {
        int X = 0;
        int Y = 0;
        TColor Color = 0;
        QRect Area;
        std::vector<std::uint32_t> Before;
        std::vector<std::uint32_t> After;
        bool Usable = false;
    };
    // A text's width, ink area and, once drawn, its layout and stamps. Labels are looked up twice
    // a repaint each, and their few characters hash faster this way than through qHash.
    struct TTextEntry
    {
        int Width = -1;
        QRect Ink; // relative to the text's top left
        std::optional<QStaticText> Laid;
        std::vector<TTextStamp> Stamps;
    };
    struct TTextHash
    {
        std::size_t operator()(const QString& text) const;
    };
    // Fonts by key, each with its metrics and the texts drawn with it.
    struct TFontEntry
    {
        QString Name;
        int PixelSize;
        bool Bold;
        bool Italic;
        QFont Font;
        QFontMetrics Metrics;
        int Height;
        std::unordered_map<QString, TTextEntry, TTextHash> Texts;
        explicit TFontEntry(const TChartFont& font);
    };
    static constexpr std::size_t MaxTextsPerFont = 4096;
    static constexpr std::size_t MaxStampsPerText = 4;
    static constexpr std::size_t MaxStampPixels = 1 << 20; // 4 MB of kept pixels at most
    static constexpr int InkMargin = 2;
    static constexpr int StampCheckMargin = 3;
    TTextEntry& TextEntry(TFontEntry& font, const QString& text);
    // The stamp of the text drawn at (x, y) over `area` in the current colour, if it was; a new one
    // (the oldest of the text, or all when they keep too much, making room).
    TTextStamp* FindStamp(TTextEntry& entry, int x, int y, const QRect& area) const;
    TTextStamp& NewStamp(TTextEntry& entry, int x, int y, const QRect& area);
    // Qt draws the text, laid out once, with the painter set to the font and colour.
    void PaintText(int x, int y, const QString& text, const TFontEntry& font, TTextEntry& entry);
    void ForgetTexts(TFontEntry& font);
    void ForgetStamps();
    static std::size_t StampSize(const QRect& area);
    bool SamePixels(const QRect& area, const std::vector<std::uint32_t>& pixels) const;
    void TakePixels(const QRect& area, std::vector<std::uint32_t>& pixels) const;
    void PutPixels(const QRect& area, const std::vector<std::uint32_t>& pixels);
    bool OnlyInsideChanged(const QRect& outer, const std::vector<std::uint32_t>& kept, const QRect& inner) const;
    std::size_t StampPixels = 0; // kept by all stamps, before and after
    QHash<QString, std::shared_ptr<TFontEntry>> Fonts;
    TFontEntry* CurrentFont = nullptr;
    TColor FontColor = clBlack;
    bool PainterFontSet = false;
    std::optional<TColor> PainterTextColor; // the painter's pen while it is a text colour
};
