// The program's settings file in the data folder, "meteostation.ini" (an INI file: the alarms in
// its [alarms] group, the forecast in [forecast], the tray icon's in [tray]; other groups of the
// file are left as they are). A missing file or key, or an empty value, means the default; a value
// that cannot be read or is out of range is replaced by its default, and the user is told: the keys
// of a group at once, or that the file as a whole could not be read or is damaged. A new file is
// the user's alone.
#pragma once

#include "settings/settings_reader.h"
#include "weather/alarm_settings.h"
#include "weather/zambretti.h"

#include <QString>

namespace settings {

inline const QString MeteostationFileName = QStringLiteral("meteostation.ini");

// What the window does with the tray icon.
struct TTraySettings
{
    bool CloseToTray = false; // closing the window hides it in the tray instead of ending the program
    friend bool operator==(const TTraySettings&, const TTraySettings&) = default;
};

TLoaded<weather::TAlarmSettings> LoadAlarmSettings(const QString& path = MeteostationFileName);
TLoaded<weather::TForecastSettings> LoadForecastSettings(const QString& path = MeteostationFileName);
TLoaded<TTraySettings> LoadTraySettings(const QString& path = MeteostationFileName);

// Empty when saved; otherwise why not, naming the file. Settings with a problem
// (AlarmSettingsProblems, ForecastSettingsProblem) are refused, the file left as it was.
QString SaveAlarmSettings(const weather::TAlarmSettings& settings, const QString& path = MeteostationFileName);
QString SaveForecastSettings(const weather::TForecastSettings& settings, const QString& path = MeteostationFileName);
QString SaveTraySettings(const TTraySettings& settings, const QString& path = MeteostationFileName);

} // namespace settings
