// The weather networks' settings in "publish.ini"; see networks_file.h.
#include "publish/networks/networks_file.h"

#include "os/file_access.h"
#include "publish/publish_file.h"

namespace publish {

namespace {

const QString CommonGroup = QStringLiteral("networks");

QString Group(TServiceKind kind)
{
    return QLatin1String(Facts(kind).PositionKey);
}

} // namespace

std::vector<settings::TLoaded<TNetworkEntry>> LoadNetworkEntries(const QString& dataFolder)
{
    settings::TSettingsReader file(PublishFilePath(dataFolder));
    // An address sends the service's key and the readings wherever it points: one that another
    // user could have put in the file is not taken.
    const QString othersMayChange = os::OthersMayChangeReason(PublishFilePath(dataFolder));
    std::vector<settings::TLoaded<TNetworkEntry>> entries;
    for (const TServiceKind kind : AllServices()) {
        if (kind == TServiceKind::NarodmonHttp)
            continue; // one block for narodmon, by either protocol
        const TServiceFacts& facts = Facts(kind);
        const QString group = Group(kind) + QLatin1Char('/');
        TNetworkEntry entry;
        entry.Settings.Kind = kind;
        if (kind == TServiceKind::NarodmonTcp &&
            file.Choice(group + QStringLiteral("protocol"), {QStringLiteral("tcp"), QStringLiteral("http")}, 0) == 1)
            entry.Settings.Kind = TServiceKind::NarodmonHttp;
        entry.Enabled = file.Switch(group + QStringLiteral("enabled"), false);
        entry.Settings.StationId = file.Text(group + QStringLiteral("station_id"));
        // 0 is the service's default; below its minimum the interval is raised to it.
        entry.Settings.IntervalMinutes =
            file.Number(group + QStringLiteral("interval_minutes"), facts.DefaultIntervalMinutes, 0, MaxIntervalMinutes,
                        QStringLiteral("интервал отправки «%1» в минутах").arg(facts.Title));
        entry.Settings.EndpointOverride = file.Text(group + QStringLiteral("address"));
        if (!othersMayChange.isEmpty() && !entry.Settings.EndpointOverride.trimmed().isEmpty()) {
            entry.Settings.EndpointOverride.clear();
            entry.AddressRefusal = QStringLiteral("Адрес сервиса в «%1» не принят: %2.")
                                       .arg(QLatin1String(PublishFileName), othersMayChange);
        }
        entry.Settings.UrlTemplate = file.Text(group + QStringLiteral("url_template"));
        entries.push_back({entry, file.Refusals()});
        file.ForgetRefusals();
    }
    return entries;
}

settings::TLoaded<TPublishSettings> LoadNetworksCommon(const QString& dataFolder)
{
    settings::TSettingsReader file(PublishFilePath(dataFolder));
    TPublishSettings common;
    const QString group = CommonGroup + QLatin1Char('/');
    if (file.Choice(group + QStringLiteral("humidity"), {QStringLiteral("indoor"), QStringLiteral("outdoor")}, 0) == 1)
        common.HumidityPlace = THumidityPlace::Outdoor;
    common.Place.Latitude = file.Decimal(group + QStringLiteral("latitude"), 90.0, QStringLiteral("широта"));
    common.Place.Longitude = file.Decimal(group + QStringLiteral("longitude"), 180.0, QStringLiteral("долгота"));
    return {common, file.Refusals()};
}

QString SaveNetworkEntry(const QString& dataFolder, const TNetworkEntry& entry)
{
    QSettings file = OpenPublishFile(dataFolder);
    const TServiceSettings& settings = entry.Settings;
    const QString group = Group(settings.Kind) + QLatin1Char('/');
    file.setValue(group + QStringLiteral("enabled"), entry.Enabled);
    if (settings.Kind == TServiceKind::NarodmonTcp || settings.Kind == TServiceKind::NarodmonHttp)
        file.setValue(group + QStringLiteral("protocol"),
                      settings.Kind == TServiceKind::NarodmonHttp ? QStringLiteral("http") : QStringLiteral("tcp"));
    file.setValue(group + QStringLiteral("station_id"), settings.StationId);
    file.setValue(group + QStringLiteral("interval_minutes"), settings.IntervalMinutes);
    file.setValue(group + QStringLiteral("address"), settings.EndpointOverride);
    if (settings.Kind == TServiceKind::OwnAddress)
        file.setValue(group + QStringLiteral("url_template"), settings.UrlTemplate);
    return SyncPublishFile(file);
}

QString SaveNetworksCommon(const QString& dataFolder, const TPublishSettings& common)
{
    QSettings file = OpenPublishFile(dataFolder);
    const QString group = CommonGroup + QLatin1Char('/');
    file.setValue(group + QStringLiteral("humidity"),
                  common.HumidityPlace == THumidityPlace::Outdoor ? QStringLiteral("outdoor")
                                                                  : QStringLiteral("indoor"));
    const auto number = [](const std::optional<double>& value) {
        return value ? QString::number(*value, 'f', 6) : QString();
    };
    file.setValue(group + QStringLiteral("latitude"), number(common.Place.Latitude));
    file.setValue(group + QStringLiteral("longitude"), number(common.Place.Longitude));
    return SyncPublishFile(file);
}

QString SecretName(TServiceKind kind, const QString& stationId)
{
    return Group(kind) + QStringLiteral("-key/") + stationId;
}

} // namespace publish
