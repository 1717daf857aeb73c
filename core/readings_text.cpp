#include "core/readings_text.h"

#include <cstddef>

const QString IndoorPlaceholder = QStringLiteral("Температура в доме: -----°C");
const QString OutdoorPlaceholder = QStringLiteral("Температура на улице: -----°C");
const QString PressurePlaceholder = QStringLiteral("Атмосферное давление: ----- мм рт.ст.");
const QString HumidityPlaceholder = QStringLiteral("Относительная влажность: -----%");

const QString StationDisconnectedText = QStringLiteral("Метеостанция отключена");
const QString StationConnectedText = QStringLiteral("Метеостанция подключена");
const QString ReadErrorPrefix = QStringLiteral("Ошибка чтения:");
const QString StationSilentText = QStringLiteral("Нет данных от метеостанции");

namespace {

// The texts follow every report of the stream, so they are put together piece by piece in place
// rather than through a format string.
void AppendNumber(QString& text, int value, int minimumDigits = 1)
{
    if (value < 0)
        text += QLatin1Char('-');
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char16_t digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 || count < minimumDigits);
    while (count > 0)
        text += QChar(digits[--count]);
}

QString NumberText(QStringView before, int value, QStringView after)
{
    QString text;
    text.reserve(before.size() + 11 + after.size());
    text += before;
    AppendNumber(text, value);
    text += after;
    return text;
}

// Three clock fields as "aa<separator>bb<separator>cc".
QString ClockFieldsText(const TReportImage& image, int first, int second, int third, QChar separator)
{
    QString text;
    text.reserve(11);
    AppendNumber(text, image[static_cast<std::size_t>(first)], 2);
    text += separator;
    AppendNumber(text, image[static_cast<std::size_t>(second)], 2);
    text += separator;
    AppendNumber(text, image[static_cast<std::size_t>(third)], 2);
    return text;
}

} // namespace

QString IndoorTemperatureText(const TReportImage& image)
{
    if (image[InField::IndoorStatus] != TemperaturePresent)
        return IndoorPlaceholder;
    return NumberText(u"Температура в доме: +", image[InField::IndoorTemperature], u"°C");
}

QString OutdoorTemperatureText(const TReportImage& image)
{
    if (image[InField::OutdoorStatus] != TemperaturePresent)
        return OutdoorPlaceholder;
    const int magnitude = image[InField::OutdoorTemperature];
    if (magnitude == 0)
        return QStringLiteral("Температура на улице: 0°C");
    if (image[InField::OutdoorSign] == OutdoorBelowZero)
        return NumberText(u"Температура на улице: -", magnitude, u"°C");
    return NumberText(u"Температура на улице: +", magnitude, u"°C");
}

QString PressureText(const TReportImage& image)
{
    if (image[InField::PressureOn] != MarkerOn)
        return PressurePlaceholder;
    return NumberText(u"Атмосферное давление: ", DecodePressure(image[InField::PressureRaw]), u" мм рт.ст.");
}

QString HumidityText(const TReportImage& image)
{
    if (image[InField::HumidityOn] != MarkerOn)
        return HumidityPlaceholder;
    return NumberText(u"Относительная влажность: ", image[InField::Humidity], u"%");
}

QString CorrectionText(int value, int zeroPoint)
{
    if (value > zeroPoint)
        return QStringLiteral("+%1").arg(value - zeroPoint);
    if (value < zeroPoint)
        return QStringLiteral("-%1").arg(zeroPoint - value);
    return QStringLiteral("0");
}

QString TwoDigitText(int value)
{
    QString text;
    AppendNumber(text, value, value < 0 ? 1 : 2);
    return text;
}

QString StationTimeText(const TReportImage& image)
{
    return ClockFieldsText(image, InField::ClockHours, InField::ClockMinutes, InField::ClockSeconds, QLatin1Char(':'));
}

QString StationDateText(const TReportImage& image)
{
    return ClockFieldsText(image, InField::ClockDay, InField::ClockMonth, InField::ClockYear, QLatin1Char('.'));
}

QString SensorCodeText(const TReportImage& image, int first)
{
    // Built digit by digit: this runs for both codes with every report while the settings follow.
    static constexpr char Digits[] = "0123456789ABCDEF";
    char text[2 * SensorCodeLength];
    int length = 0;
    for (int k = 0; k < SensorCodeLength; ++k) {
        const int index = first + k;
        if (index < 0 || index >= ReportImageSize)
            break;
        const std::uint8_t byte = image[static_cast<size_t>(index)];
        text[length++] = Digits[byte >> 4];
        text[length++] = Digits[byte & 0x0F];
    }
    return QString::fromLatin1(text, length);
}

int TimerPosition(unsigned timerValue)
{
    unsigned position = timerValue / TimerStep;
    const unsigned rest = timerValue % TimerStep;
    if (rest * 2 > TimerStep || (rest * 2 == TimerStep && position % 2 == 1))
        ++position;
    return static_cast<int>(position);
}
