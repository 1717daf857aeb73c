#include "core/alarm_watch.h"

#include "archive/archive_store.h"
#include "core/station_core.h"
#include "settings/meteostation_file.h"
#include "weather/alarm_settings.h"
#include "weather/zambretti.h"

#include <QStringList>
#include <QTimer>

QString AlarmKey(weather::TAlarmKind kind)
{
    static const char* const keys[weather::AlarmKindCount] = {"frost",    "heat",    "pressure_fall",
                                                              "humidity", "silence", "archive_failure"};
    return QLatin1String(keys[static_cast<int>(kind)]);
}

TAlarmWatch::TAlarmWatch(TStationCore& core, QObject* parent)
    : QObject(parent)
    , Core(core)
    , FAlarms({}, weather::TAlarmEngine::TClock::now())
    , FOutlook(core)
{
    FClock = new QTimer(this);
    FClock->setInterval(TickMs);
    connect(FClock, &QTimer::timeout, this, &TAlarmWatch::Tick);
    connect(&Core, &TStationCore::Reading, this, &TAlarmWatch::TakeReading);
    // The outlook has subscribed to these first, so the trend already holds what was written.
    connect(&Core, &TStationCore::SampleWritten, this, &TAlarmWatch::TakeArchiveResult);
    connect(&Core, &TStationCore::DownloadMerged, this,
            [this](const archive::TMergeResult& result, int) { TakeArchiveResult(result.Ok, result.Message); });
}

QString TAlarmWatch::Start()
{
    const auto alarms = settings::LoadAlarmSettings();
    const auto forecast = settings::LoadForecastSettings();
    Apply(FAlarms.SetSettings(alarms.Settings));
    FOutlook.SetSettings(forecast.Settings);
    // A reading before now had the outlook worked out without the archive, which has just opened.
    FOutlook.ArchiveChanged();
    Tick();
    FClock->start();
    QStringList problems;
    for (const QString& problem : {alarms.Problem, forecast.Problem})
        if (!problem.isEmpty())
            problems << problem;
    return problems.join(QLatin1Char(' '));
}

void TAlarmWatch::TakeReading(const base::TStationReading& reading)
{
    const bool outlookChanged = FOutlook.TakeReading(reading);
    weather::TAlarmReadings readings;
    if (const auto outdoor = reading.Value(base::TQuantity::OutdoorTemperature))
        readings.OutdoorC = *outdoor;
    if (const auto humidity = reading.Value(base::TQuantity::Humidity))
        readings.HumidityPercent = *humidity;
    if (const auto& trend = FOutlook.Outlook().Trend())
        readings.PressureChange3hMmHg = trend->ChangeMmHg;
    Apply(FAlarms.TakeReport(readings, weather::TAlarmEngine::TClock::now()));
    if (outlookChanged)
        emit OutlookChanged();
}

void TAlarmWatch::TakeArchiveResult(bool ok, const QString& message)
{
    Apply(FAlarms.TakeArchiveResult(ok, message));
}

void TAlarmWatch::Tick()
{
    const auto now = weather::TAlarmEngine::TClock::now();
    if (Core.StreamingReadings())
        Apply(FAlarms.Tick(now));
    else if (!FAlarms.Ringing(weather::TAlarmKind::Silence))
        // The station was told to be quiet: its silence is not one to ring about.
        Apply(FAlarms.TakeReport({}, now));
    RefreshOutlook();
}

QString TAlarmWatch::ChooseAlarms(const weather::TAlarmSettings& settings)
{
    // The rules take only settings they accept; the file refuses the others too.
    if (const QStringList problems = weather::AlarmSettingsProblems(settings); !problems.isEmpty())
        return problems.join(QLatin1Char(' '));
    const QString problem = settings::SaveAlarmSettings(settings);
    Apply(FAlarms.SetSettings(settings));
    return problem;
}

QString TAlarmWatch::ChooseForecast(const weather::TForecastSettings& settings)
{
    if (QString problem = weather::ForecastSettingsProblem(settings); !problem.isEmpty())
        return problem;
    const QString problem = settings::SaveForecastSettings(settings);
    FOutlook.SetSettings(settings);
    RefreshOutlook();
    return problem;
}

QString TAlarmWatch::AlarmLine() const
{
    if (FRinging.empty())
        return {};
    QString text = FRinging.back().second;
    if (FRinging.size() > 1)
        text += QStringLiteral(" (ещё сигналов: %1)").arg(FRinging.size() - 1);
    return text;
}

void TAlarmWatch::Apply(const std::vector<weather::TAlarmChange>& changes)
{
    if (changes.empty())
        return;
    for (const weather::TAlarmChange& change : changes) {
        std::erase_if(FRinging, [&change](const auto& ringing) { return ringing.first == change.Kind; });
        if (change.Started)
            FRinging.emplace_back(change.Kind, change.Summary + QStringLiteral(": ") + change.Body);
        // The history is kept where the archive can take it; an archive that fails is its own alarm.
        if (archive::TArchiveStore* store = Core.Archive())
            store->AddAlarm(
                {archive::MinuteKeyOf(Core.Now()), AlarmKey(change.Kind), change.Started, change.Summary, change.Body});
    }
    emit AlarmsChanged(changes);
}

void TAlarmWatch::RefreshOutlook()
{
    if (FOutlook.Refresh())
        emit OutlookChanged();
}
