#include "chart/chart_types.h"

#include <QLocale>
#include <cmath>
#include <optional>

EListError::EListError(int index)
    : EChartError("List index out of bounds (" + std::to_string(index) + ")")
{
}

namespace {

std::optional<TChartFormatSettings>& StoredFormatSettings()
{
    static std::optional<TChartFormatSettings> settings;
    return settings;
}

} // namespace

const TChartFormatSettings& ChartFormatSettings()
{
    auto& settings = StoredFormatSettings();
    if (!settings) {
        const QLocale locale = QLocale::system();
        const QString group = locale.groupSeparator();
        const QString decimal = locale.decimalPoint();
        settings = TChartFormatSettings{group.isEmpty() ? QChar(',') : group.at(0),
                                        decimal.isEmpty() ? QChar('.') : decimal.at(0)};
    }
    return *settings;
}

void SetChartFormatSettings(const TChartFormatSettings& settings)
{
    StoredFormatSettings() = settings;
}

QString FormatFloat(const QString& format, double value)
{
    QString section = format.section(QLatin1Char(';'), 0, 0);
    if (section.isEmpty())
        section = QStringLiteral("0.##########");

    // Placeholders run from the first to the last of "#0,."; what lies around them is literal.
    auto isPlaceholder = [](QChar c) { return c == '#' || c == '0' || c == ',' || c == '.'; };
    int first = -1;
    int last = -1;
    for (int i = 0; i < section.size(); ++i) {
        if (isPlaceholder(section[i])) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return section;
    const QString prefix = section.left(first);
    const QString suffix = section.mid(last + 1);
    const QString body = section.mid(first, last - first + 1);

    const int point = body.indexOf(QLatin1Char('.'));
    const QString integerPart = point < 0 ? body : body.left(point);
    const QString fractionPart = point < 0 ? QString() : body.mid(point + 1);
    const bool grouping = integerPart.contains(QLatin1Char(','));
    const int minIntegerDigits = static_cast<int>(integerPart.count(QLatin1Char('0')));
    const int minDecimals = static_cast<int>(fractionPart.count(QLatin1Char('0')));
    const int maxDecimals = minDecimals + static_cast<int>(fractionPart.count(QLatin1Char('#')));

    if (!std::isfinite(value))
        return prefix + QString::number(value) + suffix;

    QString digits = QString::number(std::fabs(value), 'f', maxDecimals);
    QString integerDigits = digits;
    QString decimals;
    const int digitsPoint = digits.indexOf(QLatin1Char('.'));
    if (digitsPoint >= 0) {
        integerDigits = digits.left(digitsPoint);
        decimals = digits.mid(digitsPoint + 1);
    }
    while (decimals.size() > minDecimals && decimals.endsWith(QLatin1Char('0')))
        decimals.chop(1);
    const bool isZero = integerDigits.count(QLatin1Char('0')) == integerDigits.size()
                     && decimals.count(QLatin1Char('0')) == decimals.size();

    // Leading zeros beyond the format's minimum go; a "#" integer part shows nothing for 0.
    while (integerDigits.size() > minIntegerDigits && integerDigits.startsWith(QLatin1Char('0')))
        integerDigits.remove(0, 1);
    while (integerDigits.size() < minIntegerDigits)
        integerDigits.prepend(QLatin1Char('0'));

    const TChartFormatSettings& separators = ChartFormatSettings();
    if (grouping && integerDigits.size() > 3) {
        QString grouped;
        const int count = static_cast<int>(integerDigits.size());
        for (int i = 0; i < count; ++i) {
            if (i > 0 && (count - i) % 3 == 0)
                grouped += separators.ThousandSeparator;
            grouped += integerDigits[i];
        }
        integerDigits = grouped;
    }

    QString result = integerDigits;
    if (!decimals.isEmpty())
        result += separators.DecimalSeparator + decimals;
    if (value < 0 && !isZero)
        result.prepend(QLatin1Char('-'));
    return prefix + result + suffix;
}
