// The alarm settings page: its controls, and every change weighed by the alarm rules before the
// window hears of it.
#include "station/alarms_page.h"
#include "weather/alarm_engine.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

// Wide enough to type any threshold, so that a wrong one reaches the rules and is refused in words
// rather than silently clipped.
constexpr int EntryMin = -9999;
constexpr int EntryMax = 9999;

QSpinBox* MakeNumber(QWidget* parent, const char* name, const QString& suffix)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(EntryMin, EntryMax);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    box->setMaximumWidth(76);
    return box;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

} // namespace

TAlarmsPage::TAlarmsPage(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setVerticalSpacing(2);
    layout->addWidget(CreateAlarmsGroup(), 0, 0, 2, 1);
    layout->addWidget(CreateForecastGroup(), 0, 1);
    layout->addWidget(CreateDesktopGroup(), 1, 1);
    Problem = new QLabel(this);
    Problem->setObjectName(QStringLiteral("Problem"));
    Problem->setWordWrap(true);
    QPalette palette = Problem->palette();
    palette.setColor(QPalette::WindowText, Qt::darkRed);
    Problem->setPalette(palette);
    layout->addWidget(Problem, 2, 0, 1, 2);
    layout->setRowStretch(1, 1);
    ConnectControls();
    ShowAlarmSettings(FAlarms);
    ShowForecastSettings(FForecast);
    ShowAutostart(false, false);
}

QWidget* TAlarmsPage::CreateAlarmsGroup()
{
    auto* alarms = new QGroupBox(QStringLiteral("Оповещения"), this);
    auto* rows = new QGridLayout(alarms);
    rows->setVerticalSpacing(1);
    const QString celsius = QStringLiteral(" °C");
    FrostOn = MakeCheck(alarms, "FrostOn", weather::AlarmTitle(weather::TAlarmKind::Frost) + QStringLiteral(", ниже"));
    FrostBelow = MakeNumber(alarms, "FrostBelow", celsius);
    HeatOn = MakeCheck(alarms, "HeatOn", weather::AlarmTitle(weather::TAlarmKind::Heat) + QStringLiteral(", выше"));
    HeatAbove = MakeNumber(alarms, "HeatAbove", celsius);
    PressureFallOn = MakeCheck(alarms, "PressureFallOn", QStringLiteral("Падение давления за 3 ч"));
    PressureFall = MakeNumber(alarms, "PressureFall", QStringLiteral(" мм рт.ст."));
    PressureFall->setMaximumWidth(120);
    HumidityOn = MakeCheck(alarms, "HumidityOn", QStringLiteral("Влажность вне пределов"));
    HumidityLow = MakeNumber(alarms, "HumidityLow", QStringLiteral(" %"));
    HumidityHigh = MakeNumber(alarms, "HumidityHigh", QStringLiteral(" %"));
    SilenceOn = MakeCheck(alarms, "SilenceOn", QStringLiteral("Нет данных дольше"));
    SilenceMinutes = MakeNumber(alarms, "SilenceMinutes", QStringLiteral(" мин"));
    ArchiveFailureOn = MakeCheck(alarms, "ArchiveFailureOn", weather::AlarmTitle(weather::TAlarmKind::ArchiveFailure));
    rows->addWidget(FrostOn, 0, 0);
    rows->addWidget(FrostBelow, 0, 1);
    rows->addWidget(HeatOn, 1, 0);
    rows->addWidget(HeatAbove, 1, 1);
    rows->addWidget(PressureFallOn, 2, 0);
    rows->addWidget(PressureFall, 2, 1, 1, 2);
    rows->addWidget(HumidityOn, 3, 0);
    rows->addWidget(HumidityLow, 3, 1);
    rows->addWidget(HumidityHigh, 3, 2);
    rows->addWidget(SilenceOn, 4, 0);
    rows->addWidget(SilenceMinutes, 4, 1);
    rows->addWidget(ArchiveFailureOn, 5, 0);
    return alarms;
}

