#include "station/station_service.h"

#include "core/history_file.h"
#include "os/atomic_file.h"
#include "settings/meteostation_file.h"

#include <QDir>
#include <cstdio>

void TellOnStandardError(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

namespace {

QString LinkText(base::TStationPresence presence)
{
    switch (presence) {
    case base::TStationPresence::Connected:
        return QStringLiteral("Метеостанция подключена.");
    case base::TStationPresence::NoData:
        return QStringLiteral("Метеостанция подключена, но не присылает показаний.");
    case base::TStationPresence::Disconnected:
        break;
    }
    return QStringLiteral("Метеостанция отключена.");
}

} // namespace

TStationService::TStationService(hidplatform::Platform& platform, QObject* parent)
    : QObject(parent)
    , FCore(platform, this)
    , FLog(TellOnStandardError)
{
    connect(&FCore, &TStationCore::Reading, this, &TStationService::TakeReading);
    connect(&FCore, &TStationCore::ArchiveMessage, this, &TStationService::Tell);
    connect(&FCore, &TStationCore::SampleWritten, this, [this](bool ok, const QString& message) {
        if (!ok)
            Tell(message);
    });
    connect(&FCore, &TStationCore::PresenceChanged, this,
            [this](base::TStationPresence presence) { Tell(LinkText(presence)); });
}

TStationService::~TStationService()
{
    Stop();
    // The publishers go before the core whose queue the uploads read.
    FPublishing.reset();
}

void TStationService::Start()
{
    if (const THistoryLoadResult loaded = FCore.LoadHistory(); !loaded.Message.isEmpty())
        Tell(loaded.Message);
    const auto forecast = settings::LoadForecastSettings();
    FOutlook.SetSettings(forecast.Settings);
    if (!forecast.Problem.isEmpty())
        Tell(forecast.Problem);
    FCore.OpenArchive();

    TPublishingOpening opening = OpenPublishingModule();
    if (opening.Module) {
        opening.Module->OpenWithoutPage(QDir::currentPath(), [this](const QString& message) { Tell(message); });
        if (const QString problem = opening.Module->SettingsFileProblem(); !problem.isEmpty())
            Tell(problem);
        FPublishing = std::make_unique<TPublishingFeed>(FCore, std::move(opening.Module));
        FPublishing->StartArchive();
        FOutlook.Refresh();
        FPublishing->TakeOutlook(FOutlook.Outlook());
    } else {
        Tell(QStringLiteral("Публикация недоступна: %1. Показания не отправляются ни на брокер MQTT, ни в погодные "
                            "сети, веб-страница не открыта.")
                 .arg(opening.Problem));
    }
    FCore.StartLink();
}

void TStationService::Stop()
{
    if (FStopped)
        return;
    FStopped = true;
    FCore.BeginClose();
    try {
        FCore.SaveHistoryCopy();
    } catch (const os::EFileError& error) {
        Tell(error.Message());
    }
    FCore.ReleaseStation();
}

void TStationService::Tell(const QString& message) const
{
    if (!message.isEmpty() && FLog)
        FLog(message);
}

void TStationService::TakeReading(const base::TStationReading& reading)
{
    // Before the publishing's own turn at the reading, so the web page has its outlook with it.
    if (FOutlook.TakeReading(reading) && FPublishing)
        FPublishing->TakeOutlook(FOutlook.Outlook());
}
