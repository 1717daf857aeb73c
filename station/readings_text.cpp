#include "station/readings_text.h"

const QString IndoorPlaceholder = QStringLiteral("Температура в доме: -----°C");
const QString OutdoorPlaceholder = QStringLiteral("Температура на улице: -----°C");
const QString PressurePlaceholder = QStringLiteral("Атмосферное давление: ----- мм рт.ст.");
const QString HumidityPlaceholder = QStringLiteral("Относительная влажность: -----%");

const QString StationDisconnectedText = QStringLiteral("Метеостанция отключена");
const QString StationConnectedText = QStringLiteral("Метеостанция подключена");
const QString ReadErrorPrefix = QStringLiteral("Ошибка чтения:");
const QString StationSilentText = QStringLiteral("Нет данных от метеостанции");

QString IndoorTemperatureText(const TReportImage& image)
{
    if (image[InField::IndoorStatus] != TemperaturePresent)
        return IndoorPlaceholder;
    return QStringLiteral("Температура в доме: +%1°C").arg(image[InField::IndoorTemperature]);
}

QString OutdoorTemperatureText(const TReportImage& image)
{
    if (image[InField::OutdoorStatus] != TemperaturePresent)
        return OutdoorPlaceholder;
    const int magnitude = image[InField::OutdoorTemperature];
    if (magnitude == 0)
        return QStringLiteral("Температура на улице: 0°C");
    const QChar sign = image[InField::OutdoorSign] == OutdoorBelowZero ? QLatin1Char('-') : QLatin1Char('+');
    return QStringLiteral("Температура на улице: %1%2°C").arg(sign).arg(magnitude);
}

QString PressureText(const TReportImage& image)
{
    if (image[InField::PressureOn] != MarkerOn)
        return PressurePlaceholder;
    return QStringLiteral("Атмосферное давление: %1 мм рт.ст.").arg(PressureBase - image[InField::PressureRaw]);
}

QString HumidityText(const TReportImage& image)
{
    if (image[InField::HumidityOn] != MarkerOn)
        return HumidityPlaceholder;
    return QStringLiteral("Относительная влажность: %1%").arg(image[InField::Humidity]);
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
    if (value >= 0 && value < 10)
        return QStringLiteral("0%1").arg(value);
    return QString::number(value);
}

QString StationTimeText(const TReportImage& image)
{
    return TwoDigitText(image[InField::ClockHours]) + QLatin1Char(':') + TwoDigitText(image[InField::ClockMinutes]) +
        QLatin1Char(':') + TwoDigitText(image[InField::ClockSeconds]);
}

QString StationDateText(const TReportImage& image)
{
    return TwoDigitText(image[InField::ClockDay]) + QLatin1Char('.') + TwoDigitText(image[InField::ClockMonth]) +
        QLatin1Char('.') + TwoDigitText(image[InField::ClockYear]);
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