QWidget* TAlarmsPage::CreateForecastGroup()
{
    auto* forecast = new QGroupBox(QStringLiteral("Прогноз"), this);
    auto* place = new QGridLayout(forecast);
    place->setVerticalSpacing(1);
    place->addWidget(new QLabel(QStringLiteral("Высота над морем"), forecast), 0, 0);
    Elevation = MakeNumber(forecast, "Elevation", QStringLiteral(" м"));
    place->addWidget(Elevation, 0, 1);
    North = new QRadioButton(QStringLiteral("Северное полушарие"), forecast);
    North->setObjectName(QStringLiteral("North"));
    South = new QRadioButton(QStringLiteral("Южное полушарие"), forecast);
    South->setObjectName(QStringLiteral("South"));
    North->setChecked(true);
    place->addWidget(North, 1, 0, 1, 2);
    place->addWidget(South, 2, 0, 1, 2);
    return forecast;
}

QWidget* TAlarmsPage::CreateDesktopGroup()
{
    auto* desktop = new QGroupBox(QStringLiteral("Рабочий стол"), this);
    auto* switches = new QGridLayout(desktop);
    switches->setVerticalSpacing(1);
    Autostart = MakeCheck(desktop, "Autostart", QStringLiteral("Запускать вместе с системой"));
    AutostartInTray = MakeCheck(desktop, "AutostartInTray", QStringLiteral("в трее"));
    CloseToTray = MakeCheck(desktop, "CloseToTray", QStringLiteral("Свернуть в трей при закрытии"));
    TrayHint = new QLabel(QStringLiteral("Рабочий стол не показывает значки в трее."), desktop);
    TrayHint->setObjectName(QStringLiteral("TrayHint"));
    TrayHint->setWordWrap(true);
    TrayHint->hide();
    switches->addWidget(Autostart, 0, 0);
    switches->addWidget(AutostartInTray, 1, 0);
    switches->addWidget(CloseToTray, 2, 0);
    switches->addWidget(TrayHint, 3, 0);
    return desktop;
}

void TAlarmsPage::ConnectControls()
{
    for (QCheckBox* box : {FrostOn, HeatOn, PressureFallOn, HumidityOn, SilenceOn, ArchiveFailureOn})
        connect(box, &QCheckBox::toggled, this, &TAlarmsPage::AlarmsEdited);
    for (QSpinBox* box : {FrostBelow, HeatAbove, PressureFall, HumidityLow, HumidityHigh, SilenceMinutes}) {
        connect(box, &QSpinBox::valueChanged, this, &TAlarmsPage::AlarmsEdited);
        connect(box, &QSpinBox::editingFinished, this, &TAlarmsPage::RestoreAccepted);
    }
    connect(Elevation, &QSpinBox::valueChanged, this, &TAlarmsPage::ForecastEdited);
    connect(Elevation, &QSpinBox::editingFinished, this, &TAlarmsPage::RestoreAccepted);
    connect(South, &QRadioButton::toggled, this, &TAlarmsPage::ForecastEdited);
    const auto autostartEdited = [this] {
        AutostartInTray->setEnabled(Autostart->isChecked() && FTrayAvailable);
        if (!FShowing)
            emit AutostartChosen(Autostart->isChecked(), AutostartInTray->isChecked() && FTrayAvailable);
    };
    connect(Autostart, &QCheckBox::toggled, this, autostartEdited);
    connect(AutostartInTray, &QCheckBox::toggled, this, autostartEdited);
    connect(CloseToTray, &QCheckBox::toggled, this, [this](bool on) {
        if (!FShowing)
            emit TraySettingsChosen({on});
    });
}

