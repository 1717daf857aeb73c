#include "chart/chart_color.h"

TColor ColorToRGB(TColor color)
{
    if (color < 0) {
        switch (color & 0xFF) {
        case 0x00:
            return RGBColor(200, 200, 200); // scroll bar
        case 0x05:
            return clWhite; // window
        case 0x08:
            return clBlack; // window text
        case 0x0F:
            return RGBColor(240, 240, 240); // button face
        case 0x10:
            return RGBColor(160, 160, 160); // button shadow
        case 0x12:
            return clBlack; // button text
        case 0x14:
            return clWhite; // button highlight
        default:
            return RGBColor(240, 240, 240);
        }
    }
    return color & 0xFFFFFF;
}

QColor ToQColor(TColor color)
{
    const TColor plain = ColorToRGB(color);
    return QColor(RedOf(plain), GreenOf(plain), BlueOf(plain));
}

std::uint32_t ToPixel(TColor color)
{
    const TColor plain = ColorToRGB(color);
    return 0xFF000000u | (static_cast<std::uint32_t>(RedOf(plain)) << 16) |
        (static_cast<std::uint32_t>(GreenOf(plain)) << 8) | static_cast<std::uint32_t>(BlueOf(plain));
}
