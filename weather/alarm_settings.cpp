// The alarms' thresholds checked against their ranges; see alarm_settings.h.
#include "weather/alarm_settings.h"

#include "weather/signed_number.h"

namespace weather {

namespace {

// Temperatures carry their sign, as the messages about them do.
void CheckRange(QStringList& problems, const QString& what, int value, int low, int high, const QString& unit)
{
    if (value >= low && value <= high)
        return;
    const bool signedValues = unit == QStringLiteral("°C");
    const auto number = [signedValues](int n) { return signedValues ? SignedNumber(n) : PlainNumber(n); };
    problems << QStringLiteral("%1 должен быть от %2 до %3 %4, а не %5.")
                    .arg(what, number(low), number(high), unit, number(value));
}

} // namespace

QStringList AlarmSettingsProblems(const TAlarmSettings& settings)
{
    QStringList problems;
    const QString celsius = QStringLiteral("°C");
    CheckRange(problems, QStringLiteral("Порог заморозка"), settings.FrostBelowC, MinAlarmTemperatureC,
               MaxAlarmTemperatureC, celsius);
    CheckRange(problems, QStringLiteral("Порог жары"), settings.HeatAboveC, MinAlarmTemperatureC, MaxAlarmTemperatureC,
               celsius);
    CheckRange(problems, QStringLiteral("Порог падения давления"), settings.PressureFallMmHg, MinPressureFallMmHg,
               MaxPressureFallMmHg, QStringLiteral("мм рт.ст."));
    const QString percent = QStringLiteral("%");
    CheckRange(problems, QStringLiteral("Нижний порог влажности"), settings.HumidityLowPercent, MinHumidityPercent,
               MaxHumidityPercent, percent);
    CheckRange(problems, QStringLiteral("Верхний порог влажности"), settings.HumidityHighPercent, MinHumidityPercent,
               MaxHumidityPercent, percent);
    if (settings.HumidityHighPercent - settings.HumidityLowPercent < MinHumiditySpanPercent)
        problems << QStringLiteral("Верхний порог влажности должен быть выше нижнего хотя бы на %1 %.")
                        .arg(MinHumiditySpanPercent);
    CheckRange(problems, QStringLiteral("Срок молчания метеостанции"), settings.SilenceMinutes, MinSilenceMinutes,
               MaxSilenceMinutes, QStringLiteral("мин"));
    return problems;
}

} // namespace weather
