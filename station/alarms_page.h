// The «Оповещения» page: each alarm on or off with its thresholds, where the station stands for the
// forecast, starting with the system and the tray icon's behaviour. A threshold outside what the
// alarm rules accept is refused as it is entered, with the rules' own words, and goes back to the
// last accepted value; the page only says what the user chose, the window keeps and applies it.
#pragma once

#include "settings/meteostation_file.h"
#include "weather/alarm_settings.h"
#include "weather/zambretti.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;

class TAlarmsPage : public QWidget
{
    Q_OBJECT
public:
    explicit TAlarmsPage(QWidget* parent = nullptr);

    // Shows settings without announcing them as the user's choice.
    void ShowAlarmSettings(const weather::TAlarmSettings& settings);
    void ShowForecastSettings(const weather::TForecastSettings& settings);
    void ShowTraySettings(const settings::TTraySettings& settings);
    void ShowAutostart(bool enabled, bool inTray);
    // Without a tray the settings that need one are off, and a hint says why.
    void SetTrayAvailable(bool available);
    // A refusal or a failure to keep a choice, in Russian; empty clears it.
    void ShowProblem(const QString& text);

    weather::TAlarmSettings AlarmSettings() const { return FAlarms; }

    QCheckBox* FrostOn = nullptr;
    QSpinBox* FrostBelow = nullptr;
    QCheckBox* HeatOn = nullptr;
    QSpinBox* HeatAbove = nullptr;
    QCheckBox* PressureFallOn = nullptr;
    QSpinBox* PressureFall = nullptr;
    QCheckBox* HumidityOn = nullptr;
    QSpinBox* HumidityLow = nullptr;
    QSpinBox* HumidityHigh = nullptr;
    QCheckBox* SilenceOn = nullptr;
    QSpinBox* SilenceMinutes = nullptr;
    QCheckBox* ArchiveFailureOn = nullptr;
    QSpinBox* Elevation = nullptr;
    QRadioButton* North = nullptr;
    QRadioButton* South = nullptr;
    QCheckBox* Autostart = nullptr;
    QCheckBox* AutostartInTray = nullptr;
    QCheckBox* CloseToTray = nullptr;
    QLabel* TrayHint = nullptr;
    QLabel* Problem = nullptr;

signals:
    void AlarmSettingsChosen(const weather::TAlarmSettings& settings);
    void ForecastSettingsChosen(const weather::TForecastSettings& settings);
    void TraySettingsChosen(const settings::TTraySettings& settings);
    void AutostartChosen(bool enabled, bool inTray);

private:
    // The page's three groups, each with its controls, and the controls' edits bound.
    QWidget* CreateAlarmsGroup();
    QWidget* CreateForecastGroup();
    QWidget* CreateDesktopGroup();
    void ConnectControls();
    weather::TAlarmSettings EnteredAlarms() const;
    void AlarmsEdited();
    void ForecastEdited();
    // An edit left with a refused value shows the accepted one again.
    void RestoreAccepted();

    weather::TAlarmSettings FAlarms;
    weather::TForecastSettings FForecast;
    bool FShowing = false; // filling the controls: no choice of the user's
    bool FTrayAvailable = true;
};
