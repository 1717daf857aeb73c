// The alarms', the forecast's and the tray icon's settings on disk; see meteostation_file.h.
#include "settings/meteostation_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
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
const QString NorthName = QStringLiteral("north");
const QString SouthName = QStringLiteral("south");

QString Shown(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// Reads the group's keys into `settings`; the keys whose text is no value of theirs (or out of
// range) keep their default and are listed in `bad`.
template <typename TSettings>
void ReadFields(QSettings& file, std::span<const TBoolField<TSettings>> switches,
                std::span<const TIntField<TSettings>> numbers, TSettings& settings, QStringList& bad)
{
    for (const auto& field : switches) {
        const QVariant value = file.value(QLatin1String(field.Key));
        if (!value.isValid())
            continue;
        const QString text = value.toString().trimmed().toLower();
        if (text == QStringLiteral("true") || text == QStringLiteral("1"))
            settings.*field.Member = true;
        else if (text == QStringLiteral("false") || text == QStringLiteral("0"))
            settings.*field.Member = false;
        else
            bad << QLatin1String(field.Key);
    }
    for (const auto& field : numbers) {
        const QVariant value = file.value(QLatin1String(field.Key));
        if (!value.isValid())
            continue;
        bool ok = false;
        const int number = value.toString().trimmed().toInt(&ok);
        if (ok && number >= field.Min && number <= field.Max)
            settings.*field.Member = number;
        else
            bad << QLatin1String(field.Key);
    }
}

// Whether `bytes` are an INI file's text: UTF-8 without NULs, each line blank, a comment, a
// [group] or a key=value. Qt's reader takes most binary junk for odd keys without a word.
bool IsIniText(const QByteArray& bytes)
{
    if (bytes.contains('\0'))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return false;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    bool continued = false;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        const QStringView trimmed = line.trimmed();
        const bool known = continued || trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
            trimmed.startsWith(QLatin1Char('#')) || trimmed.contains(QLatin1Char('=')) ||
            (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')));
        if (!known)
            return false;
        continued = trimmed.endsWith(QLatin1Char('\\'));
    }
    return true;
}

QString BadValuesProblem(const QStringList& bad, const QString& path)
{
    if (bad.isEmpty())
        return {};
    return QStringLiteral("В файле настроек «%1» неверные значения (%2); вместо них взяты значения по умолчанию.")
        .arg(Shown(path), bad.join(QStringLiteral(", ")));
}

// Writes the file; empty when done, otherwise why not, as plainly as the system lets us know. A
// damaged file is written anew with what could be read of it (its status stays FormatError).
QString Flush(QSettings& file, const QString& path)
{
    file.sync();
    if (file.status() != QSettings::AccessError)
        return {};
    const QFileInfo info(path);
    QString reason = QStringLiteral("запись не удалась");
    if (!QFileInfo(info.absolutePath()).isDir())
        reason = QStringLiteral("папка не найдена");
    else if (info.exists() && !info.isWritable())
        reason = QStringLiteral("файл защищён от записи");
    else if (!QFileInfo(info.absolutePath()).isWritable())
        reason = QStringLiteral("нет прав на запись в папку");
    return QStringLiteral("Не удалось сохранить настройки в файл «%1»: %2.").arg(Shown(path), reason);
}

// Reads one group of the file with `read`, which lists the keys it could not take in `bad`.
template <typename TSettings, typename TRead>
TLoaded<TSettings> LoadGroup(const QString& path, const QString& group, TRead read)
{
    TLoaded<TSettings> loaded;
    QSettings file(path, QSettings::IniFormat);
    const QString readProblem = SettingsFileProblem(file, path);
    if (file.status() == QSettings::AccessError) {
        loaded.Problem = readProblem;
        return loaded;
    }
    file.beginGroup(group);
    QStringList bad;
    read(file, loaded.Settings, bad);
    loaded.Problem = readProblem.isEmpty() ? BadValuesProblem(bad, path) : readProblem;
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

QString SettingsFileProblem(const QSettings& file, const QString& path)
{
    QSettings::Status status = file.status();
    if (status == QSettings::NoError) {
        QFile bytes(path);
        if (bytes.open(QIODevice::ReadOnly) && !IsIniText(bytes.readAll()))
            status = QSettings::FormatError;
    }
    switch (status) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return QStringLiteral("Файл настроек «%1» не удалось прочитать; взяты настройки по умолчанию.")
            .arg(Shown(path));
    case QSettings::FormatError:
        return QStringLiteral("Файл настроек «%1» повреждён; что из него не прочитать, взято по умолчанию.")
            .arg(Shown(path));
    }
    return {};
}

TLoaded<TAlarmSettings> LoadAlarmSettings(const QString& path)
{
    return LoadGroup<TAlarmSettings>(
        path, AlarmsGroup, [](QSettings& file, TAlarmSettings& settings, QStringList& bad) {
            ReadFields<TAlarmSettings>(file, AlarmSwitches, AlarmThresholds, settings, bad);
            // Bounds each fine alone may still leave no room between them.
            if (!weather::AlarmSettingsProblems(settings).isEmpty()) {
                const TAlarmSettings defaults;
                settings.HumidityLowPercent = defaults.HumidityLowPercent;
                settings.HumidityHighPercent = defaults.HumidityHighPercent;
                bad << QStringLiteral("humidity_low") << QStringLiteral("humidity_high");
            }
        });
}

TLoaded<TForecastSettings> LoadForecastSettings(const QString& path)
{
    return LoadGroup<TForecastSettings>(
        path, ForecastGroup, [](QSettings& file, TForecastSettings& settings, QStringList& bad) {
            ReadFields<TForecastSettings>(file, {}, ForecastNumbers, settings, bad);
            if (const QVariant value = file.value(QLatin1String(HemisphereKey)); value.isValid()) {
                const QString text = value.toString().trimmed().toLower();
                if (text == NorthName || text == SouthName)
                    settings.Hemisphere = text == NorthName ? THemisphere::North : THemisphere::South;
                else
                    bad << QLatin1String(HemisphereKey);
            }
        });
}

TLoaded<TTraySettings> LoadTraySettings(const QString& path)
{
    return LoadGroup<TTraySettings>(path, TrayGroup, [](QSettings& file, TTraySettings& settings, QStringList& bad) {
        ReadFields<TTraySettings>(file, TraySwitches, {}, settings, bad);
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
        file.setValue(QLatin1String(HemisphereKey), settings.Hemisphere == THemisphere::North ? NorthName : SouthName);
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