void TAlarmsPage::ShowAlarmSettings(const weather::TAlarmSettings& settings)
{
    FAlarms = settings;
    FShowing = true;
    FrostOn->setChecked(settings.FrostOn);
    FrostBelow->setValue(settings.FrostBelowC);
    HeatOn->setChecked(settings.HeatOn);
    HeatAbove->setValue(settings.HeatAboveC);
    PressureFallOn->setChecked(settings.PressureFallOn);
    PressureFall->setValue(settings.PressureFallMmHg);
    HumidityOn->setChecked(settings.HumidityOn);
    HumidityLow->setValue(settings.HumidityLowPercent);
    HumidityHigh->setValue(settings.HumidityHighPercent);
    SilenceOn->setChecked(settings.SilenceOn);
    SilenceMinutes->setValue(settings.SilenceMinutes);
    ArchiveFailureOn->setChecked(settings.ArchiveFailureOn);
    FShowing = false;
}

void TAlarmsPage::ShowForecastSettings(const weather::TForecastSettings& settings)
{
    FForecast = settings;
    FShowing = true;
    Elevation->setValue(settings.ElevationM);
    (settings.Hemisphere == weather::THemisphere::South ? South : North)->setChecked(true);
    FShowing = false;
}

void TAlarmsPage::ShowTraySettings(const settings::TTraySettings& settings)
{
    FShowing = true;
    CloseToTray->setChecked(settings.CloseToTray);
    FShowing = false;
}

void TAlarmsPage::ShowAutostart(bool enabled, bool inTray)
{
    FShowing = true;
    Autostart->setChecked(enabled);
    AutostartInTray->setChecked(inTray);
    AutostartInTray->setEnabled(enabled && FTrayAvailable);
    FShowing = false;
}

void TAlarmsPage::SetTrayAvailable(bool available)
{
    FTrayAvailable = available;
    CloseToTray->setEnabled(available);
    AutostartInTray->setEnabled(available && Autostart->isChecked());
    TrayHint->setVisible(!available);
}

void TAlarmsPage::ShowProblem(const QString& text)
{
    Problem->setText(text);
}

weather::TAlarmSettings TAlarmsPage::EnteredAlarms() const
{
    weather::TAlarmSettings settings;
    settings.FrostOn = FrostOn->isChecked();
    settings.FrostBelowC = FrostBelow->value();
    settings.HeatOn = HeatOn->isChecked();
    settings.HeatAboveC = HeatAbove->value();
    settings.PressureFallOn = PressureFallOn->isChecked();
    settings.PressureFallMmHg = PressureFall->value();
    settings.HumidityOn = HumidityOn->isChecked();
    settings.HumidityLowPercent = HumidityLow->value();
    settings.HumidityHighPercent = HumidityHigh->value();
    settings.SilenceOn = SilenceOn->isChecked();
    settings.SilenceMinutes = SilenceMinutes->value();
    settings.ArchiveFailureOn = ArchiveFailureOn->isChecked();
    return settings;
}

void TAlarmsPage::AlarmsEdited()
{
    if (FShowing)
        return;
    const weather::TAlarmSettings entered = EnteredAlarms();
    if (const QStringList problems = weather::AlarmSettingsProblems(entered); !problems.isEmpty()) {
        ShowProblem(problems.join(QLatin1Char(' ')));
        return;
    }
    ShowProblem(QString());
    if (entered == FAlarms)
        return;
    FAlarms = entered;
    emit AlarmSettingsChosen(FAlarms);
}

void TAlarmsPage::ForecastEdited()
{
    if (FShowing)
        return;
    const weather::TForecastSettings entered{
        Elevation->value(), South->isChecked() ? weather::THemisphere::South : weather::THemisphere::North};
    if (const QString problem = weather::ForecastSettingsProblem(entered); !problem.isEmpty()) {
        ShowProblem(problem);
        return;
    }
    ShowProblem(QString());
    if (entered == FForecast)
        return;
    FForecast = entered;
    emit ForecastSettingsChosen(FForecast);
}

void TAlarmsPage::RestoreAccepted()
{
    if (EnteredAlarms() != FAlarms)
        ShowAlarmSettings(FAlarms);
    if (Elevation->value() != FForecast.ElevationM)
        ShowForecastSettings(FForecast);
}
