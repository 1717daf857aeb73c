// The alarms', the forecast's and the tray icon's settings on disk; see meteostation_file.h.
#include "settings/meteostation_file.h"

#include "os/atomic_file.h"
#include "settings/ini_file.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <span>

namespace settings {

using weather::TAlarmSettings;
using weather::TForecastSettings;
using weather::THemisphere;

namespace {

const QString AlarmsGroup = QStringLiteral("alarms");
const QString ForecastGroup = QStringLiteral("forecast");
const QString TrayGroup = QStringLiteral("tray");

// One setting of a group: its key, its place in the settings and, for numbers, its range.
template <typename TSettings>
struct TBoolField
{
    const char* Key;
    bool TSettings::*Member;
};
template <typename TSettings>
struct TIntField
{
    const char* Key;
    int TSettings::*Member;
    int Min;
    int Max;
};

const TBoolField<TAlarmSettings> AlarmSwitches[] = {
    {"frost", &TAlarmSettings::FrostOn},
    {"heat", &TAlarmSettings::HeatOn},
    {"pressure_fall", &TAlarmSettings::PressureFallOn},
    {"humidity", &TAlarmSettings::HumidityOn},
    {"silence", &TAlarmSettings::SilenceOn},
    {"archive_failure", &TAlarmSettings::ArchiveFailureOn},
};
const TIntField<TAlarmSettings> AlarmThresholds[] = {
    {"frost_below", &TAlarmSettings::FrostBelowC, weather::MinAlarmTemperatureC, weather::MaxAlarmTemperatureC},
    {"heat_above", &TAlarmSettings::HeatAboveC, weather::MinAlarmTemperatureC, weather::MaxAlarmTemperatureC},
    {"pressure_fall_mmhg", &TAlarmSettings::PressureFallMmHg, weather::MinPressureFallMmHg,
     weather::MaxPressureFallMmHg},
    {"humidity_low", &TAlarmSettings::HumidityLowPercent, weather::MinHumidityPercent, weather::MaxHumidityPercent},
    {"humidity_high", &TAlarmSettings::HumidityHighPercent, weather::MinHumidityPercent, weather::MaxHumidityPercent},
    {"silence_minutes", &TAlarmSettings::SilenceMinutes, weather::MinSilenceMinutes, weather::MaxSilenceMinutes},
};
const TIntField<TForecastSettings> ForecastNumbers[] = {
    {"elevation_m", &TForecastSettings::ElevationM, weather::MinElevationM, weather::MaxElevationM},
};
const TBoolField<TTraySettings> TraySwitches[] = {
    {"close_to_tray", &TTraySettings::CloseToTray},
};
const char* const HemisphereKey = "hemisphere";
const QStringList HemisphereNames = {QStringLiteral("north"), QStringLiteral("south")};

// Reads the group's keys into `settings`; a key whose text is no value of its kind (or out of
// range) keeps its default, and the reader lists it.
template <typename TSettings>
void ReadFields(TSettingsReader& file, std::span<const TBoolField<TSettings>> switches,
                std::span<const TIntField<TSettings>> numbers, TSettings& settings)
{
    for (const auto& field : switches)
        settings.*field.Member = file.Switch(QLatin1String(field.Key), settings.*field.Member);
    for (const auto& field : numbers)
        settings.*field.Member = file.Number(QLatin1String(field.Key), settings.*field.Member, field.Min, field.Max);
}

// Writes the file; empty when done, otherwise why not, as plainly as the system lets us know.
QString Flush(QSettings& file, const QString& path)
{
    if (WriteFile(file))
        return {};
    const QFileInfo info(path);
    QString reason = QStringLiteral("запись не удалась");
    if (!QFileInfo(info.absolutePath()).isDir())
        reason = QStringLiteral("папка не найдена");
    else if (info.exists() && !info.isWritable())
        reason = QStringLiteral("файл защищён от записи");
    else if (!QFileInfo(info.absolutePath()).isWritable())
        reason = QStringLiteral("нет прав на запись в папку");
    return QStringLiteral("Не удалось сохранить настройки в файл «%1»: %2.").arg(os::ShownFileName(path), reason);
}

// Reads one group of the file with `read`, which returns the keys it refused beyond those the
// reader did. A damaged file is told as such, not key by key.
template <typename TSettings, typename TRead>
TLoaded<TSettings> LoadGroup(const QString& path, const QString& group, TRead read)
{
    TLoaded<TSettings> loaded;
    TSettingsReader file(path, group);
    const QString fileProblem = FileProblem(file.File());
    if (file.File().status() == QSettings::AccessError) {
        loaded.Problem = fileProblem;
        return loaded;
    }
    const QStringList more = read(file, loaded.Settings);
    QStringList refused = file.RefusedKeys() + more;
    refused.removeDuplicates();
    loaded.Problem = fileProblem.isEmpty() ? RefusedKeysProblem(refused, path) : fileProblem;
    return loaded;
}

// Writes one group of the file with `write`; the other groups stay as they are.
template <typename TWrite>
QString SaveGroup(const QString& path, const QString& group, TWrite write)
{
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(group);
    write(file);
    file.endGroup();
    return Flush(file, path);
}

} // namespace

TLoaded<TAlarmSettings> LoadAlarmSettings(const QString& path)
{
    return LoadGroup<TAlarmSettings>(path, AlarmsGroup, [](TSettingsReader& file, TAlarmSettings& settings) {
        ReadFields<TAlarmSettings>(file, AlarmSwitches, AlarmThresholds, settings);
        // Bounds each fine alone may still leave no room between them.
        if (weather::AlarmSettingsProblems(settings).isEmpty())
            return QStringList();
        const TAlarmSettings defaults;
        settings.HumidityLowPercent = defaults.HumidityLowPercent;
        settings.HumidityHighPercent = defaults.HumidityHighPercent;
        return QStringList{QStringLiteral("humidity_low"), QStringLiteral("humidity_high")};
    });
}

TLoaded<TForecastSettings> LoadForecastSettings(const QString& path)
{
    return LoadGroup<TForecastSettings>(path, ForecastGroup, [](TSettingsReader& file, TForecastSettings& settings) {
        ReadFields<TForecastSettings>(file, {}, ForecastNumbers, settings);
        const int fallback = settings.Hemisphere == THemisphere::North ? 0 : 1;
        const int chosen = file.Choice(QLatin1String(HemisphereKey), HemisphereNames, fallback);
        settings.Hemisphere = chosen == 0 ? THemisphere::North : THemisphere::South;
        return QStringList();
    });
}

TLoaded<TTraySettings> LoadTraySettings(const QString& path)
{
    return LoadGroup<TTraySettings>(path, TrayGroup, [](TSettingsReader& file, TTraySettings& settings) {
        ReadFields<TTraySettings>(file, TraySwitches, {}, settings);
        return QStringList();
    });
}

QString SaveAlarmSettings(const TAlarmSettings& settings, const QString& path)
{
    if (const QStringList problems = weather::AlarmSettingsProblems(settings); !problems.isEmpty())
        return problems.join(QLatin1Char(' '));
    return SaveGroup(path, AlarmsGroup, [&settings](QSettings& file) {
        for (const auto& field : AlarmSwitches)
            file.setValue(QLatin1String(field.Key), settings.*field.Member);
        for (const auto& field : AlarmThresholds)
            file.setValue(QLatin1String(field.Key), settings.*field.Member);
    });
}

QString SaveForecastSettings(const TForecastSettings& settings, const QString& path)
{
    if (const QString problem = weather::ForecastSettingsProblem(settings); !problem.isEmpty())
        return problem;
    return SaveGroup(path, ForecastGroup, [&settings](QSettings& file) {
        for (const auto& field : ForecastNumbers)
            file.setValue(QLatin1String(field.Key), settings.*field.Member);
        file.setValue(QLatin1String(HemisphereKey), HemisphereNames[settings.Hemisphere == THemisphere::North ? 0 : 1]);
    });
}

QString SaveTraySettings(const TTraySettings& settings, const QString& path)
{
    return SaveGroup(path, TrayGroup, [&settings](QSettings& file) {
        for (const auto& field : TraySwitches)
            file.setValue(QLatin1String(field.Key), settings.*field.Member);
    });
}

} // namespace settings
