// Colours of the chart: 32-bit values with red in the low byte, green in the second and blue in
// the third byte. Negative values stand for system colours; two marker values mean "the owner's
// colour" and "not drawn".
#pragma once

#include <QColor>
#include <cstdint>

using TColor = std::int32_t;

constexpr TColor clBlack = 0;
constexpr TColor clMaroon = 128;
constexpr TColor clGreen = 32768;
constexpr TColor clOlive = 32896;
constexpr TColor clNavy = 8388608;
constexpr TColor clPurple = 8388736;
constexpr TColor clTeal = 8421376;
constexpr TColor clGray = 8421504;
constexpr TColor clSilver = 12632256;
constexpr TColor clRed = 255;
constexpr TColor clLime = 65280;
constexpr TColor clYellow = 65535;
constexpr TColor clBlue = 16711680;
constexpr TColor clFuchsia = 16711935;
constexpr TColor clAqua = 16776960;
constexpr TColor clWhite = 16777215;

// System colours: the high byte 0xFF and the system colour index in the low byte.
constexpr TColor clScrollBar = static_cast<TColor>(0xFF000000u);
constexpr TColor clWindow = static_cast<TColor>(0xFF000005u);
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000Fu);
constexpr TColor clBtnShadow = static_cast<TColor>(0xFF000010u);
constexpr TColor clBtnText = static_cast<TColor>(0xFF000012u);
constexpr TColor clBtnHighlight = static_cast<TColor>(0xFF000014u);

constexpr TColor clDefault = 0x20000000; // no colour of its own: the owner's colour applies
constexpr TColor clNone = 0x1FFFFFFF;    // a null point: not drawn

constexpr TColor RGBColor(int red, int green, int blue)
{
    return static_cast<TColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int RedOf(TColor color)
{
    return color & 0xFF;
}
constexpr int GreenOf(TColor color)
{
    return (color >> 8) & 0xFF;
}
constexpr int BlueOf(TColor color)
{
    return (color >> 16) & 0xFF;
}

// A plain colour for any value: system colours become the classic desktop scheme's colours (fixed
// so that pictures do not depend on the desktop theme), other values keep their low three bytes.
TColor ColorToRGB(TColor color);

// The colour as Qt and as a pixel of a Format_RGB32 image.
QColor ToQColor(TColor color);
std::uint32_t ToPixel(TColor color);
