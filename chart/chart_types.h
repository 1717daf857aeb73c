// The small parts shared by the chart's objects: errors, change notification, pens, brushes,
// fonts and the number format of value texts.
#pragma once

#include "chart/chart_color.h"

#include <QString>
#include <functional>
#include <stdexcept>

// Errors of the chart engine, each with a fixed English message.
class EChartError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
class AxisException : public EChartError
{
public:
    using EChartError::EChartError;
};
class BarException : public EChartError
{
public:
    using EChartError::EChartError;
};
class ChartException : public EChartError
{
public:
    using EChartError::EChartError;
};
// An index outside a list: "List index out of bounds (<index>)".
class EListError : public EChartError
{
public:
    explicit EListError(int index);
};

// Base of every object whose property changes repaint a chart: the owner wires OnChange to its
// own repaint request.
class TChartObject
{
public:
    std::function<void()> OnChange;

protected:
    void Changed()
    {
        if (OnChange)
            OnChange();
    }
    // The usual setter: store a changed value and tell the owner; an equal value does nothing.
    template <class T>
    void Assign(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        Changed();
    }
};

// A rectangle by its four edges, right and bottom being edges (not the last pixel).
struct TChartRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TChartRect&) const = default;
};

enum class TGradientDirection {
    gdTopBottom,
    gdBottomTop,
    gdLeftRight,
    gdRightLeft,
    gdFromCenter,
    gdFromTopLeft,
    gdFromBottomLeft
};

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };
enum class TPenMode { pmCopy, pmNotXor, pmXor, pmNot };

class TChartPen : public TChartObject
{
public:
    TChartPen(TColor color = clBlack, int width = 1, TPenStyle style = TPenStyle::psSolid, bool visible = true)
        : FColor(color)
        , FWidth(width)
        , FStyle(style)
        , FVisible(visible)
    {
    }
    TColor Color() const { return FColor; }
    int Width() const { return FWidth; }
    TPenStyle Style() const { return FStyle; }
    bool Visible() const { return FVisible; }
    void SetColor(TColor value) { Assign(FColor, value); }
    void SetWidth(int value) { Assign(FWidth, value < 0 ? 0 : value); }
    void SetStyle(TPenStyle value) { Assign(FStyle, value); }
    void SetVisible(bool value) { Assign(FVisible, value); }

private:
    TColor FColor;
    int FWidth;
    TPenStyle FStyle;
    bool FVisible;
};

enum class TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TChartBrush : public TChartObject
{
public:
    TChartBrush(TColor color = clWhite, TBrushStyle style = TBrushStyle::bsSolid)
        : FColor(color)
        , FStyle(style)
    {
    }
    TColor Color() const { return FColor; }
    TBrushStyle Style() const { return FStyle; }
    void SetColor(TColor value) { Assign(FColor, value); }
    void SetStyle(TBrushStyle value) { Assign(FStyle, value); }

private:
    TColor FColor;
    TBrushStyle FStyle;
};

// A font as the window layout describes it: a negative height is the character height in pixels,
// a positive one the cell height (both are taken as the pixel size of the Qt font).
class TChartFont : public TChartObject
{
public:
    TChartFont(const QString& name = QStringLiteral("Arial"), int height = -11, TColor color = clBlack)
        : FName(name)
        , FHeight(height)
        , FColor(color)
    {
    }
    const QString& Name() const { return FName; }
    int Height() const { return FHeight; }
    TColor Color() const { return FColor; }
    bool Bold() const { return FBold; }
    bool Italic() const { return FItalic; }
    void SetName(const QString& value) { Assign(FName, value); }
    void SetHeight(int value) { Assign(FHeight, value); }
    void SetColor(TColor value) { Assign(FColor, value); }
    void SetBold(bool value) { Assign(FBold, value); }
    void SetItalic(bool value) { Assign(FItalic, value); }
    int PixelSize() const { return FHeight < 0 ? -FHeight : (FHeight == 0 ? 11 : FHeight); }

private:
    QString FName;
    int FHeight;
    TColor FColor;
    bool FBold = false;
    bool FItalic = false;
};

// Separators that a number format's "," and "." stand for. Taken from the system locale at first
// use; tests and the program may set them.
struct TChartFormatSettings
{
    QChar ThousandSeparator;
    QChar DecimalSeparator;
};
const TChartFormatSettings& ChartFormatSettings();
void SetChartFormatSettings(const TChartFormatSettings& settings);

// A number in a decimal format with "#" and "0" placeholders, "," grouping and "." decimal point
// ("#,##0.###": grouped thousands, at most three decimals). Only the first ";" section is used.
QString FormatFloat(const QString& format, double value);
