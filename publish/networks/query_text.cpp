// How values are written into requests; see query_text.h.
#include "publish/networks/query_text.h"

#include <cmath>

namespace publish {

QByteArray FixedText(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0; // a small negative value rounds to "-0.0" otherwise
    return QByteArray::number(rounded, 'f', decimals);
}

QByteArray PercentEncoded(const QString& value)
{
    return value.toUtf8().toPercentEncoding();
}

QString DateUtcText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString IsoUtcText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

TQuery& TQuery::Add(const char* name, const QString& value)
{
    if (!value.isEmpty())
        Append(name, PercentEncoded(value));
    return *this;
}

TQuery& TQuery::Add(const char* name, const std::optional<double>& value, int decimals)
{
    if (value && std::isfinite(*value))
        Append(name, FixedText(*value, decimals));
    return *this;
}

void TQuery::Append(const char* name, const QByteArray& encodedValue)
{
    if (!FText.isEmpty())
        FText += '&';
    FText += name;
    FText += '=';
    FText += encodedValue;
}

} // namespace publish
