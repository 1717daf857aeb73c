// The program's settings file in the data folder, "meteostation.ini" (an INI file: the alarms in
// its [alarms] group, the forecast in [forecast], the tray icon's in [tray]; other groups of the
// file are left as they are). A missing file or key means the default; a
// value that cannot be read or is out of range is replaced by its default, and the user is told.
#pragma once

#include "weather/alarm_settings.h"
#include "weather/zambretti.h"

#include <QString>

class QSettings;

namespace settings {

inline const QString MeteostationFileName = QStringLiteral("meteostation.ini");

// What the window does with the tray icon.
struct TTraySettings
{
    bool CloseToTray = false; // closing the window hides it in the tray instead of ending the program
    friend bool operator==(const TTraySettings&, const TTraySettings&) = default;
};

template <typename TSettings>
struct TLoaded
{
    TSettings Settings;
    // For the user, naming the file: what could not be read and was replaced by its default.
    QString Problem;
};

// Why a settings file opened as `file` could not be read (then the defaults stand) or that it is
// damaged, binary junk included (then what could be read stands), naming it by `path`; empty when
// it was read whole. Every settings file of the program is told of so.
QString SettingsFileProblem(const QSettings& file, const QString& path);

TLoaded<weather::TAlarmSettings> LoadAlarmSettings(const QString& path = MeteostationFileName);
TLoaded<weather::TForecastSettings> LoadForecastSettings(const QString& path = MeteostationFileName);
TLoaded<TTraySettings> LoadTraySettings(const QString& path = MeteostationFileName);

// Empty when saved; otherwise why not, naming the file. Settings with a problem
// (AlarmSettingsProblems, ForecastSettingsProblem) are refused, the file left as it was.
QString SaveAlarmSettings(const weather::TAlarmSettings& settings, const QString& path = MeteostationFileName);
QString SaveForecastSettings(const weather::TForecastSettings& settings, const QString& path = MeteostationFileName);
QString SaveTraySettings(const TTraySettings& settings, const QString& path = MeteostationFileName);

} // namespace settings
