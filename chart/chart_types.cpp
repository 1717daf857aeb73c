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

namespace {

// A number format taken apart once: literal text around the placeholders and the digit counts.
struct TParsedFormat
{
    QString Prefix;
    QString Suffix;
    bool Grouping = false;
    bool Literal = false; // no placeholders at all
    int MinIntegerDigits = 0;
    int MinDecimals = 0;
    int MaxDecimals = 0;
};

TParsedFormat ParseFormat(const QString& format)
{
    TParsedFormat parsed;
    QString section = format.section(QLatin1Char(';'), 0, 0);
    if (section.isEmpty())
        section = QStringLiteral("0.##########");
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
    if (first < 0) {
        parsed.Literal = true;
        parsed.Prefix = section;
        return parsed;
    }
    parsed.Prefix = section.left(first);
    parsed.Suffix = section.mid(last + 1);
    const QString body = section.mid(first, last - first + 1);
    const int point = static_cast<int>(body.indexOf(QLatin1Char('.')));
    const QString integerPart = point < 0 ? body : body.left(point);
    const QString fractionPart = point < 0 ? QString() : body.mid(point + 1);
    parsed.Grouping = integerPart.contains(QLatin1Char(','));
    parsed.MinIntegerDigits = static_cast<int>(integerPart.count(QLatin1Char('0')));
    parsed.MinDecimals = static_cast<int>(fractionPart.count(QLatin1Char('0')));
    parsed.MaxDecimals = parsed.MinDecimals + static_cast<int>(fractionPart.count(QLatin1Char('#')));
    return parsed;
}

} // namespace

QString FormatFloat(const QString& format, double value)
{
    // Labels format the same few numbers with one format at every paint: keep the last parse.
    thread_local QString lastFormat;
    thread_local TParsedFormat parsed = ParseFormat(QString());
    thread_local bool parsedOnce = false;
    if (!parsedOnce || format != lastFormat) {
        parsed = ParseFormat(format);
        lastFormat = format;
        parsedOnce = true;
    }
    if (parsed.Literal)
        return parsed.Prefix;
    if (!std::isfinite(value))
        return parsed.Prefix + QString::number(value) + parsed.Suffix;

    QString integerDigits;
    QString decimals;
    const double magnitude = std::fabs(value);
    if (magnitude < 1e15 && magnitude == std::floor(magnitude)) {
        integerDigits = QString::number(static_cast<qint64>(magnitude));
    } else {
        const QString digits = QString::number(magnitude, 'f', parsed.MaxDecimals);
        const qsizetype digitsPoint = digits.indexOf(QLatin1Char('.'));
        integerDigits = digitsPoint < 0 ? digits : digits.left(digitsPoint);
        if (digitsPoint >= 0)
            decimals = digits.mid(digitsPoint + 1);
    }
    while (decimals.size() > parsed.MinDecimals && decimals.endsWith(QLatin1Char('0')))
        decimals.chop(1);
    while (decimals.size() < parsed.MinDecimals)
        decimals.append(QLatin1Char('0'));
    const bool isZero = integerDigits.count(QLatin1Char('0')) == integerDigits.size() &&
        decimals.count(QLatin1Char('0')) == decimals.size();

    // Leading zeros beyond the format's minimum go; a "#" integer part shows nothing for 0.
    while (integerDigits.size() > parsed.MinIntegerDigits && integerDigits.startsWith(QLatin1Char('0')))
        integerDigits.remove(0, 1);
    while (integerDigits.size() < parsed.MinIntegerDigits)
        integerDigits.prepend(QLatin1Char('0'));

    if (parsed.Grouping && integerDigits.size() > 3) {
        const QChar separator = ChartFormatSettings().ThousandSeparator;
        QString grouped;
        const int count = static_cast<int>(integerDigits.size());
        for (int i = 0; i < count; ++i) {
            if (i > 0 && (count - i) % 3 == 0)
                grouped += separator;
            grouped += integerDigits[i];
        }
        integerDigits = grouped;
    }

    QString result = integerDigits;
    if (!decimals.isEmpty())
        result += ChartFormatSettings().DecimalSeparator + decimals;
    if (value < 0 && !isZero)
        result.prepend(QLatin1Char('-'));
    if (parsed.Prefix.isEmpty() && parsed.Suffix.isEmpty())
        return result;
    return parsed.Prefix + result + parsed.Suffix;
}
