// Which alarms ring and at what thresholds, and the ranges a threshold may take: a threshold the
// station could never reach, or one beyond what the weather can do, is refused when entered.
#pragma once

#include <QString>
#include <QStringList>

namespace weather {

// Every alarm is off until the user turns it on; the thresholds are suggestions until then.
struct TAlarmSettings
{
    bool FrostOn = false;
    int FrostBelowC = 0; // rings below this outdoor temperature
    bool HeatOn = false;
    int HeatAboveC = 30; // rings above this outdoor temperature
    bool PressureFallOn = false;
    int PressureFallMmHg = 3; // rings when the pressure fell by more than this in three hours
    bool HumidityOn = false;
    int HumidityLowPercent = 30; // rings below the low or above the high bound
    int HumidityHighPercent = 70;
    bool SilenceOn = false;
    int SilenceMinutes = 30; // rings when nothing has come from the station for this long
    bool ArchiveFailureOn = false;
    friend bool operator==(const TAlarmSettings&, const TAlarmSettings&) = default;
};

// The ranges of the thresholds. Temperatures: what outdoor sensors of home stations measure. A
// fall of pressure: the strongest storms fall by about 30 mm Hg in three hours. Silence: a day.
inline constexpr int MinAlarmTemperatureC = -50;
inline constexpr int MaxAlarmTemperatureC = 60;
inline constexpr int MinPressureFallMmHg = 1;
inline constexpr int MaxPressureFallMmHg = 30;
inline constexpr int MinHumidityPercent = 0;
inline constexpr int MaxHumidityPercent = 100;
inline constexpr int MinSilenceMinutes = 1;
inline constexpr int MaxSilenceMinutes = 24 * 60;

// How far a value must come back past the threshold before the alarm ends, so that a value
// hovering at the threshold rings once.
inline constexpr double TemperatureHysteresisC = 1.0;
inline constexpr double PressureFallHysteresisMmHg = 1.0;
inline constexpr double HumidityHysteresisPercent = 2.0;
// The humidity bounds must leave room for the way back inside on both sides.
inline constexpr int MinHumiditySpanPercent = 2 * static_cast<int>(HumidityHysteresisPercent) + 1;

// What is wrong with the settings, one Russian sentence per fault; empty when nothing is.
QStringList AlarmSettingsProblems(const TAlarmSettings& settings);

} // namespace weather
