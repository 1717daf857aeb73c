// Signed numbers in Russian text; see signed_number.h.
#include "weather/signed_number.h"

#include <cmath>

namespace weather {

namespace {

constexpr QChar MinusSign(0x2212);

double Rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    return rounded == 0.0 ? 0.0 : rounded; // no "-0"
}

} // namespace

QString PlainNumber(double value, int decimals)
{
    QString text = QString::number(Rounded(value, decimals), 'f', decimals);
    text.replace(QLatin1Char('.'), QLatin1Char(','));
    if (text.startsWith(QLatin1Char('-')))
        text[0] = MinusSign;
    return text;
}

QString SignedNumber(double value, int decimals)
{
    const double rounded = Rounded(value, decimals);
    if (rounded == 0.0)
        return PlainNumber(0.0, decimals);
    const QString magnitude = PlainNumber(std::fabs(rounded), decimals);
    return (rounded < 0 ? QString(MinusSign) : QStringLiteral("+")) + magnitude;
}

} // namespace weather
